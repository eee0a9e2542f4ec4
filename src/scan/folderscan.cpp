#include "scan/folderscan.h"

#include "platform/filesearch.h"

#include <QFile>

bool IsImageFileName(const QString& name)
{
    // The last three bytes of the name as the file system stores it.
    const QByteArray bytes = QFile::encodeName(name);
    const QByteArray tail = bytes.right(3).toLower();
    return tail == "exe" || tail == "dll";
}

ListingResult ListImageFiles(BrowseState& state)
{
    state.ImageFileCount = 0;
    const std::vector<QString> names = FindFiles(state.FolderPath);
    if (names.empty())
        return ListingResult::NoEntries;
    for (const QString& name : names) {
        if (!IsImageFileName(name))
            continue;
        if (state.ImageFileCount == kMaxImageFiles)
            return ListingResult::CapacityReached;
        ++state.ImageFileCount;
        state.ImageFiles[static_cast<std::size_t>(state.ImageFileCount)] = name;
    }
    return ListingResult::Listed;
}
