// What a scan leaves for the grid, Save and the report to read: the opened folder, its
// executable and library files, and the temporary bitmap of each icon taken from them,
// with where each icon came from. Plain data, so its readers need nothing of the scan.
#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstddef>
#include <vector>

// Slots 1 to 10000 are used; slot 0 is never written.
inline constexpr int kMaxImageFiles = 10000;
inline constexpr int kMaxIcons = 10000;

// Where an icon was taken from: its file, and its place among that file's icons as
// ExtractIconA numbers them (Index from 0, below Count).
struct IconOrigin {
    QString Folder;   // as the folder dialog gave it, or as a folder named in bytes is shown
    QString FileName; // as it is shown
    int Index = 0;
    int Count = 0;
    QByteArray Path; // the file as the kernel takes it: the folder's and the name's bytes
    // Tells the icon drawn at the scan from whatever the file holds when it is read again.
    std::size_t Fingerprint = 0;
    // The .mun the icon was read from in the file's place (a System32 file whose icons
    // live in SystemResources), as the kernel takes it; empty when the file holds it.
    QByteArray IconsFrom = {};
    bool operator==(const IconOrigin&) const = default;
};

struct BrowseState {
    // The folder last confirmed in Open's dialog, without a trailing separator except
    // for the root.
    QString FolderPath;
    // The folder the scan reads: FolderPath's bytes, which may not be UTF-8 when the
    // folder was named on the command line.
    QByteArray FolderBytes;
    // File names (no folder) from the last scan, in listing order, in slots 1..ImageFileCount,
    // as they are shown; ImageFileBytes holds each as the kernel gave it.
    std::array<QString, kMaxImageFiles + 1> ImageFiles;
    std::vector<QByteArray> ImageFileBytes = std::vector<QByteArray>(kMaxImageFiles + 1);
    int ImageFileCount = 0;
    // Icons taken from the opened folder; also the number of the last temporary bitmap.
    int IconCount = 0;
    // Slot n holds the full path of the temporary bitmap of icon n, for n in 1..IconCount.
    // Neither table is ever cleared: the counts alone say which slots are valid.
    std::array<QString, kMaxIcons + 1> TempBitmaps;
    // Slot n tells where icon n was taken from, filled with TempBitmaps[n]. On the heap:
    // the state is large enough already.
    std::vector<IconOrigin> IconOrigins = std::vector<IconOrigin>(kMaxIcons + 1);
    // The folder last confirmed in Save's dialog.
    QString SaveFolderPath;
};
