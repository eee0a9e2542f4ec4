// Reports for the engine's tests: bands whose labels name them, so a test can read
// back where each band landed.
#pragma once

#include "report/pages.h"
#include "report/report.h"
#include "report/run.h"
#include "report/units.h"

#include <QImage>
#include <QStringList>

#include <vector>

// Keeps pages as they come.
class CollectingSink : public PageSink {
public:
    void PageDone(ReportPage&& page, int pageNumber) override
    {
        numbers.push_back(pageNumber);
        pages.push_back(std::move(page));
    }
    std::vector<ReportPage> pages;
    std::vector<int> numbers;
};

inline std::vector<const TextItem*> TextsOf(const ReportPage& page)
{
    std::vector<const TextItem*> texts;
    for (const PageItem& item : page.items)
        if (const auto* text = std::get_if<TextItem>(&item))
            texts.push_back(text);
    return texts;
}

// The page's texts in drawing order, e.g. "H", "D1", "D2", "F".
inline QStringList Captions(const ReportPage& page)
{
    QStringList captions;
    for (const TextItem* text : TextsOf(page))
        captions << text->text;
    return captions;
}

inline const TextItem* FindText(const ReportPage& page, const QString& text)
{
    for (const TextItem* item : TextsOf(page))
        if (item->text == text)
            return item;
    return nullptr;
}

// Feeds `records` records; the detail label shows "D" and the record's number.
struct CountingFeed {
    int records = 0;
    int calls = 0;
    int current = 0;
    TReportLabel* label = nullptr;

    void Attach(TReport& report)
    {
        report.OnNeedData = [this](TReport&, bool& moreData) {
            ++calls;
            moreData = current < records;
            if (moreData) {
                ++current;
                if (label)
                    label->Caption = QStringLiteral("D%1").arg(current);
            }
        };
        report.BeforePrint = [this](TReport&, bool&) { current = 0; };
    }
};

// An A4 report with 10 mm margins like the icon list: header "H" with a page number,
// detail "D<n>", footer "F". Heights in tenths.
struct BandedReport {
    TReport report{nullptr, QLocale(QLocale::English, QLocale::UnitedStates)};
    CountingFeed feed;
    TReportBand* header = nullptr;
    TReportBand* detail = nullptr;
    TReportBand* footer = nullptr;

    BandedReport(double headerHeight, double detailHeight, double footerHeight, int records)
    {
        report.Font = QFont(QStringLiteral("DejaVu Sans"), 10);
        if (headerHeight > 0) {
            header = &report.AddBand(btPageHeader, headerHeight);
            header->AddLabel(QRectF(0, 0, 50, 30), QStringLiteral("H"));
        }
        detail = &report.AddBand(btDetail, detailHeight);
        feed.label = &detail->AddLabel(QRectF(0, 0, 50, 30));
        if (footerHeight > 0) {
            footer = &report.AddBand(btPageFooter, footerHeight);
            footer->AddLabel(QRectF(0, 0, 50, 30), QStringLiteral("F"));
        }
        feed.records = records;
        feed.Attach(report);
    }

    CollectingSink Run()
    {
        CollectingSink sink;
        ReportRun run(report);
        run.pumpMessages = nullptr;
        run.Execute(sink);
        return sink;
    }
};

// A 34 by 34 picture: a red square with a blue top-left quarter, easy to find on a page.
inline QImage SampleIcon()
{
    QImage image(34, 34, QImage::Format_RGB32);
    image.fill(QColor(255, 0, 0));
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 17; ++x)
            image.setPixelColor(x, y, QColor(0, 0, 255));
    return image;
}
