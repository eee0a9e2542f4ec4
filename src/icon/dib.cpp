#include "icon/dib.h"

#include <bit>
#include <cstring>
#include <type_traits>

namespace {

#pragma pack(push, 1)
struct CoreHeader {
    std::uint32_t Size;
    std::uint16_t Width;
    std::uint16_t Height;
    std::uint16_t Planes;
    std::uint16_t BitCount;
};
#pragma pack(pop)
static_assert(sizeof(CoreHeader) == 12);
static_assert(std::endian::native == std::endian::little, "headers are copied as they lie in the file");

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiBitfields = 3;
// Icons are at most 256 pixels wide in practice; the bound keeps every size product in range.
constexpr std::int64_t kMaxDimension = 1 << 16;

using Bytes = std::span<const std::uint8_t>;

template <typename T>
std::optional<T> Read(Bytes bytes, std::uint64_t offset)
{
    static_assert(std::is_trivially_copyable_v<T>);
    if (offset > bytes.size() || sizeof(T) > bytes.size() - offset)
        return std::nullopt;
    T value;
    std::memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}

// A colour channel taken out of a pixel through a BI_BITFIELDS mask, scaled to 8 bits.
struct Channel {
    std::uint32_t Mask = 0;
    int Shift = 0;
    std::uint32_t Max = 0;

    explicit Channel(std::uint32_t mask = 0) : Mask(mask)
    {
        if (mask == 0)
            return;
        Shift = std::countr_zero(mask);
        Max = mask >> Shift;
    }
    std::uint32_t operator()(std::uint32_t pixel) const
    {
        if (Max == 0)
            return 0;
        const std::uint64_t value = (pixel & Mask) >> Shift;
        return static_cast<std::uint32_t>((value * 255u + Max / 2) / Max);
    }
};

struct DibLayout {
    std::int64_t Width = 0;
    std::int64_t Height = 0; // of the image, half the header's
    int BitCount = 0;
    bool Bitfields = false;
    Channel Red, Green, Blue;
    std::uint64_t PaletteOffset = 0;
    std::uint32_t PaletteCount = 0;
    int PaletteEntrySize = 4;
    std::uint64_t ColourOffset = 0;
    std::uint64_t ColourStride = 0;
    std::uint64_t MaskOffset = 0;
    std::uint64_t MaskStride = 0;
};

bool ValidDepth(int bits)
{
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

std::optional<DibLayout> ReadLayout(Bytes data)
{
    const auto size = Read<std::uint32_t>(data, 0);
    if (!size)
        return std::nullopt;
    DibLayout layout;
    std::uint64_t afterHeader = 0;
    std::uint32_t paletteCount = 0;
    if (*size == sizeof(BitmapInfoHeader)) {
        const auto header = Read<BitmapInfoHeader>(data, 0);
        if (!header)
            return std::nullopt;
        layout.Width = header->Width;
        layout.Height = header->Height / 2;
        layout.BitCount = header->BitCount;
        afterHeader = sizeof(BitmapInfoHeader);
        if (header->Compression == kBiBitfields && (header->BitCount == 16 || header->BitCount == 32)) {
            const auto r = Read<std::uint32_t>(data, afterHeader);
            const auto g = Read<std::uint32_t>(data, afterHeader + 4);
            const auto b = Read<std::uint32_t>(data, afterHeader + 8);
            if (!r || !g || !b)
                return std::nullopt;
            layout.Bitfields = true;
            layout.Red = Channel(*r);
            layout.Green = Channel(*g);
            layout.Blue = Channel(*b);
            afterHeader += 12;
        } else if (header->Compression != kBiRgb) {
            return std::nullopt;
        }
        paletteCount = header->ClrUsed;
        if (paletteCount == 0 && header->BitCount <= 8)
            paletteCount = 1u << header->BitCount;
        paletteCount = std::min<std::uint32_t>(paletteCount, 256);
    } else if (*size == sizeof(CoreHeader)) {
        const auto header = Read<CoreHeader>(data, 0);
        if (!header)
            return std::nullopt;
        layout.Width = header->Width;
        layout.Height = header->Height / 2;
        layout.BitCount = header->BitCount;
        layout.PaletteEntrySize = 3;
        afterHeader = sizeof(CoreHeader);
        if (header->BitCount <= 8)
            paletteCount = 1u << header->BitCount;
    } else {
        return std::nullopt; // V4 and V5 headers included
    }
    if (!ValidDepth(layout.BitCount) || layout.Width <= 0 || layout.Height <= 0 || layout.Width > kMaxDimension
        || layout.Height > kMaxDimension || layout.Width * layout.Height > kMaxPixels)
        return std::nullopt;
    if (layout.BitCount == 16 && !layout.Bitfields) {
        layout.Red = Channel(0x7C00);
        layout.Green = Channel(0x03E0);
        layout.Blue = Channel(0x001F);
    }
    layout.PaletteOffset = afterHeader;
    layout.PaletteCount = paletteCount;
    layout.ColourOffset = afterHeader + std::uint64_t{paletteCount} * static_cast<std::uint64_t>(layout.PaletteEntrySize);
    const auto width = static_cast<std::uint64_t>(layout.Width);
    const auto height = static_cast<std::uint64_t>(layout.Height);
    layout.ColourStride = (width * static_cast<std::uint64_t>(layout.BitCount) + 31) / 32 * 4;
    layout.MaskOffset = layout.ColourOffset + layout.ColourStride * height;
    layout.MaskStride = (width + 31) / 32 * 4;
    if (layout.MaskOffset > data.size())
        return std::nullopt; // the colours are cut short: nothing to draw
    return layout;
}

std::uint32_t PaletteColour(Bytes data, const DibLayout& layout, std::uint32_t index)
{
    if (index >= layout.PaletteCount)
        return 0;
    const std::uint64_t at = layout.PaletteOffset + std::uint64_t{index} * static_cast<std::uint64_t>(layout.PaletteEntrySize);
    // RGBQUAD and RGBTRIPLE both start blue, green, red.
    return std::uint32_t{data[at]} | std::uint32_t{data[at + 1]} << 8 | std::uint32_t{data[at + 2]} << 16;
}

// The pixel at (x, y) counted from the top, as 0xAARRGGBB (alpha only for 32 bits).
std::uint32_t DibPixel(Bytes data, const DibLayout& layout, std::int64_t x, std::int64_t y)
{
    const std::uint64_t row = layout.ColourOffset
        + layout.ColourStride * static_cast<std::uint64_t>(layout.Height - 1 - y);
    const auto ux = static_cast<std::uint64_t>(x);
    const std::uint8_t* p = data.data() + row;
    switch (layout.BitCount) {
    case 1:
        return PaletteColour(data, layout, (p[ux / 8] >> (7 - ux % 8)) & 1u);
    case 4:
        return PaletteColour(data, layout, (p[ux / 2] >> (ux % 2 ? 0 : 4)) & 0xFu);
    case 8:
        return PaletteColour(data, layout, p[ux]);
    case 16: {
        const std::uint32_t v = p[ux * 2] | std::uint32_t{p[ux * 2 + 1]} << 8;
        return layout.Red(v) << 16 | layout.Green(v) << 8 | layout.Blue(v);
    }
    case 24:
        return std::uint32_t{p[ux * 3]} | std::uint32_t{p[ux * 3 + 1]} << 8 | std::uint32_t{p[ux * 3 + 2]} << 16;
    default: {
        std::uint32_t v;
        std::memcpy(&v, p + ux * 4, 4);
        if (!layout.Bitfields)
            return v;
        const std::uint32_t alpha = (layout.Red.Mask | layout.Green.Mask | layout.Blue.Mask) & 0xFF000000u ? 0 : v >> 24;
        return alpha << 24 | layout.Red(v) << 16 | layout.Green(v) << 8 | layout.Blue(v);
    }
    }
}

std::optional<DecodedImage> DecodeDib(Bytes data)
{
    const auto layout = ReadLayout(data);
    if (!layout)
        return std::nullopt;
    DecodedImage image;
    image.Width = static_cast<int>(layout->Width);
    image.Height = static_cast<int>(layout->Height);
    const std::size_t count = static_cast<std::size_t>(layout->Width * layout->Height);
    image.Pixels.resize(count);
    for (std::int64_t y = 0; y < layout->Height; ++y)
        for (std::int64_t x = 0; x < layout->Width; ++x)
            image.Pixels[static_cast<std::size_t>(y * layout->Width + x)] = DibPixel(data, *layout, x, y);
    // Any alpha byte anywhere makes a 32-bit image an alpha image.
    if (layout->BitCount == 32)
        for (const std::uint32_t pixel : image.Pixels)
            if (pixel >> 24) {
                image.Alpha = true;
                break;
            }
    if (layout->MaskStride * static_cast<std::uint64_t>(layout->Height) <= data.size() - layout->MaskOffset) {
        image.Mask.resize(count);
        for (std::int64_t y = 0; y < layout->Height; ++y) {
            const std::uint8_t* row = data.data() + layout->MaskOffset
                + layout->MaskStride * static_cast<std::uint64_t>(layout->Height - 1 - y);
            for (std::int64_t x = 0; x < layout->Width; ++x)
                image.Mask[static_cast<std::size_t>(y * layout->Width + x)] = (row[x / 8] >> (7 - x % 8)) & 1u;
        }
    }
    return image;
}

std::optional<DecodedImage> DecodePngImage(Bytes data)
{
    auto picture = DecodePng(data, kMaxPixels);
    if (!picture)
        return std::nullopt;
    DecodedImage image;
    image.Width = picture->Width;
    image.Height = picture->Height;
    image.Pixels = std::move(picture->Pixels);
    for (const std::uint32_t pixel : image.Pixels)
        if (pixel >> 24) {
            image.Alpha = true;
            break;
        }
    if (!image.Alpha) {
        // Transparent throughout: nothing of it shows.
        std::fill(image.Pixels.begin(), image.Pixels.end(), 0u);
        image.Mask.assign(image.Pixels.size(), 1);
    }
    return image;
}

} // namespace

std::optional<DecodedImage> DecodeImage(std::span<const std::uint8_t> data)
{
    if (IsPng(data))
        return DecodePngImage(data);
    return DecodeDib(data);
}

std::optional<IconImage> DecodeIconImage(std::span<const std::uint8_t> data)
{
    const auto image = DecodeImage(data);
    if (!image)
        return std::nullopt;
    // Nearest neighbour: destination coordinate d takes source coordinate d * extent / 32.
    IconImage icon;
    icon.Blend = image->Alpha;
    for (int y = 0; y < kIconSize; ++y) {
        const std::size_t row = static_cast<std::size_t>(y * image->Height / kIconSize) * static_cast<std::size_t>(image->Width);
        for (int x = 0; x < kIconSize; ++x) {
            const std::size_t source = row + static_cast<std::size_t>(x * image->Width / kIconSize);
            const std::size_t i = static_cast<std::size_t>(y * kIconSize + x);
            icon.Pixels[i] = image->Pixels[source];
            icon.Mask[i] = image->Mask.empty() ? 0 : image->Mask[source];
        }
    }
    return icon;
}

Picture ToPicture(DecodedImage image)
{
    Picture picture{image.Width, image.Height, std::move(image.Pixels)};
    if (image.Alpha)
        return picture;
    for (std::size_t i = 0; i < picture.Pixels.size(); ++i) {
        const bool hidden = !image.Mask.empty() && image.Mask[i];
        picture.Pixels[i] = hidden ? 0u : (picture.Pixels[i] | 0xFF000000u);
    }
    return picture;
}

std::size_t ImageLength(std::span<const std::uint8_t> data)
{
    if (IsPng(data))
        return PngLength(data);
    const auto layout = ReadLayout(data);
    if (!layout)
        return data.size();
    const std::uint64_t end = layout->MaskOffset + layout->MaskStride * static_cast<std::uint64_t>(layout->Height);
    return static_cast<std::size_t>(std::min<std::uint64_t>(end, data.size()));
}

std::uint64_t DecodeCost(std::span<const std::uint8_t> data)
{
    std::uint64_t cost = data.size();
    if (const auto size = ReadPngSize(data))
        cost += std::min<std::uint64_t>(size->Width * size->Height, kMaxPixels) * 4;
    return cost;
}
