// The icon list: rows of 19 icons fed from the browse state, laid out on A4 pages, the
// header readable when printed, and the main window disabled while the preview is open.
#include "pdftools.h"

#include "app/application.h"
#include "app/mainform.h"
#include "platform/programfolder.h"
#include "print/reportform.h"
#include "report/preview.h"
#include "report/printing.h"
#include "report/run.h"

#include <QFontMetricsF>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <clocale>

namespace {

// Icon n's bitmap: 34 x 34, every pixel tells n.
QImage IconBitmap(int n)
{
    QImage image(34, 34, QImage::Format_RGB32);
    image.fill(qRgb(n % 256, n / 256, 77));
    return image;
}

struct Layout {
    int pages = 0;
    std::vector<std::vector<ImageItem>> images; // per page
    std::vector<QStringList> texts;             // per page
};

Layout Run(TReportForm& form)
{
    ReportPages pages;
    PageStoreSink sink(pages);
    ReportRun run(form.IconReport);
    Layout layout;
    layout.pages = run.Execute(sink);
    for (const ReportPage& page : pages.pages) {
        layout.images.emplace_back();
        layout.texts.emplace_back();
        for (const PageItem& item : page.items) {
            if (const auto* image = std::get_if<ImageItem>(&item))
                layout.images.back().push_back(*image);
            if (const auto* text = std::get_if<TextItem>(&item))
                layout.texts.back() << text->text;
        }
    }
    return layout;
}

int IconOf(const ImageItem& item)
{
    const QRgb pixel = item.image.pixel(0, 0);
    return qRed(pixel) + 256 * qGreen(pixel);
}

} // namespace

class TestIconReport : public QObject {
    Q_OBJECT

    QTemporaryDir bitmaps_;
    BrowseState session_;

private slots:
    void initTestCase()
    {
        InstallFontSubstitutes();
        for (int n = 1; n <= 420; ++n) {
            session_.TempBitmaps[n] = bitmaps_.filePath(QStringLiteral("Temp%1.bmp").arg(n, 5, 10, QLatin1Char('0')));
            QVERIFY(IconBitmap(n).save(session_.TempBitmaps[n], "BMP"));
        }
        session_.FolderPath = QStringLiteral("/srv/アイコン");
    }

    void definition()
    {
        TReportForm form(session_);
        const TReport& report = form.IconReport;
        QCOMPARE(report.Page.pageLength, 2970.0);
        QCOMPARE(report.Page.pageWidth, 2100.0);
        QCOMPARE(report.Page.topMargin + report.Page.bottomMargin + report.Page.leftMargin + report.Page.rightMargin, 400.0);
        QCOMPARE(report.Page.orientation, QPageLayout::Portrait);
        QVERIFY(report.Options.FirstPageHeader && report.Options.LastPageFooter);
        QCOMPARE(report.Bands().size(), size_t(3));
        QCOMPARE(form.RepBand1->Height, 113.8);
        QCOMPARE(form.RepImages[18]->Bounds, QRectF(21.2 + 95.25 * 18, 10.6, 90, 90));
        QCOMPARE(form.RepLabel3->Caption, QStringLiteral("Vistrel for Windoes98"));
        QCOMPARE(form.RepLabel2->Caption, QStringLiteral("Page:"));
        QCOMPARE(form.RepLabel1->FontSize, 9.0);
        QVERIFY(form.isHidden());
    }

    void rowsAndPages_data()
    {
        QTest::addColumn<int>("icons");
        QTest::addColumn<QList<int>>("iconsPerPage");
        QTest::newRow("none: no page at all") << 0 << QList<int>{};
        QTest::newRow("one") << 1 << QList<int>{1};
        QTest::newRow("one full row") << 19 << QList<int>{19};
        QTest::newRow("a second row of one") << 20 << QList<int>{20};
        QTest::newRow("one full page of 22 rows") << 418 << QList<int>{418};
        QTest::newRow("a second page with one icon") << 419 << QList<int>{418, 1};
    }

    void rowsAndPages()
    {
        QFETCH(int, icons);
        QFETCH(QList<int>, iconsPerPage);
        BrowseState session = session_;
        session.IconCount = icons;
        TReportForm form(session);
        const Layout layout = Run(form);
        QCOMPARE(layout.pages, iconsPerPage.size());
        int icon = 0;
        for (int page = 0; page < layout.pages; ++page) {
            QCOMPARE(int(layout.images[page].size()), iconsPerPage[page]);
            for (const ImageItem& image : layout.images[page]) {
                ++icon;
                QCOMPARE(IconOf(image), icon);
                const int slot = (icon - 1) % 19;
                const int row = ((icon - 1) % 418) / 19;
                // Margin, slot, and for the row: margin, header, rows above, the slot's top.
                QCOMPARE(image.clip, QRectF(100 + 21.2 + 95.25 * slot, 100 + 105.8 + 113.8 * row + 10.6, 90, 90));
            }
            // Header and footer on every page: folder, date, "Page:", number, footer text.
            QVERIFY(layout.texts[page].contains(session.FolderPath));
            QVERIFY(layout.texts[page].contains("Page:"));
            QVERIFY(layout.texts[page].contains(QString::number(page + 1)));
            QVERIFY(layout.texts[page].contains("Vistrel for Windoes98"));
        }
    }

    void everyRunStartsAtTheFirstIcon()
    {
        BrowseState session = session_;
        session.IconCount = 40;
        TReportForm form(session);
        const Layout first = Run(form);
        const Layout second = Run(form);
        QCOMPARE(form.ReportPosition, 57); // three rows handed out
        QCOMPARE(second.images[0].size(), first.images[0].size());
        QCOMPARE(IconOf(second.images[0].front()), 1);
        // The header follows the folder as it is when a run starts, empty after a cancelled Open.
        session.FolderPath.clear();
        const Layout third = Run(form);
        QVERIFY(!third.texts[0].contains(session_.FolderPath));
    }

    void headerDateAndTimeEndBeforePage()
    {
        QVERIFY2(QByteArray(std::setlocale(LC_TIME, nullptr)).startsWith("ja_JP"),
                 "the C library has no ja_JP.UTF-8: tools/vistrel test generates it");
        BrowseState session = session_;
        session.IconCount = 1;
        TReportForm form(session);
        TReport& report = form.IconReport;
        // Every digit of the font is as wide as the others, so the longest text, with a
        // two-digit hour, is the widest.
        const QFontMetricsF metrics(report.Font);
        for (QChar digit : QStringLiteral("123456789"))
            QCOMPARE(metrics.horizontalAdvance(digit), metrics.horizontalAdvance(QLatin1Char('0')));
        report.Clock = [] { return QDateTime(QDate(2026, 12, 28), QTime(23, 58, 58)); };
        QTemporaryDir out;
        const QString pdf = out.filePath(QStringLiteral("header.pdf"));
        report.PrinterSettings.outputFileName = pdf;
        report.ShowProgress = false;
        QPrinter printer(QPrinter::HighResolution);
        SetUpPrinter(report, printer);
        QVERIFY(PrintReportOn(report, printer, 1).printed);

        QRectF date, time, page;
        for (const PdfWord& word : PdfWords(pdf, 1)) {
            // Text that runs into "Page:" comes back as one word with it.
            if (word.text == QStringLiteral("2026/12/28"))
                date = word.box;
            if (word.text.startsWith(QStringLiteral("23:58:58")))
                time = word.box;
            if (word.text.contains(QStringLiteral("Page:")))
                page = word.box;
        }
        QVERIFY2(!date.isNull() && !time.isNull() && !page.isNull(), qPrintable(PdfTexts(PdfWords(pdf, 1)).join(' ')));
        // The date where its control is, 130.18 mm into the band; the time ends before "Page:".
        constexpr double kPointsPerMm = 72 / 25.4;
        QVERIFY2(std::abs(date.left() - (10 + 130.18) * kPointsPerMm) < 1.5, qPrintable(QString::number(date.left())));
        QVERIFY2(time.right() < page.left(), qPrintable(QStringLiteral("%1 past %2").arg(time.right()).arg(page.left())));
    }

    void aMissingBitmapLeavesItsSlotBlank()
    {
        QTemporaryDir dir;
        BrowseState session;
        session.IconCount = 3;
        for (int n = 1; n <= 3; ++n) {
            session.TempBitmaps[n] = dir.filePath(QString::number(n) + ".bmp");
            IconBitmap(n).save(session.TempBitmaps[n], "BMP");
        }
        QFile::remove(session.TempBitmaps[2]);
        TReportForm form(session);
        const Layout layout = Run(form);
        QCOMPARE(layout.images[0].size(), size_t(2));
        QCOMPARE(IconOf(layout.images[0][1]), 3);
        QCOMPARE(layout.images[0][1].clip.left(), 100 + 21.2 + 95.25 * 2);
    }

    void theMainWindowIsDisabledWhileThePreviewIsOpen()
    {
        QTemporaryDir programFolder;
        SetProgramFolder(programFolder.path());
        VistrelApplication application;
        TMainForm& form = *application.MainForm();
        form.BrowseSession.IconCount = 20;
        for (int n = 1; n <= 20; ++n)
            form.BrowseSession.TempBitmaps[n] = session_.TempBitmaps[n];
        form.show();
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));

        bool disabledMeanwhile = false;
        bool ownedByTheWindow = false;
        bool closeRefused = false;
        bool previewActive = false;
        int previewPages = 0;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            for (QWidget* window : QApplication::topLevelWidgets()) {
                auto* preview = qobject_cast<TPreviewForm*>(window);
                if (preview && preview->isVisible() && !preview->Running()) {
                    disabledMeanwhile = !form.isEnabled();
                    previewActive = QApplication::activeWindow() == preview;
                    previewPages = preview->PageCount();
                    ownedByTheWindow = preview->windowHandle()->transientParent() == form.windowHandle();
                    // The disabled window's close button does nothing, now or later.
                    closeRefused = !form.close();
                    preview->close();
                }
            }
        });
        poll.start(20);
        form.Print1->setEnabled(true);
        form.Print1->trigger(); // returns when the preview has closed
        poll.stop();
        QVERIFY(disabledMeanwhile);
        QCOMPARE(previewPages, 1);
        QVERIFY(ownedByTheWindow);
        QVERIFY(closeRefused);
        QVERIFY(form.isEnabled());
        QVERIFY(form.isVisible());
        // The keys go to the preview while it is open, and back to the window after.
        QVERIFY(previewActive);
        QVERIFY(QTest::qWaitForWindowActive(&form));
        SetProgramFolder(QString());
    }
};

QTEST_MAIN(TestIconReport)
#include "tst_iconreport.moc"
