#include "platform/filenames.h"

#include <iconv.h>

#include <optional>

namespace {
QString Escaped(unsigned char byte)
{
    return QStringLiteral("\\x") + QString::number(byte, 16).toUpper().rightJustified(2, QLatin1Char('0'));
}

// The length of the valid UTF-8 sequence at bytes[i], or 0 when there is none.
int Utf8SequenceAt(const QByteArray& bytes, qsizetype i)
{
    const auto at = [&](qsizetype k) { return k < bytes.size() ? static_cast<unsigned char>(bytes[k]) : 0u; };
    const unsigned lead = at(i);
    const auto continuation = [](unsigned b, unsigned low = 0x80, unsigned high = 0xBF) { return b >= low && b <= high; };
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return continuation(at(i + 1)) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        // No overlong forms (E0 80..9F) and no surrogates (ED A0..BF).
        const unsigned low = lead == 0xE0 ? 0xA0 : 0x80;
        const unsigned high = lead == 0xED ? 0x9F : 0xBF;
        return continuation(at(i + 1), low, high) && continuation(at(i + 2)) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const unsigned low = lead == 0xF0 ? 0x90 : 0x80;
        const unsigned high = lead == 0xF4 ? 0x8F : 0xBF;
        return continuation(at(i + 1), low, high) && continuation(at(i + 2)) && continuation(at(i + 3)) ? 4 : 0;
    }
    return 0;
}

std::optional<QString> FromShiftJis(const QByteArray& bytes)
{
    const iconv_t converter = ::iconv_open("UTF-8", "CP932");
    if (converter == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    QByteArray in = bytes;
    // Every character of code page 932 lies in the Basic Multilingual Plane, so takes at
    // most three bytes of UTF-8, and at least one byte of Shift_JIS: a half-width katakana
    // takes one byte and three of UTF-8.
    QByteArray out(bytes.size() * 3, '\0');
    char* inAt = in.data();
    char* outAt = out.data();
    std::size_t inLeft = static_cast<std::size_t>(in.size());
    std::size_t outLeft = static_cast<std::size_t>(out.size());
    const bool whole = ::iconv(converter, &inAt, &inLeft, &outAt, &outLeft) != static_cast<std::size_t>(-1) && inLeft == 0;
    ::iconv_close(converter);
    if (!whole)
        return std::nullopt;
    out.truncate(outAt - out.data());
    return QString::fromUtf8(out);
}
} // namespace

QString DisplayName(const QByteArray& bytes)
{
    qsizetype i = 0;
    while (i < bytes.size()) {
        const int length = Utf8SequenceAt(bytes, i);
        if (length == 0)
            break;
        i += length;
    }
    if (i == bytes.size())
        return QString::fromUtf8(bytes);
    if (std::optional<QString> text = FromShiftJis(bytes))
        return *text;
    QString text;
    qsizetype run = 0; // where the current valid run began
    for (i = 0; i < bytes.size();) {
        const int length = Utf8SequenceAt(bytes, i);
        if (length > 0) {
            i += length;
            continue;
        }
        text += QString::fromUtf8(bytes.constData() + run, i - run) + Escaped(static_cast<unsigned char>(bytes[i]));
        run = ++i;
    }
    return text + QString::fromUtf8(bytes.constData() + run, bytes.size() - run);
}

namespace {
// What reorders or breaks the text around it while showing nothing itself: the marks
// and embeddings, overrides and isolates of bidirectional text, and the line and
// paragraph separators.
bool IsLayoutControl(char16_t c)
{
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069)
        || c == 0x2028 || c == 0x2029;
}
} // namespace

QString WithoutControls(const QString& text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control)
            shown += Escaped(static_cast<unsigned char>(c.unicode()));
        else if (IsLayoutControl(c.unicode()))
            shown += QStringLiteral("\\u") + QString::number(c.unicode(), 16).toUpper().rightJustified(4, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}
