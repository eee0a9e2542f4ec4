// The hidden window that holds the icon list's report definition and feeds it, 19 icons
// per row, from the browse state. It is never shown itself.
#pragma once

#include "report/report.h"
#include "browse/browsestate.h"

#include <QWidget>

#include <array>

class TReportForm : public QWidget {
    Q_OBJECT
public:
    static constexpr int kIconsPerRow = 19;

    // The report reads the session and never writes it.
    explicit TReportForm(const BrowseState& session, QWidget* parent = nullptr);

    TReport IconReport;
    TReportBand* RepBand2 = nullptr; // page header
    TReportBand* RepBand1 = nullptr; // detail: one row of icons
    TReportBand* RepBand3 = nullptr; // page footer
    TReportLabel* RepLabel1 = nullptr;
    TReportSysData* RepSysData1 = nullptr;
    TReportLabel* RepLabel2 = nullptr;
    TReportSysData* RepSysData2 = nullptr;
    TReportShape* RepShape1 = nullptr;
    std::array<TReportImage*, kIconsPerRow> RepImages{}; // RepImage1 .. RepImage19
    TReportShape* RepShape2 = nullptr;
    TReportLabel* RepLabel3 = nullptr;

    // Icon positions handed to the report so far in this run, filled or blank.
    int ReportPosition = 0;

    void IconReportBeforePrint(TReport& sender, bool& PrintReport);
    void IconReportNeedData(TReport& sender, bool& MoreData);

private:
    const BrowseState& session_;
};
