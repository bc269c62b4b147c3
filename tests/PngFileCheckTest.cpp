#include <gtest/gtest.h>

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
    std::vector<std::tuple<const char*, Bytes, uint64_t>> cases{
        {"zeros follow: the file plus the slack", idatEnd, idatEnd.size() + 512},
        {"the header needs IHDR", with(idatEnd, 12, 'i'), 0},
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
    for (uint32_t huge : {51404801u, 0xFFFFFFF4u})
        cases.emplace_back("oversized chunk", png({chunk("IDAT", 100), ByteWriter().be32(huge).text("IDAT").be32(0).bytes}),
                           33 + 112 + 512);
    for (const auto& [name, file, size] : cases) EXPECT_EQ(pngAt(file, 1), size) << name;
    // Stopped at once, the walk has only passed IHDR: too small to file.
    EXPECT_EQ(pngAt(idatEnd, 0, 512, true), 0u);

    // Two chunks of 51,404,800 bytes pass 102,809,600 bytes: filed at 5 MiB.
    TempImage image;
    image.write(0, big);
    image.write(33 + 51404800 + 12, ByteWriter().be32(51404800).text("IDAT").bytes);
    auto ctx = contextFor(image.path());
    PngFileCheck check(*ctx);
    EXPECT_EQ(recognise(check, image.path(), 0), 5242880u + 4 + 512);
}

// Real files of the four still-image types in one scan, at both sector sizes.
// Each GIF ends with its trailer and the plain PNG with IEND: the file plus
// the slack. The other PNG has a caNv chunk (not listed) at 130, after tIME.
// A BMP is its size field. Followed by other data, a PSD's search runs to
// three times its sections' end; else it stops in the zeros after the file.
// The last file ends where the device ends, which cuts its length with
// 512-byte sectors (with 4,096-byte sectors the device is made whole sectors,
// else its last sector would not be scanned, and the slack fits).
TEST(StillImages, RealFilesInOneScan) {
    const Bytes bmp = fixture("bmp/small.bmp"), psd = fixture("psd/image.psd"), plain = fixture("png/image.png");
    const Bytes gif87 = fixture("gif/still87.gif"), gif89 = fixture("gif/still89.gif"), animated = fixture("gif/animated.gif");
    for (uint32_t sectorSize : {512u, 4096u}) {
        const ScanResult scan = scanPlaced({{2, bmp}, {14, gif87}, {20, gif89}, {26, animated}, {32, fixture("png/offset.png")},
                                            {40, concat({psd, Bytes(4000, 0xA5)})}, {70, psd}, {90, plain}},
                                           selectionOf({FileType::Bmp, FileType::Gif, FileType::Png, FileType::Psd}), sectorSize,
                                           sectorSize == 512 ? 0 : 91 * 4096);
        EXPECT_EQ(leavesIn(*scan.root, "BMP Files"), (Leaves{{2, bmp.size()}}));
        EXPECT_EQ(leavesIn(*scan.root, "GIF Files"),
                  (Leaves{{14, gif87.size() + 512}, {20, gif89.size() + 512}, {26, animated.size() + 512}}));
        EXPECT_EQ(leavesIn(*scan.root, "PNG Files"), (Leaves{{32, 130 + 512}, {90, plain.size() + (sectorSize == 512 ? 0 : 512)}}));
        EXPECT_EQ(leavesIn(*scan.root, "PSD Files"), (Leaves{{40, 8911}, {70, 6015}}));
        EXPECT_TRUE(scan.alerts.empty());
    }
}

}  // namespace
}  // namespace pelorin::test
