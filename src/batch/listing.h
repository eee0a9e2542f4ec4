// vistrel --list: what each file holds (its icon groups, cursor groups and animated
// cursors, with their names, languages and images) or why it holds nothing, for people
// or, with --json, for scripts.
#pragma once

#include "batch/sources.h"
#include "scan/iconextraction.h"

#include <QByteArray>

#include <vector>

struct ListRequest {
    std::vector<QByteArray> Sources; // files and folders, as the kernel takes them
    bool Json = false;
    IconChoice Choice; // lists only the groups it names; its Size is --extract's alone
    SourceOptions Walk;
};

// Each group listed with the number --extract with the same sources and choice writes it
// under, Icon00001 onwards (Cursor00001 for cursor groups and animated cursors), or none.
// 0 when every source was listed, 2 when one is neither a file nor a folder.
int RunList(const ListRequest& request);
