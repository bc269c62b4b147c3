#include <gtest/gtest.h>

#include <random>

#include "recognisers/media/PngFileCheck.h"
#include "support/MediaTestSupport.h"

namespace pelorin::test {
namespace {

// A chunk with `length` bytes of data; the CRC is not checked by the walk.
Bytes chunk(std::string_view type, uint32_t length, uint8_t fill = 0x5A) {
    return ByteWriter().be32(length).text(type).fill(length, fill).be32(0xC1C2C3C4).bytes;
}

// Signature and IHDR (33 bytes), then the chunks.
Bytes png(std::initializer_list<Bytes> chunks = {}) {
    ByteWriter out;
    out.append({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}).append(chunk("IHDR", 13, 0x01));
    for (const Bytes& c : chunks) out.append(c);
    return out.bytes;
}

uint64_t pngAt(const Bytes& file, uint64_t sector = 0, uint32_t sectorSize = 512, bool cancel = false) {
    return sizeOf<PngFileCheck>(file, sector, sectorSize, cancel);
}

TEST(PngFileCheck, ChunkListWalk) {
    const Bytes idatEnd = png({chunk("IDAT", 700), chunk("IEND", 0)});
    ByteWriter windows, empties;
    windows.append(png({chunk("gAMA", 4)}));
    for (int i = 0; i < 230; ++i) windows.append(chunk("IDAT", 997 + i));  // headers fall anywhere
    windows.append(chunk("IEND", 0));
    empties.append(png());
    for (int i = 0; i < 90000; ++i) empties.append(chunk("IDAT", 0));  // 12 bytes each, a mebibyte
    const Bytes big = concat({png(), ByteWriter().be32(51404800).text("IDAT").bytes});
    Bytes noIhdr = idatEnd;
    noIhdr[12] = 'i';
    std::vector<std::tuple<const char*, Bytes, uint64_t>> cases{
        {"zeros follow: the file plus the slack", idatEnd, idatEnd.size() + 512},
        {"the header needs IHDR", noIhdr, 0},
        {"signature and IHDR alone are no file", png(), 0},
        {"an unlisted type stops the walk before its chunk",
         png({chunk("sRGB", 1), chunk("PLTE", 48), chunk("eXIf", 40), chunk("IDAT", 300), chunk("IEND", 0)}),
         33 + 13 + 60 + 512},
        {"a listed chunk after IEND still belongs to the walk",
         png({chunk("IDAT", 10), chunk("IEND", 0), chunk("tEXt", 20)}), 33 + 22 + 12 + 32 + 512},
        {"type names are case-sensitive", png({chunk("IDAT", 100), chunk("idat", 10)}), 33 + 112 + 512},
        {"across many windows", windows.bytes, windows.size() + 512},
        {"empty chunks", empties.bytes, empties.size() + 512},
        // 51,404,800 is believed: the walk goes on after it, into zeros beyond the device.
        {"largest chunk", big, 33 + 51404800 + 12 + 512},
    };
    // A length above 51,404,800 (also one that would wrap in 32 bits) ends the walk before it.
    for (uint32_t huge : {51404801u, 0xFFFFFFF4u, 0xFFFFFFFFu})
        cases.emplace_back("oversized chunk", png({chunk("IDAT", 100), ByteWriter().be32(huge).text("IDAT").be32(0).bytes}),
                           33 + 112 + 512);
    for (const auto& [name, file, size] : cases) EXPECT_EQ(pngAt(file, 1), size) << name;
    EXPECT_EQ(pngAt(windows.bytes, 2, 4096), windows.size() + 512);

    // Two chunks of 51,404,800 bytes pass 102,809,600 bytes: filed at 5 MiB.
    TempImage image;
    image.write(0, big);
    image.write(33 + 51404800 + 12, ByteWriter().be32(51404800).text("IDAT").bytes);
    auto ctx = contextFor(image.path());
    PngFileCheck check(*ctx);
    EXPECT_EQ(recognise(check, image.path(), 0), 5242880u + 4 + 512);
}

TEST(PngFileCheck, GarbageCancelledOrUnreadable) {
    static const char* kTypes[] = {"IDAT", "tEXt", "IEND", "PLTE", "zTXt"};
    std::mt19937 random(7);
    for (int round = 0; round < 30; ++round) {
        ByteWriter garbage;
        garbage.append(png());
        while (garbage.size() < 300000) {
            const uint32_t r = random();
            garbage.append(chunk(kTypes[r % 5], (r >> 8) % 4000, uint8_t(r >> 20)));
            if ((r & 0xFF) == 7) garbage.u8(uint8_t(r >> 24));  // misalign the chain now and then
        }
        EXPECT_LE(pngAt(garbage.bytes), garbage.size() + 4000 + 512) << "round " << round;
    }
    // Stopped at once, the walk has only passed IHDR: too small to file.
    const Bytes file = png({chunk("IDAT", 700), chunk("IEND", 0)});
    EXPECT_EQ(pngAt(file, 0, 512, true), 0u);
    EXPECT_EQ(sizeWithoutSource<PngFileCheck>(file), 0u);
}

TEST(PngFileCheck, ScanFindsRealPngsAtTheirSectors) {
    // The plain file ends with IEND; the other has a caNv chunk (not listed)
    // at 130, after tIME. The last one ends where the device ends.
    const Bytes plain = fixture("png/image.png"), withCanvas = fixture("png/offset.png");
    const ScanResult scan = scanPlaced({{1, plain}, {12, withCanvas}, {20, plain}},
                                       selectionOf({FileType::Png, FileType::Jpg, FileType::Gif}));
    EXPECT_EQ(leavesIn(*scan.root, "PNG Files"),
              (Leaves{{1, plain.size() + 512}, {12, 130 + 512}, {20, plain.size() + 512}}));
}

}  // namespace
}  // namespace pelorin::test
