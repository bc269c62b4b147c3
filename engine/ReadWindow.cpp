#include "engine/ReadWindow.h"

#include <algorithm>
#include <cstring>

#include "engine/Source.h"

namespace pelorin {
namespace {

constexpr std::size_t kFirstPart = 16384;
constexpr std::size_t kPage = 4096;

}  // namespace

ReadWindow::ReadWindow(const ScanContext& context) : ReadWindow(context, std::make_unique<uint8_t[]>(kCapacity)) {}

ReadWindow::ReadWindow(const ScanContext& context, std::unique_ptr<uint8_t[]> buffer)
    : ByteView(buffer.get(), 0), ctx(context), buffer_(std::move(buffer)) {}

long long ReadWindow::readBytes(std::size_t skip, uint64_t sector, std::span<uint8_t> buffer) const {
    if (!ctx.source) return -1;
    // A bad sector reads as zeros, not as the end of the window; a source that
    // has gone ends it.
    uint64_t unreadable = 0;
    const SourceRead got = readPastBadSectors(*ctx.source, sector * ctx.sectorSize + skip, buffer, ctx.sectorSize,
                                              unreadable);
    if (got.bytes == 0 && got.failed()) return -1;
    return static_cast<long long>(got.bytes);
}

bool ReadWindow::read(uint64_t sector) {
    sector_ = sector;
    span_ = std::min<std::size_t>(kCapacity, std::size_t{kSpan} + ctx.sectorSize);
    const std::size_t first = std::min(kFirstPart, span_);
    const long long got = readBytes(0, sector, {buffer_.get(), first});
    if (got < 0) {
        std::memset(buffer_.get(), 0, span_);
        size_ = span_;
        return false;
    }
    size_ = static_cast<std::size_t>(got);
    if (size_ < first) {  // the source ends inside this part
        std::memset(buffer_.get() + size_, 0, span_ - size_);
        size_ = span_;
    }
    return true;
}

bool ReadWindow::extendTo(uint64_t end) const {
    if (end == 0 || end > span_) return false;
    // Grow in pages, at least doubling, so a walk through the window costs few reads.
    const std::size_t wanted = (static_cast<std::size_t>(end) + kPage - 1) / kPage * kPage;
    fillTo(std::min(span_, std::max(wanted, 2 * size_)));
    return true;
}

void ReadWindow::fillTo(std::size_t end) const {
    if (end <= size_) return;
    const long long got = readBytes(size_, sector_, {buffer_.get() + size_, end - size_});
    const std::size_t filled = got < 0 ? 0 : static_cast<std::size_t>(got);
    if (size_ + filled < end) {  // the source ends, or cannot be read, here
        std::memset(buffer_.get() + size_ + filled, 0, span_ - size_ - filled);
        size_ = span_;
        return;
    }
    size_ = end;
}

const uint8_t* ReadWindow::data() const {
    fillTo(span_);
    return buffer_.get();
}

}  // namespace pelorin
