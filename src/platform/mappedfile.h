// A file's bytes, read-only and mapped rather than copied, so a large library costs only
// the pages that are actually looked at.
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <span>

class MappedFile {
public:
    // Opens path read-only. Anything that is not a regular file (a directory, a FIFO,
    // a socket, a device), a file that can't be opened and an empty file all give an
    // empty view; opening never blocks.
    explicit MappedFile(const QString& path);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    std::span<const std::uint8_t> Bytes() const { return {data_, size_}; }

private:
    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};
