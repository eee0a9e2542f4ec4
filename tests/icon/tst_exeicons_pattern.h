// The pixel patterns of the test icons (tests/data/source/makeicons.py), computed again
// here so the drawn bitmaps can be checked without trusting the decoder.
#pragma once

#include <QImage>

#include <cstdint>

struct IconPattern {
    int Width = 32;
    int Height = 32;
    int BitCount = 24;
    int Seed = 0;
    bool Alpha = false;  // 32-bit image with an alpha pattern
    bool Invert = false; // masked pixels keep their colour
    bool Png = false;    // PNG, the alpha pattern constant over 8x8 blocks
};

inline std::uint32_t PatternRgb(int x, int y, int s)
{
    const std::uint32_t r = (7 * x + 13 * s) & 255;
    const std::uint32_t g = (11 * y + 5 * s) & 255;
    const std::uint32_t b = (5 * (x ^ y) + s) & 255;
    return r << 16 | g << 8 | b;
}

inline std::uint32_t PatternPalette(int k, int s)
{
    if (k == 0)
        return 0;
    return std::uint32_t((k * 53 + s) & 255) << 16 | std::uint32_t((k * 97 + 2 * s) & 255) << 8
        | std::uint32_t((k * 29 + 3 * s) & 255);
}

inline bool PatternMasked(int x, int y, int s)
{
    return (3 * x + y + s) % 5 == 0;
}

inline std::uint32_t OverWhite(std::uint32_t rgb, std::uint32_t a)
{
    std::uint32_t out = 0xFF000000u;
    for (int shift = 0; shift <= 16; shift += 8) {
        const std::uint32_t c = (rgb >> shift) & 255;
        out |= ((c * a + 255 * (255 - a) + 127) / 255) << shift;
    }
    return out;
}

// The 34x34 bitmap the program should write for an icon of this pattern.
inline QImage ExpectedBitmap(const IconPattern& p)
{
    QImage image(34, 34, QImage::Format_RGB32);
    image.fill(0xFFFFFFFFu);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const int sx = x * p.Width / 32;
            const int sy = y * p.Height / 32;
            std::uint32_t out;
            if (p.Png) {
                const int bx = sx / 8, by = sy / 8;
                out = OverWhite(PatternRgb(bx, by, p.Seed), (8 * bx + 3 * by + p.Seed) & 255);
            } else if (p.Alpha) {
                out = OverWhite(PatternRgb(sx, sy, p.Seed), (8 * sx + 3 * sy + p.Seed) & 255);
            } else {
                const bool masked = PatternMasked(sx, sy, p.Seed);
                std::uint32_t colour = 0;
                if (!masked || p.Invert)
                    colour = p.BitCount <= 8 ? PatternPalette((sx + 2 * sy + p.Seed) % (1 << p.BitCount), p.Seed)
                                             : PatternRgb(sx, sy, p.Seed);
                out = 0xFF000000u | ((masked ? 0xFFFFFFu : 0u) ^ colour);
            }
            image.setPixel(x + 1, y + 1, out);
        }
    }
    return image;
}

// Compares two images pixel by pixel; the first difference as text, or empty.
inline QString FirstDifference(const QImage& actual, const QImage& expected)
{
    if (actual.size() != expected.size())
        return QStringLiteral("size %1x%2, expected %3x%4")
            .arg(actual.width()).arg(actual.height()).arg(expected.width()).arg(expected.height());
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x)
            if ((actual.pixel(x, y) & 0xFFFFFFu) != (expected.pixel(x, y) & 0xFFFFFFu))
                return QStringLiteral("pixel (%1, %2) is %3, expected %4")
                    .arg(x).arg(y)
                    .arg(actual.pixel(x, y) & 0xFFFFFFu, 6, 16, QLatin1Char('0'))
                    .arg(expected.pixel(x, y) & 0xFFFFFFu, 6, 16, QLatin1Char('0'));
    return {};
}
