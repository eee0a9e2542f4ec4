// Listing a folder the way the Windows file search does: regular files only, in the
// file system's name order.
#pragma once

#include <QString>

#include <vector>

// The names (without folder) of the regular files in folder, a symbolic link to a regular
// file included. Left out: directories, hidden files (names beginning with "."), and
// FIFOs, sockets and devices, which would block or lie when read. Sorted by the names
// upper-cased and compared code unit by code unit, so "tool.dll" < "tool_a.exe" <
// "Tool_b.exe" and "_x.exe" comes after "zz.exe". A folder that can't be read gives none.
std::vector<QString> FindFiles(const QString& folder);

// The order FindFiles delivers: true when a comes before b.
bool FileNameLess(const QString& a, const QString& b);
