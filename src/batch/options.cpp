#include "batch/options.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>

#include <getopt.h>

namespace {
// The long options; each value is its own case below.
enum Option { kFormat = 256, kRecursive, kAllKinds, kJson, kIcon, kName, kLanguage, kSize };
constexpr option kOptions[] = {
    {"format", required_argument, nullptr, kFormat},     {"recursive", no_argument, nullptr, kRecursive},
    {"json", no_argument, nullptr, kJson},               {"icon", required_argument, nullptr, kIcon},
    {"name", required_argument, nullptr, kName},         {"language", required_argument, nullptr, kLanguage},
    {"size", required_argument, nullptr, kSize},         {"all-kinds", no_argument, nullptr, kAllKinds},
    {nullptr, 0, nullptr, 0},
};

// A whole number in decimal, or in hex after 0x, no larger than most.
std::optional<long> NumberArgument(const char* text, long most)
{
    const bool hex = std::strncmp(text, "0x", 2) == 0 || std::strncmp(text, "0X", 2) == 0;
    const char* digits = hex ? text + 2 : text;
    if (*digits == '\0' || !std::isxdigit(static_cast<unsigned char>(*digits)))
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(digits, &end, hex ? 16 : 10);
    if (*end != '\0' || errno != 0 || value > most)
        return std::nullopt;
    return value;
}

std::optional<IconFormat> FormatNamed(const char* name)
{
    for (const auto& [text, format] : {std::pair{"bmp", IconFormat::Bmp}, std::pair{"png", IconFormat::Png},
                                       std::pair{"ico", IconFormat::Ico}, std::pair{"cur", IconFormat::Cur}})
        if (std::strcmp(name, text) == 0)
            return format;
    return std::nullopt;
}

// One option with its value into parsed; false, with the error set, when it is wrong.
bool Take(BatchArguments& parsed, int option, const char* value)
{
    const auto wrong = [&](const char* error, const char* shown = "") {
        parsed.Error = error;
        parsed.ErrorValue = shown;
        return false;
    };
    switch (option) {
    case kFormat: {
        const std::optional<IconFormat> named = FormatNamed(value);
        if (parsed.List)
            return wrong("--format is --extract's; --list lists every kind");
        if (!named)
            return wrong("unknown format %1 (bmp, png, ico or cur)", value);
        parsed.Format = *named;
        return true;
    }
    case kRecursive:
        parsed.Recursive = true;
        return true;
    case kAllKinds:
        parsed.AllKinds = true;
        return true;
    case kJson:
        parsed.Json = true;
        return parsed.List || wrong("--json is --list's");
    case kIcon: {
        if (value[0] == '-')
            return wrong("--icon takes an index from 0 (use --name for a resource number)");
        const std::optional<long> index = NumberArgument(value, INT_MAX);
        if (!index)
            return wrong("--icon takes an index from 0, not %1", value);
        parsed.Choice.Position = int(*index);
        return true;
    }
    case kName:
        if (*value == '\0')
            return wrong("--name needs a resource name or number");
        parsed.Choice.Name = std::string(value);
        return true;
    case kLanguage: {
        const std::optional<long> language = NumberArgument(value, 0xFFFF);
        if (!language)
            return wrong("--language takes a language ID (1033 or 0x409), not %1", value);
        parsed.Choice.Language = std::uint32_t(*language);
        return true;
    }
    case kSize: {
        if (parsed.List)
            return wrong("--size is --extract's");
        const std::optional<long> size = NumberArgument(value, 65536);
        if (!size || *size == 0)
            return wrong("--size takes a width in pixels, not %1", value);
        parsed.Size = int(*size);
        return true;
    }
    }
    return false;
}
} // namespace

BatchArguments ParseBatchArguments(int argc, char* argv[])
{
    BatchArguments parsed;
    parsed.List = std::strcmp(argv[1], "--list") == 0;
    // Folders as the folder dialog gives them: no trailing separator but for the root.
    const auto keep = [&parsed](std::string operand) {
        while (operand.size() > 1 && operand.back() == '/')
            operand.pop_back();
        parsed.Operands.push_back(std::move(operand));
    };
    // A copy, with the command in argv[0]'s place. "-": each operand is handed over where
    // it stands, so options come anywhere even under POSIXLY_CORRECT, which would
    // otherwise end them at the first operand.
    std::vector<char*> arguments(argv + 1, argv + argc);
    arguments.push_back(nullptr);
    optind = 0; // a fresh scan each call
    opterr = 0;
    for (int found; (found = ::getopt_long(int(arguments.size() - 1), arguments.data(), "-:", kOptions, nullptr)) != -1;) {
        if (found == 1) {
            keep(optarg);
            continue;
        }
        if (found == ':') {
            parsed.Error = optopt == kFormat ? "--format needs a format (bmp, png, ico or cur)" : "%1 needs a value";
            parsed.ErrorValue = arguments[std::size_t(optind - 1)];
            return parsed;
        }
        if (found == '?') {
            parsed.Error = "unknown option %1";
            parsed.ErrorValue = arguments[std::size_t(optind - 1)];
            return parsed;
        }
        if (!Take(parsed, found, optarg))
            return parsed;
    }
    if (parsed.Choice.Position && parsed.Choice.Name)
        parsed.Error = "--icon and --name both choose an icon: give one";
    else if (parsed.Size > 0 && parsed.Format != IconFormat::Png)
        parsed.Error = "--size chooses a PNG image: it needs --format png";
    // Those after "--".
    for (std::size_t i = std::size_t(optind); i + 1 < arguments.size(); ++i)
        keep(arguments[i]);
    return parsed;
}
