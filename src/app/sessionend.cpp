#include "app/sessionend.h"

#include "platform/programfolder.h"

#include <QDir>
#include <QFile>
#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {
constexpr std::array kSignals{SIGTERM, SIGHUP, SIGINT};
int signalPipe[2] = {-1, -1};

extern "C" void WriteSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    // A full pipe already holds a request.
    (void)!::write(signalPipe[1], &byte, 1);
    errno = saved;
}

// Plain bytes, not a QString: read by an exit handler, when Qt's statics may be gone.
struct ExitCleanUp {
    QByteArray folder;
    bool removeFolder = false;
    bool armed = false;
};
ExitCleanUp& AtExit()
{
    static ExitCleanUp* cleanUp = new ExitCleanUp; // never destroyed: exit handlers read it
    return *cleanUp;
}

extern "C" void CleanUpAtExit()
{
    const ExitCleanUp& cleanUp = AtExit();
    if (!cleanUp.armed)
        return;
    const QString folder = QFile::decodeName(cleanUp.folder);
    DeleteTempBitmaps(folder);
    if (cleanUp.removeFolder)
        QDir().rmdir(folder);
}
} // namespace

SessionEndSignals::SessionEndSignals()
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    notifier_ = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
        }
        emit requested();
    });
    struct sigaction action = {};
    action.sa_handler = WriteSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (const int signal : kSignals)
        ::sigaction(signal, &action, nullptr);
}

SessionEndSignals::~SessionEndSignals()
{
    for (const int signal : kSignals)
        std::signal(signal, SIG_DFL);
    delete notifier_;
    if (signalPipe[0] >= 0) {
        ::close(signalPipe[0]);
        ::close(signalPipe[1]);
        signalPipe[0] = signalPipe[1] = -1;
    }
}

BitmapsDeletedAtExit::BitmapsDeletedAtExit(const QString& folder, bool removeFolder)
{
    static const bool registered = std::atexit(CleanUpAtExit) == 0;
    (void)registered;
    AtExit() = {QFile::encodeName(folder), removeFolder, !folder.isEmpty()};
}

BitmapsDeletedAtExit::~BitmapsDeletedAtExit()
{
    AtExit().armed = false;
}
