// The one way a single user's file is written (the settings, a saved icon or image, page
// files and PDFs): replaced whole or not at all, by the rules every such write follows:
// which files may be replaced and what permissions the result gets. Batches of numbered
// files in one folder go through FolderWriter instead.
#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

// The file that a write to path replaces: a symbolic link's target, else path itself.
// People keep files such as their settings as links into a repository of their own, so a
// link is followed, but by the kernel's rule for links in shared folders: in a sticky
// folder that anyone may write (/tmp), only a link owned by the user or by the folder's
// owner. Empty for a link that may not be followed.
QString ReplacedFile(const QString& path);

// Whether path carries a write permission bit for anyone. Judged by the bits, not by who
// asks: a read-only file stays read-only even for an administrator, as it does on the
// desktop we mimic.
bool HasWriteBit(const QString& path);

// Whether a write may replace path (already resolved by ReplacedFile): its folder exists
// with a write bit, and path is either absent or a regular file with a write bit.
bool MayReplace(const QString& path);

// Writes beside the target under a temporary name and renames over the target on
// Commit(), so a full disk, an error or a crash leaves either the old file or the new
// one, never a cut one. Without a successful Commit() the temporary file is removed.
// The new file keeps the permission bits of the one it replaces; a file where there was
// none gets what the umask leaves of read and write for everyone, as any program's.
class AtomicFile {
public:
    explicit AtomicFile(const QString& target);
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

// Replaces path (a symbolic link's target, as ReplacedFile allows) with bytes through an AtomicFile, when
// MayReplace allows it; false, and the file as it was, when it doesn't or the write fails.
bool ReplaceFileWith(const QString& path, const QByteArray& bytes);
// The same with what source holds from where it is to its end, read a piece at a time.
bool ReplaceFileFrom(const QString& path, QIODevice& source);
