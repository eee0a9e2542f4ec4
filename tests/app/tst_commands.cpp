// The folder commands on the real main window: Open with each of its endings, Close, Save
// and the shut-down's clean-up. The folder dialog is answered through the test seam.
#include "app/application.h"
#include "app/commandline.h"
#include "app/mainform.h"
#include "platform/programfolder.h"
#include "scan/oneicon.h"
#include "icon/tst_exeicons_pattern.h"
#include "recordingdialogs.h"
#include "settings/inifile.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <QToolTip>

#include <filesystem>

#include <sys/stat.h>

namespace {

const QString kData = QStringLiteral(VISTREL_TEST_DATA);
const QString kPrompt = QStringLiteral("folder: 希望のﾌｫﾙﾀﾞｰ名をｸﾘｯｸして、ﾌｫﾙﾀﾞｰｱｲｺﾝをｵｰﾌﾟﾝ状態にし、[OK]を押してください.");

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

mode_t ModeOf(const QString& path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// A folder holding copies of test files under the names given: "name=source".
QString MakeFolder(const QTemporaryDir& root, const QString& name, const QStringList& files)
{
    const QString folder = root.filePath(name);
    QDir().mkpath(folder);
    for (const QString& entry : files) {
        const QString target = entry.section(QLatin1Char('='), 0, 0);
        const QString source = entry.section(QLatin1Char('='), 1);
        QFile::copy(kData + QLatin1Char('/') + source, folder + QLatin1Char('/') + target);
    }
    return folder;
}

QStringList EnabledFolderCommands(const TMainForm& form)
{
    QStringList enabled;
    for (QAction* item : {form.Save1, form.Print1, form.Close1, form.Copy1, form.Paint1})
        if (item->isEnabled())
            enabled << item->objectName();
    return enabled;
}

const QStringList kAllFolderCommands{"Save1", "Print1", "Close1", "Copy1", "Paint1"};

// Rests the mouse on a widget and gives the tooltip that comes up, as plain text; empty
// when none comes up.
QString RestingToolTip(QWidget* widget)
{
    QToolTip::hideText(); // Qt lets a tooltip linger a moment after this
    if (!QTest::qWaitFor([] { return !QToolTip::isVisible(); }))
        return QStringLiteral("<an earlier tooltip stays>");
    QWindow* window = widget->window()->windowHandle();
    QTest::mouseMove(window, widget->mapTo(widget->window(), QPoint(2, 2)));
    QTest::mouseMove(window, widget->mapTo(widget->window(), QPoint(3, 3)));
    if (!QTest::qWaitFor([] { return QToolTip::isVisible(); }, 1500))
        return QString();
    QTextDocument shown;
    shown.setHtml(QToolTip::text());
    const QString text = shown.toPlainText();
    // Each line whole on a line of its own: the tip is as wide as its widest line.
    for (QWidget* topLevel : QApplication::topLevelWidgets()) {
        const auto* tip = qobject_cast<QLabel*>(topLevel);
        if (!tip || !tip->isVisible() || tip->objectName() != QLatin1String("qtooltip_label"))
            continue;
        const QFontMetrics metrics(tip->font());
        for (const QString& line : text.split(QLatin1Char('\n')))
            if (metrics.horizontalAdvance(line) > tip->contentsRect().width())
                return QStringLiteral("<wrapped: ") + line + QLatin1Char('>');
    }
    return text;
}

} // namespace

class TestCommands : public QObject {
    Q_OBJECT

    QTemporaryDir programFolder_;
    QTemporaryDir folders_;
    QString iconFolder_; // icons.exe (8 icons), icons64.dll (3 icons), two files without icons

private slots:
    void initTestCase()
    {
        InstallFontSubstitutes();
        iconFolder_ = MakeFolder(folders_, "icons", {"icons.exe=icons.exe", "icons64.dll=icons64.dll",
                                                      "noresources.exe=noresources.exe", "notes.exe=notes.exe",
                                                      "readme.txt=make-data.sh"});
    }

    void init()
    {
        SetProgramFolder(programFolder_.path());
        for (const QString& name : QDir(programFolder_.path()).entryList(QDir::Files | QDir::Hidden))
            QFile::remove(programFolder_.filePath(name));
    }

    void openShowsTheFirstPage()
    {
        RecordingDialogs dialogs;
        dialogs.folderAnswers << iconFolder_;
        TMainForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QSignalSpy status(form.StatusBar1, &QStatusBar::messageChanged);
        QStringList enabledInOrder;
        for (QAction* item : {form.Paint1, form.Copy1, form.Close1, form.Print1, form.Save1})
            connect(item, &QAction::enabledChanged, item, [&enabledInOrder, item] { enabledInOrder << item->objectName(); });
        form.Open1->trigger();

        QCOMPARE(enabledInOrder, kAllFolderCommands);
        QCOMPARE(dialogs.shown, QStringList{kPrompt});
        QCOMPARE(form.BrowseSession.FolderPath, iconFolder_);
        QCOMPARE(form.BrowseSession.ImageFileCount, 4); // readme.txt is no image file
        QCOMPARE(form.BrowseSession.IconCount, 11);
        QCOMPARE(form.windowTitle(), "Vistrel ..... " + iconFolder_);
        QCOMPARE(EnabledFolderCommands(form), kAllFolderCommands);
        QCOMPARE(form.IconGrid.LastCellIndex, 10);
        QCOMPARE(form.IconGrid.SelectedCell, 0);
        QVERIFY(form.ScrollBar1->isHidden()); // 11 icons fit on a page of 112
        for (int k = 0; k <= 10; ++k)
            QVERIFY(!form.IconGrid.SelectionFrames[k]->isVisible());
        QCOMPARE(form.StatusBar1->currentMessage(), QString());
        QVERIFY(status.contains({QStringLiteral("exe/dllファイルを解析しています。 2/4")}));

        // Every icon has its 34 x 34 bitmap beside the program, in slot n.
        for (int n = 1; n <= 11; ++n) {
            const QString path = programFolder_.filePath(QStringLiteral("Temp%1.bmp").arg(n, 5, 10, QLatin1Char('0')));
            QCOMPARE(form.BrowseSession.TempBitmaps[n], path);
            QCOMPARE(QImage(path).size(), QSize(34, 34));
        }
        QVERIFY(form.BrowseSession.TempBitmaps[0].isEmpty());
        QVERIFY(form.BrowseSession.ImageFiles[0].isEmpty());
    }

    void progressCountsTheFiles()
    {
        QStringList twelve;
        for (int i = 1; i <= 12; ++i)
            twelve << QStringLiteral("f%1.exe=noresources.exe").arg(i, 2, 10, QLatin1Char('0'));
        const QString folder = MakeFolder(folders_, "twelve", twelve);
        RecordingDialogs dialogs;
        dialogs.folderAnswers << folder;
        TMainForm form;
        QSignalSpy status(form.StatusBar1, &QStatusBar::messageChanged);
        form.Open1->trigger();
        QVERIFY(status.contains({QStringLiteral("exe/dllファイルを解析しています。 3/12")}));
        QVERIFY(status.contains({QStringLiteral("exe/dllファイルを解析しています。 12/12")}));
    }

    void openEndings_data()
    {
        QTest::addColumn<QStringList>("files"); // empty with "cancel" in the name: the dialog is cancelled
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("imageFiles");
        QTest::newRow("cancelled") << QStringList{} << true << QString() << 0;
        QTest::newRow("empty folder") << QStringList{} << false << "%1 フォルダーには、イメージファイル(exe,dll)が存在しません。" << 0;
        QTest::newRow("hidden executables only") << QStringList{".hidden.exe=icons.exe"} << false
                                                 << "%1 フォルダーには、イメージファイル(exe,dll)が存在しません。" << 0;
        QTest::newRow("no image file") << QStringList{"a.exe.txt=icons.exe", "b.ico=sizes.ico"} << false
                                       << "%1 フォルダーには、イメージファイル(exe,dll)が存在しません。" << 0;
        QTest::newRow("files without icons") << QStringList{"a.exe=noresources.exe", "B.DLL=notes.exe"} << false
                                             << "exe/dllファイルの中にアイコンが存在しません。" << 2;
    }

    // After a successful Open, each other ending leaves the shown page as it was.
    void openEndings()
    {
        QFETCH(QStringList, files);
        QFETCH(bool, cancel);
        QFETCH(QString, message);
        QFETCH(int, imageFiles);
        static int round = 0;
        const QString folder = MakeFolder(folders_, QStringLiteral("ending%1").arg(++round), files);
        QDir().mkdir(folder + "/sub.exe"); // a directory is never listed

        RecordingDialogs dialogs;
        dialogs.folderAnswers << iconFolder_;
        if (!cancel)
            dialogs.folderAnswers << folder;
        TMainForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.Open1->trigger();
        const QByteArray firstBitmap = ReadAll(form.BrowseSession.TempBitmaps[1]);
        dialogs.shown.clear();
        form.Open1->trigger();

        QCOMPARE(form.BrowseSession.FolderPath, cancel ? QString() : folder);
        QCOMPARE(form.BrowseSession.ImageFileCount, imageFiles);
        QCOMPARE(form.BrowseSession.IconCount, imageFiles ? 0 : 11);
        QCOMPARE(form.windowTitle(), "Vistrel ..... " + (imageFiles ? folder : iconFolder_));
        QStringList expected{kPrompt};
        if (!message.isEmpty())
            expected << "information: " + (message.contains("%1") ? message.arg(folder) : message);
        QCOMPARE(dialogs.shown, expected);
        // The earlier page, its bitmaps and the commands stay.
        QCOMPARE(form.IconGrid.LastCellIndex, 10);
        QCOMPARE(form.Panel1->findChildren<TIconCell*>().size(), 11);
        QCOMPARE(EnabledFolderCommands(form), kAllFolderCommands);
        QCOMPARE(ReadAll(form.BrowseSession.TempBitmaps[1]), firstBitmap);

        // The page is no longer laid out again on a resize.
        form.resize(300, 300);
        QCOMPARE(form.Panel1->findChildren<TIconCell*>().size(), imageFiles ? 0 : 11);
    }

    // A folder named on the command line goes the way of the dialog's: started with it,
    // the window opens it at once, with no dialog, and closes as after any Open.
    void startingWithAFolderOpensIt()
    {
        RecordingDialogs dialogs;
        VistrelApplication vistrel;
        TMainForm& form = *vistrel.MainForm();
        QSignalSpy status(form.StatusBar1, &QStatusBar::messageChanged);
        QString caption;
        int cells = -1;
        // The caption is set halfway through the scan; closing then waits for the page.
        connect(&form, &QWidget::windowTitleChanged, &form, [&] {
            caption = form.windowTitle();
            form.close();
        });
        connect(form.Close1, &QAction::enabledChanged, &form, [&] { cells = form.Panel1->findChildren<TIconCell*>().size(); });
        QCOMPARE(vistrel.Run(QFile::encodeName(iconFolder_)), 0);

        QCOMPARE(dialogs.shown, QStringList{});
        QCOMPARE(caption, "Vistrel ..... " + iconFolder_);
        QCOMPARE(form.BrowseSession.IconCount, 11);
        QCOMPARE(cells, 11);
        QVERIFY(status.contains({QStringLiteral("exe/dllファイルを解析しています。 4/4")}));
        QVERIFY(!QFile::exists(form.BrowseSession.TempBitmaps[1])); // cleaned up at the close
    }

    void aFolderArgumentThatIsNoFolder()
    {
        const QString file = iconFolder_ + "/icons.exe";
        const QString missing = folders_.filePath("missing");
        const QString empty = MakeFolder(folders_, "argument", {});
        RecordingDialogs dialogs;
        TMainForm form;
        form.OpenFolder(QFile::encodeName(missing));
        form.OpenFolder(QFile::encodeName(file));
        QCOMPARE(dialogs.shown, (QStringList{"information: " + missing + " フォルダーが見つかりません。",
                                             "information: " + file + " はフォルダーではありません。"}));
        // Vistrel stays as it started.
        QCOMPARE(form.windowTitle(), QStringLiteral("Vistrel"));
        QCOMPARE(form.BrowseSession.FolderPath, QString());
        QCOMPARE(EnabledFolderCommands(form), QStringList{});
        QCOMPARE(QApplication::overrideCursor(), nullptr);

        // A folder is Open's from here on, its endings included.
        dialogs.shown.clear();
        form.OpenFolder(QFile::encodeName(empty));
        QCOMPARE(dialogs.shown, QStringList{"information: " + empty + " フォルダーには、イメージファイル(exe,dll)が存在しません。"});
        QCOMPARE(form.BrowseSession.FolderPath, empty);
    }

    void eventsDuringAScanWaitForIt()
    {
        RecordingDialogs dialogs;
        dialogs.folderAnswers << iconFolder_ << iconFolder_;
        TMainForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        int iconsWhenFired = -1;
        // Runs the first time the scan lets pending messages run, after its first icon.
        QTimer::singleShot(0, &form, [&] {
            iconsWhenFired = form.BrowseSession.IconCount;
            form.resize(500, 400);
            form.Close1->setEnabled(true);
            form.Close1->trigger(); // refused
            form.Open1->trigger();  // refused: the dialog is not shown a second time
            form.close();           // carried out once the scan is done
        });
        form.Open1->trigger();
        QCOMPARE(iconsWhenFired, 1);
        QCOMPARE(dialogs.shown, QStringList{kPrompt});
        QCOMPARE(form.BrowseSession.IconCount, 11);
        QVERIFY(!form.isVisible());
        QVERIFY(form.IconGrid.ShuttingDown);
        QCOMPARE(form.Panel1->findChildren<TIconCell*>().size(), 0);
        QVERIFY(!QFile::exists(form.BrowseSession.TempBitmaps[1])); // the shut-down cleaned up
        QVERIFY(QFile::exists(IniFile::SettingsPath()));
    }

    void toolTipsNameEachIconsFileAndIndex()
    {
        // Names that differ only in case, and one that looks like markup: each shown as it is.
        const QString folder = MakeFolder(folders_, "origins", {"icons.exe=icons.exe", "ICONS.EXE=icons64.dll",
                                                                  "<b>Icons&amp;.dll=icons64.dll"});
        const QString noIcons = MakeFolder(folders_, "origins-none", {"a.exe=noresources.exe"});
        RecordingDialogs dialogs;
        dialogs.folderAnswers << folder << noIcons;
        TMainForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.Open1->trigger();
        QCOMPARE(form.BrowseSession.IconCount, 14);

        // The listing decides the files' order; each file's icons follow one another.
        // icons.exe holds 9 icon groups, the last without its image: indices 0 to 7 of 9.
        const QMap<QString, QPair<int, int>> drawnOfCount{{"icons.exe", {8, 9}}, {"ICONS.EXE", {3, 3}}, {"<b>Icons&amp;.dll", {3, 3}}};
        QList<IconOrigin> origins{{}}; // by icon number, from 1
        for (int k = 1; k <= form.BrowseSession.ImageFileCount; ++k) {
            const QString name = form.BrowseSession.ImageFiles[k];
            for (int index = 0; index < drawnOfCount[name].first; ++index)
                origins.append({folder, name, index, drawnOfCount[name].second, {}, 0});
        }
        const auto expected = [&](int icon, const QString& folderLine = {}) {
            return QStringLiteral("ファイル: %1\n%2インデックス: %3 (全 %4 個中)")
                .arg(origins[icon].FileName, folderLine, QString::number(origins[icon].Index), QString::number(origins[icon].Count));
        };
        QCOMPARE(origins.size(), 15);
        for (int n = 1; n <= 14; ++n) {
            const IconOrigin& scanned = form.BrowseSession.IconOrigins[n];
            QVERIFY2(scanned.Folder == origins[n].Folder && scanned.FileName == origins[n].FileName
                         && scanned.Index == origins[n].Index && scanned.Count == origins[n].Count,
                     qPrintable(QString::number(n)));
        }
        for (int cell : {0, 3, 8, 11})
            QCOMPARE(RestingToolTip(form.IconGrid.IconCells[cell]), expected(1 + cell));

        // A page of 4 x 2 cells, one page down: the tooltips go with the icons.
        form.resize(16 + 51 * 4 + 10, form.menuBar()->height() + 19 + 16 + 52 * 2 + 10);
        QCOMPARE(form.IconGrid.PageCells(), 8);
        QTest::keyClick(form.ScrollBar1, Qt::Key_PageDown);
        QCOMPARE(form.ScrollBar1->value(), 7);
        for (int cell : {0, 7})
            QCOMPARE(RestingToolTip(form.IconGrid.IconCells[cell]), expected(7 + cell));

        // A blank cell has none.
        QVERIFY(QFile::remove(form.BrowseSession.TempBitmaps[9]));
        QTest::keyClick(form.ScrollBar1, Qt::Key_End);
        QVERIFY(!form.IconGrid.IconCells[2]->isEnabled());
        QCOMPARE(RestingToolTip(form.IconGrid.IconCells[2]), QString());

        // An Open that finds no icons leaves the page under the new folder's caption: the
        // tooltips name their folder.
        form.Open1->trigger();
        QCOMPARE(form.windowTitle(), "Vistrel ..... " + noIcons);
        QCOMPARE(RestingToolTip(form.IconGrid.IconCells[7]), expected(14, "フォルダー: " + folder + "\n"));
    }

    void aClickWhileOpenBuildsThePageLeavesNoFrame()
    {
        RecordingDialogs dialogs;
        dialogs.folderAnswers << iconFolder_;
        TMainForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const auto visibleFrames = [&] {
            QList<int> visible;
            for (int k = 0; k <= form.IconGrid.LastCellIndex; ++k)
                if (form.IconGrid.SelectionFrames[k] && form.IconGrid.SelectionFrames[k]->isVisible())
                    visible << k;
            return visible;
        };
        const auto click = [&](int cell) {
            QTest::mouseClick(form.windowHandle(), Qt::LeftButton, {}, form.IconGrid.IconCells[cell]->mapTo(&form, QPoint(5, 5)));
        };
        // Clicks cell 3 as soon as the page being built has placed it.
        bool clicked = false;
        QTimer clicker;
        connect(&clicker, &QTimer::timeout, &form, [&] {
            if (!clicked && form.IsBusy() && form.IconGrid.IconCells[3] && form.IconGrid.IconCells[3]->isVisible()) {
                clicked = true;
                click(3);
                QCOMPARE(visibleFrames(), QList<int>{3});
            }
        });
        clicker.start(0);
        form.Open1->trigger();
        clicker.stop();
        QVERIFY(clicked);
        QCOMPARE(form.IconGrid.SelectedCell, 0);
        QCOMPARE(visibleFrames(), QList<int>{});
        click(5);
        QCOMPARE(visibleFrames(), QList<int>{5});
    }

    void awkwardNamesAndAFileThatVanishes()
    {
        const QString folder = MakeFolder(folders_, "awkward", {"with space.exe=icons64.dll", "quote\"d'.dll=icons64.dll",
                                                                 "アイコン.exe=icons64.dll", "gone.exe=icons64.dll"});
        const QByteArray latin1Name = QByteArray("caf\xe9.dll"); // not UTF-8
        std::filesystem::copy_file((kData + "/icons64.dll").toStdString(), (QFile::encodeName(folder) + "/" + latin1Name).toStdString());
        RecordingDialogs dialogs;
        dialogs.folderAnswers << folder;
        TMainForm form;
        // The file goes after the listing, as the first icon is stored.
        QTimer::singleShot(0, &form, [&] { QFile::remove(folder + "/gone.exe"); });
        form.Open1->trigger();
        QCOMPARE(form.BrowseSession.ImageFileCount, 5);
        QVERIFY(form.BrowseSession.IconCount == 12 || form.BrowseSession.IconCount == 15);
        QCOMPARE(dialogs.shown, QStringList{kPrompt});
        for (int n = 1; n <= form.BrowseSession.IconCount; ++n)
            QCOMPARE(QImage(form.BrowseSession.TempBitmaps[n]).size(), QSize(34, 34));
    }

    // Names that are not UTF-8, as archives from Japanese or older Windows leave them: every
    // icon is taken, and the name is shown as its text, not lost; the tooltip escapes controls.
    void namesThatAreNotUtf8_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("tip"); // the name in the tooltip, when not as shown
        QTest::newRow("Shift_JIS") << QByteArray("\x83\x41\x83\x43\x83\x52\x83\x93.exe") << "アイコン.exe" << "";
        QTest::newRow("half-width katakana") << QByteArray("\xB1\xB2\xB3\xB4\xB5.exe") << "ｱｲｳｴｵ.exe" << "";
        QTest::newRow("Latin-1") << QByteArray("caf\xe9.exe") << "caf\\xE9.exe" << "";
        QTest::newRow("newline, escape, override") << QByteArray("a\nb\x1b[2J\xE2\x80\xAEtxt.exe")
                                                   << "a\nb\x1b[2J\u202Etxt.exe" << "a\\x0Ab\\x1B[2J\\u202Etxt.exe";
        QTest::newRow("isolate, marks") << QByteArray("\xE2\x81\xA7" "a\xE2\x80\x8F\xD8\x9C.exe") << "\u2067a\u200F\u061C.exe"
                                        << "\\u2067a\\u200F\\u061C.exe";
    }

    void namesThatAreNotUtf8()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, shown);
        QFETCH(QString, tip);
        QTemporaryDir folder;
        std::filesystem::copy_file((kData + "/icons.exe").toStdString(), (QFile::encodeName(folder.path()) + '/' + name).toStdString());
        RecordingDialogs dialogs;
        dialogs.folderAnswers << folder.path();
        TMainForm form;
        form.show();
        form.Open1->trigger();
        QCOMPARE(form.BrowseSession.IconCount, 8);
        QCOMPARE(form.BrowseSession.ImageFiles[1], shown);
        QCOMPARE(RestingToolTip(form.IconGrid.IconCells[7]),
                 QStringLiteral("ファイル: %1\nインデックス: 7 (全 9 個中)").arg(tip.isEmpty() ? shown : tip));
        QVERIFY(!IconFileFor(form.BrowseSession.IconOrigins[8], IconFormat::Ico).isEmpty()); // the cell menu reads it too
    }

    void aFileCutShortDuringTheScan()
    {
        const QString folder = MakeFolder(folders_, "cut", {"a.exe=icons.exe", "b.dll=icons64.dll", "c.dll=icons64.dll",
                                                             "d.dll=icons64.dll", "e.dll=icons64.dll", "f.exe=icons.exe"});
        RecordingDialogs dialogs;
        dialogs.folderAnswers << folder;
        TMainForm form;
        // After the first icon is stored, the last file, not read yet, is cut back to its
        // headers, as a copy over it or a share that drops would do: its icons are gone,
        // the scan goes on.
        QTimer::singleShot(0, &form, [&] { QVERIFY(QFile::resize(folder + "/f.exe", 0x400)); });
        form.Open1->trigger();
        QCOMPARE(form.BrowseSession.IconCount, 8 + 4 * 3);
        QVERIFY(form.IconGrid.LastCellIndex >= 0);
        const QString difference = FirstDifference(QImage(form.BrowseSession.TempBitmaps[1]), ExpectedBitmap({32, 32, 32, 8, true}));
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }

    void aFolderThatVanishesAfterTheDialog()
    {
        QTemporaryDir gone;
        const QString folder = gone.path();
        gone.remove();
        RecordingDialogs dialogs;
        dialogs.folderAnswers << folder;
        TMainForm form;
        form.Open1->trigger();
        QCOMPARE(dialogs.shown.last(), "information: " + folder + " フォルダーには、イメージファイル(exe,dll)が存在しません。");
    }

    void unwritableBitmapEndsTheScan()
    {
        RecordingDialogs dialogs;
        dialogs.folderAnswers << iconFolder_;
        SetProgramFolder(programFolder_.filePath("missing"));
        TMainForm form;
        form.Open1->trigger();
        const QString path = programFolder_.filePath("missing/Temp00001.bmp");
        QCOMPARE(dialogs.shown, (QStringList{kPrompt, "error: ファイル " + path + " を作成できません."}));
        // The icon whose bitmap failed is not counted: its slot would name a stale bitmap.
        QCOMPARE(form.BrowseSession.IconCount, 0);
        QVERIFY(form.BrowseSession.TempBitmaps[1].isEmpty());
        QCOMPARE(EnabledFolderCommands(form), QStringList{});
        QCOMPARE(form.IconGrid.LastCellIndex, 0); // no page was built
        QCOMPARE(form.StatusBar1->currentMessage(), QString());
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    void closeReturnsToTheStartState()
    {
        RecordingDialogs dialogs;
        dialogs.folderAnswers << iconFolder_ << iconFolder_;
        TMainForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.Open1->trigger();
        form.ScrollBar1->show();
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        form.ScrollBar1->setFocus();
        form.Close1->trigger();
        // The keys leave the hidden bar, and one that still reaches it shows no page.
        QVERIFY(!form.ScrollBar1->hasFocus());
        QTest::keyClick(form.ScrollBar1, Qt::Key_PageDown);
        QTest::keyClick(form.ScrollBar1, Qt::Key_Down);
        QCOMPARE(form.Panel1->findChildren<TIconCell*>().size(), 0);
        QCOMPARE(form.Panel1->findChildren<TSelectionFrame*>().size(), 0);
        QVERIFY(form.ScrollBar1->isHidden());
        QCOMPARE(form.windowTitle(), QStringLiteral("Vistrel"));
        QCOMPARE(EnabledFolderCommands(form), QStringList{});
        QCOMPARE(form.IconGrid.LastCellIndex, -1);
        QCOMPARE(form.BrowseSession.ImageFileCount, 0);
        QCOMPARE(form.BrowseSession.IconCount, 11); // the rest of the session stays
        QVERIFY(QFile::exists(form.BrowseSession.TempBitmaps[1]));

        form.showMaximized();
        form.resize(900, 700);
        QCOMPARE(form.Panel1->findChildren<TIconCell*>().size(), 0);
        QVERIFY(form.ScrollBar1->isHidden());

        form.Open1->trigger();
        QCOMPARE(form.Panel1->findChildren<TIconCell*>().size(), 11);
        QCOMPARE(EnabledFolderCommands(form), kAllFolderCommands);
    }

    void saveCopiesEveryBitmap()
    {
        QTemporaryDir target;
        RecordingDialogs dialogs;
        dialogs.folderAnswers << iconFolder_ << target.path() << target.path();
        TMainForm form;
        form.Open1->trigger();
        QFile::remove(form.BrowseSession.TempBitmaps[4]); // deleted behind the program's back
        QFile stale(target.filePath("Icon00012.bmp"));   // from an earlier, larger save
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.write("stale");
        stale.close();

        form.Save1->trigger();
        form.Save1->trigger(); // replaces without asking
        QCOMPARE(form.BrowseSession.SaveFolderPath, target.path());
        for (int k = 1; k <= 11; ++k) {
            const QString saved = target.filePath(QStringLiteral("Icon%1.bmp").arg(k, 5, 10, QLatin1Char('0')));
            if (k == 4)
                QVERIFY(!QFile::exists(saved));
            else
                QCOMPARE(ReadAll(saved), ReadAll(form.BrowseSession.TempBitmaps[k]));
        }
        QCOMPARE(ReadAll(target.filePath("Icon00012.bmp")), QByteArray("stale"));
        QCOMPARE(QDir(target.path()).entryList(QDir::Files | QDir::Hidden).size(), 11); // nothing half-written
        QCOMPARE(dialogs.shown.count(kPrompt), 3);
    }

    void saveAfterAnOpenWithoutIcons()
    {
        QTemporaryDir target;
        const QString noIcons = MakeFolder(folders_, "noicons", {"a.exe=noresources.exe"});
        RecordingDialogs dialogs;
        dialogs.folderAnswers << iconFolder_ << noIcons << target.path();
        TMainForm form;
        form.Open1->trigger();
        form.Open1->trigger();
        QVERIFY(form.Save1->isEnabled());
        form.Save1->trigger();
        QCOMPARE(dialogs.shown.count(kPrompt), 3);
        QVERIFY(QDir(target.path()).isEmpty());

        dialogs.folderAnswers.clear(); // Cancel
        form.Save1->trigger();
        QCOMPARE(form.BrowseSession.SaveFolderPath, QString());
    }

    void saveLeavesWhatItMayNotWriteAlone()
    {
        QTemporaryDir target;
        const QString gone = target.filePath("gone");
        const QString readOnly = target.filePath("readonly");
        const QString open = target.filePath("open");
        const auto writeFile = [](const QString& path, QFileDevice::Permissions permissions) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("kept");
            file.close();
            QVERIFY(file.setPermissions(permissions));
        };
        // A read-only folder, and in a writable one a read-only file, a file others may
        // write, and a link to a file elsewhere.
        QVERIFY(QDir().mkdir(readOnly) && QDir().mkdir(open));
        writeFile(readOnly + "/Icon00001.bmp", QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QVERIFY(QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        writeFile(open + "/Icon00001.bmp", QFileDevice::ReadOwner);
        writeFile(open + "/Icon00002.bmp", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther
                                               | QFileDevice::WriteOther);
        writeFile(target.filePath("linked.bmp"), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QVERIFY(QFile::link(target.filePath("linked.bmp"), open + "/Icon00003.bmp"));

        RecordingDialogs dialogs;
        dialogs.folderAnswers << iconFolder_ << gone << readOnly << open;
        TMainForm form;
        form.Open1->trigger();
        {
            const mode_t oldMask = ::umask(027);
            const auto restoreMask = qScopeGuard([oldMask] { ::umask(oldMask); });
            for (int save = 0; save < 3; ++save)
                form.Save1->trigger();
        }
        QCOMPARE(dialogs.shown, (QStringList{kPrompt, kPrompt, kPrompt, kPrompt})); // nothing reported
        QVERIFY(!QFileInfo::exists(gone));
        // Judged by the permission bits, even for root.
        QCOMPARE(QDir(readOnly).entryList(QDir::Files | QDir::Hidden), QStringList{"Icon00001.bmp"});
        QCOMPARE(ReadAll(readOnly + "/Icon00001.bmp"), QByteArray("kept"));
        QVERIFY(QFile::setPermissions(readOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));

        const auto saved = [&](int k) { return open + QStringLiteral("/Icon%1.bmp").arg(k, 5, 10, QLatin1Char('0')); };
        QCOMPARE(ReadAll(saved(1)), QByteArray("kept"));
        QCOMPARE(ModeOf(saved(1)), mode_t(0400));
        QCOMPARE(ReadAll(saved(2)), ReadAll(form.BrowseSession.TempBitmaps[2]));
        QCOMPARE(ModeOf(saved(2)), mode_t(0606)); // a replaced file keeps its permissions
        // A link is replaced by a file of its own, never written through.
        QVERIFY(!QFileInfo(saved(3)).isSymLink());
        QCOMPARE(ReadAll(saved(3)), ReadAll(form.BrowseSession.TempBitmaps[3]));
        QCOMPARE(ReadAll(target.filePath("linked.bmp")), QByteArray("kept"));
        for (int k = 4; k <= 11; ++k) {
            QCOMPARE(ReadAll(saved(k)), ReadAll(form.BrowseSession.TempBitmaps[k]));
            QCOMPARE(ModeOf(saved(k)), mode_t(0640)); // new files follow the umask
        }
        QCOMPARE(QDir(open).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 11); // nothing half-written
    }

    // What a user or an attacker may leave in the place of the first numbered file: nothing
    // outside the folder changes, a link is replaced by a file of the folder's own, and
    // what is no file is passed over without hanging. Save, --extract and the temporary
    // bitmaps of Open alike.
    void hostileTargets_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("target"); // what holds the name: "link:TARGET", "fifo" or "folder"
        QTest::addColumn<bool>("replaced");  // by a file of its own holding the icon; else left as it is
        for (const char* how : {"save", "extract", "open"}) {
            QTest::addRow("%s: link to a file outside", how) << how << "link:../victim/bashrc" << true;
            QTest::addRow("%s: dangling link", how) << how << "link:<victim>/newfile" << true;
            QTest::addRow("%s: link to a folder", how) << how << "link:../victim" << true;
        }
        for (const char* how : {"save", "extract"}) {
            QTest::addRow("%s: FIFO", how) << how << "fifo" << false;
            QTest::addRow("%s: folder", how) << how << "folder" << false;
        }
    }

    void hostileTargets()
    {
        QFETCH(QString, how);
        QFETCH(QString, target);
        QFETCH(bool, replaced);
        QTemporaryDir root;
        const QString victim = root.filePath("victim");
        const QString out = how == "open" ? root.filePath("program") : root.filePath("out");
        QVERIFY(QDir().mkpath(victim) && QDir().mkpath(out));
        QFile precious(victim + "/bashrc");
        QVERIFY(precious.open(QIODevice::WriteOnly) && precious.write("precious") == 8);
        precious.close();
        const QString first = out + (how == "open" ? "/Temp00001.bmp" : "/Icon00001.bmp");
        if (target.startsWith("link:"))
            QVERIFY(QFile::link(target.mid(5).replace("<victim>", victim), first));
        else if (target == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(first).constData(), 0666), 0);
        else
            QVERIFY(QDir().mkdir(first));
        const auto outside = [&] {
            QStringList seen;
            for (const QFileInfo& entry : QDir(victim).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
                seen << entry.fileName() + "=" + ReadAll(entry.filePath());
            return seen;
        };
        const QStringList before = outside();

        if (how == "extract") {
            QCOMPARE(ExtractFolder(QFile::encodeName(iconFolder_).constData(), QFile::encodeName(out).constData()), replaced ? 0 : 2);
        } else {
            SetProgramFolder(how == "open" ? out : programFolder_.path());
            RecordingDialogs dialogs;
            dialogs.folderAnswers << iconFolder_ << out;
            TMainForm form;
            form.Open1->trigger();
            if (how == "save")
                form.Save1->trigger();
            QCOMPARE(dialogs.shown.count(kPrompt), how == "save" ? 2 : 1); // and no message
        }
        QCOMPARE(outside(), before);
        const QFileInfo result(first);
        QCOMPARE(result.isFile() && !result.isSymLink(), replaced);
        if (replaced)
            QCOMPARE(QImage(first).size(), QSize(34, 34));
        QCOMPARE(QImage(QString(first).replace("00001", "00002")).size(), QSize(34, 34)); // the rest is written
        QCOMPARE(QDir(out).entryList({".*"}, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList()); // nothing half-made left
    }

    void shutDownDeletesTheTemporaryBitmaps()
    {
        const QStringList deleted{"Temp00001.bmp", "TEMP00002.BMP", "templates.bmp", "Temp00000.bmp"};
        const QStringList kept{"mytemp.bmp", "Icon00001.bmp", ".Temp00003.bmp", "Temp00004.bmp.txt"};
        for (const QString& name : deleted + kept) {
            QFile file(programFolder_.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QVERIFY(QDir().mkdir(programFolder_.filePath("temp.bmp")));

        TMainForm form; // Exit without ever opening a folder
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.Exit1->trigger();
        QVERIFY(!form.isVisible());
        QVERIFY(form.IconGrid.ShuttingDown);
        QCOMPARE(form.StatusBar1->currentMessage(), QStringLiteral("Tempファイルを削除しています。"));
        for (const QString& name : deleted)
            QVERIFY2(!QFile::exists(programFolder_.filePath(name)), qPrintable(name));
        for (const QString& name : kept)
            QVERIFY2(QFile::exists(programFolder_.filePath(name)), qPrintable(name));
        QVERIFY(QFileInfo(programFolder_.filePath("temp.bmp")).isDir());
        QVERIFY(QDir().rmdir(programFolder_.filePath("temp.bmp")));

        // The geometry went into the settings file.
        const QByteArray settings = ReadAll(IniFile::SettingsPath());
        QCOMPARE(settings, QByteArray("[MainForm]\nTop=107\nLeft=200\nHeight=480\nWidth=696\n"));
    }

    // Where the program's folder takes no files (a system-wide install), the settings and
    // the bitmaps, the paint program's hand-off too, live in the user's XDG folders and
    // are cleaned up there.
    void aClosedProgramFolderIsLeftAlone()
    {
        QTemporaryDir user;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(user.filePath("config")));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(user.filePath("cache")));
        const QString program = programFolder_.path();
        QVERIFY(QFile::setPermissions(program, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        const auto restore = qScopeGuard([program] {
            QFile::setPermissions(program, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            qunsetenv("XDG_CONFIG_HOME");
            qunsetenv("XDG_CACHE_HOME");
        });
        const QString cache = user.filePath("cache/vistrel/");

        RecordingDialogs dialogs;
        dialogs.folderAnswers << iconFolder_;
        TMainForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.Open1->trigger();
        form.Paint1->trigger();
        QCOMPARE(form.BrowseSession.TempBitmaps[11], cache + "Temp00011.bmp");
        QCOMPARE(QImage(cache + "Temp00011.bmp").size(), QSize(34, 34));
        QCOMPARE(QImage(cache + "Temp00000.bmp").size(), QSize(34, 34));

        form.Exit1->trigger();
        QVERIFY(!form.isVisible());
        QCOMPARE(dialogs.shown, QStringList{kPrompt});
        QCOMPARE(ReadAll(user.filePath("config/vistrel/Vistrel.ini")),
                 QByteArray("[MainForm]\nTop=107\nLeft=200\nHeight=480\nWidth=696\n"));
        QCOMPARE(QDir(cache).entryList(QDir::Files | QDir::Hidden), QStringList{});
        QCOMPARE(QDir(program).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList{});
    }

    void readOnlySettingsKeepTheProgramOpen()
    {
        QFile settings(IniFile::SettingsPath());
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write("[MainForm]\nTop=7\n");
        settings.close();
        QVERIFY(settings.setPermissions(QFileDevice::ReadOwner));

        RecordingDialogs dialogs;
        dialogs.folderAnswers << iconFolder_;
        TMainForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.Open1->trigger();
        form.Exit1->trigger();
        QVERIFY(form.isVisible());
        QCOMPARE(dialogs.shown.last(), "error: " + IniFile::SettingsPath() + " に書き込めません.");
        QCOMPARE(form.Panel1->findChildren<TIconCell*>().size(), 11);
        QVERIFY(!form.IconGrid.ShuttingDown);
        QVERIFY(QFile::exists(form.BrowseSession.TempBitmaps[1]));
        QCOMPARE(ReadAll(IniFile::SettingsPath()), QByteArray("[MainForm]\nTop=7\n"));

        form.close(); // each further attempt the same
        QVERIFY(form.isVisible());
        QCOMPARE(dialogs.shown.count("error: " + IniFile::SettingsPath() + " に書き込めません."), 2);
        QVERIFY(settings.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    }
};

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
