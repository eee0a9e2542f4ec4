#include "icon/redirect.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The folder and the name of path.
std::pair<std::string, std::string> Split(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return {".", std::string(path)};
    return {slash == 0 ? "/" : std::string(path.substr(0, slash)), std::string(path.substr(slash + 1))};
}

// Calls each(entry) for the entries of the open folder dir, which stays open.
template <typename Each>
void ForEachEntry(int dir, Each each)
{
    const int copy = ::fcntl(dir, F_DUPFD_CLOEXEC, 0);
    DIR* listing = copy < 0 ? nullptr : ::fdopendir(copy);
    if (!listing) {
        if (copy >= 0)
            ::close(copy);
        return;
    }
    while (const dirent* entry = ::readdir(listing))
        if (entry->d_name[0] != '.' || (entry->d_name[1] != '\0' && std::string_view(entry->d_name) != ".."))
            each(*entry);
    ::closedir(listing);
}

// Whether entry of dir is of type (S_IFDIR, S_IFREG) itself, not through a link.
bool EntryIs(int dir, const dirent& entry, mode_t type)
{
    if (entry.d_type != DT_UNKNOWN)
        return static_cast<mode_t>(DTTOIF(entry.d_type)) == type;
    struct stat info {};
    return ::fstatat(dir, entry.d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && (info.st_mode & S_IFMT) == type;
}

// Names differing only in case (possible here, not on Windows): the first in byte order wins.
void Keep(std::map<std::string, std::string>& names, std::string key, std::string stored)
{
    auto [at, added] = names.try_emplace(std::move(key), stored);
    if (!added && stored < at->second)
        at->second = std::move(stored);
}

const std::string kMun = ".MUN";

bool IsSystemFolderName(std::string_view name)
{
    const std::string folded = FoldedCase(name);
    return folded == "SYSTEM32" || folded == "SYSWOW64";
}

} // namespace

std::string FoldedCase(std::string_view name)
{
    std::string ascii(name);
    for (char& c : ascii)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    if (std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return ascii;
    // The C library's Unicode tables, whatever locale the program runs in; ASCII alone
    // where they are not installed. Loaded only for a name that needs them: they cost a
    // launcher's one-icon call more than its icon.
    static const locale_t unicode = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr));
    if (!unicode)
        return ascii;
    const locale_t previous = ::uselocale(unicode);
    std::string folded;
    std::mbstate_t in{}, out{};
    for (std::size_t i = 0; i < name.size();) {
        wchar_t c = 0;
        const std::size_t length = std::mbrtowc(&c, name.data() + i, name.size() - i, &in);
        if (length == static_cast<std::size_t>(-1) || length == static_cast<std::size_t>(-2)) {
            folded = ascii; // not UTF-8
            break;
        }
        i += std::max<std::size_t>(length, 1);
        // NTFS upper-cases UTF-16 units: a character beyond them stays as it is.
        char bytes[MB_LEN_MAX];
        const std::size_t written = std::wcrtomb(bytes, c > 0xFFFF ? c : static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c))), &out);
        folded.append(bytes, written == static_cast<std::size_t>(-1) ? 0 : written);
    }
    ::uselocale(previous);
    return folded;
}

MunFolder::MunFolder(const std::string& folder)
{
    // By its name first, so that the many folders of a tree walk cost no system call.
    std::string_view given = folder;
    while (given.size() > 1 && given.ends_with('/'))
        given.remove_suffix(1);
    const std::string_view givenName = given.substr(given.rfind('/') + 1);
    if (givenName != "." && givenName != ".." && !IsSystemFolderName(givenName))
        return;
    char* real = ::realpath(folder.c_str(), nullptr);
    if (!real)
        return;
    const auto [parent, name] = Split(real);
    std::free(real);
    if (!IsSystemFolderName(name))
        return;
    const int parentFd = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parentFd < 0)
        return;
    std::map<std::string, std::string> candidates;
    ForEachEntry(parentFd, [&](const dirent& entry) {
        if (FoldedCase(entry.d_name) == "SYSTEMRESOURCES" && EntryIs(parentFd, entry, S_IFDIR))
            Keep(candidates, {}, entry.d_name);
    });
    if (!candidates.empty()) {
        const std::string& stored = candidates.begin()->second;
        fd_ = ::openat(parentFd, stored.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        path_ = (parent == "/" ? parent : parent + '/') + stored;
    }
    ::close(parentFd);
    if (fd_ < 0)
        return;
    ForEachEntry(fd_, [this](const dirent& entry) {
        std::string key = FoldedCase(entry.d_name);
        if (key.size() > kMun.size() && key.ends_with(kMun) && EntryIs(fd_, entry, S_IFREG))
            Keep(names_, std::move(key), entry.d_name);
    });
}

MunFolder::~MunFolder()
{
    if (fd_ >= 0)
        ::close(fd_);
}

const std::string* MunFolder::Stored(std::string_view name) const
{
    if (names_.empty())
        return nullptr;
    const auto found = names_.find(FoldedCase(name) + kMun);
    return found == names_.end() ? nullptr : &found->second;
}

std::unique_ptr<FileSource> MunFolder::Open(std::string_view name) const
{
    const std::string* stored = Stored(name);
    return stored ? std::make_unique<FileSource>(fd_, stored->c_str()) : nullptr;
}

std::string MunFolder::PathOf(std::string_view name) const
{
    const std::string* stored = Stored(name);
    return stored ? path_ + '/' + *stored : std::string();
}

IconFile::IconFile(const char* path, const MunFolder* folder)
    : file_(std::make_unique<FileSource>(path)), folder_(folder), name_(Split(path).second)
{
}

IconFile::IconFile(std::unique_ptr<ByteSource> file, std::unique_ptr<ByteSource> mun, std::string munPath)
    : file_(std::move(file)), mun_(std::move(mun)), munPath_(std::move(munPath))
{
}

IconFile::~IconFile() = default;

void IconFile::Choose()
{
    if (chosen_)
        return;
    chosen_ = true;
    own_ = std::make_unique<IconReader>(*file_);
    // A file with an icon group of its own keeps all it holds, as Windows' loader does;
    // one that is missing or empty is nothing Windows would load.
    if (own_->Count(ResourceKind::Icon) > 0 || file_->Size() == 0)
        return;
    if (!mun_ && folder_) {
        mun_ = folder_->Open(name_);
        munPath_ = folder_->PathOf(name_);
    }
    if (!mun_ || mun_->Size() == 0)
        return;
    redirected_ = std::make_unique<IconReader>(*mun_);
    iconsFrom_ = munPath_;
}

const ByteSource& IconFile::Source()
{
    Choose();
    return redirected_ ? static_cast<const ByteSource&>(*mun_) : *file_;
}

IconReader& IconFile::Reader()
{
    Choose();
    return redirected_ ? *redirected_ : *own_;
}

const std::string& IconFile::IconsFrom()
{
    Choose();
    return iconsFrom_;
}

std::unique_ptr<IconFile> OpenIconFileAhead(const char* path)
{
    auto file = std::make_unique<FileSource>(path);
    if (!file->IsOpen())
        return nullptr;
    const auto [folder, name] = Split(path);
    const MunFolder redirects(folder);
    return std::make_unique<IconFile>(std::move(file), redirects.Open(name), redirects.PathOf(name));
}

std::unique_ptr<IconFile> ReopenIconFile(const char* path, const std::string& iconsFrom)
{
    std::unique_ptr<ByteSource> mun;
    if (!iconsFrom.empty()) {
        const auto [folder, name] = Split(iconsFrom);
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0) {
            mun = std::make_unique<FileSource>(fd, name.c_str());
            ::close(fd);
        }
    }
    return std::make_unique<IconFile>(std::make_unique<FileSource>(path), std::move(mun), iconsFrom);
}
