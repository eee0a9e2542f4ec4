// One chosen icon of files to standard output, answered before any toolkit is loaded:
// what a launcher asks once per program, so its cost is the icon's, not the toolkit's
// start. Only the plain case is taken here; anything else, or anything to be said, is
// left to the whole command, which answers it the same way.
#pragma once

#include <optional>

// The exit status when argv is `--extract ... FILE -` in png, ico or cur choosing exactly
// one icon of the file, once it is written or has failed to be; nothing otherwise, with
// nothing written.
std::optional<int> QuickExtract(int argc, char* argv[]);
