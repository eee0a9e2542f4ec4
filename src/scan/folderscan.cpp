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

ScanOutcome ScanFolder(BrowseState& state, ScanProgress& progress, const std::optional<IconExport>& to)
{
    ScanOutcome outcome;
    outcome.FilesLeftOut = ListImageFiles(state) == ListingResult::CapacityReached;
    const int count = state.ImageFileCount;
    if (count == 0)
        return outcome;
    progress.Listed(count, outcome.FilesLeftOut);
    state.IconCount = 0;
    for (int k = 1; k <= count && !outcome.IconsLeftOut; ++k) {
        progress.Reading(k, count);
        const QString name = state.ImageFiles[static_cast<std::size_t>(k)];
        const int before = state.IconCount;
        QStringList passedOver;
        const ExtractionResult result = to ? ExtractIconsTo(state, state.FolderPath, name, to->Prefix, to->Format, &passedOver)
                                           : ExtractIcons(state, state.FolderPath, name);
        outcome.IconsLeftOut = result == ExtractionResult::CapacityReached;
        progress.Read(name, state.IconCount - before, passedOver);
    }
    outcome.Result = state.IconCount == 0 ? ScanResult::NoIcons : ScanResult::Done;
    return outcome;
}

QString NoImageFilesMessage(const QString& folder)
{
    return folder + QStringLiteral(" フォルダーには、イメージファイル(exe,dll)が存在しません。");
}

QString NoIconsMessage()
{
    return QStringLiteral("exe/dllファイルの中にアイコンが存在しません。");
}

QString FilesLeftOutMessage()
{
    return QStringLiteral("exe/dllファイルが %1 個を超えたため、%1 個目までを読み込みました。").arg(kMaxImageFiles);
}

QString IconsLeftOutMessage()
{
    return QStringLiteral("アイコンが %1 個を超えたため、%1 個目までを表示しています。").arg(kMaxIcons);
}
