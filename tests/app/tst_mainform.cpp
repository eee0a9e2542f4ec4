// The main window as the user meets it: menus, hints, stored geometry, the error box
// and the version dialog, driven through the real handlers.
#include "app/aboutbox.h"
#include "app/application.h"
#include "app/mainform.h"
#include "englishtexts.h"
#include "print/reportform.h"
#include "platform/programfolder.h"
#include "recordingdialogs.h"
#include "settings/inifile.h"

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <qpa/qwindowsysteminterface.h>
#include <QRegularExpression>
#include <QTreeView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {
void WriteSettings(const QByteArray& bytes)
{
    QFile file(IniFile::SettingsPath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}
} // namespace

class TestMainForm : public QObject {
    Q_OBJECT

    QTemporaryDir folder_;

private slots:
    void initTestCase() { InstallFontSubstitutes(); }

    void init()
    {
        SetProgramFolder(folder_.path());
        QFile::remove(IniFile::SettingsPath());
    }

    void menuTable_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("hint");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("File1") << "File1" << "ファイル(&F)" << "ファイル関連メニュー" << true;
        QTest::newRow("Open1") << "Open1" << "開く(&O)..." << "フォルダー選択ダイアログボックスを表示します。" << true;
        QTest::newRow("Close1") << "Close1" << "閉じる(&C)" << "現在表示されているexe/dllファイルを閉じます。" << false;
        QTest::newRow("Save1") << "Save1" << "保存(&S)..."
                               << "現在、表示されているフォルダー内のexe/dllファイルのアイコンをビットマップ形式で保存します。" << false;
        QTest::newRow("Print1") << "Print1" << "印刷(&P)..."
                                << "現在、表示されているフォルダー内のexe/dllファイルのアイコンを一覧形式で印刷します。" << false;
        QTest::newRow("PrintSetup1") << "PrintSetup1" << "プリンタ設定(&R)..." << "プリンタ設定ダイアログボックスを表示します。" << true;
        QTest::newRow("Exit1") << "Exit1" << "終了(&X)" << "アプリケーションを終了します。" << true;
        QTest::newRow("Edit") << "Edit" << "編集(&E)" << "編集関連メニュー" << true;
        QTest::newRow("Copy1") << "Copy1" << "コピー(&C)" << "選択されたアイコンをクリップボードにコピーします。" << false;
        QTest::newRow("Show1") << "Show1" << "表示(&V)" << "表示関連メニュー" << true;
        QTest::newRow("Paint1") << "Paint1" << "ペイント(&P)..." << "ペイントを起動します。" << false;
        QTest::newRow("Help_Menu") << "Help_Menu" << "ヘルプ(&H)" << "ヘルプ関連メニュー" << true;
        QTest::newRow("About_HelpMenu") << "About_HelpMenu" << "バージョン情報(&A)..."
                                        << "アプリケーションのバージョン情報ダイアログボックスを表示します。" << true;
    }

    void menuTable()
    {
        QFETCH(QString, item);
        QFETCH(QString, caption);
        QFETCH(QString, hint);
        QFETCH(bool, enabled);
        TMainForm form;
        const QList<QAction*> all = form.findChildren<QAction*>(item);
        QVERIFY2(!all.isEmpty(), qPrintable(item));
        QAction* action = all.first();
        QCOMPARE(action->text(), caption);
        QCOMPARE(action->statusTip(), hint);
        QCOMPARE(action->isEnabled(), enabled);
    }

    void menuOrderAndShortcut()
    {
        TMainForm form;
        QStringList titles;
        for (QAction* title : form.menuBar()->actions())
            titles << title->text();
        QCOMPARE(titles, (QStringList{"ファイル(&F)", "編集(&E)", "表示(&V)", "ヘルプ(&H)"}));
        QStringList fileItems;
        for (QAction* item : form.File1->actions())
            fileItems << (item->isSeparator() ? QStringLiteral("-") : item->objectName());
        QCOMPARE(fileItems, (QStringList{"Open1", "Close1", "Save1", "-", "Print1", "PrintSetup1", "-", "Exit1"}));
        QCOMPARE(form.Copy1->shortcut(), QKeySequence(QStringLiteral("Ctrl+C")));
        QCOMPARE(form.Paint1->shortcut(), QKeySequence());
    }

    void ctrlCDoesNothingAtStart()
    {
        TMainForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QSignalSpy copies(form.Copy1, &QAction::triggered);
        QTest::keyClick(&form, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(copies.count(), 0);
        form.Copy1->setEnabled(true); // the same keys do reach an enabled Copy
        QTest::keyClick(&form, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(copies.count(), 1);
    }

    void controlsAsDesigned()
    {
        TMainForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.windowTitle(), QStringLiteral("Vistrel"));
        QCOMPARE(form.StatusBar1->height(), 19);
        QCOMPARE(form.StatusBar1->width(), form.width());
        QCOMPARE(form.StatusBar1->geometry().bottom(), form.height() - 1);
        QCOMPARE(form.Panel1->geometry().bottom() + 1, form.StatusBar1->geometry().top());
        QCOMPARE(form.Panel1->geometry().top(), form.menuBar()->geometry().bottom() + 1);
        QCOMPARE(form.Panel1->width(), form.width());
        QVERIFY(form.ScrollBar1->isHidden());
        QCOMPARE(form.ScrollBar1->minimum(), 1);
        QCOMPARE(form.ScrollBar1->maximum(), 100);
        QCOMPARE(form.ScrollBar1->value(), 1);
        QCOMPARE(form.ScrollBar1->singleStep(), 5);
        QCOMPARE(form.ScrollBar1->pageStep(), 5);
        QCOMPARE(form.ScrollBar1->orientation(), Qt::Vertical);
        form.ScrollBar1->show();
        QCOMPARE(form.ScrollBar1->geometry(),
                 QRect(form.Panel1->width() - 2 - 16, 2, 16, form.Panel1->height() - 4));
        QVERIFY(form.Image1->isHidden());
        QCOMPARE(form.Image1->geometry(), QRect(584, 372, 34, 34));
        QCOMPARE(form.Panel1->grab().toImage().pixelColor(form.Panel1->width() / 2, form.Panel1->height() / 2),
                 QColor(Qt::white));
        // The window font is the Japanese gothic, not a Latin fallback.
        QCOMPARE(QFontInfo(form.font()).family(), QStringLiteral("Monapo"));
        QCOMPARE(QFontInfo(form.font()).pixelSize(), 12);
    }

    void defaultGeometryWithoutSettings()
    {
        TMainForm form;
        QCOMPARE(form.frameGeometry(), QRect(200, 107, 696, 480));
        // Once shown, the window is fitted to the frame the platform puts around it.
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QTRY_COMPARE(form.frameGeometry(), QRect(200, 107, 696, 480));
        QVERIFY(!QFile::exists(IniFile::SettingsPath()));
    }

    void storedGeometryIsApplied()
    {
        WriteSettings("[MainForm]\nTop=20\nLeft=30\nHeight=400\nWidth=500\n");
        TMainForm form;
        QCOMPARE(form.frameGeometry(), QRect(30, 20, 500, 400));
    }

    void badStoredValueShowsTheErrorBoxAndKeepsTheRest()
    {
        RecordingDialogs dialogs;
        WriteSettings("[MainForm]\nTop=20\nLeft=30\nHeight=4OO\nWidth=500\n");
        TMainForm form;
        QCOMPARE(dialogs.shown, QStringList{"error: '4OO' は整数ではありません."});
        // Top and Left applied; height and width as designed (client 775 x 494 below the menu bar).
        QCOMPARE(form.frameGeometry().topLeft(), QPoint(30, 20));
        QCOMPARE(form.width(), 775);
        QCOMPARE(form.height() - form.menuBar()->sizeHint().height(), 494);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
    }

    void hintsReachTheStatusBar()
    {
        TMainForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        form.StatusBar1->showMessage(QStringLiteral("進行中")); // text written directly stays until the hint changes

        // Opening the File menu highlights its title, which shows the title's hint.
        QMenuBar* bar = form.menuBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(form.File1->menuAction()).center());
        QTRY_VERIFY(form.File1->isVisible());
        QTRY_COMPARE(form.StatusBar1->currentMessage(), QStringLiteral("ファイル関連メニュー"));

        // Highlighting an item shows the item's hint.
        QTest::mouseMove(form.File1, form.File1->actionGeometry(form.Exit1).center());
        QTRY_COMPARE(form.StatusBar1->currentMessage(), QStringLiteral("アプリケーションを終了します。"));

        // Leaving the menu empties the status bar.
        QTest::keyClick(form.File1, Qt::Key_Escape);
        QTest::keyClick(bar, Qt::Key_Escape);
        QTRY_VERIFY(!form.File1->isVisible());
        QTRY_COMPARE(form.StatusBar1->currentMessage(), QString());
    }

    void displayHintCopiesOnlyChanges()
    {
        TMainForm form;
        form.SetCurrentHint(QStringLiteral("a"));
        QCOMPARE(form.StatusBar1->currentMessage(), QStringLiteral("a"));
        form.StatusBar1->showMessage(QStringLiteral("exe/dllファイルを解析しています。 1/2"));
        form.SetCurrentHint(QStringLiteral("a")); // no change: the progress text stays
        QCOMPARE(form.StatusBar1->currentMessage(), QStringLiteral("exe/dllファイルを解析しています。 1/2"));
        form.SetCurrentHint(QString());
        QCOMPARE(form.StatusBar1->currentMessage(), QString());
    }

    void saveTargets_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("filter");
        const QString pdf = "PDF ファイル (*.pdf)";
        QTest::newRow("no extension takes the chosen filter's") << "/d/x" << pdf << "/d/x.pdf" << 1;
        QTest::newRow("an offered extension wins over the filter") << "/d/x.vrp" << pdf << "/d/x.vrp" << 0;
        QTest::newRow("in any case") << "/d/x.PDF" << "" << "/d/x.PDF" << 1;
        QTest::newRow("another extension is part of the name") << "/d/x.old" << pdf << "/d/x.old.pdf" << 1;
        QTest::newRow("a dot folder is no extension") << "/d.vrp/x" << "" << "/d.vrp/x.vrp" << 0;
        QTest::newRow("a filter not offered counts as the first") << "/d/x" << "Other (*.txt)" << "/d/x.vrp" << 0;
    }

    // The one rule of every save dialog's answer.
    void saveTargets()
    {
        QFETCH(QString, typed);
        QFETCH(QString, chosen);
        QFETCH(QString, path);
        QFETCH(int, filter);
        QCOMPARE(ResolveSaveTarget(typed, {"Vistrel レポート (*.vrp)", "PDF ファイル (*.pdf)"}, chosen), (SaveTarget{path, filter}));
    }

    void exitClosesTheWindow()
    {
        TMainForm form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.Exit1->trigger();
        QVERIFY(!form.isVisible());
    }

    void aboutBoxClosesWithEnterAndOpensAgain()
    {
        VistrelApplication application;
        TMainForm* form = application.MainForm();
        TAboutBox* about = application.AboutBox();
        QCOMPARE(about->windowTitle(), QStringLiteral("バージョン情報"));
        QCOMPARE(about->size(), QSize(298, 213));
        QVERIFY(!about->isVisible());
        for (int round = 0; round < 2; ++round) {
            bool seen = false;
            QTimer::singleShot(0, about, [&] {
                seen = about->isVisible() && about->isModal();
                QTest::keyClick(about, Qt::Key_Return);
            });
            form->About_HelpMenu->trigger(); // returns once the dialog has closed
            QVERIFY(seen);
            QVERIFY(!about->isVisible());
            QCOMPARE(about->result(), int(QDialog::Accepted));
        }
        QCOMPARE(application.AboutBox(), about); // the same instance every time
        QVERIFY(application.ReportForm()->isHidden());
    }

    void printerSetupWithoutADefaultPrinter()
    {
        // The test runs against a print server that isn't there (CUPS_SERVER in CMake).
        RecordingDialogs dialogs;
        TMainForm form;
        form.PrintSetup1->trigger();
        QCOMPARE(dialogs.shown, QStringList{"plain: 通常使うプリンタが設定されていません。"});
        QCOMPARE(form.BrowseSession.ImageFileCount, 0);
    }

    // Qt's own dialogs as the preview opens them, once the program has started.
    void qtDialogsSpeakJapanese()
    {
        VistrelApplication application;
        // Without a print server the print dialog offers the PDF file only.
        QPrinter printer(QPrinter::HighResolution);
        QPrintDialog print(&printer, application.MainForm());
        print.show();
        QVERIFY(QTest::qWaitForWindowExposed(&print));
        QCOMPARE(print.windowTitle(), QStringLiteral("印刷"));
        QVERIFY(print.findChild<QAbstractButton*>("properties")->text().startsWith(QStringLiteral("プロパティ")));
        QCOMPARE(EnglishTexts(&print), QStringList());

        QString sheetTitle;
        QStringList sheetEnglish;
        const auto inspectAndClose = [&] {
            QWidget* modal = QApplication::activeModalWidget();
            QVERIFY(modal);
            sheetTitle = modal->windowTitle();
            sheetEnglish = EnglishTexts(modal);
            modal->close();
        };
        QTimer::singleShot(0, &print, inspectAndClose);
        print.findChild<QAbstractButton*>("properties")->click();
        QCOMPARE(sheetTitle, QStringLiteral("プリンタのプロパティ"));
        QCOMPARE(sheetEnglish, QStringList());

        for (bool save : {true, false}) {
            QStringList typeAndDate;
            QTimer::singleShot(0, &print, [&] {
                auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                QVERIFY(dialog);
                sheetTitle = dialog->windowTitle();
                sheetEnglish = EnglishTexts(dialog);
                // A file's type and date, which Qt would give in the system's locale.
                dialog->setDirectory(QStringLiteral(VISTREL_TEST_DATA));
                dialog->setNameFilter(QStringLiteral("*"));
                const auto* view = dialog->findChild<QTreeView*>(QStringLiteral("treeView"));
                const QAbstractItemModel* model = view->model();
                const auto file = [&](int column) {
                    for (int row = 0; row < model->rowCount(view->rootIndex()); ++row)
                        if (model->index(row, 0, view->rootIndex()).data().toString() == QLatin1String("sizes.ico"))
                            return model->index(row, column, view->rootIndex()).data().toString();
                    return QString();
                };
                (void)QTest::qWaitFor([&] { return !file(3).isEmpty(); }); // checked below
                typeAndDate << file(2) << file(3);
                dialog->close();
            });
            const QString caption = save ? QStringLiteral("レポートの保存") : QStringLiteral("レポート読み込み");
            QString filter;
            const QString chosen = save ? CurrentDialogs().SaveFileName(&print, caption, QString(), "PDF (*.pdf)", &filter)
                                        : CurrentDialogs().OpenFileName(&print, caption, "PDF (*.pdf)");
            QVERIFY(chosen.isEmpty());
            QCOMPARE(sheetTitle, caption);
            // The filter is the program's; the rest is Qt's.
            QCOMPARE(sheetEnglish, QStringList{"PDF (*.pdf)"});
            QCOMPARE(typeAndDate.size(), 2);
            QVERIFY2(typeAndDate[0].contains(QRegularExpression(QStringLiteral("[^\\x{0}-\\x{7f}]"))), qPrintable(typeAndDate[0]));
            QVERIFY2(QRegularExpression(QStringLiteral("^[0-9/: ]+$")).match(typeAndDate[1]).hasMatch(), qPrintable(typeAndDate[1]));
        }
    }

    // Where no window manager hands the keys back, the window that opened a dialog takes
    // them again when it closes: the About box, the folder dialog, a message.
    void theKeysComeBackAfterADialog()
    {
        VistrelApplication application;
        TMainForm& form = *application.MainForm();
        form.show();
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        const auto closeTheDialog = [] {
            QTimer::singleShot(0, [] {
                QWidget* modal = QApplication::activeModalWidget();
                QVERIFY(modal);
                modal->close();
                QWindowSystemInterface::handleWindowActivated(nullptr); // the root window takes the keys
            });
        };
        closeTheDialog();
        form.About_HelpMenu->trigger();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        closeTheDialog();
        CurrentDialogs().Information(&form, QStringLiteral("情報"));
        QVERIFY(QTest::qWaitForWindowActive(&form));
    }

    void aboutBoxLayout()
    {
        TAboutBox about;
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        QCOMPARE(about.findChild<QPushButton*>("OKButton")->geometry(), QRect(111, 180, 75, 25));
        QVERIFY(about.findChild<QPushButton*>("OKButton")->isDefault());
        QLabel* name = about.findChild<QLabel*>("ProductName");
        QCOMPARE(name->text(), QStringLiteral("Vistrel"));
        QCOMPARE(QFontInfo(name->font()).family(), QStringLiteral("IPAPMincho"));
        QVERIFY(name->font().bold() && name->font().italic());
        QCOMPARE(about.findChild<QLabel*>("Version")->text(), QStringLiteral("Version 1.0"));
        const QImage icon = about.findChild<QLabel*>("ProgramIcon")->pixmap().toImage();
        QCOMPARE(icon.size(), QSize(32, 32));
        QVERIFY(icon.colorCount() <= 16 || icon.convertToFormat(QImage::Format_Indexed8).colorCount() <= 16);
    }
};

QTEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
