// A main window with a folder's worth of icons already extracted: real bitmap files whose
// pixels tell which icon they are.
#pragma once

#include "app/mainform.h"

#include <QMenuBar>
#include <QScrollBar>
#include <QStatusBar>
#include <QTemporaryDir>

// A bitmap whose every pixel tells which icon and which position it is.
inline QImage Picture(int icon, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgb(icon % 256, (icon / 256) * 16 + x % 16, y));
    return image;
}


class GridFixture {
public:
    explicit GridFixture(int icons, QSize pictureSize = {34, 34})
    {
        form.resize(775, 494 + form.menuBar()->sizeHint().height());
        for (int n = 1; n <= icons; ++n) {
            const QString path = dir.filePath(QStringLiteral("Temp%1.bmp").arg(n, 5, 10, QLatin1Char('0')));
            Picture(n, pictureSize).save(path, "BMP");
            form.BrowseSession.TempBitmaps[n] = path;
        }
        form.BrowseSession.ImageFileCount = 1;
        form.BrowseSession.IconCount = icons;
    }

    // What Open does once the icons are extracted.
    void ShowFirstPage()
    {
        form.IconGrid.ApplyGridGeometry(TIconGrid::Variant::AfterScan, form.ClientSize(), form.StatusBar1->height());
        form.IconGrid.FreePage();
        form.IconGrid.BuildPage(form.ScrollBar1->value());
        form.IconGrid.SelectedCell = 0;
    }

    int VisibleFrames() const
    {
        int visible = 0;
        for (int k = 0; k <= form.IconGrid.LastCellIndex; ++k)
            visible += form.IconGrid.SelectionFrames[k] && form.IconGrid.SelectionFrames[k]->isVisible();
        return visible;
    }

    int CellsOnPanel() const { return form.Panel1->findChildren<TIconCell*>().size(); }

    QTemporaryDir dir;
    TMainForm form;
};

