// The folder of the program's own executable, and where Vistrel keeps its files: beside
// the executable, or in the user's XDG folders when that folder is closed to writing
// (a system-wide install).
#pragma once

#include <QString>

// The folder, ending in "/". It does not depend on the working folder.
QString ProgramFolder();

// The home of Vistrel.ini, ending in "/": ProgramFolder(), or $XDG_CONFIG_HOME/vistrel/
// (default ~/.config/vistrel/), created when missing, where ProgramFolder() is closed to
// writing.
QString SettingsFolder();

// The home of the temporary bitmaps and the paint program's hand-off file, ending in "/":
// ProgramFolder(), or $XDG_CACHE_HOME/vistrel/ (default ~/.cache/vistrel/), created when
// missing, where ProgramFolder() is closed to writing.
QString TempFolder();

// Points the program at another folder: the tests and benchmarks use it.
void SetProgramFolder(const QString& folder);
