#include "scan/oneicon.h"

#include "icon/exeicons.h"
#include "icon/iconexport.h"
#include "icon/redirect.h"
#include "platform/bitmapfile.h"
#include "platform/errors.h"

#include <QFileInfo>

#include <cstring>

namespace {
// The icon's file, opened for one use. It may have changed since the scan, and then
// whatever it holds now is not the icon the user picked: that is said, not saved or shown.
struct OpenedIcon {
    explicit OpenedIcon(const IconOrigin& origin) : file(ReopenIconFile(origin.Path.constData(), origin.IconsFrom.toStdString())), reader(file->Reader())
    {
        if (reader.Count() == 0)
            return; // gone or unreadable: the caller says it can't read the icon
        const std::optional<IconImage> icon = reader.Count() == origin.Count ? reader.Read(origin.Index) : std::nullopt;
        if (!icon || BitmapFingerprint(DrawIconBitmap(*icon)) != origin.Fingerprint)
            throw AppError(QStringLiteral("%1 は開いた後に変更されたため、このアイコンを読めません").arg(origin.FileName));
    }
    std::unique_ptr<IconFile> file;
    IconReader& reader;
};

// Bits per pixel as the image's own header gives them: a PNG's colour type and depth, a
// DIB's bit count.
int StoredBitCount(const std::vector<std::uint8_t>& data)
{
    if (IsPng(data)) {
        // IHDR follows the eight-byte signature, a length and a type: depth, then colour type.
        constexpr std::size_t kDepth = 8 + 8 + 8;
        if (data.size() < kDepth + 2)
            return 0;
        static constexpr int kChannels[] = {1, 0, 3, 1, 2, 0, 4}; // by colour type
        const int depth = data[kDepth];
        const int type = data[kDepth + 1];
        if (type == 3) // a palette
            return depth;
        return type < 7 ? depth * kChannels[type] : 0;
    }
    if (data.size() >= 12) {
        std::uint32_t headerSize = 0;
        std::memcpy(&headerSize, data.data(), sizeof headerSize);
        std::uint16_t bitCount = 0;
        // A 12-byte core header keeps its bit count at 10, the others at 14.
        const std::size_t at = headerSize == 12 ? 10 : 14;
        if (data.size() >= at + 2)
            std::memcpy(&bitCount, data.data() + at, sizeof bitCount);
        return bitCount;
    }
    return 0;
}

QImage ToImage(const Picture& picture)
{
    QImage image(picture.Width, picture.Height, QImage::Format_ARGB32);
    for (int y = 0; y < picture.Height; ++y)
        std::memcpy(image.scanLine(y), picture.Pixels.data() + static_cast<std::size_t>(y) * std::size_t(picture.Width),
                    std::size_t(picture.Width) * sizeof(std::uint32_t));
    return image;
}
} // namespace

QByteArray IconFileFor(const IconOrigin& origin, IconFormat format)
{
    OpenedIcon icon(origin);
    return AsByteArray(format == IconFormat::Png ? LargestImagePng(icon.reader, origin.Index)
                                                 : IconFileBytes(icon.reader, origin.Index));
}

std::vector<IconImageDetails> IconImagesOf(const IconOrigin& origin)
{
    OpenedIcon icon(origin);
    std::vector<IconImageDetails> images;
    for (const IconEntry& entry : icon.reader.Entries(origin.Index)) {
        IconImageDetails details;
        details.Width = EntryDimension(entry.Width);
        details.Height = EntryDimension(entry.Height);
        details.BitCount = entry.BitCount;
        if (const auto data = icon.reader.ImageData(entry)) {
            details.Png = IsPng(*data);
            if (const int stored = StoredBitCount(*data))
                details.BitCount = stored;
            if (auto decoded = icon.reader.Decode(*data)) {
                details.Width = decoded->Width;
                details.Height = decoded->Height;
                details.Picture = ToImage(ToPicture(std::move(*decoded)));
            }
        }
        images.push_back(std::move(details));
    }
    return images;
}

QByteArray IconImagePng(const IconOrigin& origin, int image)
{
    OpenedIcon icon(origin);
    const std::vector<IconEntry> entries = icon.reader.Entries(origin.Index);
    if (image < 0 || image >= static_cast<int>(entries.size()))
        return {};
    auto data = icon.reader.ImageData(entries[static_cast<std::size_t>(image)]);
    if (!data)
        return {};
    if (IsPng(*data) && ReadPngSize(*data))
        return AsByteArray(*data);
    auto decoded = icon.reader.Decode(*data);
    return decoded ? AsByteArray(EncodePng(ToPicture(std::move(*decoded)))) : QByteArray();
}

QString ColoursText(const IconImageDetails& image)
{
    switch (image.BitCount) {
    case 0:
        return QStringLiteral("不明");
    case 24:
        return QStringLiteral("24 ビット");
    case 32:
        return QStringLiteral("32 ビット (アルファ付き)");
    default:
        return image.BitCount < 16 ? QStringLiteral("%1 色").arg(1 << image.BitCount)
                                   : QStringLiteral("%1 ビット").arg(image.BitCount);
    }
}

QString SuggestedIconName(const IconOrigin& origin, const QString& extension)
{
    return QStringLiteral("%1_%2.%3").arg(QFileInfo(origin.FileName).completeBaseName()).arg(origin.Index).arg(extension);
}
