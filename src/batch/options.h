// The batch commands' arguments, parsed by getopt_long over the raw bytes without any
// toolkit: the window's program and the quick path in front of it read them alike.
#pragma once

#include "icon/groupchoice.h"
#include "icon/iconformat.h"

#include <string>
#include <vector>

struct BatchArguments {
    bool List = false; // --list, else --extract
    IconFormat Format = IconFormat::Bmp;
    bool Json = false;
    GroupChoice Choice;
    int Size = 0;
    bool Recursive = false;
    bool AllKinds = false;
    // The sources, then --extract's OUTDIR, as given but for trailing separators.
    std::vector<std::string> Operands;
    // When the arguments are wrong: what to say, "%1" standing for ErrorValue.
    std::string Error;
    std::string ErrorValue;
};

// argv[1] is --extract or --list; options may come anywhere after it, "--" ends them.
BatchArguments ParseBatchArguments(int argc, char* argv[]);
