// Open's work without the window: the listing of the opened folder (which of its files
// are executables and libraries), then every icon of each of them into numbered files.
// The window and the command line both run this one scan and only present its progress
// and outcome.
#pragma once

#include "scan/browsesession.h"
#include "scan/iconextraction.h"

#include <QString>
#include <QStringList>

#include <optional>

enum class ListingResult {
    NoEntries,       // the folder delivered no file at all (or could not be read)
    Listed,          // every file was looked at; ImageFileCount may still be 0
    CapacityReached, // ImageFiles is full: the listing stopped at kMaxImageFiles names
};

// Lists state.FolderBytes into ImageFiles[1..ImageFileCount] (and ImageFileBytes), in the file system's order:
// ImageFileCount goes to 0, then every regular, non-hidden file whose name's last three
// bytes are "exe" or "dll" in any case is appended (no dot is required: "setupexe" is
// taken, "a.exe.txt" is not). Other slots stay as they were.
ListingResult ListImageFiles(BrowseState& state);

// The name test of the listing, on the name's bytes.
bool IsImageFileName(const QByteArray& name);

// What a scan tells as it goes.
class ScanProgress {
public:
    virtual ~ScanProgress() = default;
    // The listing found count files (at least one); filesLeftOut when it stopped at the capacity.
    virtual void Listed(int /*count*/, bool /*filesLeftOut*/) {}
    // File k of count is about to be read.
    virtual void Reading(int /*k*/, int /*count*/) {}
    // A file has been read: how many icons it gave, and the user's files passed over.
    virtual void Read(const QString& /*name*/, int /*icons*/, const QStringList& /*passedOver*/) {}
};


enum class ScanResult {
    NoImageFiles, // the folder holds no executable or library; IconCount is untouched
    NoIcons,      // none of them holds an icon that could be drawn
    Done,         // IconCount icons were taken
};

struct ScanOutcome {
    ScanResult Result = ScanResult::NoImageFiles;
    bool FilesLeftOut = false; // the listing stopped at kMaxImageFiles files
    bool IconsLeftOut = false; // the icons stopped at kMaxIcons
};

// Lists state.FolderBytes, then takes the icons of each file in listing order, numbered
// from 1: into the temporary bitmaps, or into the user's files of to (ExtractIcons).
// Stops at either capacity. A WriteError from a file that can't be written ends the scan
// and goes to the caller, with IconCount counting what was written.
ScanOutcome ScanFolder(BrowseState& state, ScanProgress& progress, const std::optional<IconTarget>& to = std::nullopt);

// Names folder, as the kernel takes it, as the one the next scan reads: FolderBytes, and
// FolderPath as it is shown.
void SetFolder(BrowseState& state, const QByteArray& folder);

// The scan's messages, the same in the window's boxes and on the command line.
QString NoImageFilesMessage(const QString& folder);
QString NoIconsMessage();
QString FilesLeftOutMessage();
QString IconsLeftOutMessage();
