#include "batch/quick.h"

#include "batch/options.h"
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

// The files a source gives, taken as ReadIcons takes them.
std::vector<Bytes> Chosen(const std::string& path, const BatchArguments& arguments)
{
    const std::unique_ptr<IconFile> file = OpenIconFileAhead(path.c_str());
    if (!file)
        return {};
    IconReader& reader = file->Reader();
    reader.SelectLanguage(arguments.Choice.Language);
    std::vector<Bytes> taken;
    ForEachChosen(reader, arguments.Choice, arguments.Format == IconFormat::Cur, [&](ResourceKind kind, int i, const IconImage*) {
        if (Bytes bytes = ExportedFileBytes(reader, kind, i, arguments.Format, arguments.Size); !bytes.empty())
            taken.push_back(std::move(bytes));
    });
    return taken;
}
} // namespace

std::optional<int> QuickExtract(int argc, char* argv[])
{
    if (argc < 4 || std::strcmp(argv[1], "--extract") != 0)
        return std::nullopt;
    const BatchArguments arguments = ParseBatchArguments(argc, argv);
    // One file: several give one icon each, more than standard output takes, which the
    // full command tells.
    if (!arguments.Error.empty() || arguments.Operands.size() != 2 || arguments.Operands.back() != "-"
        || arguments.Format == IconFormat::Bmp || !arguments.Choice.Any())
        return std::nullopt;
    struct stat info {};
    if (::stat(arguments.Operands.front().c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    const std::vector<Bytes> chosen = Chosen(arguments.Operands.front(), arguments);
    if (chosen.size() != 1)
        return std::nullopt;
    // A reader that went away is an error to tell, not a signal that ends the process.
    std::signal(SIGPIPE, SIG_IGN);
    if (!WriteAll(STDOUT_FILENO, chosen.front().data(), chosen.front().size())) {
        std::fprintf(stderr, "vistrel: the icon can't be written to standard output: %s\n", std::strerror(errno));
        return 2;
    }
    return 0;
}
