// The 34x34 bitmaps of the icons: drawn on white and written as BMP files.
#pragma once

#include "icon/dib.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <cstddef>
#include <cstdint>

// The side of the bitmap of an icon: the icon with a white margin of one pixel.
inline constexpr int kBitmapSize = kIconSize + 2;

// One icon pixel drawn on white: straight alpha blended, rounded to the nearest value; or,
// for an image without alpha, through its AND mask and then its XOR colours, so a masked
// pixel with colour inverts the white.
std::uint32_t BlendedOverWhite(std::uint32_t colour);
std::uint32_t MaskedOverWhite(std::uint32_t colour, bool masked);

// The icon drawn at (1, 1) on a fresh white 34x34 image (Format_RGB32): alpha-blended
// when it has alpha, else through its AND mask and then its XOR colours, so masked
// pixels with colour invert the white.
QImage DrawIconBitmap(const IconImage& icon);

// Tells two drawn bitmaps apart: equal for equal pixels.
std::size_t BitmapFingerprint(const QImage& bitmap);

// A 24-bit BMP file of image (bottom-up rows, no palette).
QByteArray EncodeBmp(const QImage& image);
