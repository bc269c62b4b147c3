#include "engine/Source.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace pelorin {

bool isSourceGone(int error) {
    return error == ENODEV || error == ENXIO || error == EBADF || error == ENOMEDIUM || error == ESTALE;
}

SourceRead readPastBadSectors(Source& source, uint64_t offset, std::span<uint8_t> buffer, uint32_t sectorSize,
                              uint64_t& unreadable) {
    const SourceRead whole = source.read(offset, buffer);
    if (!whole.failed() || isSourceGone(whole.error)) return whole;
    if (sectorSize == 0) sectorSize = 512;
    const uint64_t end = offset + buffer.size();
    // The bytes before the failing sector came through; from it on, sector by sector.
    uint64_t position = std::max(offset, (offset + whole.bytes) / sectorSize * sectorSize);
    while (position < end) {
        const uint64_t next = std::min(end, (position / sectorSize + 1) * sectorSize);
        const std::span<uint8_t> part = buffer.subspan(position - offset, next - position);
        const SourceRead got = source.read(position, part);
        if (got.failed()) {
            if (isSourceGone(got.error)) return {static_cast<std::size_t>(position - offset), got.error};
            std::memset(part.data(), 0, part.size());
            ++unreadable;
        } else if (got.bytes < part.size()) {
            return {static_cast<std::size_t>(position - offset) + got.bytes, 0};  // the end of the source
        }
        position = next;
    }
    return {buffer.size(), 0};
}

std::unique_ptr<FileSource> FileSource::open(const std::string& path, uint32_t sectorSize) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    return adopt(fd, path, sectorSize);
}

std::unique_ptr<FileSource> FileSource::adopt(int fd, std::string name, uint32_t sectorSize) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return nullptr;
    }
    const bool blockDevice = S_ISBLK(st.st_mode);
    uint64_t size = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
    if (blockDevice) {
        if (::ioctl(fd, BLKGETSIZE64, &size) != 0) size = 0;
        int logicalBlock = 0;
        if (sectorSize == 0 && ::ioctl(fd, BLKSSZGET, &logicalBlock) == 0 && logicalBlock > 0)
            sectorSize = static_cast<uint32_t>(logicalBlock);
    }
    return std::unique_ptr<FileSource>(new FileSource(fd, std::move(name), size, sectorSize, blockDevice));
}

FileSource::~FileSource() { ::close(fd_); }

SourceRead FileSource::read(uint64_t offset, std::span<uint8_t> buffer) {
    SourceRead result;
    while (result.bytes < buffer.size()) {
        const ssize_t n = ::pread(fd_, buffer.data() + result.bytes, buffer.size() - result.bytes,
                                  static_cast<off_t>(offset + result.bytes));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            result.error = errno;
            // A removed disk may answer EIO rather than ENODEV; its size has
            // dropped to nothing then.
            uint64_t size = 0;
            if (result.error == EIO && blockDevice_ && (::ioctl(fd_, BLKGETSIZE64, &size) != 0 || size == 0))
                result.error = ENODEV;
            break;
        }
        if (n == 0) break;
        result.bytes += static_cast<std::size_t>(n);
    }
    return result;
}

SourceRead MemorySource::read(uint64_t offset, std::span<uint8_t> buffer) {
    if (offset >= bytes_.size()) return {};
    const std::size_t n = std::min<std::size_t>(buffer.size(), bytes_.size() - static_cast<std::size_t>(offset));
    std::memcpy(buffer.data(), bytes_.data() + offset, n);
    return {n, 0};
}

}  // namespace pelorin
