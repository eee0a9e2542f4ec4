// The program once its toolkit is loaded: every command but the quick path, and the window.
#include "app/application.h"
#include "app/commandline.h"

#include <QApplication>

extern "C" __attribute__((visibility("default"))) int VistrelMain(int argc, char* argv[])
{
    // The batch commands need no display, so they run before any window exists; so do
    // the checks that would otherwise leave Qt to abort.
    if (const auto status = RunCommandLine(argc, argv))
        return *status;
    std::optional<WindowSystemStart> start(std::in_place);
    QApplication app(argc, argv);
    start.reset();
    // Qt has taken its own options out of argv; what is left may name a folder.
    const std::optional<QByteArray> folder = FolderArgument(argc, argv);
    if (!folder)
        return 2;
    VistrelApplication vistrel;
    return vistrel.Run(*folder);
}
