#include "grid/gridaccessible.h"

#include "grid/cells.h"
#include "grid/gridkeys.h"
#include "grid/icongrid.h"

#include <QAccessibleWidget>
#include <QPointer>

#include <algorithm>
#include <vector>

namespace {

// The cells of the page in slot order, then the panel's other shown widgets (the bar).
std::vector<QWidget*> ListChildren(QWidget& panel, const GridKeys* keys)
{
    std::vector<QWidget*> children;
    if (keys) {
        const TIconGrid& grid = keys->Grid();
        // A blank cell is no item: a screen reader counts the icons.
        for (int k = 0; k <= grid.LastCellIndex; ++k)
            if (grid.IconOfCell(k))
                children.push_back(grid.IconCells[k].data());
    }
    for (QWidget* child : panel.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        if (!child->isWindow() && !child->isHidden() && !qobject_cast<TIconCell*>(child)
            && !qobject_cast<TSelectionFrame*>(child))
            children.push_back(child);
    return children;
}

class ListAccessible final : public QAccessibleWidget {
public:
    explicit ListAccessible(QWidget* panel)
        : QAccessibleWidget(panel, QAccessible::List, QStringLiteral("アイコン")), keys_(GridKeysOf(panel))
    {
    }

    int childCount() const override { return int(ListChildren(*widget(), keys_).size()); }

    QAccessibleInterface* child(int index) const override
    {
        const std::vector<QWidget*> children = ListChildren(*widget(), keys_);
        return index >= 0 && index < int(children.size()) ? QAccessible::queryAccessibleInterface(children[index])
                                                          : nullptr;
    }

    int indexOfChild(const QAccessibleInterface* child) const override
    {
        if (!child)
            return -1;
        const std::vector<QWidget*> children = ListChildren(*widget(), keys_);
        const auto found = std::find(children.begin(), children.end(), child->object());
        return found == children.end() ? -1 : int(found - children.begin());
    }

    // With the focus in the list, the selected icon has it, framed or (after Open) not; a
    // blank selected cell leaves the list without a current item.
    QAccessibleInterface* focusChild() const override
    {
        if (keys_ && widget()->hasFocus()) {
            const TIconGrid& grid = keys_->Grid();
            if (grid.IconOfCell(grid.SelectedCell))
                return QAccessible::queryAccessibleInterface(grid.IconCells[grid.SelectedCell].data());
        }
        return QAccessibleWidget::focusChild();
    }

private:
    QPointer<GridKeys> keys_;
};

class CellAccessible final : public QAccessibleWidget {
public:
    explicit CellAccessible(QWidget* cell) : QAccessibleWidget(cell, QAccessible::ListItem) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return CellAccessibleName(*static_cast<const TIconCell*>(widget()));
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        const int k = Slot();
        const TIconGrid* grid = Grid();
        if (!grid || !grid->IconOfCell(k)) {
            state.disabled = true;
            state.invisible = true;
            return state;
        }
        state.selectable = true;
        state.selected = grid->IsFramed(k);
        state.focused = k == grid->SelectedCell && widget()->parentWidget()->hasFocus();
        return state;
    }

    // Pressing an item selects it, as a click does.
    QStringList actionNames() const override
    {
        return Grid() && Grid()->IconOfCell(Slot()) ? QStringList{pressAction()} : QStringList();
    }

    void doAction(const QString& action) override
    {
        if (action == pressAction() && Grid() && Grid()->IconOfCell(Slot()))
            Grid()->Select(Slot());
    }

    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    TIconGrid* Grid() const
    {
        GridKeys* keys = GridKeysOf(widget()->parentWidget());
        return keys ? &keys->Grid() : nullptr;
    }

    int Slot() const
    {
        if (const TIconGrid* grid = Grid())
            for (int k = 0; k <= grid->LastCellIndex; ++k)
                if (grid->IconCells[k] == widget())
                    return k;
        return -1;
    }
};

// A frame is drawn round the selected cell, whose own state says it is selected: it is
// nothing of its own to assistive technology, and no child of the list.
class FrameAccessible final : public QAccessibleWidget {
public:
    explicit FrameAccessible(QWidget* frame) : QAccessibleWidget(frame, QAccessible::NoRole) {}

    QAccessible::State state() const override
    {
        QAccessible::State state;
        state.invisible = true;
        return state;
    }
    QStringList actionNames() const override { return {}; }
};

QAccessibleInterface* GridInterfaces(const QString& className, QObject* object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    auto* widget = static_cast<QWidget*>(object);
    if (className == QLatin1String("TIconCell"))
        return new CellAccessible(widget);
    if (className == QLatin1String("TSelectionFrame"))
        return new FrameAccessible(widget);
    // The panel is the main window's own class: known by the grid's keys among its children.
    if (className == QLatin1String(object->metaObject()->className()) && GridKeysOf(object))
        return new ListAccessible(widget);
    return nullptr;
}

} // namespace

void InstallGridAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(GridInterfaces);
        return true;
    }();
    (void)installed;
}

QString CellAccessibleName(const TIconCell& cell)
{
    if (cell.Picture().isNull())
        return QString();
    return cell.ToolTipText().split(QLatin1Char('\n')).join(QStringLiteral("、"));
}
