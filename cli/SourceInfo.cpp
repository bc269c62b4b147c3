#include "cli/SourceInfo.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace pelorin::cli {

bool isValidSectorSize(uint32_t size) { return size == 512 || size == 1024 || size == 2048 || size == 4096; }

namespace {

SourceCheck failure(std::string message) { return {std::nullopt, std::move(message)}; }

std::string openError(const std::string& path, int error) {
    std::string message = "cannot open " + path + ": " + std::strerror(error);
    if (error == EACCES || error == EPERM)
        message += " (reading a raw device needs root or membership of the 'disk' group)";
    return message;
}

}  // namespace

SourceCheck inspectSource(const std::string& path, uint32_t requestedSectorSize) {
    if (requestedSectorSize != 0 && !isValidSectorSize(requestedSectorSize))
        return failure("bad sector size " + std::to_string(requestedSectorSize) + ": use 512, 1024, 2048 or 4096");

    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return failure(openError(path, errno));
    if (S_ISDIR(st.st_mode)) return failure(path + " is a directory, not a disk image or block device");
    if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode))
        return failure(path + " is neither a disk image nor a block device");

    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return failure(openError(path, errno));

    SourceInfo info;
    info.path = path;
    info.blockDevice = S_ISBLK(st.st_mode);
    if (info.blockDevice) {
        uint64_t bytes = 0;
        int logicalBlock = 0;
        if (::ioctl(fd, BLKGETSIZE64, &bytes) != 0) bytes = 0;
        if (::ioctl(fd, BLKSSZGET, &logicalBlock) != 0 || logicalBlock <= 0) logicalBlock = 512;
        info.sizeInBytes = bytes;
        info.sectorSize = static_cast<uint32_t>(logicalBlock);
        if (requestedSectorSize != 0 && requestedSectorSize != info.sectorSize) {
            ::close(fd);
            return failure("--sector-size is for disk images; " + path + " has " + std::to_string(info.sectorSize) +
                           "-byte sectors");
        }
        if (!isValidSectorSize(info.sectorSize)) {
            ::close(fd);
            return failure(path + " has " + std::to_string(info.sectorSize) + "-byte sectors, which Pelorin cannot read");
        }
    } else {
        info.sizeInBytes = static_cast<uint64_t>(st.st_size);
        info.sectorSize = requestedSectorSize != 0 ? requestedSectorSize : 512;
    }
    // A source we can open but not read (a directory on some systems, a broken device) is refused here too.
    char byte;
    const ssize_t got = ::pread(fd, &byte, 1, 0);
    const int readError = errno;
    ::close(fd);
    if (info.sizeInBytes == 0) return failure(path + " is empty");
    if (got < 0) return failure("cannot read " + path + ": " + std::strerror(readError));
    info.sectorCount = info.sizeInBytes / info.sectorSize;
    if (info.sectorCount == 0)
        return failure(path + " is smaller than one " + std::to_string(info.sectorSize) + "-byte sector");
    return {info, {}};
}

}  // namespace pelorin::cli
