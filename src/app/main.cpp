// The vistrel program's front: it loads no toolkit until it needs one. One chosen icon to
// standard output, what a launcher asks for every program it shows, is answered here at
// once; everything else is the toolkit's part (window.cpp), a module loaded on demand by
// its full path: where the build put it, or, installed, where it lies from the program's
// own folder. No search path is involved, so no folder the program runs in can stand in.
#include "batch/quick.h"

#include <climits>
#include <cstdio>
#include <string>

#include <dlfcn.h>
#include <unistd.h>

namespace {
std::string WindowModule()
{
#ifdef VISTREL_WINDOW_MODULE
    return VISTREL_WINDOW_MODULE;
#else
    // Without the program's own path there is no full path to load from; a relative one
    // would be looked for in the folder the program runs in.
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self);
    if (length <= 0 || length == ssize_t(sizeof self) || self[0] != '/')
        return {};
    const std::string program(self, std::size_t(length));
    return program.substr(0, program.rfind('/') + 1) + VISTREL_WINDOW_MODULE_FROM_PROGRAM;
#endif
}
} // namespace

int main(int argc, char* argv[])
{
    if (const std::optional<int> status = QuickExtract(argc, argv))
        return *status;
    const std::string module = WindowModule();
    if (module.empty()) {
        std::fprintf(stderr, "vistrel: its toolkit part can't be found: the program's own path is unknown\n");
        return 2;
    }
    void* window = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    const auto run = window ? reinterpret_cast<int (*)(int, char**)>(::dlsym(window, "VistrelMain")) : nullptr;
    if (!run) {
        std::fprintf(stderr, "vistrel: its toolkit part can't be loaded: %s\n", ::dlerror());
        return 2;
    }
    return run(argc, argv);
}
