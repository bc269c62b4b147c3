#pragma once
// Bytes of a file by their offset from its first byte, through a read window
// that follows the walk: the window is read again, at the sector holding the
// offset, only when the offset leaves its first 64 KiB. The sector the window
// holds beyond its 64 KiB keeps a value that starts near the end whole.

#include <cstdint>

#include "engine/ReadWindow.h"

namespace pelorin {

class FileCursor {
public:
    FileCursor(ReadWindow& window, uint64_t fileSector, uint32_t sectorSize)
        : window_(window), fileSector_(fileSector), sectorSize_(sectorSize) {}

    // Makes the bytes from the offset on readable; false when a read fails.
    bool reach(uint64_t offset) {
        if (loaded_ && offset >= windowStart_ && offset - windowStart_ < ReadWindow::kSpan) return true;
        return readAt(offset);
    }
    // Reads the window at the sector holding the offset, whatever it holds now.
    bool readAt(uint64_t offset) {
        windowStart_ = offset / sectorSize_ * sectorSize_;
        loaded_ = window_.read(fileSector_ + offset / sectorSize_);
        return loaded_;
    }
    // The window was read at the file's first sector already.
    void holdsFileStart() {
        windowStart_ = 0;
        loaded_ = true;
    }

    uint64_t fileSector() const { return fileSector_; }

    // Reads by file offset from the window as it stands (0 outside it).
    uint8_t byte(uint64_t offset) const { return window_.byte(offset - windowStart_); }
    uint32_t be16(uint64_t offset) const { return window_.be16(offset - windowStart_); }
    uint32_t be32(uint64_t offset) const { return window_.be32(offset - windowStart_); }
    uint32_t le32(uint64_t offset) const { return window_.le32(offset - windowStart_); }
    uint64_t be64(uint64_t offset) const { return window_.be64(offset - windowStart_); }

private:
    ReadWindow& window_;
    uint64_t fileSector_;
    uint32_t sectorSize_;
    uint64_t windowStart_ = 0;  // file offset of the window's first byte
    bool loaded_ = false;
};

}  // namespace pelorin
