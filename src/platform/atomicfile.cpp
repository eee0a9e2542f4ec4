#include "platform/atomicfile.h"

#include "icon/fdwrite.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>

#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
mode_t ModeFor(const QByteArray& target)
{
    struct stat old {};
    return ::stat(target.constData(), &old) == 0 ? old.st_mode & 07777 : NewFileMode();
}
} // namespace

QString ReplacedFile(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isSymLink())
        return path;
    struct stat link {};
    struct stat folder {};
    if (::lstat(QFile::encodeName(path).constData(), &link) != 0
        || ::stat(QFile::encodeName(info.absolutePath()).constData(), &folder) != 0)
        return QString();
    const bool shared = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
    if (shared && link.st_uid != ::geteuid() && link.st_uid != folder.st_uid)
        return QString();
    return info.symLinkTarget();
}

bool HasWriteBit(const QString& path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0
        && (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
}

bool MayReplace(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo target(path);
    const QString folder = target.absolutePath();
    if (!QFileInfo(folder).isDir() || !HasWriteBit(folder))
        return false;
    return !target.exists() || (target.isFile() && HasWriteBit(path));
}

AtomicFile::AtomicFile(const QString& target)
    : target_(QFile::encodeName(target)), temporary_(target_ + ".XXXXXX")
{
    const mode_t mode = ModeFor(target_);
    fd_ = ::mkostemp(temporary_.data(), O_CLOEXEC);
    ok_ = fd_ >= 0 && ::fchmod(fd_, mode) == 0;
}

AtomicFile::~AtomicFile()
{
    if (fd_ >= 0) {
        ::close(fd_);
        ::unlink(temporary_.constData());
    }
}

bool AtomicFile::Write(const char* data, qint64 size)
{
    ok_ = ok_ && WriteAll(fd_, data, std::size_t(size));
    return ok_;
}

bool AtomicFile::Commit()
{
    if (fd_ < 0)
        return false;
    ok_ = ok_ && ::fsync(fd_) == 0;
    ok_ = (::close(fd_) == 0) && ok_;
    fd_ = -1;
    ok_ = ok_ && ::rename(temporary_.constData(), target_.constData()) == 0;
    if (!ok_)
        ::unlink(temporary_.constData());
    return ok_;
}

bool ReplaceFileWith(const QString& path, const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    return buffer.open(QIODevice::ReadOnly) && ReplaceFileFrom(path, buffer);
}

bool ReplaceFileFrom(const QString& path, QIODevice& source)
{
    const QString target = ReplacedFile(path);
    if (!MayReplace(target))
        return false;
    AtomicFile file(target);
    // A piece at a time: a printed list's PDF may be large.
    for (QByteArray piece; !(piece = source.read(qint64{64} << 10)).isEmpty();)
        if (!file.Write(piece))
            return false;
    return source.atEnd() && file.Commit();
}
