#include "icon/png.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

using Bytes = std::span<const std::uint8_t>;

constexpr std::uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

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

enum ColourType : std::uint8_t { kGray = 0, kRgb = 2, kPalette = 3, kGrayAlpha = 4, kRgba = 6 };

struct Header {
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
    int Depth = 0;
    int Colour = 0;
    bool Interlaced = false;

    int Channels() const
    {
        switch (Colour) {
        case kRgb: return 3;
        case kGrayAlpha: return 2;
        case kRgba: return 4;
        default: return 1;
        }
    }
    // Bytes of one row of width pixels, without its filter byte.
    std::size_t RowBytes(std::uint32_t width) const
    {
        return static_cast<std::size_t>((std::uint64_t{width} * static_cast<std::uint64_t>(Channels() * Depth) + 7) / 8);
    }
    // The distance the Sub, Average and Paeth filters look back: a whole pixel, or a byte.
    std::size_t FilterStep() const { return static_cast<std::size_t>(std::max(1, Channels() * Depth / 8)); }
};

std::optional<Header> ReadHeader(Bytes chunk)
{
    if (Be32(chunk.data()) != 13)
        return std::nullopt;
    const std::uint8_t* d = chunk.data() + 8;
    Header h{Be32(d), Be32(d + 4), d[8], d[9], d[12] == 1};
    constexpr std::uint32_t kMaxSide = 0x7FFFFFFF;
    bool depthFits = false;
    switch (h.Colour) {
    case kGray: depthFits = h.Depth == 1 || h.Depth == 2 || h.Depth == 4 || h.Depth == 8 || h.Depth == 16; break;
    case kPalette: depthFits = h.Depth == 1 || h.Depth == 2 || h.Depth == 4 || h.Depth == 8; break;
    case kRgb:
    case kGrayAlpha:
    case kRgba: depthFits = h.Depth == 8 || h.Depth == 16; break;
    default: break;
    }
    // Compression and filter method 0 are the only ones there are.
    if (h.Width == 0 || h.Height == 0 || h.Width > kMaxSide || h.Height > kMaxSide || !depthFits || d[10] != 0
        || d[11] != 0 || d[12] > 1)
        return std::nullopt;
    return h;
}

constexpr std::array<std::uint32_t, 256> OpaqueBlack()
{
    std::array<std::uint32_t, 256> palette{};
    palette.fill(0xFF000000u);
    return palette;
}

// What decoding needs from the chunks, each of which was checked on the way: its CRC, and
// the rules of order and size the format sets for the chunks read.
struct Layout {
    Header Head;
    // With tRNS's alpha. An index past the palette is opaque black, as libpng, and so every
    // client's decoder, reads it.
    std::array<std::uint32_t, 256> Palette = OpaqueBlack();
    int PaletteSize = 0;
    // The transparent colour of a gray or RGB image, as stored (up to 16 bits a sample).
    std::optional<std::array<std::uint32_t, 3>> Key;
    std::vector<Bytes> Idat;
};

bool CrcRight(Bytes chunk)
{
    const std::size_t length = chunk.size() - 12;
    const auto crc = crc32_z(0, chunk.data() + 4, length + 4);
    return crc == Be32(chunk.data() + 8 + length);
}

bool ReadPalette(Bytes data, Layout& layout)
{
    const Header& h = layout.Head;
    if (h.Colour == kGray || h.Colour == kGrayAlpha || data.empty() || data.size() % 3 != 0 || data.size() > 3 * 256)
        return false;
    // Entries no index of the depth can reach are left out, as libpng leaves them out.
    const int entries = std::min(static_cast<int>(data.size() / 3), h.Colour == kPalette ? 1 << h.Depth : 256);
    layout.PaletteSize = entries;
    for (int i = 0; i < entries; ++i)
        layout.Palette[std::size_t(i)] = 0xFF000000u | std::uint32_t{data[std::size_t(i) * 3]} << 16
            | std::uint32_t{data[std::size_t(i) * 3 + 1]} << 8 | data[std::size_t(i) * 3 + 2];
    return true;
}

bool ReadTransparency(Bytes data, Layout& layout)
{
    switch (layout.Head.Colour) {
    case kPalette:
        if (layout.PaletteSize == 0 || data.empty() || data.size() > std::size_t(layout.PaletteSize))
            return false;
        for (std::size_t i = 0; i < data.size(); ++i)
            layout.Palette[i] = (layout.Palette[i] & 0x00FFFFFFu) | std::uint32_t{data[i]} << 24;
        return true;
    case kGray:
    case kRgb: {
        const std::size_t samples = layout.Head.Colour == kGray ? 1 : 3;
        if (data.size() != samples * 2)
            return false;
        // Kept to the sample's depth, as libpng compares it, for a value out of range.
        const std::uint32_t mask = (1u << layout.Head.Depth) - 1;
        std::array<std::uint32_t, 3> key{};
        for (std::size_t i = 0; i < samples; ++i)
            key[i] = (std::uint32_t{data[i * 2]} << 8 | data[i * 2 + 1]) & mask;
        layout.Key = key;
        return true;
    }
    default: return false; // an alpha channel has no room for a key
    }
}

std::optional<Layout> ReadLayout(Bytes data)
{
    Layout layout;
    bool header = false, palette = false, transparency = false, idatEnded = false;
    const bool whole = ForEachChunk(data, [&](Bytes chunk) {
        if (!CrcRight(chunk))
            return false;
        for (std::size_t i = 4; i < 8; ++i)
            if (const std::uint8_t c = chunk[i] & ~0x20u; c < 'A' || c > 'Z')
                return false; // a chunk type is four letters
        const Bytes body = chunk.subspan(8, chunk.size() - 12);
        if (!header) {
            auto head = IsType(chunk, "IHDR") ? ReadHeader(chunk) : std::nullopt;
            if (!head)
                return false;
            layout.Head = *head;
            return header = true;
        }
        if (IsType(chunk, "IDAT")) {
            if (idatEnded || (layout.Head.Colour == kPalette && !palette))
                return false;
            layout.Idat.push_back(body);
            return true;
        }
        // Anything after the pixels but IEND ends them: no more IDAT may follow.
        idatEnded = !layout.Idat.empty();
        if (IsType(chunk, "PLTE")) {
            if (palette || transparency || !layout.Idat.empty())
                return false;
            return palette = ReadPalette(body, layout);
        }
        if (IsType(chunk, "tRNS")) {
            if (transparency || !layout.Idat.empty())
                return false;
            return transparency = ReadTransparency(body, layout);
        }
        if (IsType(chunk, "IEND"))
            return body.empty() && !layout.Idat.empty();
        // An ancillary chunk (lower-case first letter) may be skipped; a critical one not
        // known here (or a second IHDR) changes what the pixels mean.
        return (chunk[4] & 0x20) != 0;
    });
    if (!whole)
        return std::nullopt;
    return layout;
}

// The compressed pixels of all IDAT chunks as one zlib stream, given out exactly as many
// bytes at a time as asked for.
class Inflater {
public:
    explicit Inflater(const std::vector<Bytes>& parts) : m_parts(parts)
    {
        m_ok = inflateInit(&m_stream) == Z_OK;
    }
    ~Inflater() { inflateEnd(&m_stream); }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    bool Read(std::uint8_t* out, std::size_t length)
    {
        m_stream.next_out = out;
        m_stream.avail_out = static_cast<uInt>(length);
        while (m_ok && m_stream.avail_out > 0) {
            if (m_ended || !Feed())
                return m_ok = false;
            const int result = inflate(&m_stream, Z_NO_FLUSH);
            if (result == Z_STREAM_END)
                m_ended = true;
            else if (result != Z_OK)
                m_ok = false;
        }
        return m_ok;
    }

    // Whether the stream ends right here, its checksum right, with nothing after it.
    bool Finish()
    {
        std::uint8_t extra = 0;
        while (m_ok && !m_ended) {
            m_stream.next_out = &extra;
            m_stream.avail_out = 1;
            if (!Feed())
                return false;
            const int result = inflate(&m_stream, Z_NO_FLUSH);
            if (result == Z_STREAM_END && m_stream.avail_out == 1)
                m_ended = true;
            else if (result != Z_OK || m_stream.avail_out == 0)
                return false;
        }
        if (!m_ok || m_stream.avail_in > 0)
            return false;
        return std::all_of(m_parts.begin() + static_cast<std::ptrdiff_t>(m_next), m_parts.end(),
                           [](Bytes part) { return part.empty(); });
    }

private:
    // Moves on to the next IDAT chunk with bytes once the current one is used up; false
    // when there is none.
    bool Feed()
    {
        while (m_stream.avail_in == 0) {
            if (m_next == m_parts.size())
                return false;
            const Bytes part = m_parts[m_next++];
            m_stream.next_in = const_cast<Bytef*>(part.data());
            m_stream.avail_in = static_cast<uInt>(part.size());
        }
        return true;
    }

    const std::vector<Bytes>& m_parts;
    std::size_t m_next = 0;
    z_stream m_stream{};
    bool m_ok = false;
    bool m_ended = false;
};

int Paeth(int a, int b, int c)
{
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// Undoes the row's filter in place, prior holding the row above (zeros for a pass's first).
// The first pixel has no left neighbour: there Average halves the byte above, and Paeth
// picks it.
bool Unfilter(std::uint8_t filter, std::uint8_t* row, const std::uint8_t* prior, std::size_t length, std::size_t step)
{
    const std::size_t first = std::min(step, length);
    switch (filter) {
    case 0: return true;
    case 1:
        for (std::size_t i = step; i < length; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + row[i - step]);
        return true;
    case 2:
        for (std::size_t i = 0; i < length; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + prior[i]);
        return true;
    case 3:
        for (std::size_t i = 0; i < first; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + prior[i] / 2);
        for (std::size_t i = step; i < length; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + (row[i - step] + prior[i]) / 2);
        return true;
    case 4:
        for (std::size_t i = 0; i < first; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + prior[i]);
        for (std::size_t i = step; i < length; ++i)
            row[i] = static_cast<std::uint8_t>(row[i] + Paeth(row[i - step], prior[i], prior[i - step]));
        return true;
    default: return false;
    }
}

// The index-th sample of an unfiltered row: bits packed from the high end below 8 bits,
// two big-endian bytes at 16.
std::uint32_t Sample(const std::uint8_t* row, std::size_t index, int depth)
{
    if (depth == 16)
        return std::uint32_t{row[index * 2]} << 8 | row[index * 2 + 1];
    if (depth == 8)
        return row[index];
    const std::size_t bit = index * std::size_t(depth);
    return (row[bit / 8] >> (8 - depth - bit % 8)) & ((1u << depth) - 1);
}

// A sample as 8 bits: low depths stretched over the whole range, 16 bits rounded.
std::uint32_t To8(std::uint32_t value, int depth)
{
    switch (depth) {
    case 16: return (value * 255 + 32767) / 65535;
    case 8: return value;
    default: return value * 255 / ((1u << depth) - 1);
    }
}

// Turns one unfiltered row into pixels, writing pixel i to out[i * stride].
void ToPixels(const Layout& layout, const std::uint8_t* row, std::uint32_t width, std::uint32_t* out, std::size_t stride)
{
    const int d = layout.Head.Depth;
    const auto put = [&](auto pixelAt) {
        for (std::size_t x = 0; x < width; ++x)
            out[x * stride] = pixelAt(x);
    };
    const auto opaque = [&](std::array<std::uint32_t, 3> samples) { return !layout.Key || *layout.Key != samples; };
    switch (layout.Head.Colour) {
    case kPalette: put([&](std::size_t x) { return layout.Palette[Sample(row, x, d)]; }); break;
    case kGray:
        put([&](std::size_t x) {
            const std::uint32_t g = Sample(row, x, d), g8 = To8(g, d);
            return (opaque({g, 0, 0}) ? 0xFF000000u : 0u) | g8 << 16 | g8 << 8 | g8;
        });
        break;
    case kRgb:
        put([&](std::size_t x) {
            const std::uint32_t r = Sample(row, x * 3, d), g = Sample(row, x * 3 + 1, d), b = Sample(row, x * 3 + 2, d);
            return (opaque({r, g, b}) ? 0xFF000000u : 0u) | To8(r, d) << 16 | To8(g, d) << 8 | To8(b, d);
        });
        break;
    case kGrayAlpha:
        put([&](std::size_t x) {
            const std::uint32_t g8 = To8(Sample(row, x * 2, d), d);
            return To8(Sample(row, x * 2 + 1, d), d) << 24 | g8 << 16 | g8 << 8 | g8;
        });
        break;
    default:
        if (d == 8) // the common case, by far: one byte a sample
            put([&](std::size_t x) {
                const std::uint8_t* p = row + x * 4;
                return std::uint32_t{p[3]} << 24 | std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2];
            });
        else
            put([&](std::size_t x) {
                return To8(Sample(row, x * 4 + 3, d), d) << 24 | To8(Sample(row, x * 4, d), d) << 16
                    | To8(Sample(row, x * 4 + 1, d), d) << 8 | To8(Sample(row, x * 4 + 2, d), d);
            });
        break;
    }
}

// Adam7's passes: first column and row, and the steps between them.
struct Pass {
    std::uint32_t X0, Y0, Dx, Dy;
};
constexpr Pass kAdam7[] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                           {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
constexpr Pass kWhole[] = {{0, 0, 1, 1}};

std::uint32_t Count(std::uint32_t size, std::uint32_t first, std::uint32_t step)
{
    return size > first ? (size - first + step - 1) / step : 0;
}

// Unfilters every row, pass by pass, and unless only checking, turns it into pixels of
// picture.
bool Decode(Bytes data, std::int64_t maxPixels, bool keepPixels, Picture& picture)
{
    const auto layout = ReadLayout(data);
    if (!layout)
        return false;
    const Header& h = layout->Head;
    if (std::int64_t{h.Width} * h.Height > maxPixels)
        return false;
    picture.Width = static_cast<int>(h.Width);
    picture.Height = static_cast<int>(h.Height);
    if (keepPixels)
        picture.Pixels.assign(std::size_t{h.Width} * h.Height, 0);
    // Each row after its filter byte.
    const std::size_t rowBytes = h.RowBytes(h.Width) + 1;
    std::vector<std::uint8_t> row(rowBytes), prior(rowBytes);
    Inflater pixels(layout->Idat);
    for (const Pass& pass : h.Interlaced ? std::span<const Pass>(kAdam7) : std::span<const Pass>(kWhole)) {
        const std::uint32_t width = Count(h.Width, pass.X0, pass.Dx);
        const std::uint32_t height = Count(h.Height, pass.Y0, pass.Dy);
        if (width == 0 || height == 0)
            continue; // an empty pass has no rows, not even their filter bytes
        const std::size_t length = h.RowBytes(width);
        std::fill_n(prior.begin(), length + 1, std::uint8_t{0});
        for (std::uint32_t y = 0; y < height; ++y) {
            if (!pixels.Read(row.data(), length + 1)
                || !Unfilter(row[0], row.data() + 1, prior.data() + 1, length, h.FilterStep()))
                return false;
            if (keepPixels)
                ToPixels(*layout, row.data() + 1, width,
                         picture.Pixels.data() + (std::size_t{pass.Y0} + std::size_t{y} * pass.Dy) * h.Width + pass.X0,
                         pass.Dx);
            std::swap(row, prior);
        }
    }
    return pixels.Finish();
}

void AppendBe32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void AppendChunk(std::vector<std::uint8_t>& out, const char* type, Bytes data)
{
    AppendBe32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    AppendBe32(out, static_cast<std::uint32_t>(crc32_z(0, out.data() + start, out.size() - start)));
}

// A zlib stream of stored blocks, which no decoder needs to search: the header, blocks of
// at most 65 535 bytes, each with its length and that length's complement, the checksum.
std::vector<std::uint8_t> StoredStream(Bytes data)
{
    std::vector<std::uint8_t> out{0x78, 0x01};
    out.reserve(data.size() + data.size() / 65535 * 5 + 11);
    std::size_t at = 0;
    do {
        const std::size_t length = std::min<std::size_t>(data.size() - at, 65535);
        const bool last = at + length == data.size();
        const auto n = static_cast<std::uint16_t>(length);
        const auto complement = static_cast<std::uint16_t>(~n);
        out.insert(out.end(), {std::uint8_t{last}, std::uint8_t(n), std::uint8_t(n >> 8), std::uint8_t(complement),
                               std::uint8_t(complement >> 8)});
        out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
                   data.begin() + static_cast<std::ptrdiff_t>(at + length));
        at += length;
    } while (at < data.size());
    AppendBe32(out, static_cast<std::uint32_t>(adler32_z(1, data.data(), data.size())));
    return out;
}

// At zlib's level 3, with a window and a match table no larger than the data needs: for
// an icon of a few kilobytes, setting up zlib's defaults (a quarter megabyte, part of it
// cleared) would cost more than compressing it.
std::vector<std::uint8_t> CompressedStream(Bytes data)
{
    int windowBits = 9;
    while (windowBits < 15 && (std::size_t{1} << windowBits) < data.size())
        ++windowBits;
    z_stream stream{};
    if (deflateInit2(&stream, 3, Z_DEFLATED, windowBits, std::max(1, windowBits - 7), Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    std::vector<std::uint8_t> out(deflateBound(&stream, static_cast<uLong>(data.size())));
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    const bool done = deflate(&stream, Z_FINISH) == Z_STREAM_END;
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return done ? out : std::vector<std::uint8_t>{};
}

// The row filtered the way that leaves the smallest sum of bytes taken as signed, which
// tends to compress best: the usual choice of PNG encoders. prior is the row above, zeros
// for the first; a filter is given up as soon as its sum can't be the smallest.
void FilterRow(const std::uint8_t* row, const std::uint8_t* prior, std::size_t length, std::uint8_t* out,
               std::vector<std::uint8_t>& trial)
{
    constexpr std::size_t step = 4;
    trial.resize(length + 1);
    std::uint64_t best = std::numeric_limits<std::uint64_t>::max();
    const auto tryFilter = [&](std::uint8_t filter, auto predict) {
        trial[0] = filter;
        std::uint64_t sum = 0;
        for (std::size_t i = 0; i < length; ++i) {
            const auto value = static_cast<std::uint8_t>(row[i] - predict(i));
            trial[i + 1] = value;
            if ((sum += value < 128 ? value : 256 - value) >= best)
                return;
        }
        best = sum;
        std::copy(trial.begin(), trial.end(), out);
    };
    const auto left = [&](std::size_t i) { return i >= step ? row[i - step] : 0; };
    tryFilter(0, [](std::size_t) { return 0; });
    tryFilter(1, left);
    tryFilter(2, [&](std::size_t i) { return prior[i]; });
    tryFilter(3, [&](std::size_t i) { return (left(i) + prior[i]) / 2; });
    tryFilter(4, [&](std::size_t i) { return Paeth(left(i), prior[i], i >= step ? prior[i - step] : 0); });
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
    if (!Decode(data, maxPixels, true, picture))
        return std::nullopt;
    return picture;
}

bool PngDecodes(std::span<const std::uint8_t> data, std::int64_t maxPixels)
{
    Picture row;
    return Decode(data, maxPixels, false, row);
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
    const auto width = static_cast<std::uint32_t>(picture.Width);
    const auto height = static_cast<std::uint32_t>(picture.Height);
    // Rows of 8-bit R, G, B, A, each after its filter byte.
    const std::size_t length = std::size_t{width} * 4;
    std::vector<std::uint8_t> rows((length + 1) * height), row(length), prior(length), trial;
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::size_t x = 0; x < width; ++x) {
            const std::uint32_t p = picture.Pixels[std::size_t{y} * width + x];
            row[x * 4] = static_cast<std::uint8_t>(p >> 16);
            row[x * 4 + 1] = static_cast<std::uint8_t>(p >> 8);
            row[x * 4 + 2] = static_cast<std::uint8_t>(p);
            row[x * 4 + 3] = static_cast<std::uint8_t>(p >> 24);
        }
        std::uint8_t* out = rows.data() + (length + 1) * y;
        if (compression == PngCompression::Stored)
            std::copy(row.begin(), row.end(), out + 1); // filter 0: nothing to gain uncompressed
        else
            FilterRow(row.data(), prior.data(), length, out, trial);
        std::swap(row, prior);
    }
    const std::vector<std::uint8_t> stream = compression == PngCompression::Stored ? StoredStream(rows) : CompressedStream(rows);
    if (stream.empty() || stream.size() > 0x7FFFFFFF)
        return {};
    std::vector<std::uint8_t> out(std::begin(kSignature), std::end(kSignature));
    std::vector<std::uint8_t> head;
    AppendBe32(head, width);
    AppendBe32(head, height);
    head.insert(head.end(), {8, kRgba, 0, 0, 0});
    AppendChunk(out, "IHDR", head);
    AppendChunk(out, "IDAT", stream);
    AppendChunk(out, "IEND", {});
    return out;
}
