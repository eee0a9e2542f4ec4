// Paging with the scroll bar (mouse, keys, wheel), Copy and Paint, through the real
// handlers of the main window.
#include "app/application.h"
#include "argumentrecorder.h"
#include "gridfixture.h"
#include "platform/programfolder.h"
#include "recordingdialogs.h"
#include "settings/inifile.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

namespace {

// Counts the cells that pages build, to tell how often a page was built.
class BuildCounter : public QObject {
public:
    explicit BuildCounter(QWidget& panel) { panel.installEventFilter(this); }
    int cellsBuilt = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::ChildPolished
            && qobject_cast<TIconCell*>(static_cast<QChildEvent*>(event)->child()))
            ++cellsBuilt;
        return false;
    }
};

QPoint DownArrow(const QScrollBar& bar) { return {bar.width() / 2, bar.height() - 5}; }
QPoint UpArrow(const QScrollBar& bar) { return {bar.width() / 2, 5}; }

// The icon that a cell shows, read back from its pixels (see Picture()).
int IconShownBy(const TIconCell* cell)
{
    const QRgb pixel = cell->Picture().pixel(0, 0);
    return qRed(pixel) + (qGreen(pixel) / 16) * 256;
}

// A point of a widget in its window's coordinates, where the window system's events land.
QPoint InWindow(const QWidget& widget, QPoint point)
{
    return widget.mapTo(widget.window(), point);
}

void Wheel(QWidget* target, int delta)
{
    QWheelEvent wheel(QPointF(10, 10), target->mapToGlobal(QPointF(10, 10)), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &wheel);
}

} // namespace

class TestCellCommands : public QObject {
    Q_OBJECT

    QTemporaryDir programFolder_;

    static void ShowAndOpen(GridFixture& grid)
    {
        grid.form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid.form));
        grid.ShowFirstPage();
    }

private slots:
    void initTestCase()
    {
        InstallFontSubstitutes();
        SetProgramFolder(programFolder_.path());
    }

    void arrowsPageThroughTheIcons()
    {
        GridFixture grid(250);
        ShowAndOpen(grid);
        QScrollBar& bar = *grid.form.ScrollBar1;
        QCOMPARE(bar.maximum(), 139);
        grid.form.SelectCell(3);

        QTest::mouseClick(&bar, Qt::LeftButton, {}, DownArrow(bar));
        QCOMPARE(bar.value(), 113);
        QCOMPARE(IconShownBy(grid.form.IconGrid.IconCells[0]), 113);
        QCOMPARE(grid.form.IconGrid.SelectedCell, 3); // the same cell, now another icon
        QVERIFY(grid.form.IconGrid.SelectionFrames[3]->isVisible());
        QCOMPARE(IconShownBy(grid.form.IconGrid.IconCells[3]), 116);

        QTest::mouseClick(&bar, Qt::LeftButton, {}, DownArrow(bar));
        QCOMPARE(bar.value(), 139);
        QCOMPARE(grid.form.IconGrid.LastCellIndex, 111);
        QCOMPARE(IconShownBy(grid.form.IconGrid.IconCells[0]), 139);
        QCOMPARE(IconShownBy(grid.form.IconGrid.IconCells[111]), 250);
    }

    void aScrollThatEndsWhereItBeganStillRebuilds()
    {
        GridFixture grid(250);
        ShowAndOpen(grid);
        const QPointer<TIconCell> before = grid.form.IconGrid.IconCells[0];
        QTest::mouseClick(grid.form.ScrollBar1, Qt::LeftButton, {}, UpArrow(*grid.form.ScrollBar1));
        QCOMPARE(grid.form.ScrollBar1->value(), 1);
        QVERIFY(!before); // the old page was freed
        QVERIFY(grid.form.IconGrid.SelectionFrames[0]->isVisible()); // and the selection shown
    }

    void aHeldArrowRebuildsOnceWhereItStops()
    {
        GridFixture grid(250);
        ShowAndOpen(grid);
        BuildCounter counter(*grid.form.Panel1);
        QScrollBar& bar = *grid.form.ScrollBar1;
        QTest::mousePress(&bar, Qt::LeftButton, {}, DownArrow(bar));
        QTRY_COMPARE(bar.value(), 139); // auto-repeat went on to the end
        QCOMPARE(counter.cellsBuilt, 0);
        QCOMPARE(IconShownBy(grid.form.IconGrid.IconCells[0]), 1);
        QTest::mouseRelease(&bar, Qt::LeftButton, {}, DownArrow(bar));
        QCOMPARE(counter.cellsBuilt, 112);
        QCOMPARE(IconShownBy(grid.form.IconGrid.IconCells[0]), 139);
    }

    void troughAndThumb()
    {
        GridFixture grid(250);
        ShowAndOpen(grid);
        QScrollBar& bar = *grid.form.ScrollBar1;
        BuildCounter counter(*grid.form.Panel1);
        QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(bar.width() / 2, bar.height() - 40)); // below the thumb
        QCOMPARE(bar.value(), 113);
        QCOMPARE(counter.cellsBuilt, 112);

        // Dragging the thumb builds nothing until it is let go, then once, at any icon.
        const QPoint thumb(bar.width() / 2, bar.height() / 2);
        QTest::mousePress(&bar, Qt::LeftButton, {}, thumb);
        QTest::mouseMove(&bar, thumb - QPoint(0, 60));
        QCOMPARE(counter.cellsBuilt, 112);
        QTest::mouseRelease(&bar, Qt::LeftButton, {}, thumb - QPoint(0, 60));
        QVERIFY(bar.value() < 113);
        QCOMPARE(counter.cellsBuilt, 224);
        QCOMPARE(IconShownBy(grid.form.IconGrid.IconCells[0]), bar.value());
    }

    void keysAndWheelPageToo()
    {
        GridFixture grid(250);
        ShowAndOpen(grid);
        QScrollBar& bar = *grid.form.ScrollBar1;
        bar.setFocus();
        QTest::keyClick(&bar, Qt::Key_PageDown);
        QCOMPARE(IconShownBy(grid.form.IconGrid.IconCells[0]), 113);
        QTest::keyClick(&bar, Qt::Key_Home);
        QCOMPARE(IconShownBy(grid.form.IconGrid.IconCells[0]), 1);
        QTest::keyClick(&bar, Qt::Key_End);
        QCOMPARE(IconShownBy(grid.form.IconGrid.IconCells[0]), 139);

        // One notch of the wheel over the grid is one step of the bar, a whole page.
        Wheel(grid.form.Panel1, 120);
        QCOMPARE(bar.value(), 27);
        QCOMPARE(IconShownBy(grid.form.IconGrid.IconCells[0]), 27);
        Wheel(grid.form.ScrollBar1, -120); // and over the bar itself
        QCOMPARE(IconShownBy(grid.form.IconGrid.IconCells[0]), 139);
        Wheel(grid.form.Panel1, 60); // half a notch does nothing yet
        QCOMPARE(bar.value(), 139);
    }

    // Through the window, as the window system delivers them: Qt turns the second press
    // of a double click into a double-click event, and keys go to the focused widget.
    void doubleClicksAndKeysEndWhereTheBarStands()
    {
        GridFixture grid(500); // pages of 112, Max 389
        ShowAndOpen(grid);
        QVERIFY(QTest::qWaitForWindowActive(&grid.form));
        QScrollBar& bar = *grid.form.ScrollBar1;
        QWindow* window = grid.form.windowHandle();
        const auto pageStart = [&] { return IconShownBy(grid.form.IconGrid.IconCells[0]); };

        QTest::mouseDClick(window, Qt::LeftButton, {}, InWindow(bar, DownArrow(bar)));
        QCOMPARE(bar.value(), 225);
        QCOMPARE(pageStart(), 225);
        QTest::mouseDClick(window, Qt::LeftButton, {}, InWindow(bar, DownArrow(bar))); // again at once
        QCOMPARE(bar.value(), 389);
        QCOMPARE(pageStart(), 389);
        QTest::mouseDClick(window, Qt::LeftButton, {}, InWindow(bar, QPoint(bar.width() / 2, 40))); // the trough above the thumb
        QCOMPARE(bar.value(), 165);
        QCOMPARE(pageStart(), 165);
        // The middle button jumps to the place clicked in some styles; wherever the bar
        // ends, the page follows it.
        QTest::mouseClick(window, Qt::MiddleButton, {}, InWindow(bar, QPoint(bar.width() / 2, bar.height() - 30)));
        QCOMPARE(pageStart(), bar.value());

        // The clicks gave the bar the focus, and every rebuild leaves it there.
        QVERIFY(bar.hasFocus());
        const QList<QPair<Qt::Key, int>> keys{{Qt::Key_Home, 1},     {Qt::Key_PageDown, 113}, {Qt::Key_PageDown, 225},
                                              {Qt::Key_End, 389},    {Qt::Key_PageUp, 277},   {Qt::Key_Up, 165},
                                              {Qt::Key_Home, 1},     {Qt::Key_Down, 113}, {Qt::Key_Right, 225},
                                              {Qt::Key_Left, 113}};
        for (const auto& [key, first] : keys) {
            QTest::keyClick(window, key);
            QCOMPARE(bar.value(), first);
            QCOMPARE(pageStart(), first);
            QVERIFY(bar.hasFocus());
        }
    }

    // Qt's own menu on the bar would move it without rebuilding the page, and in English.
    void theBarHasNoMenu()
    {
        GridFixture grid(250);
        ShowAndOpen(grid);
        QVERIFY(QTest::qWaitForWindowActive(&grid.form));
        QScrollBar& bar = *grid.form.ScrollBar1;
        QTest::mouseClick(grid.form.windowHandle(), Qt::LeftButton, {}, InWindow(bar, DownArrow(bar)));
        QStringList menus;
        const auto recordMenus = [&] {
            // A menu runs its own loop; this closes it from inside, after noting its entries.
            QTimer::singleShot(0, &grid.form, [&] {
                if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                    for (QAction* entry : menu->actions())
                        menus << entry->text();
                    menu->close();
                }
            });
        };
        recordMenus();
        QTest::mouseClick(grid.form.windowHandle(), Qt::RightButton, {}, InWindow(bar, QPoint(bar.width() / 2, 60)));
        QTest::qWait(20);
        recordMenus();
        QTest::keyClick(grid.form.windowHandle(), Qt::Key_Menu);
        QTest::qWait(20);
        QCOMPARE(menus, QStringList{});
        QCOMPARE(bar.value(), 113);
        QCOMPARE(IconShownBy(grid.form.IconGrid.IconCells[0]), 113);
    }

    void copyPutsTheCellsOwnPictureOnTheClipboard()
    {
        GridFixture grid(5, {40, 40}); // shown shrunk to 34 x 34, copied at 40 x 40
        ShowAndOpen(grid);
        QGuiApplication::clipboard()->clear();
        grid.form.Copy1->setEnabled(true);
        grid.form.Copy1->trigger(); // right after Open: cell 0, though no frame shows
        QCOMPARE(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32), Picture(1, {40, 40}));

        grid.form.SelectCell(4);
        QTest::keyClick(&grid.form, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32), Picture(5, {40, 40}));
    }

    void copyAndPaintIgnoreABlankCell()
    {
        GridFixture grid(3);
        QFile::remove(grid.form.BrowseSession.TempBitmaps[1]);
        ShowAndOpen(grid);
        QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
        grid.form.Copy1Click();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("kept"));
        grid.form.Paint1Click();
        QVERIFY(!QFile::exists(ProgramFolder() + "Temp00000.bmp"));
    }

    void paintStartsTheConfiguredProgram()
    {
        // A "paint program" in a folder with a blank in its name, written unquoted.
        ArgumentRecorder paintProgram;
        const QString paint = paintProgram.Program();
        QFile settings(IniFile::SettingsPath());
        QVERIFY(settings.open(QIODevice::WriteOnly | QIODevice::Truncate));
        settings.write(("[MainForm]\nPath=" + paint + "\n").toUtf8());
        settings.close();

        GridFixture grid(5);
        ShowAndOpen(grid);
        grid.form.SelectCell(2);
        grid.form.Paint1->setEnabled(true);
        grid.form.Paint1->trigger();
        const QString handOff = ProgramFolder() + "Temp00000.bmp";
        QCOMPARE(QImage(handOff).convertToFormat(QImage::Format_RGB32), Picture(3, {34, 34}));
        QCOMPARE(paintProgram.Received(), (handOff + "\n").toUtf8());

        // A second Paint overwrites the hand-off file with the new selection.
        grid.form.SelectCell(4);
        grid.form.Paint1->trigger();
        QCOMPARE(QImage(handOff).convertToFormat(QImage::Format_RGB32), Picture(5, {34, 34}));
        QFile::remove(IniFile::SettingsPath());
    }

    void paintWithAPathThatCannotStart_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::newRow("empty") << QByteArray("");
        QTest::newRow("a directory") << QByteArray("/tmp");
        QTest::newRow("not executable") << QByteArray("/etc/hostname");
        QTest::newRow("missing") << QByteArray("/nonexistent/paint");
        QTest::newRow("quotes") << QByteArray("\"\"\" \"a\"b\" \"");
        QTest::newRow("the default") << QByteArray();
    }

    // Paint can't be started: nothing is reported, and the hand-off file is still whole.
    void paintWithAPathThatCannotStart()
    {
        QFETCH(QByteArray, path);
        QFile settings(IniFile::SettingsPath());
        QVERIFY(settings.open(QIODevice::WriteOnly | QIODevice::Truncate));
        if (!path.isNull())
            settings.write("[MainForm]\nPath=" + path + "\n");
        settings.close();
        RecordingDialogs dialogs;
        GridFixture grid(2);
        ShowAndOpen(grid);
        grid.form.Paint1Click();
        QCOMPARE(dialogs.shown, QStringList{});
        QCOMPARE(QImage(ProgramFolder() + "Temp00000.bmp").convertToFormat(QImage::Format_RGB32), Picture(1, {34, 34}));
        QFile::remove(IniFile::SettingsPath());
    }

    void paintWithAnUnwritableHandOffFile()
    {
        RecordingDialogs dialogs;
        GridFixture grid(2);
        ShowAndOpen(grid);
        SetProgramFolder(programFolder_.filePath("missing"));
        grid.form.Paint1->setEnabled(true);
        grid.form.Paint1->trigger();
        SetProgramFolder(programFolder_.path());
        QCOMPARE(dialogs.shown,
                 QStringList{"error: ファイル " + programFolder_.filePath("missing/Temp00000.bmp") + " を作成できません."});
    }
};

QTEST_MAIN(TestCellCommands)
#include "tst_cellcommands.moc"
