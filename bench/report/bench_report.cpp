// The icon list's size for 10 000 icons (527 rows, 24 pages): time to the first page
// on screen in the preview, to the end of the run, and to print it all to PDF.
//
//   QT_QPA_PLATFORM=offscreen bench_report [icon count]     timings
//   bench_report --show [icon count]                        the preview, left open
//   bench_report --png page.png [icon count]                page 1 at 150 dpi
//   bench_report --vrp pages.vrp [icon count]               the pages as レポートの保存 keeps them
#include "app/application.h"
#include "print/reportform.h"
#include "report/pagefile.h"
#include "report/pages.h"
#include "report/preview.h"
#include "report/printing.h"
#include "report/run.h"
#include "ui/dialogs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace {
// Icons that differ from one another, as 34 by 34 bitmaps like the program's own.
QStringList WriteIcons(const QString& folder, int count)
{
    QStringList files;
    for (int n = 1; n <= count; ++n) {
        QImage image(34, 34, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(QColor::fromHsv(n * 47 % 360, 180, 220));
        painter.setPen(QPen(QColor::fromHsv(n * 47 % 360, 255, 120), 2));
        if (n % 3 == 0)
            painter.drawEllipse(QRectF(4, 4, 26, 26));
        else if (n % 3 == 1)
            painter.drawRoundedRect(QRectF(4, 6, 26, 22), 5, 5);
        else
            painter.drawPolygon(QPolygonF({QPointF(17, 3), QPointF(31, 30), QPointF(3, 30)}));
        painter.end();
        const QString path = folder + QStringLiteral("/Temp%1.bmp").arg(n, 5, 10, QLatin1Char('0'));
        image.save(path, "BMP");
        files << path;
    }
    return files;
}
} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool show = args.removeAll(QStringLiteral("--show")) > 0;
    const auto option = [&args](const QString& name) {
        QString value;
        if (const qsizetype at = args.indexOf(name); at >= 0 && at + 1 < args.size()) {
            value = args[at + 1];
            args.remove(at, 2);
        }
        return value;
    };
    const QString png = option(QStringLiteral("--png"));
    const QString vrp = option(QStringLiteral("--vrp"));
    const int count = args.isEmpty() ? 10000 : args[0].toInt();

    QTemporaryDir dir;
    const QStringList files = WriteIcons(dir.path(), count);
    // The program's own icon list, fed from a browse state that names the bitmaps.
    InstallFontSubstitutes();
    const auto session = std::make_unique<BrowseState>();
    session->FolderPath = QStringLiteral("/home/user/icons/samples");
    session->IconCount = std::min(int(files.size()), kMaxIcons);
    for (int n = 1; n <= session->IconCount; ++n)
        session->TempBitmaps[n] = files[n - 1];
    TReportForm list(*session);
    TReport& report = list.IconReport;

    if (!png.isEmpty() || !vrp.isEmpty()) {
        ReportPages pages;
        pages.paperSize = QSizeF(report.Page.pageWidth, report.Page.pageLength);
        PageStoreSink sink(pages);
        ReportRun run(report);
        run.Execute(sink);
        if (!vrp.isEmpty())
            return pagefile::Save(pages, vrp) ? 0 : 1;
        return RenderPage(pages.pages.at(0), pages.paperSize, 150).save(png) ? 0 : 1;
    }
    if (show) {
        report.Preview();
        return 0;
    }

    QElapsedTimer clock;
    double firstPage = -1, wholeRun = -1;
    int pageCount = 0;
    ReportPages kept;
    // The preview is reached as tests reach it: through the dialogs' seam.
    struct PreviewShown final : Dialogs {
        std::function<void(TPreviewForm&)> shown;
        void WindowShown(QWidget& window) override { shown(static_cast<TPreviewForm&>(window)); }
    } seam;
    InstallDialogs(&seam);
    seam.shown = [&](TPreviewForm& form) {
        QObject::connect(&form, &TPreviewForm::PageShown, &form, [&] {
            if (firstPage < 0) {
                form.repaint();
                firstPage = clock.nsecsElapsed() / 1e9;
            }
        });
        QObject::connect(&form, &TPreviewForm::RunFinished, &form, [&] {
            wholeRun = clock.nsecsElapsed() / 1e9;
            pageCount = form.PageCount();
            kept = form.Pages();
            QTimer::singleShot(0, &form, &QWidget::close);
        });
    };
    clock.start();
    report.Preview();
    InstallDialogs(nullptr);
    std::printf("icons %d, pages %d\n", count, pageCount);
    std::printf("preview: first page shown %.3f s (target 0.2), whole run %.3f s (target 1)\n", firstPage, wholeRun);

    const QString pdf = dir.filePath(QStringLiteral("list.pdf"));
    report.PrinterSettings.outputFileName = pdf;
    QPrinter printer(QPrinter::HighResolution);
    SetUpPrinter(report, printer);
    clock.restart();
    const PrintOutcome outcome = PrintReportOn(report, printer, pageCount);
    const double printed = clock.nsecsElapsed() / 1e9;
    std::printf("print to PDF: %.3f s (target 2), %d pages, %.1f MB\n", printed, outcome.sheets,
                QFileInfo(pdf).size() / 1e6);

    const QString file = dir.filePath(QStringLiteral("list.vrp"));
    clock.restart();
    const bool saved = pagefile::Save(kept, file);
    const double saving = clock.nsecsElapsed() / 1e9;
    clock.restart();
    const bool loaded = pagefile::Load(file).has_value();
    const double loading = clock.nsecsElapsed() / 1e9;
    std::printf("page file: saved %.3f s, loaded %.3f s, %.1f MB\n", saving, loading, QFileInfo(file).size() / 1e6);
    return outcome.printed && saved && loaded ? 0 : 1;
}
