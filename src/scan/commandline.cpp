#include "scan/commandline.h"

#include "platform/errors.h"
#include "scan/folderscan.h"
#include "scan/iconextraction.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {
void Print(std::FILE* stream, const QString& line)
{
    std::fputs((line + QLatin1Char('\n')).toLocal8Bit().constData(), stream);
}

void PrintUsage(std::FILE* stream)
{
    Print(stream, QStringLiteral("Usage: vistrel                           start the icon viewer\n"
                                 "       vistrel --extract FOLDER OUTDIR   write the icons of FOLDER's exe and dll\n"
                                 "                                         files to OUTDIR/Icon00001.bmp onwards\n"
                                 "       vistrel --help | --version"));
}

// Folders are kept as the folder dialog gives them: no trailing separator but for the root.
QString AsFolderPath(const char* argument)
{
    QString path = QFile::decodeName(argument);
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}
} // namespace

int ExtractFolder(const char* folder, const char* outputFolder)
{
    // A damaged PNG inside an icon is an icon that can't be drawn, not news for the user.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    const QString output = AsFolderPath(outputFolder);
    if (!QFileInfo(output).isDir()) {
        Print(stderr, QStringLiteral("vistrel: %1 is not a folder").arg(output));
        return 2;
    }
    // The state holds two tables of 10001 strings: too large for the stack.
    auto state = std::make_unique<BrowseState>();
    state->FolderPath = AsFolderPath(folder);
    const QString noFiles = state->FolderPath + QStringLiteral(" フォルダーには、イメージファイル(exe,dll)が存在しません。");
    const ListingResult listing = ListImageFiles(*state);
    if (listing == ListingResult::NoEntries || state->ImageFileCount == 0) {
        Print(stdout, noFiles);
        return 1;
    }
    if (listing == ListingResult::CapacityReached)
        Print(stderr, QStringLiteral("vistrel: only the first %1 files are read").arg(kMaxImageFiles));
    state->IconCount = 0;
    const QString prefix = output + QStringLiteral("/Icon");
    try {
        for (int k = 1; k <= state->ImageFileCount; ++k) {
            const QString& name = state->ImageFiles[static_cast<std::size_t>(k)];
            const int before = state->IconCount;
            const ExtractionResult result = ExtractIconsTo(*state, state->FolderPath, name, prefix);
            Print(stdout, QStringLiteral("%1: %2").arg(name).arg(state->IconCount - before));
            if (result == ExtractionResult::CapacityReached) {
                Print(stderr, QStringLiteral("vistrel: only the first %1 icons are written").arg(kMaxIcons));
                break;
            }
        }
    } catch (const AppError& error) {
        Print(stderr, QStringLiteral("vistrel: ") + error.message());
        return 2;
    }
    if (state->IconCount == 0) {
        Print(stdout, QStringLiteral("exe/dllファイルの中にアイコンが存在しません。"));
        return 1;
    }
    Print(stdout, QStringLiteral("合計: %1").arg(state->IconCount));
    return 0;
}

std::optional<int> RunCommandLine(int argc, char* argv[])
{
    if (argc < 2)
        return std::nullopt;
    const char* command = argv[1];
    if (std::strcmp(command, "--help") == 0 || std::strcmp(command, "-h") == 0) {
        PrintUsage(stdout);
        return 0;
    }
    if (std::strcmp(command, "--version") == 0) {
        Print(stdout, QStringLiteral("Vistrel " VISTREL_VERSION));
        return 0;
    }
    if (std::strcmp(command, "--extract") == 0) {
        if (argc != 4) {
            PrintUsage(stderr);
            return 2;
        }
        return ExtractFolder(argv[2], argv[3]);
    }
    return std::nullopt;
}
