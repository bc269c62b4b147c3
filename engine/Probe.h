#pragma once
// Typed reads of the 25-byte probe, for recognisers that take header values
// straight from it. Like the window's readers they answer 0 past its end.

#include <cstdint>
#include <cstring>

#include "engine/Recogniser.h"

namespace pelorin {

// The big-endian value of a four-character code, as be32 reads it.
constexpr uint32_t fourCC(const char (&code)[5]) {
    return uint32_t(uint8_t(code[0])) << 24 | uint32_t(uint8_t(code[1])) << 16 | uint32_t(uint8_t(code[2])) << 8 |
           uint32_t(uint8_t(code[3]));
}

class Probe {
public:
    explicit Probe(const uint8_t* bytes) : bytes_(bytes) {}

    uint8_t byte(std::size_t pos) const { return pos < kProbeSize ? bytes_[pos] : 0; }
    uint32_t be16(std::size_t pos) const { return uint32_t(byte(pos)) << 8 | byte(pos + 1); }
    uint32_t be32(std::size_t pos) const { return be16(pos) << 16 | be16(pos + 2); }
    uint32_t le32(std::size_t pos) const {
        return byte(pos) | uint32_t(byte(pos + 1)) << 8 | uint32_t(byte(pos + 2)) << 16 | uint32_t(byte(pos + 3)) << 24;
    }
    bool matches(std::size_t pos, const char* text, std::size_t length) const {
        return pos <= kProbeSize && length <= kProbeSize - pos && std::memcmp(bytes_ + pos, text, length) == 0;
    }

private:
    const uint8_t* bytes_;
};

}  // namespace pelorin
