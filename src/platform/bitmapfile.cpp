#include "platform/bitmapfile.h"

#include "icon/dib.h"

#include <QHashFunctions>

#include <cstring>

namespace {
#pragma pack(push, 1)
struct BmpFileHeader {
    std::uint16_t Type;
    std::uint32_t Size;
    std::uint16_t Reserved1;
    std::uint16_t Reserved2;
    std::uint32_t OffBits;
};
#pragma pack(pop)
static_assert(sizeof(BmpFileHeader) == 14);
constexpr std::uint32_t kBiRgb = 0;
} // namespace

std::uint32_t BlendedOverWhite(std::uint32_t colour)
{
    const std::uint32_t a = colour >> 24;
    std::uint32_t out = 0xFF000000u;
    for (int shift = 0; shift <= 16; shift += 8) {
        const std::uint32_t c = (colour >> shift) & 0xFFu;
        out |= ((c * a + 255u * (255u - a) + 127u) / 255u) << shift;
    }
    return out;
}

std::uint32_t MaskedOverWhite(std::uint32_t colour, bool masked)
{
    const std::uint32_t background = masked ? 0x00FFFFFFu : 0u;
    return 0xFF000000u | (background ^ (colour & 0x00FFFFFFu));
}

QImage DrawIconBitmap(const IconImage& icon)
{
    QImage bitmap(kBitmapSize, kBitmapSize, QImage::Format_RGB32);
    bitmap.fill(0xFFFFFFFFu);
    for (int y = 0; y < kIconSize; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(bitmap.scanLine(y + 1)) + 1;
        for (int x = 0; x < kIconSize; ++x) {
            const std::size_t i = static_cast<std::size_t>(y * kIconSize + x);
            row[x] = icon.Blend ? BlendedOverWhite(icon.Pixels[i]) : MaskedOverWhite(icon.Pixels[i], icon.Mask[i] != 0);
        }
    }
    return bitmap;
}

QByteArray EncodeBmp(const QImage& source)
{
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    const int width = image.width();
    const int height = image.height();
    const int stride = (width * 3 + 3) / 4 * 4;
    const std::uint32_t offBits = sizeof(BmpFileHeader) + sizeof(BitmapInfoHeader);
    const std::uint32_t imageSize = static_cast<std::uint32_t>(stride) * static_cast<std::uint32_t>(height);
    QByteArray bytes(static_cast<qsizetype>(offBits + imageSize), '\0');
    auto* out = reinterpret_cast<std::uint8_t*>(bytes.data());
    const BmpFileHeader file{0x4D42, offBits + imageSize, 0, 0, offBits};
    const BitmapInfoHeader info{sizeof(BitmapInfoHeader), width, height, 1, 24, kBiRgb, imageSize, 0, 0, 0, 0};
    std::memcpy(out, &file, sizeof file);
    std::memcpy(out + sizeof file, &info, sizeof info);
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(image.constScanLine(height - 1 - y));
        std::uint8_t* p = out + offBits + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride);
        for (int x = 0; x < width; ++x) {
            *p++ = static_cast<std::uint8_t>(row[x]);
            *p++ = static_cast<std::uint8_t>(row[x] >> 8);
            *p++ = static_cast<std::uint8_t>(row[x] >> 16);
        }
    }
    return bytes;
}

std::size_t BitmapFingerprint(const QImage& bitmap)
{
    return qHash(QByteArrayView(reinterpret_cast<const char*>(bitmap.constBits()), bitmap.sizeInBytes()), 0)
        ^ qHash(bitmap.width() * 65536 + bitmap.height(), 0);
}
