#include "app/commandline.h"

#include "batch/extract.h"
#include "batch/listing.h"
#include "batch/options.h"
#include "batch/progress.h"
#include "platform/errors.h"
#include "platform/filenames.h"
#include "thumbnailer/thumbnail.h"

#include <QFile>
#include <QGuiApplication>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include <fcntl.h>

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
void Print(std::FILE* stream, const QString& line)
{
    std::fputs((line + QLatin1Char('\n')).toLocal8Bit().constData(), stream);
}

void PrintUsage(std::FILE* stream)
{
    Print(stream, QStringLiteral(
        "Usage: vistrel [FOLDER]                  start the icon viewer, opening FOLDER at once\n"
        "       vistrel --extract [--format bmp|png|ico|cur] [--icon INDEX | --name NAME]\n"
        "                         [--language ID] [--size PX] [--recursive] [--all-kinds]\n"
        "                         SOURCE... OUTDIR|-\n"
        "                                         write the icons of each SOURCE (a file, or a\n"
        "                                         folder's exe and dll files, with --all-kinds\n"
        "                                         also its cpl, ocx, scr, mun and icl files; with\n"
        "                                         --recursive, those of every folder below it\n"
        "                                         too) to OUTDIR/Icon00001.bmp (.png, .ico)\n"
        "                                         onwards, creating OUTDIR: bmp is the 34x34\n"
        "                                         bitmap, png the largest image, ico every image;\n"
        "                                         cur writes the cursors as Cursor00001.cur (.ani)\n"
        "                                         instead\n"
        "       vistrel --list [--json] [--icon INDEX | --name NAME] [--language ID]\n"
        "                      [--recursive] [--all-kinds] SOURCE...\n"
        "                                         list the icon groups, cursor groups and animated\n"
        "                                         cursors of each file in every language, or why\n"
        "                                         it has none\n"
        "       vistrel --thumbnail [-s SIZE] INPUT OUTPUT\n"
        "                                         write the first icon of INPUT as a PNG of at\n"
        "                                         most SIZE x SIZE pixels (128), as the file\n"
        "                                         managers' vistrel-thumbnailer does\n"
        "       vistrel --help | --version"));
}

void PrintHelp()
{
    PrintUsage(stdout);
    Print(stdout, QStringLiteral(
        "\nChoosing:\n"
        "  --icon INDEX     the icon Windows numbers INDEX (0, 1, ... as ExtractIcon counts a\n"
        "                   file's icon groups; with --format cur, its cursors, then its\n"
        "                   animated cursors)\n"
        "  --name NAME      the group of resource name or number NAME\n"
        "  --language ID    that language's variant (1041 or 0x411); else the first one\n"
        "  --size PX        with --format png: the smallest image at least PX wide, else the\n"
        "                   largest, as stored\n"
        "  OUTDIR -         the one chosen icon to standard output, nothing else there\n"
        "\nExit status of --extract (--list: 0, or 2 when a source is neither a file nor a\n"
        "folder):\n"
        "  0    every chosen icon was written\n"
        "  1    there was nothing to write\n"
        "  2    a usage error, a source that is neither a file nor a folder, or something\n"
        "       could not be written (said with the system's reason on stderr)\n"
        "  130, 143, 129   stopped by SIGINT, SIGTERM or SIGHUP after the file in hand\n"
        "\nExamples:\n"
        "  vistrel ~/apps                                   the window, showing ~/apps\n"
        "  vistrel --extract --format png game.exe icons/   one program's icons as PNG files\n"
        "  vistrel --extract --icon 0 --format png --size 256 game.exe - > game.png\n"
        "                                                   the icon Windows shows, for a launcher\n"
        "  vistrel --extract --name 101 --language 0x411 --format ico game.exe - > game.ico\n"
        "                                                   group 101 in Japanese, every image\n"
        "  vistrel --extract --icon 0 --format png a.exe b.exe icons/   each one's first icon\n"
        "  vistrel --extract --recursive /mnt/win out/      every icon of a whole tree\n"
        "  vistrel --extract --format cur user32.dll cur/   its cursors as .cur and .ani files\n"
        "  vistrel --list --json --recursive apps/          what each file holds, as JSON lines\n"
        "  vistrel --list --icon 0 game.exe                 the icon --icon 0 takes, each language\n"
        "  vistrel --thumbnail -s 256 game.exe icon.png     the icon Windows shows for game.exe"));
}

// Folders are kept as the folder dialog gives them: no trailing separator but for the
// root. An argument is bytes, and so it stays: a name need not be UTF-8.
QByteArray AsFolderPath(const char* argument)
{
    QByteArray path(argument);
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    return path;
}

// path made absolute against the working folder, without "." or ".." and doubled
// separators, in bytes.
QByteArray AbsoluteCleanPath(const QByteArray& path)
{
    QByteArray whole = path;
    if (!path.startsWith('/')) {
        char here[PATH_MAX];
        whole = QByteArray(::getcwd(here, sizeof here) ? here : ".") + '/' + path;
    }
    QList<QByteArray> parts;
    for (const QByteArray& part : whole.split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.isEmpty())
                parts.removeLast();
            continue;
        }
        parts.append(part);
    }
    return '/' + parts.join('/');
}
// Qt's xcb and wayland platforms need a display server; a platform asked for by name
// that is neither (offscreen, vnc, ...) does not.
bool DisplayAvailable(int argc, char* argv[])
{
    if (!qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return true;
    QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0)
            platform = QString::fromLocal8Bit(argv[i + 1]);
    // A list of platforms to try, each with its own options: "wayland;xcb", "vnc:size=800x600".
    const QString first = platform.section(QLatin1Char(';'), 0, 0).section(QLatin1Char(':'), 0, 0);
    return !first.isEmpty() && first != QLatin1String("xcb") && !first.startsWith(QLatin1String("wayland"));
}
} // namespace

namespace {
struct HeldMessage {
    QtMsgType type;
    QByteArray file;
    int line;
    QByteArray function;
    QByteArray category;
    QString text;
};

QtMessageHandler& PreviousHandler()
{
    static QtMessageHandler handler = nullptr;
    return handler;
}

std::vector<HeldMessage>& HeldMessages()
{
    static std::vector<HeldMessage> messages;
    return messages;
}

// What the libraries below Qt write to stderr themselves while the window system starts
// (libwayland's own error line, for one) is held too, in a file of memory standing in
// for stderr; the real one is kept here.
int& RealStderr()
{
    static int fd = -1;
    return fd;
}

void HoldStderr()
{
    std::fflush(stderr);
    const int held = ::memfd_create("vistrel-stderr", MFD_CLOEXEC);
    const int real = held < 0 ? -1 : ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    if (real >= 0 && ::dup2(held, STDERR_FILENO) >= 0)
        RealStderr() = real;
    else if (real >= 0)
        ::close(real);
    if (held >= 0)
        ::close(held);
}

// The real stderr back, with what was held on it written out (handOn) or dropped.
void ReleaseStderr(bool handOn)
{
    const int real = std::exchange(RealStderr(), -1);
    if (real < 0)
        return;
    std::fflush(stderr);
    QByteArray held;
    char buffer[4096];
    for (off_t at = 0;;) {
        const ssize_t got = ::pread(STDERR_FILENO, buffer, sizeof buffer, at);
        if (got <= 0)
            break;
        held.append(buffer, got);
        at += got;
    }
    ::dup2(real, STDERR_FILENO);
    ::close(real);
    for (qsizetype done = 0; handOn && done < held.size();) {
        const ssize_t put = ::write(STDERR_FILENO, held.constData() + done, std::size_t(held.size() - done));
        if (put <= 0)
            break;
        done += put;
    }
}

// Qt's Wayland platform warns with these words and then ends the process with status 1
// when the connection breaks: at start, a socket that took the connection but is no
// compositor.
bool WaylandConnectionLost(const QString& text)
{
    return text.startsWith(QLatin1String("The Wayland connection "));
}

void HoldOrEnd(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    // Qt's Wayland platform reads the connection on a thread of its own as well, and both
    // may find it broken; the first to come ends the process, holding the lock.
    static std::mutex lock;
    const std::lock_guard held(lock);
    if (type == QtFatalMsg || WaylandConnectionLost(text)) {
        ReleaseStderr(false);
        const auto shown = [](const char* name) {
            return qEnvironmentVariableIsSet(name) ? QString::fromLocal8Bit(qgetenv(name)) : QStringLiteral("unset");
        };
        Print(stderr, QStringLiteral("vistrel: the window needs a display, and none could be opened "
                                     "(DISPLAY %1, WAYLAND_DISPLAY %2); vistrel --extract FOLDER OUTDIR works without one")
                          .arg(shown("DISPLAY"), shown("WAYLAND_DISPLAY")));
        std::_Exit(2);
    }
    HeldMessages().push_back(
        {type, QByteArray(context.file), context.line, QByteArray(context.function), QByteArray(context.category), text});
}
} // namespace

WindowSystemStart::WindowSystemStart()
{
    HoldStderr();
    PreviousHandler() = qInstallMessageHandler(HoldOrEnd);
}

WindowSystemStart::~WindowSystemStart()
{
    // A Wayland connection is only known to work once the other end has answered; until
    // then a socket that accepts and hangs up looks like a compositor.
    if (qGuiApp && QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        QGuiApplication::sync();
    qInstallMessageHandler(PreviousHandler());
    ReleaseStderr(true);
    for (const HeldMessage& held : HeldMessages()) {
        const QMessageLogContext context(held.file.isNull() ? nullptr : held.file.constData(), held.line,
                                         held.function.isNull() ? nullptr : held.function.constData(),
                                         held.category.isNull() ? nullptr : held.category.constData());
        qt_message_output(held.type, context, held.text);
    }
    HeldMessages().clear();
}

int ExtractFolder(const char* folder, const char* outputFolder, IconFormat format)
{
    return RunExtract({{AsFolderPath(folder)}, AsFolderPath(outputFolder), format, {}, {}});
}

namespace {
// --extract and --list, their arguments as ParseBatchArguments reads them.
std::optional<int> RunBatch(int argc, char* argv[])
{
    const auto wrong = [](const QString& what) {
        Print(stderr, QStringLiteral("vistrel: ") + what);
        PrintUsage(stderr);
        return 2;
    };
    const BatchArguments parsed = ParseBatchArguments(argc, argv);
    if (!parsed.Error.empty()) {
        QString error = QString::fromStdString(parsed.Error);
        if (error.contains(QLatin1String("%1")))
            error = error.arg(Shown(DisplayName(QByteArray::fromStdString(parsed.ErrorValue))));
        return wrong(error);
    }
    std::vector<QByteArray> sources;
    for (const std::string& operand : parsed.Operands)
        sources.push_back(QByteArray::fromStdString(operand));
    const IconChoice choice{parsed.Choice, parsed.Size};
    const SourceOptions walk{parsed.Recursive, parsed.AllKinds};
    if (parsed.List) {
        if (sources.empty())
            return wrong(QStringLiteral("--list needs a file or a folder"));
        return RunList({sources, parsed.Json, choice, walk});
    }
    if (sources.size() < 2)
        return wrong(sources.empty() ? QStringLiteral("--extract needs a file or a folder, and a folder to write to")
                                     : QStringLiteral("--extract needs a folder to write to after %1")
                                           .arg(Shown(DisplayName(sources[0]))));
    const QByteArray output = sources.back();
    sources.pop_back();
    return RunExtract({sources, output, parsed.Format, choice, walk});
}
} // namespace

std::optional<int> RunCommandLine(int argc, char* argv[])
{
    const char* command = argc > 1 ? argv[1] : "";
    if (std::strcmp(command, "--help") == 0 || std::strcmp(command, "-h") == 0) {
        PrintHelp();
        return 0;
    }
    if (std::strcmp(command, "--version") == 0) {
        Print(stdout, QStringLiteral("Vistrel " VISTREL_VERSION));
        return 0;
    }
    if (std::strcmp(command, "--extract") == 0 || std::strcmp(command, "--list") == 0)
        return RunBatch(argc, argv);
    if (std::strcmp(command, "--thumbnail") == 0)
        return RunThumbnailer("vistrel --thumbnail", argc - 2, argv + 2);
    // A wrong word is named before anything else is said of the window.
    if (const std::optional<QString> wrong = WrongWindowArgument(argc, argv)) {
        Print(stderr, QStringLiteral("vistrel: ") + *wrong);
        PrintUsage(stderr);
        return 2;
    }
    if (!DisplayAvailable(argc, argv)) {
        Print(stderr, QStringLiteral("vistrel: the window needs a display (DISPLAY or WAYLAND_DISPLAY is not set); "
                                     "vistrel --extract FOLDER OUTDIR works without one"));
        return 2;
    }
    return std::nullopt;
}

std::optional<QString> WrongWindowArgument(int argc, char* argv[])
{
    // Qt's own options, which Qt takes out of the arguments itself: those followed by a
    // value, then those that stand alone. "-style=fusion" is taken as well.
    static constexpr const char* kWithValue[] = {"-platform", "-platformpluginpath", "-platformtheme", "-plugin",
                                                 "-qwindowgeometry", "-qwindowicon", "-qwindowtitle", "-session",
                                                 "-display", "-geometry", "-title", "-name", "-style", "-stylesheet",
                                                 "-visual", "-ncols", "-fontengine"};
    static constexpr const char* kAlone[] = {"-reverse", "-widgetcount", "-nograb", "-dograb", "-sync", "-cmap",
                                             "-testability"};
    const auto named = [](const char* argument, const auto& options) {
        return std::any_of(std::begin(options), std::end(options), [argument](const char* option) {
            const std::size_t length = std::strlen(option);
            return std::strncmp(argument, option, length) == 0 && (argument[length] == '\0' || argument[length] == '=');
        });
    };
    const char* folder = nullptr;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (argument[0] != '-' || argument[1] == '\0') {
            if (folder)
                return QStringLiteral("one folder only, not also %1").arg(Shown(DisplayName(argument)));
            folder = argument;
        } else if (named(argument, kWithValue)) {
            if (!std::strchr(argument, '=') && ++i == argc)
                return QStringLiteral("%1 needs a value").arg(QString::fromLocal8Bit(argument));
        } else if (!named(argument, kAlone)) {
            return QStringLiteral("unknown option %1").arg(Shown(DisplayName(argument)));
        }
    }
    return std::nullopt;
}

std::optional<QByteArray> FolderArgument(int argc, char* argv[])
{
    if (argc == 1)
        return QByteArray();
    if (const std::optional<QString> wrong = WrongWindowArgument(argc, argv)) {
        Print(stderr, QStringLiteral("vistrel: ") + *wrong);
        PrintUsage(stderr);
        return std::nullopt;
    }
    // As the folder dialog gives folders: absolute, without a trailing separator but for
    // the root. A file names its folder, as a file manager's "Open with" on a program does.
    QByteArray folder = AbsoluteCleanPath(argv[1]);
    struct stat info {};
    if (::stat(folder.constData(), &info) == 0 && !S_ISDIR(info.st_mode))
        folder = folder.left(std::max<qsizetype>(folder.lastIndexOf('/'), 1));
    return folder;
}
