#pragma once
// Bounds-checked, typed reads of a byte buffer: every value a recogniser takes
// from the probe or a read window comes through here, and a read past the end
// answers 0 instead of touching memory outside the buffer.

#include <cstdint>
#include <cstring>

namespace pelorin {

class ByteView {
public:
    ByteView(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    virtual ~ByteView() = default;
    ByteView(const ByteView&) = default;
    ByteView& operator=(const ByteView&) = default;

    uint8_t byte(uint64_t pos) const { return pos < size_ || extendTo(pos + 1) ? data_[pos] : 0; }
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
    bool matches(uint64_t pos, const char* text, std::size_t length) const {
        if (pos > kLargestView || length > kLargestView) return false;
        if (pos + length > size_ && !extendTo(pos + length)) return false;
        return std::memcmp(data_ + pos, text, length) == 0;
    }

protected:
    // Makes the first `end` bytes readable, for a view that fills itself as
    // it is read; false when they lie outside the view (end 0 wrapped round).
    virtual bool extendTo(uint64_t /*end*/) const { return false; }

    static constexpr uint64_t kLargestView = uint64_t{1} << 40;
    const uint8_t* data_;
    mutable std::size_t size_;  // bytes readable now

private:
    uint32_t steppedRead(uint64_t pos, uint32_t offset, int width) const {
        uint32_t value = 0;
        for (int i = 0; i < width; ++i) value = value << 8 | byte(offset == 0 ? pos + i : pos + offset - i);
        return value;
    }

};

// The big-endian value of a four-character code, as be32 reads it.
constexpr uint32_t fourCC(const char (&code)[5]) {
    return uint32_t(uint8_t(code[0])) << 24 | uint32_t(uint8_t(code[1])) << 16 | uint32_t(uint8_t(code[2])) << 8 |
           uint32_t(uint8_t(code[3]));
}

}  // namespace pelorin
