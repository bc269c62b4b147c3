#pragma once
// ISO base media stills and camera raw built box by box: HEIF-style files
// with item locations, and CR3 files laid out as Canon's cameras write them.

#include <array>
#include <string_view>

#include "support/MediaTestSupport.h"

namespace pelorin::test {

inline Bytes box(std::string_view type, const Bytes& payload) {
    return ByteWriter().be32(uint32_t(8 + payload.size())).text(type).append(payload).bytes;
}
inline Bytes text(std::string_view characters) { return ByteWriter().text(characters).bytes; }
inline Bytes ftyp(std::string_view major, std::string_view compatible) {
    return box("ftyp", ByteWriter().text(major).be32(0).text(compatible).bytes);
}
// The same file with the 32-bit size of the box at `at` set to a value.
inline Bytes withBoxSize(Bytes file, std::size_t at, uint32_t size) {
    for (int i = 0; i < 4; ++i) file[at + i] = uint8_t(size >> (24 - 8 * i));
    return file;
}

// A HEIF-style file: "ftyp", a "meta" holding an "iloc" (version 1, 32-bit
// offsets and lengths) with one extent in this file and one in "idat", and
// an "mdat" holding the extent.
inline Bytes itemFile(std::string_view major, std::string_view compatible, uint32_t dataSize) {
    const std::size_t ftypSize = ftyp(major, compatible).size();
    auto meta = [&](uint32_t dataAt) {
        const Bytes iloc = box("iloc", ByteWriter()
                                           .be32(1 << 24).u8(0x44).u8(0x00).be16(2)
                                           .be16(1).be16(0).be16(0).be16(1).be32(dataAt).be32(dataSize)
                                           .be16(2).be16(1).be16(0).be16(1).be32(0xFFFFFF00).be32(0xFF)
                                           .bytes);
        return box("meta", concat({ByteWriter().be32(0).bytes, box("hdlr", Bytes(25, 0)), iloc}));
    };
    const uint32_t dataAt = uint32_t(ftypSize + meta(0).size() + 8);
    return concat({ftyp(major, compatible), meta(dataAt), box("mdat", Bytes(dataSize, 0xA5))});
}

constexpr std::array<uint8_t, 16> kCanonUuid{0x85, 0xC0, 0xB6, 0x87, 0x82, 0x0F, 0x11, 0xE0,
                                             0x81, 0x11, 0xF4, 0xCE, 0x46, 0x2B, 0x6A, 0x48};
constexpr std::array<uint8_t, 16> kPreviewUuid{0xEA, 0xF4, 0x2B, 0x5E, 0x1C, 0x98, 0x4B, 0x88,
                                               0xB9, 0xFB, 0xB7, 0xDC, 0x40, 0x6E, 0x4D, 0x16};

// A CR3 as Canon's cameras lay it out: "ftyp" (24 bytes), "moov" with
// Canon's "uuid" and two tracks whose one chunk each lies in "mdat", an XMP
// "uuid", the preview "uuid" with its PRVW JPEG, then "mdat".
struct Cr3 {
    Bytes bytes;
    uint64_t previewAt = 0;  // the JPEG's offset in the file
    uint64_t mdatAt = 0;
};
inline Cr3 cr3(uint32_t previewSize, std::array<uint32_t, 2> trackSizes = {3000, 5000}) {
    auto moov = [&](uint64_t dataAt) {
        auto trak = [](uint64_t chunkAt, uint32_t size) {
            const Bytes stbl = box("stbl", concat({box("stsd", Bytes(8, 0)),
                                                   box("stsc", ByteWriter().be32(0).be32(1).be32(1).be32(1).be32(1).bytes),
                                                   box("stsz", ByteWriter().be32(0).be32(0).be32(1).be32(size).bytes),
                                                   box("co64", ByteWriter().be32(0).be32(1).be64(chunkAt).bytes)}));
            return box("trak", concat({box("tkhd", Bytes(84, 0)), box("mdia", box("minf", stbl))}));
        };
        const Bytes canon = box("uuid", concat({Bytes(kCanonUuid.begin(), kCanonUuid.end()),
                                                box("CNCV", text("CanonCR3_001/00.09.00/00.00.00"))}));
        return box("moov", concat({canon, trak(dataAt, trackSizes[0]), trak(dataAt + trackSizes[0], trackSizes[1])}));
    };
    Bytes jpeg(previewSize, 0x5A);
    jpeg[0] = 0xFF, jpeg[1] = 0xD8, jpeg[previewSize - 2] = 0xFF, jpeg[previewSize - 1] = 0xD9;
    const Bytes prvw = box("PRVW", ByteWriter().be32(0).be16(1).be16(1620).be16(1080).be16(1).be32(previewSize).append(jpeg).bytes);
    const Bytes preview = box("uuid", concat({Bytes(kPreviewUuid.begin(), kPreviewUuid.end()), ByteWriter().be64(1).bytes, prvw}));
    const Bytes xmp = box("uuid", concat({Bytes(16, 0xBE), text("<x:xmpmeta/>")}));
    const Bytes head = ftyp("crx ", "crx isom");
    const uint64_t mdatAt = head.size() + moov(0).size() + xmp.size() + preview.size();
    Cr3 file;
    file.bytes = concat({head, moov(mdatAt + 8), xmp, preview,
                         box("mdat", Bytes(trackSizes[0] + trackSizes[1], 0x33))});
    file.previewAt = head.size() + moov(0).size() + xmp.size() + 8 + 16 + 8 + 24;
    file.mdatAt = mdatAt;
    return file;
}

}  // namespace pelorin::test
