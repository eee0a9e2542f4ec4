// The resources of Windows executables: one walk over (type, name, language) for PE
// (PE32 and PE32+, any machine) and 16-bit NE files, used for icons, cursors and the
// listing alike, so what is listed is what can be extracted. Read through a ByteSource,
// never trusted: a count is checked against the bytes that exist before it is used, and
// a name or type's list is read once, when it is first asked for.
#pragma once

#include "icon/bytesource.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The numbered resource types read here.
namespace rt {
inline constexpr std::uint16_t kCursor = 1;
inline constexpr std::uint16_t kIcon = 3;
inline constexpr std::uint16_t kGroupCursor = 12;
inline constexpr std::uint16_t kGroupIcon = 14;
inline constexpr std::uint16_t kAniCursor = 21;
} // namespace rt

// A resource's name: a number, or a string as the file stores it, UTF-16 in PE and bytes
// of an unknown code page in NE.
enum class NameForm { Number, Utf16, Bytes };
struct ResourceName {
    NameForm Form = NameForm::Number;
    std::uint32_t Number = 0;
    std::u16string Utf16;
    std::string Bytes;

    // For people: the number in decimal; a string in UTF-8, each unit that is no
    // character (a lone surrogate, an NE byte above 0x7F) as U+FFFD.
    std::string Display() const;
    // The string exactly as stored: UTF-16LE for PE, the bytes for NE; empty for a number.
    std::vector<std::uint8_t> StoredBytes() const;
    // Whether Display gives the stored string back unchanged (a number, or a string that
    // is ASCII in NE or has no lone surrogate in PE).
    bool DisplayIsExact() const;
    bool operator==(const ResourceName&) const = default;
};

// What kind of file the bytes are, as far as their headers say.
enum class ExecutableFormat { Unknown, Pe32, Pe32Plus, Ne };

// Why a file has no resource table to walk.
enum class ResourceProblem {
    None,
    Empty,             // no bytes at all
    NotExecutable,     // no MZ header, or one with neither a PE nor an NE header after it
    Truncated,         // the headers run past the end of the file
    DamagedHeaders,    // headers that no linker writes (an unknown optional header)
    NoResources,       // no resource directory, or an empty NE resource table
    DamagedResources,  // a resource directory that lies outside the file's sections
};

class ResourceTable {
public:
    // The resources of a PE or NE file; nothing when it has none, and *problem says why.
    // file must outlive the table.
    static std::unique_ptr<ResourceTable> Open(const ByteSource& file, ExecutableFormat* format = nullptr,
                                               ResourceProblem* problem = nullptr);
    virtual ~ResourceTable() = default;

    // The names of a numbered type, in the table's order (in PE, as linkers sort them:
    // strings first, then numbers; Windows enumerates them in that order).
    virtual int Count(std::uint16_t type) = 0;
    // Name index of type; a number when its string can't be read.
    virtual ResourceName Name(std::uint16_t type, int index) = 0;
    // Its languages in the table's order; empty in NE, which has none.
    virtual std::vector<std::uint32_t> Languages(std::uint16_t type, int index) = 0;
    // Where the data of language lies, or of its first language when it has not that one
    // or none is asked for; Length 0 when that can't be found. NE has no languages.
    virtual Extent Data(std::uint16_t type, int index, std::optional<std::uint32_t> language = std::nullopt) = 0;
    // The data of the first name of type numbered id, in language as above.
    virtual Extent DataById(std::uint16_t type, std::uint16_t id, std::optional<std::uint32_t> language = std::nullopt) = 0;
    // What one call of the four above costs, in bytes looked at: a damaged PE file may
    // make every address go through 65535 sections.
    virtual std::uint64_t LookupCost() const = 0;
    // The bytes of directories read since the last call, to charge after a lookup: a
    // language asked for is searched in its name's language directory, which a damaged
    // file may make 131 070 entries long for every image.
    virtual std::uint64_t TakeDirectoryBytes() { return 0; }
    // Data lengths are multiples of this: 1 in PE; in NE, 2 to the table's shift count,
    // so a length there may include up to LengthUnit() - 1 bytes of padding.
    virtual std::uint64_t LengthUnit() const = 0;
};
