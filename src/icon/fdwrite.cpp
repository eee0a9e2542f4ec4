#include "icon/fdwrite.h"

#include <cerrno>
#include <cstdio>

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

namespace {
mode_t CurrentUmask()
{
    // The kernel tells it (since Linux 4.7); setting it to read it back would race with
    // any thread creating a file meanwhile, so that is only the last resort, once.
    if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned mask = 0;
        bool found = false;
        while (!found && std::fgets(line, sizeof line, status))
            found = std::sscanf(line, "Umask: %o", &mask) == 1;
        std::fclose(status);
        if (found)
            return static_cast<mode_t>(mask);
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}
} // namespace

mode_t NewFileMode()
{
    return 0666 & ~CurrentUmask();
}
