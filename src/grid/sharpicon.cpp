#include "grid/sharpicon.h"

#include "icon/exeicons.h"
#include "icon/iconexport.h"
#include "icon/redirect.h"
#include "platform/bitmapfile.h"

#include <algorithm>

namespace {

constexpr std::uint32_t kWhite = 0xFFFFFFFFu;

// An image without alpha over white, as DrawIconBitmap draws one. Done at full size
// before shrinking, since the inverted pixels have no straight-alpha equivalent.
Picture OnWhite(const DecodedImage& image)
{
    Picture picture{image.Width, image.Height, std::vector<std::uint32_t>(image.Pixels.size())};
    for (std::size_t i = 0; i < image.Pixels.size(); ++i)
        picture.Pixels[i] = MaskedOverWhite(image.Pixels[i], !image.Mask.empty() && image.Mask[i]);
    return picture;
}

} // namespace

SharpIcons::SharpIcons() = default;
SharpIcons::~SharpIcons() = default;

IconReader& SharpIcons::ReaderFor(const IconOrigin& origin)
{
    if (!file_ || origin.Path != path_ || origin.IconsFrom != iconsFrom_) {
        file_ = ReopenIconFile(origin.Path.constData(), origin.IconsFrom.toStdString());
        path_ = origin.Path;
        iconsFrom_ = origin.IconsFrom;
    }
    return file_->Reader();
}

QImage SharpIcons::Draw(const IconOrigin& origin, const QImage& bitmap, qreal ratio)
{
    const int side = qRound(kIconSize * ratio);
    if (side <= kIconSize || bitmap.size() != QSize(kBitmapSize, kBitmapSize))
        return {};
    IconReader& reader = ReaderFor(origin);
    if (reader.Count() != origin.Count)
        return {};
    // Enlarging a smaller image would look no better than the bitmap enlarged; the
    // directory says so before any image is read.
    const std::vector<IconEntry> entries = reader.Entries(origin.Index);
    const auto largeEnough = [side](const IconEntry& e) { return EntryDimension(e.Width) >= side; };
    if (std::none_of(entries.begin(), entries.end(), largeEnough))
        return {};
    // The file must still hold the icon the bitmap was drawn from.
    const std::optional<IconImage> icon = reader.Read(origin.Index);
    if (!icon || DrawIconBitmap(*icon) != bitmap.convertToFormat(QImage::Format_RGB32))
        return {};

    for (const int i : PreferredImages(entries, side)) {
        std::optional<DecodedImage> image = reader.Decode(entries[static_cast<std::size_t>(i)]);
        if (!image)
            continue;
        if (image->Width != image->Height || image->Width < side)
            return {};
        const bool alpha = image->Alpha;
        const Picture picture = ScaleToFit(alpha ? ToPicture(std::move(*image)) : OnWhite(*image), side);
        const int whole = qRound(kBitmapSize * ratio);
        const int margin = (whole - side) / 2;
        QImage drawn(whole, whole, QImage::Format_RGB32);
        drawn.fill(kWhite);
        for (int y = 0; y < side; ++y) {
            auto* row = reinterpret_cast<std::uint32_t*>(drawn.scanLine(y + margin)) + margin;
            const std::uint32_t* source = picture.Pixels.data() + std::size_t(y) * std::size_t(side);
            for (int x = 0; x < side; ++x)
                row[x] = alpha ? BlendedOverWhite(source[x]) : source[x];
        }
        drawn.setDevicePixelRatio(ratio);
        return drawn;
    }
    return {};
}
