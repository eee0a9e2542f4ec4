#include "scan/folderscan.h"

#include "icon/redirect.h"
#include "platform/filesearch.h"
#include "platform/folderwriter.h"
#include "platform/programfolder.h"

#include <QFile>

#include <deque>
#include <future>

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

ScanOutcome ScanFolder(BrowseState& state, ScanProgress& progress)
{
    ScanOutcome outcome;
    outcome.FilesLeftOut = ListImageFiles(state) == ListingResult::CapacityReached;
    const int count = state.ImageFileCount;
    if (count == 0)
        return outcome;
    progress.Listed(count, outcome.FilesLeftOut);
    // The temporary bitmaps: the program's own folder, held open for the whole scan.
    FolderWriter scratch(QFile::encodeName(TempFolder()), FolderWriter::Targets::Scratch);
    const IconTarget target{&scratch};
    state.IconCount = 0;
    // Each file is read and its icons encoded on another thread a few files ahead, while
    // this one writes and counts the files before it: reading and writing overlap, and the
    // numbering stays that of the listing.
    constexpr int kReadAhead = 4;
    std::deque<std::future<FileIcons>> ahead;
    const auto redirects = std::make_shared<const MunFolder>(state.FolderBytes.toStdString());
    const auto fileAt = [&state, &redirects](int k) {
        const auto slot = static_cast<std::size_t>(k);
        return SourceFile{state.FolderPath, state.FolderBytes, {state.ImageFileBytes[slot], state.ImageFiles[slot]},
                          redirects};
    };
    int next = 1; // the next file to hand to a reader
    for (int k = 1; k <= count && !outcome.IconsLeftOut; ++k) {
        for (; next <= count && next < k + kReadAhead; ++next)
            ahead.push_back(std::async(std::launch::async, ReadIcons, fileAt(next), target.Format));
        progress.Reading(k, count);
        const SourceFile file = fileAt(k);
        const FileIcons read = ahead.front().get();
        ahead.pop_front();
        const int before = state.IconCount;
        const ExtractionResult result = StoreIcons(state, file, read, target);
        outcome.IconsLeftOut = result == ExtractionResult::CapacityReached;
        progress.Read(file.Name.Text, state.IconCount - before);
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
