// One run of a report: the callbacks are asked for records and the bands are laid
// out on pages, which go to a sink one by one as they are finished.
#pragma once

#include "report/pages.h"

#include <QDateTime>
#include <QLocale>

#include <functional>

class TReport;
class TReportBand;

class PageSink {
public:
    virtual ~PageSink() = default;
    // pageNumber counts from 1.
    virtual void PageDone(ReportPage&& page, int pageNumber) = 0;
};

// Keeps every page, for the preview and for saving.
class PageStoreSink : public PageSink {
public:
    explicit PageStoreSink(ReportPages& pages) : pages_(pages) {}
    void PageDone(ReportPage&& page, int pageNumber) override;
    // Told after each page is kept; the preview shows pages while the run goes on.
    std::function<void(int pageCount)> onPage;

private:
    ReportPages& pages_;
};

class ReportRun {
public:
    explicit ReportRun(TReport& report);

    // Lets pending window messages run between records; by default the application's.
    std::function<void()> pumpMessages;

    // Runs the report; the number of pages made. A cancelled run stops at the next
    // record and finishes the page it was on.
    int Execute(PageSink& sink);

    void Cancel() { cancelled_ = true; }
    bool Cancelled() const { return cancelled_; }
    int PageCount() const { return pageCount_; }

private:
    void PrintBand(const TReportBand& band);
    void DrawBand(const TReportBand& band);
    void BeginPage();
    void EndPage(bool last);
    double ScreenPixelsPerInch() const;

    TReport& report_;
    PageSink* sink_ = nullptr;
    bool cancelled_ = false;
    int pageCount_ = 0;
    bool pageBegun_ = false;
    double position_ = 0;
    double footerSpace_ = 0;
    ReportPage page_;
};

// The text of a date-time system-data control: the short date, a space and the long
// time, the time left out at exactly midnight; in locale's format, Japanese for the C
// locale.
QString FormatDateTime(const QDateTime& when, const QLocale& locale);
// The locale's long time format without the time zone.
QString LongTimeFormat(const QLocale& locale);
