// Printing a report: a new run straight onto a QPrinter, page range and copies
// honoured, with the small "印刷中" window that can cancel it.
#pragma once

#include <QWidget>

class QLabel;
class QPrinter;
class QProgressBar;
class QPushButton;
class TReport;

// Printer (or PDF file), copies, duplex, paper and orientation from the report.
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

// expectedPages sizes the progress bar; 0 when not known.
PrintOutcome PrintReportOn(TReport& report, QPrinter& printer, int expectedPages);

// Stays on top, centred on the screen, while a report prints.
class TPrintProgress : public QWidget {
    Q_OBJECT
public:
    explicit TPrintProgress(int expectedPages);
    void SetPage(int page);
    QPushButton* CancelButton() const { return cancel_; }

signals:
    void Cancelled();

private:
    QProgressBar* bar_;
    QPushButton* cancel_;
};
