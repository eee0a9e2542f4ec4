// Printing a report, as a new run or as pages made before, straight onto a QPrinter:
// page range and copies honoured, with the small "印刷中" window that can cancel it.
#pragma once

#include "report/pages.h"

#include <QWidget>

class QLabel;
class QPrinter;
class QProgressBar;
class QPushButton;
class TReport;

// Printer (or PDF file), copies, paper, orientation and, when the report says, duplex
// from the report; the user's own defaults for that printer for the rest.
void SetUpPrinter(const TReport& report, QPrinter& printer);
// What the user chose in the print dialog becomes the report's: printer or file,
// copies, orientation, and the page range (all pages: 0 and 0).
void TakeOverPrinter(TReport& report, const QPrinter& printer);
// False when nothing could come out of it: no printer at all, or no file to write.
bool PrinterUsable(const QPrinter& printer);

struct PrintOutcome {
    bool printed = false;
    bool cancelled = false;
    // Pages sent to the printer, copies included.
    int sheets = 0;
};

// A new run of the report onto the printer. pageCount, the pages the run makes, sizes
// the progress bar; 0 when not known.
PrintOutcome PrintReportOn(TReport& report, QPrinter& printer, int pageCount);
// Pages made before (kept in a file) onto the printer, with the report's range and copies.
PrintOutcome PrintPagesOn(const ReportPages& pages, const TReport& report, QPrinter& printer);

// Stays on top, centred on the screen, while a report prints; the bar counts sheets.
class TPrintProgress : public QWidget {
    Q_OBJECT
public:
    // 0 sheets: not known, the bar only shows that work goes on.
    explicit TPrintProgress(int sheets);
    void SetSheetsSent(int sheets);
    QPushButton* CancelButton() const { return cancel_; }

signals:
    void Cancelled();

private:
    QProgressBar* bar_;
    QPushButton* cancel_;
};
