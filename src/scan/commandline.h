// The batch command line, run before any window exists:
//   vistrel --extract FOLDER OUTDIR   the icons of FOLDER's executables and libraries, as
//                                     Open finds them, into OUTDIR/Icon00001.bmp onwards
//   vistrel --help | --version
#pragma once

#include <optional>

// The exit status when argv is one of the batch commands; nothing when the program
// should start its window. --extract: 0 when icons were written, 1 when there were none,
// 2 on a usage or I/O error.
std::optional<int> RunCommandLine(int argc, char* argv[]);

// --extract itself, printing to stdout and stderr.
int ExtractFolder(const char* folder, const char* outputFolder);
