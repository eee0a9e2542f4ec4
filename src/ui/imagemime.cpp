#include "ui/imagemime.h"

#include <QBuffer>

QMimeData* ImageMimeData(const QImage& image)
{
    auto* data = new QMimeData;
    if (image.isNull())
        return data;
    data->setImageData(image);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    data->setData(QStringLiteral("image/png"), png);
    return data;
}
