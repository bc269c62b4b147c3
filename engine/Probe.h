#pragma once
// The first 25 bytes of the sector under test, with typed reads, and what the
// recognisers asked on this sector so far have left for those asked after them.

#include <cstdint>

#include "engine/ByteView.h"

namespace pelorin {

inline constexpr int kProbeSize = 25;

enum class ByteOrder : uint8_t { Unknown, LittleEndian, BigEndian };

// A header shared by a family of types (the TIFF-based ones) is classified
// once, by the first member asked; the members after it answer from this.
// The bits belong to the family; the loop only starts every sector without any.
struct FamilyVerdict {
    uint32_t findings = 0;
    ByteOrder byteOrder = ByteOrder::Unknown;
};

class Probe : public ByteView {
public:
    explicit Probe(const uint8_t* bytes) : ByteView(bytes, kProbeSize), bytes_(bytes) {}

    const uint8_t* data() const { return bytes_; }

    FamilyVerdict verdict;

private:
    const uint8_t* bytes_;
};

}  // namespace pelorin
