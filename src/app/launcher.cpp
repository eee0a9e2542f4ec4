// The program's entry: the thumbnailer runs here at once; everything else (the window and
// the other batch commands) is in the module vistrel-window.so beside the executable,
// loaded only then, so a thumbnail costs no toolkit start-up.
#include "platform/thumbnailer.h"

#include <cstdio>
#include <cstring>
#include <string>

#include <dlfcn.h>
#include <unistd.h>

namespace {
// The folder of the executable itself, links resolved, ending in "/".
std::string ProgramDirectory()
{
    std::string path(4096, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= path.size())
        return {};
    path.resize(static_cast<std::size_t>(length));
    return path.substr(0, path.rfind('/') + 1);
}
} // namespace

int main(int argc, char* argv[])
{
    if (argc > 1 && std::strcmp(argv[1], "--thumbnail") == 0)
        return RunThumbnailer(argc, argv);
    const std::string module = ProgramDirectory() + "vistrel-window.so";
    void* handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        std::fprintf(stderr, "vistrel: %s\n", ::dlerror());
        return 2;
    }
    using Entry = int (*)(int, char**);
    const auto entry = reinterpret_cast<Entry>(::dlsym(handle, "VistrelMain"));
    if (!entry) {
        std::fprintf(stderr, "vistrel: %s\n", ::dlerror());
        return 2;
    }
    // The module stays loaded until the process ends: Qt's clean-up runs at exit.
    return entry(argc, argv);
}
