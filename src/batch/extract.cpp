#include "batch/extract.h"

#include "batch/progress.h"
#include "batch/sources.h"
#include "platform/folderwriter.h"

#include <QFile>

#include <csignal>
#include <deque>
#include <future>

#include <sys/stat.h>
#include <unistd.h>

namespace {
volatile std::sig_atomic_t interrupted = 0;

void Interrupt(int)
{
    interrupted = 1;
}

// Ctrl+C, while it is held, ends the batch after the file in hand instead of the process.
class InterruptCatcher {
public:
    InterruptCatcher()
    {
        interrupted = 0;
        struct sigaction action {};
        action.sa_handler = Interrupt;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGINT, &action, &previous_);
    }
    ~InterruptCatcher() { ::sigaction(SIGINT, &previous_, nullptr); }
    InterruptCatcher(const InterruptCatcher&) = delete;
    InterruptCatcher& operator=(const InterruptCatcher&) = delete;

private:
    struct sigaction previous_ {};
};

// mkdir -p: the folder and any parent missing, each made with the umask's permissions.
bool MakeFolders(const QByteArray& path)
{
    for (qsizetype slash = path.indexOf('/', 1);; slash = path.indexOf('/', slash + 1)) {
        const QByteArray part = slash < 0 ? path : path.left(slash);
        if (::mkdir(part.constData(), 0777) != 0 && errno != EEXIST)
            return false;
        if (slash < 0) {
            struct stat info {};
            return ::stat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode);
        }
    }
}

// What is written, for the line that says there was none: "icon" or "cursor".
QString What(IconFormat format)
{
    return format == IconFormat::Cur ? QStringLiteral("cursor") : QStringLiteral("icon");
}
} // namespace

int RunExtract(const ExtractRequest& request)
{
    BatchOutput out(::isatty(STDERR_FILENO) == 1);
    const QString shownSource = Shown(DisplayName(request.Source));
    const auto unreadable = [&out](const QString& folder) {
        out.Line(stderr, QStringLiteral("vistrel: %1 can't be read and was passed over").arg(Shown(folder)));
    };
    const std::optional<std::vector<BatchSource>> sources = ListSources(request.Source, request.Recursive, unreadable, request.AllKinds);
    if (!sources) {
        out.Line(stderr, QStringLiteral("vistrel: %1 is not a file or a folder").arg(shownSource));
        return 2;
    }
    const QString shownOutput = Shown(DisplayName(request.Output));
    if (!MakeFolders(request.Output)) {
        out.Line(stderr, QStringLiteral("vistrel: the folder %1 can't be created").arg(shownOutput));
        return 2;
    }
    FolderWriter writer(request.Output, FolderWriter::Targets::UserFiles);
    if (!writer.IsOpen()) {
        out.Line(stderr, QStringLiteral("vistrel: the folder %1 can't be opened").arg(shownOutput));
        return 2;
    }
    if (sources->empty()) {
        out.Line(stdout, QStringLiteral("%1 holds no %2 file")
                             .arg(shownSource, request.AllKinds ? QStringLiteral("exe, dll, cpl, ocx, scr, mun or icl")
                                                                : QStringLiteral("exe or dll")));
        return 1;
    }

    const QString stem = request.Format == IconFormat::Cur ? QStringLiteral("Cursor") : QStringLiteral("Icon");
    const auto sourceFile = [&](std::size_t k) {
        const BatchSource& source = (*sources)[k];
        return SourceFile{source.Shown, source.Folder, source.Name, source.Redirects};
    };
    // Each file is read and encoded a few files ahead on other threads while this one
    // writes the files before it.
    constexpr std::size_t kReadAhead = 4;
    std::deque<std::future<FileIcons>> ahead;
    std::size_t next = 0;
    long long written = 0;
    int status = 0;
    const InterruptCatcher catcher;
    for (std::size_t k = 0; k < sources->size() && !interrupted && status == 0; ++k) {
        for (; next < sources->size() && next < k + kReadAhead; ++next)
            ahead.push_back(std::async(std::launch::async, ReadIcons, sourceFile(next), request.Format));
        out.Reading(int(k + 1), int(sources->size()), written, (*sources)[k].Shown);
        const FileIcons read = ahead.front().get();
        ahead.pop_front();
        int icons = 0;
        for (const EncodedIcon& icon : read.Icons) {
            if (icon.Bytes.isEmpty())
                continue;
            const QString name = NumberedFilePath(stem, int(written + 1), icon.Extension);
            const QString path = DisplayName(request.Output) + QLatin1Char('/') + name;
            const FolderWriter::Result result = writer.Write(QFile::encodeName(name), icon.Bytes);
            if (result == FolderWriter::Result::Failed) {
                out.Line(stderr, QStringLiteral("vistrel: %1 can't be written").arg(Shown(path)));
                status = 2;
                break;
            }
            if (result == FolderWriter::Result::PassedOver)
                out.Line(stderr, QStringLiteral("vistrel: %1 can't be replaced and was left as it is").arg(Shown(path)));
            ++written;
            ++icons;
        }
        out.Line(stdout, QStringLiteral("%1: %2").arg(Shown((*sources)[k].Shown)).arg(icons));
    }
    // One sync for the whole batch, also when it was stopped: what it wrote is whole.
    if (!writer.Sync()) {
        out.Line(stderr, QStringLiteral("vistrel: the files written to %1 could not be saved to disk").arg(shownOutput));
        return 2;
    }
    if (status != 0)
        return status;
    if (interrupted) {
        out.Line(stdout, QStringLiteral("total: %1 (stopped)").arg(written));
        return 130;
    }
    if (written == 0) {
        out.Line(stdout, QStringLiteral("the exe and dll files hold no %1").arg(What(request.Format)));
        return 1;
    }
    out.Line(stdout, QStringLiteral("total: %1").arg(written));
    return 0;
}
