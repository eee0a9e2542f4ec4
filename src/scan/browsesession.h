// What the scan side shares with the grid, Save and the report: the opened folder, its
// executable and library files, and the temporary bitmap of each icon taken from them.
#pragma once

#include <QString>

#include <array>
#include <vector>

// Slots 1 to 10000 are used; slot 0 is never written.
inline constexpr int kMaxImageFiles = 10000;
inline constexpr int kMaxIcons = 10000;

// Where an icon was taken from: its file, and its place among that file's icons as
// ExtractIconA numbers them (Index from 0, below Count).
struct IconOrigin {
    QString Folder; // as the folder dialog gave it
    QString FileName;
    int Index = 0;
    int Count = 0;
    bool operator==(const IconOrigin&) const = default;
};

struct BrowseState {
    // The folder last confirmed in Open's dialog, without a trailing separator except
    // for the root.
    QString FolderPath;
    // File names (no folder) from the last scan, in listing order, in slots 1..ImageFileCount.
    std::array<QString, kMaxImageFiles + 1> ImageFiles;
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
