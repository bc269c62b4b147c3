#include <gtest/gtest.h>

#include "recognisers/media/JpgFileCheck.h"
#include "support/TestSupport.h"

namespace pelorin::test {
namespace {

constexpr uint64_t kSlack = 512;

Bytes segment(uint8_t marker, std::size_t payload, uint8_t fill = 0x11) {
    Bytes out{0xFF, marker, uint8_t((payload + 2) >> 8), uint8_t(payload + 2)};
    out.insert(out.end(), payload, fill);
    return out;
}

// SOI, the segments, a start of scan, the entropy data, EOI.
Bytes jpegWith(std::initializer_list<Bytes> segments, const Bytes& scanData) {
    Bytes out{0xFF, 0xD8};
    for (const Bytes& s : segments) out.insert(out.end(), s.begin(), s.end());
    out.insert(out.end(), {0xFF, 0xDA, 0x00, 0x08, 1, 2, 3, 4, 5, 6});
    out.insert(out.end(), scanData.begin(), scanData.end());
    out.insert(out.end(), {0xFF, 0xD9});
    return out;
}

struct JpgFixture {
    TempImage image;
    std::unique_ptr<ScanContext> ctx;
    std::unique_ptr<JpgFileCheck> check;
    JpgFixture(uint64_t size, uint64_t offset, const Bytes& bytes, uint32_t sectorSize = 512) : image(size) {
        image.write(offset, bytes);
        ctx = contextFor(image.path(), sectorSize);
        check = std::make_unique<JpgFileCheck>(*ctx);
    }
    uint64_t sizeAt(uint64_t sector) { return recognise(*check, image.path(), sector, ctx->u32BytesInSector); }
};

TEST(JpgFileCheck, HeaderNeedsStartOfImageAndAKnownFirstSegment) {
    TempImage image(512);
    auto ctx = contextFor(image.path());
    JpgFileCheck check(*ctx);
    for (uint8_t third : {0xE1, 0xE0, 0xDB, 0xEE, 0xC4, 0xFE}) {
        const uint8_t probe[kProbeSize] = {0xFF, 0xD8, 0xFF, third};
        EXPECT_TRUE(check.isFile(probe, 0)) << int(third);
    }
    for (Bytes head : {Bytes{0xFF, 0xD8, 0xFF, 0xC0}, Bytes{0xFF, 0xD8, 0xFF, 0xE2}, Bytes{0xFF, 0xD8, 0x00, 0xE0},
                       Bytes{0xFF, 0xD9, 0xFF, 0xE0}, Bytes{0xFE, 0xD8, 0xFF, 0xE0}}) {
        uint8_t probe[kProbeSize] = {};
        std::copy(head.begin(), head.end(), probe);
        EXPECT_FALSE(check.isFile(probe, 0));
    }
}

TEST(JpgFileCheck, LengthRunsThroughEndOfImagePlusSlack) {
    Bytes jpeg = jpegWith({segment(0xE0, 14), segment(0xDB, 65), segment(0xC4, 30)}, Bytes(3000, 0x42));
    JpgFixture f(64 * 1024, 512 * 3, jpeg);
    EXPECT_EQ(f.sizeAt(3), jpeg.size() + kSlack);
}

TEST(JpgFileCheck, RestartMarkersAndStuffedBytesDoNotEndTheScanData) {
    Bytes data{0x10, 0xFF, 0x00, 0x20, 0xFF, 0xD0, 0x30, 0xFF, 0xDA, 0x00, 0xFF, 0xFF, 0xD1};
    Bytes jpeg = jpegWith({segment(0xE0, 14)}, data);
    JpgFixture f(8192, 0, jpeg);
    EXPECT_EQ(f.sizeAt(0), jpeg.size() + kSlack);
}

TEST(JpgFileCheck, ZeroSegmentLengthCountsAsTwo) {
    // FF E0 00 00: the walk goes on at the byte after the length field.
    Bytes jpeg{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x00, 0xFF, 0xDA, 0x00, 0x04, 0x77, 0x77, 0xFF, 0xD9};
    JpgFixture f(4096, 0, jpeg);
    EXPECT_EQ(f.sizeAt(0), 12u + 2 + kSlack);
}

TEST(JpgFileCheck, BrokenSegmentChainEndsWithTheTwoBytesWhereAMarkerWasExpected) {
    Bytes jpeg{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10};
    jpeg.resize(20, 0x33);  // APP0 payload; offset 20 should hold 0xFF but holds 0x00
    jpeg.push_back(0x00);
    JpgFixture f(4096, 0, jpeg);
    EXPECT_EQ(f.sizeAt(0), 20u + 2);
}

TEST(JpgFileCheck, EndOfImageStraddlingTheWindowIsFound) {
    // The 0xFF is the last byte of the first 64 KiB window.
    Bytes jpeg = jpegWith({segment(0xE0, 14)}, {});
    jpeg.resize(jpeg.size() - 2);
    jpeg.resize(65535, 0x55);
    jpeg.insert(jpeg.end(), {0xFF, 0xD9});
    JpgFixture f(256 * 1024, 512, jpeg);
    EXPECT_EQ(f.sizeAt(1), 65535u + 2 + kSlack);
}

TEST(JpgFileCheck, ScanDataStartingJustPastTheWindowIsSearchedFromItsFirstByte) {
    // An APP0 long enough that the start of scan sits at 65,534: the walk
    // enters the entropy data at 65,536, the byte after the 64 KiB.
    Bytes jpeg{0xFF, 0xD8, 0xFF, 0xE0, 0xFF, 0xFA};
    jpeg.resize(65534, 0x44);
    jpeg.insert(jpeg.end(), {0xFF, 0xDA});
    Bytes endsAtOnce = jpeg;
    endsAtOnce.insert(endsAtOnce.end(), {0xFF, 0xD9});  // FF D9 in the length field itself
    JpgFixture a(256 * 1024, 0, endsAtOnce);
    EXPECT_EQ(a.sizeAt(0), 65536u + 2 + kSlack);

    jpeg.insert(jpeg.end(), {0x00, 0x08, 1, 2, 3, 4, 5, 6, 0x12, 0xFF, 0xD9});
    JpgFixture b(256 * 1024, 0, jpeg);
    EXPECT_EQ(b.sizeAt(0), jpeg.size() + kSlack);
}

TEST(JpgFileCheck, SegmentChainAcrossWindowsIsFollowed) {
    Bytes jpeg = jpegWith({segment(0xE1, 40000), segment(0xE2, 40000), segment(0xDB, 60000)}, Bytes(70000, 0x21));
    for (uint32_t sectorSize : {512u, 4096u}) {
        JpgFixture f(512 * 1024, 8192, jpeg, sectorSize);
        EXPECT_EQ(f.sizeAt(8192 / sectorSize), jpeg.size() + kSlack) << sectorSize;
    }
}

TEST(JpgFileCheck, EndlessScanDataGivesFiveMebibytes) {
    Bytes jpeg = jpegWith({segment(0xE0, 14)}, {});
    jpeg.resize(jpeg.size() - 2);  // no end of image: zeros follow to the end of the source
    JpgFixture f(27 * 1024 * 1024, 0, jpeg);
    EXPECT_EQ(f.sizeAt(0), 5242880u);
}

TEST(JpgFileCheck, EndlessSegmentChainGivesFiveMebibytes) {
    Bytes jpeg{0xFF, 0xD8};
    while (jpeg.size() < 26400000) {
        Bytes s = segment(0xE1, 65000);
        jpeg.insert(jpeg.end(), s.begin(), s.end());
    }
    JpgFixture f(jpeg.size() + 65536, 0, jpeg);
    EXPECT_EQ(f.sizeAt(0), 5242880u);
}

TEST(JpgFileCheck, WalkIntoTheEndOfTheSourceEndsAtTheMissingMarker) {
    // The APP1 segment claims more bytes than the source has: zeros follow.
    Bytes jpeg{0xFF, 0xD8, 0xFF, 0xE1, 0x40, 0x00, 0x01, 0x02};
    JpgFixture f(1024, 512, jpeg);
    EXPECT_EQ(f.sizeAt(1), 4u + 0x4000 + 2);
}

TEST(JpgFileCheck, CancellingGivesThePartialSize) {
    Bytes jpeg = jpegWith({segment(0xE0, 14)}, Bytes(1000, 0x42));
    JpgFixture f(8192, 0, jpeg);
    f.ctx->bCancelScanning = true;
    EXPECT_EQ(f.sizeAt(0), 4u);
}

TEST(JpgFileCheck, UnreadableSourceGivesNoFile) {
    Bytes jpeg = jpegWith({segment(0xE0, 14)}, Bytes(100, 0x42));
    JpgFixture f(8192, 0, jpeg);
    uint8_t probe[kProbeSize] = {0xFF, 0xD8, 0xFF, 0xE0};
    f.ctx->cDriveMountedPath = f.image.path() + ".gone";
    EXPECT_TRUE(f.check->isFile(probe, 0));
    EXPECT_EQ(f.check->fileSizeCalculation(probe, 0), 0u);
}

TEST(JpgFileCheck, FileBeyondFourGibibytesIsReadAtItsTrueOffset) {
    const uint64_t offset = (uint64_t{5} << 30) + 512 * 7;
    Bytes jpeg = fixture("jpeg/baseline.jpg");
    JpgFixture f(offset + 65536, offset, jpeg);
    EXPECT_EQ(f.sizeAt(offset / 512), jpeg.size() + kSlack);
}

// Real files from ImageMagick and exiftool. Each ends with its end-of-image
// marker, so its length is the file's size plus the slack; the EXIF file
// carries a thumbnail whose own end-of-image marker must not end the walk.
TEST(JpgFileCheck, RealFilesAreSizedExactly) {
    for (const char* name : {"jpeg/baseline.jpg", "jpeg/progressive.jpg", "jpeg/exif.jpg", "jpeg/large.jpg"}) {
        Bytes jpeg = fixture(name);
        ASSERT_EQ(jpeg[jpeg.size() - 2], 0xFF);
        ASSERT_EQ(jpeg.back(), 0xD9);
        JpgFixture f(jpeg.size() + 4096, 1024, jpeg);
        EXPECT_EQ(f.sizeAt(2), jpeg.size() + kSlack) << name;
    }
}

}  // namespace
}  // namespace pelorin::test
