// The grid's state and the operations that lay out, build and free one page of cells
// on the main window's panel.
#pragma once

#include "grid/cells.h"
#include "grid/gridgeometry.h"
#include "browse/browsestate.h"

#include <QPointer>

#include <array>
#include <functional>
#include <thread>

class GridKeys;
class QScreen;
class QScrollBar;
class QWindow;

// The tooltip of an icon's cell: the file it comes from and its index there. The file's
// folder is named too when it isn't openedFolder, the folder last chosen with Open: after
// a cancelled Open, or one that found no icons, the page stays while the window names
// another folder or none, and the name alone would point the wrong way. Names show their
// control characters escaped (WithoutControls).
QString IconToolTip(const IconOrigin& icon, const QString& openedFolder);

class TIconGrid {
public:
    enum class Variant { AfterScan, AfterResize };

    // The panel owns the cells; the bar pages through the icons; dragCell is what a drag
    // from cell k starts (with where it was grabbed).
    TIconGrid(QWidget& panel, QScrollBar& scrollBar, const BrowseState& session,
              std::function<void(int, QPoint)> dragCell);
    ~TIconGrid();
    TIconGrid(const TIconGrid&) = delete;
    TIconGrid& operator=(const TIconGrid&) = delete;

    // Slots 0..LastCellIndex belong to the current page. A slot whose control has been
    // destroyed reads as empty.
    std::array<QPointer<TIconCell>, kMaxPageCells> IconCells;
    std::array<QPointer<TSelectionFrame>, kMaxPageCells> SelectionFrames;
    int GridColumns = 0;
    int GridRows = 0;
    int LastCellIndex = 0;
    bool ShuttingDown = false;
    int SelectedCell = 0;

    int PageCells() const { return GridShape{GridColumns, GridRows}.PageCells(); }

    // Columns and rows from the client area (below the menu bar) and the status bar's
    // height, then the scroll bar's range, steps, position and visibility.
    void ApplyGridGeometry(Variant variant, QSize client, int statusBarHeight);
    // Creates the cells of a page whose cell 0 shows icon firstIcon. Call FreePage first.
    void BuildPage(int firstIcon);
    // The number of the icon cell k shows, or 0 when it shows none (a blank cell, or no page).
    int IconOfCell(int k) const;
    // Cell k shows its selection frame.
    bool IsFramed(int k) const;
    // What a click on cell k does: its frame shows instead of the selected cell's, and it
    // becomes the selected cell.
    void Select(int k);
    // The cell whose picture lies at pos in the panel, or -1.
    int CellAt(QPoint pos) const;
    // The selected cell's picture, or nullptr when no cell or a blank one is selected.
    const QImage* SelectedPicture() const;
    // After Open: cell 0, unframed, is the current item to assistive technology.
    void AnnounceCurrent();
    void LoadCell(TIconCell& cell, int icon);
    void FreePage();
    // Where the screen has more than one device pixel to a logical pixel, the cells' sharp
    // pictures (SharpIcons) are drawn after the build on a thread of their own, and each
    // cell shows its bitmap enlarged until its picture comes. True until the last has come
    // or the page is freed.
    bool DrawingSharpPictures() const { return sharpPending_; }
    // Hides the frame of SelectedCell when that cell is on the page.
    void HideSelectionFrame();
    void RestoreSelectionFrame();

private:
    void StartSharpPictures(int firstIcon);
    // The window's device pixel ratio changes when it goes to a screen of another scale,
    // or when its screen's scale changes: the page's sharp pictures are drawn again for
    // the new ratio, and at 1 the bitmaps alone are shown.
    void WatchWindowScreen();
    void WatchScreenScale(QScreen* screen);
    void FollowDeviceRatio();

    int firstIcon_ = 0; // the icon of cell 0 on the page built last
    void StopSharpPictures();

    QWidget& panel_;
    QScrollBar& scrollBar_;
    const BrowseState& session_;
    std::function<void(int, QPoint)> dragCell_;
    QPointer<GridKeys> keys_;
    // Which page a sharp picture was drawn for: one that comes after its page was freed is
    // dropped.
    int sharpPage_ = 0;
    bool sharpPending_ = false;
    qreal sharpRatio_ = 1; // the ratio the page's sharp pictures are drawn for
    bool building_ = false;
    QPointer<QWindow> window_;
    QMetaObject::Connection screenScaleWatch_;
    std::jthread sharpWork_; // last: stopped and joined before the rest goes
};
