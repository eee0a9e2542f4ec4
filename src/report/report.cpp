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

template <typename Control, typename... Arguments>
Control& TReportBand::Add(Arguments&&... arguments)
{
    auto control = std::make_unique<Control>(std::forward<Arguments>(arguments)...);
    Control& result = *control;
    controls_.push_back(std::move(control));
    return result;
}

TReportLabel& TReportBand::AddLabel(const QRectF& bounds, const QString& caption)
{
    TReportLabel& label = Add<TReportLabel>(bounds);
    label.Caption = caption;
    return label;
}

TReportSysData& TReportBand::AddSysData(const QRectF& bounds, TSysDataType kind)
{
    return Add<TReportSysData>(bounds, kind);
}

TReportImage& TReportBand::AddImage(const QRectF& bounds)
{
    return Add<TReportImage>(bounds);
}

TReportShape& TReportBand::AddShape(const QRectF& bounds, TShapeType kind)
{
    return Add<TReportShape>(bounds, kind);
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

QString DocumentName(const TReport& report)
{
    if (!report.JobName.isEmpty())
        return report.JobName;
    return report.Title.isEmpty() ? QStringLiteral("Vistrel") : report.Title;
}
