#include "platform/filesearch.h"

#include <algorithm>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace {
class DirectoryHandle {
public:
    explicit DirectoryHandle(const QByteArray& folder) : dir_(::opendir(folder.constData())) {}
    ~DirectoryHandle()
    {
        if (dir_)
            ::closedir(dir_);
    }
    DirectoryHandle(const DirectoryHandle&) = delete;
    DirectoryHandle& operator=(const DirectoryHandle&) = delete;
    DIR* get() const { return dir_; }

private:
    DIR* dir_;
};

bool IsRegularFile(DIR* dir, const dirent* entry)
{
    if (entry->d_type == DT_REG)
        return true;
    if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN)
        return false;
    // A link counts by what it points at; stat never opens the file, so it can't block.
    struct stat info {};
    return ::fstatat(::dirfd(dir), entry->d_name, &info, 0) == 0 && S_ISREG(info.st_mode);
}
} // namespace

bool FileNameLess(const QString& a, const QString& b)
{
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t ua = a.at(i).toUpper().unicode();
        const char16_t ub = b.at(i).toUpper().unicode();
        if (ua != ub)
            return ua < ub;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    // Names that differ only in case (possible here, not on Windows) keep a fixed order.
    return a < b;
}

std::vector<FileName> FindFiles(const QByteArray& folder)
{
    std::vector<FileName> names;
    DirectoryHandle dir(folder);
    if (!dir.get())
        return names;
    while (const dirent* entry = ::readdir(dir.get())) {
        if (entry->d_name[0] == '.')
            continue;
        if (IsRegularFile(dir.get(), entry)) {
            QByteArray bytes(entry->d_name);
            QString text = DisplayName(bytes);
            names.push_back({std::move(bytes), std::move(text)});
        }
    }
    std::sort(names.begin(), names.end(), [](const FileName& a, const FileName& b) {
        // Two byte strings may show alike only if one of them is not UTF-8; the bytes decide then.
        return FileNameLess(a.Text, b.Text) || (a.Text == b.Text && a.Bytes < b.Bytes);
    });
    return names;
}
