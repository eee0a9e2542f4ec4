#include "report/report.h"

#include <QGuiApplication>
#include <QWidget>

#include <utility>

void TPageSetup::SetOrientation(QPageLayout::Orientation value)
{
    if (value == orientation)
        return;
    orientation = value;
    std::swap(pageLength, pageWidth);
}

bool TReportImage::LoadFromFile(const QString& path)
{
    Picture = QImage(path);
    return !Picture.isNull();
}

TReportLabel& TReportBand::AddLabel(const QRectF& bounds, const QString& caption)
{
    auto label = std::make_unique<TReportLabel>(bounds);
    label->Caption = caption;
    auto& result = *label;
    controls_.push_back(std::move(label));
    return result;
}

TReportSysData& TReportBand::AddSysData(const QRectF& bounds, TSysDataType kind)
{
    auto data = std::make_unique<TReportSysData>(bounds, kind);
    auto& result = *data;
    controls_.push_back(std::move(data));
    return result;
}

TReportImage& TReportBand::AddImage(const QRectF& bounds)
{
    auto image = std::make_unique<TReportImage>(bounds);
    auto& result = *image;
    controls_.push_back(std::move(image));
    return result;
}

TReportShape& TReportBand::AddShape(const QRectF& bounds, TShapeType kind)
{
    auto shape = std::make_unique<TReportShape>(bounds, kind);
    auto& result = *shape;
    controls_.push_back(std::move(shape));
    return result;
}

TReport::TReport(const QWidget* form) : TReport(form, QLocale::system()) {}

TReport::TReport(const QWidget* form, const QLocale& systemLocale)
    : Font(DefaultFont(form, systemLocale)), Clock(&QDateTime::currentDateTime), Locale(systemLocale)
{
}

TReport::~TReport() = default;

QFont TReport::DefaultFont(const QWidget* form, const QLocale& systemLocale)
{
    if (systemLocale.language() == QLocale::Japanese)
        return form ? form->font() : QGuiApplication::font();
    return QFont(QStringLiteral("Arial"), 10);
}

TReportBand& TReport::AddBand(TBandType kind, double height)
{
    const double printable = Page.pageWidth - Page.leftMargin - Page.rightMargin;
    return AddBand(kind, height, printable);
}

TReportBand& TReport::AddBand(TBandType kind, double height, double width)
{
    bands_.push_back(std::make_unique<TReportBand>(kind, height, width));
    return *bands_.back();
}
