#include "batch/sources.h"

#include "icon/redirect.h"
#include "platform/filesearch.h"
#include "scan/folderscan.h"

#include <set>
#include <utility>

#include <sys/stat.h>

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

struct Walk {
    bool recursive;
    bool allKinds;
    const std::function<void(const QString&)>& unreadable;
    std::set<std::pair<dev_t, ino_t>> seen;
    std::vector<BatchSource> found;

    void Folder(const QByteArray& folder, const QByteArray& shown)
    {
        struct stat info {};
        if (::stat(folder.constData(), &info) != 0 || !seen.insert({info.st_dev, info.st_ino}).second)
            return;
        const std::optional<std::vector<FileName>> folders = recursive ? FindFolders(folder) : std::vector<FileName>{};
        if (!folders) {
            unreadable(DisplayName(shown.isEmpty() ? folder : shown));
            return;
        }
        const QByteArray prefix = shown.isEmpty() ? QByteArray() : shown + '/';
        const auto redirects = std::make_shared<const MunFolder>(folder.toStdString());
        for (FileName& name : FindFiles(folder))
            if (allKinds ? IsAnyKindName(name.Bytes) : IsImageFileName(name.Bytes)) {
                QByteArray bytes = prefix + name.Bytes;
                QString text = DisplayName(bytes);
                found.push_back({folder, std::move(name), std::move(text), std::move(bytes), redirects});
            }
        for (const FileName& sub : *folders)
            Folder(folder + '/' + sub.Bytes, prefix + sub.Bytes);
    }
};
} // namespace

std::optional<std::vector<BatchSource>> ListSources(const QByteArray& source, bool recursive,
                                                   const std::function<void(const QString&)>& unreadable,
                                                   bool allKinds)
{
    struct stat info {};
    if (::stat(source.constData(), &info) != 0)
        return std::nullopt;
    if (S_ISREG(info.st_mode)) {
        const qsizetype slash = source.lastIndexOf('/');
        const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : source.left(slash);
        const QByteArray name = source.mid(slash + 1);
        return std::vector<BatchSource>{{folder, {name, DisplayName(name)}, DisplayName(source), source,
                                         std::make_shared<const MunFolder>(folder.toStdString())}};
    }
    if (!S_ISDIR(info.st_mode))
        return std::nullopt;
    Walk walk{recursive, allKinds, unreadable, {}, {}};
    walk.Folder(source, QByteArray());
    return std::move(walk.found);
}
