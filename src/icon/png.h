// PNG through libpng: the PNG images inside icons, and the PNG files Vistrel writes.
// No toolkit involved, so the thumbnailer can use it without loading one.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// Straight (not premultiplied) 0xAARRGGBB pixels, rows top to bottom.
struct Picture {
    int Width = 0;
    int Height = 0;
    std::vector<std::uint32_t> Pixels;
};

// Whether data starts as a PNG file does, with the eight-byte signature.
bool IsPng(std::span<const std::uint8_t> data);

// The picture's size that the IHDR chunk right after the signature declares; nothing
// unless data starts with the signature and a whole IHDR chunk.
struct PngSize {
    std::uint64_t Width = 0;
    std::uint64_t Height = 0;
};
std::optional<PngSize> ReadPngSize(std::span<const std::uint8_t> data);

// Decodes any PNG (every colour type and depth) to 8-bit RGBA, refusing pictures of more
// than maxPixels pixels before allocating them. Nothing for data that is no PNG or is
// damaged; libpng's complaints are kept off stderr.
std::optional<Picture> DecodePng(std::span<const std::uint8_t> data, std::int64_t maxPixels);

// The picture as an 8-bit RGBA PNG file's bytes; empty when it can't be encoded.
std::vector<std::uint8_t> EncodePng(const Picture& picture);
