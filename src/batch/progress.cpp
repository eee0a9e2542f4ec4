#include "batch/progress.h"

#include "platform/filenames.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace {
// The terminal's width, so the line never wraps: a wrapped line can't be redrawn in place.
int TerminalColumns()
{
    winsize size {};
    return ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}
} // namespace

QString Shown(const QString& name)
{
    return WithoutControls(name);
}

BatchOutput::BatchOutput(bool live) : live_(live) {}

BatchOutput::~BatchOutput()
{
    Finish();
}

void BatchOutput::Clear()
{
    if (drawn_) {
        std::fputs("\r\x1b[K", stderr);
        drawn_ = false;
    }
}

void BatchOutput::Draw()
{
    QString text = line_;
    const int columns = TerminalColumns() - 1;
    if (text.size() > columns)
        text = text.left(columns);
    std::fputs(("\r\x1b[K" + text).toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
    drawn_ = true;
}

void BatchOutput::Line(std::FILE* stream, const QString& text)
{
    if (live_) {
        Clear();
        std::fflush(stderr);
    }
    std::fputs((text + QLatin1Char('\n')).toLocal8Bit().constData(), stream);
    if (live_) {
        std::fflush(stream);
        if (!line_.isEmpty())
            Draw();
    }
}

void BatchOutput::Reading(int file, int files, long long icons, const QString& name)
{
    if (!live_)
        return;
    // Redrawn ten times a second at most: a terminal that draws every file costs more
    // than the files.
    const auto now = std::chrono::steady_clock::now();
    if (drawn_ && now - lastDrawn_ < std::chrono::milliseconds(100))
        return;
    lastDrawn_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    line_ = QStringLiteral("%1/%2 files, %3 written, %4 a second: %5")
                .arg(file)
                .arg(files)
                .arg(icons)
                .arg(seconds > 0 ? qRound64(icons / seconds) : 0)
                .arg(Shown(name));
    Draw();
}

void BatchOutput::Finish()
{
    if (live_)
        Clear();
    line_.clear();
}
