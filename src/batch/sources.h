// The files a batch command reads: a file named on the command line, or a folder's
// executables and libraries, and with --recursive those of every folder below it.
#pragma once

#include "platform/filenames.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class MunFolder;

// How the batch commands choose their files, whatever they do with them.
struct SourceOptions {
    bool Recursive = false;
    // A folder's files of every kind Windows keeps icons in, not only exe and dll.
    bool AllKinds = false;
};

struct BatchSource {
    // The folder as the kernel takes it: its path, or for a folder too deep for a path,
    // /proc/self/fd/N of a descriptor that Held keeps open.
    QByteArray Folder;
    FileName Name;
    QString Shown;     // for people: the name, below a named folder as SUB/NAME
    QByteArray ShownBytes; // the same as the kernel takes it
    std::shared_ptr<const int> Held;
    // The redirects of its folder (System32's to SystemResources), one listing per folder.
    std::shared_ptr<const MunFolder> Redirects = nullptr;
};

// The files of source in the order they are numbered: a file is itself; a folder gives
// its files as Open lists them (with AllKinds, also those whose names end in cpl, ocx,
// scr, mun or icl, matched as Open matches exe and dll), then, when recursive, each of
// its folders in the same order, depth first, at any length of path: each folder is opened
// through its parent's descriptor, never by a path. A link to a folder is not followed,
// a folder reached twice (a bind mount looping back) is passed over, and a folder that
// can't be read is told to unreadable (shown as SUB, with the system's reason) and passed
// over. Nothing when source is neither a file nor a folder.
std::optional<std::vector<BatchSource>> ListSources(const QByteArray& source, const SourceOptions& options,
                                                   const std::function<void(const QString&, int)>& unreadable);
