#include "cli/SourceInfo.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "access/TerminalPasswordAgent.h"
#include "access/UdisksAccess.h"
#include "app/Texts.h"
#include "engine/OpenSource.h"

namespace pelorin::cli {

bool isValidSectorSize(uint32_t size) { return size == 512 || size == 1024 || size == 2048 || size == 4096; }

std::string badSectorSizeMessage(uint32_t size) {
    return "bad sector size " + std::to_string(size) + ": use 512, 1024, 2048 or 4096";
}

namespace {

SourceCheck failure(std::string message) { return {std::nullopt, std::move(message), nullptr}; }

}  // namespace

SourceCheck inspectSource(const std::string& path, uint32_t requestedSectorSize) {
    if (requestedSectorSize != 0 && !isValidSectorSize(requestedSectorSize))
        return failure(badSectorSizeMessage(requestedSectorSize));

    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return failure(texts::sourceOpenFailure(path, {SourceOpenFailure::System, errno, {}}));
    if (S_ISDIR(st.st_mode)) return failure(path + " is a directory, not a disk image or block device");
    if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode))
        return failure(path + " is neither a disk image nor a block device");

    // Opened once here; the scan, its first sectors and saving all read through it.
    const bool blockDevice = S_ISBLK(st.st_mode);
    SourceOpenFailure why;
    auto source = openSource(path, blockDevice ? 0 : (requestedSectorSize != 0 ? requestedSectorSize : 512), &why);
    if (!source && blockDevice && why.kind == SourceOpenFailure::System) {
        // A device this user may not open: UDisks2 may hand it over, once polkit agrees.
        UdisksAccess access;
        if (access.mayHelpWith(why.error)) {
            // Asks on the terminal when no desktop agent answers.
            std::optional<TerminalPasswordAgent> agent;
            access.setBeforeAuthorisation([&agent] { agent.emplace(); });
            DeviceAccessResult handed = access.openForReading(path);
            if (handed.outcome == DeviceAccessResult::Outcome::Opened)
                source = FileSource::adopt(handed.fd.release(), path);
            else if (handed.outcome != DeviceAccessResult::Outcome::NoSystemBus &&
                     handed.outcome != DeviceAccessResult::Outcome::NoService)
                return failure(texts::deviceAccessFailure(path, handed));
        }
    }
    if (!source) return failure(texts::sourceOpenFailure(path, why));

    SourceInfo info;
    info.path = path;
    info.blockDevice = blockDevice;
    info.sizeInBytes = source->size();
    info.sectorSize = source->sectorSize();
    if (blockDevice) {
        if (requestedSectorSize != 0 && requestedSectorSize != info.sectorSize)
            return failure("--sector-size is for disk images; " + path + " has " + std::to_string(info.sectorSize) +
                           "-byte sectors");
        if (!isValidSectorSize(info.sectorSize))
            return failure(path + " has " + std::to_string(info.sectorSize) + "-byte sectors, which Pelorin cannot read");
    }
    // A source we can open but not read (a directory on some systems, a broken device) is refused here too.
    uint8_t byte;
    const SourceRead got = source->read(0, {&byte, 1});
    if (info.sizeInBytes == 0) return failure(path + " is empty");
    if (got.failed()) return failure("cannot read " + path + ": " + std::strerror(got.error));
    info.sectorCount = info.sizeInBytes / info.sectorSize;
    if (info.sectorCount == 0)
        return failure(path + " is smaller than one " + std::to_string(info.sectorSize) + "-byte sector");
    return {info, {}, std::move(source)};
}

}  // namespace pelorin::cli
