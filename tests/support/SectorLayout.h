#pragma once
// Lays files out on a test disk image the way a card holds them: each file
// starts at a sector boundary, the rest of its last sector is zero, and other
// data lies between files.

#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "support/TestSupport.h"

namespace pelorin::test {

class SectorLayout {
public:
    explicit SectorLayout(uint32_t sectorSize, uint32_t seed = 1) : sectorSize(sectorSize), random(seed) {}

    // Sectors of noise. Their first byte is 0xA5, which starts no header.
    void other(uint32_t sectors) {
        for (uint32_t s = 0; s < sectors; ++s) {
            bytes.push_back(0xA5);
            for (uint32_t i = 1; i < sectorSize; ++i) bytes.push_back(static_cast<uint8_t>(random()));
        }
    }
    // Places a file at the next sector, zero-padded to a whole sector; returns its sector.
    uint64_t place(const Bytes& file) {
        const uint64_t sector = bytes.size() / sectorSize;
        bytes.insert(bytes.end(), file.begin(), file.end());
        bytes.resize((bytes.size() + sectorSize - 1) / sectorSize * sectorSize, 0);
        return sector;
    }
    void writeTo(TempImage& image) const { image.write(0, bytes); }

    const uint32_t sectorSize;
    Bytes bytes;

private:
    std::mt19937 random;
};

// The found files of one type folder as (sector, size), in the order found.
inline std::vector<std::pair<uint64_t, uint64_t>> leavesOf(const HDIR* folder) {
    std::vector<std::pair<uint64_t, uint64_t>> leaves;
    if (folder)
        for (const auto& child : folder->children()) leaves.emplace_back(child->sectorNumber(), child->fileSize());
    return leaves;
}

// Big-endian and little-endian fields for building headers in code.
inline void putBe32(Bytes& out, std::size_t at, uint32_t v) {
    if (out.size() < at + 4) out.resize(at + 4);
    for (int i = 0; i < 4; ++i) out[at + i] = uint8_t(v >> (24 - 8 * i));
}
inline void putBe16(Bytes& out, std::size_t at, uint32_t v) {
    if (out.size() < at + 2) out.resize(at + 2);
    out[at] = uint8_t(v >> 8);
    out[at + 1] = uint8_t(v);
}
inline uint32_t be32At(const Bytes& in, std::size_t at) {
    return uint32_t(in[at]) << 24 | uint32_t(in[at + 1]) << 16 | uint32_t(in[at + 2]) << 8 | in[at + 3];
}

}  // namespace pelorin::test
