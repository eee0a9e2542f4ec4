#include "icon/png.h"

#include "icon/bytesource.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

namespace {

using Bytes = std::span<const std::uint8_t>;

constexpr std::uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// No chunk may be longer, IDAT apart (libpng bounds that by the picture's size): as long
// as a whole resource may be, so that no image is refused that a resource can hold, and
// the bound ours rather than the build's default.
constexpr png_alloc_size_t kMaxChunk = kMaxResourceBytes;

std::uint32_t Be32(const std::uint8_t* p)
{
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

bool IsType(Bytes chunk, const char* type)
{
    return std::memcmp(chunk.data() + 4, type, 4) == 0;
}

// Calls visit(chunk) for each whole chunk after the signature (length, type, data and
// CRC) up to IEND, while it returns true; says whether IEND was reached.
template <typename Visit>
bool ForEachChunk(Bytes data, Visit visit)
{
    if (!IsPng(data))
        return false;
    for (std::size_t at = 8; data.size() - at >= 12;) {
        const std::uint64_t length = Be32(data.data() + at);
        if (length > data.size() - at - 12)
            return false;
        const Bytes chunk = data.subspan(at, static_cast<std::size_t>(length) + 12);
        if (!visit(chunk))
            return false;
        if (IsType(chunk, "IEND"))
            return true;
        at += chunk.size();
    }
    return false;
}

// Every error and every warning libpng reports ends the work: a warning on reading names
// a fault of the file, and a picture is taken only when it decodes whole. Nothing is
// printed; the caller says what failed.
[[noreturn]] void Fail(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

// The libpng structures of one read or write, destroyed however it ends.
class PngHandle {
public:
    explicit PngHandle(bool reading) : m_reading(reading)
    {
        m_png = reading ? png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, Fail, Fail)
                        : png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, Fail, Fail);
        if (m_png)
            m_info = png_create_info_struct(m_png);
    }
    ~PngHandle()
    {
        if (m_reading)
            png_destroy_read_struct(&m_png, &m_info, nullptr);
        else
            png_destroy_write_struct(&m_png, &m_info);
    }
    PngHandle(const PngHandle&) = delete;
    PngHandle& operator=(const PngHandle&) = delete;

    bool Ready() const { return m_png && m_info; }
    png_structp Png() const { return m_png; }
    png_infop Info() const { return m_info; }

private:
    bool m_reading;
    png_structp m_png = nullptr;
    png_infop m_info = nullptr;
};

struct Input {
    Bytes Data;
    std::size_t At = 0;
};

// A file that ends before libpng has read what it needs is damaged, like any other.
void ReadInput(png_structp png, png_bytep out, std::size_t length)
{
    auto& input = *static_cast<Input*>(png_get_io_ptr(png));
    if (length > input.Data.size() - input.At)
        png_error(png, "cut short");
    std::memcpy(out, input.Data.data() + input.At, length);
    input.At += length;
}

// What a decode needs beyond libpng's own structures, kept by the caller: a libpng error
// comes back to Read by longjmp, past any destructor there.
struct Decoding {
    Input In;
    std::int64_t MaxPixels = 0;
    Picture* Out = nullptr; // nothing when only checking
    std::vector<png_bytep> Rows;
};

// 8-bit straight ARGB in the byte order of a std::uint32_t 0xAARRGGBB: palettes, low
// depths, gray and colour keys expanded by libpng as every client's decoder expands them,
// 16-bit samples rounded.
void SetArgb(png_structp png)
{
    png_set_expand(png);
    png_set_scale_16(png);
    png_set_gray_to_rgb(png);
    if constexpr (std::endian::native == std::endian::little) {
        png_set_bgr(png);
        png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    } else {
        png_set_add_alpha(png, 0xFF, PNG_FILLER_BEFORE);
        png_set_swap_alpha(png);
    }
}

// Only trivially destructible locals here, for the longjmp.
bool Read(png_structp png, png_infop info, Decoding& d)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_read_fn(png, &d.In, ReadInput);
    // Every CRC checked, and what libpng would let pass as harmless refused as well.
    png_set_crc_action(png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
    png_set_benign_errors(png, 0);
    // An index past the palette reads as opaque black, as in every client; libpng would
    // otherwise warn about it, which would refuse the picture here.
    png_set_check_for_invalid_index(png, 0);
    // Chunks other than IHDR, PLTE, tRNS, IDAT and IEND are skipped unread but for their
    // CRC: nothing of them is drawn, and a thumbnail passed on keeps none of them.
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    const auto side = static_cast<png_uint_32>(std::clamp<std::int64_t>(d.MaxPixels, 1, PNG_UINT_31_MAX));
    png_set_user_limits(png, side, side);
    png_set_chunk_malloc_max(png, kMaxChunk);
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    // The budget before libpng allocates any row.
    if (std::int64_t{width} * height > d.MaxPixels)
        return false;
    const int passes = png_set_interlace_handling(png);
    if (!d.Out) {
        // Every row unfiltered and checked, none kept.
        for (std::int64_t row = 0; row < std::int64_t{passes} * height; ++row)
            png_read_row(png, nullptr, nullptr);
    } else {
        SetArgb(png);
        png_read_update_info(png, info);
        if (png_get_rowbytes(png, info) != std::size_t{width} * 4)
            return false;
        d.Out->Width = static_cast<int>(width);
        d.Out->Height = static_cast<int>(height);
        d.Out->Pixels.assign(std::size_t{width} * height, 0);
        d.Rows.resize(height);
        for (std::size_t y = 0; y < height; ++y)
            d.Rows[y] = reinterpret_cast<png_bytep>(d.Out->Pixels.data() + y * width);
        png_read_image(png, d.Rows.data());
    }
    // Up to IEND: no data left over in the stream, every later chunk's CRC right.
    png_read_end(png, nullptr);
    return true;
}

bool Decode(Bytes data, std::int64_t maxPixels, Picture* picture)
{
    if (!IsPng(data))
        return false;
    PngHandle handle(true);
    if (!handle.Ready())
        return false;
    Decoding decoding{{data, 0}, maxPixels, picture, {}};
    return Read(handle.Png(), handle.Info(), decoding);
}

// The file's bytes. No exception may pass through libpng: running out of memory is one
// more libpng error.
void WriteOutput(png_structp png, png_bytep data, std::size_t length)
{
    auto& out = *static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    bool stored = true;
    try {
        out.insert(out.end(), data, data + length);
    } catch (const std::bad_alloc&) {
        stored = false;
    }
    if (!stored)
        png_error(png, "out of memory");
}

void Flush(png_structp) {}

struct Encoding {
    const Picture* In = nullptr;
    PngCompression Compression = PngCompression::Small;
    std::size_t Stream = 0; // room for the compressed pixels, all in one IDAT chunk
    std::vector<std::uint8_t>* Out = nullptr;
    std::vector<png_bytep> Rows;
};

// Only trivially destructible locals here, for the longjmp.
bool Write(png_structp png, png_infop info, Encoding& e)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_write_fn(png, e.Out, WriteOutput, Flush);
    const auto width = static_cast<png_uint_32>(e.In->Width);
    const auto height = static_cast<png_uint_32>(e.In->Height);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_buffer_size(png, e.Stream);
    if (e.Compression == PngCompression::Stored) {
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
        png_set_compression_level(png, 0);
    } else {
        // Each row filtered None, Sub or Up, whichever leaves the smallest sum, and zlib's
        // default level: on icons, smaller files than all five filters at a lower level,
        // and quicker, Average and Paeth being the costly ones to try.
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FAST_FILTERS);
        png_set_compression_level(png, 6);
        png_set_compression_strategy(png, Z_DEFAULT_STRATEGY);
    }
    png_write_info(png, info);
    if constexpr (std::endian::native == std::endian::little)
        png_set_bgr(png);
    else
        png_set_swap_alpha(png);
    png_write_image(png, e.Rows.data());
    png_write_end(png, nullptr);
    return true;
}

} // namespace

bool IsPng(std::span<const std::uint8_t> data)
{
    return data.size() >= sizeof kSignature && std::memcmp(data.data(), kSignature, sizeof kSignature) == 0;
}

std::optional<PngSize> ReadPngSize(std::span<const std::uint8_t> data)
{
    // Signature, then IHDR: its length (13), its type, and big-endian width and height.
    if (!IsPng(data) || data.size() < 33 || Be32(data.data() + 8) != 13 || std::memcmp(data.data() + 12, "IHDR", 4) != 0)
        return std::nullopt;
    return PngSize{Be32(data.data() + 16), Be32(data.data() + 20)};
}

std::optional<Picture> DecodePng(std::span<const std::uint8_t> data, std::int64_t maxPixels)
{
    Picture picture;
    if (!Decode(data, maxPixels, &picture))
        return std::nullopt;
    return picture;
}

bool PngDecodes(std::span<const std::uint8_t> data, std::int64_t maxPixels)
{
    return Decode(data, maxPixels, nullptr);
}

std::size_t PngLength(std::span<const std::uint8_t> data)
{
    std::size_t end = data.size();
    ForEachChunk(data, [&](Bytes chunk) {
        if (IsType(chunk, "IEND"))
            end = static_cast<std::size_t>(chunk.data() + chunk.size() - data.data());
        return true;
    });
    return end;
}

std::vector<std::uint8_t> EssentialPngChunks(std::span<const std::uint8_t> data)
{
    std::vector<std::uint8_t> out(data.begin(), data.begin() + std::min(data.size(), sizeof kSignature));
    const bool whole = ForEachChunk(data, [&](Bytes chunk) {
        for (const char* type : {"IHDR", "PLTE", "tRNS", "IDAT", "IEND"})
            if (IsType(chunk, type))
                out.insert(out.end(), chunk.begin(), chunk.end());
        return true;
    });
    if (!whole)
        out.clear();
    return out;
}

std::vector<std::uint8_t> EncodePng(const Picture& picture, PngCompression compression)
{
    if (picture.Width <= 0 || picture.Height <= 0
        || picture.Pixels.size() != std::size_t(picture.Width) * std::size_t(picture.Height))
        return {};
    // The rows with their filter bytes, and what zlib adds to them at worst: stored blocks
    // of at least 512 bytes, five bytes each, and its header and checksum. libpng's buffer
    // for the compressed pixels is made that large, so that they go in one IDAT chunk.
    const std::size_t raw = (std::size_t(picture.Width) * 4 + 1) * std::size_t(picture.Height);
    const std::size_t stream = raw + 5 * (raw / 512 + 1) + 6;
    if (stream > PNG_UINT_31_MAX)
        return {};
    std::vector<std::uint8_t> out;
    out.reserve(stream + 57); // signature, IHDR, one IDAT and IEND around it
    Encoding encoding{&picture, compression, stream, &out, {}};
    encoding.Rows.resize(std::size_t(picture.Height));
    for (std::size_t y = 0; y < encoding.Rows.size(); ++y)
        // libpng copies each row before its transformations: the pixels are only read.
        encoding.Rows[y] = reinterpret_cast<png_bytep>(const_cast<std::uint32_t*>(picture.Pixels.data())
                                                       + y * std::size_t(picture.Width));
    PngHandle handle(false);
    if (!handle.Ready() || !Write(handle.Png(), handle.Info(), encoding))
        return {};
    return out;
}
