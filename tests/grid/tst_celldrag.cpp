// Dragging a cell out of the grid onto another window of the same program. Runs on the
// minimal platform, whose drag really carries the data to a drop target in-process (the
// offscreen platform's drag returns at once, delivering nothing).
#include "app/application.h"
#include "gridfixture.h"
#include "platform/programfolder.h"

#include <QDrag>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {

// A window that takes drops, noting what each offered, and asks to move rather than copy.
class DropTarget : public QWidget {
public:
    DropTarget() { setAcceptDrops(true); }

    int drops = 0;
    Qt::DropActions offered;
    Qt::DropAction taken = Qt::IgnoreAction;
    QStringList formats;
    QImage image;
    QImage png;
    QList<QUrl> urls;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override { event->acceptProposedAction(); }
    void dragMoveEvent(QDragMoveEvent* event) override { event->acceptProposedAction(); }
    void dropEvent(QDropEvent* event) override
    {
        ++drops;
        offered = event->possibleActions();
        formats = event->mimeData()->formats();
        image = qvariant_cast<QImage>(event->mimeData()->imageData());
        png = QImage::fromData(event->mimeData()->data("image/png"), "PNG");
        urls = event->mimeData()->urls();
        event->setDropAction(Qt::MoveAction);
        event->accept();
        taken = event->dropAction();
    }
};

QPoint InWindow(const QWidget& widget, QPoint point)
{
    return widget.mapTo(widget.window(), point);
}

} // namespace

class TestCellDrag : public QObject {
    Q_OBJECT

    QTemporaryDir programFolder_;

private slots:
    void initTestCase()
    {
        InstallFontSubstitutes();
        SetProgramFolder(programFolder_.path());
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("minimal"));
    }

    void aCellDraggedOutOffersItsPictureAndItsFile()
    {
        GridFixture grid(20, {40, 40}); // shown shrunk to 34 x 34, offered at 40 x 40
        grid.form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid.form));
        grid.ShowFirstPage();
        DropTarget target;
        target.setGeometry(grid.form.geometry().right() + 40, grid.form.y(), 200, 200);
        target.show();
        QVERIFY(QTest::qWaitForWindowExposed(&target));

        TIconCell* cell = grid.form.IconGrid.IconCells[4];
        QWindow* window = grid.form.windowHandle();
        const QPoint grabbed = InWindow(*cell, QPoint(10, 10));
        // The drag runs a loop of its own until the drop: once it runs, the mouse goes over
        // to the target and lets go there.
        QTimer mover;
        connect(&mover, &QTimer::timeout, &target, [&] {
            if (cell->findChildren<QDrag*>().isEmpty())
                return;
            mover.stop();
            QTest::mouseMove(target.windowHandle(), QPoint(50, 50));
            QTest::mouseMove(target.windowHandle(), QPoint(60, 60));
            QTest::mouseRelease(target.windowHandle(), Qt::LeftButton, {}, QPoint(60, 60));
        });
        mover.start(0);
        QTest::mousePress(window, Qt::LeftButton, {}, grabbed);
        QCOMPARE(grid.form.IconGrid.SelectedCell, 4); // the press selects, as a click does
        QTest::mouseMove(window, grabbed + QPoint(QApplication::startDragDistance(), 0));

        QCOMPARE(target.drops, 1);
        QCOMPARE(target.offered, Qt::CopyAction);
        QCOMPARE(target.taken, Qt::CopyAction); // a move is never granted
        QVERIFY2(target.formats.contains("image/png") && target.formats.contains("text/uri-list"),
                 qPrintable(target.formats.join(' ')));
        QCOMPARE(target.image.convertToFormat(QImage::Format_RGB32), Picture(5, {40, 40}));
        QCOMPARE(target.png.convertToFormat(QImage::Format_RGB32), Picture(5, {40, 40}));
        QCOMPARE(target.urls, QList<QUrl>{QUrl::fromLocalFile(grid.form.BrowseSession.TempBitmaps[5])});
        QCOMPARE(QImage(grid.form.BrowseSession.TempBitmaps[5]).convertToFormat(QImage::Format_RGB32), Picture(5, {40, 40}));
        QCOMPARE(grid.CellsOnPanel(), 20);
    }

    void aClickOrAShortMoveOnlySelects()
    {
        GridFixture grid(20);
        grid.form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid.form));
        grid.ShowFirstPage();
        QWindow* window = grid.form.windowHandle();
        TIconCell* cell = grid.form.IconGrid.IconCells[6];
        QSignalSpy drags(cell, &TIconCell::dragStarted);
        const QPoint grabbed = InWindow(*cell, QPoint(5, 5));
        const QPoint moved = grabbed + QPoint(QApplication::startDragDistance() - 1, 0);
        QTest::mousePress(window, Qt::LeftButton, {}, grabbed);
        QTest::mouseMove(window, moved);
        QTest::mouseRelease(window, Qt::LeftButton, {}, moved);
        QCOMPARE(drags.count(), 0);
        QCOMPARE(grid.form.IconGrid.SelectedCell, 6);
        QTest::mouseClick(window, Qt::LeftButton, {}, InWindow(*grid.form.IconGrid.IconCells[7], QPoint(5, 5)));
        QCOMPARE(grid.form.IconGrid.SelectedCell, 7);
        QCOMPARE(grid.VisibleFrames(), 1);
    }

    // A drag from a page being built, or freed, would leave its cell to be destroyed
    // under it: none starts.
    void noDragWhileAPageIsBuilt()
    {
        GridFixture grid(200);
        grid.form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid.form));
        grid.ShowFirstPage();
        DropTarget target;
        target.setGeometry(grid.form.geometry().right() + 40, grid.form.y(), 200, 200);
        target.show();
        QVERIFY(QTest::qWaitForWindowExposed(&target));
        QWindow* window = grid.form.windowHandle();
        bool tried = false;
        QTimer presser;
        connect(&presser, &QTimer::timeout, &grid.form, [&] {
            TIconCell* cell = grid.form.IconGrid.IconCells[2];
            if (!grid.form.IsBusy() || !cell)
                return;
            presser.stop();
            tried = true;
            const QPoint grabbed = InWindow(*cell, QPoint(5, 5));
            // Shortly, the mouse goes over to the target and lets go: a drag that had
            // started would drop there.
            QTimer::singleShot(50, &target, [&] {
                QTest::mouseMove(target.windowHandle(), QPoint(50, 50));
                QTest::mouseRelease(target.windowHandle(), Qt::LeftButton, {}, QPoint(50, 50));
            });
            QTest::mousePress(window, Qt::LeftButton, {}, grabbed);
            QTest::mouseMove(window, grabbed + QPoint(QApplication::startDragDistance(), 0));
        });
        presser.start(0);
        grid.form.resize(700, 500);
        QVERIFY(tried);
        QTest::qWait(100);
        QCOMPARE(target.drops, 0);
        QCOMPARE(grid.CellsOnPanel(), grid.form.IconGrid.PageCells());
    }
};

QTEST_MAIN(TestCellDrag)
#include "tst_celldrag.moc"
