#include "batch/quick.h"

#include "batch/options.h"
#include "icon/cursorexport.h"
#include "icon/exeicons.h"
#include "icon/fdwrite.h"
#include "icon/iconexport.h"
#include "icon/redirect.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace {
using Bytes = std::vector<std::uint8_t>;

// The files a source gives, by the rules ReadIcons takes them by: a group is taken when
// it is chosen and, for an icon, IconReader::Read draws it.
std::vector<Bytes> Chosen(const std::string& path, const BatchArguments& arguments)
{
    const std::unique_ptr<IconFile> file = OpenIconFileAhead(path.c_str());
    if (!file)
        return {};
    IconReader& reader = file->Reader();
    reader.SelectLanguage(arguments.Choice.Language);
    std::vector<Bytes> taken;
    const auto take = [&taken](Bytes bytes) {
        if (!bytes.empty())
            taken.push_back(std::move(bytes));
    };
    if (arguments.Format == IconFormat::Cur) {
        const int cursors = reader.Count(ResourceKind::Cursor);
        for (int i = 0; i < cursors; ++i)
            if (IsChosen(reader, ResourceKind::Cursor, i, i, arguments.Choice))
                take(CursorFileBytes(reader, i));
        for (int i = 0; i < reader.Count(ResourceKind::AnimatedCursor); ++i)
            if (IsChosen(reader, ResourceKind::AnimatedCursor, i, cursors + i, arguments.Choice))
                take(AniBytes(reader, i));
        return taken;
    }
    for (int i = 0; i < reader.Count(); ++i) {
        if (!IsChosen(reader, ResourceKind::Icon, i, i, arguments.Choice) || !reader.Read(i))
            continue;
        if (arguments.Format == IconFormat::Ico)
            take(IconFileBytes(reader, i));
        else
            take(arguments.Size > 0 ? LargestImagePng(reader, i, arguments.Size) : LargestImagePng(reader, i));
    }
    return taken;
}
} // namespace

std::optional<int> QuickExtract(int argc, char* argv[])
{
    if (argc < 4 || std::strcmp(argv[1], "--extract") != 0)
        return std::nullopt;
    const BatchArguments arguments = ParseBatchArguments(argc, argv);
    if (!arguments.Error.empty() || arguments.Operands.size() < 2 || arguments.Operands.back() != "-"
        || arguments.Format == IconFormat::Bmp || !arguments.Choice.Any())
        return std::nullopt;
    std::vector<Bytes> chosen;
    for (std::size_t i = 0; i + 1 < arguments.Operands.size(); ++i) {
        struct stat info {};
        if (::stat(arguments.Operands[i].c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            return std::nullopt;
        std::vector<Bytes> found = Chosen(arguments.Operands[i], arguments);
        if (found.size() != 1 || chosen.size() == 1)
            return std::nullopt;
        chosen.push_back(std::move(found.front()));
    }
    // A reader that went away is an error to tell, not a signal that ends the process.
    std::signal(SIGPIPE, SIG_IGN);
    if (!WriteAll(STDOUT_FILENO, chosen.front().data(), chosen.front().size())) {
        std::fprintf(stderr, "vistrel: the icon can't be written to standard output: %s\n", std::strerror(errno));
        return 2;
    }
    return 0;
}
