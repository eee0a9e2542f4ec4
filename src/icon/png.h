// PNG read and written over libpng 1.6: the PNG images inside icons, and the PNG files
// Vistrel writes. The same library the file managers and Qt decode with, without Qt, so
// the thumbnailer loads libpng and zlib for it and no toolkit.
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

// How many bytes of data the PNG file takes, up to the end of its IEND chunk; all of
// data when its chunks don't lead there.
std::size_t PngLength(std::span<const std::uint8_t> data);

// Decodes any PNG (every colour type and depth, interlaced or not) to 8-bit RGBA, 16-bit
// samples rounded, refusing pictures of more than maxPixels pixels before allocating
// them. Nothing for data that is no PNG or is damaged: anything libpng reports, its
// warnings and the errors it would let pass as harmless included, so a wrong CRC in any
// chunk up to IEND, a header, palette or transparency chunk that breaks the format's
// rules, an unknown critical chunk, compressed data cut short or running on, an unknown
// row filter. Palettes and colour keys read as libpng reads them (an index past the
// palette opaque black). Chunks other than IHDR, PLTE, tRNS, IDAT and IEND are skipped
// unread but for their CRC; none may be longer than a resource (8 MB).
std::optional<Picture> DecodePng(std::span<const std::uint8_t> data, std::int64_t maxPixels);

// Whether DecodePng would take data, every row read and none kept: for a PNG that is to
// be passed on as it is.
bool PngDecodes(std::span<const std::uint8_t> data, std::int64_t maxPixels);

// A PNG that PngDecodes rebuilt from its IHDR, PLTE, tRNS, IDAT and IEND chunks alone:
// the same pixels, and none of the other chunks' bytes. Empty when the chunks don't
// follow each other whole up to IEND.
std::vector<std::uint8_t> EssentialPngChunks(std::span<const std::uint8_t> data);

// How EncodePng stores the pixels: Stored, uncompressed, for a thumbnail that its client
// reads once and encodes again for its own cache; Small, filtered and at zlib's level 6,
// for the files a user keeps.
enum class PngCompression { Stored, Small };

// The picture as an 8-bit RGBA PNG file's bytes; empty when it can't be encoded.
std::vector<std::uint8_t> EncodePng(const Picture& picture, PngCompression compression = PngCompression::Small);
