// Output as a person sees it: reports printed to PDF and read back with poppler's
// tools, pages kept in a file and drawn again pixel for pixel, and the page-file
// reader fed damaged files.
#include "iconlistreport.h"
#include "samplereport.h"

#include "pdftools.h"

#include "report/pagefile.h"
#include "report/printing.h"

#include <QApplication>
#include <QPrinter>
#include <QProgressBar>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

namespace {
// Page `page` of the PDF as pixels at the given resolution.
QImage Raster(const QString& pdf, int page, int dpi, const QString& folder)
{
    const QString stem = folder + QStringLiteral("/page%1-%2").arg(page).arg(dpi);
    RunTool(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-f"), QString::number(page),
                                         QStringLiteral("-l"), QString::number(page), QStringLiteral("-singlefile"),
                                         QStringLiteral("-png"), pdf, stem});
    return QImage(stem + QStringLiteral(".png")).convertToFormat(QImage::Format_RGB32);
}

constexpr double kPointsPerMm = 72 / 25.4;

// Page positions in millimetres, from the report's design.
constexpr double kHeaderTop = 10;
constexpr double kHeaderHeight = 40 * 0.26458333;
constexpr double kDetailHeight = 43 * 0.26458333;
constexpr double kFooterTop = 297 - 10 - kHeaderHeight;

QColor At(const QImage& image, double xMm, double yMm, int dpi)
{
    return image.pixelColor(int(xMm / 25.4 * dpi), int(yMm / 25.4 * dpi));
}

bool Dark(const QColor& c) { return c.red() < 140 && c.green() < 140 && c.blue() < 140; }
bool White(const QColor& c) { return c.red() > 235 && c.green() > 235 && c.blue() > 235; }

// True when some pixel of the column at xMm between the two heights is dark.
bool DarkBetween(const QImage& image, double xMm, double fromMm, double toMm, int dpi)
{
    const int x = int(xMm / 25.4 * dpi);
    for (int y = int(fromMm / 25.4 * dpi); y <= int(toMm / 25.4 * dpi); ++y)
        if (Dark(image.pixelColor(x, y)))
            return true;
    return false;
}

ReportPages PagesOf(TReport& report)
{
    ReportPages pages;
    pages.paperSize = QSizeF(report.Page.pageWidth, report.Page.pageLength);
    PageStoreSink sink(pages);
    ReportRun run(report);
    run.pumpMessages = nullptr;
    run.Execute(sink);
    return pages;
}

// The "印刷中" bar of the print during which the report's records are asked for: its
// maximum, and the last value it showed before the window went.
struct ProgressWatch {
    int maximum = -1;
    int last = -1;

    void Attach(TReport& report)
    {
        report.OnNeedData = [this, feed = report.OnNeedData](TReport& sender, bool& moreData) {
            feed(sender, moreData);
            if (maximum >= 0)
                return;
            for (QWidget* top : QApplication::topLevelWidgets())
                if (auto* progress = qobject_cast<TPrintProgress*>(top)) {
                    auto* bar = progress->findChild<QProgressBar*>();
                    maximum = bar->maximum();
                    last = bar->value();
                    QObject::connect(bar, &QProgressBar::valueChanged, [this](int value) { last = value; });
                }
        };
    }
};

bool SamePixels(const ReportPages& a, const ReportPages& b, double dpi)
{
    if (a.pages.size() != b.pages.size() || a.paperSize != b.paperSize)
        return false;
    for (std::size_t i = 0; i < a.pages.size(); ++i)
        if (RenderPage(a.pages[i], a.paperSize, dpi) != RenderPage(b.pages[i], b.paperSize, dpi))
            return false;
    return true;
}
} // namespace

class TestReportOutput : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(dir_.isValid()); }

    void printedPdf_data()
    {
        QTest::addColumn<int>("dpi");
        QTest::newRow("72 dpi") << 72;
        QTest::newRow("150 dpi") << 150;
    }

    void printedPdf()
    {
        QFETCH(int, dpi);
        // 30 rows: 22 on page 1, 8 on page 2; the last row holds 11 icons.
        IconListReport list(29 * 19 + 11);
        const QString pdf = dir_.filePath(QStringLiteral("list.pdf"));
        QPrinter printer(QPrinter::HighResolution);
        list.report.PrinterSettings.outputFileName = pdf;
        list.report.ShowProgress = false;
        SetUpPrinter(list.report, printer);
        const PrintOutcome outcome = PrintReportOn(list.report, printer, 0);
        QVERIFY(outcome.printed);
        QCOMPARE(outcome.sheets, 2);

        QCOMPARE(PdfInfo(pdf, QStringLiteral("Pages")), QStringLiteral("2"));
        QVERIFY2(PdfInfo(pdf, QStringLiteral("Page size")).startsWith(QStringLiteral("595 x 842 pts (A4)")),
                 qPrintable(PdfInfo(pdf, QStringLiteral("Page size"))));

        for (int page = 1; page <= 2; ++page) {
            const QImage image = Raster(pdf, page, dpi, dir_.path());
            QCOMPARE(image.width(), int(std::lround(210 / 25.4 * dpi)));
            // The header rule 9.53 mm below the header's top, the footer rule 1.06 mm
            // below the footer's; white paper just above and below both.
            const double headerRule = kHeaderTop + 36 * 0.26458333;
            const double footerRule = kFooterTop + 4 * 0.26458333;
            for (double x : {12.0, 100.0, 198.0}) {
                QVERIFY2(DarkBetween(image, x, headerRule - 0.3, headerRule + 0.6, dpi), qPrintable(QString::number(x)));
                QVERIFY2(DarkBetween(image, x, footerRule - 0.3, footerRule + 0.6, dpi), qPrintable(QString::number(x)));
                QVERIFY(White(At(image, x, headerRule - 1.2, dpi)));
                QVERIFY(White(At(image, x, footerRule + 1.5, dpi)));
            }
            // Past the rule's right end (189.71 mm from the margin) the paper is white.
            QVERIFY(!DarkBetween(image, 10 + 190.5, headerRule - 0.3, headerRule + 0.6, dpi));

            // Icon slot k of row r: 9 mm squares, blue top-left quarter over red.
            const double firstRowTop = kHeaderTop + kHeaderHeight + 4 * 0.26458333;
            const auto slotLeft = [](int k) { return 10 + (8 + 36 * (k - 1)) * 0.26458333; };
            const QColor blue = At(image, slotLeft(1) + 2.2, firstRowTop + 2.2, dpi);
            const QColor red = At(image, slotLeft(19) + 6.7, firstRowTop + 6.7, dpi);
            QVERIFY2(blue.blue() > 200 && blue.red() < 60, qPrintable(blue.name()));
            QVERIFY2(red.red() > 200 && red.blue() < 60, qPrintable(red.name()));
            // Between two slots (a 2-pixel gap) and right of the last one: white.
            QVERIFY(White(At(image, slotLeft(2) - 0.26, firstRowTop + 4.5, dpi)));
            QVERIFY(White(At(image, slotLeft(19) + 9.6, firstRowTop + 4.5, dpi)));
            if (page == 2) {
                // Row 8 of page 2 is the last: icons in slots 1 to 11, nothing in 12.
                const double lastRowTop = firstRowTop + 7 * kDetailHeight;
                QVERIFY(At(image, slotLeft(11) + 6.7, lastRowTop + 6.7, dpi).red() > 200);
                QVERIFY(White(At(image, slotLeft(12) + 6.7, lastRowTop + 6.7, dpi)));
                QVERIFY(White(At(image, slotLeft(1) + 4.5, lastRowTop + kDetailHeight + 4.5, dpi)));
            }
        }
    }

    void printedTexts()
    {
        IconListReport list(30 * 19);
        const QString pdf = dir_.filePath(QStringLiteral("texts.pdf"));
        QPrinter printer(QPrinter::HighResolution);
        list.report.PrinterSettings.outputFileName = pdf;
        list.report.ShowProgress = false;
        SetUpPrinter(list.report, printer);
        QVERIFY(PrintReportOn(list.report, printer, 0).printed);

        for (int page = 1; page <= 2; ++page) {
            const QList<PdfWord> words = PdfWords(pdf, page);
            QMap<QString, QRectF> boxes;
            for (const PdfWord& word : words)
                boxes[word.text] = word.box;
            const QString number = QStringLiteral("Page:%1").arg(page);
            QVERIFY2(boxes.contains(number), qPrintable(QStringList(boxes.keys()).join(QLatin1Char(' '))));
            QVERIFY(boxes.contains(QStringLiteral("/srv/icons")));
            QVERIFY(boxes.contains(QStringLiteral("Vistrel")));
            // Left edges where the controls are, tops within the text's line.
            const auto expectAt = [&](const QString& text, double leftMm, double topMm) {
                const QRectF box = boxes.value(text);
                QVERIFY2(std::abs(box.left() - leftMm * kPointsPerMm) < 1.5,
                         qPrintable(QStringLiteral("%1 left %2").arg(text).arg(box.left())));
                QVERIFY2(box.top() >= topMm * kPointsPerMm - 1.0 && box.bottom() <= (topMm + 5) * kPointsPerMm,
                         qPrintable(QStringLiteral("%1 top %2").arg(text).arg(box.top())));
            };
            expectAt(QStringLiteral("/srv/icons"), 10 + 5.29, kHeaderTop + 5.29);
            expectAt(number, 10 + 162.98, kHeaderTop + 5.29);
            expectAt(QStringLiteral("Vistrel"), 10 + 147.11, kFooterTop + 2.12);
        }
    }

    void printerChoices_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::addColumn<int>("copies");
        QTest::addColumn<bool>("landscape");
        QTest::addColumn<int>("pages");
        QTest::addColumn<QString>("size");

        const QString a4 = QStringLiteral("595 x 842 pts (A4)");
        const QString a4wide = QStringLiteral("842 x 595 pts (A4)");
        QTest::newRow("all pages") << 0 << 0 << 1 << false << 3 << a4;
        QTest::newRow("page 2 only") << 2 << 2 << 1 << false << 1 << a4;
        QTest::newRow("pages 2 to 3, twice") << 2 << 3 << 2 << false << 4 << a4;
        QTest::newRow("range past the end") << 3 << 9 << 1 << false << 1 << a4;
        QTest::newRow("from page 2 to the end") << 2 << 0 << 1 << false << 2 << a4;
        // Turned, a page holds 14 rows.
        QTest::newRow("landscape") << 0 << 0 << 1 << true << 4 << a4wide;
    }

    void printerChoices()
    {
        QFETCH(int, first);
        QFETCH(int, last);
        QFETCH(int, copies);
        QFETCH(bool, landscape);
        QFETCH(int, pages);
        QFETCH(QString, size);

        IconListReport list(50 * 19);
        if (landscape)
            list.report.Page.SetOrientation(QPageLayout::Landscape);
        // What the preview knows before printing: how many pages the report makes.
        const int made = int(PagesOf(list.report).pages.size());
        ProgressWatch progress;
        progress.Attach(list.report);
        const QString pdf = dir_.filePath(QStringLiteral("choice-%1.pdf").arg(QTest::currentDataTag()));
        list.report.PrinterSettings.outputFileName = pdf;
        list.report.PrinterSettings.firstPage = first;
        list.report.PrinterSettings.lastPage = last;
        list.report.PrinterSettings.copies = copies;
        QPrinter printer(QPrinter::HighResolution);
        SetUpPrinter(list.report, printer);
        const PrintOutcome outcome = PrintReportOn(list.report, printer, made);
        QVERIFY(outcome.printed);
        QCOMPARE(outcome.sheets, pages);
        QCOMPARE(PdfInfo(pdf, QStringLiteral("Pages")), QString::number(pages));
        // The bar runs from 0 to the sheets sent, copies made here included, and gets there.
        QCOMPARE(progress.maximum, pages);
        QCOMPARE(progress.last, pages);
        QVERIFY2(PdfInfo(pdf, QStringLiteral("Page size")).startsWith(size), qPrintable(PdfInfo(pdf, QStringLiteral("Page size"))));
    }

    void nothingPrintedWithoutAPrinter()
    {
        IconListReport list(19);
        list.report.PrinterSettings.printerName = QStringLiteral("no-such-printer");
        QPrinter printer(QPrinter::HighResolution);
        SetUpPrinter(list.report, printer);
        QVERIFY(!PrinterUsable(printer));
        int calls = 0;
        list.report.BeforePrint = [&calls](TReport&, bool&) { ++calls; };
        const PrintOutcome outcome = PrintReportOn(list.report, printer, 0);
        QVERIFY(!outcome.printed);
        QCOMPARE(outcome.sheets, 0);
        QCOMPARE(calls, 0);
    }

    void savedPagesDrawTheSame()
    {
        IconListReport list(25 * 19 + 3);
        // Every icon different, so a picture in the wrong slot would show.
        list.picture = [](int n) {
            QImage image(34, 34, QImage::Format_ARGB32);
            image.fill(QColor::fromHsv(n * 37 % 360, 200, 230, 128 + n % 128));
            return image;
        };
        auto& label = list.report.Bands()[0]->AddLabel(QRectF(1300, 50, 300, 40), QStringLiteral("日本語の見出し"));
        label.Alignment = taCenter;
        label.Transparent = true;
        const ReportPages pages = PagesOf(list.report);
        QCOMPARE(pages.pages.size(), std::size_t(2));

        const QString path = dir_.filePath(QStringLiteral("kept.vrp"));
        QString error;
        QVERIFY2(pagefile::Save(pages, path, &error), qPrintable(error));
        const auto loaded = pagefile::Load(path, &error);
        QVERIFY2(loaded, qPrintable(error));
        QVERIFY(SamePixels(pages, *loaded, 50));
        QVERIFY(SamePixels(pages, *loaded, 203));
        // And a check that the comparison can fail: page 2 is not page 1.
        ReportPages swapped = *loaded;
        std::swap(swapped.pages[0], swapped.pages[1]);
        QVERIFY(!SamePixels(pages, swapped, 50));

        // A file kept by an earlier build still loads: the icon list of three icons.
        const auto earlier = pagefile::Load(QStringLiteral(VISTREL_TEST_DATA "/iconlist.vrp"), &error);
        QVERIFY2(earlier, qPrintable(error));
        QCOMPARE(earlier->pages.size(), std::size_t(1));
        QCOMPARE(std::count_if(earlier->pages[0].items.begin(), earlier->pages[0].items.end(),
                               [](const PageItem& item) { return std::holds_alternative<ImageItem>(item); }),
                 3);
        QVERIFY(FindText(earlier->pages[0], QStringLiteral("/home/user/icons/samples")));

        const QString pdf = dir_.filePath(QStringLiteral("kept.pdf"));
        QVERIFY2(pagefile::SaveAsPdf(*loaded, pdf, QStringLiteral("アイコン一覧"), &error), qPrintable(error));
        QCOMPARE(PdfInfo(pdf, QStringLiteral("Pages")), QStringLiteral("2"));
        QCOMPARE(PdfInfo(pdf, QStringLiteral("Title")), QStringLiteral("アイコン一覧"));
        QVERIFY(PdfInfo(pdf, QStringLiteral("Page size")).startsWith(QStringLiteral("595 x 842 pts (A4)")));
    }

    void damagedFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message");

        const QByteArray good = pagefile::Serialize(SmallPages());
        const QString damaged = QStringLiteral("レポートファイルが壊れています。");
        const QString foreign = QStringLiteral("Vistrel のレポートファイルではありません。");
        QTest::newRow("empty") << QByteArray() << foreign;
        QTest::newRow("a PNG") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) << foreign;
        QTest::newRow("magic only") << good.left(8) << foreign;
        QByteArray later = good;
        later[8] = 2;
        QTest::newRow("later version") << later << QStringLiteral("このレポートファイルの版 (2) には対応していません。");
        QByteArray pages = good;
        qToLittleEndian<quint32>(0xFFFFFFFFu, pages.data() + 28);
        QTest::newRow("page count past the end") << pages << damaged;
        QByteArray items = good;
        qToLittleEndian<quint32>(0x7FFFFFFFu, items.data() + 32);
        QTest::newRow("item count past the end") << items << damaged;
        QByteArray kind = good;
        kind[36] = 9;
        QTest::newRow("unknown item kind") << kind << damaged;
        QByteArray paper = good;
        qToLittleEndian<double>(std::numeric_limits<double>::quiet_NaN(), paper.data() + 12);
        QTest::newRow("paper width not a number") << paper << damaged;
        QTest::newRow("trailing bytes") << good + QByteArray("x") << damaged;
        QTest::newRow("cut in the middle") << good.left(good.size() / 2) << damaged;
        QByteArray huge = good;
        const int ihdr = huge.indexOf("IHDR");
        QVERIFY(ihdr > 0);
        qToBigEndian<quint32>(100000u, huge.data() + ihdr + 4);
        QTest::newRow("picture claims to be huge") << huge << damaged;
    }

    void damagedFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        QString error;
        QVERIFY(!pagefile::Parse(bytes, &error));
        QCOMPARE(error, message);
    }

    void picturesHaveABudget()
    {
        // The largest real file: the icon list of 10 000 icons, on 24 pages.
        ReportPages list;
        list.pages.resize(24);
        for (int n = 0; n < 10000; ++n) {
            const QRectF slot(121.2 + 95.25 * (n % 19), 316.4, 90, 90);
            list.pages[std::size_t(n / 418)].items.emplace_back(ImageItem{slot, slot, IconListReport::Sample()});
        }
        const auto loaded = pagefile::Parse(pagefile::Serialize(list));
        QVERIFY(loaded);
        QCOMPARE(loaded->pages[23].items.size(), std::size_t(10000 % 418));

        // A small file of many large pictures that compress to almost nothing: the same
        // picture loads twice, but 17 of them would decode to 272 MB.
        ReportPages one;
        one.pages.resize(1);
        QImage blank(2048, 2048, QImage::Format_ARGB32);
        blank.fill(Qt::transparent);
        one.pages[0].items.emplace_back(ImageItem{QRectF(0, 0, 100, 100), QRectF(0, 0, 100, 100), blank});
        const QByteArray single = pagefile::Serialize(one);
        const auto repeated = [&single](quint32 count) {
            QByteArray bytes = single.left(36);
            qToLittleEndian<quint32>(count, bytes.data() + 32);
            for (quint32 i = 0; i < count; ++i)
                bytes += single.mid(36);
            return bytes;
        };
        QVERIFY(pagefile::Parse(repeated(2)));
        const QByteArray many = repeated(17);
        QVERIFY(many.size() < 1'000'000);
        QString error;
        QVERIFY(!pagefile::Parse(many, &error));
        QCOMPARE(error, QStringLiteral("レポートファイルが壊れています。"));
    }

    void everyCutAndRandomDamage()
    {
        // Every truncation is refused; random damage is refused or read as some pages,
        // never a crash or a read past the end (the sanitizer build checks the latter).
        const QByteArray good = pagefile::Serialize(SmallPages());
        QVERIFY(pagefile::Parse(good));
        for (qsizetype size = 0; size < good.size(); ++size)
            QVERIFY2(!pagefile::Parse(QByteArrayView(good.constData(), size)), qPrintable(QString::number(size)));
        QRandomGenerator random(20261207);
        int refused = 0;
        for (int round = 0; round < 3000; ++round) {
            QByteArray bytes = good;
            const int flips = 1 + random.bounded(4);
            for (int f = 0; f < flips; ++f)
                bytes[random.bounded(int(bytes.size()))] = char(random.bounded(256));
            QString error;
            const auto parsed = pagefile::Parse(bytes, &error);
            if (!parsed) {
                QVERIFY(!error.isEmpty());
                ++refused;
            } else {
                for (const ReportPage& page : parsed->pages)
                    RenderPage(page, parsed->paperSize, 10);
            }
        }
        QVERIFY(refused > 0);
    }

private:
    static ReportPages SmallPages()
    {
        IconListReport list(2);
        list.report.Bands()[2]->Enabled = false;
        return PagesOf(list.report);
    }

    QTemporaryDir dir_;
};

QTEST_MAIN(TestReportOutput)
#include "tst_reportoutput.moc"
