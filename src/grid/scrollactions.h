// Turns what the scroll bar does into scroll actions with the Windows notification codes,
// including the end of each action, which Qt's scroll bar does not announce: a mouse
// button released over the bar (after a press or a double click), a key released, and
// each wheel notch (one line step, then the end).
#pragma once

#include <QObject>

class QScrollBar;
class QWidget;

enum ScrollCode {
    scLineUp = 0,
    scLineDown = 1,
    scPageUp = 2,
    scPageDown = 3,
    scPosition = 4,
    scTrack = 5,
    scTop = 6,
    scBottom = 7,
    scEndScroll = 8,
};

class ScrollActions : public QObject {
    Q_OBJECT
public:
    // Wheel turns over wheelArea (and over the bar) page through the bar too.
    ScrollActions(QScrollBar& bar, QWidget& wheelArea);

signals:
    // position: where the bar stands after the action.
    void scrolled(int code, int position);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnAction(int action);
    bool Wheel(int angleDelta);

    QScrollBar& bar_;
    bool mouseDown_ = false;
    int wheelRemainder_ = 0;
};
