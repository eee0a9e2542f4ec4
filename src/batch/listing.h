// vistrel --list: what each file holds (its icon groups, cursor groups and animated
// cursors, with their names, languages and images) or why it holds nothing, for people
// or, with --json, for scripts.
#pragma once

#include <QByteArray>

#include <vector>

struct ListRequest {
    std::vector<QByteArray> Sources; // files and folders, as the kernel takes them
    bool Json = false;
    bool Recursive = false;
    bool AllKinds = false; // as ExtractRequest's
};

// 0 when every source was listed, 2 when one is neither a file nor a folder.
int RunList(const ListRequest& request);
