// Finished report pages in our own display-list form: what to draw where, in tenths
// of a millimetre, with the pictures' pixels, so a page can be drawn at any zoom and
// on any device without running the report again.
#pragma once

#include <QColor>
#include <QImage>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <variant>
#include <vector>

class QPainter;

struct TextItem {
    QRectF rect;
    QString text;
    QString fontFamily;
    double pointSize = 10;
    int weight = 400;
    bool italic = false;
    // Qt::Alignment flags, plus Qt::TextWordWrap when the text wraps.
    int flags = 0;
    QColor color = Qt::black;
    QColor background = Qt::white;
    bool transparent = false;
};

struct ImageItem {
    // The control's rectangle, which the picture never leaves.
    QRectF clip;
    // Where the whole picture lands.
    QRectF target;
    QImage image;
};

struct RectItem {
    QRectF rect;
    QColor penColor = Qt::black;
    // Tenths of a millimetre; 0 with a pen style other than none still draws a hairline.
    double penWidth = 0;
    Qt::PenStyle penStyle = Qt::SolidLine;
    QColor brushColor = Qt::white;
    Qt::BrushStyle brushStyle = Qt::SolidPattern;
};

using PageItem = std::variant<TextItem, ImageItem, RectItem>;

struct ReportPage {
    std::vector<PageItem> items;
};

struct ReportPages {
    // Width and length of the paper in tenths.
    QSizeF paperSize{2100, 2970};
    std::vector<ReportPage> pages;
};

// Draws the page so that the paper fills target (device pixels of the painter).
// The page's white ground is drawn too.
void DrawPage(QPainter& painter, const ReportPage& page, const QSizeF& paperSize, const QRectF& target);

// The page as an image of the given resolution, for checks and thumbnails.
QImage RenderPage(const ReportPage& page, const QSizeF& paperSize, double pixelsPerInch);

// Size in tenths that the text takes in the font (family, point size, weight);
// wrapWidth > 0 wraps it at that width.
QSizeF MeasureText(const TextItem& item, double wrapWidth);
