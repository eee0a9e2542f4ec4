#include "icon/exeicons.h"

#include "icon/bytesource.h"
#include "icon/dib.h"
#include "icon/png.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

#pragma pack(push, 1)
// An entry of an icon group resource's directory.
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
// An entry of a cursor group resource's directory: the height counts both halves of the
// DIB, and the size includes the hotspot that starts the image's resource.
struct GroupCursorEntry {
    std::uint16_t Width;
    std::uint16_t Height;
    std::uint16_t Planes;
    std::uint16_t BitCount;
    std::uint32_t BytesInRes;
    std::uint16_t Id;
};
struct Hotspot {
    std::uint16_t X;
    std::uint16_t Y;
};
#pragma pack(pop)
static_assert(sizeof(GroupIconEntry) == 14 && sizeof(GroupCursorEntry) == 14 && sizeof(Hotspot) == 4);

constexpr std::uint16_t kMzMagic = 0x5A4D; // "MZ"

using Bytes = std::span<const std::uint8_t>;
using Buffer = std::vector<std::uint8_t>;

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

IconEntry FromDisk(const GroupIconEntry& e)
{
    return {e.Width, e.Height, e.ColorCount, e.Reserved, e.Planes, e.BitCount, e.BytesInRes, e.Id};
}

IconEntry FromDisk(const IconFileEntry& e)
{
    return {e.Width, e.Height, e.ColorCount, e.Reserved, e.Planes, e.BitCount, e.BytesInRes, e.ImageOffset};
}

IconEntry FromDisk(const GroupCursorEntry& e)
{
    const auto image = static_cast<std::uint32_t>(e.BytesInRes >= sizeof(Hotspot) ? e.BytesInRes - sizeof(Hotspot) : 0);
    return {static_cast<std::uint8_t>(e.Width), static_cast<std::uint8_t>(e.Height / 2), 0, 0, e.Planes,
            e.BitCount, image, e.Id, ResourceKind::Cursor};
}

// The entries of a directory (a group resource or an icon file's header) whose records
// are T, as many as lie in its bytes.
template <typename T>
std::vector<IconEntry> DirectoryEntries(Bytes directory)
{
    const auto header = ReadRecord<IconFileHeader>(directory, 0);
    if (!header)
        return {};
    const std::uint64_t room = (directory.size() - sizeof(IconFileHeader)) / sizeof(T);
    std::vector<IconEntry> entries;
    entries.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(header->Count, room)));
    for (std::uint64_t i = 0; i < header->Count && i < room; ++i)
        entries.push_back(FromDisk(*ReadRecord<T>(directory, sizeof(IconFileHeader) + i * sizeof(T))));
    return entries;
}

// ---- icon files ----------------------------------------------------------------------

bool HoldsIconFile(const ByteSource& file)
{
    const auto header = ReadRecord<IconFileHeader>(file, 0);
    return header && header->Reserved != kMzMagic && header->Type == 1;
}

// The header and entries of an icon file, as far as they lie in it.
Extent IconFileDirectory(const ByteSource& file)
{
    const auto header = ReadRecord<IconFileHeader>(file, 0);
    if (!header)
        return {};
    const std::uint64_t length = sizeof(IconFileHeader) + std::uint64_t{header->Count} * sizeof(IconFileEntry);
    return {0, std::min(length, file.Size())};
}

// How much a damaged file may make one reader look at: far above any real file's icons,
// low enough that no file keeps the scan busy for long.
constexpr std::uint64_t kReaderBudget = std::uint64_t{256} << 20;

std::uint16_t GroupType(ResourceKind kind)
{
    switch (kind) {
    case ResourceKind::Icon:
        return rt::kGroupIcon;
    case ResourceKind::Cursor:
        return rt::kGroupCursor;
    case ResourceKind::AnimatedCursor:
        return rt::kAniCursor;
    }
    return 0;
}

std::uint16_t ImageType(ResourceKind kind)
{
    return kind == ResourceKind::Cursor ? rt::kCursor : rt::kIcon;
}

} // namespace

struct IconReader::Parsed {
    explicit Parsed(const ByteSource& source) : file(source) {}

    const ByteSource& file;
    std::unique_ptr<ResourceTable> table;
    ExecutableFormat format = ExecutableFormat::Unknown;
    ResourceProblem problem = ResourceProblem::None;
    bool iconFile = false;
    std::optional<std::uint32_t> language;
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

    // Charges the directories the table read for a lookup just made.
    bool ChargeDirectories() { return Charge(table->TakeDirectoryBytes()); }

    std::optional<Buffer> LoadCharged(Extent extent)
    {
        if (!Charge(extent.Length))
            return std::nullopt;
        return Load(file, extent);
    }

    std::optional<Buffer> Resource(ResourceKind kind, int index)
    {
        if (!table || !Charge(table->LookupCost()))
            return std::nullopt;
        const Extent group = table->Data(GroupType(kind), index, language);
        if (!ChargeDirectories())
            return std::nullopt;
        return LoadCharged(group);
    }

    std::vector<IconEntry> Entries(int index, ResourceKind kind)
    {
        if (index < 0 || kind == ResourceKind::AnimatedCursor)
            return {};
        if (table) {
            const auto group = Resource(kind, index);
            if (!group)
                return {};
            if (kind == ResourceKind::Icon)
                return DirectoryEntries<GroupIconEntry>(*group);
            std::vector<IconEntry> entries = DirectoryEntries<GroupCursorEntry>(*group);
            for (IconEntry& entry : entries) {
                Extent image = Charge(table->LookupCost() + sizeof(Hotspot))
                    ? table->DataById(rt::kCursor, static_cast<std::uint16_t>(entry.Where), language)
                    : Extent{};
                if (!ChargeDirectories())
                    image = {};
                const auto hotspot
                    = image.Length >= sizeof(Hotspot) ? ReadRecord<Hotspot>(file, image.Offset) : std::nullopt;
                if (hotspot) {
                    entry.HotspotX = hotspot->X;
                    entry.HotspotY = hotspot->Y;
                }
            }
            return entries;
        }
        if (iconFile && index == 0 && kind == ResourceKind::Icon) {
            const auto directory = LoadCharged(IconFileDirectory(file));
            return directory ? DirectoryEntries<IconFileEntry>(*directory) : std::vector<IconEntry>{};
        }
        return {};
    }

    // Where an image's bytes lie: a cursor's after its hotspot; in NE, whose lengths are
    // rounded up to the table's unit, as long as the directory says when that is what
    // the rounding left.
    Extent ImageExtent(const IconEntry& entry)
    {
        if (!table)
            return iconFile ? Extent{entry.Where, entry.BytesInRes} : Extent{};
        if (!Charge(table->LookupCost()))
            return {};
        Extent image = table->DataById(ImageType(entry.Kind), static_cast<std::uint16_t>(entry.Where), language);
        if (!ChargeDirectories())
            return {};
        if (entry.Kind == ResourceKind::Cursor) {
            if (image.Length <= sizeof(Hotspot))
                return {};
            image.Offset += sizeof(Hotspot);
            image.Length -= sizeof(Hotspot);
        }
        if (entry.BytesInRes > 0 && entry.BytesInRes <= image.Length
            && image.Length - entry.BytesInRes < table->LengthUnit())
            image.Length = entry.BytesInRes;
        return image;
    }

    std::optional<Buffer> Image(const IconEntry& entry) { return LoadCharged(ImageExtent(entry)); }
};

IconReader::IconReader(const ByteSource& file) : parsed_(std::make_unique<Parsed>(file))
{
    parsed_->table = ResourceTable::Open(file, &parsed_->format, &parsed_->problem);
    parsed_->iconFile = !parsed_->table && parsed_->format == ExecutableFormat::Unknown && HoldsIconFile(file);
    if (parsed_->iconFile)
        parsed_->problem = ResourceProblem::None;
}

IconReader::~IconReader() = default;

int IconReader::Count(ResourceKind kind) const
{
    if (parsed_->table)
        return parsed_->table->Count(GroupType(kind));
    return parsed_->iconFile && kind == ResourceKind::Icon ? 1 : 0;
}

ExecutableFormat IconReader::Format() const
{
    return parsed_->format;
}

ResourceProblem IconReader::Problem() const
{
    return parsed_->problem;
}

bool IconReader::IsIconFile() const
{
    return parsed_->iconFile;
}

ResourceName IconReader::Name(ResourceKind kind, int index) const
{
    if (!parsed_->table || !parsed_->Charge(parsed_->table->LookupCost()))
        return {};
    return parsed_->table->Name(GroupType(kind), index);
}

std::vector<std::uint32_t> IconReader::Languages(ResourceKind kind, int index) const
{
    if (!parsed_->table || !parsed_->Charge(parsed_->table->LookupCost()))
        return {};
    std::vector<std::uint32_t> languages = parsed_->table->Languages(GroupType(kind), index);
    if (!parsed_->ChargeDirectories())
        return {};
    return languages;
}

void IconReader::SelectLanguage(std::optional<std::uint32_t> language)
{
    parsed_->language = language;
}

std::optional<std::vector<std::uint8_t>> IconReader::AnimatedCursorData(int index)
{
    return parsed_->Resource(ResourceKind::AnimatedCursor, index);
}

std::optional<IconReader::ImageFacts> IconReader::Inspect(const IconEntry& entry)
{
    const Extent image = parsed_->ImageExtent(entry);
    // Enough for a BITMAPINFOHEADER, and for a PNG's signature and IHDR chunk.
    std::array<std::uint8_t, 40> header{};
    const std::size_t length = std::min<std::size_t>(header.size(), image.Length);
    if (length == 0 || !parsed_->file.ReadAt(image.Offset, std::span(header).first(length)))
        return std::nullopt;
    const Bytes head = std::span(header).first(length);
    ImageFacts facts{image.Length, IsPng(head), 0};
    if (facts.Png && length >= 26) {
        // IHDR: bit depth and colour type, which gives the samples per pixel.
        constexpr std::array<int, 7> kSamples{1, 0, 3, 1, 2, 0, 4};
        const std::uint8_t depth = header[24];
        const std::uint8_t colourType = header[25];
        facts.BitCount = colourType < kSamples.size() ? depth * kSamples[colourType] : 0;
    } else if (const auto size = ReadRecord<std::uint32_t>(head, 0)) {
        const auto bitCount = ReadRecord<std::uint16_t>(head, *size == 12 ? 10 : 14);
        facts.BitCount = bitCount && (*size == 12 || *size >= 40) ? *bitCount : 0;
    }
    return facts;
}

std::optional<IconImage> IconReader::Read(int index, GroupProblem* why)
{
    const auto fail = [why](GroupProblem problem) {
        if (why)
            *why = problem;
        return std::nullopt;
    };
    // A budget spent makes every later read fail: that, not the read, is the reason.
    const auto spent = [this] { return parsed_->budget == 0; };
    const std::vector<IconEntry> entries = parsed_->Entries(index, ResourceKind::Icon);
    const int chosen = ChooseImage(entries);
    if (chosen < 0 && spent())
        return fail(GroupProblem::TooMuchWork);
    if (chosen < 0)
        return fail(index < Count() && parsed_->table && !parsed_->Resource(ResourceKind::Icon, index)
                        ? GroupProblem::NoDirectory
                        : GroupProblem::NoImages);
    const IconEntry& entry = entries[static_cast<std::size_t>(chosen)];
    const auto image = parsed_->Image(entry);
    if (!image)
        return fail(spent() ? GroupProblem::TooMuchWork : GroupProblem::ImageMissing);
    if (!parsed_->Charge(DecodeCost(*image)))
        return fail(GroupProblem::TooMuchWork);
    std::optional<IconImage> icon = DecodeIconImage(*image);
    if (!icon)
        return fail(IsPng(*image) ? GroupProblem::PngUndecodable : GroupProblem::DibUndecodable);
    if (why)
        *why = GroupProblem::None;
    return icon;
}

const char* GroupProblemText(GroupProblem problem)
{
    switch (problem) {
    case GroupProblem::None:
        break;
    case GroupProblem::NoDirectory:
        return "its directory can't be read";
    case GroupProblem::NoImages:
        return "its directory lists no image";
    case GroupProblem::ImageMissing:
        return "the image it is drawn from (nearest 32x32) lies outside the file";
    case GroupProblem::TooMuchWork:
        return "the file asks for too much work";
    case GroupProblem::PngUndecodable:
        return "the image it is drawn from (nearest 32x32) is a PNG that doesn't decode";
    case GroupProblem::DibUndecodable:
        return "the image it is drawn from (nearest 32x32) is a bitmap that doesn't decode";
    }
    return "";
}

std::vector<IconEntry> IconReader::Entries(int index, ResourceKind kind)
{
    return parsed_->Entries(index, kind);
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

namespace {
bool SameName(const ResourceName& name, const std::string& wanted)
{
    if (!wanted.empty() && wanted.size() <= 5 && wanted.find_first_not_of("0123456789") == std::string::npos)
        return name.Form == NameForm::Number && name.Number == std::stoul(wanted);
    if (name.Form == NameForm::Number)
        return false;
    const std::string shown = name.Display();
    const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; };
    return shown.size() == wanted.size()
        && std::equal(shown.begin(), shown.end(), wanted.begin(), [&](char a, char b) { return upper(a) == upper(b); });
}
} // namespace

bool IsChosen(const IconReader& reader, ResourceKind kind, int index, int position, const GroupChoice& choice)
{
    if (choice.Position && *choice.Position != position)
        return false;
    if (choice.Name && !SameName(reader.Name(kind, index), *choice.Name))
        return false;
    if (!choice.Language)
        return true;
    const std::vector<std::uint32_t> languages = reader.Languages(kind, index);
    return languages.empty() || std::find(languages.begin(), languages.end(), *choice.Language) != languages.end();
}

void ForEachChosen(IconReader& reader, const GroupChoice& choice, bool cursors,
                   const std::function<void(ResourceKind kind, int index, const IconImage* drawn)>& visit)
{
    if (cursors) {
        const int groups = reader.Count(ResourceKind::Cursor);
        for (int i = 0; i < groups; ++i)
            if (IsChosen(reader, ResourceKind::Cursor, i, i, choice))
                visit(ResourceKind::Cursor, i, nullptr);
        for (int i = 0; i < reader.Count(ResourceKind::AnimatedCursor); ++i)
            if (IsChosen(reader, ResourceKind::AnimatedCursor, i, groups + i, choice))
                visit(ResourceKind::AnimatedCursor, i, nullptr);
        return;
    }
    for (int i = 0; i < reader.Count(); ++i)
        if (IsChosen(reader, ResourceKind::Icon, i, i, choice))
            if (const std::optional<IconImage> icon = reader.Read(i))
                visit(ResourceKind::Icon, i, &*icon);
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
