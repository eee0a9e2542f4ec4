#include "thumbnailer/thumbnail.h"

#include "icon/fdwrite.h"
#include "icon/iconexport.h"
#include "icon/redirect.h"
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
#include <sys/stat.h>
#include <sys/vfs.h>
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
    // Its length when opened: only a file longer than the thumbnail is cut after writing.
    off_t Length = 0;
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

// Whether output is a regular file, noting its length.
bool IsRegularFile(Output& output)
{
    struct stat info {};
    if (::fstat(output.Fd, &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    output.Length = info.st_size;
    return true;
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

// The pipes between the thumbnailing process and the watchdog that removes an OUTPUT this
// run made unless told it was written; both -1 when the client made OUTPUT.
struct Watch {
    int Tell = -1;
    int Hear = -1;
};

constexpr char kWritten = 'w';
constexpr char kNotWritten = 'n';

// Ends the thumbnailing process, first telling the watchdog whether OUTPUT stays and,
// when it doesn't, waiting until it is gone, so that a client finds none after exit.
[[noreturn]] void ExitTelling(Watch watch, int status)
{
    if (watch.Tell >= 0) {
        const char verdict = status == 0 ? kWritten : kNotWritten;
        // A watchdog gone already can't remove anything: its pipe says so, no signal.
        if (::write(watch.Tell, &verdict, 1) == 1 && status != 0) {
            char nothing = 0;
            while (::read(watch.Hear, &nothing, 1) < 0 && errno == EINTR) {
            }
        }
    }
    ::_exit(status);
}

// The part that parses INPUT, confined first: from here on no file can be opened and
// nothing but OUTPUT (and messages, and the verdict) written. The process ends here
// rather than going back to a caller whose clean-up would need more than the sandbox
// allows.
[[noreturn]] void ThumbnailAndExit(IconFile& file, int size, const char* outputPath, Output output, Watch watch)
{
    EnterSandbox(output.Fd, watch.Tell, watch.Hear);
    const std::vector<std::uint8_t> png = ThumbnailPng(file.Reader(), size);
    if (png.empty())
        ExitTelling(watch, 1);
    // Written over, then cut to length if it was longer: truncating an ext4 file to 0 would
    // make closing it wait for its blocks to be allocated, which a new or empty OUTPUT
    // (every client's) needn't.
    const auto length = static_cast<off_t>(png.size());
    const bool written = WriteAll(output.Fd, png.data(), png.size())
        && (output.Length <= length || ::ftruncate(output.Fd, length) == 0);
    ExitTelling(watch, ::close(output.Fd) == 0 && written ? 0 : Fail(outputPath, "can't be written"));
}

// A sandboxed process can't remove anything, so when this run made OUTPUT, a watchdog
// forked first removes it again unless the thumbnailing process says it wrote it, or
// when that process dies without a word. The watchdog never looks at INPUT's bytes. The
// thumbnail is made in this process, whose mappings are already in place, so the client
// waits for the fork alone, not for a new process's first touch of every page it uses.
int ThumbnailWatched(IconFile& file, int size, const char* inputPath, const char* outputPath, Output output)
{
    int tell[2], hear[2];
    if (::pipe2(tell, O_CLOEXEC) != 0 || ::pipe2(hear, O_CLOEXEC) != 0) {
        RemoveOwnFile(outputPath, output.Fd);
        return Fail(outputPath, "can't be written");
    }
    // Written when the watchdog is gone: an error to handle, not a signal that ends us.
    std::signal(SIGPIPE, SIG_IGN);
    const pid_t watchdog = ::fork();
    if (watchdog == 0) {
        ::close(tell[1]);
        ::close(hear[0]);
        char verdict = 0;
        ssize_t got = 0;
        while ((got = ::read(tell[0], &verdict, 1)) < 0 && errno == EINTR) {
        }
        if (got != 1 || verdict != kWritten)
            RemoveOwnFile(outputPath, output.Fd);
        if (got != 1)
            Fail(inputPath, "reading it stopped the thumbnailer");
        ::_exit(0); // which closes hear[1]: the thumbnailing process may end
    }
    ::close(tell[0]);
    ::close(hear[1]);
    if (watchdog < 0) {
        RemoveOwnFile(outputPath, output.Fd);
        return Fail(outputPath, "can't be written");
    }
    ThumbnailAndExit(file, size, outputPath, output, {tell[1], hear[0]});
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

    // With the .mun a System32 file may take its icons from: the sandbox opens nothing.
    const std::unique_ptr<IconFile> file = OpenIconFileAhead(input);
    if (!file)
        return Fail(input, "not a file that can be read");
    Output output = OpenOutput(outputPath);
    if (output.Fd < 0)
        return Fail(outputPath, "can't be written");
    // A device, a pipe or a folder in OUTPUT's place is left as it is, whoever runs this.
    if (!IsRegularFile(output)) {
        ::close(output.Fd);
        return Fail(outputPath, "not a regular file, left as it is");
    }
    // Nor is a file there that sets something in the kernel; it was never made by this run.
    if (IsKernelSetting(output.Fd)) {
        ::close(output.Fd);
        return Fail(outputPath, "a file of the kernel's, left as it is");
    }
    if (output.Created)
        return ThumbnailWatched(*file, size, input, outputPath, output);
    ThumbnailAndExit(*file, size, outputPath, output, {});
}
