#include "platform/exeicons.h"

#include "platform/dib.h"

#include <bit>
#include <memory>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <unordered_map>

namespace {

static_assert(std::endian::native == std::endian::little, "headers are copied as they lie in the file");

#pragma pack(push, 1)
struct DosHeader {
    std::uint16_t Magic;
    std::uint8_t Unused[58];
    std::uint32_t NewHeaderOffset;
};
struct CoffHeader {
    std::uint32_t Signature;
    std::uint16_t Machine;
    std::uint16_t NumberOfSections;
    std::uint32_t TimeDateStamp;
    std::uint32_t PointerToSymbolTable;
    std::uint32_t NumberOfSymbols;
    std::uint16_t SizeOfOptionalHeader;
    std::uint16_t Characteristics;
};
struct DataDirectory {
    std::uint32_t VirtualAddress;
    std::uint32_t Size;
};
struct SectionHeader {
    char Name[8];
    std::uint32_t VirtualSize;
    std::uint32_t VirtualAddress;
    std::uint32_t SizeOfRawData;
    std::uint32_t PointerToRawData;
    std::uint32_t PointerToRelocations;
    std::uint32_t PointerToLinenumbers;
    std::uint16_t NumberOfRelocations;
    std::uint16_t NumberOfLinenumbers;
    std::uint32_t Characteristics;
};
struct ResourceDirectory {
    std::uint32_t Characteristics;
    std::uint32_t TimeDateStamp;
    std::uint16_t MajorVersion;
    std::uint16_t MinorVersion;
    std::uint16_t NumberOfNamedEntries;
    std::uint16_t NumberOfIdEntries;
};
struct ResourceDirectoryEntry {
    std::uint32_t Name;
    std::uint32_t OffsetToData;
};
struct ResourceDataEntry {
    std::uint32_t OffsetToData;
    std::uint32_t Size;
    std::uint32_t CodePage;
    std::uint32_t Reserved;
};
struct GroupIconHeader {
    std::uint16_t Reserved;
    std::uint16_t Type;
    std::uint16_t Count;
};
struct GroupIconEntry {
    std::uint8_t Width;
    std::uint8_t Height;
    std::uint8_t ColorCount;
    std::uint8_t Reserved;
    std::uint16_t Planes;
    std::uint16_t BitCount;
    std::uint32_t BytesInRes;
    std::uint16_t Id;
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
struct NeTypeInfo {
    std::uint16_t TypeId;
    std::uint16_t Count;
    std::uint32_t Reserved;
};
struct NeNameInfo {
    std::uint16_t Offset;
    std::uint16_t Length;
    std::uint16_t Flags;
    std::uint16_t Id;
    std::uint16_t Handle;
    std::uint16_t Usage;
};
#pragma pack(pop)

static_assert(sizeof(DosHeader) == 64 && sizeof(CoffHeader) == 24 && sizeof(SectionHeader) == 40);
static_assert(sizeof(ResourceDirectory) == 16 && sizeof(ResourceDirectoryEntry) == 8);
static_assert(sizeof(ResourceDataEntry) == 16 && sizeof(GroupIconHeader) == 6);
static_assert(sizeof(GroupIconEntry) == 14 && sizeof(IconFileEntry) == 16);
static_assert(sizeof(NeTypeInfo) == 8 && sizeof(NeNameInfo) == 12);

constexpr std::uint16_t kMzMagic = 0x5A4D;            // "MZ"
constexpr std::uint32_t kPeSignature = 0x00004550;    // "PE\0\0"
constexpr std::uint16_t kNeSignature = 0x454E;        // "NE"
constexpr std::uint16_t kPe32Magic = 0x10b;
constexpr std::uint16_t kPe32PlusMagic = 0x20b;
constexpr std::uint32_t kResourceDirectoryIndex = 2;
constexpr std::uint32_t kRtIcon = 3;
constexpr std::uint32_t kRtGroupIcon = 14;
constexpr std::uint32_t kHighBit = 0x80000000u;
constexpr std::uint16_t kNeIntegerId = 0x8000;
constexpr std::uint16_t kNeRtIcon = 0x8003;
constexpr std::uint16_t kNeRtGroupIcon = 0x800E;
constexpr std::uint32_t kNeResourceTableField = 0x24;
constexpr std::uint32_t kNeResidentNamesField = 0x26;

using Bytes = std::span<const std::uint8_t>;

bool Has(Bytes bytes, std::uint64_t offset, std::uint64_t length)
{
    return offset <= bytes.size() && length <= bytes.size() - offset;
}

template <typename T>
std::optional<T> Read(Bytes bytes, std::uint64_t offset)
{
    static_assert(std::is_trivially_copyable_v<T>);
    if (!Has(bytes, offset, sizeof(T)))
        return std::nullopt;
    T value;
    std::memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}

Bytes Slice(Bytes bytes, std::uint64_t offset, std::uint64_t length)
{
    if (!Has(bytes, offset, length))
        return {};
    return bytes.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(length));
}

// One image a group offers, as its directory entry describes it.
struct Candidate {
    int Width;
    int Height;
    int BitCount;
};

int Dimension(std::uint8_t value)
{
    return value == 0 ? 256 : value;
}

// The image of a group for the 32x32 large icon at 32 bits per pixel: nearest in size,
// then nearest in depth among those exactly as far off in width and in height; the first
// entry wins every tie. entry(i) gives candidate i of count, or nothing past the data.
template <typename EntryAt>
int ChooseImage(std::uint32_t count, EntryAt entry)
{
    int best = -1;
    int bestDistance = 0;
    int dx = 0;
    int dy = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::optional<Candidate> c = entry(i);
        if (!c)
            break;
        const int distance = std::abs(kIconSize - c->Width) + std::abs(kIconSize - c->Height);
        if (best < 0 || distance < bestDistance) {
            best = static_cast<int>(i);
            bestDistance = distance;
            dx = std::abs(kIconSize - c->Width);
            dy = std::abs(kIconSize - c->Height);
        }
    }
    int chosen = -1;
    int chosenDepth = 0;
    for (std::uint32_t i = 0; best >= 0 && i < count; ++i) {
        const std::optional<Candidate> c = entry(i);
        if (!c)
            break;
        if (std::abs(kIconSize - c->Width) != dx || std::abs(kIconSize - c->Height) != dy)
            continue;
        const int depth = std::abs(32 - c->BitCount);
        if (chosen < 0 || depth < chosenDepth) {
            chosen = static_cast<int>(i);
            chosenDepth = depth;
        }
    }
    return chosen;
}

// Entry i of an icon directory (a group resource or an icon file) whose entries are T.
template <typename T>
std::optional<T> DirectoryEntry(Bytes directory, std::uint32_t i)
{
    return Read<T>(directory, sizeof(GroupIconHeader) + std::uint64_t{i} * sizeof(T));
}

template <typename T>
std::optional<T> ChooseEntry(Bytes directory)
{
    const auto header = Read<GroupIconHeader>(directory, 0);
    if (!header)
        return std::nullopt;
    const int chosen = ChooseImage(header->Count, [&](std::uint32_t i) -> std::optional<Candidate> {
        const auto entry = DirectoryEntry<T>(directory, i);
        if (!entry)
            return std::nullopt;
        return Candidate{Dimension(entry->Width), Dimension(entry->Height), entry->BitCount};
    });
    if (chosen < 0)
        return std::nullopt;
    return DirectoryEntry<T>(directory, static_cast<std::uint32_t>(chosen));
}

// ---- PE ----------------------------------------------------------------------------

class PeResources {
public:
    // Nothing when bytes is no PE image with a resource directory.
    static std::optional<PeResources> Open(Bytes file);

    int GroupCount() const;
    Bytes Group(int index) const;
    Bytes Icon(std::uint16_t id);

private:
    // A resource directory read from the resource section: its header and how many of
    // its entries actually lie in the section.
    struct Directory {
        std::uint64_t EntriesOffset; // in the file
        std::uint32_t Count;
    };

    std::optional<std::uint64_t> RvaToOffset(std::uint64_t rva, std::uint64_t* available = nullptr) const;
    std::optional<Directory> DirectoryAt(std::uint32_t offsetInResources) const;
    std::optional<ResourceDirectoryEntry> EntryOf(const Directory& directory, std::uint32_t index) const;
    std::optional<Directory> TypeDirectory(std::uint32_t type) const;
    Bytes DataOfName(const ResourceDirectoryEntry& name) const;

    Bytes file_;
    std::uint64_t sectionsOffset_ = 0;
    std::uint32_t sectionCount_ = 0;
    std::uint32_t resourcesRva_ = 0;
    std::optional<Directory> groups_;
    std::optional<Directory> icons_;
    // RT_ICON id -> its first entry, built on first use: a lookup per icon must not walk
    // a directory of 65535 entries each time.
    std::optional<std::unordered_map<std::uint32_t, ResourceDirectoryEntry>> iconIndex_;
};

std::optional<PeResources> PeResources::Open(Bytes file)
{
    const auto dos = Read<DosHeader>(file, 0);
    if (!dos || dos->Magic != kMzMagic)
        return std::nullopt;
    const std::uint64_t coffOffset = dos->NewHeaderOffset;
    const auto coff = Read<CoffHeader>(file, coffOffset);
    if (!coff || coff->Signature != kPeSignature)
        return std::nullopt;
    const std::uint64_t optionalOffset = coffOffset + sizeof(CoffHeader);
    const auto magic = Read<std::uint16_t>(file, optionalOffset);
    if (!magic)
        return std::nullopt;
    std::uint64_t rvaCountField = 0;
    if (*magic == kPe32Magic)
        rvaCountField = 92;
    else if (*magic == kPe32PlusMagic)
        rvaCountField = 108;
    else
        return std::nullopt;
    const std::uint64_t directoriesField = rvaCountField + 4;
    const std::uint64_t resourceField = directoriesField + kResourceDirectoryIndex * sizeof(DataDirectory);
    const auto rvaCount = Read<std::uint32_t>(file, optionalOffset + rvaCountField);
    if (!rvaCount || *rvaCount <= kResourceDirectoryIndex
        || coff->SizeOfOptionalHeader < resourceField + sizeof(DataDirectory))
        return std::nullopt;
    const auto resources = Read<DataDirectory>(file, optionalOffset + resourceField);
    if (!resources || resources->VirtualAddress == 0)
        return std::nullopt;

    PeResources pe;
    pe.file_ = file;
    pe.sectionsOffset_ = optionalOffset + coff->SizeOfOptionalHeader;
    pe.sectionCount_ = coff->NumberOfSections;
    pe.resourcesRva_ = resources->VirtualAddress;
    pe.groups_ = pe.TypeDirectory(kRtGroupIcon);
    pe.icons_ = pe.TypeDirectory(kRtIcon);
    return pe;
}

// The section holding rva: VirtualAddress <= rva < VirtualAddress + SizeOfRawData.
// available receives how many bytes of raw data follow rva in that section.
std::optional<std::uint64_t> PeResources::RvaToOffset(std::uint64_t rva, std::uint64_t* available) const
{
    for (std::uint32_t i = 0; i < sectionCount_; ++i) {
        const auto section = Read<SectionHeader>(file_, sectionsOffset_ + std::uint64_t{i} * sizeof(SectionHeader));
        if (!section)
            return std::nullopt;
        const std::uint64_t start = section->VirtualAddress;
        const std::uint64_t end = start + section->SizeOfRawData;
        if (rva >= start && rva < end) {
            if (available)
                *available = end - rva;
            return std::uint64_t{section->PointerToRawData} + (rva - start);
        }
    }
    return std::nullopt;
}

std::optional<PeResources::Directory> PeResources::DirectoryAt(std::uint32_t offsetInResources) const
{
    std::uint64_t available = 0;
    const auto offset = RvaToOffset(std::uint64_t{resourcesRva_} + offsetInResources, &available);
    if (!offset)
        return std::nullopt;
    const auto header = Read<ResourceDirectory>(file_, *offset);
    if (!header || available < sizeof(ResourceDirectory))
        return std::nullopt;
    // Entries past the section's raw data or the file's end don't exist.
    const std::uint64_t entriesOffset = *offset + sizeof(ResourceDirectory);
    std::uint64_t room = available - sizeof(ResourceDirectory);
    if (entriesOffset <= file_.size())
        room = std::min<std::uint64_t>(room, file_.size() - entriesOffset);
    else
        room = 0;
    const std::uint64_t declared = std::uint64_t{header->NumberOfNamedEntries} + header->NumberOfIdEntries;
    const std::uint64_t count = std::min<std::uint64_t>(declared, room / sizeof(ResourceDirectoryEntry));
    return Directory{entriesOffset, static_cast<std::uint32_t>(count)};
}

std::optional<ResourceDirectoryEntry> PeResources::EntryOf(const Directory& directory, std::uint32_t index) const
{
    if (index >= directory.Count)
        return std::nullopt;
    return Read<ResourceDirectoryEntry>(file_, directory.EntriesOffset + std::uint64_t{index} * sizeof(ResourceDirectoryEntry));
}

// The directory of one numbered resource type; a type named with digits is another type.
std::optional<PeResources::Directory> PeResources::TypeDirectory(std::uint32_t type) const
{
    const auto root = DirectoryAt(0);
    if (!root)
        return std::nullopt;
    for (std::uint32_t i = 0; i < root->Count; ++i) {
        const auto entry = EntryOf(*root, i);
        if (!entry)
            break;
        if ((entry->Name & kHighBit) == 0 && entry->Name == type) {
            if ((entry->OffsetToData & kHighBit) == 0)
                return std::nullopt;
            return DirectoryAt(entry->OffsetToData & ~kHighBit);
        }
    }
    return std::nullopt;
}

// The data of a resource name: the first entry of its language directory.
Bytes PeResources::DataOfName(const ResourceDirectoryEntry& name) const
{
    if ((name.OffsetToData & kHighBit) == 0)
        return {};
    const auto languages = DirectoryAt(name.OffsetToData & ~kHighBit);
    if (!languages)
        return {};
    const auto language = EntryOf(*languages, 0);
    if (!language || (language->OffsetToData & kHighBit) != 0)
        return {};
    const auto dataOffset = RvaToOffset(std::uint64_t{resourcesRva_} + language->OffsetToData);
    if (!dataOffset)
        return {};
    const auto data = Read<ResourceDataEntry>(file_, *dataOffset);
    if (!data)
        return {};
    const auto offset = RvaToOffset(data->OffsetToData);
    if (!offset)
        return {};
    return Slice(file_, *offset, data->Size);
}

int PeResources::GroupCount() const
{
    return groups_ ? static_cast<int>(groups_->Count) : 0;
}

Bytes PeResources::Group(int index) const
{
    if (!groups_ || index < 0)
        return {};
    const auto name = EntryOf(*groups_, static_cast<std::uint32_t>(index));
    return name ? DataOfName(*name) : Bytes{};
}

Bytes PeResources::Icon(std::uint16_t id)
{
    if (!icons_)
        return {};
    if (!iconIndex_) {
        iconIndex_.emplace();
        for (std::uint32_t i = 0; i < icons_->Count; ++i) {
            const auto name = EntryOf(*icons_, i);
            if (!name)
                break;
            if ((name->Name & kHighBit) == 0)
                iconIndex_->try_emplace(name->Name, *name);
        }
    }
    const auto found = iconIndex_->find(id);
    return found == iconIndex_->end() ? Bytes{} : DataOfName(found->second);
}

// ---- NE ----------------------------------------------------------------------------

class NeResources {
public:
    static std::optional<NeResources> Open(Bytes file);

    int GroupCount() const;
    Bytes Group(int index) const;
    Bytes Icon(std::uint16_t id);

private:
    struct TypeBlock {
        std::uint64_t NamesOffset;
        std::uint32_t Count; // entries that lie in the file
    };
    std::optional<TypeBlock> FindType(std::uint16_t type) const;
    Bytes DataOf(const NeNameInfo& name) const;

    Bytes file_;
    std::uint64_t table_ = 0;
    std::uint32_t shift_ = 0;
    std::optional<TypeBlock> groups_;
    std::optional<TypeBlock> icons_;
    std::optional<std::unordered_map<std::uint16_t, NeNameInfo>> iconIndex_;
};

std::optional<NeResources> NeResources::Open(Bytes file)
{
    const auto dos = Read<DosHeader>(file, 0);
    if (!dos || dos->Magic != kMzMagic)
        return std::nullopt;
    const std::uint64_t ne = dos->NewHeaderOffset;
    const auto signature = Read<std::uint16_t>(file, ne);
    const auto tableField = Read<std::uint16_t>(file, ne + kNeResourceTableField);
    const auto namesField = Read<std::uint16_t>(file, ne + kNeResidentNamesField);
    // A resource table that starts where the resident names do is empty.
    if (!signature || *signature != kNeSignature || !tableField || !namesField || *tableField == *namesField)
        return std::nullopt;
    NeResources result;
    result.file_ = file;
    result.table_ = ne + *tableField;
    const auto shift = Read<std::uint16_t>(file, result.table_);
    // Offsets are 16-bit words shifted left; beyond 31 they would leave any file.
    if (!shift || *shift > 31)
        return std::nullopt;
    result.shift_ = *shift;
    result.groups_ = result.FindType(kNeRtGroupIcon);
    result.icons_ = result.FindType(kNeRtIcon);
    return result;
}

std::optional<NeResources::TypeBlock> NeResources::FindType(std::uint16_t type) const
{
    // Each block moves the position forward, so the walk ends at the file's end at the latest.
    std::uint64_t position = table_ + 2;
    for (;;) {
        const auto info = Read<NeTypeInfo>(file_, position);
        if (!info || info->TypeId == 0)
            return std::nullopt;
        const std::uint64_t names = position + sizeof(NeTypeInfo);
        if (info->TypeId == type) {
            const std::uint64_t room = names <= file_.size() ? file_.size() - names : 0;
            const std::uint64_t count = std::min<std::uint64_t>(info->Count, room / sizeof(NeNameInfo));
            return TypeBlock{names, static_cast<std::uint32_t>(count)};
        }
        position = names + std::uint64_t{info->Count} * sizeof(NeNameInfo);
    }
}

Bytes NeResources::DataOf(const NeNameInfo& name) const
{
    return Slice(file_, std::uint64_t{name.Offset} << shift_, std::uint64_t{name.Length} << shift_);
}

int NeResources::GroupCount() const
{
    return groups_ ? static_cast<int>(groups_->Count) : 0;
}

Bytes NeResources::Group(int index) const
{
    if (!groups_ || index < 0 || static_cast<std::uint32_t>(index) >= groups_->Count)
        return {};
    const auto name = Read<NeNameInfo>(file_, groups_->NamesOffset + std::uint64_t(index) * sizeof(NeNameInfo));
    return name ? DataOf(*name) : Bytes{};
}

Bytes NeResources::Icon(std::uint16_t id)
{
    if (!icons_)
        return {};
    if (!iconIndex_) {
        iconIndex_.emplace();
        for (std::uint32_t i = 0; i < icons_->Count; ++i) {
            const auto name = Read<NeNameInfo>(file_, icons_->NamesOffset + std::uint64_t{i} * sizeof(NeNameInfo));
            if (!name)
                break;
            iconIndex_->try_emplace(name->Id, *name);
        }
    }
    const auto found = iconIndex_->find(static_cast<std::uint16_t>(id | kNeIntegerId));
    return found == iconIndex_->end() ? Bytes{} : DataOf(found->second);
}

// ---- icon files ----------------------------------------------------------------------

bool IsIconFile(Bytes file)
{
    const auto magic = Read<std::uint16_t>(file, 0);
    const auto type = Read<std::uint16_t>(file, 2);
    return magic && *magic != kMzMagic && type && *type == 1;
}

Bytes IconFileImage(Bytes file)
{
    const auto entry = ChooseEntry<IconFileEntry>(file);
    return entry ? Slice(file, entry->ImageOffset, entry->BytesInRes) : Bytes{};
}

// How much a damaged file may make one reader look at: far above any real file's icons,
// low enough that no file keeps the scan busy for long.
constexpr std::uint64_t kReaderBudget = std::uint64_t{256} << 20;

} // namespace

struct IconReader::Parsed {
    Bytes file;
    std::optional<PeResources> pe;
    std::optional<NeResources> ne;
    bool iconFile = false;
    std::uint64_t budget = kReaderBudget;

    // Charges the work of looking at bytes; false once the budget is spent.
    bool Charge(std::uint64_t bytes)
    {
        if (bytes > budget) {
            budget = 0;
            return false;
        }
        budget -= bytes;
        return true;
    }

    template <typename Resources>
    std::optional<IconImage> FromGroup(Resources& resources, int index)
    {
        const Bytes group = resources.Group(index);
        if (!Charge(group.size()))
            return std::nullopt;
        const auto entry = ChooseEntry<GroupIconEntry>(group);
        if (!entry)
            return std::nullopt;
        return Decode(resources.Icon(entry->Id));
    }

    std::optional<IconImage> Decode(Bytes image)
    {
        if (image.empty() || !Charge(DecodeCost(image)))
            return std::nullopt;
        return DecodeIconImage(image);
    }
};

IconReader::IconReader(std::span<const std::uint8_t> file) : parsed_(std::make_unique<Parsed>())
{
    parsed_->file = file;
    parsed_->pe = PeResources::Open(file);
    if (!parsed_->pe)
        parsed_->ne = NeResources::Open(file);
    parsed_->iconFile = !parsed_->pe && !parsed_->ne && IsIconFile(file);
}

IconReader::~IconReader() = default;

int IconReader::Count() const
{
    if (parsed_->pe)
        return parsed_->pe->GroupCount();
    if (parsed_->ne)
        return parsed_->ne->GroupCount();
    return parsed_->iconFile ? 1 : 0;
}

std::optional<IconImage> IconReader::Read(int index)
{
    if (index < 0)
        return std::nullopt;
    if (parsed_->pe)
        return parsed_->FromGroup(*parsed_->pe, index);
    if (parsed_->ne)
        return parsed_->FromGroup(*parsed_->ne, index);
    if (parsed_->iconFile && index == 0)
        return parsed_->Decode(IconFileImage(parsed_->file));
    return std::nullopt;
}

int CountIcons(std::span<const std::uint8_t> file)
{
    return IconReader(file).Count();
}

std::optional<IconImage> ReadIcon(std::span<const std::uint8_t> file, int index)
{
    return IconReader(file).Read(index);
}

QImage DrawIconBitmap(const IconImage& icon)
{
    constexpr int kBitmapSize = kIconSize + 2;
    QImage bitmap(kBitmapSize, kBitmapSize, QImage::Format_RGB32);
    bitmap.fill(0xFFFFFFFFu);
    for (int y = 0; y < kIconSize; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(bitmap.scanLine(y + 1)) + 1;
        for (int x = 0; x < kIconSize; ++x) {
            const std::size_t i = static_cast<std::size_t>(y * kIconSize + x);
            const std::uint32_t colour = icon.Pixels[i];
            if (icon.Blend) {
                const std::uint32_t a = colour >> 24;
                std::uint32_t out = 0xFF000000u;
                for (int shift = 0; shift <= 16; shift += 8) {
                    const std::uint32_t c = (colour >> shift) & 0xFFu;
                    out |= ((c * a + 255u * (255u - a) + 127u) / 255u) << shift;
                }
                row[x] = out;
            } else {
                const std::uint32_t background = icon.Mask[i] ? 0x00FFFFFFu : 0u;
                row[x] = 0xFF000000u | (background ^ (colour & 0x00FFFFFFu));
            }
        }
    }
    return bitmap;
}
