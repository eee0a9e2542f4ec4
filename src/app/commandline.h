// The command line, read before any window exists:
//   vistrel [FOLDER]                  the icon viewer, opening FOLDER at once
//   vistrel --extract [--format bmp|png|ico|cur] [--icon N | --name NAME] [--language ID]
//                     [--size PX] [--recursive] SOURCE... OUTDIR|-
//                                     the icons of each SOURCE, as Open finds them, or the
//                                     one chosen, into OUTDIR/Icon00001.bmp onwards or to
//                                     standard output
//   vistrel --list [--json] [--icon N | --name NAME] [--language ID] [--recursive] SOURCE...
//   vistrel --thumbnail [-s SIZE] INPUT OUTPUT   (thumbnailer/thumbnail.h)
//   vistrel --help | --version
// Qt's own options (-platform, -style, ...) are left to Qt.
#pragma once

#include "scan/iconextraction.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The exit status when argv is one of the batch commands, or when the window can't
// start: an unknown "--" option (the usage goes to stderr) or no display to show it on
// (one line to stderr); both give 2. Nothing when the program should start its window.
// --extract and --list: BatchStatus (batch/extract.h), or 128 + the signal that stopped
// them. OUTDIR is created with its parents when it does not exist.
std::optional<int> RunCommandLine(int argc, char* argv[]);

// What is wrong with the window's arguments: an option that is neither Qt's nor ours, a
// Qt option without its value, or a second folder; nothing when they are right.
std::optional<QString> WrongWindowArgument(int argc, char* argv[]);

// Once Qt has taken its own options out of argv: the folder to open at start, as an
// absolute path in bytes without "." or ".." (empty when none is named); a file names
// the folder it is in. Nothing when what is left is not one folder argument, after the
// reason and the usage went to stderr (exit status 2).
std::optional<QByteArray> FolderArgument(int argc, char* argv[]);

// Held while QApplication is made: where no platform plugin can start (no X server, no
// Wayland compositor, whatever DISPLAY, WAYLAND_DISPLAY and XDG_RUNTIME_DIR and
// QT_QPA_PLATFORM say), or a Wayland socket hangs up before its first answer, Qt's abort
// becomes one line of ours on stderr and exit status 2. Qt's messages and whatever else
// reaches stderr meanwhile are held back, and handed on once the window system has
// started (for Wayland: has answered once, which the destructor waits for).
class WindowSystemStart {
public:
    WindowSystemStart();
    ~WindowSystemStart();
    WindowSystemStart(const WindowSystemStart&) = delete;
    WindowSystemStart& operator=(const WindowSystemStart&) = delete;
};

// --extract itself, printing to stdout and stderr.
int ExtractFolder(const char* folder, const char* outputFolder, IconFormat format = IconFormat::Bmp);
