#include "icon/fdwrite.h"

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

bool WriteAll(int fd, const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

mode_t NewFileMode()
{
    // The umask can only be read by setting it.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}
