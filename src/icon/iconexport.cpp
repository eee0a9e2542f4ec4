#include "icon/iconexport.h"

#include "icon/cursorexport.h"
#include "icon/dib.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <tuple>

namespace {

// Colour depth in bits; old directories leave BitCount 0 and give the palette size.
int Depth(const IconEntry& entry)
{
    if (entry.BitCount != 0)
        return entry.BitCount;
    int bits = 0;
    while (bits < 8 && (1 << bits) < entry.ColorCount)
        ++bits;
    return entry.ColorCount == 0 ? 8 : bits;
}

// Far above any real icon's images together; a damaged directory naming one large image
// thousands of times stops there.
constexpr std::uint64_t kMaxIconFileBytes = std::uint64_t{32} << 20;

// The first image in order that decodes, as a picture with straight alpha.
std::optional<Picture> FirstDecoded(IconReader& reader, const std::vector<IconEntry>& entries,
                                    const std::vector<int>& order)
{
    for (const int i : order)
        if (auto image = reader.Decode(entries[static_cast<std::size_t>(i)]))
            return ToPicture(std::move(*image));
    return std::nullopt;
}

// Which source pixels cover destination pixel d of an axis shrunk from source to target
// pixels, and by how much: in units of 1/target of a source pixel, so every weight is a
// whole number and the weights of one destination pixel add up to source.
struct Weight {
    int Source;
    std::uint64_t Amount;
};

std::vector<std::vector<Weight>> AxisWeights(int source, int target)
{
    std::vector<std::vector<Weight>> weights(static_cast<std::size_t>(target));
    for (int d = 0; d < target; ++d) {
        const std::int64_t begin = std::int64_t{d} * source;
        const std::int64_t end = begin + source;
        for (auto s = static_cast<int>(begin / target); s < source && std::int64_t{s} * target < end; ++s) {
            const std::int64_t overlap = std::min(end, std::int64_t{s + 1} * target) - std::max(begin, std::int64_t{s} * target);
            if (overlap > 0)
                weights[static_cast<std::size_t>(d)].push_back({s, static_cast<std::uint64_t>(overlap)});
        }
    }
    return weights;
}

// What the thumbnail may spend on checking stored PNGs, in DecodeCost's bytes: the
// reader's own allowance, which decoding charges but a check alone doesn't.
constexpr std::uint64_t kMaxThumbnailCheck = std::uint64_t{256} << 20;

// A width or height as an entry's byte: 0 stands for 256 and, by custom, for more.
std::uint8_t EntryByte(std::uint64_t extent)
{
    return extent >= 256 ? 0 : static_cast<std::uint8_t>(extent);
}

} // namespace

FileEntrySize EntrySizeOf(const IconEntry& entry, std::span<const std::uint8_t> image)
{
    std::uint64_t width = 0, height = 0;
    if (const auto png = ReadPngSize(image)) {
        width = png->Width;
        height = png->Height;
    } else if (const auto header = ReadRecord<BitmapInfoHeader>(image, 0); header && header->Size >= sizeof(BitmapInfoHeader)) {
        width = static_cast<std::uint64_t>(std::abs(std::int64_t{header->Width}));
        height = static_cast<std::uint64_t>(std::abs(std::int64_t{header->Height})) / 2;
    } else if (image.size() >= 8 && image[0] == 12 && image[1] == 0 && image[2] == 0 && image[3] == 0) {
        // The old core header: 16-bit width and height.
        width = image[4] | unsigned(image[5]) << 8;
        height = (image[6] | unsigned(image[7]) << 8) / 2u;
    }
    if (width == 0 || height == 0)
        return {entry.Width, entry.Height};
    return {EntryByte(width), EntryByte(height)};
}

std::vector<int> PreferredImages(const std::vector<IconEntry>& entries, int size)
{
    std::vector<int> order(entries.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = static_cast<int>(i);
    const auto key = [&](int i) {
        const IconEntry& e = entries[static_cast<std::size_t>(i)];
        const int width = EntryDimension(e.Width);
        const int height = EntryDimension(e.Height);
        // Big enough ones first, smallest first; then the others, largest first.
        const bool bigEnough = width >= size;
        return std::tuple(!bigEnough, bigEnough ? width : -width, bigEnough ? height : -height, -Depth(e));
    };
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return key(a) < key(b); });
    return order;
}

Picture ScaleToFit(Picture picture, int size)
{
    const int longest = std::max(picture.Width, picture.Height);
    if (longest <= size)
        return picture;
    const auto scaled = [&](int extent) {
        return std::max(1, static_cast<int>((std::int64_t{extent} * size + longest / 2) / longest));
    };
    Picture out{scaled(picture.Width), scaled(picture.Height), {}};
    out.Pixels.resize(std::size_t(out.Width) * std::size_t(out.Height));
    const std::uint64_t area = std::uint64_t(picture.Width) * std::uint64_t(picture.Height);
    // Alpha and colour from the sums of alpha and of colour times alpha, each weighted by
    // weight, rounded to the nearest: one division per pixel, in floating point, which a
    // thumbnail of 128 x 128 pixels feels against four 64-bit integer ones.
    const double perArea = 1.0 / static_cast<double>(area);
    const auto average = [perArea](std::uint64_t a, std::uint64_t r, std::uint64_t g, std::uint64_t b, std::uint64_t weight) {
        if (a == 0)
            return std::uint32_t{0};
        const double perAlpha = 1.0 / static_cast<double>(a);
        const auto channel = [&](std::uint64_t c) { return static_cast<std::uint32_t>(static_cast<double>(c) * perAlpha + 0.5); };
        const auto alpha = static_cast<std::uint32_t>(static_cast<double>(a * weight) * perArea + 0.5);
        return alpha << 24 | channel(r) << 16 | channel(g) << 8 | channel(b);
    };
    // Shrunk by one whole factor both ways, as 256 pixels to 128 or 64 are: each pixel
    // covers a square of whole source pixels, summed in 32 bits (255 x 255 x 64 x 64 fits).
    const int factor = picture.Width / out.Width;
    if (picture.Width == out.Width * factor && picture.Height == out.Height * factor && factor <= 64) {
        const auto weight = std::uint64_t(out.Width) * std::uint64_t(out.Height);
        for (int y = 0; y < out.Height; ++y)
            for (int x = 0; x < out.Width; ++x) {
                std::uint32_t a = 0, r = 0, g = 0, b = 0;
                for (int sy = y * factor; sy < (y + 1) * factor; ++sy) {
                    const std::uint32_t* row = picture.Pixels.data() + std::size_t(sy) * std::size_t(picture.Width);
                    for (int sx = x * factor; sx < (x + 1) * factor; ++sx) {
                        const std::uint32_t p = row[sx];
                        const std::uint32_t alpha = p >> 24;
                        a += alpha;
                        r += ((p >> 16) & 0xFFu) * alpha;
                        g += ((p >> 8) & 0xFFu) * alpha;
                        b += (p & 0xFFu) * alpha;
                    }
                }
                out.Pixels[std::size_t(y) * std::size_t(out.Width) + std::size_t(x)] = average(a, r, g, b, weight);
            }
        return out;
    }
    const auto columns = AxisWeights(picture.Width, out.Width);
    const auto rows = AxisWeights(picture.Height, out.Height);
    // One destination row at a time: the source rows it covers summed column by column
    // (alpha, and colour weighted by alpha), then the columns summed the same way.
    std::vector<std::uint64_t> sums(std::size_t(picture.Width) * 4);
    for (int y = 0; y < out.Height; ++y) {
        std::fill(sums.begin(), sums.end(), 0);
        for (const Weight& row : rows[std::size_t(y)]) {
            const std::uint32_t* source = picture.Pixels.data() + std::size_t(row.Source) * std::size_t(picture.Width);
            for (int x = 0; x < picture.Width; ++x) {
                const std::uint32_t p = source[x];
                const std::uint64_t a = (p >> 24) * row.Amount;
                std::uint64_t* s = &sums[std::size_t(x) * 4];
                s[0] += a;
                s[1] += ((p >> 16) & 0xFFu) * a;
                s[2] += ((p >> 8) & 0xFFu) * a;
                s[3] += (p & 0xFFu) * a;
            }
        }
        for (int x = 0; x < out.Width; ++x) {
            std::uint64_t a = 0, r = 0, g = 0, b = 0;
            for (const Weight& column : columns[std::size_t(x)]) {
                const std::uint64_t* s = &sums[std::size_t(column.Source) * 4];
                a += s[0] * column.Amount;
                r += s[1] * column.Amount;
                g += s[2] * column.Amount;
                b += s[3] * column.Amount;
            }
            out.Pixels[std::size_t(y) * std::size_t(out.Width) + std::size_t(x)] = average(a, r, g, b, 1);
        }
    }
    return out;
}

std::vector<std::uint8_t> LargestImagePng(IconReader& reader, int index, int size)
{
    const std::vector<IconEntry> entries = reader.Entries(index);
    for (const int i : PreferredImages(entries, size > 0 ? size : INT_MAX)) {
        auto data = reader.ImageData(entries[std::size_t(i)]);
        if (!data)
            continue;
        // Only an image that decodes is taken, as for the thumbnail. A PNG image is a PNG
        // file already and is kept as it is, as icotool extracts it.
        auto image = reader.Decode(*data);
        if (!image)
            continue;
        if (IsPng(*data))
            return std::move(*data);
        return EncodePng(ToPicture(std::move(*image)));
    }
    return {};
}

std::vector<std::uint8_t> IconFileBytes(IconReader& reader, int index)
{
    std::vector<IconFileEntry> directory;
    std::vector<std::vector<std::uint8_t>> images;
    std::uint64_t total = 0;
    for (const IconEntry& e : reader.Entries(index)) {
        auto data = reader.ImageData(e);
        if (!data)
            continue;
        // The image without the padding after it, so that the entry says its true size.
        data->resize(ImageLength(*data));
        if ((total += data->size()) > kMaxIconFileBytes)
            continue;
        const FileEntrySize size = EntrySizeOf(e, *data);
        directory.push_back({size.Width, size.Height, e.ColorCount, e.Reserved, e.Planes, e.BitCount,
                             static_cast<std::uint32_t>(data->size()), 0});
        images.push_back(std::move(*data));
    }
    std::vector<std::uint8_t> out;
    if (images.empty())
        return out;
    std::uint32_t offset = static_cast<std::uint32_t>(sizeof(IconFileHeader) + directory.size() * sizeof(IconFileEntry));
    AppendStruct(out, IconFileHeader{0, 1, static_cast<std::uint16_t>(directory.size())});
    for (IconFileEntry& entry : directory) {
        entry.ImageOffset = offset;
        offset += entry.BytesInRes;
        AppendStruct(out, entry);
    }
    for (const auto& image : images)
        out.insert(out.end(), image.begin(), image.end());
    return out;
}

std::optional<Picture> ThumbnailPicture(IconReader& reader, int size)
{
    if (reader.Count() == 0)
        return std::nullopt;
    const std::vector<IconEntry> entries = reader.Entries(0);
    const auto picture = FirstDecoded(reader, entries, PreferredImages(entries, size));
    if (!picture)
        return std::nullopt;
    return ScaleToFit(*picture, size);
}

std::vector<std::uint8_t> ThumbnailPng(IconReader& reader, int size)
{
    if (reader.Count() == 0)
        return {};
    const std::vector<IconEntry> entries = reader.Entries(0);
    std::uint64_t checked = 0;
    for (const int i : PreferredImages(entries, size)) {
        auto data = reader.ImageData(entries[std::size_t(i)]);
        if (!data)
            continue;
        // A PNG that needs no shrinking is the thumbnail already once it decodes whole:
        // its pixel chunks are passed on without the rest, and without the work of
        // turning rows into pixels and back.
        const auto stored = ReadPngSize(*data);
        if (stored && stored->Width <= std::uint64_t(size) && stored->Height <= std::uint64_t(size)) {
            if ((checked += DecodeCost(*data)) > kMaxThumbnailCheck)
                return {};
            if (PngDecodes(*data, kMaxPixels))
                if (auto essential = EssentialPngChunks(*data); !essential.empty())
                    return essential;
            continue;
        }
        if (auto image = reader.Decode(*data))
            return EncodePng(ScaleToFit(ToPicture(std::move(*image)), size), PngCompression::Stored);
    }
    return {};
}

std::vector<std::uint8_t> ExportedFileBytes(IconReader& reader, ResourceKind kind, int index, IconFormat format, int size)
{
    if (kind == ResourceKind::Cursor)
        return CursorFileBytes(reader, index);
    if (kind == ResourceKind::AnimatedCursor)
        return AniBytes(reader, index);
    switch (format) {
    case IconFormat::Png:
        return LargestImagePng(reader, index, size);
    case IconFormat::Ico:
        return IconFileBytes(reader, index);
    case IconFormat::Bmp:
    case IconFormat::Cur:
        break;
    }
    return {};
}
