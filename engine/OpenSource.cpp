#include "engine/OpenSource.h"

#include <cerrno>
#include <cstring>

#include "engine/EwfSource.h"
#include "engine/SplitSource.h"

namespace pelorin {
namespace {

std::string openError(const std::string& path, int error) {
    std::string message = "cannot open " + path + ": " + std::strerror(error);
    if (error == EACCES || error == EPERM)
        message += " (reading a raw device needs root or membership of the 'disk' group)";
    return message;
}

}  // namespace

std::unique_ptr<Source> openSource(const std::string& path, uint32_t sectorSize, std::string* why) {
    std::string reason;
    std::unique_ptr<Source> source;
    if (EwfSource::hasSignature(path)) {
        source = EwfSource::open(path, sectorSize, reason);
        if (!source) errno = EINVAL;
    } else if (const auto names = SplitSource::segmentNames(path); names.size() > 1) {
        source = SplitSource::open(names, sectorSize);
        if (!source) reason = openError(path, errno);
    } else {
        source = FileSource::open(path, sectorSize);
        if (!source) reason = openError(path, errno);
    }
    if (!source && why) *why = reason;
    return source;
}

}  // namespace pelorin
