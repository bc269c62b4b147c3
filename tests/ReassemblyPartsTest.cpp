// The pieces the search for split photos stands on: the JPEG decoder that
// tells whether bytes continue a picture, and the allocation units it tries.

#include <gtest/gtest.h>

#include <cstring>

#include "engine/Source.h"
#include "reassembly/ClusterGeometry.h"
#include "reassembly/ClusterMap.h"
#include "reassembly/JpegScanDecoder.h"
#include "reassembly/PieceFeed.h"
#include "support/MediaTestSupport.h"

namespace pelorin {
namespace {

using test::Bytes;
using test::fixture;
using test::randomBytes;
using Step = JpegScanDecoder::Step;

struct Decoded {
    Step result;
    uint64_t position;
};

Decoded decode(const Bytes& image, std::vector<ByteRun> runs) {
    MemorySource source(image);
    PieceFeed feed(source);
    feed.setRuns(std::move(runs));
    JpegScanDecoder decoder;
    JpegScanState state = decoder.start();
    const Step result = decoder.run(state, feed);
    return {result, state.position};
}

Decoded decodeWhole(const Bytes& file) { return decode(file, {{0, PieceFeed::kToSourceEnd}}); }

const char* const kPictures[] = {"jpeg/baseline.jpg", "jpeg/progressive.jpg", "jpeg/exif.jpg",
                                 "jpeg/large.jpg",    "jpeg/icc.jpg",         "jpeg/iptc.jpg"};

TEST(JpegScanDecoder, RealPicturesDecodeToTheirLastByte) {
    for (const char* name : kPictures) {
        SCOPED_TRACE(name);
        const Bytes file = fixture(name);
        const Decoded decoded = decodeWhole(file);
        EXPECT_EQ(decoded.result, Step::Finished);
        EXPECT_EQ(decoded.position, file.size());
    }
}

TEST(JpegScanDecoder, PicturesLaidOutInPiecesDecodeThroughThem) {
    // Each picture cut in three, with random bytes between the pieces.
    for (const char* name : kPictures) {
        SCOPED_TRACE(name);
        const Bytes file = fixture(name);
        const std::size_t first = file.size() / 3, second = file.size() * 2 / 3;
        Bytes image = randomBytes(1000, 1);
        const uint64_t at1 = image.size();
        image.insert(image.end(), file.begin(), file.begin() + std::ptrdiff_t(first));
        const Bytes gap = randomBytes(777, 2);
        image.insert(image.end(), gap.begin(), gap.end());
        const uint64_t at2 = image.size();
        image.insert(image.end(), file.begin() + std::ptrdiff_t(first), file.begin() + std::ptrdiff_t(second));
        image.insert(image.end(), gap.begin(), gap.end());
        const uint64_t at3 = image.size();
        image.insert(image.end(), file.begin() + std::ptrdiff_t(second), file.end());
        const Decoded decoded = decode(image, {{at1, first}, {at2, second - first}, {at3, PieceFeed::kToSourceEnd}});
        EXPECT_EQ(decoded.result, Step::Finished);
        EXPECT_EQ(decoded.position, file.size());
    }
}

TEST(JpegScanDecoder, AStateKeptOnTheWayResumesWithAnyContinuation) {
    const Bytes file = fixture("jpeg/large.jpg");
    const uint64_t breakAt = file.size() / 2;
    Bytes image = file;
    const Bytes junk = randomBytes(4096, 3);
    image.insert(image.begin() + std::ptrdiff_t(breakAt), junk.begin(), junk.end());  // the rest lies 4 KiB on
    MemorySource source(image);
    PieceFeed feed(source);
    feed.setRuns({{0, PieceFeed::kToSourceEnd}});
    JpegScanDecoder decoder;
    JpegScanState state = decoder.start();
    JpegScanState kept;
    while (state.reach() <= breakAt - 64) {
        kept = state;
        ASSERT_EQ(decoder.step(state, feed), Step::Continue);
    }
    // As laid out, the junk breaks the picture...
    JpegScanState onward = kept;
    EXPECT_EQ(decoder.run(onward, feed), Step::Failed);
    // ...and from the same state the right continuation finishes it.
    feed.setRuns({{0, breakAt}, {breakAt + junk.size(), PieceFeed::kToSourceEnd}});
    onward = kept;
    EXPECT_EQ(decoder.run(onward, feed), Step::Finished);
    EXPECT_EQ(onward.position, file.size());
}

TEST(JpegScanDecoder, WhatIsNoContinuationFails) {
    const Bytes file = fixture("jpeg/large.jpg");
    const std::size_t cut = file.size() * 3 / 5;
    auto spliced = [&](const Bytes& tail) {
        Bytes bytes(file.begin(), file.begin() + std::ptrdiff_t(cut));
        bytes.insert(bytes.end(), tail.begin(), tail.end());
        return bytes;
    };
    // Random bytes give up within a few kilobytes.
    const Decoded random = decodeWhole(spliced(randomBytes(65536, 4)));
    EXPECT_EQ(random.result, Step::Failed);
    EXPECT_LT(random.position, cut + 8192);
    // Another picture's start is a marker where data must go on.
    const Decoded marker = decodeWhole(spliced(fixture("jpeg/baseline.jpg")));
    EXPECT_EQ(marker.result, Step::Failed);
    EXPECT_LE(marker.position, cut + 2);
    // The source's end before the end of the image.
    EXPECT_EQ(decodeWhole(Bytes(file.begin(), file.begin() + std::ptrdiff_t(cut))).result, Step::Failed);
    // Zeros decode as flat blocks for a while, but never to an end.
    EXPECT_EQ(decodeWhole(spliced(Bytes(200000, 0))).result, Step::Failed);
}

TEST(JpegScanDecoder, CodingItDoesNotDecodeIsToldApartFromDamage) {
    const Bytes file = fixture("jpeg/baseline.jpg");
    const auto marker = [&](uint8_t second) {
        for (std::size_t i = 2; i + 1 < file.size(); ++i)
            if (file[i] == 0xFF && file[i + 1] == second) return i;
        return std::size_t{0};
    };
    Bytes arithmetic = file;
    arithmetic[marker(0xC0) + 1] = 0xC9;
    EXPECT_EQ(decodeWhole(arithmetic).result, Step::Unsupported);
    Bytes twelveBit = file;
    twelveBit[marker(0xC0) + 4] = 12;
    EXPECT_EQ(decodeWhole(twelveBit).result, Step::Unsupported);
    // A Huffman table with more codes of one length than the length holds.
    Bytes overfull = file;
    overfull[marker(0xC4) + 5] = 3;
    EXPECT_EQ(decodeWhole(overfull).result, Step::Failed);
    // No start of image.
    Bytes headless = file;
    headless[1] = 0xD9;
    EXPECT_EQ(decodeWhole(headless).result, Step::Failed);
}

void putLE(uint8_t* at, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// A boot sector of the given kind with its parameter block.
Bytes fatBootSector(uint16_t bytesPerSector, uint8_t sectorsPerCluster, uint16_t reserved, uint8_t fats,
                    uint16_t rootEntries, uint16_t fatSectors16, uint32_t fatSectors32) {
    Bytes boot(512, 0);
    boot[0] = 0xEB;
    boot[1] = 0x58;
    boot[2] = 0x90;
    putLE(&boot[11], bytesPerSector, 2);
    boot[13] = sectorsPerCluster;
    putLE(&boot[14], reserved, 2);
    boot[16] = fats;
    putLE(&boot[17], rootEntries, 2);
    putLE(&boot[22], fatSectors16, 2);
    putLE(&boot[36], fatSectors32, 4);
    boot[510] = 0x55;
    boot[511] = 0xAA;
    return boot;
}

std::optional<ClusterGeometry> geometryOf(const Bytes& image) {
    MemorySource source(image);
    return geometryFromBootSectors(source, 512);
}

TEST(ClusterGeometry, ComesFromTheBootSectorOfTheVolume) {
    struct Case {
        const char* what;
        Bytes boot;
        uint64_t volumeStart;
        uint64_t dataStart, clusterSize;
    };
    Bytes exfat(512, 0);
    std::memcpy(&exfat[3], "EXFAT   ", 8);
    putLE(&exfat[88], 0x2100, 4);  // the cluster heap, in sectors
    exfat[108] = 9;
    exfat[109] = 7;
    exfat[510] = 0x55;
    exfat[511] = 0xAA;
    Bytes ntfs(512, 0);
    std::memcpy(&ntfs[3], "NTFS    ", 8);
    putLE(&ntfs[11], 512, 2);
    ntfs[13] = 8;
    ntfs[510] = 0x55;
    ntfs[511] = 0xAA;
    const Case cases[] = {
        {"FAT32 at the start", fatBootSector(512, 64, 32, 2, 0, 0, 1000), 0, (32 + 2000) * 512, 32768},
        {"FAT16 with its root folder", fatBootSector(512, 4, 1, 2, 512, 200, 0), 0, (1 + 400 + 32) * 512, 2048},
        {"FAT32 in the first partition", fatBootSector(512, 64, 38, 2, 0, 0, 7567), 8192 * 512,
         8192 * 512 + (38 + 2 * 7567) * 512, 32768},
        {"exFAT in the first partition", exfat, 32768 * 512, 32768 * 512 + 0x2100 * 512, 65536},
        {"NTFS in the first partition", ntfs, 2048 * 512, 2048 * 512, 4096},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes image(c.volumeStart + 4096, 0);
        std::copy(c.boot.begin(), c.boot.end(), image.begin() + std::ptrdiff_t(c.volumeStart));
        if (c.volumeStart != 0) {
            // An MBR listing the volume second, after an empty entry.
            image[446 + 16 + 4] = 0x0C;
            putLE(&image[446 + 16 + 8], uint32_t(c.volumeStart / 512), 4);
            image[510] = 0x55;
            image[511] = 0xAA;
        }
        const auto geometry = geometryOf(image);
        ASSERT_TRUE(geometry);
        EXPECT_EQ(geometry->size, c.clusterSize);
        EXPECT_TRUE(geometry->isBoundary(c.dataStart));
        EXPECT_TRUE(geometry->isBoundary(c.dataStart + 5 * c.clusterSize));
        EXPECT_FALSE(geometry->isBoundary(c.dataStart + 512));
    }
}

TEST(ClusterGeometry, NothingIsTakenFromWhatIsNoBootSector) {
    EXPECT_FALSE(geometryOf(Bytes(8192, 0)));
    EXPECT_FALSE(geometryOf(randomBytes(8192, 5)));
    // A parameter block that makes no sense: clusters of three sectors, no FAT.
    EXPECT_FALSE(geometryOf(fatBootSector(512, 3, 32, 2, 0, 0, 1000)));
    EXPECT_FALSE(geometryOf(fatBootSector(512, 8, 32, 2, 0, 0, 0)));
    EXPECT_FALSE(geometryOf(fatBootSector(500, 8, 32, 2, 0, 0, 1000)));
}

TEST(ClusterGeometry, ComesFromHowTheFoundFilesAreAligned) {
    // Files on 32 KiB units that start 16 KiB into the source, and two
    // inside other files.
    std::vector<uint64_t> starts;
    for (uint64_t unit : {0, 3, 4, 9, 17, 30, 31, 40}) starts.push_back(16384 + unit * 32768);
    starts.push_back(16384 + 5 * 32768 + 1536);
    starts.push_back(16384 + 7 * 32768 + 4096);
    const ClusterGeometry geometry = geometryFromFileStarts(starts, 512);
    EXPECT_EQ(geometry.size, 32768u);
    EXPECT_EQ(geometry.origin, 16384u);
    // Too few files to tell: every sector may start one.
    EXPECT_EQ(geometryFromFileStarts(std::vector<uint64_t>{0, 65536, 131072}, 512).size, 512u);
    EXPECT_EQ(geometryFromFileStarts(std::vector<uint64_t>{}, 4096).size, 4096u);
}

TEST(ClusterGeometry, BoundariesAroundAnOffset) {
    const ClusterGeometry geometry{4096, 1024};
    EXPECT_EQ(geometry.boundaryAtOrAfter(0), 1024u);
    EXPECT_EQ(geometry.boundaryAtOrAfter(1024), 1024u);
    EXPECT_EQ(geometry.boundaryAtOrAfter(1025), 5120u);
    EXPECT_EQ(geometry.boundaryAtOrBefore(5119), 1024u);
    EXPECT_EQ(geometry.boundaryAtOrBefore(5120), 5120u);

    ClusterMap map(geometry);
    map.take(5120 + 100, 4096, 7);  // reaches into the next unit
    EXPECT_FALSE(map.isTaken(1024));
    EXPECT_TRUE(map.isTaken(5120));
    EXPECT_TRUE(map.isTaken(9216 + 10));
    EXPECT_FALSE(map.isTaken(9216, 7));  // not for its owner
    EXPECT_FALSE(map.isTaken(13312));
    EXPECT_EQ(map.firstTakenAfter(1024, 65536), 5120u);
    EXPECT_EQ(map.firstTakenAfter(1024, 65536, 7), 65536u);
    EXPECT_EQ(map.firstFreeFrom(5120, 65536), 13312u);
    map.take(0, 100, 8);  // the part before the first boundary is a unit of its own
    EXPECT_EQ(map.ownerOf(50), 8u);
    EXPECT_FALSE(map.isTaken(1024));
    map.take(5120, 1, ClusterMap::kFree);
    EXPECT_FALSE(map.isTaken(5120));
    EXPECT_TRUE(map.isTaken(9216));
}

TEST(ClusterMap, OwnersOverlapNeverAndCostNothingWhereNothingIsTaken) {
    const ClusterGeometry geometry{512, 0};
    ClusterMap map(geometry);
    // A photo of ten units, then another file's first unit inside it, then
    // the middle given back: each unit has one owner at a time.
    map.take(10 * 512, 10 * 512, 1);
    map.take(14 * 512, 1, 2);
    EXPECT_EQ(map.ownerOf(13 * 512), 1u);
    EXPECT_EQ(map.ownerOf(14 * 512), 2u);
    EXPECT_EQ(map.ownerOf(15 * 512), 1u);
    map.take(12 * 512, 5 * 512, ClusterMap::kFree);
    EXPECT_EQ(map.ownerOf(11 * 512), 1u);
    EXPECT_FALSE(map.isTaken(12 * 512));
    EXPECT_FALSE(map.isTaken(16 * 512));
    EXPECT_EQ(map.ownerOf(17 * 512), 1u);
    EXPECT_EQ(map.firstFreeFrom(10 * 512, 100 * 512), 12u * 512);
    EXPECT_EQ(map.firstFreeFrom(10 * 512, 100 * 512, 1), 10u * 512);
    EXPECT_EQ(map.firstTakenAfter(12 * 512, 100 * 512), 17u * 512);
    EXPECT_EQ(map.firstTakenAfter(12 * 512, 100 * 512, 1), 100u * 512);
    // Sixteen terabytes on, in sectors.
    const uint64_t far = uint64_t{1} << 44;
    map.take(far, 3 * 512, 3);
    EXPECT_EQ(map.firstTakenAfter(20 * 512, UINT64_MAX), far);
    EXPECT_EQ(map.firstFreeFrom(far, UINT64_MAX), far + 3 * 512);
}

}  // namespace
}  // namespace pelorin
