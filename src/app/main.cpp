#include "app/application.h"
#include "scan/commandline.h"

#include <QApplication>

// The module's entry, called by the launcher (launcher.cpp) with the program's arguments.
extern "C" __attribute__((visibility("default"))) int VistrelMain(int argc, char* argv[])
{
    // The batch commands need no display, so they run before any window exists.
    if (const auto status = RunCommandLine(argc, argv))
        return *status;
    QApplication app(argc, argv);
    VistrelApplication vistrel;
    return vistrel.Run();
}
