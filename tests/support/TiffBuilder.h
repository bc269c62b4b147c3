#pragma once
// Lays out raw files byte by byte for tests: TIFF-shaped ones (header, IFD
// chains, entries, strings, SubIFDs, maker notes) in either byte order, and
// the CRW, MRW, RAF and X3F layouts.

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

// A CRW whose root directory of three entries ends at `pointerAt`, where the file's last four
// bytes give the directory's offset from the heap start (26). Its second entry is the preview.
inline std::vector<uint8_t> crw(bool little, uint32_t pointerAt, uint32_t previewAt, uint32_t previewLength) {
    TiffBuilder b(little);
    b.put32(2, 26).poke(6, {'H', 'E', 'A', 'P', 'C', 'C', 'D', 'R'}).padTo(pointerAt + 4);
    const uint32_t directory = pointerAt - 32;
    b.put16(directory, 3).put16(directory + 2, 0x300A).put16(directory + 12, 0x2007);
    b.put32(directory + 14, previewLength).put32(directory + 18, previewAt - 26).put32(pointerAt, directory - 26);
    return b.bytes();
}

// An MRW whose "PRD" block comes after `blocksBefore` other blocks of 100 bytes.
inline std::vector<uint8_t> mrw(uint32_t imageDataOffset, uint16_t height, uint16_t width, uint8_t method, int blocksBefore = 0) {
    TiffBuilder b(false);
    b.poke(0, {0, 'M', 'R', 'M'}).put32(4, imageDataOffset);
    uint32_t at = 8;
    for (int i = 0; i < blocksBefore; ++i, at += 108) b.poke(at, {0, 'T', 'T', 'W'}).put32(at + 4, 100);
    b.poke(at, {0, 'P', 'R', 'D'}).put32(at + 4, 24).put16(at + 16, height).put16(at + 18, width).poke(at + 26, {method}).padTo(at + 32);
    return b.bytes();
}

inline std::vector<uint8_t> raf(uint32_t previewAt, uint32_t previewLength, uint32_t rawAt, uint32_t rawLength, uint32_t at132) {
    TiffBuilder b(false);
    const std::string magic = "FUJIFILMCCD-RAW 0201FF383501";
    b.poke(0, {magic.begin(), magic.end()}).put32(84, previewAt).put32(88, previewLength).put32(100, rawAt).put32(104, rawLength);
    b.put32(132, at132).padTo(160);
    return b.bytes();
}

// An X3F with an image section at 232 holding a JPEG at 260 (after its 28-byte
// header) and its section directory ("SECd", `entries` entries) at `directoryAt`.
inline std::vector<uint8_t> fovb(uint32_t directoryAt, uint32_t entries, uint32_t previewLength, uint32_t section = 232) {
    TiffBuilder b;
    b.poke(0, {'F', 'O', 'V', 'b'}).poke(232, {'S', 'E', 'C', 'i'}).poke(260, {0xFF, 0xD8, 0xFF, 0xE0}).poke(directoryAt, {'S', 'E', 'C', 'd'});
    b.put32(directoryAt + 8, entries).put32(directoryAt + 12, section).put32(directoryAt + 16, previewLength).padTo(directoryAt + 16 + 12 * entries);
    return b.bytes();
}

}  // namespace pelorin::test
