#pragma once
// The recognisers' read window: 64 KiB of the source plus the sector after it,
// so that a value starting in the last bytes of the 64 KiB is whole. All reads
// go through typed accessors that answer 0 outside the buffer.

#include <cstdint>
#include <memory>

#include "engine/ReadDisk.h"

namespace pelorin {

class ReadWindow {
public:
    static constexpr uint32_t kSpan = 65536;               // bytes a window advances by
    static constexpr std::size_t kCapacity = 65536 + 4096;  // 64 KiB plus the largest sector

    explicit ReadWindow(const ScanContext& context);

    // Reads the window starting at a sector: 64 KiB plus one sector, zeros
    // where the source ends. False when the read failed.
    bool read(uint64_t sector);
    uint64_t sector() const { return sector_; }

    uint8_t byte(uint64_t pos) const { return pos < kCapacity ? data_[pos] : 0; }
    uint32_t be16(uint64_t pos) const { return uint32_t(byte(pos)) << 8 | byte(pos + 1); }
    uint32_t be24(uint64_t pos) const { return uint32_t(byte(pos)) << 16 | be16(pos + 1); }
    uint32_t be32(uint64_t pos) const { return uint32_t(byte(pos)) << 24 | be24(pos + 1); }
    uint32_t le16(uint64_t pos) const { return byte(pos) | uint32_t(byte(pos + 1)) << 8; }
    uint32_t le32(uint64_t pos) const { return le16(pos) | le16(pos + 2) << 16; }
    uint64_t be64(uint64_t pos) const { return uint64_t(be32(pos)) << 32 | be32(pos + 4); }
    uint64_t le64(uint64_t pos) const { return le32(pos) | uint64_t(le32(pos + 4)) << 32; }
    // Reads a width-byte value most significant byte first, starting at
    // pos + offset and stepping backwards when offset is non-zero: offset 0
    // reads big-endian at pos, offset width - 1 reads little-endian at pos.
    uint32_t fourByteRead(uint64_t pos, uint32_t offset) const { return steppedRead(pos, offset, 4); }
    uint32_t twoByteRead(uint64_t pos, uint32_t offset) const { return steppedRead(pos, offset, 2); }
    // True when the bytes at pos equal the text (never past the buffer).
    bool matches(uint64_t pos, const char* text, std::size_t length) const;

    const uint8_t* data() const { return data_.get(); }

private:
    uint32_t steppedRead(uint64_t pos, uint32_t offset, int width) const {
        uint32_t value = 0;
        for (int i = 0; i < width; ++i) {
            const uint64_t at = offset == 0 ? pos + i : pos + offset - i;
            value = value << 8 | byte(at);
        }
        return value;
    }

    ReadDisk reader;
    std::unique_ptr<uint8_t[]> data_;
    std::size_t filled_ = kCapacity;  // bytes that may be non-zero
    uint64_t sector_ = 0;
};

}  // namespace pelorin
