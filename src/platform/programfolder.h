// The folder of the program's own executable: home of Vistrel.ini and the temporary bitmaps.
#pragma once

#include <QString>

// The folder, ending in "/". It does not depend on the working folder.
QString ProgramFolder();

// Points the program at another folder: the tests and the batch command line use it.
void SetProgramFolder(const QString& folder);
