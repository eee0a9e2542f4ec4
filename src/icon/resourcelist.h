// What a file holds for a user to read (`--list`): its icon groups, cursor groups and
// animated cursors with their names, languages and images, in the order Windows and
// `--extract` take them, or why it holds none. Plain data, printed by the caller.
#pragma once

#include "icon/exeicons.h"
#include "icon/resources.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class ByteSource;

// One image of a group, as its directory entry describes it and its bytes are.
struct ListedImage {
    int Width = 0;         // pixels
    int Height = 0;
    // Bits per pixel as the image's own header gives them (what Windows draws), else as
    // the directory does (a linker may write 1 there for any cursor); 0 when neither does.
    int BitCount = 0;
    int ColorCount = 0;    // palette entries as the directory gives them; 0: none or 256
    std::uint32_t Id = 0;  // its RT_ICON or RT_CURSOR number; in an icon file, its offset
    // The image's bytes (a cursor's without its hotspot) and whether they are PNG data
    // rather than a DIB; Readable false when they lie outside the file or can't be read.
    bool Readable = false;
    bool Png = false;
    std::uint64_t Bytes = 0;
    // Cursors only: the hotspot.
    std::optional<std::uint16_t> HotspotX;
    std::optional<std::uint16_t> HotspotY;
};

// One language of a group: its own images, and whether it is taken.
struct ListedVariant {
    std::optional<std::uint32_t> Language; // none in NE files and icon files
    // Groups: their images in directory order; empty when the directory can't be read.
    std::vector<ListedImage> Images;
    // Animated cursors: the size of the .ani file; 0 when it can't be read.
    std::uint64_t Bytes = 0;
    // Whether Open, --extract and the thumbnailer can take it, by the rule they take
    // icons by (an icon: IconReader::Read; a cursor: its file can be made); Problem says
    // why not.
    bool Readable = false;
    std::string Problem;
};

// One icon group, cursor group or animated cursor.
struct ListedResource {
    ResourceName Name;
    // The languages the name has, in the table's order; empty in NE files and icon files.
    std::vector<std::uint32_t> Languages;
    // One for each language, in that order; one without a language when it has none.
    std::vector<ListedVariant> Variants;
    // The variant that is read: the chosen language's, else the first.
    int Taken = 0;
    // Whether the choice the listing was made with names it; always with no choice.
    bool Chosen = true;
    const ListedVariant& TakenVariant() const { return Variants[std::size_t(Taken)]; }
};

// Why a file yields no icon and no cursor.
enum class ListProblem {
    None,
    Empty,
    NotExecutable,     // neither a PE, an NE nor an icon file
    Truncated,         // its headers run past its end
    DamagedHeaders,
    NoResources,
    DamagedResources,  // the resource directory lies outside the file's sections
    NoIconsOrCursors,  // resources, but no icon group, cursor group or animated cursor
    NothingReadable,   // groups, none of which can be taken
};

struct ResourceListing {
    ExecutableFormat Format = ExecutableFormat::Unknown;
    bool IconFile = false;
    // Each in the resource table's order, which is the order Windows enumerates them in
    // and the order --extract numbers them in.
    std::vector<ListedResource> Icons;
    std::vector<ListedResource> Cursors;
    std::vector<ListedResource> AnimatedCursors;
    // The index in Icons of the icon Windows shows for the file: its first icon group.
    std::optional<int> ShownIcon;
    ListProblem Problem = ListProblem::None;
    // Set when the groups and images together passed kMaxListedItems and the rest were
    // left out: only a damaged file comes near that many.
    bool Cut = false;
};

// The most groups and images one file's listing holds, which keeps a damaged file's
// listing to a few megabytes.
inline constexpr int kMaxListedItems = 1 << 16;

// The listing of file's bytes, read with the bounds of an IconReader; choice marks the
// groups it names and the variant it takes.
ResourceListing ListResources(const ByteSource& file, const GroupChoice& choice = {});
