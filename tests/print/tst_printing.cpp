// The icon list printed as a person would: from the preview through the print server's
// default printer, and straight into a PDF file; the pages checked with poppler's tools.
// Printer set-up against the same print server: what the sheet confirms is kept as the
// user's CUPS defaults and printed with.
#include "app/application.h"
#include "app/mainform.h"
#include "englishtexts.h"
#include "platform/printersheet.h"
#include "platform/programfolder.h"
#include "print/reportform.h"
#include "recordingdialogs.h"
#include "report/preview.h"
#include "report/printing.h"
#include "skipunlessci.h"

#include <QDir>
#include <QElapsedTimer>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QPrintDialog>
#include <QPushButton>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

// Set by the test script once its print server runs; the tests need it.
const QString kPrintOutput = qEnvironmentVariable("VISTREL_PRINT_OUTPUT");

QColor IconColour(int n)
{
    return QColor((n * 37) % 256, (n * 91) % 256, (n * 53) % 256);
}

QString Run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

// A finished PDF appeared in folder that was not among before; pattern narrows it down
// to one job's title.
QString WaitForNewPdf(const QString& folder, const QStringList& before, const QString& pattern = "*.pdf")
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 90000) {
        for (const QString& name : QDir(folder).entryList({pattern}, QDir::Files)) {
            const QString path = folder + "/" + name;
            // The file stays empty while the job runs; pdfinfo reads it once it is whole.
            if (!before.contains(name) && QFileInfo(path).size() > 0 && Run("pdfinfo", {path}).contains("Pages:"))
                return path;
        }
        QTest::qWait(200);
    }
    return QString();
}

bool Near(QColor a, QColor b)
{
    return std::abs(a.red() - b.red()) <= 12 && std::abs(a.green() - b.green()) <= 12
        && std::abs(a.blue() - b.blue()) <= 12;
}

// Page 1 of the icon list as a person would check it on paper: the rule under the header,
// each icon 9 mm square at its slot, and the texts where they belong.
void CheckFirstPage(const QString& pdf, int icons, bool throughPrintServer = false)
{
    const QString info = Run("pdfinfo", {pdf});
    QVERIFY2(info.contains(QRegularExpression("Pages:\\s+2\\b")), qPrintable(info));
    // The job's name. The print server's PDF printer writes it again itself, and how it
    // encodes the Japanese part depends on the locale it was started in.
    QVERIFY2(info.contains(QRegularExpression(throughPrintServer ? "Title:\\s+\\(?Vistrel " : "Title:\\s+Vistrel アイコン一覧")),
             qPrintable(info));
    QVERIFY2(info.contains(QRegularExpression("Page size:\\s+595(\\.\\d+)? x 84[12](\\.\\d+)? pts \\(A4\\)")), qPrintable(info));

    const double dpi = 150;
    QTemporaryDir out;
    Run("pdftoppm", {"-r", QString::number(dpi), "-f", "1", "-l", "1", "-png", pdf, out.filePath("page")});
    const QImage page(out.filePath("page-1.png"));
    QVERIFY(!page.isNull());
    const auto px = [dpi](double mm) { return int(std::lround(mm / 25.4 * dpi)); };
    const auto dark = [&](double xmm, double ymm) { return qGray(page.pixel(px(xmm), px(ymm))) < 128; };
    // A rule a quarter of a millimetre thick lies within half a millimetre of where it belongs.
    const auto ruleAt = [&](double xmm, double ymm) {
        for (double y = ymm - 0.5; y <= ymm + 0.5; y += 0.05)
            if (dark(xmm, y))
                return true;
        return false;
    };

    // The rule 9.53 mm below the header's top, across the band, and nothing above it.
    for (double x : {12.0, 100.0, 198.0})
        QVERIFY2(ruleAt(x, 10 + 9.53), qPrintable(QString::number(x)));
    QVERIFY(!ruleAt(100, 10 + 8.5));
    // The rule over the footer.
    const double footerTop = 297 - 10 - 10.58;
    QVERIFY(ruleAt(100, footerTop + 1.06));
    QVERIFY(!ruleAt(100, footerTop + 2.5));

    // Icons: row r, slot k, 9 mm square; sampled in their middle and beside them.
    for (int n : {1, 2, 19, 20, 200, 418}) {
        if (n > icons)
            continue;
        const int slot = (n - 1) % 19;
        const int row = (n - 1) / 19;
        const double left = 10 + 2.12 + 9.525 * slot;
        const double top = 10 + 10.58 + 1.06 + 11.38 * row;
        const QColor centre = page.pixelColor(px(left + 4.5), px(top + 4.5));
        QVERIFY2(Near(centre, IconColour(n)), qPrintable(QStringLiteral("icon %1: %2").arg(n).arg(centre.name())));
        QVERIFY(Near(page.pixelColor(px(left + 0.4), px(top + 8.6)), IconColour(n)));
        const QColor gap = page.pixelColor(px(left + 9.26), px(top + 4.5)); // the half-millimetre gap to the next slot
        QVERIFY2(std::min({gap.red(), gap.green(), gap.blue()}) > 215, qPrintable(gap.name()));
    }

    // Header texts (folder, date and time, "Page:", the number) and the footer's name.
    const auto inkIn = [&](double left, double top, double width, double height) {
        for (int y = px(top); y < px(top + height); ++y)
            for (int x = px(left); x < px(left + width); ++x)
                if (qGray(page.pixel(x, y)) < 100)
                    return true;
        return false;
    };
    QVERIFY(inkIn(10 + 5.29, 10 + 5.29, 12, 3.44));     // the folder
    QVERIFY(inkIn(10 + 130.18, 10 + 5.29, 16, 3.44));   // date and time
    QVERIFY(inkIn(10 + 162.98, 10 + 5.29, 7, 3.44));    // "Page:"
    QVERIFY(inkIn(10 + 171.45, 10 + 5.29, 5, 3.44));    // "1"
    QVERIFY(inkIn(10 + 147.11, footerTop + 2.12, 30, 3.44)); // "Vistrel for Windoes98"
    QVERIFY(!inkIn(10 + 60, 10 + 5.29, 50, 3.44));      // nothing between folder and date
}

// The user's own printer defaults, where CUPS keeps them for root as for anyone: cleared
// for the test and put back as they were at its end, so no other test prints with them.
class KeptUserDefaults {
public:
    KeptUserDefaults()
    {
        folderExisted_ = QFileInfo::exists(QFileInfo(path_).path());
        QFile file(path_);
        existed_ = file.open(QIODevice::ReadOnly);
        bytes_ = file.readAll();
        QFile::remove(path_);
    }
    ~KeptUserDefaults()
    {
        QFile::remove(path_);
        QFile file(path_);
        if (existed_ && file.open(QIODevice::WriteOnly))
            file.write(bytes_);
        if (!folderExisted_)
            QDir().rmdir(QFileInfo(path_).path());
    }

private:
    const QString path_ = QDir::homePath() + "/.cups/lpoptions";
    bool folderExisted_ = false;
    bool existed_ = false;
    QByteArray bytes_;
};

// Answers the printer's property sheet through the dialogs seam: notes the title and the
// choice each setting shows, makes the choices asked for and presses OK or Cancel.
struct SheetAnswer {
    QMap<QString, QByteArray> choose;
    bool confirm = true;
    QString title;
    QMap<QString, QByteArray> shown;

    void operator()(QWidget* sheet)
    {
        title = sheet->windowTitle();
        for (QComboBox* box : sheet->findChildren<QComboBox*>()) {
            shown[box->objectName()] = box->currentData().toByteArray();
            if (choose.contains(box->objectName()))
                box->setCurrentIndex(box->findData(choose[box->objectName()]));
        }
        sheet->findChild<QDialogButtonBox*>()->button(confirm ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
    }
};

} // namespace

class TestPrinting : public QObject {
    Q_OBJECT

    QTemporaryDir programFolder_;
    QTemporaryDir bitmaps_;

    void Prepare(TMainForm& form, int icons)
    {
        form.BrowseSession.FolderPath = QStringLiteral("/srv/icons");
        form.BrowseSession.IconCount = icons;
        for (int n = 1; n <= icons; ++n) {
            const QString path = bitmaps_.filePath(QStringLiteral("Temp%1.bmp").arg(n, 5, 10, QLatin1Char('0')));
            if (!QFile::exists(path)) {
                QImage image(34, 34, QImage::Format_RGB32);
                image.fill(IconColour(n));
                QVERIFY(image.save(path, "BMP"));
            }
            form.BrowseSession.TempBitmaps[n] = path;
        }
    }

private slots:
    void initTestCase()
    {
        if (kPrintOutput.isEmpty())
            VISTREL_SKIP("No print server: run the tests through tools/vistrel test, which starts one");
        InstallFontSubstitutes();
        SetProgramFolder(programFolder_.path());
    }

    void printedFromThePreviewThroughThePrintServer()
    {
        VistrelApplication application;
        TMainForm& form = *application.MainForm();
        Prepare(form, 420);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const QStringList before = QDir(kPrintOutput).entryList({"*.pdf"}, QDir::Files);
        // A message box would wait for a click that never comes: it is recorded instead.
        RecordingDialogs dialogs;

        bool printed = false;
        int pages = 0;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            for (QWidget* window : QApplication::topLevelWidgets()) {
                auto* preview = qobject_cast<TPreviewForm*>(window);
                if (!preview || !preview->isVisible() || preview->Running())
                    continue;
                poll.stop();
                pages = preview->PageCount();
                preview->findChild<QAction*>("Print")->trigger(); // prints, then returns
                printed = true;
                preview->close();
            }
        });
        poll.start(50);
        // A preview that never finishes its run must fail the test, not hang it.
        QTimer deadline;
        deadline.setSingleShot(true);
        QObject::connect(&deadline, &QTimer::timeout, [&] {
            for (QWidget* window : QApplication::topLevelWidgets())
                if (qobject_cast<TPreviewForm*>(window))
                    window->close();
        });
        deadline.start(120000);
        form.Print1->setEnabled(true);
        form.Print1->trigger();
        QVERIFY2(dialogs.shown.isEmpty(), qPrintable(dialogs.shown.join('\n')));
        QVERIFY(printed);
        QCOMPARE(pages, 2);

        const QString pdf = WaitForNewPdf(kPrintOutput, before);
        QVERIFY2(!pdf.isEmpty(), "the print server wrote no PDF");
        CheckFirstPage(pdf, 420, true);
    }

    void printedStraightToAPdfFile()
    {
        QTemporaryDir out;
        VistrelApplication application;
        Prepare(*application.MainForm(), 420);
        TReport& report = application.ReportForm()->IconReport;
        report.PrinterSettings.outputFileName = out.filePath("icons.pdf");
        // A file there is replaced whole, by a rename, keeping its permissions: whoever
        // reads the old one reads it to its end.
        QFile old(out.filePath("icons.pdf"));
        QVERIFY(old.open(QIODevice::ReadWrite) && old.write("old") == 3 && old.flush() && old.seek(0));
        const QFile::Permissions mode = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther;
        QVERIFY(old.setPermissions(mode));
        QPrinter printer(QPrinter::HighResolution);
        SetUpPrinter(report, printer);
        QVERIFY(PrintReportOn(report, printer, 2).printed);
        CheckFirstPage(out.filePath("icons.pdf"), 420);
        QCOMPARE(old.readAll(), "old");
        QCOMPARE(QFile::permissions(out.filePath("icons.pdf")) & ~QFile::Permissions(0x0F00), mode); // but the User bits
        QCOMPARE(QDir(out.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"icons.pdf"});
        QCOMPARE(printer.outputFileName(), out.filePath("icons.pdf"));
    }

    void printerSetupKeepsTheUserDefaults()
    {
        const QString queue = qEnvironmentVariable("PRINTER");
        KeptUserDefaults kept;
        RecordingDialogs dialogs;
        const auto userDefaults = [&] { return Run("lpoptions", {"-p", queue}).split(' '); };

        // The default printer's sheet shows the driver's settings as the driver sets them;
        // the confirmed choices become the user's defaults, for lpoptions as for anyone.
        SheetAnswer first;
        first.choose = {{"PDFVer", "1.4"}, {"LogType", "3"}, {"PageSize", "Letter"}};
        dialogs.onModal = std::ref(first);
        {
            TMainForm form;
            form.PrintSetup1->trigger();
        }
        QCOMPARE(first.title, queue + " のプロパティ");
        QCOMPARE(first.shown.value("PDFVer"), "1.2");
        QCOMPARE(first.shown.value("Resolution"), "300dpi");
        QVERIFY(dialogs.shown.isEmpty());
        for (const char* option : {"PDFVer=1.4", "LogType=3", "PageSize=Letter"})
            QVERIFY2(userDefaults().contains(option), option);
        QVERIFY(!userDefaults().contains("Resolution=300dpi")); // unchanged settings stay the driver's

        // A new main window shows them again; Cancel keeps them as they are.
        SheetAnswer again;
        again.choose = {{"PDFVer", "1.5"}};
        again.confirm = false;
        dialogs.onModal = std::ref(again);
        {
            TMainForm form;
            form.PrintSetup1->trigger();
        }
        QCOMPARE(again.shown.value("PDFVer"), "1.4");
        QCOMPARE(again.shown.value("PageSize"), "Letter");
        QVERIFY(userDefaults().contains("PDFVer=1.4"));

        // The icon list prints with them where the report leaves the choice open (the PDF
        // version the queue writes), and on A4 although the user's paper is Letter.
        VistrelApplication application;
        Prepare(*application.MainForm(), 20);
        TReport& report = application.ReportForm()->IconReport;
        QPrinter printer(QPrinter::HighResolution);
        SetUpPrinter(report, printer);
        const QString title = QStringLiteral("defaults-%1").arg(QCoreApplication::applicationPid());
        printer.setDocName(title);
        const QStringList before = QDir(kPrintOutput).entryList({"*.pdf"}, QDir::Files);
        QVERIFY(PrintReportOn(report, printer, 1).printed);
        const QString pdf = WaitForNewPdf(kPrintOutput, before, "*" + title + "*.pdf");
        QVERIFY2(!pdf.isEmpty(), "the print server wrote no PDF");
        const QString info = Run("pdfinfo", {pdf});
        QVERIFY2(info.contains(QRegularExpression("PDF version:\\s+1\\.4\\b")), qPrintable(info));
        QVERIFY2(info.contains(QRegularExpression("Page size:\\s+595(\\.\\d+)? x 84[12](\\.\\d+)? pts \\(A4\\)")), qPrintable(info));
    }

    // A driver's default that is none of its listed choices is not saved unasked.
    void printerSheetSavesOnlyChoicesMade()
    {
        PrinterProperties printer{QStringLiteral("Queue"), {}};
        printer.options.push_back({"Resolution", "解像度", "一般", {{"300dpi", "300 dpi"}, {"600dpi", "600 dpi"}}, "150dpi"});
        printer.options.push_back({"Duplex", "両面", "一般", {{"None", "片面"}, {"DuplexNoTumble", "長辺"}}, "None"});
        TPrinterSheet sheet(printer, nullptr);
        QVERIFY(sheet.Changes().empty());
        sheet.findChild<QComboBox*>("Duplex")->setCurrentIndex(1);
        sheet.findChild<QComboBox*>("Resolution")->setCurrentIndex(1);
        using Changes = std::vector<std::pair<QByteArray, QByteArray>>;
        QCOMPARE(sheet.Changes(), (Changes{{"Resolution", "600dpi"}, {"Duplex", "DuplexNoTumble"}}));
    }

    // The print dialog's printer properties for a CUPS queue, Qt's own texts in Japanese.
    void printerPropertiesInJapanese()
    {
        VistrelApplication application;
        QPrinter printer(QPrinter::HighResolution);
        printer.setPrinterName(qEnvironmentVariable("PRINTER"));
        QPrintDialog print(&printer, application.MainForm());
        print.show();
        QVERIFY(QTest::qWaitForWindowExposed(&print));
        QStringList tabs;
        QTimer::singleShot(0, &print, [&] {
            QWidget* sheet = QApplication::activeModalWidget();
            QVERIFY(sheet);
            for (const QTabWidget* pages : sheet->findChildren<QTabWidget*>())
                for (int tab = 0; tab < pages->count(); ++tab)
                    tabs << pages->tabText(tab);
            sheet->close();
        });
        print.findChild<QAbstractButton*>("properties")->click();
        QCOMPARE(tabs, (QStringList{"ページ", "ジョブオプション", "詳細設定"}));
    }
};

QTEST_MAIN(TestPrinting)
#include "tst_printing.moc"
