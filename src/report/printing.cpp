#include "report/printing.h"

#include "ui/busy.h"
#include "platform/atomicfile.h"
#include "platform/printers.h"
#include "report/report.h"
#include "report/run.h"

#include <QGuiApplication>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryFile>
#include <QVBoxLayout>

#include <memory>

void SetUpPrinter(const TReport& report, QPrinter& printer)
{
    const TPrinterSettings& settings = report.PrinterSettings;
    if (!settings.outputFileName.isEmpty()) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(settings.outputFileName);
    } else {
        printer.setOutputFormat(QPrinter::NativeFormat);
        const QString name = settings.printerName.isEmpty() ? DefaultPrinterName() : settings.printerName;
        printer.setPrinterName(name);
        // Qt quietly takes the default printer for a name it does not know; the pages
        // must not go to a printer nobody asked for, so no printer is set then.
        if (printer.printerName() != name)
            printer.setPrinterName(QString());
        // Whatever the report leaves open (paper source, resolution, ...) the user's
        // defaults for that printer decide, as for any other program printing there.
        ApplyUserDefaults(printer);
    }
    printer.setDocName(DocumentName(report));
    printer.setCopyCount(std::max(settings.copies, 1));
    printer.setCollateCopies(true);
    if (settings.duplex)
        printer.setDuplex(*settings.duplex ? QPrinter::DuplexAuto : QPrinter::DuplexNone);
    printer.setPaperSource(QPrinter::Auto);
    printer.setFullPage(true);
    printer.setPageSize(QPageSize(report.Page.paperSize));
    printer.setPageOrientation(report.Page.orientation);
    printer.setPageMargins(QMarginsF(0, 0, 0, 0));
    // The range itself is applied as the pages come; the printer only shows it.
    if (settings.firstPage > 0 && settings.lastPage >= settings.firstPage) {
        printer.setPrintRange(QPrinter::PageRange);
        printer.setFromTo(settings.firstPage, settings.lastPage);
    } else {
        printer.setPrintRange(QPrinter::AllPages);
    }
}

void TakeOverPrinter(TReport& report, const QPrinter& printer)
{
    TPrinterSettings& settings = report.PrinterSettings;
    settings.copies = std::max(printer.copyCount(), 1);
    if (printer.outputFormat() == QPrinter::PdfFormat) {
        settings.outputFileName = printer.outputFileName();
    } else {
        settings.outputFileName.clear();
        settings.printerName = printer.printerName();
    }
    settings.duplex = printer.duplex() != QPrinter::DuplexNone;
    report.Page.SetOrientation(printer.pageLayout().orientation());
    if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
        settings.firstPage = printer.fromPage();
        settings.lastPage = std::max(printer.toPage(), printer.fromPage());
    } else {
        settings.firstPage = 0;
        settings.lastPage = 0;
    }
}

bool PrinterUsable(const QPrinter& printer)
{
    if (printer.outputFormat() == QPrinter::PdfFormat)
        return !printer.outputFileName().isEmpty();
    return !printer.printerName().isEmpty() && printer.isValid()
        && !QPrinterInfo::printerInfo(printer.printerName()).isNull();
}

namespace {
class PrinterSink : public PageSink {
public:
    PrinterSink(QPrinter& printer, const TReport& report, const QSizeF& paper)
        : printer_(printer), paper_(paper), first_(report.PrinterSettings.firstPage),
          last_(report.PrinterSettings.lastPage)
    {
        // Where the printer can't make copies itself, the pages are sent again.
        if (printer.copyCount() > 1 && !printer.supportsMultipleCopies())
            copiesByHand_ = printer.copyCount();
        // Qt writes a PDF file in place as the pages come, so a full disk or a cancel would
        // leave a cut one where the user's file was. It writes a private temporary file
        // instead, which replaces the file whole once the job is done.
        if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty()) {
            pdfTarget_ = printer.outputFileName();
            if (pdf_.open())
                printer.setOutputFileName(pdf_.fileName());
            else
                failed_ = true;
        }
    }
    ~PrinterSink()
    {
        if (!pdfTarget_.isEmpty())
            printer_.setOutputFileName(pdfTarget_);
    }
    PrinterSink(const PrinterSink&) = delete;
    PrinterSink& operator=(const PrinterSink&) = delete;

    // The sheets that pageCount pages make: those in the range, as often as they are sent.
    int SheetsFor(int pageCount) const
    {
        const int first = std::max(first_, 1);
        const int last = last_ > 0 ? std::min(last_, pageCount) : pageCount;
        return std::max(last - first + 1, 0) * copiesByHand_;
    }

    void PageDone(ReportPage&& page, int pageNumber) override
    {
        if ((first_ > 0 && pageNumber < first_) || (last_ > 0 && pageNumber > last_))
            return;
        Emit(page);
        if (copiesByHand_ > 1)
            kept_.push_back(std::move(page));
    }

    // False when the printer refused the job.
    bool Finish(bool cancelled)
    {
        if (!cancelled)
            for (int copy = 1; copy < copiesByHand_; ++copy)
                for (const ReportPage& page : kept_)
                    Emit(page);
        if (!begun_)
            return true;
        if (cancelled)
            printer_.abort();
        const bool ended = painter_.end();
        if (!pdfTarget_.isEmpty() && ended && !cancelled && !failed_)
            return pdf_.seek(0) && ReplaceFileFrom(pdfTarget_, pdf_);
        return ended || cancelled;
    }

    int Sheets() const { return sheets_; }
    bool Failed() const { return failed_; }
    std::function<void(int)> onPage;

private:
    void Emit(const ReportPage& page)
    {
        if (failed_)
            return;
        if (!begun_) {
            begun_ = true;
            if (!painter_.begin(&printer_)) {
                failed_ = true;
                return;
            }
        } else if (!printer_.newPage()) {
            failed_ = true;
            return;
        }
        DrawPage(painter_, page, paper_, printer_.paperRect(QPrinter::DevicePixel));
        ++sheets_;
        if (onPage)
            onPage(sheets_);
    }

    QPrinter& printer_;
    QSizeF paper_;
    QPainter painter_;
    // 0 for either end: from the first page or to the last.
    int first_;
    int last_;
    int copiesByHand_ = 1;
    bool begun_ = false;
    bool failed_ = false;
    int sheets_ = 0;
    std::vector<ReportPage> kept_;
    QString pdfTarget_; // the PDF file the user chose, when the printer writes one
    QTemporaryFile pdf_;
};

// One print job, whatever makes its pages: the hourglass, the progress window with its
// Cancel, the sink, and the outcome.
class PrintJob {
public:
    PrintJob(const TReport& report, QPrinter& printer, const QSizeF& paper, int pageCount)
        : sink_(printer, report, paper)
    {
        if (!report.ShowProgress)
            return;
        progress_ = std::make_unique<TPrintProgress>(pageCount > 0 ? sink_.SheetsFor(pageCount) : 0);
        QObject::connect(progress_.get(), &TPrintProgress::Cancelled, [this] {
            cancelRequested_ = true;
            if (onCancel)
                onCancel();
        });
        sink_.onPage = [this](int sheets) { progress_->SetSheetsSent(sheets); };
        progress_->show();
        ProcessMessages();
    }

    PageSink& Sink() { return sink_; }
    bool CancelRequested() const { return cancelRequested_; }
    std::function<void()> onCancel;

    PrintOutcome Finish(bool cancelled)
    {
        PrintOutcome outcome;
        outcome.cancelled = cancelled;
        const bool finished = sink_.Finish(cancelled);
        outcome.sheets = sink_.Sheets();
        outcome.printed = finished && !sink_.Failed() && !cancelled && outcome.sheets > 0;
        return outcome;
    }

private:
    BusyCursor busy_;
    PrinterSink sink_;
    std::unique_ptr<TPrintProgress> progress_;
    bool cancelRequested_ = false;
};
} // namespace

PrintOutcome PrintReportOn(TReport& report, QPrinter& printer, int pageCount)
{
    if (!PrinterUsable(printer))
        return {};
    PrintJob job(report, printer, QSizeF(report.Page.pageWidth, report.Page.pageLength), pageCount);
    ReportRun run(report);
    job.onCancel = [&run] { run.Cancel(); };
    run.Execute(job.Sink());
    return job.Finish(run.Cancelled());
}

PrintOutcome PrintPagesOn(const ReportPages& pages, const TReport& report, QPrinter& printer)
{
    // The pages keep the paper they were made on, whichever way the report now lies.
    const QSizeF paper = pages.paperSize;
    printer.setPageOrientation(paper.width() > paper.height() ? QPageLayout::Landscape : QPageLayout::Portrait);
    if (!PrinterUsable(printer))
        return {};
    PrintJob job(report, printer, paper, int(pages.pages.size()));
    int number = 0;
    for (const ReportPage& page : pages.pages) {
        // As a run does between records, so that Cancel is heard.
        ProcessMessages();
        if (job.CancelRequested())
            break;
        job.Sink().PageDone(ReportPage(page), ++number);
    }
    return job.Finish(job.CancelRequested());
}

TPrintProgress::TPrintProgress(int sheets)
    : QWidget(nullptr, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("PrintProgress"));
    setWindowTitle(QStringLiteral("印刷中"));
    setWindowModality(Qt::ApplicationModal);
    auto* layout = new QVBoxLayout(this);
    bar_ = new QProgressBar(this);
    bar_->setRange(0, std::max(sheets, 0));
    bar_->setValue(0);
    bar_->setMinimumWidth(260);
    cancel_ = new QPushButton(QStringLiteral("キャンセル"), this);
    cancel_->setObjectName(QStringLiteral("CancelButton"));
    layout->addWidget(bar_);
    layout->addWidget(cancel_, 0, Qt::AlignHCenter);
    connect(cancel_, &QPushButton::clicked, this, &TPrintProgress::Cancelled);
    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
}

void TPrintProgress::SetSheetsSent(int sheets)
{
    if (bar_->maximum() > 0)
        bar_->setValue(std::min(sheets, bar_->maximum()));
}
