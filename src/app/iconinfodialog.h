// アイコンの情報: one icon's source and every image of it, each at its own size, and a
// button that saves the chosen image alone.
#pragma once

#include "scan/oneicon.h"

#include <QDialog>

#include <functional>
#include <vector>

class QTableWidget;

class TIconInfoDialog : public QDialog {
    Q_OBJECT
public:
    TIconInfoDialog(const IconOrigin& origin, const std::vector<IconImageDetails>& images, QWidget* parent);

    // What 画像の保存 does with the chosen image's number (the rows, from 0).
    void SetSaveImage(std::function<void(int)> saveImage) { saveImage_ = std::move(saveImage); }
    QTableWidget* Images() const { return images_; }

private:
    QTableWidget* images_;
    std::function<void(int)> saveImage_;
};

// The picture as the dialog shows it: on a light checker board, so that its alpha shows.
QImage OnCheckerBoard(const QImage& picture);
