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
    // Its length when opened: only a file longer than the thumbnail is cut after writing.
    off_t Length = 0;
};

// Whether fd is a file of the kernel's own file systems, where writing sets the system's
// and processes' settings (the host name in /proc/sys, a device's in /sys, a binary
// format in binfmt_misc) or stores nothing a reader gets back: a file system that can't
// be told counts as one of them.
bool IsKernelSetting(int fd)
{
    // Not in <linux/magic.h>: the kernel keeps them in the file systems' own sources.
    constexpr std::uint32_t kConfigFsMagic = 0x62656570;
    constexpr std::uint32_t kFuseCtlMagic = 0x65735543;
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0)
        return true;
    // Magic numbers are 32 bits, f_type a long that a 32-bit system may sign-extend.
    using Magic = std::initializer_list<std::uint32_t>;
    for (const std::uint32_t type :
         Magic{PROC_SUPER_MAGIC, SYSFS_MAGIC, DEBUGFS_MAGIC, TRACEFS_MAGIC, SECURITYFS_MAGIC, CGROUP_SUPER_MAGIC,
               CGROUP2_SUPER_MAGIC, BPF_FS_MAGIC, EFIVARFS_MAGIC, BINFMTFS_MAGIC, kConfigFsMagic, SELINUX_MAGIC,
               SMACK_MAGIC, kFuseCtlMagic, PSTOREFS_MAGIC})
        if (static_cast<std::uint32_t>(fs.f_type) == type)
            return true;
    return false;
}

// What stands at OUTPUT, looked at through an O_PATH descriptor, which opens nothing: a
// FIFO's reader never sees an end of file, a device is never woken.
enum class Found { Missing, File, NotRegular, KernelFile, Unusable };

Found LookAt(const char* path, struct stat& info)
{
    const int fd = ::open(path, O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? Found::Missing : Found::Unusable;
    Found found = Found::File;
    if (::fstat(fd, &info) != 0)
        found = Found::Unusable;
    else if (!S_ISREG(info.st_mode)) // a link too, which O_NOFOLLOW leaves unfollowed
        found = Found::NotRegular;
    else if (IsKernelSetting(fd))
        found = Found::KernelFile;
    ::close(fd);
    return found;
}

// The regular file at path opened to be written in place, never truncated, only when it
// is still the file (device, inode) looked at before, with its length then; Fd -1 otherwise.
Output OpenSameFile(const char* path, dev_t device, ino_t inode)
{
    const int fd = ::open(path, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    struct stat info {};
    if (fd >= 0 && (::fstat(fd, &info) != 0 || info.st_dev != device || info.st_ino != inode)) {
        ::close(fd);
        return {};
    }
    return {fd, info.st_size};
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

// What the watchdog says once it tried to make OUTPUT; with 'c', the file's identity.
struct Made {
    char What = 0; // 'c' made, 'e' there already, 'f' failed
    dev_t Device = 0;
    ino_t Inode = 0;
};

// A sandboxed process can't remove anything, so a missing OUTPUT is made by a watchdog
// forked first, in a session of its own: a kill of the client's process group (timeout,
// Ctrl+C) doesn't reach it. It makes OUTPUT and removes it again unless the thumbnailing
// process says it wrote it, also when that process dies without a word, so from the
// moment OUTPUT exists something removes it on failure. The thumbnailing process opens
// OUTPUT by path and writes it only when it is the file the watchdog made. The watchdog
// never looks at INPUT's bytes. The thumbnail is made in this process, whose mappings
// are already in place, so the client waits for the fork alone, not for a new process's
// first touch of every page it uses. Returns only when OUTPUT was there after all
// (kAgain) or can't be made.
constexpr int kAgain = -1;

int ThumbnailWatched(IconFile& file, int size, const char* inputPath, const char* outputPath)
{
    int tell[2], hear[2];
    if (::pipe2(tell, O_CLOEXEC) != 0 || ::pipe2(hear, O_CLOEXEC) != 0)
        return Fail(outputPath, "can't be written");
    // Written when the other end is gone: an error to handle, not a signal that ends us.
    std::signal(SIGPIPE, SIG_IGN);
    const pid_t watchdog = ::fork();
    if (watchdog == 0) {
        ::setsid();
        ::close(tell[1]);
        ::close(hear[0]);
        const int fd = ::open(outputPath, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
        Made made{fd >= 0 ? 'c' : errno == EEXIST ? 'e' : 'f'};
        struct stat info {};
        if (fd >= 0 && ::fstat(fd, &info) == 0) {
            made.Device = info.st_dev;
            made.Inode = info.st_ino;
        }
        // One write below PIPE_BUF: the other end reads all of it or, gone, nothing.
        const bool told = ::write(hear[1], &made, sizeof made) == sizeof made;
        if (fd < 0)
            ::_exit(0);
        char verdict = 0;
        ssize_t got = 0;
        while (told && (got = ::read(tell[0], &verdict, 1)) < 0 && errno == EINTR) {
        }
        if (got != 1 || verdict != kWritten)
            RemoveOwnFile(outputPath, fd);
        if (told && got != 1)
            Fail(inputPath, "reading it stopped the thumbnailer");
        ::_exit(0); // which closes hear[1]: the thumbnailing process may end
    }
    ::close(tell[0]);
    ::close(hear[1]);
    Made made;
    ssize_t got = 0;
    while (watchdog > 0 && (got = ::read(hear[0], &made, sizeof made)) < 0 && errno == EINTR) {
    }
    if (got != sizeof made || made.What != 'c') {
        ::close(tell[1]);
        ::close(hear[0]);
        return got == sizeof made && made.What == 'e' ? kAgain : Fail(outputPath, "can't be written");
    }
    const Watch watch{tell[1], hear[0]};
    const Output output = OpenSameFile(outputPath, made.Device, made.Inode);
    if (output.Fd < 0 || IsKernelSetting(output.Fd))
        ExitTelling(watch, Fail(outputPath, "can't be written"));
    ThumbnailAndExit(file, size, outputPath, output, watch);
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
    // Twice, for a file that someone else makes while this run makes it.
    for (int attempt = 0; attempt < 2; ++attempt) {
        struct stat info {};
        switch (LookAt(outputPath, info)) {
        case Found::Missing:
            if (const int status = ThumbnailWatched(*file, size, input, outputPath); status != kAgain)
                return status;
            continue;
        // A device, a pipe, a link or a folder in OUTPUT's place is left as it is, whoever
        // runs this; so is a file there that sets something in the kernel.
        case Found::NotRegular:
            return Fail(outputPath, "not a regular file, left as it is");
        case Found::KernelFile:
            return Fail(outputPath, "a file of the kernel's, left as it is");
        case Found::Unusable:
            return Fail(outputPath, "can't be written");
        case Found::File:
            const Output output = OpenSameFile(outputPath, info.st_dev, info.st_ino);
            if (output.Fd < 0)
                return Fail(outputPath, "can't be written");
            ThumbnailAndExit(*file, size, outputPath, output, {});
        }
    }
    return Fail(outputPath, "can't be written");
}
