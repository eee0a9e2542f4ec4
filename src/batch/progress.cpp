#include "batch/progress.h"

#include "platform/filenames.h"

#include <clocale>
#include <cwchar>

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

QString FitColumns(const QString& text, int columns)
{
    // The C library's Unicode widths, whatever locale the program runs in: a Japanese name
    // takes two columns a character, a combining mark none.
    static const locale_t unicode = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr));
    const locale_t previous = unicode ? ::uselocale(unicode) : locale_t(nullptr);
    QString fitted;
    int used = 0;
    for (const char32_t c : text.toUcs4()) {
        const int width = unicode ? ::wcwidth(wchar_t(c)) : 1;
        used += width < 0 ? 1 : width;
        if (used > columns)
            break;
        fitted.append(QString::fromUcs4(&c, 1));
    }
    if (unicode)
        ::uselocale(previous);
    return fitted;
}

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
    const QString text = FitColumns(line_, TerminalColumns() - 1);
    std::fputs(("\r\x1b[K" + text).toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
    drawn_ = true;
}

void BatchOutput::Line(std::FILE* stream, const QString& text)
{
    // Only a line to the same terminal has to go above the progress line; one to a file
    // or a pipe leaves it where it is.
    const bool above = live_ && (stream == stderr || ::isatty(::fileno(stream)) == 1);
    if (above) {
        Clear();
        std::fflush(stderr);
    }
    std::fputs((text + QLatin1Char('\n')).toLocal8Bit().constData(), stream);
    if (above)
        std::fflush(stream);
}

void BatchOutput::Reading(int file, int files, long long icons, const QString& name)
{
    if (!live_)
        return;
    // Redrawn ten times a second at most: a terminal that draws every file costs more
    // than the files. Between two redraws a line printed above may have taken it away.
    const auto now = std::chrono::steady_clock::now();
    if (now - lastDrawn_ < std::chrono::milliseconds(100))
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
