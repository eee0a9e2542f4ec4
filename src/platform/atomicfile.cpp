#include "platform/atomicfile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {
mode_t CurrentUmask()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

mode_t ModeFor(const QByteArray& target)
{
    struct stat old {};
    return ::stat(target.constData(), &old) == 0 ? old.st_mode & 07777 : 0666 & ~CurrentUmask();
}
} // namespace

QString ReplacedFile(const QString& path)
{
    const QFileInfo info(path);
    return info.isSymLink() ? info.symLinkTarget() : path;
}

bool HasWriteBit(const QString& path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0
        && (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
}

bool MayReplace(const QString& path)
{
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
    fd_ = ::mkstemp(temporary_.data());
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
    while (ok_ && size > 0) {
        const ssize_t n = ::write(fd_, data, size_t(size));
        if (n < 0 && errno == EINTR)
            continue;
        ok_ = n > 0;
        data += ok_ ? n : 0;
        size -= ok_ ? n : 0;
    }
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
