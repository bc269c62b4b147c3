#include "engine/ReadWindow.h"

#include <cstring>

namespace pelorin {

ReadWindow::ReadWindow(const ScanContext& context) : reader(context), data_(new uint8_t[kCapacity]()) {}

bool ReadWindow::read(uint64_t sector) {
    sector_ = sector;
    // Clear only what the last read left behind; what this read fills is overwritten anyway.
    if (!reader.readSector(sector, kSpan, {data_.get(), kCapacity})) {
        std::memset(data_.get(), 0, filled_);
        filled_ = 0;
        return false;
    }
    const std::size_t got = reader.lastReadLength();
    if (got < filled_) std::memset(data_.get() + got, 0, filled_ - got);
    filled_ = got;
    return true;
}

bool ReadWindow::matches(uint64_t pos, const char* text, std::size_t length) const {
    if (pos > kCapacity || length > kCapacity - pos) return false;
    return std::memcmp(data_.get() + pos, text, length) == 0;
}

}  // namespace pelorin
