// アイコンの情報: one icon's source and every image of it, each at its own size, and
// buttons that copy and save the chosen image alone; a row dragged out gives its image.
#pragma once

#include "scan/oneicon.h"

#include <QDialog>

#include <functional>
#include <vector>

class QMimeData;
class QTableWidget;

class TIconInfoDialog : public QDialog {
    Q_OBJECT
public:
    TIconInfoDialog(const IconOrigin& origin, const std::vector<IconImageDetails>& images, QWidget* parent);

    // What 画像の保存 does with the chosen image's number (the rows, from 0).
    void SetSaveImage(std::function<void(int)> saveImage) { saveImage_ = std::move(saveImage); }
    QTableWidget* Images() const { return images_; }
    // The selected image at its own size with its alpha, on the clipboard as an image
    // and as PNG (画像のコピー, Ctrl+C in the table).
    void CopyImage();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int SelectedRow() const;
    QTableWidget* images_;
    std::function<void(int)> saveImage_;
};

// An image as the clipboard and a drop take it: the image itself and its PNG bytes
// (image/png); nothing for a null image.
QMimeData* ImageData(const QImage& image);

// The picture as the dialog shows it: on a light checker board, so that its alpha shows.
QImage OnCheckerBoard(const QImage& picture);
