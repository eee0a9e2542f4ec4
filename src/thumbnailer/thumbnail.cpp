#include "thumbnailer/thumbnail.h"

#include "icon/bytesource.h"
#include "icon/fdwrite.h"
#include "icon/iconexport.h"
#include "thumbnailer/sandbox.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/wait.h>
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

struct Output {
    int Fd = -1;
    // Made by this run rather than by the client, so this run takes it away again.
    bool Created = false;
};

// OUTPUT opened to be written in place, as clients expect that make it themselves and
// read it back through their own descriptor: never truncated on opening (a device stays
// intact), never through a link, never waiting for a pipe's reader.
Output OpenOutput(const char* path)
{
    constexpr int flags = O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    // Twice, for a file that someone else makes between the two opens.
    for (int attempt = 0; attempt < 2; ++attempt) {
        int fd = ::open(path, flags);
        if (fd >= 0 || errno != ENOENT)
            return {fd, false};
        fd = ::open(path, flags | O_CREAT | O_EXCL, 0666);
        if (fd >= 0 || errno != EEXIST)
            return {fd, fd >= 0};
    }
    return {};
}

bool IsRegularFile(int fd)
{
    struct stat info {};
    return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

// Whether fd is a file of the kernel's own file systems, where writing sets the system's
// and processes' settings (the host name in /proc/sys, a device's in /sys) rather than
// storing bytes: a file system that can't be told counts as one of them.
bool IsKernelSetting(int fd)
{
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0)
        return true;
    // Magic numbers are 32 bits, f_type a long that a 32-bit system may sign-extend.
    using Magic = std::initializer_list<std::uint32_t>;
    for (const std::uint32_t type : Magic{PROC_SUPER_MAGIC, SYSFS_MAGIC, DEBUGFS_MAGIC, TRACEFS_MAGIC, SECURITYFS_MAGIC,
                                          CGROUP_SUPER_MAGIC, CGROUP2_SUPER_MAGIC, BPF_FS_MAGIC, EFIVARFS_MAGIC})
        if (static_cast<std::uint32_t>(fs.f_type) == type)
            return true;
    return false;
}

// Removes path if it still names the file open as fd, and not one put in its place since.
void RemoveOwnFile(const char* path, int fd)
{
    struct stat opened {}, named {};
    if (::fstat(fd, &opened) == 0 && ::lstat(path, &named) == 0 && opened.st_dev == named.st_dev
        && opened.st_ino == named.st_ino)
        ::unlink(path);
}

// The part that parses INPUT, confined first: from here on no file can be opened and
// nothing but OUTPUT (and messages) written. The process ends here rather than going
// back to a caller whose clean-up would need more than the sandbox allows.
[[noreturn]] void ThumbnailAndExit(const FileSource& file, int size, const char* outputPath, int output)
{
    EnterSandbox(output);
    IconReader reader(file);
    const std::vector<std::uint8_t> png = ThumbnailPng(reader, size);
    if (png.empty())
        ::_exit(1);
    const bool written = ::ftruncate(output, 0) == 0 && WriteAll(output, png.data(), png.size());
    ::_exit(::close(output) == 0 && written ? 0 : Fail(outputPath, "can't be written"));
}

// A sandboxed process can't remove anything, so when this run made OUTPUT, a child makes
// the thumbnail and this process, which never looks at INPUT's bytes, removes OUTPUT
// again unless the child wrote it.
int ThumbnailInChild(const FileSource& file, int size, const char* inputPath, const char* outputPath, Output output)
{
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child == 0) {
        // A client that gives up on this process ends the child with it.
        if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent)
            ::_exit(2);
        ThumbnailAndExit(file, size, outputPath, output.Fd);
    }
    int status = 0;
    while (child > 0 && ::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int result = 2;
    if (child < 0)
        Fail(outputPath, "can't be written");
    else if (WIFEXITED(status))
        result = WEXITSTATUS(status);
    else
        Fail(inputPath, "reading it stopped the thumbnailer");
    if (result != 0)
        RemoveOwnFile(outputPath, output.Fd);
    ::close(output.Fd);
    return result;
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
    const char* outputPath = argv[at + 1];

    const FileSource file(input);
    if (!file.IsOpen())
        return Fail(input, "not a file that can be read");
    const Output output = OpenOutput(outputPath);
    if (output.Fd < 0)
        return Fail(outputPath, "can't be written");
    // A device, a pipe or a folder in OUTPUT's place is left as it is, whoever runs this.
    if (!IsRegularFile(output.Fd)) {
        ::close(output.Fd);
        return Fail(outputPath, "not a regular file, left as it is");
    }
    // Nor is a file there that sets something in the kernel; it was never made by this run.
    if (IsKernelSetting(output.Fd)) {
        ::close(output.Fd);
        return Fail(outputPath, "a file of the kernel's, left as it is");
    }
    if (output.Created)
        return ThumbnailInChild(file, size, input, outputPath, output);
    ThumbnailAndExit(file, size, outputPath, output.Fd);
}
