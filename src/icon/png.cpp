#include "icon/png.h"

#include <png.h>

#include <csetjmp>
#include <cstring>

namespace {

// libpng reports errors by calling this, which must not return: back to the setjmp.
[[noreturn]] void Fail(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void Ignore(png_structp, png_const_charp) {}

struct Cursor {
    std::span<const std::uint8_t> data;
    std::size_t at = 0;
};

void ReadFromCursor(png_structp png, png_bytep out, png_size_t length)
{
    auto* cursor = static_cast<Cursor*>(png_get_io_ptr(png));
    if (length > cursor->data.size() - cursor->at)
        png_error(png, "cut short");
    std::memcpy(out, cursor->data.data() + cursor->at, length);
    cursor->at += length;
}

void AppendToBuffer(png_structp png, png_bytep bytes, png_size_t length)
{
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), bytes, bytes + length);
}

void FlushNothing(png_structp) {}

// Between setjmp and a longjmp no object with a destructor may come to life, so the
// decoding works on what the caller set up: the picture is sized once, before any row.
// Unless keepPixels, the rows are read as the file stores them into one row's room.
bool Decode(png_structp png, png_infop info, Picture& picture, std::int64_t maxPixels, bool keepPixels)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    if (width == 0 || height == 0 || std::int64_t{width} * height > maxPixels)
        return false;
    if (keepPixels) {
        // Whatever the file holds becomes 8-bit B, G, R, A in memory: 0xAARRGGBB words.
        png_set_expand(png);
        png_set_strip_16(png);
        png_set_gray_to_rgb(png);
        png_set_bgr(png);
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    }
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const std::size_t rowBytes = png_get_rowbytes(png, info);
    if (keepPixels && rowBytes != std::size_t{width} * 4)
        return false;
    picture.Width = static_cast<int>(width);
    picture.Height = static_cast<int>(height);
    picture.Pixels.resize(keepPixels ? std::size_t{width} * height : (rowBytes + 3) / 4);
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 y = 0; y < height; ++y)
            png_read_row(png, reinterpret_cast<png_bytep>(picture.Pixels.data() + (keepPixels ? std::size_t{y} * width : 0)),
                         nullptr);
    // On to IEND, every chunk's CRC checked on the way.
    png_read_end(png, nullptr);
    return true;
}

std::optional<Picture> Read(std::span<const std::uint8_t> data, std::int64_t maxPixels, bool keepPixels)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, Fail, Ignore);
    if (!png)
        return std::nullopt;
    png_infop info = png_create_info_struct(png);
    Cursor cursor{data};
    Picture picture;
    bool ok = false;
    if (info) {
        png_set_read_fn(png, &cursor, ReadFromCursor);
        // Strict: what a client's decoder might read otherwise than this one is damage.
        png_set_crc_action(png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
        png_set_benign_errors(png, 0);
        // Text, colour profiles and the like are no business of an icon: skipped, so that
        // neither their size nor their quirks count.
        png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
        ok = Decode(png, info, picture, maxPixels, keepPixels);
    }
    png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    if (!ok)
        return std::nullopt;
    return picture;
}

bool Encode(png_structp png, png_infop info, const Picture& picture, PngCompression compression)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_IHDR(png, info, static_cast<png_uint_32>(picture.Width), static_cast<png_uint_32>(picture.Height), 8,
                 PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // Icons are small: zlib's level 3 writes them about 5% larger than its default and
    // in two thirds of the time, which an export of thousands of them feels.
    png_set_compression_level(png, static_cast<int>(compression));
    // Trying every row filter to pick the best costs more than the fastest level's
    // compressing; the difference to the left alone does most of what they do.
    if (compression == PngCompression::Fastest)
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_write_info(png, info);
    png_set_bgr(png);
    for (int y = 0; y < picture.Height; ++y) {
        const auto* row = picture.Pixels.data() + std::size_t(y) * std::size_t(picture.Width);
        png_write_row(png, reinterpret_cast<png_const_bytep>(row));
    }
    png_write_end(png, nullptr);
    return true;
}

// Calls visit(chunk, isIEND) for each whole chunk after the signature (length, type,
// data and CRC) up to IEND; says whether IEND was reached.
template <typename Visit>
bool ForEachChunk(std::span<const std::uint8_t> data, Visit visit)
{
    if (!IsPng(data))
        return false;
    for (std::size_t at = 8; data.size() - at >= 12;) {
        const std::uint64_t length = std::uint64_t{data[at]} << 24 | std::uint64_t{data[at + 1]} << 16
            | std::uint64_t{data[at + 2]} << 8 | data[at + 3];
        if (length > data.size() - at - 12)
            return false;
        const auto chunk = data.subspan(at, static_cast<std::size_t>(length) + 12);
        const bool last = std::memcmp(chunk.data() + 4, "IEND", 4) == 0;
        visit(chunk, last);
        if (last)
            return true;
        at += chunk.size();
    }
    return false;
}

} // namespace

bool IsPng(std::span<const std::uint8_t> data)
{
    static constexpr std::uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return data.size() >= sizeof kSignature && std::memcmp(data.data(), kSignature, sizeof kSignature) == 0;
}

std::optional<PngSize> ReadPngSize(std::span<const std::uint8_t> data)
{
    // Signature, then IHDR: its length (13), its type, and big-endian width and height.
    const auto be32 = [&](std::size_t at) {
        return std::uint64_t{data[at]} << 24 | std::uint64_t{data[at + 1]} << 16 | std::uint64_t{data[at + 2]} << 8
            | data[at + 3];
    };
    if (!IsPng(data) || data.size() < 33 || be32(8) != 13 || std::memcmp(data.data() + 12, "IHDR", 4) != 0)
        return std::nullopt;
    return PngSize{be32(16), be32(20)};
}

std::optional<Picture> DecodePng(std::span<const std::uint8_t> data, std::int64_t maxPixels)
{
    return Read(data, maxPixels, true);
}

bool PngDecodes(std::span<const std::uint8_t> data, std::int64_t maxPixels)
{
    return Read(data, maxPixels, false).has_value();
}

std::size_t PngLength(std::span<const std::uint8_t> data)
{
    std::size_t end = data.size();
    ForEachChunk(data, [&](std::span<const std::uint8_t> chunk, bool last) {
        if (last)
            end = static_cast<std::size_t>(chunk.data() + chunk.size() - data.data());
    });
    return end;
}

std::vector<std::uint8_t> EssentialPngChunks(std::span<const std::uint8_t> data)
{
    std::vector<std::uint8_t> out;
    const bool whole = ForEachChunk(data, [&](std::span<const std::uint8_t> chunk, bool) {
        static constexpr const char* kKept[] = {"IHDR", "PLTE", "tRNS", "IDAT", "IEND"};
        if (out.empty())
            out.assign(data.begin(), data.begin() + 8);
        for (const char* type : kKept)
            if (std::memcmp(chunk.data() + 4, type, 4) == 0)
                out.insert(out.end(), chunk.begin(), chunk.end());
    });
    if (!whole)
        out.clear();
    return out;
}

std::vector<std::uint8_t> EncodePng(const Picture& picture, PngCompression compression)
{
    std::vector<std::uint8_t> out;
    if (picture.Width <= 0 || picture.Height <= 0
        || picture.Pixels.size() != std::size_t(picture.Width) * std::size_t(picture.Height))
        return out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, Fail, Ignore);
    if (!png)
        return out;
    png_infop info = png_create_info_struct(png);
    bool ok = false;
    if (info) {
        png_set_write_fn(png, &out, AppendToBuffer, FlushNothing);
        ok = Encode(png, info, picture, compression);
    }
    png_destroy_write_struct(&png, info ? &info : nullptr);
    if (!ok)
        out.clear();
    return out;
}
