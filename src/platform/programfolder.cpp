#include "platform/programfolder.h"

#include <QCoreApplication>
#include <QDir>

namespace {
QString& OverriddenFolder()
{
    static QString folder;
    return folder;
}

QString WithSeparator(QString folder)
{
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}
} // namespace

QString ProgramFolder()
{
    if (!OverriddenFolder().isEmpty())
        return OverriddenFolder();
    return WithSeparator(QCoreApplication::applicationDirPath());
}

void SetProgramFolder(const QString& folder)
{
    OverriddenFolder() = folder.isEmpty() ? QString() : WithSeparator(QDir(folder).absolutePath());
}
