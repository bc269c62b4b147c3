#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <tuple>

#include "recognisers/raw/TiffFileCheck.h"
#include "recognisers/raw/TiffRawFileCheck.h"
#include "recognisers/raw/TiffWalker.h"
#include "recognisers/raw/X3fFileCheck.h"
#include "support/OpenCounter.h"
#include "support/TestSupport.h"
#include "support/TiffBuilder.h"

namespace pelorin::test {
namespace {

using L = TiffBuilder;

// The size TIFF files, as the loop asks; with `cancel`, in a scan stopped
// between the header test and the measuring: ARW, asked first, classifies the
// header, and TIFF answers from its verdict after the stop request.
uint64_t sizeAt(const Bytes& file, uint64_t sector = 0, uint64_t imageSize = 256 * 1024, bool cancel = false) {
    TempImage image(imageSize);
    image.write(sector * 512, file);
    auto ctx = contextFor(image.path());
    const TypeSelection ticked = cancel ? selectionOf({FileType::Arw, FileType::Tiff}) : selectionOf({FileType::Tiff});
    ArwFileCheck arw(*ctx, ticked);
    TiffFileCheck check(*ctx, ticked);
    Probe probe(file.data());
    if (cancel) arw.recognise(probe, sector);
    ctx->cancelRequested = cancel;
    const std::optional<Match> match = check.recognise(probe, sector);
    return match ? match->size : 0;
}

// A JPEG whose end marker starts `endAt` bytes after its start.
Bytes jpegEndingAt(uint32_t endAt) {
    Bytes b{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10};
    b.resize(b.size() + 14, 0x20);
    b.insert(b.end(), {0xFF, 0xDA, 0x00, 0x08});
    b.resize(endAt, 0x42);
    b.insert(b.end(), {0xFF, 0xD9});
    return b;
}

// Real TIFF files are found and sized by the end-to-end scan in TiffRawSizingTest.
// Plain image tags 256, 257, ... and one strip at 200.
Bytes plainTiff(uint32_t entries, uint32_t stripBytes, bool bigEndianMagicBytes = false) {
    TiffBuilder b;
    if (bigEndianMagicBytes) b.magic(0x00, 0x2A);
    std::vector<TiffEntry> list{L::long1(273, 200), L::long1(279, stripBytes)};
    for (uint32_t i = 0; i + 2 < entries; ++i) list.push_back(b.short1(uint16_t(256 + i), 10));
    b.firstIfd(b.placeIfd(list));
    return b.bytes();
}

// An IFD chain that loops, or runs into an entry count no IFD has.
Bytes brokenChain(bool loops) {
    TiffBuilder b;
    const uint32_t ifd = b.placeIfd({b.short1(256, 10), b.short1(257, 10), b.short1(258, 8), b.short1(259, 1), L::long1(279, 200)});
    const uint32_t next = loops ? ifd : b.placeIfd({b.short1(256, 10), b.short1(257, 10)});
    if (!loops) b.put16(next, 0xFFFF);
    b.link(ifd, next);
    b.firstIfd(ifd);
    return b.bytes();
}

// 40,000 strips of 3 bytes: the byte-count array spans three windows.
Bytes manyStrips() {
    TiffBuilder b;
    const uint32_t counts = b.placeValues(std::vector<uint16_t>(40000, 3));
    b.firstIfd(b.placeIfd({b.short1(256, 10), b.short1(257, 10), b.short1(258, 8), b.short1(259, 1), L::long1(273, 16), {279, 3, 40000, counts}}));
    return b.bytes();
}

// A byte-count array that says 400,000 strips where the source holds 1,000
// counts of 3 after the IFD and then ends.
Bytes countsRunningOffTheSource() {
    TiffBuilder b;
    const uint32_t ifd = b.placeIfd({b.short1(256, 10), b.short1(257, 10), b.short1(258, 8), b.short1(259, 1),
                                     L::long1(273, 16), {279, 3, 400000, 0}});
    b.put32(ifd + 2 + 5 * 12 + 8, b.placeValues(std::vector<uint16_t>(1000, 3)));
    b.firstIfd(ifd);
    return b.bytes();
}

// A raw-style TIFF (a Make) of two IFDs, the last with strip arrays.
Bytes rawStyle() {
    TiffBuilder b;
    const uint32_t make = b.placeText("Phase One");
    const uint32_t offsets = b.placeValues(std::vector<uint32_t>{1000, 3000, 5000});
    const uint32_t counts = b.placeValues(std::vector<uint32_t>{2000, 2000, 1500});
    b.padTo(600);
    const uint32_t ifd0 = b.placeIfd({b.short1(256, 100), b.short1(257, 100), {271, 2, 10, make}, L::long1(273, 700), L::long1(279, 100)});
    b.link(ifd0, b.placeIfd({b.short1(256, 100), b.short1(257, 100), b.short1(258, 8), b.short1(259, 1), {271, 2, 10, make},
                             {273, 4, 3, offsets}, {279, 4, 3, counts}}));
    b.firstIfd(ifd0);
    return b.bytes();
}

// A raw-style TIFF with 20,000 strips: the last offset lies beyond the window read at the array's start.
Bytes rawStyleLongArrays() {
    TiffBuilder b;
    const uint32_t make = b.placeText("Phase One");
    std::vector<uint32_t> offsets(20000, 7), counts(20000, 1);
    offsets.back() = 90000;
    counts.back() = 1234;
    const uint32_t offsetsAt = b.placeValues(offsets), countsAt = b.placeValues(counts);
    b.firstIfd(b.placeIfd({b.short1(256, 10), b.short1(257, 10), {271, 2, 10, make}, {273, 4, 20000, offsetsAt}, {279, 4, 20000, countsAt}}));
    return b.bytes();
}

// A Canon TIFF whose maker note (typed UNDEFINED, or not) points at its 132-byte preview JPEG at 400.
Bytes canonTiff(bool cr, uint16_t makerNoteType = 7) {
    TiffBuilder b;
    if (cr) b.poke(8, {'C', 'R', 2, 0});
    const uint32_t make = b.placeText("Canon");
    const uint32_t makerNote = b.placeIfd({L::long1(129, 400), L::long1(130, 0)});
    const uint32_t exif = b.placeIfd({{37500, makerNoteType, 30, makerNote}, {36864, 7, 4, 0x31323230}});
    b.firstIfd(b.placeIfd({b.short1(256, 10), b.short1(257, 10), {271, 2, 6, make}, L::long1(273, 300), L::long1(279, 50), L::long1(34665, exif)}));
    b.poke(400, jpegEndingAt(130));
    return b.bytes();
}

TEST(TiffFileCheck, Lengths) {
    const struct {
        const char* name;
        Bytes file;
        uint64_t length;
        uint64_t sector = 0, imageSize = 256 * 1024;
        bool cancel = false;
    } cases[] = {
        {"plain: header, 12 × 5 + 6, strips, slack", plainTiff(5, 200), 8 + 66 + 200 + 512},
        {"plain, magic as 00 2A", plainTiff(5, 200, true), 8 + 66 + 200 + 512},
        {"cancelled: what it has", plainTiff(5, 200), 8 + 66, 0, 256 * 1024, true},
        {"below 100 bytes", plainTiff(5, 10), 0},
        {"beyond 200 MiB", plainTiff(5, 0xC800000), 0},
        {"four entries pass the header test, not the length rule", plainTiff(4, 200), 0},
        {"IFD pointing at itself", brokenChain(true), 0},
        {"IFD with 65,535 entries", brokenChain(false), 0},
        {"byte-count array across windows", manyStrips(), 8 + 78 + 80000 + 120000 + 512, 0, 512 * 1024},
        // First IFD beyond 512: 12n per IFD; IFD0's value at 700 lies past the IFD (+4);
        // the last IFD's arrays (+12 +12) and its last strip; the header; slack.
        {"raw-style: the last image's last strip", rawStyle(), 8 + 60 + 4 + 84 + 12 + 12 + 6500 + 512},
        {"raw-style, last strip offset beyond the first window", rawStyleLongArrays(), 8 + 60 + 80000 + 80000 + 90000 + 1234 + 512, 0, 512 * 1024},
        // Strip end 350 + header 8, then the preview with its own slack, then slack.
        {"Canon TIFF with its preview", canonTiff(false), 358 + 132 + 512 + 512, 5},
        {"Canon TIFF marked 'CR' is a CR2", canonTiff(true), 0, 5},
        {"Canon TIFF, maker note typed LONG", canonTiff(false, 4), 358 + 512, 5},
    };
    for (const auto& c : cases) EXPECT_EQ(sizeAt(c.file, c.sector, c.imageSize, c.cancel), c.length) << c.name;
}

// Counts past the source's end read as zero and add nothing, whether the walk
// reads them or stops at the end; the array's own size still counts.
TEST(TiffFileCheck, AByteCountArrayRunningOffTheSourceCountsWhatItHolds) {
    const Bytes file = countsRunningOffTheSource();
    TempImage image(4096);
    image.write(0, file);
    const uint64_t expected = 8 + 78 + 800000 + 3000 + 512;
    EXPECT_EQ(sizeAt(file, 0, 4096), expected);  // a source that cannot tell its size: every count is read
    auto ctx = contextFor(image.path());
    auto source = FileSource::open(image.path());
    ASSERT_TRUE(source);
    ctx->source = source.get();
    TiffFileCheck check(*ctx, selectionOf({FileType::Tiff}));
    Probe probe(file.data());
    const std::optional<Match> match = check.recognise(probe, 0);
    ASSERT_TRUE(match);
    EXPECT_EQ(match->size, expected);
}

// Strip (273/279) or tile (324/325) offsets and byte counts of one type, one value per
// strip: inline while they fit in the entry's four bytes, else arrays placed before the IFD;
// the strips follow the IFD. A Make makes it raw-style.
Bytes stripTiff(bool little, uint16_t offsetsTag, uint16_t type, const std::vector<uint32_t>& offsets,
                const std::vector<uint32_t>& byteCounts, bool rawStyle = false) {
    TiffBuilder b(little);
    const auto count = static_cast<uint32_t>(offsets.size());
    auto entry = [&](uint16_t tag, const std::vector<uint32_t>& values) -> TiffEntry {
        if (type == 4) return count == 1 ? L::long1(tag, values[0]) : TiffEntry{tag, 4, count, b.placeValues(values)};
        if (count == 1) return b.short1(tag, uint16_t(values[0]));
        // Two SHORTs fill the field in file order.
        return {tag, 3, 2, little ? values[0] | values[1] << 16 : values[0] << 16 | values[1]};
    };
    std::vector<TiffEntry> list{entry(offsetsTag, offsets), entry(uint16_t(offsetsTag == 273 ? 279 : 325), byteCounts),
                                L::long1(256, 10), L::long1(257, 10), L::long1(258, 8)};
    list.push_back(rawStyle ? TiffEntry{271, 2, 10, b.placeText("Phase One")} : L::long1(259, 1));
    b.firstIfd(b.placeIfd(list));
    return b.bytes();
}

// Plain: header 8, the IFD 12 × 6 + 6, arrays (2 × 8 for two LONGs), the byte counts, slack.
// Raw-style: header 8, arrays, the last strip's end (1000 + 300), slack.
TEST(TiffFileCheck, InlineShortsAndTwoStripsOrTilesInBothByteOrders) {
    const struct {
        const char* name;
        uint16_t offsetsTag, type;
        std::vector<uint32_t> offsets, byteCounts;
        bool rawStyle;
        uint64_t length;
    } cases[] = {
        {"plain, one SHORT strip", 273, 3, {200}, {300}, false, 8 + 78 + 300 + 512},
        {"plain, two SHORT strips: still inline", 273, 3, {200, 500}, {300, 200}, false, 8 + 78 + 500 + 512},
        {"plain, two LONG strips: arrays", 273, 4, {200, 500}, {300, 200}, false, 8 + 78 + 16 + 500 + 512},
        {"plain, two SHORT tiles", 324, 3, {200, 500}, {300, 200}, false, 8 + 78 + 500 + 512},
        {"plain, two LONG tiles", 324, 4, {200, 500}, {300, 200}, false, 8 + 78 + 16 + 500 + 512},
        {"raw-style, one SHORT strip", 273, 3, {1000}, {300}, true, 8 + 1300 + 512},
        {"raw-style, two LONG strips", 273, 4, {600, 1000}, {400, 300}, true, 8 + 16 + 1300 + 512},
        {"raw-style, two LONG tiles", 324, 4, {600, 1000}, {400, 300}, true, 8 + 16 + 1300 + 512},
    };
    for (bool little : {true, false})
        for (const auto& c : cases)
            EXPECT_EQ(sizeAt(stripTiff(little, c.offsetsTag, c.type, c.offsets, c.byteCounts, c.rawStyle)), c.length)
                << c.name << (little ? ", II" : ", MM");
}

TEST(TiffFileCheck, GarbageAfterAByteOrderMarkIsRejectedQuickly) {
    std::mt19937 random(12345);
    TempImage image(128 * 1024);
    for (int round = 0; round < 120; ++round) {
        Bytes garbage(70 * 1024);
        for (auto& byte : garbage) byte = static_cast<uint8_t>(random());
        const bool little = round % 2;
        garbage[0] = garbage[1] = little ? 'I' : 'M';
        if (round % 3 == 0) {  // a believable header and entry count over random entries
            const Bytes header = TiffBuilder(little).firstIfd(8).put16(8, uint16_t(2 + round % 99)).bytes();
            std::copy_n(header.begin(), 10, garbage.begin());
        }
        image.write(0, garbage);
        auto ctx = contextFor(image.path());
        TiffFileCheck tiffCheck(*ctx, selectionOf({FileType::Tiff}));
        X3fFileCheck x3f(*ctx);
        ReadWindow window(*ctx);
        OpenCounter counter(image.path());
        uint8_t probe[kProbeSize];
        std::copy_n(garbage.begin(), kProbeSize, probe);
        FamilyVerdict verdict;
        classifyTiffHeader(TiffMember::Tiff, false, verdict, *ctx, window, probe, 0);
        EXPECT_LE(counter.opens(), 2) << round;
        recogniseBytes(tiffCheck, probe, 0);  // must stay inside its buffers
        counter.opens();
        recogniseBytes(x3f, probe, 0);
        EXPECT_LE(counter.opens(), 2) << round;
    }
}

uint64_t jpegLength(const Bytes& jpeg, uint64_t address, uint64_t imageSize = 256 * 1024) {
    TempImage image(imageSize);
    image.write(address, jpeg);
    auto ctx = contextFor(image.path());
    ReadWindow window(*ctx);
    return TiffWalker(window, *ctx, 0, true).jpgFileSizeCalculation(address);
}

TEST(TiffWalker, JpegLengthWalk) {
    EXPECT_EQ(jpegLength(jpegEndingAt(300), 1000), 302u + 512);
    // End marker as the last byte pair of the 64 KiB window, and straddling it.
    EXPECT_EQ(jpegLength(jpegEndingAt(65534), 0), 65536u + 512);
    EXPECT_EQ(jpegLength(jpegEndingAt(65535), 0), 65537u + 512);
    EXPECT_EQ(jpegLength({0x12, 0x34}, 0), 0u);
    // A marker that is no marker ends the walk with what it has.
    EXPECT_EQ(jpegLength({0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x04, 0, 0, 0x12}, 0), 10u);
    // A runaway stream is capped.
    Bytes runaway = jpegEndingAt(40);
    runaway.resize(40);
    EXPECT_EQ(jpegLength(runaway, 0, 27 * 1024 * 1024), 0x500000u);
}

TEST(TiffWalker, ValuesAcrossWindowsInBothByteOrders) {
    TempImage image(256 * 1024);
    image.write(65534, {0x11, 0x22, 0x33, 0x44});
    auto ctx = contextFor(image.path());
    ReadWindow window(*ctx);
    TiffWalker little(window, *ctx, 0, true), big(window, *ctx, 0, false);
    uint32_t v = 0;
    EXPECT_TRUE(little.u32(65534, v) && v == 0x44332211u);
    EXPECT_TRUE(big.u32(65534, v) && v == 0x11223344u);
    // Another walker moved the window: the first one reads its bytes again.
    EXPECT_TRUE(window.read(1) && little.u32(65534, v) && v == 0x44332211u);
}

// An IFD of one SHORT (0x1234), two SHORTs (0x0300, 0x5678) and one LONG, all inline.
struct InlineValuesIfd {
    explicit InlineValuesIfd(bool little)
        : image(64 * 1024), ctx(contextFor(image.path())), window(*ctx), walker(window, *ctx, 0, little) {
        TiffBuilder b(little);
        at = b.placeIfd({b.short1(256, 0x1234), {258, 3, 2, little ? 0x56780300u : 0x03005678u}, L::long1(273, 0x9ABCDEF0)});
        image.write(0, b.bytes());
    }
    TempImage image;
    std::unique_ptr<TestContext> ctx;  // as made: ScanContext has no virtual destructor
    ReadWindow window;
    TiffWalker walker;
    uint32_t at = 0;
};

// A SHORT sits in the first two bytes of the value field, whatever the byte order.
TEST(TiffWalker, InlineShortValuesInBothByteOrders) {
    for (bool little : {true, false}) {
        InlineValuesIfd f(little);
        Ifd ifd;
        ASSERT_TRUE(f.walker.readIfd(f.at, ifd));
        ASSERT_EQ(ifd.entryCount, 3u);
        EXPECT_EQ((std::vector{ifd.entries[0].inlineValue, ifd.entries[1].inlineValue, ifd.entries[2].inlineValue}),
                  (std::vector{0x1234u, 0x0300u, 0x9ABCDEF0u})) << (little ? "II" : "MM");
        EXPECT_EQ(std::tuple(ifd.entries[0].tag, ifd.entries[0].type, ifd.entries[0].count), std::tuple(256, 3, 1u));
    }
}

// Looking one tag up reads its entry as walking the whole directory does.
TEST(TiffWalker, FindTagReadsAnInlineShortAsReadIfdDoes) {
    for (bool little : {true, false}) {
        InlineValuesIfd f(little);
        IfdEntry entry;
        bool found = false;
        ASSERT_TRUE(f.walker.findTag(f.at, 256, tiff::kMaxEntries, entry, found) && found);
        EXPECT_EQ(entry.inlineValue, 0x1234u) << (little ? "II" : "MM");
    }
}

}  // namespace
}  // namespace pelorin::test
