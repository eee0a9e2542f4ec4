#include "icon/resources.h"

#include <algorithm>
#include <bit>
#include <functional>
#include <unordered_map>
#include <utility>

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
static_assert(sizeof(NeTypeInfo) == 8 && sizeof(NeNameInfo) == 12);

constexpr std::uint16_t kMzMagic = 0x5A4D;            // "MZ"
constexpr std::uint32_t kPeSignature = 0x00004550;    // "PE\0\0"
constexpr std::uint16_t kNeSignature = 0x454E;        // "NE"
constexpr std::uint16_t kPe32Magic = 0x10b;
constexpr std::uint16_t kPe32PlusMagic = 0x20b;
constexpr std::uint32_t kResourceDirectoryIndex = 2;
constexpr std::uint32_t kHighBit = 0x80000000u;
constexpr std::uint16_t kNeIntegerId = 0x8000;
constexpr std::uint32_t kNeResourceTableField = 0x24;
constexpr std::uint32_t kNeResidentNamesField = 0x26;

// The names of each type, read on first use and kept, and looked up by number through
// an index built once: a lookup per resource must not walk a directory of 65535 entries.
template <typename Entry>
class TypeCache {
public:
    using Reader = std::function<std::vector<Entry>(std::uint16_t)>;
    using IdOf = std::optional<std::uint32_t> (*)(const Entry&);
    TypeCache(Reader read, IdOf idOf) : read_(std::move(read)), idOf_(idOf) {}

    const std::vector<Entry>& Names(std::uint16_t type)
    {
        auto found = names_.find(type);
        if (found == names_.end())
            found = names_.emplace(type, read_(type)).first;
        return found->second;
    }

    const Entry* At(std::uint16_t type, int index)
    {
        const auto& names = Names(type);
        return index >= 0 && static_cast<std::size_t>(index) < names.size() ? &names[static_cast<std::size_t>(index)]
                                                                             : nullptr;
    }

    // The first entry numbered id.
    const Entry* ById(std::uint16_t type, std::uint32_t id)
    {
        auto index = byId_.find(type);
        if (index == byId_.end()) {
            index = byId_.emplace(type, std::unordered_map<std::uint32_t, const Entry*>{}).first;
            for (const Entry& entry : Names(type))
                if (const auto entryId = idOf_(entry))
                    index->second.try_emplace(*entryId, &entry);
        }
        const auto found = index->second.find(id);
        return found == index->second.end() ? nullptr : found->second;
    }

private:
    Reader read_;
    IdOf idOf_;
    std::map<std::uint16_t, std::vector<Entry>> names_;
    std::map<std::uint16_t, std::unordered_map<std::uint32_t, const Entry*>> byId_;
};

// ---- PE ----------------------------------------------------------------------------

class PeTable final : public ResourceTable {
public:
    PeTable(const ByteSource& file, std::vector<SectionHeader> sections, std::uint32_t resourcesRva)
        : file_(file), sections_(std::move(sections)), resourcesRva_(resourcesRva),
          cache_([this](std::uint16_t type) { return ReadType(type); },
                 [](const ResourceDirectoryEntry& e) {
                     return (e.Name & kHighBit) == 0 ? std::optional<std::uint32_t>(e.Name) : std::nullopt;
                 })
    {
    }

    // Whether the root directory lies in a section; the table is of no use otherwise.
    bool ReadRoot()
    {
        const auto root = DirectoryAt(0);
        root_ = Entries(root);
        return root.has_value();
    }
    // Whether the root directory's section lies past the end of the file.
    bool RootPastEnd() const
    {
        const auto offset = RvaToOffset(resourcesRva_);
        return offset && *offset >= file_.Size();
    }

    int Count(std::uint16_t type) override { return static_cast<int>(cache_.Names(type).size()); }
    ResourceName Name(std::uint16_t type, int index) override;
    std::vector<std::uint32_t> Languages(std::uint16_t type, int index) override;
    Extent Data(std::uint16_t type, int index, std::optional<std::uint32_t> language) override;
    Extent DataById(std::uint16_t type, std::uint16_t id, std::optional<std::uint32_t> language) override;
    std::uint64_t LookupCost() const override { return 3 * sections_.size() * sizeof(SectionHeader); }
    std::uint64_t TakeDirectoryBytes() override { return std::exchange(directoryBytes_, 0); }
    std::uint64_t LengthUnit() const override { return 1; }

private:
    // A resource directory: where its entries start in the file and how many of them
    // actually lie in the section and the file.
    struct Directory {
        std::uint64_t EntriesOffset;
        std::uint32_t Count;
    };

    std::optional<std::uint64_t> RvaToOffset(std::uint64_t rva, std::uint64_t* available = nullptr) const;
    std::optional<Directory> DirectoryAt(std::uint32_t offsetInResources) const;
    std::vector<ResourceDirectoryEntry> Entries(const std::optional<Directory>& directory) const;
    std::vector<ResourceDirectoryEntry> ReadType(std::uint16_t type) const;
    std::vector<ResourceDirectoryEntry> LanguagesOf(const ResourceDirectoryEntry& name) const;
    Extent DataOfName(const ResourceDirectoryEntry& name, std::optional<std::uint32_t> language) const;

    const ByteSource& file_;
    std::vector<SectionHeader> sections_;
    std::uint32_t resourcesRva_;
    std::vector<ResourceDirectoryEntry> root_;
    TypeCache<ResourceDirectoryEntry> cache_;
    mutable std::uint64_t directoryBytes_ = 0;
};

// The section holding rva: VirtualAddress <= rva < VirtualAddress + SizeOfRawData.
// available receives how many bytes of raw data follow rva in that section.
std::optional<std::uint64_t> PeTable::RvaToOffset(std::uint64_t rva, std::uint64_t* available) const
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

std::optional<PeTable::Directory> PeTable::DirectoryAt(std::uint32_t offsetInResources) const
{
    std::uint64_t available = 0;
    const auto offset = RvaToOffset(std::uint64_t{resourcesRva_} + offsetInResources, &available);
    if (!offset)
        return std::nullopt;
    const auto header = ReadRecord<ResourceDirectory>(file_, *offset);
    if (!header || available < sizeof(ResourceDirectory))
        return std::nullopt;
    // Entries past the section's raw data or the file's end don't exist.
    const std::uint64_t entriesOffset = *offset + sizeof(ResourceDirectory);
    std::uint64_t room = available - sizeof(ResourceDirectory);
    if (entriesOffset <= file_.Size())
        room = std::min<std::uint64_t>(room, file_.Size() - entriesOffset);
    else
        room = 0;
    const std::uint64_t declared = std::uint64_t{header->NumberOfNamedEntries} + header->NumberOfIdEntries;
    const std::uint64_t count = std::min<std::uint64_t>(declared, room / sizeof(ResourceDirectoryEntry));
    return Directory{entriesOffset, static_cast<std::uint32_t>(count)};
}

std::vector<ResourceDirectoryEntry> PeTable::Entries(const std::optional<Directory>& directory) const
{
    if (!directory)
        return {};
    directoryBytes_ += std::uint64_t{directory->Count} * sizeof(ResourceDirectoryEntry);
    return ReadRecords<ResourceDirectoryEntry>(file_, directory->EntriesOffset, directory->Count);
}

// The names of one numbered type; a type named with digits is another type.
std::vector<ResourceDirectoryEntry> PeTable::ReadType(std::uint16_t type) const
{
    for (const ResourceDirectoryEntry& entry : root_) {
        if ((entry.Name & kHighBit) == 0 && entry.Name == type) {
            if ((entry.OffsetToData & kHighBit) == 0)
                return {};
            return Entries(DirectoryAt(entry.OffsetToData & ~kHighBit));
        }
    }
    return {};
}

std::vector<ResourceDirectoryEntry> PeTable::LanguagesOf(const ResourceDirectoryEntry& name) const
{
    if ((name.OffsetToData & kHighBit) == 0)
        return {};
    return Entries(DirectoryAt(name.OffsetToData & ~kHighBit));
}

// The data of a resource name: the entry of wanted in its language directory, else its
// first entry.
Extent PeTable::DataOfName(const ResourceDirectoryEntry& name, std::optional<std::uint32_t> wanted) const
{
    if ((name.OffsetToData & kHighBit) == 0)
        return {};
    const auto languages = DirectoryAt(name.OffsetToData & ~kHighBit);
    if (!languages || languages->Count == 0)
        return {};
    std::optional<ResourceDirectoryEntry> language = ReadRecord<ResourceDirectoryEntry>(file_, languages->EntriesOffset);
    if (wanted && language && language->Name != *wanted)
        for (const ResourceDirectoryEntry& other : LanguagesOf(name))
            if (other.Name == *wanted) {
                language = other;
                break;
            }
    if (!language || (language->OffsetToData & kHighBit) != 0)
        return {};
    const auto dataOffset = RvaToOffset(std::uint64_t{resourcesRva_} + language->OffsetToData);
    if (!dataOffset)
        return {};
    const auto data = ReadRecord<ResourceDataEntry>(file_, *dataOffset);
    if (!data)
        return {};
    const auto offset = RvaToOffset(data->OffsetToData);
    if (!offset)
        return {};
    return {*offset, data->Size};
}

// A string name: a 16-bit count of UTF-16 units and the units, in the resource section.
ResourceName PeTable::Name(std::uint16_t type, int index)
{
    const ResourceDirectoryEntry* entry = cache_.At(type, index);
    if (!entry)
        return {};
    if ((entry->Name & kHighBit) == 0)
        return {NameForm::Number, entry->Name, {}, {}};
    std::uint64_t available = 0;
    const auto offset = RvaToOffset(std::uint64_t{resourcesRva_} + (entry->Name & ~kHighBit), &available);
    const auto length = offset ? ReadRecord<std::uint16_t>(file_, *offset) : std::nullopt;
    if (!length || available < 2 + std::uint64_t{*length} * 2)
        return {NameForm::Number, entry->Name, {}, {}};
    const std::vector<char16_t> units = ReadRecords<char16_t>(file_, *offset + 2, *length);
    if (units.size() != *length)
        return {NameForm::Number, entry->Name, {}, {}};
    return {NameForm::Utf16, 0, std::u16string(units.begin(), units.end()), {}};
}

// Numbered languages only: a language named by a string is nothing Windows makes.
std::vector<std::uint32_t> PeTable::Languages(std::uint16_t type, int index)
{
    const ResourceDirectoryEntry* entry = cache_.At(type, index);
    std::vector<std::uint32_t> languages;
    for (const ResourceDirectoryEntry& language : entry ? LanguagesOf(*entry) : std::vector<ResourceDirectoryEntry>{})
        if ((language.Name & kHighBit) == 0)
            languages.push_back(language.Name);
    return languages;
}

Extent PeTable::Data(std::uint16_t type, int index, std::optional<std::uint32_t> language)
{
    const ResourceDirectoryEntry* entry = cache_.At(type, index);
    return entry ? DataOfName(*entry, language) : Extent{};
}

Extent PeTable::DataById(std::uint16_t type, std::uint16_t id, std::optional<std::uint32_t> language)
{
    const ResourceDirectoryEntry* entry = cache_.ById(type, id);
    return entry ? DataOfName(*entry, language) : Extent{};
}

std::unique_ptr<ResourceTable> OpenPe(const ByteSource& file, std::uint64_t coffOffset, ExecutableFormat& format,
                                      ResourceProblem& problem)
{
    const auto coff = ReadRecord<CoffHeader>(file, coffOffset);
    const std::uint64_t optionalOffset = coffOffset + sizeof(CoffHeader);
    const auto magic = ReadRecord<std::uint16_t>(file, optionalOffset);
    if (!coff || !magic) {
        problem = ResourceProblem::Truncated;
        return nullptr;
    }
    std::uint64_t rvaCountField = 0;
    if (*magic == kPe32Magic) {
        format = ExecutableFormat::Pe32;
        rvaCountField = 92;
    } else if (*magic == kPe32PlusMagic) {
        format = ExecutableFormat::Pe32Plus;
        rvaCountField = 108;
    } else {
        problem = ResourceProblem::DamagedHeaders;
        return nullptr;
    }
    const std::uint64_t resourceField = rvaCountField + 4 + kResourceDirectoryIndex * sizeof(DataDirectory);
    const auto rvaCount = ReadRecord<std::uint32_t>(file, optionalOffset + rvaCountField);
    if (!rvaCount) {
        problem = ResourceProblem::Truncated;
        return nullptr;
    }
    if (*rvaCount <= kResourceDirectoryIndex || coff->SizeOfOptionalHeader < resourceField + sizeof(DataDirectory)) {
        problem = ResourceProblem::NoResources;
        return nullptr;
    }
    const auto resources = ReadRecord<DataDirectory>(file, optionalOffset + resourceField);
    if (!resources || resources->VirtualAddress == 0) {
        problem = resources ? ResourceProblem::NoResources : ResourceProblem::Truncated;
        return nullptr;
    }
    // The section table is read once: every RVA goes through it.
    auto sections = ReadRecords<SectionHeader>(file, optionalOffset + coff->SizeOfOptionalHeader, coff->NumberOfSections);
    const bool sectionsCut = sections.size() < coff->NumberOfSections;
    auto table = std::make_unique<PeTable>(file, std::move(sections), resources->VirtualAddress);
    if (!table->ReadRoot()) {
        problem = sectionsCut || table->RootPastEnd() ? ResourceProblem::Truncated : ResourceProblem::DamagedResources;
        return nullptr;
    }
    return table;
}

// ---- NE ----------------------------------------------------------------------------

class NeTable final : public ResourceTable {
public:
    NeTable(const ByteSource& file, std::uint64_t table, std::uint64_t tableEnd, std::uint32_t shift)
        : file_(file), table_(table), tableEnd_(tableEnd), shift_(shift),
          cache_([this](std::uint16_t type) { return ReadType(type); },
                 [](const NeNameInfo& name) {
                     return (name.Id & kNeIntegerId) != 0 ? std::optional<std::uint32_t>(name.Id & 0x7FFFu)
                                                          : std::nullopt;
                 })
    {
    }

    int Count(std::uint16_t type) override { return static_cast<int>(cache_.Names(type).size()); }
    ResourceName Name(std::uint16_t type, int index) override;
    std::vector<std::uint32_t> Languages(std::uint16_t, int) override { return {}; }
    Extent Data(std::uint16_t type, int index, std::optional<std::uint32_t> language) override;
    Extent DataById(std::uint16_t type, std::uint16_t id, std::optional<std::uint32_t> language) override;
    std::uint64_t LookupCost() const override { return 0; }
    std::uint64_t LengthUnit() const override { return std::uint64_t{1} << shift_; }

private:
    std::vector<NeNameInfo> ReadType(std::uint16_t type) const;
    Extent DataOf(const NeNameInfo& name) const
    {
        return {std::uint64_t{name.Offset} << shift_, std::uint64_t{name.Length} << shift_};
    }

    const ByteSource& file_;
    std::uint64_t table_;
    std::uint64_t tableEnd_;
    std::uint32_t shift_;
    TypeCache<NeNameInfo> cache_;
};

// The name entries of one numbered type, as many as lie in the file.
std::vector<NeNameInfo> NeTable::ReadType(std::uint16_t type) const
{
    // The table lies before the resident names, whose offset from the header is 16-bit:
    // no block starts past that, however long a damaged file's chain of empty blocks runs.
    for (std::uint64_t position = table_ + 2; position < tableEnd_;) {
        const auto info = ReadRecord<NeTypeInfo>(file_, position);
        if (!info || info->TypeId == 0)
            return {};
        const std::uint64_t names = position + sizeof(NeTypeInfo);
        if (info->TypeId == (type | kNeIntegerId))
            return ReadRecords<NeNameInfo>(file_, names, info->Count);
        position = names + std::uint64_t{info->Count} * sizeof(NeNameInfo);
    }
    return {};
}

// A string name: a length byte and the bytes, at its offset from the table's start.
ResourceName NeTable::Name(std::uint16_t type, int index)
{
    const NeNameInfo* name = cache_.At(type, index);
    if (!name)
        return {};
    const std::uint16_t id = name->Id;
    if ((id & kNeIntegerId) != 0)
        return {NameForm::Number, std::uint32_t{id & 0x7FFFu}, {}, {}};
    const auto length = ReadRecord<std::uint8_t>(file_, table_ + id);
    const std::vector<char> bytes = length ? ReadRecords<char>(file_, table_ + id + 1, *length) : std::vector<char>{};
    if (!length || bytes.size() != *length)
        return {NameForm::Number, id, {}, {}};
    return {NameForm::Bytes, 0, {}, std::string(bytes.begin(), bytes.end())};
}

Extent NeTable::Data(std::uint16_t type, int index, std::optional<std::uint32_t>)
{
    const NeNameInfo* name = cache_.At(type, index);
    return name ? DataOf(*name) : Extent{};
}

Extent NeTable::DataById(std::uint16_t type, std::uint16_t id, std::optional<std::uint32_t>)
{
    const NeNameInfo* name = cache_.ById(type, id);
    return name ? DataOf(*name) : Extent{};
}

std::unique_ptr<ResourceTable> OpenNe(const ByteSource& file, std::uint64_t ne, ResourceProblem& problem)
{
    const auto tableField = ReadRecord<std::uint16_t>(file, ne + kNeResourceTableField);
    const auto namesField = ReadRecord<std::uint16_t>(file, ne + kNeResidentNamesField);
    if (!tableField || !namesField) {
        problem = ResourceProblem::Truncated;
        return nullptr;
    }
    // A resource table that starts where the resident names do is empty.
    if (*tableField == *namesField) {
        problem = ResourceProblem::NoResources;
        return nullptr;
    }
    const std::uint64_t table = ne + *tableField;
    const auto shift = ReadRecord<std::uint16_t>(file, table);
    // Offsets are 16-bit words shifted left; beyond 31 they would leave any file.
    if (!shift || *shift > 31) {
        problem = shift ? ResourceProblem::DamagedResources : ResourceProblem::Truncated;
        return nullptr;
    }
    return std::make_unique<NeTable>(file, table, ne + 0x10000, *shift);
}

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char16_t u) { return u >= 0xD800 && u < 0xDC00; }
bool IsLowSurrogate(char16_t u) { return u >= 0xDC00 && u < 0xE000; }

} // namespace

std::string ResourceName::Display() const
{
    std::string out;
    switch (Form) {
    case NameForm::Number:
        return std::to_string(Number);
    case NameForm::Bytes:
        for (const char c : Bytes)
            AppendUtf8(out, static_cast<unsigned char>(c) < 0x80 ? char32_t(c) : kReplacement);
        return out;
    case NameForm::Utf16:
        for (std::size_t i = 0; i < Utf16.size(); ++i) {
            const char16_t u = Utf16[i];
            if (IsHighSurrogate(u) && i + 1 < Utf16.size() && IsLowSurrogate(Utf16[i + 1])) {
                AppendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(Utf16[i + 1]) - 0xDC00));
                ++i;
            } else {
                AppendUtf8(out, IsHighSurrogate(u) || IsLowSurrogate(u) ? kReplacement : char32_t(u));
            }
        }
        return out;
    }
    return out;
}

std::vector<std::uint8_t> ResourceName::StoredBytes() const
{
    std::vector<std::uint8_t> out;
    if (Form == NameForm::Bytes)
        out.assign(Bytes.begin(), Bytes.end());
    for (const char16_t u : Form == NameForm::Utf16 ? Utf16 : std::u16string()) {
        out.push_back(static_cast<std::uint8_t>(u & 0xFF));
        out.push_back(static_cast<std::uint8_t>(u >> 8));
    }
    return out;
}

bool ResourceName::DisplayIsExact() const
{
    if (Form == NameForm::Bytes)
        return std::all_of(Bytes.begin(), Bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    for (std::size_t i = 0; Form == NameForm::Utf16 && i < Utf16.size(); ++i) {
        if (IsHighSurrogate(Utf16[i]) && i + 1 < Utf16.size() && IsLowSurrogate(Utf16[i + 1]))
            ++i;
        else if (IsHighSurrogate(Utf16[i]) || IsLowSurrogate(Utf16[i]))
            return false;
    }
    return true;
}

std::unique_ptr<ResourceTable> ResourceTable::Open(const ByteSource& file, ExecutableFormat* format,
                                                   ResourceProblem* problem)
{
    ExecutableFormat foundFormat = ExecutableFormat::Unknown;
    ResourceProblem foundProblem = ResourceProblem::None;
    std::unique_ptr<ResourceTable> table;
    const auto magic = ReadRecord<std::uint16_t>(file, 0);
    const auto dos = ReadRecord<DosHeader>(file, 0);
    const auto signature = dos ? ReadRecord<std::uint16_t>(file, dos->NewHeaderOffset) : std::nullopt;
    const auto peSignature = dos ? ReadRecord<std::uint32_t>(file, dos->NewHeaderOffset) : std::nullopt;
    if (file.Size() == 0)
        foundProblem = ResourceProblem::Empty;
    else if (!magic || *magic != kMzMagic)
        foundProblem = ResourceProblem::NotExecutable;
    else if (!signature)
        foundProblem = ResourceProblem::Truncated;
    else if (peSignature && *peSignature == kPeSignature)
        table = OpenPe(file, dos->NewHeaderOffset, foundFormat, foundProblem);
    else if (*signature == kNeSignature) {
        foundFormat = ExecutableFormat::Ne;
        table = OpenNe(file, dos->NewHeaderOffset, foundProblem);
    } else
        foundProblem = ResourceProblem::NotExecutable;
    if (format)
        *format = foundFormat;
    if (problem)
        *problem = foundProblem;
    return table;
}
