// Writing a file so that it is replaced whole or not at all.
#pragma once

#include <QByteArray>
#include <QString>

#include <sys/types.h>

// Writes beside the target under a temporary name and renames over the target on
// Commit(), so a full disk, an error or a crash leaves either the old file or the new
// one, never a cut one. Without a successful Commit() the temporary file is removed.
class AtomicFile {
public:
    // mode: the permission bits the new file gets.
    AtomicFile(const QString& target, mode_t mode);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    bool Write(const char* data, qint64 size);
    bool Write(const QByteArray& bytes) { return Write(bytes.constData(), bytes.size()); }
    // Flushes to disk and renames into place; false when anything along the way failed.
    bool Commit();

private:
    QByteArray target_;
    QByteArray temporary_;
    int fd_ = -1;
    bool ok_ = false;
};
