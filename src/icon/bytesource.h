// Where the icon reader takes a file's bytes from: bounded reads at an offset, each one
// checked. The file may change while it is read (cut short, replaced, on a share that
// drops); a read that comes up short is an ordinary error, never a crash.
#pragma once

#include <cstdint>
#include <span>

class ByteSource {
public:
    virtual ~ByteSource() = default;

    // The size the bytes had when the source was opened; later reads may still fail.
    virtual std::uint64_t Size() const = 0;

    // Fills out with the bytes from offset on; false unless every one of them was read.
    virtual bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const = 0;
};

// Bytes already in memory: the tests and the fuzzer.
class SpanSource final : public ByteSource {
public:
    explicit SpanSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const override;

private:
    std::span<const std::uint8_t> bytes_;
};

// A file read with pread(2), kept open for the source's lifetime.
class FileSource final : public ByteSource {
public:
    // Opens path (in the file system's encoding) read-only. Anything that is not a
    // regular file (a directory, a FIFO, a socket, a device) and a file that can't be
    // opened give an empty source that is not open; opening never blocks.
    explicit FileSource(const char* path);
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    // Whether path was opened: an empty regular file is open, a missing one is not.
    bool IsOpen() const { return fd_ >= 0; }
    std::uint64_t Size() const override { return size_; }
    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const override;

private:
    int fd_ = -1;
    std::uint64_t size_ = 0;
};
