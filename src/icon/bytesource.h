// Where the icon reader takes a file's bytes from: bounded reads at an offset, each one
// checked. The file may change while it is read (cut short, replaced, on a share that
// drops); a read that comes up short is an ordinary error, never a crash.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <type_traits>
#include <vector>

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
    // name in the open folder, the same way, except that a link there is not followed.
    FileSource(int folder, const char* name);
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    // Whether path was opened: an empty regular file is open, a missing one is not.
    bool IsOpen() const { return fd_ >= 0; }
    std::uint64_t Size() const override { return size_; }
    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const override;

private:
    void Take(int fd);

    int fd_ = -1;
    std::uint64_t size_ = 0;
};

// Where some bytes of a source lie; Length 0 when there are none.
struct Extent {
    std::uint64_t Offset = 0;
    std::uint64_t Length = 0;
};

// The largest piece read whole: far above any real icon image (a 256x256 32-bit DIB is
// 270 KB), group or animated cursor, low enough that a damaged size allocates little.
inline constexpr std::uint64_t kMaxResourceBytes = std::uint64_t{8} << 20;

// The bytes of extent, read whole: nothing when they don't all lie in the source, are
// more than kMaxResourceBytes, or can't be read (the file was cut short since).
std::optional<std::vector<std::uint8_t>> Load(const ByteSource& source, Extent extent);

// One fixed-layout record (a header as the file stores it) at offset.
template <typename T>
std::optional<T> ReadRecord(const ByteSource& source, std::uint64_t offset)
{
    static_assert(std::is_trivially_copyable_v<T>);
    T value;
    if (!source.ReadAt(offset, std::span(reinterpret_cast<std::uint8_t*>(&value), sizeof(T))))
        return std::nullopt;
    return value;
}

template <typename T>
std::optional<T> ReadRecord(std::span<const std::uint8_t> bytes, std::uint64_t offset)
{
    return ReadRecord<T>(SpanSource(bytes), offset);
}

// count records from offset, as many of them as lie in the source, in one read; none
// when that read fails.
template <typename T>
std::vector<T> ReadRecords(const ByteSource& source, std::uint64_t offset, std::uint64_t count)
{
    static_assert(std::is_trivially_copyable_v<T>);
    const std::uint64_t room = offset <= source.Size() ? (source.Size() - offset) / sizeof(T) : 0;
    std::vector<T> records(static_cast<std::size_t>(std::min(count, room)));
    const std::span bytes(reinterpret_cast<std::uint8_t*>(records.data()), records.size() * sizeof(T));
    if (!source.ReadAt(offset, bytes))
        records.clear();
    return records;
}
