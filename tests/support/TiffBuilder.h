#pragma once
// Lays out TIFF-shaped files byte by byte for tests: header, IFD chains,
// entries, strings, SubIFDs and maker notes, in either byte order.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace pelorin::test {

struct TiffEntry {
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    uint32_t value;  // the value itself when it fits in four bytes, else the offset of the values
};

class TiffBuilder {
public:
    // Header: byte-order mark, magic 42 in the file's byte order, first IFD offset 0 until set.
    explicit TiffBuilder(bool littleEndian = true) : little(littleEndian) {
        data = {uint8_t(little ? 'I' : 'M'), uint8_t(little ? 'I' : 'M'), 0, 0, 0, 0, 0, 0};
        put16(2, 42);
    }

    bool littleEndian() const { return little; }
    // Header bytes 2 and 3 as they are to appear (0x55 0x00, 'R' 'O', ...).
    TiffBuilder& magic(uint8_t byte2, uint8_t byte3) {
        data[2] = byte2;
        data[3] = byte3;
        return *this;
    }
    // Raw bytes at a position (for example 'CR' at header bytes 8-9), growing the file.
    TiffBuilder& poke(uint32_t at, const std::vector<uint8_t>& bytes) {
        if (data.size() < at + bytes.size()) data.resize(at + bytes.size());
        std::copy(bytes.begin(), bytes.end(), data.begin() + at);
        return *this;
    }
    TiffBuilder& firstIfd(uint32_t offset) {
        put32(4, offset);
        return *this;
    }
    // Pads the file with zeros up to an offset.
    TiffBuilder& padTo(uint32_t offset) {
        if (data.size() < offset) data.resize(offset);
        return *this;
    }
    uint32_t size() const { return static_cast<uint32_t>(data.size()); }

    // Appends bytes at the next even offset and returns that offset.
    uint32_t place(const std::vector<uint8_t>& bytes) {
        if (data.size() % 2) data.push_back(0);
        const uint32_t at = size();
        data.insert(data.end(), bytes.begin(), bytes.end());
        return at;
    }
    uint32_t placeText(const std::string& text) {
        std::vector<uint8_t> bytes(text.begin(), text.end());
        bytes.push_back(0);
        return place(bytes);
    }
    uint32_t placeValues32(const std::vector<uint32_t>& values) {
        std::vector<uint8_t> bytes;
        for (uint32_t v : values) append32(bytes, v);
        return place(bytes);
    }
    uint32_t placeValues16(const std::vector<uint16_t>& values) {
        std::vector<uint8_t> bytes;
        for (uint16_t v : values) append16(bytes, v);
        return place(bytes);
    }

    // An ASCII entry: the text with its NUL, inline when it fits in four bytes.
    TiffEntry ascii(uint16_t tag, const std::string& text) {
        const uint32_t count = static_cast<uint32_t>(text.size() + 1);
        if (count <= 4) {
            std::vector<uint8_t> field(4, 0);
            std::copy(text.begin(), text.end(), field.begin());
            return {tag, 2, count, raw32(field)};
        }
        return {tag, 2, count, placeText(text)};
    }
    // A SHORT entry with one value, held in the first two bytes of the field.
    TiffEntry short1(uint16_t tag, uint16_t value) const {
        std::vector<uint8_t> field;
        append16(field, value);
        field.push_back(0);
        field.push_back(0);
        return {tag, 3, 1, raw32(field)};
    }
    static TiffEntry long1(uint16_t tag, uint32_t value) { return {tag, 4, 1, value}; }

    // Appends an IFD (entries sorted by tag) and returns its offset.
    uint32_t placeIfd(std::vector<TiffEntry> entries, uint32_t next = 0) {
        std::stable_sort(entries.begin(), entries.end(), [](const TiffEntry& a, const TiffEntry& b) { return a.tag < b.tag; });
        std::vector<uint8_t> bytes;
        append16(bytes, static_cast<uint16_t>(entries.size()));
        for (const TiffEntry& e : entries) {
            append16(bytes, e.tag);
            append16(bytes, e.type);
            append32(bytes, e.count);
            // Field bytes as stored: an inline value was built in file order already.
            append32(bytes, e.value);
        }
        append32(bytes, next);
        return place(bytes);
    }
    // Points an IFD's next-IFD field at another IFD.
    void link(uint32_t ifdOffset, uint32_t nextIfd) {
        const uint32_t count = get16(ifdOffset);
        put32(ifdOffset + 2 + 12 * count, nextIfd);
    }

    std::vector<uint8_t> bytes() const { return data; }

    void put16(uint32_t at, uint16_t v) {
        std::vector<uint8_t> b;
        append16(b, v);
        poke(at, b);
    }
    void put32(uint32_t at, uint32_t v) {
        std::vector<uint8_t> b;
        append32(b, v);
        poke(at, b);
    }

private:
    void append16(std::vector<uint8_t>& out, uint16_t v) const {
        if (little) out.insert(out.end(), {uint8_t(v), uint8_t(v >> 8)});
        else out.insert(out.end(), {uint8_t(v >> 8), uint8_t(v)});
    }
    void append32(std::vector<uint8_t>& out, uint32_t v) const {
        if (little) out.insert(out.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
        else out.insert(out.end(), {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
    }
    // The 32-bit value that append32 turns back into these four bytes.
    uint32_t raw32(const std::vector<uint8_t>& b) const {
        return little ? (b[0] | b[1] << 8 | b[2] << 16 | uint32_t(b[3]) << 24)
                      : (uint32_t(b[0]) << 24 | b[1] << 16 | b[2] << 8 | b[3]);
    }
    uint32_t get16(uint32_t at) const {
        return little ? (data[at] | data[at + 1] << 8) : (data[at] << 8 | data[at + 1]);
    }

    bool little;
    std::vector<uint8_t> data;
};

}  // namespace pelorin::test
