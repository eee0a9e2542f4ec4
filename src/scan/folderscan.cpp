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

void ReadAheadAndStore(std::size_t count, const std::function<FileIcons(std::size_t)>& read,
                       const std::function<void(std::size_t)>& waiting,
                       const std::function<bool(std::size_t, const FileIcons&)>& store)
{
    constexpr std::size_t kReadAhead = 4;
    std::deque<std::future<FileIcons>> ahead;
    std::size_t next = 0; // the next file to hand to a reader
    for (std::size_t k = 0; k < count; ++k) {
        for (; next < count && next < k + kReadAhead; ++next)
            ahead.push_back(std::async(std::launch::async, read, next));
        waiting(k);
        const FileIcons icons = ahead.front().get();
        ahead.pop_front();
        if (!store(k, icons))
            break;
    }
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
    const auto redirects = std::make_shared<const MunFolder>(state.FolderBytes.toStdString());
    const auto fileAt = [&state, &redirects](std::size_t k) {
        const std::size_t slot = k + 1;
        return SourceFile{state.FolderPath, state.FolderBytes, {state.ImageFileBytes[slot], state.ImageFiles[slot]},
                          redirects};
    };
    ReadAheadAndStore(
        std::size_t(count), [&](std::size_t k) { return ReadIcons(fileAt(k), target.Format); },
        [&](std::size_t k) { progress.Reading(int(k + 1), count); },
        [&](std::size_t k, const FileIcons& read) {
            const int before = state.IconCount;
            const SourceFile file = fileAt(k);
            outcome.IconsLeftOut = StoreIcons(state, file, read, target) == ExtractionResult::CapacityReached;
            progress.Read(file.Name.Text, state.IconCount - before);
            return !outcome.IconsLeftOut;
        });
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
