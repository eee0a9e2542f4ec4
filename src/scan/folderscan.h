// The listing of the opened folder: which of its files are executables and libraries.
#pragma once

#include "scan/browsesession.h"

enum class ListingResult {
    NoEntries,       // the folder delivered no file at all (or could not be read)
    Listed,          // every file was looked at; ImageFileCount may still be 0
    CapacityReached, // ImageFiles is full: the listing stopped at kMaxImageFiles names
};

// Lists state.FolderPath into ImageFiles[1..ImageFileCount], in the file system's order:
// ImageFileCount goes to 0, then every regular, non-hidden file whose name's last three
// bytes are "exe" or "dll" in any case is appended (no dot is required: "setupexe" is
// taken, "a.exe.txt" is not). Other slots stay as they were.
ListingResult ListImageFiles(BrowseState& state);

// The name test of the listing.
bool IsImageFileName(const QString& name);
