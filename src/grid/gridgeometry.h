// The grid's arithmetic: columns and rows from the window's size, the scroll bar's range
// and steps, where each cell stands, and how a picture is fitted into a cell.
#pragma once

#include <QRect>
#include <QSize>

// The tables of a page have 501 slots, so a page never holds more cells than that.
inline constexpr int kMaxPageCells = 501;
inline constexpr int kCellSize = 34;      // an icon's bitmap, white margin included
inline constexpr int kFrameSize = 37;     // the selection frame around it
inline constexpr int kColumnPitch = 50;
inline constexpr int kRowPitch = 51;

struct GridShape {
    int columns = 0;
    int rows = 0;
    // Cells of a full page: columns × rows, cut at the tables' 501 slots.
    int PageCells() const;
    bool operator==(const GridShape&) const = default;
};

// Columns from the client width less the scroll bar (visible or not), rows from the
// client height (below the menu bar) less the status bar and a 16-pixel margin. The
// divisors are one pixel more than the pitches. A window too small gives 0, never less.
GridShape ComputeGridShape(QSize client, int scrollBarWidth, int statusBarHeight);

// The scroll bar's properties that the grid sets. Minimum is always 1.
struct ScrollBarSettings {
    int maximum = 100;
    int position = 1;
    int singleStep = 5;
    int pageStep = 5;
    bool visible = false;
    bool operator==(const ScrollBarSettings&) const = default;
};

// After Open: the bar starts at icon 1 and is shown only when the icons don't all fit.
ScrollBarSettings ScrollAfterScan(ScrollBarSettings bar, int pageCells, int iconCount);
// After a resize: the range and steps follow the new page size and the position is
// kept within range. The bar is shown as soon as the icons no longer fit, and hidden
// only when they all fit and the page starts at icon 1, so every icon stays reachable.
ScrollBarSettings ScrollAfterResize(ScrollBarSettings bar, int pageCells, int iconCount);

// How many cells a page starting at icon firstIcon holds.
int CellsOnPage(int pageCells, int iconCount, int firstIcon);

// Where cell k's picture and frame stand on the panel, for a grid of the given columns.
QRect CellImageRect(int cell, int columns);
QRect CellFrameRect(int cell, int columns);

// The size of a cell showing a picture: a picture larger than 34 × 34 shrinks, keeping
// its proportions, until its longer side is 34 (the other side rounded half to even);
// a smaller one keeps its own size and is never enlarged.
QSize FittedCellSize(QSize picture);
