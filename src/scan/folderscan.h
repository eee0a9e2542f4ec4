// Open's work without the window: the listing of the opened folder (which of its files
// are executables and libraries), then every icon of each of them into numbered files.
// The window and the command line both run this one scan and only present its progress
// and outcome.
#pragma once

#include "browse/browsestate.h"
#include "scan/iconextraction.h"

#include <QString>
#include <QStringList>

#include <cstddef>
#include <functional>

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
    // A file has been read: how many icons it gave.
    virtual void Read(const QString& /*name*/, int /*icons*/) {}
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

// The read-ahead pipeline Open and --extract share. Files 0 .. count - 1 are read by
// read(k) on threads of their own, a few files ahead, while this thread hands each to
// store(k, icons) in order, reading and writing overlapping with the numbering kept;
// waiting(k) runs just before this thread waits for file k. Ends after the file whose
// store returns false, once the reads still running are done. read must touch no state
// that store does.
void ReadAheadAndStore(std::size_t count, const std::function<FileIcons(std::size_t)>& read,
                       const std::function<void(std::size_t)>& waiting,
                       const std::function<bool(std::size_t, const FileIcons&)>& store);

// Lists state.FolderBytes, then takes the icons of each file in listing order into the
// temporary bitmaps, numbered from 1. Stops at either capacity. A WriteError from a
// bitmap that can't be written ends the scan and goes to the caller, with IconCount
// counting what was written.
ScanOutcome ScanFolder(BrowseState& state, ScanProgress& progress);

// Names folder, as the kernel takes it, as the one the next scan reads: FolderBytes, and
// FolderPath as it is shown.
void SetFolder(BrowseState& state, const QByteArray& folder);

// The scan's messages, the same in the window's boxes and on the command line.
QString NoImageFilesMessage(const QString& folder);
QString NoIconsMessage();
QString FilesLeftOutMessage();
QString IconsLeftOutMessage();
