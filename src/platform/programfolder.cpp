#include "platform/programfolder.h"

#include "platform/atomicfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <unistd.h>

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

// A folder that exists but refuses new files. A missing folder is not closed: writing
// into it fails and says so, as it always has.
bool ClosedToWriting(const QString& folder)
{
    const QByteArray path = QFile::encodeName(folder);
    if (::access(path.constData(), W_OK) != 0)
        return errno == EACCES || errno == EROFS;
    // Root passes every permission check; a folder that grants nobody writing is still
    // meant to be left alone.
    return ::geteuid() == 0 && !HasWriteBit(folder);
}

// Creates folder and the folders above it that are missing, readable by the user alone,
// as the XDG base-directory rules ask.
void MakePrivateFolder(const QString& folder)
{
    const QFileInfo info(folder);
    if (info.exists() || info.isRoot())
        return;
    MakePrivateFolder(info.absolutePath());
    QDir().mkdir(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

// $variable/vistrel/, or ~/fallback/vistrel/ when variable is unset, empty or relative
// (the XDG rules ignore relative paths).
QString UserFolder(const char* variable, const QString& fallback)
{
    QString base = qEnvironmentVariable(variable);
    if (!QDir::isAbsolutePath(base))
        base = QDir::homePath() + QLatin1Char('/') + fallback;
    const QString folder = WithSeparator(QDir::cleanPath(base)) + QStringLiteral("vistrel/");
    MakePrivateFolder(folder.chopped(1));
    return folder;
}
} // namespace

QString ProgramFolder()
{
    if (!OverriddenFolder().isEmpty())
        return OverriddenFolder();
    return WithSeparator(QCoreApplication::applicationDirPath());
}

QString SettingsFolder()
{
    const QString program = ProgramFolder();
    return ClosedToWriting(program) ? UserFolder("XDG_CONFIG_HOME", QStringLiteral(".config")) : program;
}

QString TempFolder()
{
    const QString program = ProgramFolder();
    return ClosedToWriting(program) ? UserFolder("XDG_CACHE_HOME", QStringLiteral(".cache")) : program;
}

void SetProgramFolder(const QString& folder)
{
    OverriddenFolder() = folder.isEmpty() ? QString() : WithSeparator(QDir(folder).absolutePath());
}
