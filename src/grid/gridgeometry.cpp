#include "grid/gridgeometry.h"

#include <algorithm>
#include <cmath>

namespace {
// The scroll bar's steps are 16-bit values from 1 to 32767.
int ValidStep(int step)
{
    return std::clamp(step, 1, 32767);
}

// Range and steps for a page of pageCells; a page without room for a cell scrolls one
// icon at a time, and a folder without icons keeps the range at its minimum of 1.
ScrollBarSettings WithRange(ScrollBarSettings bar, int pageCells, int iconCount)
{
    const bool fits = pageCells >= iconCount;
    const int page = std::max(pageCells, 1);
    bar.maximum = std::max(fits ? iconCount : iconCount - page + 1, 1);
    bar.pageStep = ValidStep(fits ? iconCount : page);
    bar.singleStep = bar.pageStep;
    bar.position = std::clamp(bar.position, 1, bar.maximum);
    return bar;
}
} // namespace

int GridShape::PageCells() const
{
    return std::min(columns * rows, kMaxPageCells);
}

GridShape ComputeGridShape(QSize client, int scrollBarWidth, int statusBarHeight)
{
    return {std::max((client.width() - scrollBarWidth) / 51, 0),
            std::max((client.height() - statusBarHeight - 16) / 52, 0)};
}

ScrollBarSettings ScrollAfterScan(ScrollBarSettings bar, int pageCells, int iconCount)
{
    if (pageCells >= iconCount) {
        bar.position = 1;
        bar.visible = false;
        return bar;
    }
    bar = WithRange(bar, pageCells, iconCount);
    bar.position = 1;
    bar.visible = true;
    return bar;
}

ScrollBarSettings ScrollAfterResize(ScrollBarSettings bar, int pageCells, int iconCount)
{
    bar = WithRange(bar, pageCells, iconCount);
    const bool fits = pageCells >= iconCount;
    if (!fits)
        bar.visible = true;
    else if (bar.position == 1)
        bar.visible = false;
    return bar;
}

int CellsOnPage(int pageCells, int iconCount, int firstIcon)
{
    return std::clamp(iconCount - firstIcon + 1, 0, pageCells);
}

QRect CellImageRect(int cell, int columns)
{
    const int row = cell / columns;
    const int column = cell % columns;
    return {16 + kColumnPitch * column, 16 + kRowPitch * row, kCellSize, kCellSize};
}

QRect CellFrameRect(int cell, int columns)
{
    return CellImageRect(cell, columns).adjusted(-1, -1, 2, 2);
}

QSize FittedCellSize(QSize picture)
{
    const int width = picture.width();
    const int height = picture.height();
    if (height <= kCellSize && width <= kCellSize)
        return picture;
    // nearbyint rounds half to even under the default rounding mode.
    if (height > width)
        return {int(std::nearbyint(width * (double(kCellSize) / height))), kCellSize};
    if (width > height)
        return {kCellSize, int(std::nearbyint(height * (double(kCellSize) / width)))};
    return {kCellSize, kCellSize};
}
