// Writing files by name into one folder, through the folder's descriptor: a link found
// in the folder is replaced, never followed, and a folder renamed or swapped while a
// batch runs can't redirect what is written. Each file is written under a temporary name
// in a hidden folder of the batch's own inside the folder and renamed into place, so a
// reader never sees half a file; that folder is locked (flock) while the writer lives,
// and one whose lock is free, which a killed batch or window left, is removed by the
// next writer into the folder;
// the batch is made durable once, at its end (Sync), which costs one sync of the file
// system rather than one per file.
#pragma once

#include <QByteArray>

#include <cstdint>

#include <sys/types.h>

class FolderWriter {
public:
    enum class Targets {
        // A user's folder (Save, --extract): a name held by a read-only file, by a
        // folder, a FIFO, a socket or a device, or in a folder without a write bit, is
        // passed over, even for root; a replaced file keeps its permissions, a link gets
        // a file of its own with the umask's.
        UserFiles,
        // The program's own folder (the temporary bitmaps, the paint hand-off): whatever
        // holds the name, but a folder, is replaced.
        Scratch,
    };
    enum class Result { Written, PassedOver, Failed };

    // folder as the kernel takes it; a link naming the folder itself is followed, since
    // that is the folder the user or the program chose.
    FolderWriter(const QByteArray& folder, Targets targets);
    ~FolderWriter();
    FolderWriter(const FolderWriter&) = delete;
    FolderWriter& operator=(const FolderWriter&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    // Whether the folder takes files at all: a user's folder without a write bit doesn't.
    bool IsWritable() const { return fd_ >= 0 && (writable_ || targets_ == Targets::Scratch); }
    // Why the last Write or Copy that was not Written was not, as an errno value.
    int Error() const { return error_; }
    const QByteArray& Folder() const { return folder_; }

    // name (no separator) replaced whole with bytes.
    Result Write(const QByteArray& name, const QByteArray& bytes);
    // name replaced with a copy of the regular file source; a source that is a link, a
    // FIFO or a device, or can't be read, fails without touching name.
    Result Copy(const QByteArray& name, const QByteArray& source);
    // Makes everything written so far durable (syncfs); false when the file system
    // reports an error.
    bool Sync();

private:
    // The mode the file written to name gets; 0, or why name must be passed over (an
    // errno value).
    int TargetMode(const QByteArray& name, mode_t& mode) const;
    template <typename Fill> Result WriteWith(const QByteArray& name, Fill fill);
    QByteArray TemporaryName(const QByteArray& name);
    int CreateTemporary(const QByteArray& name, mode_t mode, QByteArray& temporary);
    int StagingFolder();

    QByteArray folder_;
    Targets targets_;
    int fd_ = -1;
    bool writable_ = false;
    int error_ = 0;
    mode_t newFileMode_; // read once a batch: reading the umask is not free
    std::uint64_t seed_; // temporary names: unguessable, and never two alike in one batch
    std::uint64_t made_ = 0;
    int stageFd_ = -1;
    bool stageTried_ = false;
    QByteArray stageName_;
};
