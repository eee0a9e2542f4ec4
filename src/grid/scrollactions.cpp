#include "grid/scrollactions.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>

namespace {
// The buttons the bar moves with: the left one, and the middle one, which some styles
// take to jump to the place clicked.
constexpr Qt::MouseButtons kMovingButtons = Qt::LeftButton | Qt::MiddleButton;

bool MovesTheBar(Qt::MouseButton button)
{
    return kMovingButtons.testFlag(button);
}

bool IsScrollKey(int key)
{
    switch (key) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
        return true;
    default:
        return false;
    }
}
} // namespace

ScrollActions::ScrollActions(QScrollBar& bar, QWidget& wheelArea) : QObject(&bar), bar_(bar)
{
    // Qt's own menu on the bar (Scroll here, Top, Page down ...) moves it with no end of
    // the action, so the page would stay behind; the bar has no menu, and a right click
    // does nothing.
    bar.setContextMenuPolicy(Qt::PreventContextMenu);
    bar.installEventFilter(this);
    wheelArea.installEventFilter(this);
    connect(&bar, &QAbstractSlider::actionTriggered, this, &ScrollActions::OnAction);
    connect(&bar, &QAbstractSlider::sliderReleased, this, [this] { emit scrolled(scPosition, bar_.sliderPosition()); });
}

void ScrollActions::OnAction(int action)
{
    // Emitted before the value follows; sliderPosition already holds the new place.
    int code = -1;
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub: code = scLineUp; break;
    case QAbstractSlider::SliderSingleStepAdd: code = scLineDown; break;
    case QAbstractSlider::SliderPageStepSub: code = scPageUp; break;
    case QAbstractSlider::SliderPageStepAdd: code = scPageDown; break;
    case QAbstractSlider::SliderToMinimum: code = scTop; break;
    case QAbstractSlider::SliderToMaximum: code = scBottom; break;
    case QAbstractSlider::SliderMove: code = scTrack; break;
    default: return;
    }
    emit scrolled(code, bar_.sliderPosition());
}

bool ScrollActions::Wheel(int angleDelta)
{
    if (bar_.isHidden() || !bar_.isEnabled())
        return false;
    // One action per notch (120), the way a click on an arrow would do it.
    wheelRemainder_ += angleDelta;
    while (std::abs(wheelRemainder_) >= 120) {
        const bool up = wheelRemainder_ > 0;
        wheelRemainder_ += up ? -120 : 120;
        bar_.triggerAction(up ? QAbstractSlider::SliderSingleStepSub : QAbstractSlider::SliderSingleStepAdd);
        emit scrolled(scEndScroll, bar_.value());
    }
    return true;
}

bool ScrollActions::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::Wheel:
        return Wheel(static_cast<QWheelEvent*>(event)->angleDelta().y());
    // Qt hands the second press of a double click over as a double click, which the bar
    // takes as one more press all the same. A disabled bar (a page being built) takes none.
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        if (watched == &bar_ && bar_.isEnabled() && MovesTheBar(static_cast<QMouseEvent*>(event)->button()))
            mouseDown_ = true;
        break;
    case QEvent::MouseButtonRelease:
        if (watched == &bar_ && mouseDown_ && !(static_cast<QMouseEvent*>(event)->buttons() & kMovingButtons)) {
            mouseDown_ = false;
            // Let the bar finish its own handling (the thumb's final place) first.
            bar_.event(event);
            emit scrolled(scEndScroll, bar_.value());
            return true;
        }
        break;
    case QEvent::KeyPress: {
        // A Windows scroll bar takes Left as one line up and Right as one line down; Qt's
        // vertical bar would send them to the far ends.
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (watched == &bar_ && (key == Qt::Key_Left || key == Qt::Key_Right)) {
            bar_.triggerAction(key == Qt::Key_Left ? QAbstractSlider::SliderSingleStepSub
                                                   : QAbstractSlider::SliderSingleStepAdd);
            return true;
        }
        break;
    }
    case QEvent::KeyRelease: {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (watched == &bar_ && !key->isAutoRepeat() && IsScrollKey(key->key()))
            emit scrolled(scEndScroll, bar_.value());
        break;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
