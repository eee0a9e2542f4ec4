#include "batch/sources.h"

#include "icon/redirect.h"
#include "platform/filesearch.h"
#include "scan/folderscan.h"

#include <cerrno>
#include <climits>
#include <set>
#include <utility>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// Every kind of file Windows keeps icons in: programs, libraries, Control Panel items,
// ActiveX controls, screen savers, the .mun files of SystemResources, icon libraries.
bool IsAnyKindName(const QByteArray& name)
{
    const QByteArray tail = name.right(3).toLower();
    for (const char* kind : {"exe", "dll", "cpl", "ocx", "scr", "mun", "icl"})
        if (tail == kind)
            return true;
    return false;
}

// Which files of a folder a batch takes.
bool Taken(const FileName& name, const SourceOptions& options)
{
    return options.AllKinds ? IsAnyKindName(name.Bytes) : IsImageFileName(name.Bytes);
}

QByteArray FdPath(int fd)
{
    return "/proc/self/fd/" + QByteArray::number(fd);
}

// A walk holds a descriptor for every folder between the source and the one it reads,
// so a deep tree needs as many as the system allows.
void RaiseDescriptorLimit()
{
    rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

// Depth first with a stack of its own, not the program's: a tree deeper than that stack
// is walked as far as the descriptors go, one a level.
struct Walk {
    // A folder being read: its descriptor, its path while that is short enough to open
    // by, where its name begins in shown, and its folders still to walk.
    struct Level {
        int Fd;
        QByteArray Path;
        qsizetype ParentShown;
        std::vector<FileName> Folders;
        std::size_t Next = 0;
    };

    const SourceOptions& options;
    const std::function<void(const QString&, int)>& unreadable;
    std::set<std::pair<dev_t, ino_t>> seen;
    std::vector<BatchSource> found;
    std::vector<Level> levels;
    // The folder being read below the source, as SUB/SUB: one string for the whole walk,
    // so a deep tree costs its names once, not once a level.
    QByteArray shown;

    // Walks the tree of fd, whose descriptor it takes.
    void Tree(int fd, const QByteArray& path)
    {
        Enter(fd, path, 0);
        while (!levels.empty()) {
            Level& level = levels.back();
            if (level.Next == level.Folders.size()) {
                ::close(level.Fd);
                shown.truncate(level.ParentShown);
                levels.pop_back();
                continue;
            }
            const FileName& sub = level.Folders[level.Next++];
            const qsizetype parentShown = shown.size();
            shown += (shown.isEmpty() ? QByteArray() : QByteArray("/")) + sub.Bytes;
            const int subFd = ::openat(level.Fd, sub.Bytes.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (subFd < 0) {
                // Gone, or become a link, since it was listed: nothing to walk.
                if (const int error = errno; error != ENOENT && error != ELOOP && error != ENOTDIR)
                    unreadable(DisplayName(shown), error);
                shown.truncate(parentShown);
                continue;
            }
            const QByteArray subPath = level.Path.isEmpty() || level.Path.size() + sub.Bytes.size() + NAME_MAX + 2 >= PATH_MAX
                ? QByteArray()
                : level.Path + '/' + sub.Bytes;
            if (!Enter(subFd, subPath, parentShown))
                shown.truncate(parentShown);
        }
    }

    // Takes the files of fd, the folder shown names, and makes it the level to walk next;
    // false, fd closed, when it was seen already or can't be read.
    bool Enter(int fd, const QByteArray& path, qsizetype parentShown)
    {
        struct stat info {};
        if (::fstat(fd, &info) != 0 || !seen.insert({info.st_dev, info.st_ino}).second) {
            ::close(fd);
            return false;
        }
        const QByteArray here = FdPath(fd);
        std::optional<std::vector<FileName>> folders = options.Recursive ? FindFolders(here) : std::vector<FileName>{};
        if (!folders) {
            const int error = errno; // before DisplayName can change it
            unreadable(DisplayName(shown.isEmpty() ? path : shown), error);
            ::close(fd);
            return false;
        }
        const QByteArray prefix = shown.isEmpty() ? QByteArray() : shown + '/';
        // A folder too deep for a path is no System32 of a mounted Windows.
        const auto redirects = path.isEmpty() ? nullptr : std::make_shared<const MunFolder>(path.toStdString());
        std::shared_ptr<const int> held;
        for (FileName& name : FindFiles(here)) {
            if (!Taken(name, options))
                continue;
            // Deep down a path can't name the folder; a descriptor of its own then does.
            if (path.isEmpty() && !held) {
                const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
                if (copy < 0) {
                    const int error = errno; // before DisplayName can change it
                    unreadable(DisplayName(shown), error);
                    break;
                }
                held = std::shared_ptr<const int>(new int(copy), [](const int* p) {
                    ::close(*p);
                    delete p;
                });
            }
            QByteArray bytes = prefix + name.Bytes;
            QString text = DisplayName(bytes);
            found.push_back({held ? FdPath(*held) : path, std::move(name), std::move(text), std::move(bytes), held, redirects});
        }
        levels.push_back({fd, path, parentShown, std::move(*folders)});
        return true;
    }
};
} // namespace

std::optional<std::vector<BatchSource>> ListSources(const QByteArray& source, const SourceOptions& options,
                                                   const std::function<void(const QString&, int)>& unreadable)
{
    struct stat info {};
    if (::stat(source.constData(), &info) != 0)
        return std::nullopt;
    if (S_ISREG(info.st_mode)) {
        const qsizetype slash = source.lastIndexOf('/');
        const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : source.left(slash);
        const QByteArray name = source.mid(slash + 1);
        return std::vector<BatchSource>{{folder, {name, DisplayName(name)}, DisplayName(source), source, {},
                                         std::make_shared<const MunFolder>(folder.toStdString())}};
    }
    if (!S_ISDIR(info.st_mode))
        return std::nullopt;
    // The folder named is followed even when it is a link: it is the one the user chose.
    const int fd = ::open(source.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        unreadable(DisplayName(source), error);
        return std::vector<BatchSource>{};
    }
    if (options.Recursive)
        RaiseDescriptorLimit();
    Walk walk{options, unreadable, {}, {}, {}, {}};
    walk.Tree(fd, source);
    return std::move(walk.found);
}
