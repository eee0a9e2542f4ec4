// Icons and cursors inside Windows executables, libraries and icon files, read from the
// file's bytes.
//
// The reader never opens files itself: it reads from a ByteSource (a FileSource for the
// program), every header through one checked read into a fixed-layout struct, with all
// offset arithmetic in 64 bits. A damaged file, or one cut short while it is read, gives
// fewer icons or none, never a crash.
//
//   PE (PE32 and PE32+, any machine) and NE (16-bit) files: one icon per name of the
//   icon-group resource type (RT_GROUP_ICON), one cursor per name of the cursor-group
//   type (RT_GROUP_CURSOR), one animated cursor per name of RT_ANICURSOR, each in the
//   resource table's order (named entries first, then numbered ones), its first language
//   read unless another is selected. An icon file (.ico) counts as one icon.
#pragma once

#include "icon/dib.h"
#include "icon/groupchoice.h"
#include "icon/resources.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

class ByteSource;

// What a reader counts and lists: icon groups, cursor groups and animated cursors.
enum class ResourceKind { Icon, Cursor, AnimatedCursor };

// One image of an icon or a cursor, as its group's directory describes it: the one form
// every directory is read into and written from, whatever its layout on disk.
struct IconEntry {
    std::uint8_t Width; // 0 means 256
    std::uint8_t Height;
    std::uint8_t ColorCount;
    std::uint8_t Reserved;
    std::uint16_t Planes;
    std::uint16_t BitCount;
    // The image's bytes as the directory gives them: a cursor's without its hotspot.
    std::uint32_t BytesInRes;
    std::uint32_t Where; // the image's RT_ICON or RT_CURSOR id in a group, its offset in an icon file
    ResourceKind Kind = ResourceKind::Icon;
    // A cursor image's hotspot, which its resource keeps before the image; 0, 0 when that
    // can't be read.
    std::uint16_t HotspotX = 0;
    std::uint16_t HotspotY = 0;
};

// An entry's width or height in pixels: 0 stands for 256.
inline int EntryDimension(std::uint8_t value)
{
    return value == 0 ? 256 : value;
}

// An icon file's header and directory entry, as .ico files store them (little-endian,
// packed); a group resource's header has the same layout.
#pragma pack(push, 1)
struct IconFileHeader {
    std::uint16_t Reserved;
    std::uint16_t Type;
    std::uint16_t Count;
};
struct IconFileEntry {
    std::uint8_t Width;
    std::uint8_t Height;
    std::uint8_t ColorCount;
    std::uint8_t Reserved;
    std::uint16_t Planes;
    std::uint16_t BitCount;
    std::uint32_t BytesInRes;
    std::uint32_t ImageOffset;
};
#pragma pack(pop)
static_assert(sizeof(IconFileHeader) == 6 && sizeof(IconFileEntry) == 16);

// Why an icon can't be drawn: the one rule the scan, --extract and --list share.
enum class GroupProblem {
    None,
    NoDirectory,    // the group's resource can't be read
    NoImages,       // its directory lists none
    ImageMissing,   // the image nearest 32x32 lies outside the file
    TooMuchWork,    // the reader's budget is spent
    PngUndecodable, // that image doesn't decode
    DibUndecodable,
};
// For people: "its 32x32 image is a PNG that doesn't decode"; empty for None.
const char* GroupProblemText(GroupProblem problem);

// The icons and cursors of one file's bytes, its headers parsed once. A damaged file can
// ask for much work per icon (thousands of groups sharing one huge image); a reader stops
// reading once it has looked at 256 MB, which no real file comes near.
class IconReader {
public:
    // file must outlive the reader.
    explicit IconReader(const ByteSource& file);
    ~IconReader();
    IconReader(const IconReader&) = delete;
    IconReader& operator=(const IconReader&) = delete;

    // How many icons (as CountIcons below), cursor groups or animated cursors there are.
    int Count(ResourceKind kind = ResourceKind::Icon) const;
    // As ReadIcon below; why says what stood in the way when nothing is read. This is
    // what decides whether an icon can be taken at all.
    std::optional<IconImage> Read(int index, GroupProblem* why = nullptr);
    // Groups and animated cursors are read from then on in language where they have it,
    // else in their first language, as without one (the default).
    void SelectLanguage(std::optional<std::uint32_t> language);

    // What the file is, and why it has no resources when it has none; an icon file is
    // ExecutableFormat::Unknown with IsIconFile set.
    ExecutableFormat Format() const;
    ResourceProblem Problem() const;
    bool IsIconFile() const;
    // The resource name of icon, cursor group or animated cursor index, and its languages
    // (the first is the one read); a number 0 and no language for an icon file.
    ResourceName Name(ResourceKind kind, int index) const;
    std::vector<std::uint32_t> Languages(ResourceKind kind, int index) const;
    // The bytes of animated cursor index as they are stored (padding included in NE);
    // nothing when they can't be read.
    std::optional<std::vector<std::uint8_t>> AnimatedCursorData(int index);

    // The images of icon or cursor group index as its directory lists them, in its order,
    // a cursor's with its hotspot; empty when there is no such group or its directory
    // can't be read.
    std::vector<IconEntry> Entries(int index, ResourceKind kind = ResourceKind::Icon);
    // How long one of those images is, whether it is PNG data, and its bits per pixel as
    // its own header gives them (0 when it gives none that counts), read no further than
    // that header; nothing when it lies outside the file or can't be read.
    struct ImageFacts {
        std::uint64_t Length;
        bool Png;
        int BitCount;
    };
    std::optional<ImageFacts> Inspect(const IconEntry& entry);
    // One of those images' bytes (a cursor's without its hotspot; in NE, without the
    // padding to the table's unit that the directory's size leaves out); nothing when
    // they lie outside the file or can't be read.
    std::optional<std::vector<std::uint8_t>> ImageData(const IconEntry& entry);
    // One of those images decoded; nothing when it can't be read or decoded.
    std::optional<DecodedImage> Decode(const IconEntry& entry);
    // Bytes taken with ImageData, decoded; counted against the same 256 MB.
    std::optional<DecodedImage> Decode(std::span<const std::uint8_t> data);

private:
    struct Parsed;
    std::unique_ptr<Parsed> parsed_;
};

// Whether group index of kind, at position among what is counted, is what choice names.
// A group without languages (NE files, icon files) has every language.
bool IsChosen(const IconReader& reader, ResourceKind kind, int index, int position, const GroupChoice& choice);

// Visits the groups choice takes, in the order they are numbered, by the one rule every
// export takes them by: with cursors, each cursor group, then each animated cursor
// (counted on from the groups); else each icon group that Read draws, with what it draws.
void ForEachChosen(IconReader& reader, const GroupChoice& choice, bool cursors,
                   const std::function<void(ResourceKind kind, int index, const IconImage* drawn)>& visit);

// Number of icons in a file's bytes; 0 for anything that is not an executable, a library
// or an icon file.
int CountIcons(std::span<const std::uint8_t> file);

// Icon index (0-based, below CountIcons) as a 32x32 image with its mask: the group's
// image nearest to 32x32 pixels at 32 bits per pixel, scaled by nearest neighbour when
// it has another size. Nothing when that image is missing, lies outside the file or
// can't be decoded; no other image of the group stands in for it.
std::optional<IconImage> ReadIcon(std::span<const std::uint8_t> file, int index);
