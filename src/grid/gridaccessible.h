// The grid to assistive technology: the panel is the list 「アイコン」 of its page's icons,
// each cell an item named by its tooltip, selectable, and selected while it is framed;
// the selected cell is the current one, framed or not. A blank cell and the selection
// frames are no part of the list.
#pragma once

class QString;
class TIconCell;

// Lets Qt ask these interfaces for the grid's widgets; later calls do nothing.
void InstallGridAccessibility();

// The lines of the cell's tooltip as one name; empty for a blank cell.
QString CellAccessibleName(const TIconCell& cell);
