#include "platform/folderwriter.h"

#include "icon/fdwrite.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
std::uint64_t RandomSeed()
{
    std::uint64_t seed = 0;
    if (::getrandom(&seed, sizeof seed, GRND_NONBLOCK) != sizeof seed)
        seed = (std::uint64_t(::getpid()) << 32) ^ std::uint64_t(::time(nullptr));
    return seed;
}

constexpr char kStagePrefix[] = ".vistrel.";

// Whether name is one TemporaryName("vistrel") gives: the prefix, then a number in base 36.
bool IsStagingName(const char* name)
{
    const std::size_t prefix = sizeof kStagePrefix - 1;
    if (std::strncmp(name, kStagePrefix, prefix) != 0)
        return false;
    const std::size_t length = std::strlen(name);
    if (length == prefix || length > prefix + 10)
        return false;
    for (const char* c = name + prefix; *c != '\0'; ++c)
        if (!((*c >= '0' && *c <= '9') || (*c >= 'a' && *c <= 'z')))
            return false;
    return true;
}

// Whether name in parent still leads to the folder open as fd: whoever held its lock
// before may have removed it.
bool StillNamed(int parent, const char* name, int fd)
{
    struct stat opened {}, named {};
    return ::fstat(fd, &opened) == 0 && ::fstatat(parent, name, &named, AT_SYMLINK_NOFOLLOW) == 0
        && opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

// Calls each(name) for every entry of the folder open as fd but "." and "..".
template <typename Each> void ForEachEntry(int fd, Each each)
{
    const int listing = ::openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* folder = listing >= 0 ? ::fdopendir(listing) : nullptr;
    if (folder == nullptr) {
        if (listing >= 0)
            ::close(listing);
        return;
    }
    while (const dirent* entry = ::readdir(folder))
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            each(entry->d_name, entry->d_type);
    ::closedir(folder);
}

// Removes the staging folders in folder that a batch or a window killed on the way left
// behind. Each is locked for as long as its writer lives, so one whose lock is free is
// abandoned; one of another user's, or open to others, is never one of ours. Only what a
// writer leaves there goes, files and links; anything else keeps the folder.
void RemoveAbandonedStagingFolders(int folder)
{
    ForEachEntry(folder, [folder](const char* name, unsigned char type) {
        if ((type != DT_DIR && type != DT_UNKNOWN) || !IsStagingName(name))
            return;
        const int stage = ::openat(folder, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (stage < 0)
            return;
        struct stat info {};
        if (::fstat(stage, &info) == 0 && info.st_uid == ::geteuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0
            && ::flock(stage, LOCK_EX | LOCK_NB) == 0 && StillNamed(folder, name, stage)) {
            ForEachEntry(stage, [stage](const char* file, unsigned char) { ::unlinkat(stage, file, 0); });
            ::unlinkat(folder, name, AT_REMOVEDIR);
        }
        ::close(stage);
    });
}
} // namespace

QByteArray FolderWriter::TemporaryName(const QByteArray& name)
{
    const QByteArray stem = name.size() > 200 ? QByteArray("vistrel") : name;
    const std::uint64_t unique = (seed_ + ++made_ * 0x9E3779B97F4A7C15ull) & 0xFFFFFFFFFFFFull;
    return '.' + stem + '.' + QByteArray::number(qulonglong(unique), 36);
}

// Opens a new file beside name under a hidden temporary name, created exclusively, so
// nothing planted under that name can receive the bytes.
int FolderWriter::CreateTemporary(const QByteArray& name, mode_t mode, QByteArray& temporary)
{
    for (int attempt = 0; attempt < 64; ++attempt) {
        temporary = TemporaryName(name);
        const int fd = ::openat(StagingFolder(), temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// The files are made in a hidden folder of the batch's own inside the folder and renamed
// out of it: in a folder of thousands of files, a temporary name of its own there would
// cost the large folder's index an entry made and removed for every file. Made on first
// use, 0700, with a name no one can have planted, and locked (flock) while this writer
// lives, so that the next writer into the folder removes it when a kill left it there;
// where it can't be made, the folder itself serves.
int FolderWriter::StagingFolder()
{
    if (stageFd_ >= 0 || stageTried_)
        return stageFd_ >= 0 ? stageFd_ : fd_;
    stageTried_ = true;
    RemoveAbandonedStagingFolders(fd_);
    for (int attempt = 0; attempt < 16 && stageFd_ < 0; ++attempt) {
        stageName_ = TemporaryName("vistrel");
        if (::mkdirat(fd_, stageName_.constData(), 0700) != 0) {
            if (errno == EEXIST)
                continue;
            break;
        }
        stageFd_ = ::openat(fd_, stageName_.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (stageFd_ < 0) {
            ::unlinkat(fd_, stageName_.constData(), AT_REMOVEDIR);
            break;
        }
        // Another writer may take the new folder for abandoned before it is locked, and
        // remove it: then it is made again under another name.
        int locked = 0;
        do
            locked = ::flock(stageFd_, LOCK_EX);
        while (locked != 0 && errno == EINTR);
        if (locked != 0 || !StillNamed(fd_, stageName_.constData(), stageFd_)) {
            ::close(stageFd_);
            stageFd_ = -1;
        }
    }
    return stageFd_ >= 0 ? stageFd_ : fd_;
}

FolderWriter::FolderWriter(const QByteArray& folder, Targets targets)
    : folder_(folder), targets_(targets), newFileMode_(NewFileMode()), seed_(RandomSeed())
{
    fd_ = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat info {};
    // Judged by the bits, not by who asks: a read-only folder stays closed to root too.
    writable_ = fd_ >= 0 && ::fstat(fd_, &info) == 0 && (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
}

FolderWriter::~FolderWriter()
{
    // Removed while still locked, so no other writer takes it for abandoned meanwhile.
    if (stageFd_ >= 0) {
        ::unlinkat(fd_, stageName_.constData(), AT_REMOVEDIR);
        ::close(stageFd_);
    }
    if (fd_ >= 0)
        ::close(fd_);
}

int FolderWriter::TargetMode(const QByteArray& name, mode_t& mode) const
{
    mode = newFileMode_;
    struct stat old {};
    if (::fstatat(fd_, name.constData(), &old, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? 0 : errno;
    if (targets_ == Targets::Scratch) {
        if (S_ISREG(old.st_mode))
            mode = old.st_mode & 07777;
        return S_ISDIR(old.st_mode) ? EACCES : 0;
    }
    if (S_ISLNK(old.st_mode))
        return 0;
    mode = old.st_mode & 07777;
    return S_ISREG(old.st_mode) && (old.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0 ? 0 : EACCES;
}

template <typename Fill>
FolderWriter::Result FolderWriter::WriteWith(const QByteArray& name, Fill fill)
{
    error_ = EBADF;
    if (fd_ < 0)
        return Result::Failed;
    error_ = EACCES;
    if (targets_ == Targets::UserFiles && !writable_)
        return Result::PassedOver;
    mode_t mode = 0;
    if (const int refused = TargetMode(name, mode); refused != 0) {
        error_ = refused;
        return targets_ == Targets::UserFiles ? Result::PassedOver : Result::Failed;
    }
    // An unnamed file (O_TMPFILE) linked in would need no staging folder, but ext4 keeps
    // such files on its orphan list, which costs more than the folder saves.
    QByteArray temporary;
    const int out = CreateTemporary(name, mode, temporary);
    if (out < 0) {
        error_ = errno;
        return Result::Failed;
    }
    // The umask gives a new file its mode already; another mode is set after.
    errno = EIO;
    bool ok = (mode == newFileMode_ || ::fchmod(out, mode) == 0) && fill(out);
    ok = ::close(out) == 0 && ok;
    // renameat replaces the entry itself: a link there is replaced, not followed.
    ok = ok && ::renameat(StagingFolder(), temporary.constData(), fd_, name.constData()) == 0;
    if (!ok) {
        error_ = errno;
        ::unlinkat(StagingFolder(), temporary.constData(), 0);
    }
    return ok ? Result::Written : Result::Failed;
}

FolderWriter::Result FolderWriter::Write(const QByteArray& name, const QByteArray& bytes)
{
    return WriteWith(name, [&bytes](int out) { return WriteAll(out, bytes.constData(), std::size_t(bytes.size())); });
}

FolderWriter::Result FolderWriter::Copy(const QByteArray& name, const QByteArray& source)
{
    // Non-blocking, and only a regular file: a FIFO or a device there would hang the
    // program or never end.
    const int in = ::open(source.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (in < 0)
        return Result::Failed;
    struct stat info {};
    Result result = Result::Failed;
    if (::fstat(in, &info) == 0 && S_ISREG(info.st_mode)) {
        result = WriteWith(name, [in](int out) {
            char buffer[64 * 1024];
            for (;;) {
                const ssize_t n = ::read(in, buffer, sizeof buffer);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    return n == 0;
                if (!WriteAll(out, buffer, std::size_t(n)))
                    return false;
            }
        });
    }
    ::close(in);
    return result;
}

bool FolderWriter::Sync()
{
    return fd_ >= 0 && ::syncfs(fd_) == 0;
}
