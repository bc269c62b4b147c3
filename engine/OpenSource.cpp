#include "engine/OpenSource.h"

#include <cerrno>

#include "engine/EwfSource.h"
#include "engine/SplitSource.h"

namespace pelorin {
std::unique_ptr<Source> openSource(const std::string& path, uint32_t sectorSize, SourceOpenFailure* why) {
    SourceOpenFailure failure;
    std::unique_ptr<Source> source;
    if (EwfSource::hasSignature(path)) {
        source = EwfSource::open(path, sectorSize, failure);
        if (!source) errno = EINVAL;
    } else if (const auto names = SplitSource::segmentNames(path); names.size() > 1) {
        source = SplitSource::open(names, sectorSize);
        if (!source) failure.error = errno;
    } else {
        source = FileSource::open(path, sectorSize);
        if (!source) failure.error = errno;
    }
    if (!source && why) *why = std::move(failure);
    return source;
}

}  // namespace pelorin
