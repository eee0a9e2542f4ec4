// Starting a program from a command line written the Windows way, without a shell.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

struct CommandLine {
    QString program;
    QStringList arguments;
    bool operator==(const CommandLine&) const = default;
};

// Splits a command line as Windows does. A program in double quotes runs to its closing
// quote. An unquoted program may contain blanks: the line is cut at each blank in turn,
// shortest first, until the part before the cut names an executable file (isExecutable
// decides); with no such part there is nothing to start. The rest of the line becomes
// the arguments by the Windows rules: blanks separate, double quotes group, "" inside
// quotes is a quote, and backslashes are literal except before a quote, where each pair
// gives one backslash and an odd one makes the quote literal.
std::optional<CommandLine> SplitCommandLine(const QString& line,
                                            const std::function<bool(const QString&)>& isExecutable);

// The arguments part alone.
QStringList SplitArguments(QStringView text);

// True for an existing regular file that may be executed.
bool IsExecutableFile(const QString& path);

// Windows' own paint program, where a Windows installation keeps it.
inline const QString kWindowsPaintProgram = QStringLiteral("C:\\Program Files\\Accessories\\MSPAINT.EXE");

// Starts the program of the command line and does not wait for it. False when there was
// nothing to start or it could not be started. kWindowsPaintProgram (unquoted, in any
// case) stands for the desktop's own program for the file: xdg-open starts with the
// line's arguments.
bool WinExec(const QString& commandLine);
