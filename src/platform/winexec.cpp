#include "platform/winexec.h"

#include <QFileInfo>
#include <QProcess>

namespace {
bool IsBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}
} // namespace

QStringList SplitArguments(QStringView text)
{
    QStringList arguments;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (true) {
        while (i < n && IsBlank(text[i]))
            ++i;
        if (i >= n)
            return arguments;
        QString argument;
        bool quoted = false;
        while (i < n && (quoted || !IsBlank(text[i]))) {
            if (text[i] == QLatin1Char('\\')) {
                qsizetype backslashes = 0;
                while (i < n && text[i] == QLatin1Char('\\'))
                    ++backslashes, ++i;
                if (i < n && text[i] == QLatin1Char('"')) {
                    argument += QString(backslashes / 2, QLatin1Char('\\'));
                    if (backslashes % 2 == 1) {
                        argument += QLatin1Char('"');
                        ++i;
                    }
                } else {
                    argument += QString(backslashes, QLatin1Char('\\'));
                }
            } else if (text[i] == QLatin1Char('"')) {
                if (quoted && i + 1 < n && text[i + 1] == QLatin1Char('"')) {
                    argument += QLatin1Char('"');
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                argument += text[i++];
            }
        }
        arguments << argument;
    }
}

std::optional<CommandLine> SplitCommandLine(const QString& line,
                                            const std::function<bool(const QString&)>& isExecutable)
{
    const QStringView text = QStringView(line).trimmed();
    if (text.isEmpty())
        return std::nullopt;
    if (text.front() == QLatin1Char('"')) {
        const qsizetype close = text.indexOf(QLatin1Char('"'), 1);
        const QStringView program = close < 0 ? text.mid(1) : text.mid(1, close - 1);
        if (program.isEmpty())
            return std::nullopt;
        return CommandLine{program.toString(), close < 0 ? QStringList() : SplitArguments(text.mid(close + 1))};
    }
    for (qsizetype cut = 0; cut <= text.size(); ++cut) {
        if (cut < text.size() && !IsBlank(text[cut]))
            continue;
        const QString program = text.left(cut).toString();
        if (isExecutable(program))
            return CommandLine{program, SplitArguments(text.mid(cut))};
    }
    return std::nullopt;
}

bool IsExecutableFile(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

bool WinExec(const QString& commandLine)
{
    const QStringView line = QStringView(commandLine).trimmed();
    if (line.startsWith(kWindowsPaintProgram, Qt::CaseInsensitive)
        && (line.size() == kWindowsPaintProgram.size() || IsBlank(line[kWindowsPaintProgram.size()])))
        return QProcess::startDetached(QStringLiteral("xdg-open"), SplitArguments(line.mid(kWindowsPaintProgram.size())));
    const std::optional<CommandLine> command = SplitCommandLine(commandLine, IsExecutableFile);
    return command && QProcess::startDetached(command->program, command->arguments);
}
