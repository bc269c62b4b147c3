#pragma once
// The table-driven CRCs that the stream formats check their pages, frames
// and tables with: all shift most significant bit first, with no reflection
// and no final inversion (FLAC's CRC-8 and CRC-16, the CRC-32 of Ogg pages
// and of MPEG transport stream tables, which differ only in the start value).

#include <array>
#include <cstdint>

namespace pelorin {

template <class Value, Value kPolynomial>
class MsbFirstCrc {
public:
    static constexpr int kWidth = 8 * sizeof(Value);

    static constexpr Value update(Value crc, uint8_t byte) {
        return Value(Value(crc << 8) ^ kTable[uint8_t(crc >> (kWidth - 8)) ^ byte]);
    }

private:
    static constexpr std::array<Value, 256> makeTable() {
        std::array<Value, 256> table{};
        constexpr Value topBit = Value(Value{1} << (kWidth - 1));
        for (unsigned byte = 0; byte < 256; ++byte) {
            Value crc = Value(Value(byte) << (kWidth - 8));
            for (int bit = 0; bit < 8; ++bit) crc = Value((crc & topBit) ? Value(crc << 1) ^ kPolynomial : crc << 1);
            table[byte] = crc;
        }
        return table;
    }
    static constexpr std::array<Value, 256> kTable = makeTable();
};

using Crc8 = MsbFirstCrc<uint8_t, 0x07>;
using Crc16 = MsbFirstCrc<uint16_t, 0x8005>;
using Crc32 = MsbFirstCrc<uint32_t, 0x04C11DB7>;

}  // namespace pelorin
