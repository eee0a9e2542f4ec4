#include "app/tempfiles.h"

#include "platform/filesearch.h"

#include <QFile>

int DeleteTempBitmaps(const QString& folder)
{
    QString prefix = folder;
    if (!prefix.endsWith(QLatin1Char('/')))
        prefix += QLatin1Char('/');
    int deleted = 0;
    for (const QString& name : FindFiles(folder)) {
        if (name.endsWith(QLatin1String(".bmp"), Qt::CaseInsensitive)
            && name.left(4).toLower() == QLatin1String("temp"))
            deleted += QFile::remove(prefix + name) ? 1 : 0;
    }
    return deleted;
}
