// The folder dialog on a real tree of the file system, read in the background as in use.
#include "platform/folderdialog.h"

#include <QApplication>
#include <QDir>
#include <QFileSystemModel>
#include <QLabel>
#include <QScopeGuard>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QWheelEvent>

class TestFolderDialog : public QObject {
    Q_OBJECT

    // A busy folder of 3000 folders, the one to open and 40 more, so that the tree's sorting
    // moves its row thousands of rows down once the busy folder is read, and rows follow it.
    QTemporaryDir root_;
    QString busy_;
    QString folder_;

    QModelIndex FolderIndex(const TFolderDialog& dialog) const
    {
        return static_cast<QFileSystemModel*>(dialog.Tree->model())->index(folder_);
    }

    static bool InSight(const TFolderDialog& dialog, const QModelIndex& index)
    {
        return dialog.Tree->viewport()->rect().contains(dialog.Tree->visualRect(index));
    }

private slots:
    void initTestCase()
    {
        busy_ = root_.filePath("busy");
        QDir busy(busy_);
        QVERIFY(busy.mkpath("."));
        for (int n = 0; n < 3000; ++n)
            QVERIFY(busy.mkdir(QStringLiteral("entry%1").arg(n, 4, 10, QLatin1Char('0'))));
        for (int n = 0; n < 40; ++n)
            QVERIFY(busy.mkdir(QStringLiteral("more%1").arg(n)));
        folder_ = busy.filePath("home");
        QVERIFY(busy.mkdir(folder_));
    }

    void keepsTheSelectedFolderInSightWhileTheTreeReads()
    {
        TFolderDialog dialog(nullptr, "prompt");
        QCOMPARE(dialog.findChild<QLabel*>("Prompt")->text(), QStringLiteral("prompt"));
        dialog.SelectFolder(folder_);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTRY_VERIFY_WITH_TIMEOUT(FolderIndex(dialog).row() == 3000 && InSight(dialog, FolderIndex(dialog)), 20000);
        QCOMPARE(dialog.Tree->currentIndex(), FolderIndex(dialog));
        QCOMPARE(dialog.SelectedFolder(), folder_);

        // Folders made and removed above it later, beside it and further up: the row
        // keeps its place on screen.
        const int top = dialog.Tree->visualRect(FolderIndex(dialog)).top();
        QDir busy(busy_);
        QDir root(root_.path());
        const auto removeAgain = qScopeGuard([&] {
            busy.rmdir("aaa");
            root.rmdir("aaa");
        });
        const auto rowsAbove = [&] { return FolderIndex(dialog).row() + FolderIndex(dialog).parent().row(); };
        QVERIFY(busy.mkdir("aaa") && root.mkdir("aaa"));
        QTRY_COMPARE_WITH_TIMEOUT(rowsAbove(), 3002, 20000);
        QCOMPARE(dialog.Tree->visualRect(FolderIndex(dialog)).top(), top);
        QVERIFY(busy.rmdir("aaa") && root.rmdir("aaa"));
        QTRY_COMPARE_WITH_TIMEOUT(rowsAbove(), 3000, 20000);
        QCOMPARE(dialog.Tree->visualRect(FolderIndex(dialog)).top(), top);

        // Once the user has turned the wheel, the view stays where the user put it.
        QScrollBar* bar = dialog.Tree->verticalScrollBar();
        const QPointF over = dialog.Tree->viewport()->rect().center();
        QWheelEvent wheel(over, dialog.Tree->viewport()->mapToGlobal(over), {}, QPoint(0, 480), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(dialog.Tree->viewport(), &wheel);
        const int scrolled = bar->value();
        QVERIFY(scrolled < bar->maximum());
        QVERIFY(busy.mkdir("aaa"));
        QTRY_COMPARE_WITH_TIMEOUT(FolderIndex(dialog).row(), 3001, 20000);
        QCOMPARE(bar->value(), scrolled);
    }

    void keepsTheUsersOwnChoiceInSight()
    {
        TFolderDialog dialog(nullptr, "prompt");
        dialog.SelectFolder(folder_);
        // Before the tree has read anything: the row above is the parent folder.
        QTest::keyClick(dialog.Tree, Qt::Key_Up);
        QCOMPARE(dialog.SelectedFolder(), busy_);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTRY_COMPARE_WITH_TIMEOUT(FolderIndex(dialog).row(), 3000, 20000);
        QCOMPARE(dialog.SelectedFolder(), busy_);
        QVERIFY(InSight(dialog, dialog.Tree->currentIndex()));
        QVERIFY(!InSight(dialog, FolderIndex(dialog)));
    }
};

QTEST_MAIN(TestFolderDialog)
#include "tst_folderdialog.moc"
