// vistrel --extract: the icons (or cursors) of a file, a folder or a tree into numbered
// files, Icon00001.bmp onwards, as many as there are.
#pragma once

#include "scan/iconextraction.h"

#include <QByteArray>

struct ExtractRequest {
    QByteArray Source;  // a file or a folder, as the kernel takes it
    QByteArray Output;  // made with its parents when missing
    IconFormat Format = IconFormat::Bmp;
    bool Recursive = false;
    bool AllKinds = false; // a folder's files of every kind ListSources takes, not only exe and dll
};

// Prints a line for each file and the total; 0 when something was written, 1 when there
// was nothing to write, 2 on a usage or file error, 130 when Ctrl+C stopped it (what was
// written is whole and synced, and the total says how far it got).
int RunExtract(const ExtractRequest& request);
