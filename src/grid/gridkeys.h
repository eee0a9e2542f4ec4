// The grid from the keyboard: Tab or a click brings the focus to the panel, and there the
// arrow keys, Home and End move the selection from icon to icon as clicks would. Page Up
// and Page Down go on to the scroll bar, which pages, and which is outlined while it has
// the focus itself.
#pragma once

#include <QObject>

class QScrollBar;
class QWidget;
class TIconGrid;

class GridKeys : public QObject {
    Q_OBJECT
public:
    // A child of the panel; the grid deletes it before it goes itself.
    GridKeys(TIconGrid& grid, QWidget& panel, QScrollBar& bar);

    TIconGrid& Grid() const { return grid_; }
    // Tells assistive technology when this frame of a page's cell shows or goes.
    void WatchFrame(QWidget& frame);
    // Rings the selected cell's frame while the panel has the focus and the last input
    // was a key, as a browser's :focus-visible does; otherwise no frame is ringed, so
    // the mouse alone sees the grid as it always was.
    void UpdateFocusIndicator();
    // The selected cell, to assistive technology, as the one with the focus: framed, or
    // cell 0 as Open leaves it.
    void AnnounceFocus();
    // Where key takes the selection from cell `from`: the next cell with an icon that
    // way on the page, or -1 when there is none.
    int CellAfterKey(int key, int from) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // With no cell framed (after Open) the keys start at the selected cell, or at the
    // first icon when that cell is blank; -1 without one.
    int StartingCell() const;
    // The keys have come to the panel: the selected icon framed, or the first.
    void FrameForKeys();
    bool NavigationKey(int key);
    void FrameChanged(QObject* frame, bool shown);

    TIconGrid& grid_;
    QWidget& panel_;
    QScrollBar& bar_;
    bool forwarding_ = false;
    bool keyInput_ = false; // the last input was a key, not the mouse
    QObject* inputWatch_ = nullptr;
};

// The keys of the grid whose panel this is, or nullptr.
GridKeys* GridKeysOf(const QObject* panel);
