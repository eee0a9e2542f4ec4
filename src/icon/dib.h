// Device-independent bitmaps and PNG data: the images inside icon resources.
#pragma once

#include "icon/png.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// BITMAPINFOHEADER, as icon resources and .bmp files store it (little-endian, packed).
#pragma pack(push, 1)
struct BitmapInfoHeader {
    std::uint32_t Size;
    std::int32_t Width;
    std::int32_t Height;
    std::uint16_t Planes;
    std::uint16_t BitCount;
    std::uint32_t Compression;
    std::uint32_t SizeImage;
    std::int32_t XPelsPerMeter;
    std::int32_t YPelsPerMeter;
    std::uint32_t ClrUsed;
    std::uint32_t ClrImportant;
};
#pragma pack(pop)
static_assert(sizeof(BitmapInfoHeader) == 40);

// The large-icon size everything is drawn at.
inline constexpr int kIconSize = 32;

// One icon, already chosen for and scaled to 32x32 pixels.
struct IconImage {
    // 0xAARRGGBB per pixel, rows top to bottom.
    std::array<std::uint32_t, kIconSize * kIconSize> Pixels{};
    // The AND mask: 1 where the background shows through (or is inverted).
    std::array<std::uint8_t, kIconSize * kIconSize> Mask{};
    // A 32-bit image with alpha: blended over the background, mask ignored.
    bool Blend = false;
};

// One icon image at its own size.
struct DecodedImage {
    int Width = 0;
    int Height = 0;
    // 0xAARRGGBB, rows top to bottom; the alpha byte counts only when Alpha is set.
    std::vector<std::uint32_t> Pixels;
    // The AND mask, 1 where the background shows through (or is inverted); empty when
    // the image has none.
    std::vector<std::uint8_t> Mask;
    // A 32-bit image with alpha, or a PNG image: blended, the mask ignored.
    bool Alpha = false;
};

// The most pixels an image may have to be decoded: images are decoded whole, and this
// keeps that under 16 MB.
inline constexpr std::int64_t kMaxPixels = 2048 * 2048;

// Decodes one icon image: a DIB with its AND mask, or PNG data. DIBs: a 40-byte
// BITMAPINFOHEADER (BI_RGB or BI_BITFIELDS) or a 12-byte core header at 1, 4, 8, 16, 24
// or 32 bits per pixel, the height counting colour rows and mask rows. Truncated colour
// data gives nothing; a truncated mask gives an opaque image. Images of more than
// 2048 x 2048 pixels are refused.
std::optional<DecodedImage> DecodeImage(std::span<const std::uint8_t> data);

// The same, scaled to 32x32 by nearest neighbour.
std::optional<IconImage> DecodeIconImage(std::span<const std::uint8_t> data);

// The image with straight alpha: its own alpha, or else opaque where the mask leaves it
// and transparent black where the mask hides it.
Picture ToPicture(DecodedImage image);

// How many of data's bytes the image takes: a DIB's header, palette, colours and mask,
// a PNG's chunks up to IEND. What follows is padding, as NE files align every resource.
// All of data when it isn't known where the image ends, or when it is cut short.
std::size_t ImageLength(std::span<const std::uint8_t> data);

// What decoding data costs, in bytes looked at: the data itself, and for PNG the
// decoded pixels.
std::uint64_t DecodeCost(std::span<const std::uint8_t> data);
