#pragma once
// The controller's own reads of the source: its first five sectors at the
// start of a scan, and the sectors of a file being saved.

#include <cstdint>
#include <span>
#include <string>

#include "engine/Prompts.h"
#include "engine/Source.h"

namespace pelorin {

// Reads 5 × sectorSize bytes (or what the buffer holds, if less) from byte 0
// of the source. When nothing can be read it gives notice that the first
// sectors cannot be read and returns false; a read of fewer bytes is a success.
bool readSector(Source& source, uint32_t sectorSize, std::span<uint8_t> buffer, Notices& notices);
// The same for a path, opened for this one read (a drive being matched
// against a scan-info file); a path that cannot be opened gives the notice.
bool readSector(const std::string& path, uint32_t sectorSize, std::span<uint8_t> buffer, Notices& notices);

// Reads count sectors from the first sector of the source into the buffer
// (which holds at least count × sectorSize bytes). The end of the source
// ends the read early and is a success; a read error is not, however far the
// read got: it gives notice that the source cannot be read for saving and
// returns false. Returns the number of bytes read through `bytesRead`.
bool readSaveSector(Source& source, uint32_t sectorSize, uint64_t firstSector, uint32_t count,
                    std::span<uint8_t> buffer, Notices& notices, std::size_t* bytesRead = nullptr);

}  // namespace pelorin
