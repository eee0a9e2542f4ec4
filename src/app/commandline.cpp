#include "app/commandline.h"

#include "platform/errors.h"
#include "platform/filenames.h"
#include "platform/folderwriter.h"
#include "scan/folderscan.h"
#include "thumbnailer/thumbnail.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {
void Print(std::FILE* stream, const QString& line)
{
    std::fputs((line + QLatin1Char('\n')).toLocal8Bit().constData(), stream);
}

// A name in a line: its control characters escaped, so a newline can't split the line
// nor an escape sequence reach the terminal.
QString Shown(const QString& name)
{
    return WithoutControls(name);
}

void PrintUsage(std::FILE* stream)
{
    Print(stream, QStringLiteral(
        "Usage: vistrel [FOLDER]                  start the icon viewer, opening FOLDER at once\n"
        "       vistrel --extract [--format bmp|png|ico] FOLDER OUTDIR\n"
        "                                         write the icons of FOLDER's exe and dll files\n"
        "                                         to OUTDIR/Icon00001.bmp (.png, .ico) onwards,\n"
        "                                         creating OUTDIR: bmp is the 34x34 bitmap,\n"
        "                                         png the largest image, ico every image\n"
        "       vistrel --thumbnail [-s SIZE] INPUT OUTPUT\n"
        "                                         write the first icon of INPUT as a PNG of at\n"
        "                                         most SIZE x SIZE pixels (128), as the file\n"
        "                                         managers' vistrel-thumbnailer does\n"
        "       vistrel --help | --version"));
}

std::optional<IconFormat> FormatNamed(const char* name)
{
    for (const auto& [text, format] : {std::pair{"bmp", IconFormat::Bmp}, std::pair{"png", IconFormat::Png},
                                       std::pair{"ico", IconFormat::Ico}})
        if (std::strcmp(name, text) == 0)
            return format;
    return std::nullopt;
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

bool IsFolder(const QByteArray& path)
{
    struct stat info {};
    return ::stat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

// mkdir -p: the folder and any parent missing, each made with the umask's permissions.
bool MakeFolders(const QByteArray& path)
{
    for (qsizetype slash = path.indexOf('/', 1); ; slash = path.indexOf('/', slash + 1)) {
        const QByteArray part = slash < 0 ? path : path.left(slash);
        if (::mkdir(part.constData(), 0777) != 0 && errno != EEXIST)
            return false;
        if (slash < 0)
            return IsFolder(path);
    }
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

void HoldOrEnd(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtFatalMsg) {
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
    PreviousHandler() = qInstallMessageHandler(HoldOrEnd);
}

WindowSystemStart::~WindowSystemStart()
{
    qInstallMessageHandler(PreviousHandler());
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
    // The state holds two tables of 10001 strings: too large for the stack.
    auto state = std::make_unique<BrowseState>();
    SetFolder(*state, AsFolderPath(folder));
    if (!IsFolder(state->FolderBytes)) {
        Print(stderr, QStringLiteral("vistrel: %1 is not a folder").arg(Shown(state->FolderPath)));
        return 2;
    }
    const QByteArray output = AsFolderPath(outputFolder);
    const QString shownOutput = Shown(DisplayName(output));
    if (!MakeFolders(output)) {
        Print(stderr, QStringLiteral("vistrel: the folder %1 can't be created").arg(shownOutput));
        return 2;
    }
    FolderWriter out(output, FolderWriter::Targets::UserFiles);
    if (!out.IsOpen()) {
        Print(stderr, QStringLiteral("vistrel: the folder %1 can't be opened").arg(shownOutput));
        return 2;
    }
    // A line for each file as it is done, and what was passed over.
    struct PrintedProgress final : ScanProgress {
        void Listed(int, bool filesLeftOut) override
        {
            if (filesLeftOut)
                Print(stderr, QStringLiteral("vistrel: only the first %1 files are read").arg(kMaxImageFiles));
        }
        void Read(const QString& name, int icons, const QStringList& passedOver) override
        {
            for (const QString& path : passedOver)
                Print(stderr, QStringLiteral("vistrel: %1 can't be replaced and was left as it is").arg(Shown(path)));
            Print(stdout, QStringLiteral("%1: %2").arg(Shown(name)).arg(icons));
        }
    } progress;
    ScanOutcome outcome;
    try {
        outcome = ScanFolder(*state, progress, IconTarget{&out, QStringLiteral("Icon"), format});
    } catch (const WriteError& error) {
        out.Sync(); // what was written stays whole
        Print(stderr, QStringLiteral("vistrel: %1 can't be written").arg(Shown(error.path())));
        return 2;
    }
    // One sync for the whole batch, not one per file.
    if (!out.Sync()) {
        Print(stderr, QStringLiteral("vistrel: the files written to %1 could not be saved to disk").arg(shownOutput));
        return 2;
    }
    switch (outcome.Result) {
    case ScanResult::NoImageFiles:
        Print(stdout, QStringLiteral("%1 holds no exe or dll file").arg(Shown(state->FolderPath)));
        return 1;
    case ScanResult::NoIcons:
        Print(stdout, QStringLiteral("the exe and dll files hold no icon"));
        return 1;
    case ScanResult::Done:
        break;
    }
    if (outcome.IconsLeftOut)
        Print(stderr, QStringLiteral("vistrel: only the first %1 icons are written").arg(kMaxIcons));
    Print(stdout, QStringLiteral("total: %1").arg(state->IconCount));
    return 0;
}

std::optional<int> RunCommandLine(int argc, char* argv[])
{
    const char* command = argc > 1 ? argv[1] : "";
    if (std::strcmp(command, "--help") == 0 || std::strcmp(command, "-h") == 0) {
        PrintUsage(stdout);
        return 0;
    }
    if (std::strcmp(command, "--version") == 0) {
        Print(stdout, QStringLiteral("Vistrel " VISTREL_VERSION));
        return 0;
    }
    if (std::strcmp(command, "--extract") == 0) {
        const auto format = argc == 6 && std::strcmp(argv[2], "--format") == 0 ? FormatNamed(argv[3])
                                                                                : std::optional<IconFormat>();
        if (argc == 4)
            return ExtractFolder(argv[2], argv[3]);
        if (!format) {
            // Say what was wrong before the usage, which lists the right forms.
            if (argc == 6 && std::strcmp(argv[2], "--format") == 0)
                Print(stderr, QStringLiteral("vistrel: unknown format %1 (bmp, png or ico)").arg(QFile::decodeName(argv[3])));
            PrintUsage(stderr);
            return 2;
        }
        return ExtractFolder(argv[4], argv[5], *format);
    }
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
