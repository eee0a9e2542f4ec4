// The grid's arithmetic, without a window.
#include "grid/gridgeometry.h"

#include <QTest>

Q_DECLARE_METATYPE(ScrollBarSettings)

namespace QTest {
template <>
char* toString(const ScrollBarSettings& s)
{
    return qstrdup(QStringLiteral("max %1 pos %2 small %3 large %4 %5")
                       .arg(s.maximum).arg(s.position).arg(s.singleStep).arg(s.pageStep)
                       .arg(s.visible ? "shown" : "hidden").toUtf8().constData());
}
} // namespace QTest

class TestGridGeometry : public QObject {
    Q_OBJECT

private slots:
    void shape_data()
    {
        QTest::addColumn<QSize>("client");
        QTest::addColumn<int>("columns");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("pageCells");
        QTest::newRow("designed client") << QSize(775, 494) << 14 << 8 << 112;
        QTest::newRow("66 wide") << QSize(66, 494) << 0 << 8 << 0;
        QTest::newRow("one column exactly") << QSize(67, 87) << 1 << 1 << 1;
        QTest::newRow("one pixel short of a row") << QSize(67, 86) << 1 << 0 << 0;
        QTest::newRow("smaller than the bars") << QSize(3, 5) << 0 << 0 << 0;
        QTest::newRow("30 by 20 is cut at the tables' size") << QSize(16 + 51 * 30, 35 + 52 * 20) << 30 << 20 << 501;
        QTest::newRow("exactly 501") << QSize(16 + 51 * 167, 35 + 52 * 3) << 167 << 3 << 501;
    }

    void shape()
    {
        QFETCH(QSize, client);
        QFETCH(int, columns);
        QFETCH(int, rows);
        QFETCH(int, pageCells);
        const GridShape shape = ComputeGridShape(client, 16, 19);
        QCOMPARE(shape.columns, columns);
        QCOMPARE(shape.rows, rows);
        QCOMPARE(shape.PageCells(), pageCells);
    }

    void scrollBar_data()
    {
        QTest::addColumn<bool>("afterScan");
        QTest::addColumn<ScrollBarSettings>("before");
        QTest::addColumn<int>("pageCells");
        QTest::addColumn<int>("iconCount");
        QTest::addColumn<ScrollBarSettings>("after");
        const ScrollBarSettings start; // max 100, pos 1, steps 5, hidden

        QTest::newRow("open: icons fill the page exactly")
            << true << start << 112 << 112 << ScrollBarSettings{100, 1, 5, 5, false};
        QTest::newRow("open: one icon more")
            << true << start << 112 << 113 << ScrollBarSettings{2, 1, 112, 112, true};
        QTest::newRow("open: from a scrolled bar, all fits")
            << true << ScrollBarSettings{40, 30, 9, 9, true} << 112 << 20 << ScrollBarSettings{40, 1, 9, 9, false};
        QTest::newRow("open: no room for a cell")
            << true << start << 0 << 7 << ScrollBarSettings{7, 1, 1, 1, true};

        QTest::newRow("resize: scrolled, then enlarged until all fits")
            << false << ScrollBarSettings{2, 2, 112, 112, true} << 200 << 113
            << ScrollBarSettings{113, 2, 113, 113, true};
        QTest::newRow("resize: all fits at icon 1 hides the bar")
            << false << ScrollBarSettings{2, 1, 112, 112, true} << 200 << 113
            << ScrollBarSettings{113, 1, 113, 113, false};
        QTest::newRow("resize: shrunk below the icons shows the bar")
            << false << ScrollBarSettings{100, 1, 5, 5, false} << 20 << 50 << ScrollBarSettings{31, 1, 20, 20, true};
        QTest::newRow("resize: position pulled into the smaller range")
            << false << ScrollBarSettings{100, 90, 5, 5, true} << 20 << 50 << ScrollBarSettings{31, 31, 20, 20, true};
        QTest::newRow("resize: no icons keeps max at the minimum")
            << false << ScrollBarSettings{2, 2, 112, 112, true} << 112 << 0 << ScrollBarSettings{1, 1, 1, 1, false};
        QTest::newRow("resize: no room for a cell")
            << false << ScrollBarSettings{2, 2, 112, 112, true} << 0 << 113 << ScrollBarSettings{113, 2, 1, 1, true};
        QTest::newRow("resize: steps stay within 16 bits")
            << false << start << 501 << 10000 << ScrollBarSettings{9500, 1, 501, 501, true};
    }

    void scrollBar()
    {
        QFETCH(bool, afterScan);
        QFETCH(ScrollBarSettings, before);
        QFETCH(int, pageCells);
        QFETCH(int, iconCount);
        QFETCH(ScrollBarSettings, after);
        const ScrollBarSettings result = afterScan ? ScrollAfterScan(before, pageCells, iconCount)
                                                   : ScrollAfterResize(before, pageCells, iconCount);
        QCOMPARE(result, after);
        QVERIFY(result.position >= 1 && result.position <= result.maximum);
    }

    void everyIconReachable()
    {
        // From the last position of the bar, the page ends exactly at the last icon.
        for (int pageCells : {1, 7, 112, 501}) {
            for (int icons : {1, 112, 113, 1000, 10000}) {
                const ScrollBarSettings bar = ScrollAfterScan({}, pageCells, icons);
                const int lastFirstIcon = bar.visible ? bar.maximum : 1;
                QCOMPARE(lastFirstIcon + CellsOnPage(pageCells, icons, lastFirstIcon) - 1, icons);
            }
        }
    }

    void cellsOnPage_data()
    {
        QTest::addColumn<int>("pageCells");
        QTest::addColumn<int>("iconCount");
        QTest::addColumn<int>("firstIcon");
        QTest::addColumn<int>("cells");
        QTest::newRow("full page") << 112 << 500 << 1 << 112;
        QTest::newRow("last page of the bar") << 112 << 113 << 2 << 112;
        QTest::newRow("enlarged past the end") << 200 << 113 << 2 << 112;
        QTest::newRow("no icons") << 112 << 0 << 1 << 0;
        QTest::newRow("no room") << 0 << 50 << 1 << 0;
        QTest::newRow("start beyond the icons") << 112 << 5 << 9 << 0;
    }

    void cellsOnPage()
    {
        QFETCH(int, pageCells);
        QFETCH(int, iconCount);
        QFETCH(int, firstIcon);
        QFETCH(int, cells);
        QCOMPARE(CellsOnPage(pageCells, iconCount, firstIcon), cells);
    }

    void cellPlaces()
    {
        QCOMPARE(CellImageRect(0, 14), QRect(16, 16, 34, 34));
        QCOMPARE(CellFrameRect(0, 14), QRect(15, 15, 37, 37));
        QCOMPARE(CellImageRect(15, 14), QRect(66, 67, 34, 34)); // row 1, column 1
        QCOMPARE(CellFrameRect(15, 14), QRect(65, 66, 37, 37));
        QCOMPARE(CellImageRect(13, 14), QRect(16 + 50 * 13, 16, 34, 34));
        QCOMPARE(CellImageRect(500, 1), QRect(16, 16 + 51 * 500, 34, 34));
    }

    void fitting_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QSize>("cell");
        QTest::newRow("17x68: 8.5 goes to the even 8") << QSize(17, 68) << QSize(8, 34);
        QTest::newRow("19x68: 9.5 goes to the even 10") << QSize(19, 68) << QSize(10, 34);
        QTest::newRow("100x50") << QSize(100, 50) << QSize(34, 17);
        QTest::newRow("50x40") << QSize(50, 40) << QSize(34, 27);
        QTest::newRow("40x40 shrinks") << QSize(40, 40) << QSize(34, 34);
        QTest::newRow("20x20 stays") << QSize(20, 20) << QSize(20, 20);
        QTest::newRow("34x34 stays") << QSize(34, 34) << QSize(34, 34);
        QTest::newRow("35x10") << QSize(35, 10) << QSize(34, 10);
        QTest::newRow("1x1000") << QSize(1, 1000) << QSize(0, 34);
    }

    void fitting()
    {
        QFETCH(QSize, picture);
        QFETCH(QSize, cell);
        QCOMPARE(FittedCellSize(picture), cell);
    }
};

QTEST_GUILESS_MAIN(TestGridGeometry)
#include "tst_gridgeometry.moc"
