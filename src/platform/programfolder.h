// The folder of the program's own executable, and where Vistrel keeps its files: beside
// the executable, or in the user's XDG folders when that folder is closed to writing
// (a system-wide install); and a window's hold on the folder of its bitmaps.
#pragma once

#include <QString>

// The folder, ending in "/". It does not depend on the working folder.
QString ProgramFolder();

// The home of Vistrel.ini, ending in "/": ProgramFolder(), or $XDG_CONFIG_HOME/vistrel/
// (default ~/.config/vistrel/), created when missing, where ProgramFolder() is closed to
// writing.
QString SettingsFolder();

// The home of the temporary bitmaps and the paint program's hand-off file, ending in "/":
// the folder a TempFolderLock holds while there is one, else SharedTempFolder().
QString TempFolder();

// Where the first running window keeps its bitmaps, ending in "/": ProgramFolder(), or
// $XDG_CACHE_HOME/vistrel/ (default ~/.cache/vistrel/), created when missing, where
// ProgramFolder() is closed to writing.
QString SharedTempFolder();

// Whether a file of that name is one of the temporary bitmaps: "temp*.bmp" in any case.
bool IsTempBitmapName(const QString& name);

// The clean-up of a bitmap folder: deletes every regular, non-hidden file in folder whose
// name IsTempBitmapName. A deletion that fails is passed over. Returns how many files
// were deleted.
int DeleteTempBitmaps(const QString& folder);

// The window's hold on the folder of its bitmaps for as long as it runs, so that two
// windows never write or delete each other's. A running window is known by the lock on its
// folder (flock on the folder itself, so nothing is left beside the program), never by the
// files in it.
//
// The first window takes SharedTempFolder() and deletes the bitmaps there, which a window
// that ended without its clean-up left behind. A window started while another holds it
// works in a folder of its own, $XDG_RUNTIME_DIR/vistrel-PID/ (in $XDG_CACHE_HOME/vistrel/
// when the runtime folder is unset or open to others), made for the user alone and removed
// with the lock. Before either, such folders whose window is gone are removed. Where no
// folder can be held, TempFolder() stays SharedTempFolder().
class TempFolderLock {
public:
    TempFolderLock();
    ~TempFolderLock();
    TempFolderLock(const TempFolderLock&) = delete;
    TempFolderLock& operator=(const TempFolderLock&) = delete;

    // The held folder, ending in "/"; empty when none could be held.
    const QString& Folder() const { return folder_; }
    bool IsPrivate() const { return private_; }

private:
    int descriptor_ = -1;
    QString folder_;
    bool private_ = false;
    QString previous_; // what TempFolder() named before, for locks made inside one process
};

// Points the program at another folder: the tests and benchmarks use it.
void SetProgramFolder(const QString& folder);
