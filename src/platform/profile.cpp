#include "platform/profile.h"

#include "platform/atomicfile.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
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

// How many bytes of a line are parsed: room for any key name and more than a read's
// longest value. What lies beyond is copied, never parsed, so memory stays bounded
// whatever the file holds.
constexpr qsizetype kParsedLineBytes = 64 * 1024;
constexpr qsizetype kChunkBytes = 64 * 1024;

// Gives the next bytes of a profile: how many, 0 at its end, -1 on an error.
using ReadChunk = std::function<qsizetype(char* into, qsizetype size)>;

// One line as the file holds it: where it starts and where its line break is (the end of
// the file for a last line without one).
struct LineSpan {
    qint64 start = 0;
    qint64 end = 0;
    bool terminated = false; // a line break follows
    bool endsWithCr = false; // its last byte before the break is a carriage return
    bool blank = true;       // blanks alone
    QByteArray parsed;       // its first kParsedLineBytes, and its last non-blank byte after them
};

// Calls visit for each line of the profile in turn until visit returns false; false when
// the profile can't be read. The final line break ends a line, it starts none.
bool ForEachLine(const ReadChunk& read, const std::function<bool(const LineSpan&)>& visit)
{
    QByteArray chunk(kChunkBytes, Qt::Uninitialized);
    LineSpan line;
    char last = 0;
    char lastBeyond = 0; // the last non-blank byte past the parsed ones
    qint64 at = 0;
    const auto finish = [&](bool terminated) {
        line.end = at;
        line.terminated = terminated;
        line.endsWithCr = line.end > line.start && last == '\r';
        if (lastBeyond)
            line.parsed += lastBeyond;
        const bool more = visit(line);
        line = LineSpan{};
        line.start = at + 1;
        last = lastBeyond = 0;
        return more;
    };
    for (;;) {
        const qsizetype got = read(chunk.data(), chunk.size());
        if (got < 0)
            return false;
        if (got == 0)
            break;
        for (qsizetype i = 0; i < got; ++i, ++at) {
            const char c = chunk[i];
            if (c == '\n') {
                if (!finish(true))
                    return true;
                continue;
            }
            last = c;
            if (!IsBlank(c))
                line.blank = false;
            if (line.parsed.size() < kParsedLineBytes)
                line.parsed += c;
            else if (!IsBlank(c))
                lastBeyond = c;
        }
    }
    if (at > line.start)
        finish(false);
    return true;
}

ReadChunk FromBytes(const QByteArray& content)
{
    return [&content, at = qsizetype(0)](char* into, qsizetype size) mutable {
        const qsizetype n = std::min(size, content.size() - at);
        std::memcpy(into, content.constData() + at, std::size_t(n));
        at += n;
        return n;
    };
}

ReadChunk FromFile(int fd)
{
    return [fd](char* into, qsizetype size) -> qsizetype {
        for (;;) {
            const ssize_t n = ::read(fd, into, std::size_t(size));
            if (n >= 0 || errno != EINTR)
                return n;
        }
    };
}

// The file at path opened for reading when it is a regular file; -1 when it is absent,
// unreadable or anything else. A FIFO or a device is never opened in a way that waits:
// it is looked at first, and opened without blocking in case it took the file's place
// meanwhile.
int OpenRegularFile(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info {};
    if (::stat(name.constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return -1;
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return -1;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::optional<QString> ValueIn(const ReadChunk& read, const QString& section, const QString& key)
{
    bool inSection = false;
    bool sectionSeen = false;
    std::optional<QString> value;
    ForEachLine(read, [&](const LineSpan& span) {
        const Line line = Parse(span.parsed);
        if (line.kind == Line::Section) {
            if (sectionSeen && inSection)
                return false; // only the first section of that name counts
            inSection = SameName(line.name, section);
            sectionSeen = sectionSeen || inSection;
        } else if (line.kind == Line::Entry && inSection && SameName(line.name, key)) {
            value = CutToReadLimit(Unquoted(QString::fromUtf8(line.value)));
            return false;
        }
        return true;
    });
    return value;
}

// An edit of a profile: its bytes before keepUpTo, then insert, then its bytes from
// resumeAt on. Offsets count the profile with a line break added at its end when it
// lacks one (offset `size` is that break).
struct Edit {
    qint64 keepUpTo = 0;
    QByteArray insert;
    qint64 resumeAt = 0;
    qint64 size = 0;          // of the profile as it was read
    bool terminated = true;   // it is empty or ends in a line break
    QByteArray lineBreak = "\n"; // the one added where it lacks one: the file's own
};

std::optional<Edit> EditFor(const ReadChunk& read, const QString& section, const QString& key, const QString& value)
{
    QByteArray oneLineValue = value.toUtf8();
    oneLineValue.truncate(oneLineValue.indexOf('\n') < 0 ? oneLineValue.size() : oneLineValue.indexOf('\n'));
    oneLineValue.replace('\r', "");

    bool crlf = false;
    bool inSection = false;
    bool done = false;
    bool sectionFound = false;
    qint64 lastContentEnd = 0; // line break of the section's last non-blank line
    std::optional<Edit> replaced;
    Edit edit;
    const bool readable = ForEachLine(read, [&](const LineSpan& span) {
        crlf = crlf || (span.terminated && span.endsWithCr);
        edit.size = span.end + (span.terminated ? 1 : 0);
        edit.terminated = span.terminated;
        if (done)
            return true; // on to the end, for its size and its line breaks
        const Line line = Parse(span.parsed);
        if (line.kind == Line::Section) {
            if (inSection)
                done = true;
            else if (!sectionFound && SameName(line.name, section)) {
                inSection = sectionFound = true;
                lastContentEnd = span.end;
            }
            return true;
        }
        if (!inSection)
            return true;
        if (line.kind == Line::Entry && SameName(line.name, key)) {
            replaced = Edit{span.start, line.name + '=' + oneLineValue + (span.endsWithCr ? "\r\n" : "\n"), span.end + 1};
            done = true;
        } else if (!span.blank) {
            lastContentEnd = span.end;
        }
        return true;
    });
    if (!readable)
        return std::nullopt;

    const QByteArray lineEnd = crlf ? QByteArrayLiteral("\r\n") : QByteArrayLiteral("\n");
    edit.lineBreak = lineEnd;
    if (replaced) {
        replaced->size = edit.size;
        replaced->terminated = edit.terminated;
        replaced->lineBreak = lineEnd;
        return replaced;
    }
    const QByteArray entry = key.trimmed().toUtf8() + '=' + oneLineValue + lineEnd;
    if (sectionFound) {
        edit.keepUpTo = edit.resumeAt = lastContentEnd + 1;
        edit.insert = entry;
    } else {
        edit.keepUpTo = edit.resumeAt = edit.size + (edit.terminated ? 0 : 1);
        edit.insert = '[' + section.trimmed().toUtf8() + ']' + lineEnd + entry;
    }
    return edit;
}

// Gives the edited profile to write, in pieces of at most a chunk, reading the old one
// again through read from its start; false when it can't be read or is no longer as long.
bool WriteEdited(const ReadChunk& read, const Edit& edit, const std::function<bool(const char*, qsizetype)>& write)
{
    QByteArray chunk(kChunkBytes, Qt::Uninitialized);
    qint64 at = 0;
    const auto copyUpTo = [&](qint64 end, bool keep) {
        while (at < end) {
            const qsizetype got = read(chunk.data(), qsizetype(std::min<qint64>(chunk.size(), end - at)));
            if (got <= 0)
                return false;
            if (keep && !write(chunk.constData(), got))
                return false;
            at += got;
        }
        return true;
    };
    // The line break added to a last line without one.
    const auto addedBreak = [&](qint64 from, qint64 to) {
        return !edit.terminated && from <= edit.size && edit.size < to ? write(edit.lineBreak.constData(), edit.lineBreak.size())
                                                                       : true;
    };
    const qint64 keep = std::min(edit.keepUpTo, edit.size);
    if (!copyUpTo(keep, true) || !addedBreak(0, edit.keepUpTo) || !write(edit.insert.constData(), edit.insert.size()))
        return false;
    if (!copyUpTo(std::min(edit.resumeAt, edit.size), false) || !copyUpTo(edit.size, true))
        return false;
    if (!addedBreak(edit.resumeAt, edit.size + 1))
        return false;
    return read(chunk.data(), 1) == 0; // nothing added meanwhile
}
} // namespace

std::optional<QString> ProfileValue(const QByteArray& content, const QString& section, const QString& key)
{
    return ValueIn(FromBytes(content), section, key);
}

QByteArray ProfileWithValue(const QByteArray& content, const QString& section, const QString& key,
                            const QString& value)
{
    const std::optional<Edit> edit = EditFor(FromBytes(content), section, key, value);
    QByteArray edited;
    WriteEdited(FromBytes(content), *edit, [&edited](const char* data, qsizetype size) {
        edited.append(data, size);
        return true;
    });
    return edited;
}

std::optional<QString> ReadProfileString(const QString& path, const QString& section, const QString& key)
{
    const int fd = OpenRegularFile(path);
    if (fd < 0)
        return std::nullopt;
    std::optional<QString> value = ValueIn(FromFile(fd), section, key);
    ::close(fd);
    return value;
}

bool WriteProfileString(const QString& path, const QString& section, const QString& key, const QString& value)
{
    const QString target = QFileInfo(ReplacedFile(path)).absoluteFilePath();
    if (!MayReplace(target))
        return false;

    // The old file is read twice, for the edit and then for the copy, a chunk at a time:
    // a file of any size is rewritten in bounded memory.
    struct stat info {};
    const bool exists = ::lstat(QFile::encodeName(target).constData(), &info) == 0;
    if (!exists) {
        const QByteArray none;
        const std::optional<Edit> edit = EditFor(FromBytes(none), section, key, value);
        return ReplaceFileWith(target, edit->insert);
    }
    const int fd = OpenRegularFile(target);
    if (fd < 0)
        return false;
    const ReadChunk read = FromFile(fd);
    const std::optional<Edit> edit = EditFor(read, section, key, value);
    AtomicFile file(target);
    const bool written = edit && ::lseek(fd, 0, SEEK_SET) == 0
        && WriteEdited(read, *edit, [&file](const char* data, qsizetype size) { return file.Write(data, size); })
        && file.Commit();
    ::close(fd);
    return written;
}
