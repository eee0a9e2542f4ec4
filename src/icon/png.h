// PNG read and written here over zlib alone: the PNG images inside icons, and the PNG
// files Vistrel writes. No toolkit and no PNG library, so the thumbnailer, started once
// per file shown, loads nothing but zlib for it.
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
// them. Nothing for data that is no PNG or is damaged: a wrong CRC in any chunk up to
// IEND, a header, palette or transparency chunk that breaks the format's rules, an
// unknown critical chunk, compressed data cut short or running on, an unknown row filter.
// Where libpng (which every client decodes with) reads a quirk a way of its own, it is
// read so here: palette entries past the depth's reach left out, an index past the
// palette opaque black, a colour key kept to the sample's depth. Chunks other than IHDR,
// PLTE, tRNS, IDAT and IEND are skipped unread but for their CRC.
std::optional<Picture> DecodePng(std::span<const std::uint8_t> data, std::int64_t maxPixels);

// Whether DecodePng would take data, found out one row at a time without keeping the
// picture: for a PNG that is to be passed on as it is.
bool PngDecodes(std::span<const std::uint8_t> data, std::int64_t maxPixels);

// A PNG that PngDecodes rebuilt from its IHDR, PLTE, tRNS, IDAT and IEND chunks alone:
// the same pixels, and none of the other chunks' bytes. Empty when the chunks don't
// follow each other whole up to IEND.
std::vector<std::uint8_t> EssentialPngChunks(std::span<const std::uint8_t> data);

// How EncodePng stores the pixels: Stored, uncompressed, for a thumbnail that its client
// reads once and encodes again for its own cache; Small, filtered and at zlib's level 3,
// for the files a user keeps.
enum class PngCompression { Stored, Small };

// The picture as an 8-bit RGBA PNG file's bytes; empty when it can't be encoded.
std::vector<std::uint8_t> EncodePng(const Picture& picture, PngCompression compression = PngCompression::Small);
