// The two controls of a cell: the icon's picture, which takes clicks, and the selection
// frame drawn beneath it.
#pragma once

#include <QFontMetrics>
#include <QImage>
#include <QWidget>

#include <functional>
#include <optional>

// Plain text as a tooltip's markup: escaped, since a file name may hold what Qt would
// take for markup; each line kept whole, since Qt would break a Japanese line between
// any two characters; and a line wider than maxWidth shortened in the middle, so that a
// deep folder shows its start and its end instead of running off the screen.
QString ToolTipMarkup(const QString& text, const QFontMetrics& metrics, int maxWidth);

class QMimeData;

// What a cell dragged out offers: the picture (as an image, and as PNG bytes under
// image/png) and the bitmap file it was loaded from (a file URL, text/uri-list).
QMimeData* IconDragData(const QImage& picture, const QString& file);

class TIconCell : public QWidget {
    Q_OBJECT
public:
    explicit TIconCell(QWidget* parent);

    // The picture, drawn stretched to the control's size without smoothing, and the file
    // it was loaded from. An empty picture leaves the cell blank (the panel's white shows
    // through).
    void SetPicture(const QImage& picture, const QString& file);
    const QImage& Picture() const { return picture_; }
    // The same picture drawn with more pixels, painted instead of it while the screen's
    // device pixel ratio is sharp's own; Picture() stays what commands and drags take.
    // SetPicture drops it.
    void SetSharpPicture(const QImage& sharp);
    const QString& PictureFile() const { return pictureFile_; }

    // Gives the tooltip's plain text each time the mouse comes to rest on the cell, so it
    // can name what is true at that moment. A cell without one shows no tooltip.
    void SetToolTipSource(std::function<QString()> source) { toolTipSource_ = std::move(source); }
    // The tooltip's plain text as it would show now; empty for a cell without one.
    QString ToolTipText() const { return toolTipSource_ ? toolTipSource_() : QString(); }

signals:
    // The left button went down on the cell.
    void clicked();
    // Then the mouse moved, the button held, past the platform's drag distance; grabbedAt
    // is where the press was, in the cell.
    void dragStarted(QPoint grabbedAt);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QImage picture_;
    QImage sharp_;
    QString pictureFile_;
    std::function<QString()> toolTipSource_;
    std::optional<QPoint> pressedAt_;
};

// An etched square: a 36-pixel outline in the button-shadow colour with one in the
// button-highlight colour a pixel further right and down. While the keys are in the grid
// it is ringed in the text colour, a pixel of white between, so the keyboard's place
// shows with at least 3:1 contrast against the white panel.
class TSelectionFrame : public QWidget {
    Q_OBJECT
public:
    // How far the control reaches beyond the etched square on each side, for the ring.
    static constexpr int kFocusMargin = 2;

    explicit TSelectionFrame(QWidget* parent);
    // Placed where CellFrameRect says, with room for the ring.
    void PlaceAround(const QRect& frameRect) { setGeometry(frameRect.adjusted(-kFocusMargin, -kFocusMargin, kFocusMargin, kFocusMargin)); }
    void SetFocusVisible(bool visible);
    bool FocusVisible() const { return focusVisible_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool focusVisible_ = false;
};
