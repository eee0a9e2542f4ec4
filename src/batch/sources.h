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

struct BatchSource {
    QByteArray Folder; // as the kernel takes it
    FileName Name;
    QString Shown;     // for people: the name, below a named folder as SUB/NAME
    QByteArray ShownBytes; // the same as the kernel takes it
    // The redirects of its folder (System32's to SystemResources), one listing per folder.
    std::shared_ptr<const MunFolder> Redirects = nullptr;
};

// The files of source in the order they are numbered: a file is itself; a folder gives
// its files as Open lists them (with allKinds, also those whose names end in cpl, ocx,
// scr, mun or icl, matched as Open matches exe and dll), then, when recursive, each of
// its folders in the same order, depth first. A link to a folder is not followed, a folder reached twice (a bind
// mount looping back) is passed over, and a folder that can't be read is told to
// unreadable (shown as SUB) and passed over. Nothing when source is neither a file nor
// a folder.
std::optional<std::vector<BatchSource>> ListSources(const QByteArray& source, bool recursive,
                                                   const std::function<void(const QString&)>& unreadable,
                                                   bool allKinds = false);
