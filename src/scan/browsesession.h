// What the scan side shares with the grid, Save and the report: the opened folder, its
// executable and library files, and the temporary bitmap of each icon taken from them.
#pragma once

#include <QString>

#include <array>

// Slots 1 to 10000 are used; slot 0 is never written.
inline constexpr int kMaxImageFiles = 10000;
inline constexpr int kMaxIcons = 10000;

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
    // The folder last confirmed in Save's dialog.
    QString SaveFolderPath;
};
