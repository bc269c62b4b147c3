#pragma once
// Positioned, read-only reads of the scanned source.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "engine/ScanContext.h"

namespace pelorin {

// Reads up to buffer.size() bytes at a byte offset: opens the path read-only,
// reads with pread until the buffer is full, the source ends or a read fails,
// and closes it again. Returns the byte count, or -1 when the path cannot be
// opened or the first read fails.
long long readAt(const std::string& path, uint64_t offset, std::span<uint8_t> buffer);

// The same on an open descriptor.
long long preadFully(int fd, uint64_t offset, std::span<uint8_t> buffer);

// The recognisers' reader: one read of a sector plus the 65,536 bytes after
// its start, from the scan's source. It keeps its descriptor between reads,
// and a failed read opens the path afresh and tries once more, so a source
// that vanished or changed gives what a fresh open, read and close would.
class ReadDisk {
public:
    explicit ReadDisk(const ScanContext& context) : ctx(context) {}
    ~ReadDisk();
    ReadDisk(const ReadDisk&) = delete;
    ReadDisk& operator=(const ReadDisk&) = delete;

    // Reads sector size + 65,536 bytes (or what the buffer holds, if less)
    // starting at the sector. True unless the open or the read failed; a short
    // read at the end of the source is a success and leaves the rest of the
    // buffer as it was. `size` is accepted for the callers' sake and not used.
    bool readSector(uint64_t sector, uint32_t size, std::span<uint8_t> buffer);

    // What readSector delivers at most: sector size + 65,536, within `capacity`.
    std::size_t windowLength(std::size_t capacity) const;
    // Part of such a read: the bytes from `skip` on of the read at the sector.
    // The count read, or -1 when the source cannot be opened or read.
    long long readBytes(std::size_t skip, uint64_t sector, std::span<uint8_t> buffer);

private:
    bool reopen();

    const ScanContext& ctx;
    int fd = -1;
    std::string openPath;  // the path fd was opened for
};

}  // namespace pelorin
