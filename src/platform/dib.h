// Device-independent bitmaps: the images inside icon resources, and the BMP files the
// program writes.
#pragma once

#include "platform/exeicons.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <span>

// Decodes one icon image (a DIB with its AND mask, or PNG data) and scales it to 32x32.
// DIBs: a 40-byte BITMAPINFOHEADER (BI_RGB or BI_BITFIELDS) or a 12-byte core header at
// 1, 4, 8, 16, 24 or 32 bits per pixel, the height counting colour rows and mask rows.
// Truncated colour data gives nothing; a truncated mask gives an opaque icon.
std::optional<IconImage> DecodeIconImage(std::span<const std::uint8_t> data);

// What decoding data costs, in bytes looked at: the data itself, and for PNG the
// decoded pixels.
std::uint64_t DecodeCost(std::span<const std::uint8_t> data);

// A 24-bit BMP file of image (bottom-up rows, no palette).
QByteArray EncodeBmp(const QImage& image);

// Writes bytes to path, replacing a file of that name; false when it can't be written.
// Never blocks on a FIFO of that name.
bool WriteWholeFile(const QString& path, const QByteArray& bytes);
