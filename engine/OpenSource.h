#pragma once
// Opens whatever a path names as a source: an Expert Witness image (by its
// signature), the first piece of a split raw image (by its name, when the
// pieces after it are there), or else a block device or plain image file.

#include <memory>
#include <string>

#include "engine/Source.h"

namespace pelorin {

// `sectorSize` as FileSource::open takes it. Null when the source cannot be
// opened; `why`, when given, then says why.
std::unique_ptr<Source> openSource(const std::string& path, uint32_t sectorSize = 0,
                                   SourceOpenFailure* why = nullptr);

}  // namespace pelorin
