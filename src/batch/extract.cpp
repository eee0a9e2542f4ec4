#include "batch/extract.h"

#include "batch/progress.h"
#include "icon/fdwrite.h"
#include "platform/folderwriter.h"
#include "scan/folderscan.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <optional>
#include <iterator>

#include <sys/stat.h>
#include <unistd.h>

namespace {
volatile std::sig_atomic_t stopSignal = 0;

void Stop(int signal)
{
    stopSignal = signal;
}

// SIGINT, SIGTERM and SIGHUP, while it is held, end the batch after the file in hand
// instead of the process.
class StopCatcher {
public:
    StopCatcher()
    {
        stopSignal = 0;
        struct sigaction action {};
        action.sa_handler = Stop;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < std::size(kSignals); ++i)
            ::sigaction(kSignals[i], &action, &previous_[i]);
    }
    ~StopCatcher()
    {
        for (std::size_t i = 0; i < std::size(kSignals); ++i)
            ::sigaction(kSignals[i], &previous_[i], nullptr);
    }
    StopCatcher(const StopCatcher&) = delete;
    StopCatcher& operator=(const StopCatcher&) = delete;

private:
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction previous_[std::size(kSignals)] {};
};

// mkdir -p: the folder and any parent missing, each made with the umask's permissions;
// errno says why when it fails.
bool MakeFolders(const QByteArray& path)
{
    for (qsizetype slash = path.indexOf('/', 1);; slash = path.indexOf('/', slash + 1)) {
        const QByteArray part = slash < 0 ? path : path.left(slash);
        if (::mkdir(part.constData(), 0777) != 0 && errno != EEXIST)
            return false;
        if (slash < 0) {
            struct stat info {};
            if (::stat(path.constData(), &info) != 0)
                return false;
            errno = ENOTDIR;
            return S_ISDIR(info.st_mode);
        }
    }
}

QString Reason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// What is written, for the line that says there was none: "icon" or "cursor".
QString What(IconFormat format)
{
    return format == IconFormat::Cur ? QStringLiteral("cursor") : QStringLiteral("icon");
}

// The choice as a source without it is told: "icon 3", "icon APPICON in language 1041".
QString ChoiceText(const IconChoice& choice, IconFormat format)
{
    QString text = What(format);
    if (choice.Group.Position)
        text += QStringLiteral(" %1").arg(*choice.Group.Position);
    if (choice.Group.Name)
        text += QStringLiteral(" named %1").arg(Shown(DisplayName(QByteArray::fromStdString(*choice.Group.Name))));
    if (choice.Group.Language)
        text += QStringLiteral(" in language %1").arg(*choice.Group.Language);
    return text;
}

// The chosen icon alone to standard output, whole or with the reason it isn't.
int WriteToStdout(BatchOutput& out, const QByteArray& bytes)
{
    // A reader that went away is an error to tell, not a signal that ends the process.
    struct sigaction ignore {}, previous {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &previous);
    std::fflush(stdout);
    const bool written = WriteAll(STDOUT_FILENO, bytes.constData(), std::size_t(bytes.size()));
    const int error = errno;
    ::sigaction(SIGPIPE, &previous, nullptr);
    if (!written) {
        out.Line(stderr, QStringLiteral("vistrel: the icon can't be written to standard output: %1").arg(Reason(error)));
        return kNotWritten;
    }
    return kAllWritten;
}
} // namespace

int RunExtract(const ExtractRequest& request)
{
    const bool toStdout = request.Output == "-";
    BatchOutput out(!toStdout && ::isatty(STDERR_FILENO) == 1);
    const auto unreadable = [&out](const QString& folder, int error) {
        out.Line(stderr, QStringLiteral("vistrel: %1 can't be read and was passed over: %2").arg(Shown(folder), Reason(error)));
    };
    int status = kAllWritten;
    std::vector<BatchSource> sources;
    for (const QByteArray& source : request.Sources) {
        std::optional<std::vector<BatchSource>> files = ListSources(source, request.Walk, unreadable);
        if (!files) {
            out.Line(stderr, QStringLiteral("vistrel: %1 is not a file or a folder").arg(Shown(DisplayName(source))));
            status = kNotWritten;
            continue;
        }
        sources.insert(sources.end(), std::make_move_iterator(files->begin()), std::make_move_iterator(files->end()));
    }
    if (sources.empty() && status != kAllWritten)
        return status;
    const QString shownOutput = Shown(DisplayName(request.Output));
    std::optional<FolderWriter> writer;
    if (!toStdout) {
        if (!MakeFolders(request.Output)) {
            out.Line(stderr, QStringLiteral("vistrel: the folder %1 can't be created: %2").arg(shownOutput, Reason(errno)));
            return kNotWritten;
        }
        writer.emplace(request.Output, FolderWriter::Targets::UserFiles);
        if (!writer->IsOpen()) {
            out.Line(stderr, QStringLiteral("vistrel: the folder %1 can't be opened: %2").arg(shownOutput, Reason(errno)));
            return kNotWritten;
        }
    }
    if (sources.empty()) {
        const QString named = request.Sources.size() == 1 ? Shown(DisplayName(request.Sources.front())) : QStringLiteral("the sources");
        out.Line(toStdout ? stderr : stdout, QStringLiteral("%1 holds no %2 file")
                                                         .arg(named, request.Walk.AllKinds ? QStringLiteral("exe, dll, cpl, ocx, scr, mun or icl")
                                                                                           : QStringLiteral("exe or dll")));
        return kNothingToWrite;
    }

    const QString stem = request.Format == IconFormat::Cur ? QStringLiteral("Cursor") : QStringLiteral("Icon");
    const bool chosen = request.Choice.Group.Any();
    long long number = 0;  // the last number taken; a file passed over keeps its number
    long long written = 0; // files written
    QByteArray toSend;       // with "-": the first chosen icon, sent when it is the only one
    long long chosenCount = 0;
    const StopCatcher catcher;
    ReadAheadAndStore(
        sources.size(),
        [&](std::size_t k) {
            const BatchSource& source = sources[k];
            return ReadIcons(SourceFile{source.Shown, source.Folder, source.Name, source.Redirects}, request.Format,
                             request.Choice);
        },
        [&](std::size_t k) { out.Reading(int(k + 1), int(sources.size()), written, sources[k].Shown); },
        [&](std::size_t k, const FileIcons& read) {
            int icons = 0;
            bool stop = false;
            bool failed = false; // a write of this file's that failed
            for (const EncodedIcon& icon : read.Icons) {
                if (icon.Bytes.isEmpty())
                    continue;
                if (toStdout) {
                    ++icons;
                    if (chosenCount++ == 0)
                        toSend = icon.Bytes;
                    continue;
                }
                const QString name = NumberedFilePath(stem, int(++number), icon.Extension);
                const QString path = DisplayName(request.Output) + QLatin1Char('/') + name;
                const FolderWriter::Result result = writer->Write(QFile::encodeName(name), icon.Bytes);
                if (result == FolderWriter::Result::Written) {
                    ++written;
                    ++icons;
                    continue;
                }
                const QString reason = Reason(writer->Error());
                status = kNotWritten;
                failed = true;
                if (result == FolderWriter::Result::Failed || !writer->IsWritable()) {
                    out.Line(stderr, QStringLiteral("vistrel: %1 can't be written: %2").arg(Shown(path), reason));
                    stop = true;
                    break;
                }
                out.Line(stderr, QStringLiteral("vistrel: %1 can't be replaced and was left as it is: %2").arg(Shown(path), reason));
            }
            if (!toStdout)
                out.Line(stdout, QStringLiteral("%1: %2").arg(Shown(sources[k].Shown)).arg(icons));
            if (chosen && icons == 0 && !failed)
                out.Line(stderr, QStringLiteral("vistrel: %1 holds no %2").arg(Shown(sources[k].Shown), ChoiceText(request.Choice, request.Format)));
            return !stop && stopSignal == 0;
        });
    if (stopSignal != 0) {
        const int signal = stopSignal;
        // What was written is whole: synced once, also when stopped.
        if (writer && !writer->Sync())
            out.Line(stderr, QStringLiteral("vistrel: the files written to %1 could not be saved to disk: %2").arg(shownOutput, Reason(errno)));
        if (!toStdout)
            out.Line(stdout, QStringLiteral("total: %1 (stopped)").arg(written));
        // As a shell reports a process the signal ended: 130, 143, 129.
        return 128 + signal;
    }
    if (toStdout) {
        if (chosenCount != 1) {
            out.Line(stderr, QStringLiteral("vistrel: - takes exactly one %1, and %2 were chosen")
                                 .arg(What(request.Format))
                                 .arg(chosenCount));
            return kNotWritten;
        }
        const int sent = WriteToStdout(out, toSend);
        return sent != kAllWritten ? sent : status;
    }
    if (!writer->Sync()) {
        out.Line(stderr, QStringLiteral("vistrel: the files written to %1 could not be saved to disk: %2").arg(shownOutput, Reason(errno)));
        status = kNotWritten;
    }
    if (number == 0 && status == kAllWritten) {
        out.Line(stdout, QStringLiteral("the %1 files hold no %2")
                             .arg(request.Walk.AllKinds ? QStringLiteral("exe, dll, cpl, ocx, scr, mun and icl") : QStringLiteral("exe and dll"),
                                  chosen ? ChoiceText(request.Choice, request.Format) : What(request.Format)));
        return kNothingToWrite;
    }
    out.Line(stdout, QStringLiteral("total: %1").arg(written));
    return status;
}
