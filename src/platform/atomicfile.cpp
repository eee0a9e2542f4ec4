#include "platform/atomicfile.h"

#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

AtomicFile::AtomicFile(const QString& target, mode_t mode)
    : target_(QFile::encodeName(target)), temporary_(target_ + ".XXXXXX")
{
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
