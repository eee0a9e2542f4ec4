// The end of a session from outside the window: a signal (SIGTERM from kill or a logout,
// SIGHUP from a closed terminal, SIGINT from Ctrl+C) and a display that goes away.
#pragma once

#include <QObject>
#include <QString>

class QSocketNotifier;

// Catches SIGTERM, SIGHUP and SIGINT while it lives. The handler only writes a byte to a
// pipe; the event loop reads it and emits requested(), so all the work runs as any other
// event does, also inside a modal dialog's loop.
class SessionEndSignals : public QObject {
    Q_OBJECT
public:
    SessionEndSignals();
    ~SessionEndSignals() override;
    SessionEndSignals(const SessionEndSignals&) = delete;
    SessionEndSignals& operator=(const SessionEndSignals&) = delete;

signals:
    void requested();

private:
    QSocketNotifier* notifier_ = nullptr;
};

// While one lives, a process exit that skips the window's shut-down (Qt ends the process
// with exit() when the display's connection breaks) still deletes the bitmaps in folder
// and removes folder itself when it is the window's own (removeFolder).
class BitmapsDeletedAtExit {
public:
    BitmapsDeletedAtExit(const QString& folder, bool removeFolder);
    ~BitmapsDeletedAtExit();
    BitmapsDeletedAtExit(const BitmapsDeletedAtExit&) = delete;
    BitmapsDeletedAtExit& operator=(const BitmapsDeletedAtExit&) = delete;
};
