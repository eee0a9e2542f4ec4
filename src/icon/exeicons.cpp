#include "icon/exeicons.h"

#include "icon/bytesource.h"
#include "icon/dib.h"

#include <bit>
#include <memory>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <unordered_map>
#include <vector>

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
static_assert(sizeof(ResourceDataEntry) == 16);
static_assert(sizeof(GroupIconEntry) == 14);
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
using Buffer = std::vector<std::uint8_t>;

// The largest resource the reader loads: far above any real icon image (a 256x256 32-bit
// DIB is 270 KB) or group, low enough that a damaged size allocates little.
constexpr std::uint64_t kMaxResourceBytes = std::uint64_t{8} << 20;

template <typename T>
std::optional<T> Read(const ByteSource& file, std::uint64_t offset)
{
    static_assert(std::is_trivially_copyable_v<T>);
    T value;
    if (!file.ReadAt(offset, std::span(reinterpret_cast<std::uint8_t*>(&value), sizeof(T))))
        return std::nullopt;
    return value;
}

template <typename T>
std::optional<T> Read(Bytes bytes, std::uint64_t offset)
{
    return Read<T>(SpanSource(bytes), offset);
}

// Where a resource's bytes lie in the file; Length 0 when there is none.
struct Extent {
    std::uint64_t Offset = 0;
    std::uint64_t Length = 0;
};

// The bytes of extent, read whole: nothing when they don't all lie in the file, are too
// many, or can't be read (the file was cut short since it was opened).
std::optional<Buffer> Load(const ByteSource& file, Extent extent)
{
    if (extent.Length == 0 || extent.Length > kMaxResourceBytes || extent.Offset > file.Size()
        || extent.Length > file.Size() - extent.Offset)
        return std::nullopt;
    Buffer bytes(static_cast<std::size_t>(extent.Length));
    if (!file.ReadAt(extent.Offset, bytes))
        return std::nullopt;
    return bytes;
}

// count records of T from offset, as many of them as lie in the file, in one read.
template <typename T>
std::vector<T> ReadArray(const ByteSource& file, std::uint64_t offset, std::uint64_t count)
{
    static_assert(std::is_trivially_copyable_v<T>);
    const std::uint64_t room = offset <= file.Size() ? (file.Size() - offset) / sizeof(T) : 0;
    std::vector<T> records(static_cast<std::size_t>(std::min(count, room)));
    const std::span bytes(reinterpret_cast<std::uint8_t*>(records.data()), records.size() * sizeof(T));
    if (!file.ReadAt(offset, bytes))
        records.clear();
    return records;
}

// The image of a group for the 32x32 large icon at 32 bits per pixel: nearest in size,
// then nearest in depth among those exactly as far off in width and in height; the first
// entry wins every tie.
int ChooseImage(const std::vector<IconEntry>& entries)
{
    int best = -1;
    int bestDistance = 0;
    int dx = 0;
    int dy = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const int width = EntryDimension(entries[i].Width);
        const int height = EntryDimension(entries[i].Height);
        const int distance = std::abs(kIconSize - width) + std::abs(kIconSize - height);
        if (best < 0 || distance < bestDistance) {
            best = static_cast<int>(i);
            bestDistance = distance;
            dx = std::abs(kIconSize - width);
            dy = std::abs(kIconSize - height);
        }
    }
    int chosen = -1;
    int chosenDepth = 0;
    for (std::size_t i = 0; best >= 0 && i < entries.size(); ++i) {
        const IconEntry& e = entries[i];
        if (std::abs(kIconSize - EntryDimension(e.Width)) != dx || std::abs(kIconSize - EntryDimension(e.Height)) != dy)
            continue;
        const int depth = std::abs(32 - e.BitCount);
        if (chosen < 0 || depth < chosenDepth) {
            chosen = static_cast<int>(i);
            chosenDepth = depth;
        }
    }
    return chosen;
}

// The entries of an icon directory (a group resource or an icon file's header) whose
// records are T, as many as lie in its bytes.
template <typename T>
std::vector<IconEntry> DirectoryEntries(Bytes directory)
{
    const auto header = Read<IconFileHeader>(directory, 0);
    if (!header)
        return {};
    const std::uint64_t room = (directory.size() - sizeof(IconFileHeader)) / sizeof(T);
    std::vector<IconEntry> entries;
    entries.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(header->Count, room)));
    for (std::uint64_t i = 0; i < header->Count && i < room; ++i) {
        const auto e = Read<T>(directory, sizeof(IconFileHeader) + i * sizeof(T));
        std::uint32_t where = 0;
        if constexpr (std::is_same_v<T, GroupIconEntry>)
            where = e->Id;
        else
            where = e->ImageOffset;
        entries.push_back({e->Width, e->Height, e->ColorCount, e->Reserved, e->Planes, e->BitCount, e->BytesInRes, where});
    }
    return entries;
}

// ---- PE ----------------------------------------------------------------------------

class PeResources {
public:
    // Nothing when file is no PE image with a resource directory.
    static std::optional<PeResources> Open(const ByteSource& file);

    int GroupCount() const { return static_cast<int>(groups_.size()); }
    Extent Group(int index) const;
    Extent Icon(std::uint16_t id);
    // What one Group or Icon costs: its three addresses each looked up in the section
    // table, which a damaged file may fill with 65535 sections.
    std::uint64_t LookupCost() const { return 3 * sections_.size() * sizeof(SectionHeader); }

private:
    explicit PeResources(const ByteSource& file) : file_(&file) {}

    // A resource directory read from the resource section: its header and how many of
    // its entries actually lie in the section.
    struct Directory {
        std::uint64_t EntriesOffset; // in the file
        std::uint32_t Count;
    };

    std::optional<std::uint64_t> RvaToOffset(std::uint64_t rva, std::uint64_t* available = nullptr) const;
    std::optional<Directory> DirectoryAt(std::uint32_t offsetInResources) const;
    std::vector<ResourceDirectoryEntry> Entries(const std::optional<Directory>& directory) const;
    std::optional<Directory> TypeDirectory(std::uint32_t type) const;
    Extent DataOfName(const ResourceDirectoryEntry& name) const;

    const ByteSource* file_;
    std::vector<SectionHeader> sections_;
    std::uint32_t resourcesRva_ = 0;
    std::vector<ResourceDirectoryEntry> groups_;
    std::optional<Directory> icons_;
    // RT_ICON id -> its first entry, built on first use: a lookup per icon must not walk
    // a directory of 65535 entries each time.
    std::optional<std::unordered_map<std::uint32_t, ResourceDirectoryEntry>> iconIndex_;
};

std::optional<PeResources> PeResources::Open(const ByteSource& file)
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

    PeResources pe(file);
    // The section table is read once: every RVA goes through it.
    pe.sections_ = ReadArray<SectionHeader>(file, optionalOffset + coff->SizeOfOptionalHeader, coff->NumberOfSections);
    pe.resourcesRva_ = resources->VirtualAddress;
    pe.groups_ = pe.Entries(pe.TypeDirectory(kRtGroupIcon));
    pe.icons_ = pe.TypeDirectory(kRtIcon);
    return pe;
}

// The section holding rva: VirtualAddress <= rva < VirtualAddress + SizeOfRawData.
// available receives how many bytes of raw data follow rva in that section.
std::optional<std::uint64_t> PeResources::RvaToOffset(std::uint64_t rva, std::uint64_t* available) const
{
    for (const SectionHeader& section : sections_) {
        const std::uint64_t start = section.VirtualAddress;
        const std::uint64_t end = start + section.SizeOfRawData;
        if (rva >= start && rva < end) {
            if (available)
                *available = end - rva;
            return std::uint64_t{section.PointerToRawData} + (rva - start);
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
    const auto header = Read<ResourceDirectory>(*file_, *offset);
    if (!header || available < sizeof(ResourceDirectory))
        return std::nullopt;
    // Entries past the section's raw data or the file's end don't exist.
    const std::uint64_t entriesOffset = *offset + sizeof(ResourceDirectory);
    std::uint64_t room = available - sizeof(ResourceDirectory);
    if (entriesOffset <= file_->Size())
        room = std::min<std::uint64_t>(room, file_->Size() - entriesOffset);
    else
        room = 0;
    const std::uint64_t declared = std::uint64_t{header->NumberOfNamedEntries} + header->NumberOfIdEntries;
    const std::uint64_t count = std::min<std::uint64_t>(declared, room / sizeof(ResourceDirectoryEntry));
    return Directory{entriesOffset, static_cast<std::uint32_t>(count)};
}

std::vector<ResourceDirectoryEntry> PeResources::Entries(const std::optional<Directory>& directory) const
{
    if (!directory)
        return {};
    return ReadArray<ResourceDirectoryEntry>(*file_, directory->EntriesOffset, directory->Count);
}

// The directory of one numbered resource type; a type named with digits is another type.
std::optional<PeResources::Directory> PeResources::TypeDirectory(std::uint32_t type) const
{
    for (const ResourceDirectoryEntry& entry : Entries(DirectoryAt(0))) {
        if ((entry.Name & kHighBit) == 0 && entry.Name == type) {
            if ((entry.OffsetToData & kHighBit) == 0)
                return std::nullopt;
            return DirectoryAt(entry.OffsetToData & ~kHighBit);
        }
    }
    return std::nullopt;
}

// The data of a resource name: the first entry of its language directory.
Extent PeResources::DataOfName(const ResourceDirectoryEntry& name) const
{
    if ((name.OffsetToData & kHighBit) == 0)
        return {};
    const auto languages = DirectoryAt(name.OffsetToData & ~kHighBit);
    if (!languages || languages->Count == 0)
        return {};
    const auto language = Read<ResourceDirectoryEntry>(*file_, languages->EntriesOffset);
    if (!language || (language->OffsetToData & kHighBit) != 0)
        return {};
    const auto dataOffset = RvaToOffset(std::uint64_t{resourcesRva_} + language->OffsetToData);
    if (!dataOffset)
        return {};
    const auto data = Read<ResourceDataEntry>(*file_, *dataOffset);
    if (!data)
        return {};
    const auto offset = RvaToOffset(data->OffsetToData);
    if (!offset)
        return {};
    return {*offset, data->Size};
}

Extent PeResources::Group(int index) const
{
    if (index < 0 || index >= GroupCount())
        return {};
    return DataOfName(groups_[static_cast<std::size_t>(index)]);
}

Extent PeResources::Icon(std::uint16_t id)
{
    if (!iconIndex_) {
        iconIndex_.emplace();
        for (const ResourceDirectoryEntry& name : Entries(icons_))
            if ((name.Name & kHighBit) == 0)
                iconIndex_->try_emplace(name.Name, name);
    }
    const auto found = iconIndex_->find(id);
    return found == iconIndex_->end() ? Extent{} : DataOfName(found->second);
}

// ---- NE ----------------------------------------------------------------------------

class NeResources {
public:
    static std::optional<NeResources> Open(const ByteSource& file);

    int GroupCount() const { return static_cast<int>(groups_.size()); }
    Extent Group(int index) const;
    Extent Icon(std::uint16_t id);

private:
    explicit NeResources(const ByteSource& file) : file_(&file) {}
    std::vector<NeNameInfo> FindType(std::uint16_t type) const;
    Extent DataOf(const NeNameInfo& name) const;

    const ByteSource* file_;
    std::uint64_t table_ = 0;
    std::uint64_t tableEnd_ = 0;
    std::uint32_t shift_ = 0;
    std::vector<NeNameInfo> groups_;
    std::optional<std::unordered_map<std::uint16_t, NeNameInfo>> iconIndex_;
};

std::optional<NeResources> NeResources::Open(const ByteSource& file)
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
    NeResources result(file);
    result.table_ = ne + *tableField;
    result.tableEnd_ = ne + 0x10000;
    const auto shift = Read<std::uint16_t>(file, result.table_);
    // Offsets are 16-bit words shifted left; beyond 31 they would leave any file.
    if (!shift || *shift > 31)
        return std::nullopt;
    result.shift_ = *shift;
    result.groups_ = result.FindType(kNeRtGroupIcon);
    return result;
}

// The name entries of one type, as many as lie in the file.
std::vector<NeNameInfo> NeResources::FindType(std::uint16_t type) const
{
    // The table lies before the resident names, whose offset from the header is 16-bit:
    // no block starts past that, however long a damaged file's chain of empty blocks runs.
    for (std::uint64_t position = table_ + 2; position < tableEnd_;) {
        const auto info = Read<NeTypeInfo>(*file_, position);
        if (!info || info->TypeId == 0)
            return {};
        const std::uint64_t names = position + sizeof(NeTypeInfo);
        if (info->TypeId == type)
            return ReadArray<NeNameInfo>(*file_, names, info->Count);
        position = names + std::uint64_t{info->Count} * sizeof(NeNameInfo);
    }
    return {};
}

Extent NeResources::DataOf(const NeNameInfo& name) const
{
    return {std::uint64_t{name.Offset} << shift_, std::uint64_t{name.Length} << shift_};
}

Extent NeResources::Group(int index) const
{
    if (index < 0 || index >= GroupCount())
        return {};
    return DataOf(groups_[static_cast<std::size_t>(index)]);
}

Extent NeResources::Icon(std::uint16_t id)
{
    if (!iconIndex_) {
        iconIndex_.emplace();
        for (const NeNameInfo& name : FindType(kNeRtIcon))
            iconIndex_->try_emplace(name.Id, name);
    }
    const auto found = iconIndex_->find(static_cast<std::uint16_t>(id | kNeIntegerId));
    return found == iconIndex_->end() ? Extent{} : DataOf(found->second);
}

// ---- icon files ----------------------------------------------------------------------

bool IsIconFile(const ByteSource& file)
{
    const auto header = Read<IconFileHeader>(file, 0);
    return header && header->Reserved != kMzMagic && header->Type == 1;
}

// The header and entries of an icon file, as far as they lie in it.
Extent IconFileDirectory(const ByteSource& file)
{
    const auto header = Read<IconFileHeader>(file, 0);
    if (!header)
        return {};
    const std::uint64_t length = sizeof(IconFileHeader) + std::uint64_t{header->Count} * sizeof(IconFileEntry);
    return {0, std::min(length, file.Size())};
}

// How much a damaged file may make one reader look at: far above any real file's icons,
// low enough that no file keeps the scan busy for long.
constexpr std::uint64_t kReaderBudget = std::uint64_t{256} << 20;

} // namespace

struct IconReader::Parsed {
    explicit Parsed(const ByteSource& source) : file(source) {}

    const ByteSource& file;
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

    std::optional<Buffer> LoadCharged(Extent extent)
    {
        if (!Charge(extent.Length))
            return std::nullopt;
        return Load(file, extent);
    }

    std::vector<IconEntry> Entries(int index)
    {
        if (index < 0)
            return {};
        if (pe || ne) {
            if (pe && !Charge(pe->LookupCost()))
                return {};
            const auto group = LoadCharged(pe ? pe->Group(index) : ne->Group(index));
            return group ? DirectoryEntries<GroupIconEntry>(*group) : std::vector<IconEntry>{};
        }
        if (iconFile && index == 0) {
            const auto directory = LoadCharged(IconFileDirectory(file));
            return directory ? DirectoryEntries<IconFileEntry>(*directory) : std::vector<IconEntry>{};
        }
        return {};
    }

    std::optional<Buffer> Image(const IconEntry& entry)
    {
        if (pe)
            return Charge(pe->LookupCost()) ? LoadCharged(pe->Icon(static_cast<std::uint16_t>(entry.Where)))
                                            : std::nullopt;
        if (ne)
            return LoadCharged(ne->Icon(static_cast<std::uint16_t>(entry.Where)));
        return LoadCharged({entry.Where, entry.BytesInRes});
    }
};

IconReader::IconReader(const ByteSource& file) : parsed_(std::make_unique<Parsed>(file))
{
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
    const std::vector<IconEntry> entries = parsed_->Entries(index);
    const int chosen = ChooseImage(entries);
    if (chosen < 0)
        return std::nullopt;
    const auto image = parsed_->Image(entries[static_cast<std::size_t>(chosen)]);
    if (!image || !parsed_->Charge(DecodeCost(*image)))
        return std::nullopt;
    return DecodeIconImage(*image);
}

std::vector<IconEntry> IconReader::Entries(int index)
{
    return parsed_->Entries(index);
}

std::optional<std::vector<std::uint8_t>> IconReader::ImageData(const IconEntry& entry)
{
    return parsed_->Image(entry);
}

std::optional<DecodedImage> IconReader::Decode(const IconEntry& entry)
{
    const auto image = parsed_->Image(entry);
    return image ? Decode(*image) : std::nullopt;
}

std::optional<DecodedImage> IconReader::Decode(std::span<const std::uint8_t> data)
{
    if (!parsed_->Charge(DecodeCost(data)))
        return std::nullopt;
    return DecodeImage(data);
}

int CountIcons(std::span<const std::uint8_t> file)
{
    return IconReader(SpanSource(file)).Count();
}

std::optional<IconImage> ReadIcon(std::span<const std::uint8_t> file, int index)
{
    const SpanSource source(file);
    return IconReader(source).Read(index);
}
