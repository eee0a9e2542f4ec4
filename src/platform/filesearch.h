// Listing a folder the way the Windows file search does: regular files only, in the
// file system's name order.
#pragma once

#include "platform/filenames.h"

#include <QByteArray>
#include <QString>

#include <vector>

// The names (without folder) of the regular files in folder, a symbolic link to a regular
// file included, each as its bytes and its text. Left out: directories, hidden files (names beginning with "."), and
// FIFOs, sockets and devices, which would block or lie when read. Sorted by the names
// upper-cased and compared code unit by code unit, so "tool.dll" < "tool_a.exe" <
// "Tool_b.exe" and "_x.exe" comes after "zz.exe"; a name that is not UTF-8 sorts by the
// text it is shown as (DisplayName). A folder that can't be read gives none.
std::vector<FileName> FindFiles(const QByteArray& folder);

// The order FindFiles delivers: true when a comes before b.
bool FileNameLess(const QString& a, const QString& b);
