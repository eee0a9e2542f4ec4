// Cell pictures for screens with more than one device pixel to a logical pixel: drawn
// again from the icon's own larger images, since the 34 x 34 bitmap enlarged looks blocky.
#pragma once

#include "browse/browsestate.h"

#include <QByteArray>
#include <QImage>

#include <memory>

class IconFile;
class IconReader;

// Reads icons from their files again, keeping the last file open for the icons that
// follow it on a page. Touches nothing of the window's, so it may work on any thread.
class SharpIcons {
public:
    SharpIcons();
    ~SharpIcons();
    SharpIcons(const SharpIcons&) = delete;
    SharpIcons& operator=(const SharpIcons&) = delete;

    // The icon of origin laid out as its 34 x 34 bitmap is, at ratio device pixels to a
    // logical pixel: 34 * ratio pixels of white, and in the middle the icon 32 * ratio
    // pixels wide, taken from its image nearest above that size and shrunk by area
    // averaging as the thumbnail is; devicePixelRatio is ratio. Null when there is nothing
    // sharper than bitmap to show: a ratio of 1, no square image at least that large, or
    // a file that no longer gives bitmap (gone, changed or cut short since the scan).
    QImage Draw(const IconOrigin& origin, const QImage& bitmap, qreal ratio);

private:
    IconReader& ReaderFor(const IconOrigin& origin);

    QByteArray path_;
    QByteArray iconsFrom_;
    std::unique_ptr<IconFile> file_;
};
