// Pages of cells on the real main window: building, fitting, selection frames, resizes,
// and events that arrive in the middle of a build.
#include "app/application.h"
#include "app/mainform.h"
#include "gridfixture.h"
#include "icon/tst_exeicons_pattern.h"
#include "platform/folderwriter.h"
#include "platform/programfolder.h"
#include "scan/iconextraction.h"

#include <QAccessible>
#include <QMenuBar>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTest>
#include <QTimer>


class TestIconGrid : public QObject {
    Q_OBJECT

    QTemporaryDir programFolder_; // Vistrel.ini goes there when a window closes

private slots:
    void initTestCase()
    {
        InstallFontSubstitutes();
        SetProgramFolder(programFolder_.path());
    }

    void firstPageOfTheDesignedWindow()
    {
        GridFixture grid(300);
        grid.form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid.form));
        QCOMPARE(grid.form.ClientSize(), QSize(775, 494));
        grid.ShowFirstPage();
        QCOMPARE(grid.form.IconGrid.GridColumns, 14);
        QCOMPARE(grid.form.IconGrid.GridRows, 8);
        QCOMPARE(grid.form.IconGrid.LastCellIndex, 111);
        QCOMPARE(grid.CellsOnPanel(), 112);
        QVERIFY(grid.form.ScrollBar1->isVisible());
        QCOMPARE(grid.form.ScrollBar1->maximum(), 300 - 112 + 1);
        QVERIFY(grid.form.ScrollBar1->isEnabled());
        QCOMPARE(grid.VisibleFrames(), 0); // Open shows no frame until the first click

        // Cell 15 stands in row 1, column 1 and shows icon 16, pixel for pixel.
        TIconCell* cell = grid.form.IconGrid.IconCells[15];
        QCOMPARE(cell->geometry(), QRect(66, 67, 34, 34));
        const QImage shown = grid.form.Panel1->grab(cell->geometry()).toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(shown, Picture(16, {34, 34}));
    }

    void pictureSizesAreFitted_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QSize>("cell");
        QTest::newRow("17x68") << QSize(17, 68) << QSize(8, 34);
        QTest::newRow("100x50") << QSize(100, 50) << QSize(34, 17);
        QTest::newRow("50x40") << QSize(50, 40) << QSize(34, 27);
        QTest::newRow("20x20") << QSize(20, 20) << QSize(20, 20);
    }

    void pictureSizesAreFitted()
    {
        QFETCH(QSize, picture);
        QFETCH(QSize, cell);
        GridFixture grid(3, picture);
        grid.ShowFirstPage();
        for (int k = 0; k < 3; ++k) {
            QCOMPARE(grid.form.IconGrid.IconCells[k]->geometry(), QRect(CellImageRect(k, 14).topLeft(), cell));
            QCOMPARE(grid.form.IconGrid.IconCells[k]->Picture().size(), picture); // kept at its own size
        }
    }

    void missingBitmapGivesABlankDisabledCell()
    {
        GridFixture grid(5);
        QVERIFY(QFile::remove(grid.form.BrowseSession.TempBitmaps[3]));
        QFile junk(grid.form.BrowseSession.TempBitmaps[4]);
        QVERIFY(junk.open(QIODevice::WriteOnly | QIODevice::Truncate));
        junk.write("BM not a bitmap");
        junk.close();
        grid.form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid.form));
        grid.ShowFirstPage();

        for (int k : {2, 3}) {
            TIconCell* blank = grid.form.IconGrid.IconCells[k];
            QVERIFY(!blank->isEnabled());
            QVERIFY(blank->Picture().isNull());
            QCOMPARE(blank->size(), QSize(34, 34));
            const QImage shown = grid.form.Panel1->grab(blank->geometry()).toImage();
            QCOMPARE(shown.pixelColor(17, 17), QColor(Qt::white));
        }
        QVERIFY(grid.form.IconGrid.IconCells[4]->isEnabled());
        QCOMPARE(grid.form.IconGrid.IconCells[4]->Picture().convertToFormat(QImage::Format_RGB32), Picture(5, {34, 34}));

        // Clicking a blank cell changes nothing; clicking a loaded one selects it.
        QTest::mouseClick(grid.form.IconGrid.IconCells[2], Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(grid.form.IconGrid.SelectedCell, 0);
        QCOMPARE(grid.VisibleFrames(), 0);
        QTest::mouseClick(grid.form.IconGrid.IconCells[4], Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(grid.form.IconGrid.SelectedCell, 4);
        QCOMPARE(grid.VisibleFrames(), 1);
    }

    void clicksTakeOnlyTheFittedArea()
    {
        GridFixture grid(2, {17, 68}); // cells of 8 x 34
        grid.form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid.form));
        grid.ShowFirstPage();
        // Clicks go to the window, which hands them to whatever lies under the pointer.
        const QPoint cell1 = grid.form.IconGrid.IconCells[1]->mapTo(&grid.form, QPoint(0, 0));
        QTest::mouseClick(grid.form.windowHandle(), Qt::LeftButton, {}, cell1 + QPoint(20, 5)); // beside the picture
        QCOMPARE(grid.form.IconGrid.SelectedCell, 0);
        QTest::mouseClick(grid.form.windowHandle(), Qt::LeftButton, {}, cell1 + QPoint(4, 30));
        QCOMPARE(grid.form.IconGrid.SelectedCell, 1);
    }

    void selectionFrameIsAnEtchedSquare()
    {
        GridFixture grid(20);
        grid.form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid.form));
        grid.ShowFirstPage();
        grid.form.SelectCell(0);
        const QImage panel = grid.form.Panel1->grab().toImage();
        const QRgb shadow = grid.form.palette().color(QPalette::Dark).rgb();
        const QRgb highlight = grid.form.palette().color(QPalette::Light).rgb();
        const QRgb white = qRgb(255, 255, 255);
        // The shadow square runs from (15,15) to (50,50), the highlight one from (16,16) to (51,51);
        // the 34-pixel picture at (16,16) covers what lies inside.
        QCOMPARE(panel.pixel(15, 30), shadow);
        QCOMPARE(panel.pixel(30, 15), shadow);
        QCOMPARE(panel.pixel(50, 30), shadow);
        QCOMPARE(panel.pixel(30, 50), shadow);
        QCOMPARE(panel.pixel(51, 30), highlight);
        QCOMPARE(panel.pixel(30, 51), highlight);
        QCOMPARE(panel.pixel(52, 30), white);
        QCOMPARE(panel.pixel(30, 30), Picture(1, {34, 34}).pixel(14, 14));
        // Another click moves the one visible frame.
        grid.form.SelectCell(7);
        QCOMPARE(grid.VisibleFrames(), 1);
        QVERIFY(grid.form.IconGrid.SelectionFrames[7]->isVisible());
    }

    void resizeKeepsTheSelectedIndex()
    {
        GridFixture grid(300);
        grid.form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid.form));
        grid.ShowFirstPage();
        grid.form.SelectCell(5);
        grid.form.resize(1000, 700);
        QCOMPARE(grid.form.IconGrid.GridColumns, (1000 - 16) / 51);
        QCOMPARE(grid.form.IconGrid.SelectedCell, 5);
        QVERIFY(grid.form.IconGrid.SelectionFrames[5]->isVisible());
        const int ring = TSelectionFrame::kFocusMargin;
        QCOMPARE(grid.form.IconGrid.SelectionFrames[5]->geometry(), CellFrameRect(5, grid.form.IconGrid.GridColumns).adjusted(-ring, -ring, ring, ring));
        QCOMPARE(grid.VisibleFrames(), 1);

        // A page too small for cell 5 moves the selection to cell 0.
        grid.form.resize(66 + 51 * 2, grid.form.menuBar()->height() + 35 + 52 * 2);
        QCOMPARE(grid.form.IconGrid.LastCellIndex, 3);
        QCOMPARE(grid.form.IconGrid.SelectedCell, 0);
        QVERIFY(grid.form.IconGrid.SelectionFrames[0]->isVisible());
        QCOMPARE(grid.CellsOnPanel(), 4);
    }

    void scrolledThenEnlarged()
    {
        GridFixture grid(113);
        grid.form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid.form));
        grid.ShowFirstPage();
        QCOMPARE(grid.form.ScrollBar1->maximum(), 2);
        QCOMPARE(grid.form.ScrollBar1->pageStep(), 112);
        grid.form.ScrollBar1->setValue(2);
        grid.form.IconGrid.FreePage();
        grid.form.IconGrid.BuildPage(2);
        QCOMPARE(grid.form.IconGrid.IconCells[0]->Picture().convertToFormat(QImage::Format_RGB32), Picture(2, {34, 34}));

        grid.form.resize(1200, 900);
        QVERIFY(grid.form.ScrollBar1->isVisible()); // icon 1 must stay reachable
        QCOMPARE(grid.form.ScrollBar1->value(), 2);
        QCOMPARE(grid.form.ScrollBar1->maximum(), 113);
        QCOMPARE(grid.form.ScrollBar1->pageStep(), 113);
        QCOMPARE(grid.form.IconGrid.LastCellIndex, 111); // icons 2 to 113, nothing after the last
    }

    void windowTooSmallForACell()
    {
        GridFixture grid(50);
        grid.form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid.form));
        grid.ShowFirstPage();
        grid.form.SelectCell(3);
        grid.form.resize(66, 300);
        QCOMPARE(grid.form.IconGrid.GridColumns, 0);
        QCOMPARE(grid.form.IconGrid.LastCellIndex, -1);
        QCOMPARE(grid.CellsOnPanel(), 0);
        QCOMPARE(grid.form.Panel1->findChildren<TSelectionFrame*>().size(), 0);
        QVERIFY(grid.form.ScrollBar1->maximum() >= grid.form.ScrollBar1->minimum());
        QVERIFY(grid.form.ScrollBar1->singleStep() >= 1);
        grid.form.resize(775, 494 + grid.form.menuBar()->height()); // and back again
        QCOMPARE(grid.CellsOnPanel(), 112 < 50 ? 112 : 50);
    }

    void resizesInTheMiddleOfABuildAreCarriedOutAfterIt()
    {
        GridFixture grid(300);
        grid.form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid.form));
        grid.ShowFirstPage();
        int nested = 0;
        QTimer::singleShot(0, &grid.form, [&] {
            grid.form.resize(500, 400);
            grid.form.Close1->setEnabled(true);
            grid.form.Close1->trigger(); // refused while the page is being built
            grid.form.resize(900, 600);
            ++nested;
        });
        grid.form.resize(1000, 700);
        QCOMPARE(nested, 1);
        QCOMPARE(grid.form.IconGrid.GridColumns, (900 - 16) / 51);
        QCOMPARE(grid.form.IconGrid.LastCellIndex + 1, grid.form.IconGrid.PageCells());
        QCOMPARE(grid.CellsOnPanel(), grid.form.IconGrid.PageCells());
        QCOMPARE(grid.form.Panel1->findChildren<TSelectionFrame*>().size(), grid.form.IconGrid.PageCells());
    }

    void noRelayoutWithoutFiles()
    {
        GridFixture grid(50);
        grid.form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid.form));
        grid.ShowFirstPage();
        grid.form.BrowseSession.ImageFileCount = 0; // a cancelled Open
        grid.form.resize(400, 300);
        QCOMPARE(grid.CellsOnPanel(), 50);
        QCOMPARE(grid.form.IconGrid.GridColumns, 14);
    }

    void eventsInTheMiddleOfABuildArePostponed()
    {
        GridFixture grid(300);
        grid.form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid.form));
        grid.ShowFirstPage();
        bool fired = false;
        int cellsWhenFired = -1;
        // Fires while the re-layout below lets pending messages run after a cell.
        QTimer::singleShot(0, &grid.form, [&] {
            fired = true;
            cellsWhenFired = grid.CellsOnPanel();
            grid.form.resize(500, 400);
            grid.form.Exit1->trigger();
            grid.form.resize(900, 600);
        });
        grid.form.resize(1000, 700);
        QVERIFY(fired);
        QVERIFY(cellsWhenFired < 112 + 50); // it came in the middle of the build
        // After the build the postponed closing ran; a re-layout for a closing window is dropped.
        QVERIFY(!grid.form.isVisible());
        QCOMPARE(grid.form.width(), 900);
        QCOMPARE(grid.form.IconGrid.GridColumns, (1000 - 16) / 51);
        QCOMPARE(grid.CellsOnPanel(), 0); // the closing freed the page
        QVERIFY(grid.form.IconGrid.ShuttingDown);
    }

    // Icons scanned from real files, shown at the screen's ratio (QT_SCALE_FACTOR; the
    // test list runs this at 2 too, and on a screen of 1 beside one of 2, where the window
    // goes to the other and back). At 1 every cell is its bitmap. At 2 an icon with an
    // image of 64 pixels or more is drawn from it; the others, and those whose file has
    // gone or changed since the scan, are their bitmaps doubled.
    void cellsAtTheScreensRatio()
    {
        const QList<QScreen*> screens = QGuiApplication::screens();
        int ratio = qEnvironmentVariableIntValue("QT_SCALE_FACTOR") == 2 ? 2 : 1;
        QTemporaryDir files;
        const QString data = QStringLiteral(VISTREL_TEST_DATA "/");
        for (const QString& name : {QStringLiteral("icons.exe"), QStringLiteral("icons64.dll")})
            QVERIFY(QFile::copy(data + name, files.filePath(name)));
        GridFixture grid(0);
        BrowseState& session = grid.form.BrowseSession;
        FolderWriter temp(QFile::encodeName(TempFolder()), FolderWriter::Targets::Scratch);
        for (const char* name : {"icons.exe", "icons64.dll"})
            ExtractIcons(session, {files.path(), QFile::encodeName(files.path()), {name, QString::fromLatin1(name)}},
                         IconTarget{&temp});
        QCOMPARE(session.IconCount, 11);
        grid.form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid.form));
        QCOMPARE(grid.form.devicePixelRatioF(), qreal(ratio));

        // Icons 6 and 11: the 256-pixel PNG of sizes.ico (seed 6), and wide.ico's 64-pixel
        // 24-bit image (seed 19) through its mask.
        const auto sharp = [](int seed, bool png) {
            QImage image(68, 68, QImage::Format_RGB32);
            image.fill(Qt::white);
            for (int y = 0; y < 64; ++y)
                for (int x = 0; x < 64; ++x)
                    image.setPixel(x + 2, y + 2, png ? OverWhite(PatternRgb(x / 2, y / 2, seed), (8 * (x / 2) + 3 * (y / 2) + seed) & 255)
                                                     : PatternMasked(x, y, seed) ? 0xFFFFFFFFu : 0xFF000000u | PatternRgb(x, y, seed));
            return image;
        };
        const auto doubled = [&](int n) {
            const QImage bitmap(session.TempBitmaps[n]);
            QImage image(68, 68, QImage::Format_RGB32);
            for (int y = 0; y < 68; ++y)
                for (int x = 0; x < 68; ++x)
                    image.setPixel(x, y, bitmap.pixel(x / 2, y / 2));
            return image;
        };
        // Keyed by icon number; the page starts at icon first.
        const auto verifyCells = [&](int first, const std::map<int, QImage>& expected, bool built = true) {
            if (built)
                QCOMPARE(grid.form.IconGrid.DrawingSharpPictures(), ratio == 2); // none at 1: nothing is read
            QTRY_VERIFY(!grid.form.IconGrid.DrawingSharpPictures());
            for (int n = first; n <= 11; ++n) {
                const TIconCell* cell = grid.form.IconGrid.IconCells[n - first];
                const QImage shown = grid.form.Panel1->grab(cell->geometry()).toImage();
                const QImage bitmap(session.TempBitmaps[n]);
                QCOMPARE(cell->Picture().convertToFormat(QImage::Format_RGB32), bitmap.convertToFormat(QImage::Format_RGB32));
                const QImage want = ratio == 1 ? bitmap : expected.count(n) ? expected.at(n) : doubled(n);
                const QString difference = FirstDifference(shown, want);
                QVERIFY2(difference.isEmpty(), qPrintable(QStringLiteral("icon %1: ").arg(n) + difference));
            }
        };
        grid.ShowFirstPage();
        verifyCells(1, {{6, sharp(6, true)}, {11, sharp(19, false)}});
        for (QScreen* screen : screens.size() > 1 ? QList{screens[1], screens[0]} : QList<QScreen*>{}) {
            grid.form.move(screen->geometry().topLeft() + QPoint(10, 10));
            QTRY_COMPARE(grid.form.screen(), screen);
            ratio = qRound(screen->devicePixelRatio());
            QCOMPARE(grid.form.devicePixelRatioF(), qreal(ratio));
            verifyCells(1, {{6, sharp(6, true)}, {11, sharp(19, false)}}, false);
        }
        // Gone, and changed without a change in the count: one row of sizes.ico's 32-pixel
        // image (the bitmap's source, found by its header) inverted.
        QVERIFY(QFile::remove(files.filePath(QStringLiteral("icons64.dll"))));
        QFile exe(files.filePath(QStringLiteral("icons.exe")));
        QVERIFY(exe.open(QIODevice::ReadWrite));
        const qsizetype header = exe.readAll().indexOf(QByteArray::fromHex("28000000200000004000000001001800"));
        QVERIFY(header > 0 && exe.seek(header + 40 + 96 * 10));
        QByteArray row = exe.peek(96);
        for (char& c : row)
            c = char(~c);
        QCOMPARE(exe.write(row), 96);
        exe.close();
        grid.ShowFirstPage();
        verifyCells(1, {});
    }

    // Tab goes between the bar and the grid, and coming in by it frames the selected cell;
    // from the grid the page keys still page.
    void tabBetweenTheBarAndTheGrid()
    {
        GridFixture grid(300);
        grid.form.show();
        QVERIFY(QTest::qWaitForWindowActive(&grid.form));
        grid.ShowFirstPage();
        QScrollBar& bar = *grid.form.ScrollBar1;
        bar.setFocus();
        QTest::keyClick(&bar, Qt::Key_Tab);
        QVERIFY(grid.form.Panel1->hasFocus());
        QCOMPARE(grid.VisibleFrames(), 1);
        QVERIFY(grid.form.IconGrid.SelectionFrames[0]->isVisible());
        QTest::keyClick(grid.form.Panel1, Qt::Key_PageDown);
        QCOMPARE(grid.form.IconGrid.IconCells[0]->Picture().convertToFormat(QImage::Format_RGB32), Picture(113, {34, 34}));
        QVERIFY(grid.form.Panel1->hasFocus());
        QTest::keyClick(grid.form.Panel1, Qt::Key_Tab);
        QVERIFY(bar.hasFocus());

        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(grid.form.Panel1);
        QAccessibleInterface* page = QAccessible::queryAccessibleInterface(&bar);
        QCOMPARE(page->text(QAccessible::Name), QStringLiteral("ページ"));
        QCOMPARE(list->indexOfChild(page), 112); // after the cells
        QCOMPARE(page->parent(), list);
    }

    // A Tab with nowhere else to go rings the selected icon; a click brings the keys back
    // from the bar, which is outlined while it has them.
    void focusShowsAfterKeys()
    {
        const QRgb text = QApplication::palette().color(QPalette::Text).rgb();
        struct Tab {
            int Icons;
            Qt::Key Key;
            Qt::KeyboardModifier Modifier; // Shift+Tab comes as Backtab with Shift held
        };
        for (const Tab tab : {Tab{20, Qt::Key_Tab, Qt::NoModifier}, Tab{20, Qt::Key_Backtab, Qt::ShiftModifier},
                              Tab{300, Qt::Key_Tab, Qt::NoModifier}}) {
            const int icons = tab.Icons;
            GridFixture grid(icons);
            grid.form.show();
            grid.ShowFirstPage();
            TIconGrid& cells = grid.form.IconGrid;
            const auto outlined = [&] { return grid.form.ScrollBar1->grab().toImage().pixel(0, 100) == text; };
            cells.SelectionFrames[0]->hide(); // nothing framed yet: the Tab frames the first
            QTest::keyClick(grid.form.Panel1, tab.Key, tab.Modifier);
            QTRY_COMPARE(cells.IsFramed(0) && cells.SelectionFrames[0]->FocusVisible(), icons == 20);
            QCOMPARE(outlined(), icons == 300);
            QTest::mouseClick(cells.IconCells[3], Qt::LeftButton, {}, QPoint(5, 5));
            QVERIFY(!cells.SelectionFrames[3]->FocusVisible() && !outlined());
            QTest::keyClick(grid.form.Panel1, Qt::Key_Right);
            QCOMPARE(grid.form.Panel1->grab().toImage().pixel(4 * 50 + 13, 30), text);
        }
    }

    // The arrows, Home and End move the frame as clicks do, over blank cells and never past
    // the last icon, and change nothing else visible. To assistive technology the grid is
    // a list of its icons named by their tooltips, selected while framed; a blank cell is
    // unavailable, and the frames are no items.
    void keysAndAssistiveTechnology()
    {
        GridFixture grid(20); // 14 columns: cells 0 to 13, then 14 to 19
        for (int n = 1; n <= 20; ++n)
            grid.form.BrowseSession.IconOrigins[n] = {QStringLiteral("/data"), QStringLiteral("a%1.dll").arg(n), n - 1, 20, {}, 0};
        grid.form.BrowseSession.FolderPath = QStringLiteral("/data");
        QVERIFY(QFile::remove(grid.form.BrowseSession.TempBitmaps[4]));
        grid.form.show();
        QVERIFY(QTest::qWaitForWindowActive(&grid.form));
        grid.ShowFirstPage();
        QWidget* panel = grid.form.Panel1;
        QVERIFY(panel->hasFocus()); // the window's first focus

        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(panel);
        QCOMPARE(list->role(), QAccessible::List);
        QCOMPARE(list->text(QAccessible::Name), QStringLiteral("アイコン"));
        QCOMPARE(list->childCount(), 19); // the blank cell is no item
        for (int i = 0; i < 19; ++i) {
            QAccessibleInterface* item = list->child(i);
            QCOMPARE(item->object(), grid.form.IconGrid.IconCells[i < 3 ? i : i + 1].data());
            QCOMPARE(item->role(), QAccessible::ListItem);
            QCOMPARE(item->parent(), list);
            QVERIFY(item->state().selectable);
            QCOMPARE(item->state().selected, false); // no frame after Open
        }
        QCOMPARE(list->child(4)->text(QAccessible::Name), QStringLiteral("ファイル: a6.dll、インデックス: 5 (全 20 個中)"));
        // Open leaves cell 0 unframed, and the current item.
        QCOMPARE(list->focusChild(), list->child(0));

        // The first key frames the selected cell, which Open left unframed.
        const QList<QPair<Qt::Key, int>> keys{
            {Qt::Key_Right, 0}, {Qt::Key_Right, 1}, {Qt::Key_Right, 2}, {Qt::Key_Right, 4}, {Qt::Key_Down, 18}, {Qt::Key_Down, 18},
            {Qt::Key_Right, 19}, {Qt::Key_Right, 19}, {Qt::Key_Up, 5}, {Qt::Key_Left, 4}, {Qt::Key_Left, 2},
            {Qt::Key_Up, 2}, {Qt::Key_End, 19}, {Qt::Key_Home, 0}, {Qt::Key_Left, 0}};
        for (const auto& [key, cell] : keys) {
            QTest::keyClick(panel, key);
            QCOMPARE(grid.form.IconGrid.SelectedCell, cell);
            QCOMPARE(grid.VisibleFrames(), 1);
            QVERIFY(grid.form.IconGrid.SelectionFrames[cell]->isVisible());
        }
        // The frame is the etched square it always is, ringed in black while keys move it.
        const QRgb text = grid.form.palette().color(QPalette::Text).rgb();
        QCOMPARE(panel->grab().toImage().pixel(15, 30), grid.form.palette().color(QPalette::Dark).rgb());
        QCOMPARE(panel->grab().toImage().pixel(13, 30), text);

        // A click: no ring, as before any key.
        QTest::mouseClick(grid.form.IconGrid.IconCells[5], Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(list->child(4)->state().selected);
        QVERIFY(!grid.form.IconGrid.SelectionFrames[5]->FocusVisible());
        QCOMPARE(panel->grab().toImage().pixel(5 * 50 + 13, 30), qRgb(255, 255, 255));
        QTest::keyClick(panel, Qt::Key_Right);
        QVERIFY(grid.form.IconGrid.SelectionFrames[6]->FocusVisible());
        QVERIFY(!list->child(4)->state().selected);
        QVERIFY(list->child(5)->state().selected);
        QVERIFY(list->child(5)->state().focused);
        QCOMPARE(list->focusChild(), list->child(5));
        list->child(7)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(grid.form.IconGrid.SelectedCell, 8);
    }

    // A deep folder loses the middle of its line, never its start or end; short lines and
    // markup-like names stay as they are.
    void toolTipLinesFitTheScreen()
    {
        const QString deep = QStringLiteral("フォルダー: /srv") + QStringLiteral("/level").repeated(80) + QStringLiteral("/last");
        const QString text = QStringLiteral("ファイル: <b>a&b.exe\n") + deep + QStringLiteral("\nインデックス: 0 (全 3 個中)");
        const QFontMetrics metrics(QApplication::font());
        QTextDocument shown;
        shown.setHtml(ToolTipMarkup(text, metrics, 400));
        const QStringList lines = shown.toPlainText().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[0], QStringLiteral("ファイル: <b>a&b.exe"));
        QCOMPARE(lines[2], QStringLiteral("インデックス: 0 (全 3 個中)"));
        QVERIFY(lines[1].startsWith(QStringLiteral("フォルダー: /srv/level")));
        QVERIFY(lines[1].endsWith(QStringLiteral("/level/last")));
        QVERIFY(lines[1].contains(QChar(0x2026)));
        QVERIFY(metrics.horizontalAdvance(lines[1]) <= 400);
    }
};

QTEST_MAIN(TestIconGrid)
#include "tst_icongrid.moc"
