// vistrel --extract: the icons (or cursors) of files, folders or trees into numbered
// files, Icon00001.bmp onwards, as many as there are or the one chosen; or the one chosen
// icon to standard output.
#pragma once

#include "batch/sources.h"
#include "scan/iconextraction.h"

#include <QByteArray>

#include <vector>

struct ExtractRequest {
    std::vector<QByteArray> Sources; // files and folders, as the kernel takes them
    QByteArray Output;  // made with its parents when missing; "-" for standard output
    IconFormat Format = IconFormat::Bmp;
    IconChoice Choice;
    SourceOptions Walk;
};

// The exit statuses of the batch commands.
enum BatchStatus {
    kAllWritten = 0,    // every chosen icon was written
    kNothingToWrite = 1,
    kNotWritten = 2,    // a usage error, or something could not be read or written
};

// Prints a line for each file and the total of files written (nothing but the icon when
// Output is "-"); returns a BatchStatus, or 128 + the signal's number, as a shell reports
// a process it ended, when SIGINT, SIGTERM or SIGHUP stopped it after the file in hand
// (what was written is whole and synced, the staging folder gone, and the total says how
// far it got).
int RunExtract(const ExtractRequest& request);
