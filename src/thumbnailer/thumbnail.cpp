#include "thumbnailer/thumbnail.h"

#include "icon/bytesource.h"
#include "icon/fdwrite.h"
#include "icon/iconexport.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kDefaultSize = 128;
// Far above what file managers ask for (up to 1024); the picture is never enlarged anyway.
constexpr long kMaxSize = 16384;

int Usage(const char* command)
{
    std::fprintf(stderr, "Usage: %s [-s SIZE] INPUT OUTPUT\n", command);
    return 2;
}

int Fail(const char* path, const char* what)
{
    std::fprintf(stderr, "vistrel: %s: %s\n", path, what);
    return 2;
}

// Writes bytes under a temporary name beside path and renames it over path, so a reader
// of path never sees half a picture. The new file's permissions follow the umask.
bool ReplaceFile(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::string temporary = path + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = ::fchmod(fd, NewFileMode()) == 0 && WriteAll(fd, bytes.data(), bytes.size());
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok)
        ::unlink(temporary.c_str());
    return ok;
}

} // namespace

int RunThumbnailer(const char* command, int argc, char* argv[])
{
    int size = kDefaultSize;
    int at = 0;
    if (at < argc && std::strcmp(argv[at], "-s") == 0) {
        if (at + 1 >= argc)
            return Usage(command);
        char* end = nullptr;
        errno = 0;
        const long value = std::strtol(argv[at + 1], &end, 10);
        if (errno != 0 || end == argv[at + 1] || *end != '\0' || value < 1 || value > kMaxSize) {
            std::fprintf(stderr, "vistrel: SIZE must be a whole number from 1 to %ld\n", kMaxSize);
            return Usage(command);
        }
        size = static_cast<int>(value);
        at += 2;
    }
    if (argc - at != 2)
        return Usage(command);
    const char* input = argv[at];
    const std::string output = argv[at + 1];

    const FileSource file(input);
    if (!file.IsOpen())
        return Fail(input, "not a file that can be read");
    IconReader reader(file);
    const auto picture = ThumbnailPicture(reader, size);
    if (!picture)
        return 1;
    const std::vector<std::uint8_t> png = EncodePng(*picture);
    // Only a file (or a link, which the rename replaces) is replaced: a device, a pipe or
    // a folder in OUTPUT's place is left as it is, whoever runs this.
    struct stat existing {};
    if (::lstat(output.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode) && !S_ISLNK(existing.st_mode))
        return Fail(output.c_str(), "not a regular file, left as it is");
    if (png.empty() || !ReplaceFile(output, png))
        return Fail(output.c_str(), "can't be written");
    return 0;
}
