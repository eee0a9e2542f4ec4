#include "scan/folderscan.h"

#include "platform/filesearch.h"
#include "platform/folderwriter.h"
#include "platform/programfolder.h"

#include <QFile>

bool IsImageFileName(const QByteArray& name)
{
    const QByteArray tail = name.right(3).toLower();
    return tail == "exe" || tail == "dll";
}

ListingResult ListImageFiles(BrowseState& state)
{
    state.ImageFileCount = 0;
    const std::vector<FileName> names = FindFiles(state.FolderBytes);
    if (names.empty())
        return ListingResult::NoEntries;
    for (const FileName& name : names) {
        if (!IsImageFileName(name.Bytes))
            continue;
        if (state.ImageFileCount == kMaxImageFiles)
            return ListingResult::CapacityReached;
        const auto slot = static_cast<std::size_t>(++state.ImageFileCount);
        state.ImageFiles[slot] = name.Text;
        state.ImageFileBytes[slot] = name.Bytes;
    }
    return ListingResult::Listed;
}

void SetFolder(BrowseState& state, const QByteArray& folder)
{
    state.FolderBytes = folder;
    state.FolderPath = DisplayName(folder);
}

ScanOutcome ScanFolder(BrowseState& state, ScanProgress& progress, const std::optional<IconTarget>& to)
{
    ScanOutcome outcome;
    outcome.FilesLeftOut = ListImageFiles(state) == ListingResult::CapacityReached;
    const int count = state.ImageFileCount;
    if (count == 0)
        return outcome;
    progress.Listed(count, outcome.FilesLeftOut);
    // The temporary bitmaps: the program's own folder, held open for the whole scan.
    std::optional<FolderWriter> scratch;
    if (!to)
        scratch.emplace(QFile::encodeName(TempFolder()), FolderWriter::Targets::Scratch);
    const IconTarget target = to ? *to : IconTarget{&*scratch};
    state.IconCount = 0;
    for (int k = 1; k <= count && !outcome.IconsLeftOut; ++k) {
        progress.Reading(k, count);
        const auto slot = static_cast<std::size_t>(k);
        const SourceFile file{state.FolderPath, state.FolderBytes, {state.ImageFileBytes[slot], state.ImageFiles[slot]}};
        const int before = state.IconCount;
        QStringList passedOver;
        const ExtractionResult result = ExtractIcons(state, file, target, &passedOver);
        outcome.IconsLeftOut = result == ExtractionResult::CapacityReached;
        progress.Read(file.Name.Text, state.IconCount - before, passedOver);
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
