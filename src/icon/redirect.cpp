#include "icon/redirect.h"

#include <cstdlib>
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

// The code points of UTF-8 text; false when it is not UTF-8.
bool DecodeUtf8(std::string_view text, std::u32string& out)
{
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
        if (length == 0 || i + std::size_t(length) > text.size())
            return false;
        char32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (int k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + std::size_t(k)]);
            if ((next >> 6) != 2)
                return false;
            c = (c << 6) | (next & 0x3F);
        }
        constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
        if (c < kLeast[length] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000))
            return false;
        out.push_back(c);
        i += std::size_t(length);
    }
    return true;
}

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

char32_t Upper(char32_t c)
{
    if (c < 0x80)
        return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c;
    // The C library's Unicode tables, whatever locale the program runs in; ASCII alone
    // where they are not installed.
    static const locale_t unicode = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr));
    // NTFS upper-cases UTF-16 units: a character beyond them stays as it is.
    if (c > 0xFFFF || !unicode)
        return c;
    return static_cast<char32_t>(::towupper_l(static_cast<wint_t>(c), unicode));
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
    std::u32string characters;
    std::string folded;
    folded.reserve(name.size());
    if (!DecodeUtf8(name, characters)) {
        for (const char c : name)
            folded += c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
        return folded;
    }
    for (const char32_t c : characters)
        AppendUtf8(folded, Upper(c));
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
