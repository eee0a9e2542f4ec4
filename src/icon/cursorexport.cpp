#include "icon/cursorexport.h"

#include "icon/iconexport.h"

#include <cstring>

namespace {

// A cursor file's directory entry: an icon file's, with the hotspot where the planes and
// the depth would be.
#pragma pack(push, 1)
struct CursorFileEntry {
    std::uint8_t Width;
    std::uint8_t Height;
    std::uint8_t ColorCount;
    std::uint8_t Reserved;
    std::uint16_t HotspotX;
    std::uint16_t HotspotY;
    std::uint32_t BytesInRes;
    std::uint32_t ImageOffset;
};
struct RiffHeader {
    char Id[4];
    std::uint32_t Length;
    char Form[4];
};
#pragma pack(pop)
static_assert(sizeof(CursorFileEntry) == 16 && sizeof(RiffHeader) == 12);

constexpr std::uint16_t kCursorFileType = 2;

// Far above any real cursor's images together; a damaged directory naming one large
// image thousands of times stops there.
constexpr std::uint64_t kMaxCursorFileBytes = std::uint64_t{32} << 20;

} // namespace

std::vector<std::uint8_t> CursorFileBytes(IconReader& reader, int index)
{
    std::vector<IconEntry> entries;
    std::vector<std::vector<std::uint8_t>> images;
    std::uint64_t total = 0;
    for (IconEntry& entry : reader.Entries(index, ResourceKind::Cursor)) {
        auto data = reader.ImageData(entry);
        if (!data || (total += data->size()) > kMaxCursorFileBytes)
            continue;
        entry.BytesInRes = static_cast<std::uint32_t>(data->size());
        entries.push_back(entry);
        images.push_back(std::move(*data));
    }
    std::vector<std::uint8_t> out;
    if (images.empty())
        return out;
    auto offset = static_cast<std::uint32_t>(sizeof(IconFileHeader) + entries.size() * sizeof(CursorFileEntry));
    AppendStruct(out, IconFileHeader{0, kCursorFileType, static_cast<std::uint16_t>(entries.size())});
    for (const IconEntry& e : entries) {
        const FileEntrySize size = EntrySizeOf(e, images[std::size_t(&e - entries.data())]);
        AppendStruct(out, CursorFileEntry{size.Width, size.Height, e.ColorCount, e.Reserved, e.HotspotX, e.HotspotY, e.BytesInRes, offset});
        offset += e.BytesInRes;
    }
    for (const auto& image : images)
        out.insert(out.end(), image.begin(), image.end());
    return out;
}

std::vector<std::uint8_t> AniBytes(IconReader& reader, int index)
{
    auto data = reader.AnimatedCursorData(index);
    const auto riff = data ? ReadRecord<RiffHeader>(*data, 0) : std::nullopt;
    if (!riff || std::memcmp(riff->Id, "RIFF", 4) != 0 || std::memcmp(riff->Form, "ACON", 4) != 0
        || std::uint64_t{riff->Length} + 8 > data->size())
        return {};
    data->resize(std::size_t{riff->Length} + 8);
    return std::move(*data);
}
