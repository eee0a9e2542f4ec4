// Paging with the scroll bar (mouse, keys, wheel), Copy and Paint, through the real
// handlers of the main window.
#include "app/application.h"
#include "app/commandline.h"
#include "app/iconinfodialog.h"
#include "argumentrecorder.h"
#include "gridfixture.h"
#include "grid/scrollactions.h"
#include "platform/programfolder.h"
#include "recordingdialogs.h"
#include "settings/inifile.h"
#include "skipunlessci.h"

#include <QAccessible>
#include <QClipboard>
#include <QDir>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTableWidget>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
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

QByteArray Contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The item highlighted in the menu MenuDuring saw last.
QString highlightedItem;

// The texts of the menu that pops up while act runs, which then closes it or, with
// choose, triggers that item; "none" when no menu came.
QStringList MenuDuring(const std::function<void()>& act, const QString& choose = QString())
{
    QStringList items;
    bool looked = false;
    QTimer::singleShot(50, [&] {
        looked = true;
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) {
            items << QStringLiteral("none");
            return;
        }
        highlightedItem = menu->activeAction() ? menu->activeAction()->text() : QString();
        QAction* chosen = nullptr;
        for (QAction* action : menu->actions()) {
            items << action->text();
            if (action->text() == choose)
                chosen = action;
        }
        if (chosen)
            chosen->activate(QAction::Trigger);
        menu->close();
    });
    act();
    (void)QTest::qWaitFor([&] { return looked; });
    return items;
}

// A main window with a folder of the test data opened through Open.
struct OpenedWindow {
    explicit OpenedWindow(const QString& folder)
    {
        dialogs.folderAnswers << folder;
        form.show();
        form.activateWindow();
        form.Open1->trigger();
    }
    TIconCell& Cell(int k) { return *form.IconGrid.IconCells[k]; }
    void RightClick(int k)
    {
        QTest::mouseClick(form.windowHandle(), Qt::RightButton, {}, InWindow(Cell(k), Cell(k).rect().center()));
    }
    RecordingDialogs dialogs;
    TMainForm form;
};

const QString kData = QStringLiteral(VISTREL_TEST_DATA);
const QStringList kCellMenu{QStringLiteral("コピー(&C)"), QStringLiteral("アイコンの保存(&S)..."),
                            QStringLiteral("アイコンの情報(&I)...")};
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
        QCOMPARE(menus, QStringList{});
        // The Menu key offers the selected cell's own menu, never the bar's.
        recordMenus();
        QTest::keyClick(grid.form.windowHandle(), Qt::Key_Menu);
        QTest::qWait(20);
        QCOMPARE(menus, kCellMenu);
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

    // A right click selects a cell as a left click does and offers its menu; the Menu key
    // and Shift+F10 offer it for the selected cell; a blank cell has none.
    void theCellMenu()
    {
        OpenedWindow window(kData);
        QVERIFY(QTest::qWaitForWindowActive(&window.form));
        TMainForm& form = window.form;
        QCOMPARE(MenuDuring([&] { window.RightClick(3); }), kCellMenu);
        QCOMPARE(highlightedItem, QString());
        QCOMPARE(form.IconGrid.SelectedCell, 3);
        QVERIFY(form.IconGrid.SelectionFrames[3]->isVisible());
        form.SelectCell(5);
        // Opened by a key, it starts on its first item.
        for (const QKeySequence& key : {QKeySequence(Qt::Key_Menu), QKeySequence(Qt::SHIFT | Qt::Key_F10)}) {
            QCOMPARE(MenuDuring([&] { QTest::keySequence(form.windowHandle(), key); }), kCellMenu);
            QCOMPARE(highlightedItem, kCellMenu[0]);
        }
        // Its コピー is 編集 → コピー.
        QGuiApplication::clipboard()->clear();
        MenuDuring([&] { window.RightClick(2); }, kCellMenu[0]);
        QCOMPARE(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32),
                 QImage(form.BrowseSession.TempBitmaps[3]).convertToFormat(QImage::Format_RGB32));

        QVERIFY(QFile::remove(form.BrowseSession.TempBitmaps[2]));
        form.ScrollBar1Scroll(scEndScroll, 1); // the page again, cell 1 now blank
        QCOMPARE(MenuDuring([&] { window.RightClick(1); }), QStringList{"none"});
        QCOMPARE(form.IconGrid.SelectedCell, 2);
    }

    // アイコンの保存 writes what --extract writes for the same icon, .ico and .png, for PE32,
    // PE32+ and NE files, and offers the folder it last saved to.
    void savedIconsAreTheExportedFiles()
    {
        for (const QString& folder : {kData, kData + QStringLiteral("/ne")}) {
            QTemporaryDir exported, saved;
            for (IconFormat format : {IconFormat::Ico, IconFormat::Png})
                QCOMPARE(ExtractFolder(QFile::encodeName(folder).constData(),
                                       QFile::encodeName(exported.filePath(format == IconFormat::Ico ? "ico" : "png")).constData(),
                                       format), 0);
            OpenedWindow window(folder);
            TMainForm& form = window.form;
            for (int n = 1; n <= form.BrowseSession.IconCount; ++n) {
                form.SelectCell(n - 1);
                for (const char* extension : {"ico", "png"}) {
                    const QString path = saved.filePath(QStringLiteral("%1.%2").arg(n).arg(QLatin1String(extension)));
                    window.dialogs.saveAnswers << path;
                    form.SaveIconClick();
                    const QString exportedFile = exported.filePath(QStringLiteral("%1/Icon%2.%1").arg(QLatin1String(extension)).arg(n, 5, 10, QLatin1Char('0')));
                    QVERIFY2(Contents(path) == Contents(exportedFile) && !Contents(path).isEmpty(), qPrintable(path));
                }
            }
            const IconOrigin& first = form.BrowseSession.IconOrigins[1];
            QVERIFY(window.dialogs.shown.contains(
                QStringLiteral("save: アイコンの保存 %1/%2_0.ico [アイコン ファイル (*.ico);;PNG 画像 (*.png)]")
                    .arg(QDir::homePath(), QFileInfo(first.FileName).completeBaseName())));
            QVERIFY(window.dialogs.shown.last().startsWith(QStringLiteral("save: アイコンの保存 ") + saved.path() + "/"));
        }
    }

    // A target that may not be replaced gets a message and stays as it was.
    void aSaveThatCantBeWritten()
    {
        OpenedWindow window(kData);
        QVERIFY(QTest::qWaitForWindowActive(&window.form));
        QTemporaryDir dir;
        const QString readOnly = dir.filePath(QStringLiteral("kept.ico"));
        QFile kept(readOnly);
        QVERIFY(kept.open(QIODevice::WriteOnly) && kept.write("kept") == 4);
        kept.close();
        QVERIFY(QFile::setPermissions(readOnly, QFileDevice::ReadOwner));
        const QString folderInPlace = dir.filePath(QStringLiteral("folder.png"));
        QVERIFY(QDir().mkdir(folderInPlace));
        for (const QString& target : {readOnly, folderInPlace}) {
            window.dialogs.saveAnswers << target;
            MenuDuring([&] { window.RightClick(0); }, kCellMenu[1]);
            QCOMPARE(window.dialogs.shown.last(), QStringLiteral("error: ファイル %1 を作成できません.").arg(target));
        }
        QCOMPARE(Contents(readOnly), QByteArray("kept"));
        QVERIFY(QFileInfo(folderInPlace).isDir());
        QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size(), 2);
    }

    // A file changed since the scan no longer holds the icon the user picked: saying so
    // beats saving or showing another icon under its name.
    void aFileChangedSinceTheScan()
    {
        QTemporaryDir folder;
        const QString file = folder.filePath(QStringLiteral("icons.exe"));
        QVERIFY(QFile::copy(kData + QStringLiteral("/icons.exe"), file));
        OpenedWindow window(folder.path());
        QVERIFY(QFile::remove(file) && QFile::copy(kData + QStringLiteral("/ne/old.exe"), file));
        window.dialogs.saveAnswers << folder.filePath(QStringLiteral("saved.ico"));
        MenuDuring([&] { window.RightClick(1); }, kCellMenu[1]);
        QCOMPARE(window.dialogs.shown.last(), QStringLiteral("error: icons.exe は開いた後に変更されたため、このアイコンを読めません."));
        QVERIFY(!QFile::exists(folder.filePath(QStringLiteral("saved.ico"))));
    }

    // A name typed without its extension gets the chosen format's, and a file that then
    // names is replaced only when the user says so; いいえ asks for a name again.
    void anAddedExtensionAsksBeforeReplacing()
    {
        OpenedWindow window(kData);
        QTemporaryDir dir;
        const QString typed = dir.filePath(QStringLiteral("icon"));
        QFile kept(typed + ".png");
        QVERIFY(kept.open(QIODevice::WriteOnly) && kept.write("kept") == 4);
        kept.close();
        for (const bool yes : {false, true}) {
            window.dialogs.saveAnswers << typed;
            window.dialogs.saveFilters << QStringLiteral("PNG 画像 (*.png)");
            window.dialogs.questionAnswers << yes;
            window.form.SaveIconClick();
            QCOMPARE(window.dialogs.shown.filter("question: ").size(), yes ? 2 : 1);
            QCOMPARE(window.dialogs.shown.last(), yes ? QStringLiteral("question: icon.png は既に存在します。\n置き換えますか?")
                                                      : QStringLiteral("save: アイコンの保存 %1 [アイコン ファイル (*.ico);;PNG 画像 (*.png)]").arg(typed));
            QCOMPARE(Contents(typed + ".png").startsWith("\x89PNG"), yes);
        }
    }

    // A System32 folder: an icon read from a .mun names it in the tooltip and in
    // アイコンの情報 (read again from that .mun); a file's own icons name nothing more.
    void theMunIconsComeFromIsNamed()
    {
        OpenedWindow window(kData + "/windows/Windows/System32");
        TMainForm& form = window.form;
        QStringList named;
        for (int n = 1; n <= form.BrowseSession.IconCount; ++n) {
            QString shown = QStringLiteral("-");
            int images = 0;
            window.dialogs.onModal = [&](QWidget* modal) {
                if (const auto* from = modal->findChild<QLabel*>(QStringLiteral("IconsFrom")))
                    shown = from->text();
                images = qobject_cast<TIconInfoDialog*>(modal)->Images()->rowCount();
            };
            form.SelectCell(n - 1);
            form.IconInfoClick();
            const QString tip = window.Cell(n - 1).ToolTipText().section(QStringLiteral("\nアイコンの取得元: "), 1).section(QLatin1Char('\n'), 0, 0);
            QCOMPARE(tip.isEmpty() ? QStringLiteral("-") : tip, shown);
            named << QStringLiteral("%1 %2 %3").arg(form.BrowseSession.IconOrigins[std::size_t(n)].FileName, QFileInfo(shown).fileName()).arg(images);
        }
        QCOMPARE(named, (QStringList{"notepad.exe notepad.exe.mun 1", "owner.dll - 1", "shell32.dll shell32.dll.mun 1",
                                     "shell32.dll shell32.dll.mun 2"}));
    }

    // アイコンの情報 lists the images icotool lists for the icon, and saves one alone.
    void theIconsInformation()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("icotool")).isEmpty())
            VISTREL_SKIP("icotool is missing (icoutils)");
        OpenedWindow window(kData);
        TMainForm& form = window.form;
        QTemporaryDir dir;
        QCOMPARE(ExtractFolder(QFile::encodeName(kData).constData(), QFile::encodeName(dir.path()).constData(), IconFormat::Ico), 0);
        const QMap<int, QString> colours{{1, "2 色"}, {4, "16 色"}, {8, "256 色"}, {24, "24 ビット"}, {32, "32 ビット (アルファ付き)"}};
        for (int n = 1; n <= form.BrowseSession.IconCount; ++n) {
            QProcess icotool;
            icotool.start(QStringLiteral("icotool"), {QStringLiteral("-l"), dir.filePath(QStringLiteral("Icon%1.ico").arg(n, 5, 10, QLatin1Char('0')))});
            QVERIFY(icotool.waitForFinished());
            QStringList expected;
            static const QRegularExpression entry(QStringLiteral("--width=(\\d+) --height=(\\d+) --bit-depth=(\\d+)"));
            for (const QString& line : QString::fromUtf8(icotool.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts)) {
                const QRegularExpressionMatch m = entry.match(line);
                expected << QStringLiteral("%1 × %2 %3").arg(m.captured(1), m.captured(2), colours.value(m.captured(3).toInt()));
            }
            QStringList listed;
            QString file, index, spoken;
            window.dialogs.onModal = [&](QWidget* modal) {
                auto* info = qobject_cast<TIconInfoDialog*>(modal);
                QVERIFY(info);
                QCOMPARE(info->windowTitle(), QStringLiteral("アイコンの情報"));
                file = info->findChild<QLabel*>(QStringLiteral("File"))->text();
                index = info->findChild<QLabel*>(QStringLiteral("Index"))->text();
                for (const char* value : {"File", "Index"})
                    spoken += QAccessible::queryAccessibleInterface(info->findChild<QLabel*>(value))->text(QAccessible::Name) + "|";
                for (int row = 0; row < info->Images()->rowCount(); ++row)
                    listed << info->Images()->item(row, 1)->text() + " " + info->Images()->item(row, 2)->text();
                if (n == 6) { // the 256-pixel PNG image, saved alone as it is stored
                    const int row = int(listed.indexOf(QStringLiteral("256 × 256 32 ビット (アルファ付き)")));
                    info->Images()->selectRow(row);
                    window.dialogs.saveAnswers << dir.filePath(QStringLiteral("alone.png"));
                    info->findChild<QPushButton*>(QStringLiteral("SaveImage"))->click();
                    // Ctrl+C and 画像のコピー copy it whole, with its alpha, as an image and as PNG.
                    for (const bool byKey : {true, false}) {
                        QGuiApplication::clipboard()->clear();
                        if (byKey)
                            QTest::keyClick(info->Images(), Qt::Key_C, Qt::ControlModifier);
                        else
                            info->findChild<QPushButton*>(QStringLiteral("CopyImage"))->click();
                        const QImage copied = QGuiApplication::clipboard()->image();
                        QVERIFY(copied.size() == QSize(256, 256) && copied.hasAlphaChannel());
                        QVERIFY(QGuiApplication::clipboard()->mimeData()->data("image/png").startsWith("\x89PNG"));
                    }
                    // Named to a screen reader, shown untinted while selected, and Tab leaves it.
                    const QTableWidgetItem* picture = info->Images()->item(row, 0);
                    QCOMPARE(picture->data(Qt::AccessibleTextRole).toString(), QStringLiteral("256 × 256、32 ビット (アルファ付き)"));
                    const QIcon shown = picture->data(Qt::DecorationRole).value<QIcon>();
                    QCOMPARE(shown.pixmap(256, QIcon::Selected).toImage(), shown.pixmap(256, QIcon::Normal).toImage());
                    QVERIFY(!info->Images()->accessibleName().isEmpty());
                    QVERIFY(!info->Images()->tabKeyNavigation());
                }
            };
            form.SelectCell(n - 1);
            form.IconInfoClick();
            const IconOrigin& origin = form.BrowseSession.IconOrigins[static_cast<std::size_t>(n)];
            QCOMPARE(file, origin.Folder + "/" + origin.FileName);
            QCOMPARE(index, QString::number(origin.Index));
            QCOMPARE(spoken, QStringLiteral("ファイル: %1|インデックス: %2|").arg(file, index));
            QCOMPARE(listed, expected);
        }
        QTemporaryDir png;
        QCOMPARE(ExtractFolder(QFile::encodeName(kData).constData(), QFile::encodeName(png.path()).constData(), IconFormat::Png), 0);
        QCOMPARE(Contents(dir.filePath(QStringLiteral("alone.png"))), Contents(png.filePath(QStringLiteral("Icon00006.png"))));
        QVERIFY2(window.dialogs.shown.filter(QRegularExpression("^save: 画像の保存 .*_256x256_32bit\\.png ")).size() == 1,
                 qPrintable(window.dialogs.shown.join('\n')));
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
        QTest::newRow("the default, without xdg-open") << QByteArray();
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
        const QByteArray searchPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(programFolder_.filePath("none")));
        grid.form.Paint1Click();
        qputenv("PATH", searchPath);
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
