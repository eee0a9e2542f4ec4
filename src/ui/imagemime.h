// A picture handed to another program, by the clipboard or a drag: as an image, and as
// PNG bytes with their alpha for programs that take those.
#pragma once

#include <QImage>
#include <QMimeData>

// New mime data holding image; empty for a null image.
QMimeData* ImageMimeData(const QImage& image);
