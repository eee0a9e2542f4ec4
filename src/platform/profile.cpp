#include "platform/profile.h"

#include "platform/atomicfile.h"

#include <QFile>
#include <QFileInfo>

namespace {
// Larger settings files are not ours to rewrite: refuse rather than cut them.
constexpr qint64 kLargestRewrittenFile = 16 * 1024 * 1024;

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

QByteArray Trimmed(QByteArray text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

bool SameName(const QByteArray& raw, const QString& name)
{
    return QString::fromUtf8(raw).compare(name.trimmed(), Qt::CaseInsensitive) == 0;
}

// One line of a profile file, as the reader sees it.
struct Line {
    enum Kind { Other, Section, Entry } kind = Other;
    QByteArray name;  // section or key name, trimmed
    QByteArray value; // entry value, trimmed
};

Line Parse(const QByteArray& rawLine)
{
    const QByteArray text = Trimmed(rawLine);
    Line line;
    if (text.startsWith('[')) {
        line.kind = Line::Section;
        const qsizetype close = text.indexOf(']');
        line.name = Trimmed(text.mid(1, close < 0 ? -1 : close - 1));
        return line;
    }
    if (text.startsWith(';'))
        return line;
    const qsizetype equals = text.indexOf('=');
    if (equals <= 0)
        return line;
    line.kind = Line::Entry;
    line.name = Trimmed(text.left(equals));
    line.value = Trimmed(text.mid(equals + 1));
    return line;
}

QString Unquoted(const QString& value)
{
    if (value.size() >= 2 && (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\''))
        && value.back() == value.front())
        return value.mid(1, value.size() - 2);
    return value;
}

QString CutToReadLimit(const QString& value)
{
    if (value.size() <= kProfileValueMax)
        return value;
    int length = kProfileValueMax;
    if (value.at(length - 1).isHighSurrogate())
        --length; // never leave half a character behind
    return value.left(length);
}

QList<QByteArray> SplitLines(const QByteArray& content)
{
    QList<QByteArray> lines = content.split('\n');
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast(); // the file's final line break ends a line, it starts none
    return lines;
}
} // namespace

std::optional<QString> ProfileValue(const QByteArray& content, const QString& section, const QString& key)
{
    bool inSection = false;
    bool sectionSeen = false;
    for (const QByteArray& raw : SplitLines(content)) {
        const Line line = Parse(raw);
        if (line.kind == Line::Section) {
            if (sectionSeen && inSection)
                break; // only the first section of that name counts
            inSection = SameName(line.name, section);
            sectionSeen = sectionSeen || inSection;
        } else if (line.kind == Line::Entry && inSection && SameName(line.name, key)) {
            return CutToReadLimit(Unquoted(QString::fromUtf8(line.value)));
        }
    }
    return std::nullopt;
}

QByteArray ProfileWithValue(const QByteArray& content, const QString& section, const QString& key,
                            const QString& value)
{
    const QByteArray newline = content.contains("\r\n") ? QByteArrayLiteral("\r\n") : QByteArrayLiteral("\n");
    QByteArray oneLineValue = value.toUtf8();
    oneLineValue.truncate(oneLineValue.indexOf('\n') < 0 ? oneLineValue.size() : oneLineValue.indexOf('\n'));
    oneLineValue.replace('\r', "");

    QList<QByteArray> lines = SplitLines(content);
    qsizetype sectionLine = -1;
    qsizetype lastContentLine = -1; // last non-blank line of the section
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const Line line = Parse(lines[i]);
        if (line.kind == Line::Section) {
            if (sectionLine >= 0)
                break;
            if (SameName(line.name, section))
                sectionLine = lastContentLine = i;
            continue;
        }
        if (sectionLine < 0)
            continue;
        if (line.kind == Line::Entry && SameName(line.name, key)) {
            const bool crlf = lines[i].endsWith('\r');
            lines[i] = line.name + '=' + oneLineValue + (crlf ? "\r" : "");
            return lines.join('\n') + '\n';
        }
        if (!Trimmed(lines[i]).isEmpty())
            lastContentLine = i;
    }

    const QByteArray entry = key.trimmed().toUtf8() + '=' + oneLineValue;
    const QByteArray lineEnd = newline == "\r\n" ? QByteArrayLiteral("\r") : QByteArray();
    if (sectionLine >= 0) {
        lines.insert(lastContentLine + 1, entry + lineEnd);
    } else {
        lines.append('[' + section.trimmed().toUtf8() + ']' + lineEnd);
        lines.append(entry + lineEnd);
    }
    return lines.join('\n') + '\n';
}

std::optional<QString> ReadProfileString(const QString& path, const QString& section, const QString& key)
{
    QFile file(path);
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return ProfileValue(file.readAll(), section, key);
}

bool WriteProfileString(const QString& path, const QString& section, const QString& key, const QString& value)
{
    const QFileInfo target(ReplacedFile(path));
    if (!MayReplace(target.absoluteFilePath()))
        return false;

    QByteArray content;
    if (target.exists()) {
        if (target.size() > kLargestRewrittenFile)
            return false;
        QFile old(target.absoluteFilePath());
        if (!old.open(QIODevice::ReadOnly))
            return false;
        content = old.readAll();
    }

    return ReplaceFileWith(target.absoluteFilePath(), ProfileWithValue(content, section, key, value));
}
