#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "engine/CheckController.h"
#include "recognisers/media/JpgFileCheck.h"
#include "recovery/SaveRecoveredFiles.h"
#include "support/RecordingPrompts.h"
#include "support/TestSupport.h"
#include "support/TreeBuilder.h"
#include "tools/ImageLayout.h"

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

Bytes resized(Bytes bytes, std::size_t size, uint8_t fill) {
    bytes.resize(size, fill);
    return bytes;
}

// Sizes the JPEG written at `offset` of an image of `imageSize` bytes.
uint64_t sizeOf(const Bytes& jpeg, uint64_t offset = 0, uint64_t imageSize = 256 * 1024, uint32_t sectorSize = 512) {
    TempImage image(imageSize);
    image.write(offset, jpeg);
    auto ctx = contextFor(image.path(), sectorSize);
    JpgFileCheck check(*ctx);
    return recognise(check, image.path(), offset / sectorSize, sectorSize);
}

TEST(JpgFileCheck, HeaderNeedsStartOfImageAndAnAppSegmentOrAKnownFirstMarker) {
    TempImage image(512);
    auto ctx = contextFor(image.path());
    JpgFileCheck check(*ctx);
    Bytes accepted{0xDB, 0xC4, 0xFE};
    for (int app = 0xE0; app <= 0xEF; ++app) accepted.push_back(uint8_t(app));
    for (uint8_t fourth : accepted) {
        const uint8_t probe[kProbeSize] = {0xFF, 0xD8, 0xFF, fourth};
        EXPECT_TRUE(recogniseBytes(check, probe, 0)) << int(fourth);
    }
    for (Bytes head : {Bytes{0xFF, 0xD8, 0xFF, 0xC0}, Bytes{0xFF, 0xD8, 0xFF, 0xDF}, Bytes{0xFF, 0xD8, 0xFF, 0xF0},
                       Bytes{0xFF, 0xD8, 0xFF, 0xFF}, Bytes{0xFF, 0xD8, 0x00, 0xE0}, Bytes{0xFF, 0xD9, 0xFF, 0xE0}}) {
        uint8_t probe[kProbeSize] = {};
        std::copy(head.begin(), head.end(), probe);
        EXPECT_FALSE(recogniseBytes(check, probe, 0)) << int(head[3]);
    }
}

// Random bytes behind any APPn marker are sized as behind APP0: the marker
// only lets the walk start, the walk alone decides the length.
TEST(JpgFileCheck, RandomBytesAfterAnyAppMarkerGetTheLengthTheyGetAfterApp0) {
    std::mt19937 random(21);
    for (int trial = 0; trial < 6; ++trial) {
        Bytes jpeg{0xFF, 0xD8, 0xFF, 0xE0};
        for (int i = 0; i < 4096; ++i) jpeg.push_back(uint8_t(random()));
        const uint64_t afterApp0 = sizeOf(jpeg, 1024, 128 * 1024);
        ASSERT_GT(afterApp0, 0u);
        for (int app = 0xE1; app <= 0xEF; ++app) {
            jpeg[3] = uint8_t(app);
            EXPECT_EQ(sizeOf(jpeg, 1024, 128 * 1024), afterApp0) << "trial " << trial << ", marker " << app;
        }
    }
}

TEST(JpgFileCheck, LayoutsAndTheirLengths) {
    // An APP0 long enough that the start of scan sits at 65,534: the walk
    // enters the entropy data at 65,536, the byte after the 64 KiB.
    const Bytes scanAt65534 = [] {
        Bytes b{0xFF, 0xD8, 0xFF, 0xE0, 0xFF, 0xFA};
        b.resize(65534, 0x44);
        b.insert(b.end(), {0xFF, 0xDA});
        return b;
    }();
    Bytes endsInLengthField = scanAt65534;
    endsInLengthField.insert(endsInLengthField.end(), {0xFF, 0xD9});
    Bytes endsAfterIt = scanAt65534;
    endsAfterIt.insert(endsAfterIt.end(), {0x00, 0x08, 1, 2, 3, 4, 5, 6, 0x12, 0xFF, 0xD9});
    // The end-of-image 0xFF is the last byte of the first 64 KiB window.
    Bytes straddling = jpegWith({segment(0xE0, 14)}, {});
    straddling.resize(straddling.size() - 2);  // without its end of image...
    straddling.resize(65535, 0x55);            // ...which comes back at 65,535
    straddling.insert(straddling.end(), {0xFF, 0xD9});
    const Bytes acrossWindows =
        jpegWith({segment(0xE1, 40000), segment(0xE2, 40000), segment(0xDB, 60000)}, Bytes(70000, 0x21));

    struct Case {
        const char* name;
        Bytes jpeg;
        uint64_t expected;
    } cases[] = {
        {"segments then scan data", jpegWith({segment(0xE0, 14), segment(0xDB, 65)}, Bytes(3000, 0x42)), 0},
        {"restart markers and stuffed bytes are data",
         jpegWith({segment(0xE0, 14)}, {0x10, 0xFF, 0x00, 0xFF, 0xD0, 0xFF, 0xDA, 0x00, 0xFF, 0xFF, 0xD1}), 0},
        {"zero segment length counts as two",
         {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x00, 0xFF, 0xDA, 0x00, 0x04, 0x77, 0x77, 0xFF, 0xD9}, 12 + 2 + kSlack},
        {"broken chain ends with the two bytes where a marker belonged",
         resized({0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10}, 21, 0x33), 20 + 2},
        {"end of image straddling the window", straddling, 65535 + 2 + kSlack},
        {"end of image in the start-of-scan length field past the window", endsInLengthField, 65536 + 2 + kSlack},
        {"scan data starting past the window", endsAfterIt, 0},
        {"segment chain across windows", acrossWindows, 0},
    };
    for (const Case& c : cases) {
        const uint64_t expected = c.expected ? c.expected : c.jpeg.size() + kSlack;
        EXPECT_EQ(sizeOf(c.jpeg, 512 * 3, 512 * 1024), expected) << c.name;
    }
    EXPECT_EQ(sizeOf(acrossWindows, 8192, 512 * 1024, 4096), acrossWindows.size() + kSlack) << "4096-byte sectors";
}

TEST(JpgFileCheck, RunawayStreamsGiveFiveMebibytes) {
    Bytes noEnd = jpegWith({segment(0xE0, 14)}, {});
    noEnd.resize(noEnd.size() - 2);  // zeros follow to the end of the source
    EXPECT_EQ(sizeOf(noEnd, 0, 27 * 1024 * 1024), 5242880u);

    Bytes endlessChain{0xFF, 0xD8};
    while (endlessChain.size() < 26400000) {
        Bytes s = segment(0xE1, 65000);
        endlessChain.insert(endlessChain.end(), s.begin(), s.end());
    }
    EXPECT_EQ(sizeOf(endlessChain, 0, endlessChain.size() + 65536), 5242880u);
}

TEST(JpgFileCheck, WalkIntoTheEndOfTheSourceEndsAtTheMissingMarker) {
    // The APP1 segment claims more bytes than the source has: zeros follow.
    EXPECT_EQ(sizeOf({0xFF, 0xD8, 0xFF, 0xE1, 0x40, 0x00, 0x01, 0x02}, 512, 1024), 4u + 0x4000 + 2);
}

TEST(JpgFileCheck, StopAndUnreadableSource) {
    TempImage image(8192);
    image.write(0, jpegWith({segment(0xE0, 14)}, Bytes(1000, 0x42)));
    auto ctx = contextFor(image.path());
    JpgFileCheck check(*ctx);
    uint8_t probe[kProbeSize] = {0xFF, 0xD8, 0xFF, 0xE0};
    ctx->cancelRequested = true;
    EXPECT_EQ(recogniseBytes(check, probe, 0)->size, 4u);  // the partial size, not 0
    ctx->cancelRequested = false;
    ctx->sourcePath = image.path() + ".gone";
    EXPECT_EQ(recogniseBytes(check, probe, 0)->size, 0u);
}

TEST(JpgFileCheck, FileBeyondFourGibibytesIsReadAtItsTrueOffset) {
    const uint64_t offset = (uint64_t{5} << 30) + 512 * 7;
    const Bytes jpeg = fixture("jpeg/baseline.jpg");
    EXPECT_EQ(sizeOf(jpeg, offset, offset + 65536), jpeg.size() + kSlack);
}

// Real files from ImageMagick and exiftool. Each ends with its end-of-image
// marker, so its length is the file's size plus the slack; the EXIF file
// carries a thumbnail whose own end-of-image marker must not end the walk;
// two open with an APP2 (ICC profile) and an APP13 (IPTC) segment.
TEST(JpgFileCheck, RealFilesAreSizedExactly) {
    for (const char* name : {"jpeg/baseline.jpg", "jpeg/progressive.jpg", "jpeg/exif.jpg", "jpeg/large.jpg",
                             "jpeg/icc.jpg", "jpeg/iptc.jpg"}) {
        const Bytes jpeg = fixture(name);
        ASSERT_EQ(jpeg[jpeg.size() - 2], 0xFF);
        ASSERT_EQ(jpeg.back(), 0xD9);
        EXPECT_EQ(sizeOf(jpeg, 1024, jpeg.size() + 4096), jpeg.size() + kSlack) << name;
    }
}

// End to end among random bytes: the photos that open with an ICC profile
// (APP2) and with IPTC data (APP13) are listed at their sectors with their
// lengths and saved byte for byte; a sector opening FF D8 FF E7 over random
// bytes is filed with the length it would get after FF D8 FF E0.
TEST(JpgFileCheck, PhotosOpeningWithAnyAppSegmentAreFoundAndSavedByteExact) {
    constexpr uint64_t kImageSize = 256 * 1024, kIcc = 9, kIptc = 40, kApp7 = 300;
    TempImage image;
    const tools::ImageLayout layout{.size = kImageSize, .sectorSize = 512,
                                    .fills = {{.offset = 0, .length = kImageSize, .kind = "random", .seed = 21}},
                                    .placements = {{kIcc, "jpeg/icc.jpg"}, {kIptc, "jpeg/iptc.jpg"}}};
    tools::buildImage(layout, PELORIN_FIXTURES_DIR, image.path());
    const Bytes icc = fixture("jpeg/icc.jpg"), iptc = fixture("jpeg/iptc.jpg");
    ASSERT_EQ(icc[3], 0xE2);
    ASSERT_EQ(iptc[3], 0xED);

    // What the walk gives these random bytes after an APP0 marker.
    image.write(kApp7 * 512, {0xFF, 0xD8, 0xFF, 0xE0});
    auto ctx = contextFor(image.path());
    JpgFileCheck check(*ctx);
    const uint64_t app7Length = recognise(check, image.path(), kApp7);
    ASSERT_GT(app7Length, 0u);
    image.write(kApp7 * 512 + 3, {0xE7});

    auto result = scanImage(image.path(), selectionOf({FileType::Jpg}));
    ASSERT_TRUE(result.alerts.empty());
    const FoundNode* jpg = folderNamed(*result.root, "JPG Files");
    ASSERT_NE(jpg, nullptr);
    const std::pair<uint64_t, uint64_t> expected[] = {
        {kIcc, icc.size() + kSlack}, {kIptc, iptc.size() + kSlack}, {kApp7, app7Length}};
    ASSERT_EQ(jpg->children().size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(jpg->childAtIndex(int(i))->sectorNumber(), expected[i].first);
        EXPECT_EQ(jpg->childAtIndex(int(i))->fileSize(), expected[i].second) << "at sector " << expected[i].first;
    }

    SelectionTotals totals;
    CheckController(result.root.get(), true, totals).run();
    auto source = FileSource::open(image.path());
    RecordingPrompts prompts;
    TempDir destination;
    const SaveResult saved = SaveRecoveredFiles(*source, 512, totals, prompts).save(*result.root, destination.path());
    ASSERT_EQ(saved.outcome, SaveOutcome::Completed);
    ASSERT_EQ(saved.filesSaved, 3);
    const Bytes imageBytes = readBytes(image.path());
    const std::filesystem::path folder = std::filesystem::path(saved.recoveryFolder) / "ROOT/JPG Files";
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const auto [sector, length] = expected[i];
        const Bytes recovered = readBytes(folder / ("file" + std::to_string(i + 1) + ".jpg"));
        const auto from = imageBytes.begin() + long(sector * 512);
        EXPECT_EQ(recovered, Bytes(from, from + long(length))) << "at sector " << sector;
    }
    // The photos themselves, whole, before the slack.
    for (const auto& [name, photo] : {std::pair{"file1.jpg", &icc}, std::pair{"file2.jpg", &iptc}}) {
        const Bytes recovered = readBytes(folder / name);
        ASSERT_GE(recovered.size(), photo->size()) << name;
        EXPECT_TRUE(std::equal(photo->begin(), photo->end(), recovered.begin())) << name;
    }
}

}  // namespace
}  // namespace pelorin::test
