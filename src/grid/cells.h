// The two controls of a cell: the icon's picture, which takes clicks, and the selection
// frame drawn beneath it.
#pragma once

#include <QImage>
#include <QWidget>

#include <functional>

class TIconCell : public QWidget {
    Q_OBJECT
public:
    explicit TIconCell(QWidget* parent);

    // The picture, drawn stretched to the control's size without smoothing. An empty
    // picture leaves the cell blank (the panel's white shows through).
    void SetPicture(const QImage& picture);
    const QImage& Picture() const { return picture_; }

    // Gives the tooltip's plain text each time the mouse comes to rest on the cell, so it
    // can name what is true at that moment. A cell without one shows no tooltip.
    void SetToolTipSource(std::function<QString()> source) { toolTipSource_ = std::move(source); }

signals:
    void clicked();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QImage picture_;
    std::function<QString()> toolTipSource_;
};

// An etched square: a 36-pixel outline in the button-shadow colour with one in the
// button-highlight colour a pixel further right and down.
class TSelectionFrame : public QWidget {
    Q_OBJECT
public:
    explicit TSelectionFrame(QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
};
