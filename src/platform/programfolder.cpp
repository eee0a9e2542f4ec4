#include "platform/programfolder.h"

#include "platform/atomicfile.h"
#include "platform/filesearch.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QString& OverriddenFolder()
{
    static QString folder;
    return folder;
}

QString& HeldTempFolder()
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
QString UserFolder(const char* variable, const QString& fallback, bool create = true)
{
    QString base = qEnvironmentVariable(variable);
    if (!QDir::isAbsolutePath(base))
        base = QDir::homePath() + QLatin1Char('/') + fallback;
    const QString folder = WithSeparator(QDir::cleanPath(base)) + QStringLiteral("vistrel/");
    if (create)
        MakePrivateFolder(folder.chopped(1));
    return folder;
}

QString CacheFolder(bool create)
{
    return UserFolder("XDG_CACHE_HOME", QStringLiteral(".cache"), create);
}

// $XDG_RUNTIME_DIR/, or empty unless it is the user's own folder and nobody else may
// write there: another user could otherwise take or plant a window's folder.
QString RuntimeFolder()
{
    const QString base = qEnvironmentVariable("XDG_RUNTIME_DIR");
    struct stat info {};
    if (!QDir::isAbsolutePath(base) || ::stat(QFile::encodeName(base).constData(), &info) != 0
        || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid() || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return QString();
    return WithSeparator(QDir::cleanPath(base));
}

// An open descriptor on folder holding its lock, or -1 when another holds it or it can't be
// locked. The descriptor is closed on exec, or the paint program would keep the lock.
int LockFolder(const QString& folder, bool wait)
{
    const QByteArray path = QFile::encodeName(QDir::cleanPath(folder));
    const int descriptor = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0)
        return -1;
    int locked = 0;
    do
        locked = ::flock(descriptor, LOCK_EX | (wait ? 0 : LOCK_NB));
    while (locked != 0 && errno == EINTR);
    // Whoever held the lock before may have removed the folder, or a new one may stand in
    // its place: only the folder the name still leads to counts.
    struct stat held {}, named {};
    if (locked != 0 || ::fstat(descriptor, &held) != 0 || ::stat(path.constData(), &named) != 0
        || held.st_dev != named.st_dev || held.st_ino != named.st_ino) {
        ::close(descriptor);
        return -1;
    }
    return descriptor;
}

const QString kPrivatePrefix = QStringLiteral("vistrel-");

// Removes the private folders in parent whose window is gone: their bitmaps, then the
// folder itself if nothing else is left in it.
void RemoveAbandonedFolders(const QString& parent)
{
    const QStringList names = QDir(parent).entryList({kPrivatePrefix + QLatin1Char('*')}, QDir::Dirs | QDir::NoSymLinks);
    for (const QString& name : names) {
        const QString folder = parent + name + QLatin1Char('/');
        if (QFileInfo(folder).ownerId() != ::geteuid())
            continue;
        const int descriptor = LockFolder(folder, false);
        if (descriptor < 0)
            continue;
        DeleteTempBitmaps(folder);
        QDir().rmdir(folder);
        ::close(descriptor);
    }
}

// Makes and locks a folder for this window alone in parent; empty when it can't.
QString MakeOwnFolder(const QString& parent, int& descriptor)
{
    // A window clearing abandoned folders may remove this one between its making and its
    // locking; then it is made again.
    for (int attempt = 0; attempt < 5; ++attempt) {
        QByteArray path = QFile::encodeName(parent + kPrivatePrefix + QString::number(::getpid()));
        if (::mkdir(path.constData(), 0700) != 0) {
            // Taken by a window of the same number in another PID namespace, or left with
            // files of the user's in it.
            if (errno != EEXIST)
                return QString();
            path += "-XXXXXX";
            if (::mkdtemp(path.data()) == nullptr)
                return QString();
        }
        const QString folder = QFile::decodeName(path) + QLatin1Char('/');
        descriptor = LockFolder(folder, true);
        if (descriptor >= 0)
            return folder;
    }
    return QString();
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
    return HeldTempFolder().isEmpty() ? SharedTempFolder() : HeldTempFolder();
}

QString SharedTempFolder()
{
    const QString program = ProgramFolder();
    return ClosedToWriting(program) ? CacheFolder(true) : program;
}

bool IsTempBitmapName(const QString& name)
{
    return name.startsWith(QLatin1String("temp"), Qt::CaseInsensitive)
        && name.endsWith(QLatin1String(".bmp"), Qt::CaseInsensitive);
}

int DeleteTempBitmaps(const QString& folder)
{
    const QString prefix = WithSeparator(folder);
    int deleted = 0;
    for (const FileName& name : FindFiles(QFile::encodeName(folder)))
        if (IsTempBitmapName(name.Text))
            deleted += ::unlink(QFile::encodeName(prefix).append(name.Bytes).constData()) == 0 ? 1 : 0;
    return deleted;
}

TempFolderLock::TempFolderLock()
{
    const QString runtime = RuntimeFolder();
    for (const QString& parent : {runtime, CacheFolder(false)})
        if (!parent.isEmpty())
            RemoveAbandonedFolders(parent);
    const QString shared = SharedTempFolder();
    descriptor_ = LockFolder(shared, false);
    if (descriptor_ >= 0) {
        folder_ = shared;
        DeleteTempBitmaps(shared);
    } else {
        folder_ = MakeOwnFolder(runtime.isEmpty() ? CacheFolder(true) : runtime, descriptor_);
        private_ = !folder_.isEmpty();
    }
    previous_ = HeldTempFolder();
    if (!folder_.isEmpty())
        HeldTempFolder() = folder_;
}

TempFolderLock::~TempFolderLock()
{
    HeldTempFolder() = previous_;
    if (private_) {
        DeleteTempBitmaps(folder_);
        QDir().rmdir(folder_);
    }
    if (descriptor_ >= 0)
        ::close(descriptor_);
}

void SetProgramFolder(const QString& folder)
{
    OverriddenFolder() = folder.isEmpty() ? QString() : WithSeparator(QDir(folder).absolutePath());
}
