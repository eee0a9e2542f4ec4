#include "report/run.h"

#include "ui/busy.h"
#include "report/report.h"
#include "report/units.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>

void PageStoreSink::PageDone(ReportPage&& page, int)
{
    pages_.pages.push_back(std::move(page));
    if (onPage)
        onPage(int(pages_.pages.size()));
}

QString LongTimeFormat(const QLocale& locale)
{
    // A Japanese desktop writes its long time with colons ("H:mm:ss"), where Qt's locale
    // data spells it out with 時, 分 and 秒, too wide for the fields reports leave for it.
    if (locale.language() == QLocale::Japanese)
        return QStringLiteral("H:mm:ss");
    // Qt's long time carries the time zone's name ("t"), which a desktop's long time
    // (hours, minutes and seconds) does not have, and which would not fit either.
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString result;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t'))
            continue;
        result += c;
    }
    result.remove(QStringLiteral("()"));
    return result.trimmed();
}

QString FormatDateTime(const QDateTime& when, const QLocale& systemLocale)
{
    // The C and POSIX locales are no one's language; the pages around the date are Japanese.
    const QLocale locale =
        systemLocale.language() == QLocale::C ? QLocale(QLocale::Japanese, QLocale::Japan) : systemLocale;
    const QString date = locale.toString(when.date(), QLocale::ShortFormat);
    if (when.time() == QTime(0, 0))
        return date;
    return date + QLatin1Char(' ') + locale.toString(when.time(), LongTimeFormat(locale));
}

ReportRun::ReportRun(TReport& report) : pumpMessages(&ProcessMessages), report_(report) {}

double ReportRun::ScreenPixelsPerInch() const
{
    if (report_.ScreenPixelsPerInch > 0)
        return report_.ScreenPixelsPerInch;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        return screen->logicalDotsPerInch();
    return units::kDesignPixelsPerInch;
}

int ReportRun::Execute(PageSink& sink)
{
    sink_ = &sink;
    cancelled_ = false;
    pageCount_ = 0;
    pageBegun_ = false;
    page_ = ReportPage();

    bool printReport = true;
    if (report_.BeforePrint)
        report_.BeforePrint(report_, printReport);
    if (!printReport)
        return 0;

    footerSpace_ = 0;
    for (const auto& band : report_.Bands())
        if (band->Enabled && band->Kind == btPageFooter)
            footerSpace_ += band->Height;

    const auto printDetails = [this] {
        for (const auto& band : report_.Bands())
            if (band->Enabled && band->Kind == btDetail)
                PrintBand(*band);
    };

    if (report_.OnNeedData) {
        bool moreData = true;
        report_.OnNeedData(report_, moreData);
        while (moreData) {
            if (pumpMessages)
                pumpMessages();
            if (cancelled_)
                break;
            printDetails();
            moreData = false;
            report_.OnNeedData(report_, moreData);
        }
    } else if (report_.PrintIfEmpty) {
        printDetails();
    }

    if (pageBegun_)
        EndPage(true);
    return pageCount_;
}

void ReportRun::PrintBand(const TReportBand& band)
{
    if (!pageBegun_) {
        BeginPage();
    } else {
        const TPageSetup& page = report_.Page;
        const double spaceLeft = page.pageLength - page.bottomMargin - footerSpace_ - position_;
        const bool fitsEmptyPage = band.Height <= page.pageLength - page.topMargin - page.bottomMargin;
        if (spaceLeft < band.Height && fitsEmptyPage) {
            EndPage(false);
            BeginPage();
        }
    }
    DrawBand(band);
    position_ += band.Height;
}

void ReportRun::BeginPage()
{
    if (pageBegun_)
        EndPage(false);
    ++pageCount_;
    pageBegun_ = true;
    page_ = ReportPage();
    position_ = report_.Page.topMargin;
    if (pageCount_ == 1 && !report_.Options.FirstPageHeader)
        return;
    for (const auto& band : report_.Bands()) {
        if (band->Enabled && band->Kind == btPageHeader) {
            DrawBand(*band);
            position_ += band->Height;
        }
    }
}

void ReportRun::EndPage(bool last)
{
    position_ = report_.Page.pageLength - report_.Page.bottomMargin - footerSpace_;
    if (!last || report_.Options.LastPageFooter) {
        for (const auto& band : report_.Bands()) {
            if (band->Enabled && band->Kind == btPageFooter) {
                DrawBand(*band);
                position_ += band->Height;
            }
        }
    }
    pageBegun_ = false;
    sink_->PageDone(std::move(page_), pageCount_);
    page_ = ReportPage();
}

namespace {
int AlignmentFlags(TTextAlignment alignment)
{
    switch (alignment) {
    case taRightJustify:
        return Qt::AlignRight | Qt::AlignTop;
    case taCenter:
        return Qt::AlignHCenter | Qt::AlignTop;
    case taLeftJustify:
        break;
    }
    return Qt::AlignLeft | Qt::AlignTop;
}
} // namespace

void ReportRun::DrawBand(const TReportBand& band)
{
    const QPointF origin(report_.Page.leftMargin, position_);
    const QRectF bandRect(origin, QSizeF(band.Width, band.Height));
    if (band.Color != Qt::white && band.Color.isValid())
        page_.items.emplace_back(RectItem{bandRect, Qt::black, 0, Qt::NoPen, band.Color, Qt::SolidPattern});

    for (const auto& control : band.Controls()) {
        if (!control->Enabled)
            continue;
        const QRectF bounds = control->Bounds.translated(origin);

        if (const auto* text = dynamic_cast<const TReportTextControl*>(control.get())) {
            TextItem item;
            if (const auto* label = dynamic_cast<const TReportLabel*>(text)) {
                item.text = label->Caption;
            } else if (const auto* data = dynamic_cast<const TReportSysData*>(text)) {
                // Taken now, as the band is drawn.
                const QString value = data->Kind == sdPageNumber
                    ? QString::number(pageCount_)
                    : FormatDateTime(report_.Clock ? report_.Clock() : QDateTime::currentDateTime(), report_.Locale);
                item.text = data->Prefix + value;
            }
            item.fontFamily = report_.Font.family();
            item.pointSize = text->FontSize > 0 ? text->FontSize
                : report_.Font.pointSizeF() > 0 ? report_.Font.pointSizeF()
                                                : 10.0;
            item.weight = report_.Font.weight();
            item.italic = report_.Font.italic();
            item.flags = AlignmentFlags(text->Alignment) | (text->WordWrap ? Qt::TextWordWrap : Qt::TextSingleLine);
            item.color = text->FontColor;
            item.background = text->Color;
            item.transparent = text->Transparent;

            QRectF rect = bounds;
            if (text->AutoSize) {
                // Grows to its text, but no further than the band's right edge when it
                // may wrap instead.
                const double room = bandRect.right() - bounds.left();
                QSizeF size = MeasureText(item, 0);
                if (text->WordWrap && size.width() > room && room > 0) {
                    size = MeasureText(item, room);
                    // A word longer than the room, such as a long path, breaks anywhere.
                    if (size.width() > room) {
                        item.flags = (item.flags & ~Qt::TextWordWrap) | Qt::TextWrapAnywhere;
                        size = MeasureText(item, room);
                    }
                }
                rect.setSize(size);
                if (text->Alignment == taRightJustify)
                    rect.moveRight(bounds.right());
                else if (text->Alignment == taCenter)
                    rect.moveCenter(QPointF(bounds.center().x(), rect.center().y()));
            }
            // A label never stretches its band.
            rect.setBottom(std::min(rect.bottom(), bandRect.bottom()));
            item.rect = rect;
            page_.items.emplace_back(std::move(item));
        } else if (const auto* image = dynamic_cast<const TReportImage*>(control.get())) {
            if (image->Picture.isNull())
                continue;
            QRectF target = bounds;
            if (!image->Stretch) {
                const double ppi = ScreenPixelsPerInch();
                target.setSize(QSizeF(units::PixelsToTenths(image->Picture.width(), ppi),
                                      units::PixelsToTenths(image->Picture.height(), ppi)));
                if (image->Center)
                    target.moveCenter(bounds.center());
            }
            page_.items.emplace_back(ImageItem{bounds, target, image->Picture});
        } else if (const auto* shape = dynamic_cast<const TReportShape*>(control.get())) {
            page_.items.emplace_back(RectItem{bounds, shape->PenColor, units::DesignPixelsToTenths(shape->PenWidth),
                                              shape->PenStyle, shape->BrushColor, shape->BrushStyle});
        }
    }
}
