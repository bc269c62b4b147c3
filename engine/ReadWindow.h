#pragma once
// The recognisers' read window: 64 KiB of the source plus the sector after it,
// so that a value starting in the last bytes of the 64 KiB is whole. All reads
// go through the typed accessors of ByteView, which answer 0 outside it.

#include <cstdint>
#include <memory>
#include <span>

#include "engine/ByteView.h"
#include "engine/ScanContext.h"

namespace pelorin {

class ReadWindow : public ByteView {
public:
    static constexpr uint32_t kSpan = 65536;               // bytes a window advances by
    static constexpr std::size_t kCapacity = 65536 + 4096;  // 64 KiB plus the largest sector

    explicit ReadWindow(const ScanContext& context);

    // Reads the window starting at a sector of the scan's source: 64 KiB plus
    // one sector, zeros where the source ends. False when nothing could be
    // read because the source has gone (or the context has no source).
    //
    // Most walks look at a few kilobytes of a window, so it is filled as it is
    // read: its first part at once, the rest when a read reaches it. The bytes
    // are those one read of the whole window gives, except that a sector that
    // cannot be read is zeros and the sectors after it are still read; from
    // where the source ends, or went, the window is zeros.
    bool read(uint64_t sector);
    uint64_t sector() const { return sector_; }

    // The whole window, filled.
    const uint8_t* data() const;

private:
    ReadWindow(const ScanContext& context, std::unique_ptr<uint8_t[]> buffer);
    bool extendTo(uint64_t end) const override;
    void fillTo(std::size_t end) const;
    // The bytes from `skip` on of the window at the sector: the count read, or
    // -1 when a read failed before delivering any.
    long long readBytes(std::size_t skip, uint64_t sector, std::span<uint8_t> buffer) const;

    const ScanContext& ctx;
    std::unique_ptr<uint8_t[]> buffer_;
    std::size_t span_ = 0;  // bytes this window holds once filled
    uint64_t sector_ = 0;
};

}  // namespace pelorin
