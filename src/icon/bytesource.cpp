#include "icon/bytesource.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
bool Within(std::uint64_t size, std::uint64_t offset, std::uint64_t length)
{
    return offset <= size && length <= size - offset;
}
} // namespace

bool SpanSource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const
{
    if (!Within(bytes_.size(), offset, out.size()))
        return false;
    if (!out.empty())
        std::memcpy(out.data(), bytes_.data() + offset, out.size());
    return true;
}

std::optional<std::vector<std::uint8_t>> Load(const ByteSource& source, Extent extent)
{
    if (extent.Length == 0 || extent.Length > kMaxResourceBytes || !Within(source.Size(), extent.Offset, extent.Length))
        return std::nullopt;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(extent.Length));
    if (!source.ReadAt(extent.Offset, bytes))
        return std::nullopt;
    return bytes;
}

FileSource::FileSource(const char* path)
{
    // O_NONBLOCK: a FIFO or a device must not stall the scan; fstat then tells what we hold.
    Take(::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
}

FileSource::FileSource(int folder, const char* name)
{
    Take(::openat(folder, name, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW));
}

void FileSource::Take(int fd)
{
    if (fd < 0)
        return;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0) {
        ::close(fd);
        return;
    }
    fd_ = fd;
    size_ = static_cast<std::uint64_t>(info.st_size);
}

FileSource::~FileSource()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool FileSource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) const
{
    // Never past the size seen at opening: a file that grows meanwhile gives nothing new.
    if (fd_ < 0 || !Within(size_, offset, out.size()))
        return false;
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false; // cut short or unreadable
        done += static_cast<std::size_t>(n);
    }
    return true;
}
