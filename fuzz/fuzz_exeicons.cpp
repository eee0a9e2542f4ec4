// libFuzzer target for the icon reader: any bytes as a whole file, and as one icon image,
// through every use the program makes of them: the 32x32 icons of Open, the exports, the
// cursors and animated cursors, the listing, and the thumbnail (the image chosen, shrunk
// and written as PNG, which must decode again to the same pixels); and split in two, as
// a System32 file and the .mun that may stand in for it.
#include "icon/bytesource.h"
#include "icon/cursorexport.h"
#include "icon/dib.h"
#include "icon/exeicons.h"
#include "icon/iconexport.h"
#include "icon/png.h"
#include "icon/redirect.h"
#include "icon/resourcelist.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

// A PNG the program writes must read back as the very pixels it was given.
static void EncodeAndCheck(const Picture& picture, PngCompression compression)
{
    const std::vector<std::uint8_t> png = EncodePng(picture, compression);
    const auto read = DecodePng(png, static_cast<std::int64_t>(picture.Pixels.size()));
    if (!read || read->Width != picture.Width || read->Height != picture.Height || read->Pixels != picture.Pixels)
        __builtin_trap();
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes(data, size);
    // The reader the program uses, over a source in memory instead of a file.
    const SpanSource source(bytes);
    // Every group, as the extraction reads them: a file that makes this slow is a finding.
    IconReader reader(source);
    const int count = reader.Count();
    for (int i = 0; i < count; ++i) {
        if (reader.Read(i)) {
            (void)IconFileBytes(reader, i);
            // The PNG export takes only an image that decodes.
            const std::vector<std::uint8_t> largest = LargestImagePng(reader, i);
            if (!largest.empty() && !DecodePng(largest, kMaxPixels))
                __builtin_trap();
        }
    }
    if (count > 0)
        (void)ReadIcon(bytes, count - 1);
    // Every cursor group and animated cursor, as --extract writes them: a cursor file's
    // directory must describe exactly the bytes that follow it.
    for (int i = 0; i < reader.Count(ResourceKind::Cursor); ++i) {
        const std::vector<std::uint8_t> cursor = CursorFileBytes(reader, i);
        if (cursor.empty())
            continue;
        const auto header = ReadRecord<IconFileHeader>(std::span(cursor), 0);
        const auto last = ReadRecord<IconFileEntry>(std::span(cursor), 6 + 16 * std::uint64_t(header->Count - 1));
        if (!last || std::uint64_t(last->ImageOffset) + last->BytesInRes != cursor.size())
            __builtin_trap();
    }
    for (int i = 0; i < reader.Count(ResourceKind::AnimatedCursor); ++i)
        (void)AniBytes(reader, i);
    // The listing, over its own reader as --list makes it.
    (void)ListResources(source);
    // A thumbnail as file managers ask for it, its size taken from the input's last byte
    // so that shrinking by every factor is tried.
    const int thumbnailSize = size > 0 ? 1 + bytes.back() : 128;
    IconReader thumbnailer(source);
    if (const auto picture = ThumbnailPicture(thumbnailer, thumbnailSize))
        EncodeAndCheck(*picture, PngCompression::Small);
    // As the thumbnailer writes it: a PNG that decodes, of its pixel chunks alone, never
    // larger than asked for.
    IconReader copier(source);
    const std::vector<std::uint8_t> png = ThumbnailPng(copier, thumbnailSize);
    if (!png.empty()) {
        const auto written = DecodePng(png, kMaxPixels);
        if (!written || written->Width > thumbnailSize || written->Height > thumbnailSize || EssentialPngChunks(png) != png)
            __builtin_trap();
    }
    // The pair: a little-endian length of the file, the file, then the .mun.
    if (size >= 4) {
        const auto length = std::min<std::size_t>(*ReadRecord<std::uint32_t>(bytes, 0), size - 4);
        IconFile pair(std::make_unique<SpanSource>(bytes.subspan(4, length)),
                      std::make_unique<SpanSource>(bytes.subspan(4 + length)), "SystemResources/x.dll.mun");
        IconReader& icons = pair.Reader();
        for (int i = 0; i < icons.Count(); ++i)
            (void)IconFileBytes(icons, i);
        for (int i = 0; i < icons.Count(ResourceKind::Cursor); ++i)
            (void)CursorFileBytes(icons, i);
        for (int i = 0; i < icons.Count(ResourceKind::AnimatedCursor); ++i)
            (void)AniBytes(icons, i);
        (void)ListResources(pair.Source());
        (void)ThumbnailPng(icons, thumbnailSize);
    }
    (void)DecodeIconImage(bytes);
    if (auto image = DecodeImage(bytes))
        EncodeAndCheck(ScaleToFit(ToPicture(std::move(*image)), thumbnailSize), PngCompression::Stored);
    return 0;
}
