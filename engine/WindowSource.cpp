#include "engine/WindowSource.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "engine/ReadDisk.h"

namespace pelorin {

DeviceWindowSource::DeviceWindowSource(std::string path_)
    : path(std::move(path_)), buffer(std::make_unique<uint8_t[]>(kWindowSize)) {}

DeviceWindowSource::~DeviceWindowSource() {
    if (fd >= 0) ::close(fd);
}

bool DeviceWindowSource::reopen() {
    if (fd >= 0) ::close(fd);
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    return fd >= 0;
}

int DeviceWindowSource::fill(uint64_t sector, uint32_t sectorSize, uint8_t* window) {
    const uint64_t offset = sector * sectorSize;
    long long n = -1;
    if (fd >= 0) n = preadFully(fd, offset, {window, kWindowSize});
    if (n <= 0) {
        // A fresh open tells a vanished device from a stretch that cannot be read.
        if (!reopen()) {
            std::memset(window, 0, kWindowSize);
            return -1;
        }
        n = preadFully(fd, offset, {window, kWindowSize});
    }
    if (n <= 0) {
        std::memset(window, 0, kWindowSize);
        return 0;
    }
    if (static_cast<std::size_t>(n) < kWindowSize) std::memset(window + n, 0, kWindowSize - static_cast<std::size_t>(n));
    return 1;
}

int DeviceWindowSource::readDriveSectors(uint64_t sector, uint32_t sectorSize, const uint8_t*& window) {
    window = buffer.get();
    return fill(sector, sectorSize, buffer.get());
}

}  // namespace pelorin
