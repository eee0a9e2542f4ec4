#include "grid/gridkeys.h"

#include "grid/icongrid.h"

#include <QApplication>
#include <QAccessible>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <functional>

namespace {
// Tells whether the last input anywhere in the program was a key or the mouse.
class InputWatch final : public QObject {
public:
    InputWatch(QObject* parent, std::function<void(bool)> keyInput) : QObject(parent), keyInput_(std::move(keyInput))
    {
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::KeyPress: keyInput_(true); break;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: keyInput_(false); break;
        default: break;
        }
        return false;
    }

private:
    std::function<void(bool)> keyInput_;
};

// A line around the scroll bar while it has the keyboard focus, drawn over it: no style
// marks a scroll bar's focus, and the page keys go to it.
class BarFocusOutline final : public QWidget {
public:
    explicit BarFocusOutline(QScrollBar& bar) : QWidget(&bar), bar_(bar)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        bar.installEventFilter(this);
        hide();
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::Resize: setGeometry(bar_.rect()); break;
        case QEvent::FocusIn:
        case QEvent::FocusOut:
            setGeometry(bar_.rect());
            setVisible(bar_.hasFocus());
            raise();
            break;
        default: break;
        }
        return false;
    }

    void paintEvent(QPaintEvent*) override
    {
        // The ring's colour and width, and one pixel of white inside, so it stands out
        // from the bar's grey as the ring does from the panel's white.
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::Text));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
        painter.setPen(palette().color(QPalette::Base));
        painter.drawRect(rect().adjusted(1, 1, -2, -2));
    }

private:
    QScrollBar& bar_;
};
} // namespace

GridKeys::GridKeys(TIconGrid& grid, QWidget& panel, QScrollBar& bar)
    : QObject(&panel), grid_(grid), panel_(panel), bar_(bar)
{
    panel.installEventFilter(this);
    new BarFocusOutline(bar);
    inputWatch_ = new InputWatch(this, [this](bool keys) {
        if (keys != keyInput_) {
            keyInput_ = keys;
            UpdateFocusIndicator();
        }
    });
}

void GridKeys::UpdateFocusIndicator()
{
    const bool visible = keyInput_ && panel_.hasFocus();
    for (int k = 0; k <= grid_.LastCellIndex; ++k)
        if (TSelectionFrame* frame = grid_.SelectionFrames[k])
            frame->SetFocusVisible(visible && k == grid_.SelectedCell);
}

GridKeys* GridKeysOf(const QObject* panel)
{
    return panel ? panel->findChild<GridKeys*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

void GridKeys::WatchFrame(QWidget& frame)
{
    frame.installEventFilter(this);
}

int GridKeys::CellAfterKey(int key, int from) const
{
    const int last = grid_.LastCellIndex;
    const int columns = std::max(grid_.GridColumns, 1);
    int step = 0;
    switch (key) {
    case Qt::Key_Right: step = 1; break;
    case Qt::Key_Left: step = -1; break;
    case Qt::Key_Down: step = columns; break;
    case Qt::Key_Up: step = -columns; break;
    case Qt::Key_Home:
        from = -1;
        step = 1;
        break;
    case Qt::Key_End:
        from = last + 1;
        step = -1;
        break;
    default: return -1;
    }
    // Blank cells are passed over: a click on one selects nothing either.
    for (int k = from + step; k >= 0 && k <= last; k += step)
        if (grid_.IconOfCell(k))
            return k;
    return -1;
}

int GridKeys::StartingCell() const
{
    return grid_.IconOfCell(grid_.SelectedCell) ? grid_.SelectedCell : CellAfterKey(Qt::Key_Home, 0);
}

bool GridKeys::NavigationKey(int key)
{
    const int from = grid_.SelectedCell;
    const int to = grid_.IsFramed(from) || key == Qt::Key_Home || key == Qt::Key_End ? CellAfterKey(key, from)
                                                                                      : StartingCell();
    if (to >= 0)
        grid_.Select(to);
    return true;
}

bool GridKeys::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != &panel_) {
        if (event->type() == QEvent::Show || event->type() == QEvent::Hide)
            FrameChanged(watched, event->type() == QEvent::Show);
        return false;
    }
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        auto* key = static_cast<QKeyEvent*>(event);
        // Not a key that a child (the bar) has passed up unused. Shift+Tab comes as
        // Backtab with Shift still held.
        const Qt::KeyboardModifiers plain = Qt::KeypadModifier | (key->key() == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier);
        if (!panel_.hasFocus() || (key->modifiers() & ~plain) != Qt::NoModifier)
            return false;
        switch (key->key()) {
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            // With nowhere else to go (the bar hidden) the focus stays, and no focus event
            // would frame the selected icon.
            if (event->type() == QEvent::KeyPress)
                QMetaObject::invokeMethod(this, &GridKeys::FrameForKeys, Qt::QueuedConnection);
            return false;
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Home:
        case Qt::Key_End:
            return event->type() == QEvent::KeyPress ? NavigationKey(key->key()) : true;
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            // The bar pages, and ends its action when the key is released; what it leaves
            // unused it passes back up to the panel.
            if (forwarding_ || bar_.isHidden() || !bar_.isEnabled())
                return forwarding_;
            forwarding_ = true;
            QCoreApplication::sendEvent(&bar_, event);
            forwarding_ = false;
            return true;
        default:
            return false;
        }
    }
    case QEvent::FocusIn: {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason)
            FrameForKeys();
        UpdateFocusIndicator();
        // After Qt has announced the panel itself.
        QMetaObject::invokeMethod(this, &GridKeys::AnnounceFocus, Qt::QueuedConnection);
        return false;
    }
    case QEvent::FocusOut:
        UpdateFocusIndicator();
        return false;
    default:
        return false;
    }
}

void GridKeys::FrameForKeys()
{
    // Coming in by the keyboard frames the selected icon, so there is one to act on and
    // to announce.
    if (!panel_.hasFocus())
        return;
    if (const int first = StartingCell(); !grid_.IsFramed(grid_.SelectedCell) && first >= 0)
        grid_.Select(first);
    UpdateFocusIndicator();
}

void GridKeys::AnnounceFocus()
{
    const int k = grid_.SelectedCell;
    if (!QAccessible::isActive() || !panel_.hasFocus() || !grid_.IconOfCell(k))
        return;
    // Queued behind a dialog that has opened since: the window keeps the focus until the
    // dialog's activation comes, and the dialog's own focus is what a screen reader reads.
    if (const QWidget* modal = QApplication::activeModalWidget(); modal && modal != panel_.window())
        return;
    QAccessibleEvent focus(grid_.IconCells[k].data(), QAccessible::Focus);
    QAccessible::updateAccessibility(&focus);
}

void GridKeys::FrameChanged(QObject* frame, bool shown)
{
    if (!QAccessible::isActive())
        return;
    // A frame hidden with its window is still the selection.
    if (!shown && !static_cast<QWidget*>(frame)->isHidden())
        return;
    for (int k = 0; k <= grid_.LastCellIndex; ++k) {
        if (grid_.SelectionFrames[k] != frame || !grid_.IconCells[k])
            continue;
        UpdateFocusIndicator();
        // A page being freed names icons that are going.
        if (!grid_.IconOfCell(k))
            return;
        QObject* cell = grid_.IconCells[k].data();
        QAccessible::State selected;
        selected.selected = true;
        QAccessibleStateChangeEvent change(cell, selected);
        QAccessible::updateAccessibility(&change);
        QAccessibleEvent selection(cell, shown ? QAccessible::SelectionAdd : QAccessible::SelectionRemove);
        QAccessible::updateAccessibility(&selection);
        // Once the click's action has made it the selected cell.
        if (shown)
            QMetaObject::invokeMethod(this, &GridKeys::AnnounceFocus, Qt::QueuedConnection);
        return;
    }
}
