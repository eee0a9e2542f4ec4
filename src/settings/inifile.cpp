#include "settings/inifile.h"

#include "platform/errors.h"
#include "platform/defaultprinter.h"
#include "platform/profile.h"
#include "platform/programfolder.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <limits>

namespace IniFile {
namespace {

QString ReadString(const QString& section, const QString& key, const QString& defaultValue)
{
    return ReadProfileString(SettingsPath(), section, key).value_or(defaultValue);
}

int ReadInteger(const QString& section, const QString& key, int defaultValue)
{
    return StrToInt(ReadString(section, key, QString::number(defaultValue)));
}

void WriteInteger(const QString& section, const QString& key, int value)
{
    const QString path = SettingsPath();
    if (!WriteProfileString(path, section, key, QString::number(value)))
        throw AppError(QStringLiteral("%1 に書き込めません").arg(path));
}

// A window as large as the screen, or larger, is stored 10 pixels smaller so that it
// does not open past the screen's edge next time.
int StoredExtent(int extent, int screenExtent)
{
    return extent < screenExtent ? extent : extent - 10;
}

} // namespace

int WidgetBounds::Top() const { return widget_.frameGeometry().top(); }
int WidgetBounds::Left() const { return widget_.frameGeometry().left(); }
int WidgetBounds::Height() const { return widget_.frameGeometry().height(); }
int WidgetBounds::Width() const { return widget_.frameGeometry().width(); }

void WidgetBounds::SetTop(int top)
{
    widget_.move(widget_.frameGeometry().left(), top);
}

void WidgetBounds::SetLeft(int left)
{
    widget_.move(left, widget_.frameGeometry().top());
}

// The settings hold outer sizes; the frame's share is known once a window manager has
// framed the window, and is zero before.
void WidgetBounds::SetHeight(int height)
{
    const int frame = widget_.frameGeometry().height() - widget_.height();
    widget_.resize(widget_.width(), height - frame);
}

void WidgetBounds::SetWidth(int width)
{
    const int frame = widget_.frameGeometry().width() - widget_.width();
    widget_.resize(width - frame, widget_.height());
}

bool WidgetBounds::PositionKnown() const
{
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

QSize WidgetBounds::ScreenSize() const
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->size() : QSize();
}

QString SettingsPath()
{
    return SettingsFolder() + QStringLiteral("Vistrel.ini");
}

void LoadFormGeometry(const QString& section, FormBounds& form)
{
    form.SetTop(ReadInteger(section, QStringLiteral("Top"), 107));
    form.SetLeft(ReadInteger(section, QStringLiteral("Left"), 200));
    form.SetHeight(ReadInteger(section, QStringLiteral("Height"), 480));
    form.SetWidth(ReadInteger(section, QStringLiteral("Width"), 696));
}

void SaveFormGeometry(const QString& section, const FormBounds& form)
{
    const QSize screen = form.ScreenSize();
    if (form.PositionKnown()) {
        WriteInteger(section, QStringLiteral("Top"), std::max(form.Top(), 0));
        WriteInteger(section, QStringLiteral("Left"), std::max(form.Left(), 0));
    }
    WriteInteger(section, QStringLiteral("Height"), StoredExtent(form.Height(), screen.height()));
    WriteInteger(section, QStringLiteral("Width"), StoredExtent(form.Width(), screen.width()));
}

QString ReadPaintPath(const QString& section)
{
    return ReadString(section, QStringLiteral("Path"), kDefaultPaintPath);
}

QString ReadDefaultPrinterName()
{
    return DefaultPrinterName();
}

int StrToInt(const QString& text)
{
    const auto fail = [&text]() -> int { throw AppError(QStringLiteral("'%1' は整数ではありません").arg(text)); };

    QStringView rest = QStringView(text).trimmed();
    bool negative = false;
    if (!rest.isEmpty() && (rest.front() == QLatin1Char('-') || rest.front() == QLatin1Char('+'))) {
        negative = rest.front() == QLatin1Char('-');
        rest = rest.mid(1);
    }
    int base = 10;
    if (rest.startsWith(QLatin1Char('$'))) {
        base = 16;
        rest = rest.mid(1);
    } else if (rest.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        base = 16;
        rest = rest.mid(2);
    }
    if (rest.isEmpty())
        return fail();

    qint64 magnitude = 0;
    for (const QChar c : rest) {
        const int digit = c.isDigit() && c.unicode() < 128 ? c.unicode() - '0'
            : base == 16 && c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f')
            ? c.toLower().unicode() - 'a' + 10
            : -1;
        if (digit < 0)
            return fail();
        magnitude = magnitude * base + digit;
        if (magnitude > qint64(std::numeric_limits<int>::max()) + 1)
            return fail();
    }
    const qint64 value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<int>::max())
        return fail();
    return int(value);
}

} // namespace IniFile
