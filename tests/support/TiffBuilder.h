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
    uint32_t value;  // the field as a 32-bit value in the file's byte order (inline data or an offset)
};

class TiffBuilder {
public:
    // Header: byte-order mark, magic 42, first IFD offset 0 until set; zeros up to 16.
    explicit TiffBuilder(bool littleEndian = true) : little(littleEndian) {
        data = {uint8_t(little ? 'I' : 'M'), uint8_t(little ? 'I' : 'M')};
        put16(2, 42);
        padTo(16);
    }

    // Header bytes 2 and 3 as they are to appear (0x55 0x00, 'R' 'O', ...).
    TiffBuilder& magic(uint8_t byte2, uint8_t byte3) { return poke(2, {byte2, byte3}); }
    // Raw bytes at a position, growing the file.
    TiffBuilder& poke(uint32_t at, const std::vector<uint8_t>& bytes) {
        if (data.size() < at + bytes.size()) data.resize(at + bytes.size());
        std::copy(bytes.begin(), bytes.end(), data.begin() + at);
        return *this;
    }
    TiffBuilder& firstIfd(uint32_t offset) { return put32(4, offset); }
    TiffBuilder& padTo(uint32_t offset) {
        if (data.size() < offset) data.resize(offset);
        return *this;
    }

    // Appends bytes at the next even offset and returns that offset.
    uint32_t place(const std::vector<uint8_t>& bytes) {
        if (data.size() % 2) data.push_back(0);
        const auto at = static_cast<uint32_t>(data.size());
        data.insert(data.end(), bytes.begin(), bytes.end());
        return at;
    }
    uint32_t placeText(const std::string& text) { return place(std::vector<uint8_t>(text.c_str(), text.c_str() + text.size() + 1)); }
    template <class T>
    uint32_t placeValues(const std::vector<T>& values) {
        std::vector<uint8_t> bytes;
        for (T v : values) append(bytes, v, sizeof(T));
        return place(bytes);
    }

    // An ASCII entry: the text with its NUL, inline when it fits in four bytes.
    TiffEntry ascii(uint16_t tag, const std::string& text) {
        const auto count = static_cast<uint32_t>(text.size() + 1);
        if (count > 4) return {tag, 2, count, placeText(text)};
        uint32_t field = 0;
        for (std::size_t i = 0; i < text.size(); ++i) field |= uint32_t(uint8_t(text[i])) << (little ? 8 * i : 24 - 8 * i);
        return {tag, 2, count, field};
    }
    // A SHORT entry with one value, held in the first two bytes of the field.
    TiffEntry short1(uint16_t tag, uint16_t value) const { return {tag, 3, 1, little ? value : uint32_t(value) << 16}; }
    static TiffEntry long1(uint16_t tag, uint32_t value) { return {tag, 4, 1, value}; }

    // Appends an IFD (entries sorted by tag) and returns its offset.
    uint32_t placeIfd(std::vector<TiffEntry> entries, uint32_t next = 0) {
        std::stable_sort(entries.begin(), entries.end(), [](const TiffEntry& a, const TiffEntry& b) { return a.tag < b.tag; });
        std::vector<uint8_t> bytes;
        append(bytes, entries.size(), 2);
        for (const TiffEntry& e : entries) {
            append(bytes, e.tag, 2);
            append(bytes, e.type, 2);
            append(bytes, e.count, 4);
            append(bytes, e.value, 4);
        }
        append(bytes, next, 4);
        return place(bytes);
    }
    // Points an IFD's next-IFD field at another IFD.
    void link(uint32_t ifdOffset, uint32_t nextIfd) {
        const uint32_t count = little ? data[ifdOffset] | data[ifdOffset + 1] << 8 : data[ifdOffset] << 8 | data[ifdOffset + 1];
        put32(ifdOffset + 2 + 12 * count, nextIfd);
    }

    std::vector<uint8_t> bytes() const { return data; }
    TiffBuilder& put16(uint32_t at, uint16_t v) { return put(at, v, 2); }
    TiffBuilder& put32(uint32_t at, uint32_t v) { return put(at, v, 4); }

private:
    TiffBuilder& put(uint32_t at, uint32_t v, int width) {
        std::vector<uint8_t> b;
        append(b, v, width);
        return poke(at, b);
    }
    void append(std::vector<uint8_t>& out, uint64_t v, int width) const {
        for (int i = 0; i < width; ++i) out.push_back(uint8_t(v >> 8 * (little ? i : width - 1 - i)));
    }

    bool little;
    std::vector<uint8_t> data;
};

}  // namespace pelorin::test
