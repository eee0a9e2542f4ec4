// Since Windows 10 version 1903 many files of System32 and SysWOW64 (shell32.dll,
// imageres.dll, ...) hold no icon of their own: Windows' resource loader reads their icons
// from SystemResources/NAME.mun beside those folders. Every reader of a file by path takes
// its icons through IconFile, which follows that redirect as Windows does.
#pragma once

#include "icon/bytesource.h"
#include "icon/exeicons.h"

#include <map>
#include <memory>
#include <string>
#include <string_view>

// The .mun files that the files of one folder may take their icons from.
class MunFolder {
public:
    // folder as the kernel takes it. There are none unless the folder as given is named
    // System32 or SysWOW64 (or is . or .., its real path named so) and its parent holds a folder named SystemResources, each
    // name in any case, as NTFS matches them; that folder is then listed here, once. No
    // link is followed: neither a SystemResources that is one nor a NAME.mun.
    explicit MunFolder(const std::string& folder);
    ~MunFolder();
    MunFolder(const MunFolder&) = delete;
    MunFolder& operator=(const MunFolder&) = delete;

    // NAME.mun for the file called name, opened read-only; null when there is none.
    std::unique_ptr<FileSource> Open(std::string_view name) const;
    // Its path, the names as they are stored; empty when there is none.
    std::string PathOf(std::string_view name) const;

private:
    const std::string* Stored(std::string_view name) const;

    int fd_ = -1;      // the SystemResources folder
    std::string path_; // and its real path
    std::map<std::string, std::string> names_; // each NAME.mun, its case folded, as stored
};

// The icons, cursor groups and animated cursors of one file as Windows reads them: the
// file's own, unless it holds no icon group and a .mun stands in for it.
class IconFile {
public:
    // path, and the .mun of its name in folder (the MunFolder of path's folder) when the
    // file needs one; no redirect when folder is null.
    IconFile(const char* path, const MunFolder* folder);
    // A file, and the .mun at munPath that stands in for it if it has to (null when there
    // is none), both opened already and read only when asked for.
    IconFile(std::unique_ptr<ByteSource> file, std::unique_ptr<ByteSource> mun, std::string munPath);
    ~IconFile();
    IconFile(const IconFile&) = delete;
    IconFile& operator=(const IconFile&) = delete;

    // The bytes the icons are read from, and the reader over them; the file's headers are
    // parsed at the first call of either.
    const ByteSource& Source();
    IconReader& Reader();
    // The .mun's path when the icons come from it, else empty.
    const std::string& IconsFrom();

private:
    void Choose();

    std::unique_ptr<ByteSource> file_;
    const MunFolder* folder_ = nullptr;
    std::string name_;
    std::unique_ptr<ByteSource> mun_;
    std::string munPath_;
    std::unique_ptr<IconReader> own_;
    std::unique_ptr<IconReader> redirected_;
    bool chosen_ = false;
    std::string iconsFrom_;
};

// The file at path and the .mun of its folder's redirect, both opened now and read later:
// what the thumbnailer holds before it may open nothing more. Null when path can't be
// opened.
std::unique_ptr<IconFile> OpenIconFileAhead(const char* path);

// A file opened again as a scan read it, iconsFrom being what IconsFrom said then: the
// .mun opened by that path, its folder not listed again, no link followed in place of it
// or of its folder.
std::unique_ptr<IconFile> ReopenIconFile(const char* path, const std::string& iconsFrom);

// name with its case folded as NTFS compares names: each UTF-16 unit by Unicode's simple
// upper-case mapping; a name that is not UTF-8 byte by byte, in ASCII.
std::string FoldedCase(std::string_view name);
