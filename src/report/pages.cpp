#include "report/pages.h"

#include "report/units.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {
// The item's font for drawing in tenths of a millimetre on a device of the given
// resolution. Hinting would make text widths depend on the device, and a label sized on
// one device would then be clipped on another. Nothing under a point can be read, and a
// font of less than a pixel sends every new family through a slow search: a page file
// full of such texts would take minutes to draw.
QFont FontOf(const TextItem& item, double pixelsPerInch)
{
    QFont font(item.fontFamily);
    font.setPointSizeF(std::max(item.pointSize, 1.0) * units::kTenthsPerInch / pixelsPerInch);
    font.setWeight(QFont::Weight(std::clamp(item.weight, 1, 1000)));
    font.setItalic(item.italic);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

struct DeviceMap {
    QPointF origin;
    double scale; // device pixels per tenth

    QRectF Map(const QRectF& r) const
    {
        return {origin.x() + r.left() * scale, origin.y() + r.top() * scale, r.width() * scale, r.height() * scale};
    }
};

void DrawText(QPainter& painter, const DeviceMap& map, const TextItem& item)
{
    if (!item.transparent)
        painter.fillRect(map.Map(item.rect), item.background);
    // Laid out in tenths, the same units it was measured in, and only then scaled to
    // the device: lines break at the same words on screen, paper and PDF.
    painter.save();
    painter.translate(map.origin);
    painter.scale(map.scale, map.scale);
    const double dpi = painter.device() ? painter.device()->logicalDpiY() : 96.0;
    painter.setFont(FontOf(item, dpi));
    painter.setPen(item.color);
    painter.drawText(item.rect, item.flags | Qt::TextDontClip, item.text);
    painter.restore();
}

void DrawImage(QPainter& painter, const DeviceMap& map, const ImageItem& item)
{
    if (item.image.isNull())
        return;
    painter.save();
    painter.setClipRect(map.Map(item.clip), Qt::IntersectClip);
    painter.drawImage(map.Map(item.target), item.image);
    painter.restore();
}

void DrawRect(QPainter& painter, const DeviceMap& map, const RectItem& item)
{
    QRectF rect = map.Map(item.rect);
    // The pen stays inside the rectangle, so a rectangle as high as its pen is wide
    // prints as a line exactly that thick.
    double width = item.penStyle == Qt::NoPen ? 0 : std::max(item.penWidth * map.scale, 1.0);
    if (item.brushStyle != Qt::NoBrush)
        painter.fillRect(rect, QBrush(item.brushColor, item.brushStyle));
    if (width <= 0)
        return;
    width = std::min({width, rect.width(), rect.height()});
    if (width <= 0)
        width = 1;
    const QColor color = item.penColor;
    const QBrush pen(color, Qt::SolidPattern);
    if (item.penStyle == Qt::SolidLine) {
        // Four filled strips: exact at any resolution, with no half-pixel smearing.
        painter.fillRect(QRectF(rect.left(), rect.top(), rect.width(), width), pen);
        painter.fillRect(QRectF(rect.left(), rect.bottom() - width, rect.width(), width), pen);
        painter.fillRect(QRectF(rect.left(), rect.top(), width, rect.height()), pen);
        painter.fillRect(QRectF(rect.right() - width, rect.top(), width, rect.height()), pen);
        return;
    }
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(color, width, item.penStyle, Qt::SquareCap, Qt::MiterJoin));
    const double half = width / 2;
    painter.drawRect(rect.adjusted(half, half, -half, -half));
}
} // namespace

void DrawPage(QPainter& painter, const ReportPage& page, const QSizeF& paperSize, const QRectF& target)
{
    if (paperSize.width() <= 0 || paperSize.height() <= 0)
        return;
    const DeviceMap map{target.topLeft(), target.width() / paperSize.width()};
    painter.save();
    painter.setClipRect(target, Qt::IntersectClip);
    painter.fillRect(target, Qt::white);
    for (const PageItem& item : page.items) {
        std::visit(
            [&](const auto& it) {
                using T = std::decay_t<decltype(it)>;
                if constexpr (std::is_same_v<T, TextItem>)
                    DrawText(painter, map, it);
                else if constexpr (std::is_same_v<T, ImageItem>)
                    DrawImage(painter, map, it);
                else
                    DrawRect(painter, map, it);
            },
            item);
    }
    painter.restore();
}

QImage RenderPage(const ReportPage& page, const QSizeF& paperSize, double pixelsPerInch)
{
    const QSize size(int(std::lround(units::TenthsToPixels(paperSize.width(), pixelsPerInch))),
                     int(std::lround(units::TenthsToPixels(paperSize.height(), pixelsPerInch))));
    QImage image(size, QImage::Format_RGB32);
    const int dotsPerMeter = int(std::lround(pixelsPerInch / 0.0254));
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    image.fill(Qt::white);
    QPainter painter(&image);
    DrawPage(painter, page, paperSize, QRectF(QPointF(0, 0), QSizeF(size)));
    return image;
}

QSizeF MeasureText(const TextItem& item, double wrapWidth)
{
    // A device of 254 pixels per inch measures in tenths of a millimetre directly.
    static const QImage tenthsDevice = [] {
        QImage image(1, 1, QImage::Format_RGB32);
        image.setDotsPerMeterX(10000);
        image.setDotsPerMeterY(10000);
        return image;
    }();
    const QFontMetricsF metrics(FontOf(item, units::kTenthsPerInch), &tenthsDevice);
    if (wrapWidth > 0) {
        const int wrap = item.flags & Qt::TextWrapAnywhere ? Qt::TextWrapAnywhere : Qt::TextWordWrap;
        const QRectF bounds = metrics.boundingRect(QRectF(0, 0, wrapWidth, 1e6), wrap | Qt::AlignLeft, item.text);
        return {std::ceil(bounds.width()) + 1, std::ceil(std::max(bounds.height(), metrics.height()))};
    }
    // A tenth to spare, so rounding on some device never wraps a line that fitted here.
    return {std::ceil(metrics.horizontalAdvance(item.text)) + 1, std::ceil(metrics.height())};
}
