// The batch command line, run before any window exists:
//   vistrel --extract [--format bmp|png|ico] FOLDER OUTDIR
//                                     the icons of FOLDER's executables and libraries, as
//                                     Open finds them, into OUTDIR/Icon00001.bmp onwards
//   vistrel --thumbnail [-s SIZE] INPUT OUTPUT   (platform/thumbnailer.h)
//   vistrel --help | --version
#pragma once

#include "scan/iconextraction.h"

#include <optional>

// The exit status when argv is one of the batch commands; nothing when the program
// should start its window. --extract: 0 when icons were written, 1 when there were none,
// 2 on a usage or I/O error. OUTDIR is created with its parents when it does not exist.
std::optional<int> RunCommandLine(int argc, char* argv[]);

// --extract itself, printing to stdout and stderr.
int ExtractFolder(const char* folder, const char* outputFolder, IconFormat format = IconFormat::Bmp);
