#include "engine/ReadWindow.h"

#include <cstring>

namespace pelorin {

ReadWindow::ReadWindow(const ScanContext& context) : ReadWindow(context, std::make_unique<uint8_t[]>(kCapacity)) {}

ReadWindow::ReadWindow(const ScanContext& context, std::unique_ptr<uint8_t[]> buffer)
    : ByteView(buffer.get(), kCapacity), reader(context), data_(std::move(buffer)) {}

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

}  // namespace pelorin
