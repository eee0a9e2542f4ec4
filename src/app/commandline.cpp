#include "app/commandline.h"

#include "platform/errors.h"
#include "scan/folderscan.h"
#include "thumbnailer/thumbnail.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {
void Print(std::FILE* stream, const QString& line)
{
    std::fputs((line + QLatin1Char('\n')).toLocal8Bit().constData(), stream);
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

// Folders are kept as the folder dialog gives them: no trailing separator but for the root.
QString AsFolderPath(const char* argument)
{
    QString path = QFile::decodeName(argument);
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
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
    state->FolderPath = AsFolderPath(folder);
    if (!QFileInfo(state->FolderPath).isDir()) {
        Print(stderr, QStringLiteral("vistrel: %1 is not a folder").arg(state->FolderPath));
        return 2;
    }
    const QString output = AsFolderPath(outputFolder);
    if (!QDir().mkpath(output)) {
        Print(stderr, QStringLiteral("vistrel: the folder %1 can't be created").arg(output));
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
                Print(stderr, QStringLiteral("vistrel: %1 can't be replaced and was left as it is").arg(path));
            Print(stdout, QStringLiteral("%1: %2").arg(name).arg(icons));
        }
    } progress;
    ScanOutcome outcome;
    try {
        outcome = ScanFolder(*state, progress, IconExport{output + QStringLiteral("/Icon"), format});
    } catch (const AppError& error) {
        Print(stderr, QStringLiteral("vistrel: ") + error.message());
        return 2;
    }
    switch (outcome.Result) {
    case ScanResult::NoImageFiles:
        Print(stdout, NoImageFilesMessage(state->FolderPath));
        return 1;
    case ScanResult::NoIcons:
        Print(stdout, NoIconsMessage());
        return 1;
    case ScanResult::Done:
        break;
    }
    if (outcome.IconsLeftOut)
        Print(stderr, QStringLiteral("vistrel: only the first %1 icons are written").arg(kMaxIcons));
    Print(stdout, QStringLiteral("合計: %1").arg(state->IconCount));
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
    // Vistrel's own options come first and are spelled with two dashes; Qt's have one.
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--", 2) == 0) {
            // Say what was wrong before the usage, which lists the right forms.
            Print(stderr, QStringLiteral("vistrel: unknown option %1").arg(QFile::decodeName(argv[i])));
            PrintUsage(stderr);
            return 2;
        }
    }
    if (!DisplayAvailable(argc, argv)) {
        Print(stderr, QStringLiteral("vistrel: the window needs a display (DISPLAY or WAYLAND_DISPLAY is not set); "
                                     "vistrel --extract FOLDER OUTDIR works without one"));
        return 2;
    }
    return std::nullopt;
}

std::optional<QString> FolderArgument(int argc, char* argv[])
{
    if (argc == 1)
        return QString();
    if (argc > 2 || argv[1][0] == '-') {
        PrintUsage(stderr);
        return std::nullopt;
    }
    // As the folder dialog gives folders: absolute, without a trailing separator but for the root.
    return QDir::cleanPath(QDir::current().absoluteFilePath(QFile::decodeName(argv[1])));
}
