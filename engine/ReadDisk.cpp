#include "engine/ReadDisk.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace pelorin {

long long preadFully(int fd, uint64_t offset, std::span<uint8_t> buffer) {
    std::size_t done = 0;
    while (done < buffer.size()) {
        ssize_t n = ::pread(fd, buffer.data() + done, buffer.size() - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return done == 0 ? -1 : static_cast<long long>(done);
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<long long>(done);
}

long long readAt(const std::string& path, uint64_t offset, std::span<uint8_t> buffer) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    long long n = preadFully(fd, offset, buffer);
    ::close(fd);
    return n;
}

ReadDisk::~ReadDisk() {
    if (fd >= 0) ::close(fd);
}

bool ReadDisk::reopen() {
    if (fd >= 0) ::close(fd);
    openPath = ctx.cDriveMountedPath;
    fd = ::open(openPath.c_str(), O_RDONLY | O_CLOEXEC);
    return fd >= 0;
}

std::size_t ReadDisk::windowLength(std::size_t capacity) const {
    return std::min<std::size_t>(capacity, std::size_t{65536} + ctx.u32BytesInSector);
}

long long ReadDisk::readBytes(std::size_t skip, uint64_t sector, std::span<uint8_t> buffer) {
    const uint64_t offset = sector * ctx.u32BytesInSector + skip;
    long long n = -1;
    if (fd >= 0 && openPath == ctx.cDriveMountedPath) n = preadFully(fd, offset, buffer);
    if (n < 0) {
        if (!reopen()) return -1;
        n = preadFully(fd, offset, buffer);
    }
    return n;
}

bool ReadDisk::readSector(uint64_t sector, uint32_t /*size*/, std::span<uint8_t> buffer) {
    return readBytes(0, sector, buffer.first(windowLength(buffer.size()))) >= 0;
}

}  // namespace pelorin
