#include "platform/filecopy.h"

#include "platform/atomicfile.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool CopyFileReplacing(const QString& source, const QString& target)
{
    const QString replaced = ReplacedFile(target);
    if (!MayReplace(replaced))
        return false;
    // Non-blocking, and only regular files: a FIFO or a device in the source's place
    // would hang the program or never end.
    const int in = ::open(QFile::encodeName(source).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (in < 0)
        return false;
    struct stat info {};
    bool ok = ::fstat(in, &info) == 0 && S_ISREG(info.st_mode);
    if (ok) {
        AtomicFile out(replaced);
        char buffer[64 * 1024];
        while (ok) {
            const ssize_t n = ::read(in, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                ok = n == 0;
                break;
            }
            ok = out.Write(buffer, n);
        }
        ok = ok && out.Commit();
    }
    ::close(in);
    return ok;
}
