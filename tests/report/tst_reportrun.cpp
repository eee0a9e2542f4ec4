// The layout run on its own: where pages break, which pages carry header and footer,
// what the callbacks are asked, and what system data and images turn into.
#include "samplereport.h"

#include <QTest>
#include <QWidget>

namespace {
struct PageShape {
    bool header;
    int details;
    bool footer;
};

QList<PageShape> ShapeOf(const CollectingSink& sink)
{
    QList<PageShape> shapes;
    for (const ReportPage& page : sink.pages) {
        const QStringList captions = Captions(page);
        PageShape shape{captions.contains(QStringLiteral("H")), 0, captions.contains(QStringLiteral("F"))};
        for (const QString& caption : captions)
            if (caption.startsWith(QLatin1Char('D')))
                ++shape.details;
        shapes << shape;
    }
    return shapes;
}

constexpr double px = units::kTenthsPerDesignPixel;
} // namespace

Q_DECLARE_METATYPE(QList<int>)

class TestReportRun : public QObject {
    Q_OBJECT

private slots:
    void pageBreaks_data()
    {
        QTest::addColumn<double>("header");
        QTest::addColumn<double>("detail");
        QTest::addColumn<double>("footer");
        QTest::addColumn<int>("records");
        QTest::addColumn<QList<int>>("detailsPerPage");

        // The icon list: 40, 43 and 40 design pixels; 22 rows fill a page.
        QTest::newRow("icon list, one full page") << 40 * px << 43 * px << 40 * px << 22 << QList<int>{22};
        QTest::newRow("icon list, one row over") << 40 * px << 43 * px << 40 * px << 23 << QList<int>{22, 1};
        QTest::newRow("icon list, 10000 icons") << 40 * px << 43 * px << 40 * px << 527 << (QList<int>(23, 22) << 21);
        // 2770 tenths between the margins: ten bands of 277 fill it exactly.
        QTest::newRow("exact fit") << 0.0 << 277.0 << 0.0 << 10 << QList<int>{10};
        QTest::newRow("exact fit plus one") << 0.0 << 277.0 << 0.0 << 11 << QList<int>{10, 1};
        QTest::newRow("footer space reserved") << 0.0 << 277.0 << 1.0 << 10 << QList<int>{9, 1};
        QTest::newRow("header takes room") << 277.0 << 277.0 << 0.0 << 19 << QList<int>{9, 9, 1};
        QTest::newRow("single record") << 100.0 << 100.0 << 100.0 << 1 << QList<int>{1};
        // Taller than an empty page: it never forces a new page, it overflows this one.
        QTest::newRow("band taller than a page") << 100.0 << 2771.0 << 100.0 << 3 << QList<int>{3};
        // As tall as an empty page: one per page, spilling over the footer.
        QTest::newRow("band as tall as a page") << 100.0 << 2770.0 << 100.0 << 3 << QList<int>{1, 1, 1};
        QTest::newRow("zero records") << 100.0 << 100.0 << 100.0 << 0 << QList<int>{};
    }

    void pageBreaks()
    {
        QFETCH(double, header);
        QFETCH(double, detail);
        QFETCH(double, footer);
        QFETCH(int, records);
        QFETCH(QList<int>, detailsPerPage);

        BandedReport banded(header, detail, footer, records);
        const CollectingSink sink = banded.Run();
        QList<int> counted;
        for (const PageShape& shape : ShapeOf(sink))
            counted << shape.details;
        QCOMPARE(counted, detailsPerPage);
        QCOMPARE(banded.feed.calls, records + 1);

        // Pages are numbered 1, 2, ... and records keep their order across breaks.
        int expected = 0;
        for (std::size_t p = 0; p < sink.pages.size(); ++p) {
            QCOMPARE(sink.numbers[p], int(p) + 1);
            double lastTop = -1;
            for (const TextItem* text : TextsOf(sink.pages[p])) {
                if (!text->text.startsWith(QLatin1Char('D')))
                    continue;
                QCOMPARE(text->text, QStringLiteral("D%1").arg(++expected));
                QVERIFY(text->rect.top() > lastTop);
                lastTop = text->rect.top();
            }
        }
        QCOMPARE(expected, records);
    }

    void bandPositions()
    {
        // Header at the top margin, details under it, footer above the bottom margin.
        BandedReport banded(40 * px, 43 * px, 40 * px, 23);
        const CollectingSink sink = banded.Run();
        QCOMPARE(sink.pages.size(), std::size_t(2));
        for (const ReportPage& page : sink.pages) {
            QCOMPARE(FindText(page, QStringLiteral("H"))->rect.top(), 100.0);
            QCOMPARE(FindText(page, QStringLiteral("F"))->rect.top(), 2970.0 - 100 - 40 * px);
            QCOMPARE(FindText(page, QStringLiteral("H"))->rect.left(), 100.0);
        }
        QCOMPARE(FindText(sink.pages[0], QStringLiteral("D1"))->rect.top(), 100 + 40 * px);
        QCOMPARE(FindText(sink.pages[0], QStringLiteral("D22"))->rect.top(), 100 + 40 * px + 21 * 43 * px);
        QCOMPARE(FindText(sink.pages[1], QStringLiteral("D23"))->rect.top(), 100 + 40 * px);
    }

    void headerAndFooterOptions_data()
    {
        QTest::addColumn<bool>("firstPageHeader");
        QTest::addColumn<bool>("lastPageFooter");
        QTest::addColumn<int>("records");
        QTest::addColumn<QString>("headers");
        QTest::addColumn<QString>("footers");

        QTest::newRow("both on, three pages") << true << true << 21 << "111" << "111";
        QTest::newRow("no first-page header") << false << true << 21 << "011" << "111";
        QTest::newRow("no last-page footer") << true << false << 21 << "111" << "110";
        QTest::newRow("both off, one page") << false << false << 5 << "0" << "0";
        QTest::newRow("both off, two pages") << false << false << 12 << "01" << "10";
    }

    void headerAndFooterOptions()
    {
        QFETCH(bool, firstPageHeader);
        QFETCH(bool, lastPageFooter);
        QFETCH(int, records);
        QFETCH(QString, headers);
        QFETCH(QString, footers);

        // 2770 tenths with a 100 header and 100 footer leaves room for 9 of 277 on a
        // page; without the first header, page 1 has room for one more.
        BandedReport banded(100, 277, 100, records);
        banded.report.Options.FirstPageHeader = firstPageHeader;
        banded.report.Options.LastPageFooter = lastPageFooter;
        const CollectingSink sink = banded.Run();
        QString seenHeaders, seenFooters;
        for (const PageShape& shape : ShapeOf(sink)) {
            seenHeaders += shape.header ? QLatin1Char('1') : QLatin1Char('0');
            seenFooters += shape.footer ? QLatin1Char('1') : QLatin1Char('0');
        }
        QCOMPARE(seenHeaders, headers);
        QCOMPARE(seenFooters, footers);
        if (!firstPageHeader)
            QCOMPARE(FindText(sink.pages[0], QStringLiteral("D1"))->rect.top(), 100.0);
    }

    void callbacks()
    {
        // MoreData comes preset to true at the first call and false at every later one.
        BandedReport banded(100, 100, 100, 0);
        QList<bool> presets;
        int records = 3;
        banded.report.OnNeedData = [&](TReport&, bool& moreData) {
            presets << moreData;
            moreData = records-- > 0;
        };
        bool printReportPreset = false;
        banded.report.BeforePrint = [&](TReport&, bool& printReport) { printReportPreset = printReport; };
        const CollectingSink sink = banded.Run();
        QVERIFY(printReportPreset);
        QCOMPARE(presets, (QList<bool>{true, false, false, false}));
        QCOMPARE(sink.pages.size(), std::size_t(1));
    }

    void printReportFalseStopsTheRun()
    {
        BandedReport banded(100, 100, 100, 5);
        banded.report.BeforePrint = [](TReport&, bool& printReport) { printReport = false; };
        const CollectingSink sink = banded.Run();
        QCOMPARE(sink.pages.size(), std::size_t(0));
        QCOMPARE(banded.feed.calls, 0);
    }

    void noRecordsNoPage()
    {
        // Print-if-empty has no say in a report fed by a callback.
        BandedReport banded(100, 100, 100, 0);
        banded.report.PrintIfEmpty = true;
        const CollectingSink sink = banded.Run();
        QCOMPARE(sink.pages.size(), std::size_t(0));
        QCOMPARE(banded.feed.calls, 1);
    }

    void cancelStopsBetweenRecords()
    {
        BandedReport banded(100, 277, 100, 100);
        CollectingSink sink;
        ReportRun run(banded.report);
        int pumps = 0;
        run.pumpMessages = [&] {
            if (++pumps == 12)
                run.Cancel();
        };
        run.Execute(sink);
        QVERIFY(run.Cancelled());
        // 11 records printed; the page they were on is finished, with its footer.
        QCOMPARE(banded.feed.current, 12);
        QCOMPARE(sink.pages.size(), std::size_t(2));
        QVERIFY(FindText(sink.pages[1], QStringLiteral("D11")));
        QVERIFY(!FindText(sink.pages[1], QStringLiteral("D12")));
        QVERIFY(FindText(sink.pages[1], QStringLiteral("F")));
    }

    void disabledBands()
    {
        // A disabled footer is neither printed nor given room.
        BandedReport banded(100, 277, 100, 10);
        banded.footer->Enabled = false;
        banded.header->Enabled = false;
        const CollectingSink sink = banded.Run();
        QCOMPARE(sink.pages.size(), std::size_t(1));
        QCOMPARE(Captions(sink.pages[0]).size(), 10);
    }

    void dateTimeText_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QDateTime>("when");
        QTest::addColumn<QString>("expected");

        const QLocale ja(QLocale::Japanese, QLocale::Japan);
        const QLocale us(QLocale::English, QLocale::UnitedStates);
        QTest::newRow("ja afternoon") << ja << QDateTime(QDate(2026, 12, 7), QTime(13, 5, 9), Qt::UTC)
                                      << QStringLiteral("2026/12/07 13:05:09");
        QTest::newRow("ja midnight") << ja << QDateTime(QDate(2026, 12, 7), QTime(0, 0), Qt::UTC)
                                     << QStringLiteral("2026/12/07");
        QTest::newRow("ja one second past") << ja << QDateTime(QDate(2026, 12, 7), QTime(0, 0, 1), Qt::UTC)
                                            << QStringLiteral("2026/12/07 0:00:01");
        QTest::newRow("ja one millisecond past") << ja << QDateTime(QDate(2026, 1, 2), QTime(0, 0, 0, 1), Qt::UTC)
                                                 << QStringLiteral("2026/01/02 0:00:00");
        QTest::newRow("us evening") << us << QDateTime(QDate(2026, 1, 2), QTime(21, 0), Qt::UTC)
                                    << QStringLiteral("1/2/26 9:00:00 PM");
        QTest::newRow("de evening") << QLocale(QLocale::German, QLocale::Germany)
                                    << QDateTime(QDate(2026, 1, 2), QTime(21, 0, 5), Qt::UTC)
                                    << QStringLiteral("02.01.26 21:00:05");
        // The zone stood in brackets here.
        QTest::newRow("nds evening") << QLocale(QLocale::LowGerman, QLocale::Germany)
                                     << QDateTime(QDate(2026, 1, 2), QTime(21, 0, 5), Qt::UTC)
                                     << QStringLiteral("2.01.26 Klock 21.00:05");
        QTest::newRow("us midnight") << us << QDateTime(QDate(2026, 1, 2), QTime(0, 0), Qt::UTC)
                                     << QStringLiteral("1/2/26");
        // The C and POSIX locales name no language: the Japanese pages keep theirs.
        QTest::newRow("C") << QLocale::c() << QDateTime(QDate(2026, 12, 8), QTime(13, 5, 9), Qt::UTC)
                           << QStringLiteral("2026/12/08 13:05:09");
    }

    void dateTimeText()
    {
        QFETCH(QLocale, locale);
        QFETCH(QDateTime, when);
        QFETCH(QString, expected);
        QCOMPARE(FormatDateTime(when, locale), expected);
    }

    void systemDataTakeTheirValuesWhenDrawn()
    {
        // Header and footer each show the page number and a clock that moves on by a
        // minute at every reading: each page has its own values, read as drawn.
        BandedReport banded(100, 277, 100, 12);
        banded.report.Locale = QLocale(QLocale::Japanese, QLocale::Japan);
        auto& number = banded.header->AddSysData(QRectF(500, 0, 300, 40), sdPageNumber);
        number.Prefix = QStringLiteral("Page ");
        banded.header->AddSysData(QRectF(900, 0, 600, 40), sdDateTime);
        banded.footer->AddSysData(QRectF(500, 0, 300, 40), sdPageNumber);
        QDateTime now(QDate(2026, 12, 7), QTime(23, 58), Qt::UTC);
        banded.report.Clock = [&now] {
            const QDateTime reading = now;
            now = now.addSecs(60);
            return reading;
        };
        const CollectingSink sink = banded.Run();
        QCOMPARE(sink.pages.size(), std::size_t(2));
        QCOMPARE(Captions(sink.pages[0]).mid(0, 3),
                 (QStringList{"H", "Page 1", QStringLiteral("2026/12/07 23:58:00")}));
        // The second header is drawn at the second reading, the third falls on midnight.
        QCOMPARE(Captions(sink.pages[1]).mid(0, 3),
                 (QStringList{"H", "Page 2", QStringLiteral("2026/12/07 23:59:00")}));
        QCOMPARE(Captions(sink.pages[0]).last(), QStringLiteral("1"));
        QCOMPARE(Captions(sink.pages[1]).last(), QStringLiteral("2"));
    }

    void images_data()
    {
        QTest::addColumn<double>("screenPpi");
        QTest::addColumn<bool>("stretch");
        QTest::addColumn<bool>("center");
        QTest::addColumn<QRectF>("target");

        // The control: 90 by 90 tenths at (200, 40) of a detail band at the top margin.
        const QRectF control(300, 140, 90, 90);
        const double natural = 34 * 254.0 / 96; // 89.958...
        QTest::newRow("96 ppi") << 96.0 << false << false << QRectF(300, 140, natural, natural);
        QTest::newRow("192 ppi, smaller") << 192.0 << false << false << QRectF(300, 140, natural / 2, natural / 2);
        QTest::newRow("48 ppi, larger, clipped") << 48.0 << false << false << QRectF(300, 140, natural * 2, natural * 2);
        QTest::newRow("192 ppi centred") << 192.0 << false << true
                                         << QRectF(345 - natural / 4, 185 - natural / 4, natural / 2, natural / 2);
        QTest::newRow("stretched") << 192.0 << true << false << control;
    }

    void images()
    {
        QFETCH(double, screenPpi);
        QFETCH(bool, stretch);
        QFETCH(bool, center);
        QFETCH(QRectF, target);

        BandedReport banded(0, 200, 0, 2);
        banded.report.ScreenPixelsPerInch = screenPpi;
        auto& image = banded.detail->AddImage(QRectF(200, 40, 90, 90));
        image.Stretch = stretch;
        image.Center = center;
        image.Picture = SampleIcon();
        // The second record has its picture cleared: nothing is drawn for it.
        banded.report.OnNeedData = [&, records = 0](TReport&, bool& moreData) mutable {
            moreData = records++ < 2;
            if (records == 2)
                image.Clear();
        };
        const CollectingSink sink = banded.Run();
        QCOMPARE(sink.pages.size(), std::size_t(1));
        std::vector<const ImageItem*> images;
        for (const PageItem& item : sink.pages[0].items)
            if (const auto* it = std::get_if<ImageItem>(&item))
                images.push_back(it);
        QCOMPARE(images.size(), std::size_t(1));
        QCOMPARE(images[0]->clip, QRectF(300, 140, 90, 90));
        QCOMPARE(images[0]->target.topLeft(), target.topLeft());
        QCOMPARE(images[0]->target.size(), target.size());
        QCOMPARE(images[0]->image, SampleIcon());
    }

    void autoSizedLabelStaysInItsBand()
    {
        // A text far too long for the band wraps at the band's right edge and is cut
        // at its bottom; a short one shrinks to its text.
        BandedReport banded(0, 100, 0, 1);
        auto& longLabel = banded.detail->AddLabel(QRectF(1500, 10, 50, 30), QString(40, QLatin1Char('W')) + QStringLiteral(" x y z"));
        longLabel.WordWrap = true;
        banded.detail->AddLabel(QRectF(100, 10, 500, 30), QStringLiteral("ab"));
        const CollectingSink sink = banded.Run();
        const TextItem* wrapped = FindText(sink.pages[0], longLabel.Caption);
        QVERIFY(wrapped);
        QVERIFY(wrapped->flags & (Qt::TextWordWrap | Qt::TextWrapAnywhere));
        QCOMPARE(wrapped->rect.left(), 1600.0);
        QVERIFY2(wrapped->rect.right() <= 100 + 1900.0 + 0.001, qPrintable(QString::number(wrapped->rect.right())));
        QCOMPARE(wrapped->rect.bottom(), 200.0);
        const TextItem* shortText = FindText(sink.pages[0], QStringLiteral("ab"));
        QVERIFY(shortText->rect.width() > 20 && shortText->rect.width() < 100);
    }

    void defaultFont()
    {
        QWidget form;
        QFont formFont(QStringLiteral("IPAPGothic"), 9);
        form.setFont(formFont);
        const TReport japanese(&form, QLocale(QLocale::Japanese, QLocale::Japan));
        QCOMPARE(japanese.Font.family(), QStringLiteral("IPAPGothic"));
        QCOMPARE(japanese.Font.pointSizeF(), 9.0);
        const TReport english(&form, QLocale(QLocale::English, QLocale::UnitedKingdom));
        QCOMPARE(english.Font.family(), QStringLiteral("Arial"));
        QCOMPARE(english.Font.pointSizeF(), 10.0);
    }
};

QTEST_MAIN(TestReportRun)
#include "tst_reportrun.moc"
