// Profile (INI) files as the program's settings need them: section and key names
// compared without regard to case, values taken literally (backslashes are plain
// characters), surrounding blanks trimmed, every other line of the file kept as it is.
// Each call opens and closes the file, and reads it a chunk at a time, so a file of any
// size is read and rewritten in bounded memory.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The longest value a read returns, in characters.
inline constexpr int kProfileValueMax = 2047;

// The value of key in section, or std::nullopt when the file, the section or the key
// is absent. Anything but a regular file (a directory, a FIFO, a device) and an unreadable
// file count as absent, and none is opened in a way that could wait.
std::optional<QString> ReadProfileString(const QString& path, const QString& section, const QString& key);

// Writes key=value into section, creating the file, the section and the key as needed.
// False when the write is refused: a read-only file or folder, a path that is no regular
// file (a directory, a FIFO), a missing folder, a full disk. A refused or interrupted write leaves the
// old file as it was, byte for byte.
bool WriteProfileString(const QString& path, const QString& section, const QString& key, const QString& value);

// The two operations on a file's bytes, for the functions above and for the tests.
std::optional<QString> ProfileValue(const QByteArray& content, const QString& section, const QString& key);
QByteArray ProfileWithValue(const QByteArray& content, const QString& section, const QString& key,
                            const QString& value);
