#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "recognisers/raw/TiffRawFileCheck.h"
#include "support/TestSupport.h"
#include "support/TiffBuilder.h"

namespace pelorin::test {
namespace {

using Entries = std::vector<TiffEntry>;

Entries operator+(Entries a, const Entries& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A strip-offsets and a strip-byte-counts entry: inline for one strip, else arrays.
Entries strips(TiffBuilder& b, const std::vector<uint32_t>& offsets, const std::vector<uint32_t>& counts,
               uint16_t offsetTag = 273, uint16_t countTag = 279) {
    auto entry = [&](uint16_t tag, const std::vector<uint32_t>& values) {
        return values.size() == 1 ? TiffBuilder::long1(tag, values[0])
                                  : TiffEntry{tag, 4, uint32_t(values.size()), b.placeValues32(values)};
    };
    return {entry(offsetTag, offsets), entry(countTag, counts)};
}

uint32_t firstIfdOf(const Bytes& file) {
    return file[0] == 'I' ? (file[4] | file[5] << 8 | file[6] << 16 | uint32_t(file[7]) << 24)
                          : (uint32_t(file[4]) << 24 | file[5] << 16 | file[6] << 8 | file[7]);
}
struct Measured {
    bool accepted = false;
    uint64_t length = 0;
    bool preview = false;
    uint64_t previewSector = 0;
    uint32_t previewExtra = 0;
    uint64_t previewSize = 0;
    bool nrw = false;
};

// Runs a member on a file at a sector as the loop does: header test, then
// length. With `direct`, the header test is skipped: the byte-order flag is
// set, `direct` sets what else the test would have, and the length is asked.
template <class Member>
Measured measure(const Bytes& file, uint64_t sector = 0, std::function<void(ScanContext&)> direct = nullptr,
                 const std::function<void(TempImage&)>& extra = nullptr, uint64_t imageSize = 0) {
    TempImage image(std::max<uint64_t>({imageSize, sector * 512 + file.size(), 256 * 1024}));
    image.write(sector * 512, file);
    if (extra) extra(image);
    auto ctx = contextFor(image.path());
    Member check(*ctx);
    uint8_t probe[kProbeSize] = {};
    std::copy_n(file.begin(), std::min<std::size_t>(file.size(), kProbeSize), probe);
    Measured m;
    if (direct) {
        ctx->found.bLittleEndianFile = file[0] == 'I';
        ctx->found.bBigEndianFile = file[0] == 'M';
        direct(*ctx);
        m.accepted = true;
    } else {
        m.accepted = check.isFile(probe, sector);
    }
    if (m.accepted) m.length = check.fileSizeCalculation(probe, sector);
    m.preview = ctx->found.bRawJpgFileFound;
    m.previewSector = ctx->u64RawJpgFileSectorNumber;
    m.previewExtra = ctx->uExtraBytesOfJpgFileOffset;
    m.previewSize = ctx->u64RawJpgFileSize;
    m.nrw = ctx->found.bNikonNrwFileFound;
    return m;
}

void expectPreview(const Measured& m, uint64_t fileSector, uint64_t offset, uint64_t size) {
    EXPECT_TRUE(m.preview);
    EXPECT_EQ(m.previewSector, fileSector + offset / 512);
    EXPECT_EQ(m.previewExtra, offset % 512);
    EXPECT_EQ(m.previewSize, size);
}

// ---- Sony ---------------------------------------------------------------------

Bytes arwA100(uint32_t subIfd, uint32_t rawLength, uint32_t previewAt, uint32_t previewLength) {
    TiffBuilder b;
    b.padTo(16);
    const uint32_t privateData = b.place(Bytes(160, 0));
    b.put32(privateData + 148, rawLength);
    b.firstIfd(b.placeIfd({b.ascii(271, "SONY"), b.ascii(272, "DSLR-A100"), TiffBuilder::long1(330, subIfd),
                           TiffBuilder::long1(513, previewAt), TiffBuilder::long1(514, previewLength),
                           TiffBuilder::long1(50740, privateData)}));
    return b.bytes();
}

TEST(TiffRawSizing, ArwA100LengthFromItsPrivateData) {
    // SubIFD offset + the raw length stored 148 bytes into the private data; no slack.
    const Measured m = measure<ArwFileCheck>(arwA100(0x1000, 0x50000, 0x10234, 0x8000), 7);
    ASSERT_TRUE(m.accepted);
    EXPECT_EQ(m.length, 0x51000u);
    expectPreview(m, 7, 0x10234, 0x8000);

    // A preview beyond the length is withdrawn; the raw file stays.
    const Measured beyond = measure<ArwFileCheck>(arwA100(0x1000, 0x50000, 0x60000, 0x8000), 7);
    EXPECT_EQ(beyond.length, 0x51000u);
    EXPECT_FALSE(beyond.preview);
    EXPECT_EQ(beyond.previewSector, 0u);
    EXPECT_EQ(beyond.previewExtra, 0u);

    // Previews are capped at 7 MiB.
    EXPECT_EQ(measure<ArwFileCheck>(arwA100(0x1000, 0x50000, 0x10234, 0x800000)).previewSize, 0x700000u);

    // A length within the directory falls back to first IFD + 12 n.
    const Bytes small = arwA100(0, 4, 0, 0);
    EXPECT_EQ(measure<ArwFileCheck>(small).length, firstIfdOf(small) + 12u * 6);
}

Bytes arwA700(const std::vector<uint32_t>& offsets, const std::vector<uint32_t>& counts, uint32_t previewAt,
              uint32_t previewLength) {
    TiffBuilder b;
    b.padTo(16);
    const uint32_t sub = b.placeIfd(strips(b, offsets, counts) + Entries{b.short1(259, 1)});
    b.firstIfd(b.placeIfd({b.ascii(271, "SONY"), b.ascii(272, "DSLR-A700"), TiffBuilder::long1(330, sub),
                           TiffBuilder::long1(513, previewAt), TiffBuilder::long1(514, previewLength)}));
    return b.bytes();
}

TEST(TiffRawSizing, ArwA700LengthIsTheSubIfdStripEnd) {
    const Measured m = measure<ArwFileCheck>(arwA700({0x8000}, {0x40000}, 0x1F00, 0x6000), 3);
    ASSERT_TRUE(m.accepted);
    EXPECT_EQ(m.length, 0x48000u);  // no slack
    expectPreview(m, 3, 0x1F00, 0x6000);

    // Arrays: the last strip decides.
    EXPECT_EQ(measure<ArwFileCheck>(arwA700({0x100, 0x8000, 0x9000}, {10, 20, 0x40000}, 0x1F00, 0x6000)).length,
              0x49000u);

    // A preview after the raw data is withdrawn, and its length never read.
    const Measured late = measure<ArwFileCheck>(arwA700({0x8000}, {0x40000}, 0x50000, 0x6000));
    EXPECT_EQ(late.length, 0x48000u);
    EXPECT_FALSE(late.preview);
    EXPECT_EQ(late.previewSize, 0u);

    EXPECT_EQ(measure<ArwFileCheck>(arwA700({0x8000}, {0xC800000}, 0x1F00, 0x6000)).length, 0u);
}

Bytes sr2(uint32_t stripOffset, uint32_t stripBytes, uint32_t previewAt, uint32_t previewLength) {
    TiffBuilder b;
    b.padTo(16);
    const uint32_t sub = b.placeIfd(strips(b, {stripOffset}, {stripBytes}) +
                                    Entries{TiffBuilder::long1(513, previewAt), TiffBuilder::long1(514, previewLength)});
    b.firstIfd(b.placeIfd({b.ascii(271, "SONY"), b.ascii(272, "DSC-R1"), TiffBuilder::long1(330, sub)}));
    return b.bytes();
}

TEST(TiffRawSizing, Sr2SubIfdGivesLengthAndPreview) {
    const Measured m = measure<Sr2FileCheck>(sr2(0x9000, 0x30000, 0x2345, 0x4000), 2);
    ASSERT_TRUE(m.accepted);
    EXPECT_EQ(m.length, 0x39000u + 512);
    expectPreview(m, 2, 0x2345, 0x4000);

    // Previews of 1,024 bytes or less are not flagged.
    EXPECT_FALSE(measure<Sr2FileCheck>(sr2(0x9000, 0x30000, 0x2345, 1024)).preview);

    // A strip end inside the directory: first IFD + 12 n + 6.
    const Bytes inside = sr2(0, 8, 0x2345, 0x4000);
    EXPECT_EQ(measure<Sr2FileCheck>(inside).length, firstIfdOf(inside) + 12u * 3 + 6 + 512);
}

// ---- Kodak --------------------------------------------------------------------

// With `marked`, the first IFD is the full image (NewSubfileType 0) and holds
// the strips; else its one SubIFD does.
Bytes kodak(const std::string& model, bool marked, const std::vector<uint32_t>& offsets,
            const std::vector<uint32_t>& counts) {
    TiffBuilder b;
    b.padTo(16);
    if (marked) {
        const uint32_t other = b.placeIfd({b.short1(259, 1), b.short1(262, 1)});
        b.firstIfd(b.placeIfd(Entries{TiffBuilder::long1(254, 0), b.ascii(272, model), TiffBuilder::long1(330, other)} +
                              strips(b, offsets, counts)));
    } else {
        const uint32_t sub = b.placeIfd(strips(b, offsets, counts) + Entries{b.short1(259, 1)});
        b.firstIfd(b.placeIfd({TiffBuilder::long1(254, 1), b.ascii(272, model), TiffBuilder::long1(330, sub)}));
    }
    return b.bytes();
}

TEST(TiffRawSizing, KdcMarkedFirstIfdAndSubIfd) {
    const Measured marked = measure<KdcFileCheck>(kodak("Kodak DC120", true, {0x2000}, {0x10000}));
    ASSERT_TRUE(marked.accepted);
    EXPECT_EQ(marked.length, 0x12000u + 512);
    EXPECT_FALSE(marked.preview);
    EXPECT_EQ(measure<KdcFileCheck>(kodak("Kodak DC120", false, {0x3000}, {0x20000})).length, 0x23000u + 512);
    EXPECT_EQ(measure<KdcFileCheck>(kodak("Kodak DC120", false, {0x3000, 0x5000}, {8, 0x20000})).length,
              0x25000u + 512);
    // More than 25 strips are not a KDC.
    const std::vector<uint32_t> many(26, 0x3000);
    EXPECT_EQ(measure<KdcFileCheck>(kodak("Kodak DC120", false, many, many)).length, 0u);
    // A strip end within the directory: first IFD + 12 n + 8.
    const Bytes inside = kodak("Kodak DC120", false, {0}, {16});
    EXPECT_EQ(measure<KdcFileCheck>(inside).length, firstIfdOf(inside) + 12u * 3 + 8 + 512);
}

TEST(TiffRawSizing, K25IsKdcWithoutSlackOrStripLimit) {
    const Measured marked = measure<K25FileCheck>(kodak("KODAK DC25", true, {0x2000}, {0x10000}));
    ASSERT_TRUE(marked.accepted);
    EXPECT_EQ(marked.length, 0x12000u);
    EXPECT_EQ(measure<K25FileCheck>(kodak("KODAK DC25", false, {0x3000}, {0x20000})).length, 0x23000u);
    std::vector<uint32_t> many(30, 0x100);
    many.back() = 0x4000;
    EXPECT_EQ(measure<K25FileCheck>(kodak("KODAK DC25", false, many, many)).length, 0x8000u);
}

// DCR: one SubIFD per strip end; tag 65001's count adds 4 bytes each.
Bytes dcr(const std::vector<std::pair<uint32_t, uint32_t>>& subStrips, uint32_t extraCount) {
    TiffBuilder b;
    b.padTo(16);
    std::vector<uint32_t> subs;
    for (const auto& [offset, bytes] : subStrips)
        subs.push_back(b.placeIfd(strips(b, {offset}, {bytes}) + Entries{TiffEntry{65001, 7, extraCount, 0}}));
    const TiffEntry subIfds = subs.size() == 1 ? TiffBuilder::long1(330, subs[0])
                                               : TiffEntry{330, 4, uint32_t(subs.size()), b.placeValues32(subs)};
    b.firstIfd(b.placeIfd({b.ascii(271, "Kodak"), b.ascii(272, "DCS Pro 14N"), subIfds}));
    return b.bytes();
}

TEST(TiffRawSizing, DcrLargestStripEndOverItsSubIfds) {
    const Measured one = measure<DcrFileCheck>(dcr({{0x4000, 0x30000}}, 10));
    ASSERT_TRUE(one.accepted);
    EXPECT_EQ(one.length, 0x34000u + 40 + 512);
    // The largest strip end wins; the extra sum is capped at 307,200.
    EXPECT_EQ(measure<DcrFileCheck>(dcr({{0x1000, 0x10000}, {0x5000, 0x4B000}, {0x2000, 0x1E000}}, 50000)).length,
              0x50000u + 307200 + 512);
    // Eleven SubIFDs are refused.
    std::vector<std::pair<uint32_t, uint32_t>> eleven(11, {0x1000, 0x10000});
    EXPECT_EQ(measure<DcrFileCheck>(dcr(eleven, 0)).length, 0u);
}

// ---- Pentax -------------------------------------------------------------------

// A PEF chain: the first IFD holds the raw strips, each further IFD a preview.
Bytes pef(uint32_t stripOffset, uint32_t stripBytes, const std::vector<std::pair<uint32_t, uint32_t>>& previews) {
    TiffBuilder b;
    b.padTo(16);
    const uint32_t first = b.placeIfd(Entries{b.ascii(271, "PENTAX Corporation"), b.short1(259, 1)} +
                                      strips(b, {stripOffset}, {stripBytes}));
    b.firstIfd(first);
    uint32_t previous = first;
    for (const auto& [at, length] : previews) {
        const uint32_t ifd = b.placeIfd({TiffBuilder::long1(513, at), TiffBuilder::long1(514, length)});
        b.link(previous, ifd);
        previous = ifd;
    }
    return b.bytes();
}

void pefFlags(ScanContext& ctx) { ctx.found.bPentaxPefFileFound = true; }

TEST(TiffRawSizing, PefLongestPreviewWinsAndCounts) {
    const Measured m = measure<PefFileCheck>(pef(0x5000, 0x60000, {{0x1100, 0x2000}, {0x3300, 0x10000}}), 5);
    ASSERT_TRUE(m.accepted);
    EXPECT_EQ(m.length, 0x65000u + 0x10000 + 512);
    expectPreview(m, 5, 0x3300, 0x10000);

    // Longer chains (which only a member's own pass would refuse) are measured up to six IFDs.
    const Measured four = measure<PefFileCheck>(pef(0x5000, 0x60000, {{0x1100, 0x9000}, {0x3300, 0x1000}, {0x4400, 0x2000}}),
                                                0, pefFlags);
    EXPECT_EQ(four.length, 0x65000u + 0x9000 + 512);
    expectPreview(four, 0, 0x1100, 0x9000);
    const std::vector<std::pair<uint32_t, uint32_t>> five(5, {0x1100, 0x2000});
    EXPECT_EQ(measure<PefFileCheck>(pef(0x5000, 0x60000, five), 0, pefFlags).length, 0x67000u + 512);
    const std::vector<std::pair<uint32_t, uint32_t>> six(6, {0x1100, 0x2000});
    EXPECT_EQ(measure<PefFileCheck>(pef(0x5000, 0x60000, six), 0, pefFlags).length, 0u);
}

TEST(TiffRawSizing, PefDirectoriesAfterTheRawDataAreCounted) {
    // Raw data ends at 0x400; the two preview IFDs lie beyond it, each adding 12 × 2 + 6.
    TiffBuilder b;
    b.padTo(16);
    const uint32_t first = b.placeIfd(Entries{b.ascii(271, "PENTAX"), b.short1(259, 1)} + strips(b, {0x300}, {0x100}));
    b.firstIfd(first);
    b.padTo(0x800);
    const uint32_t second = b.placeIfd({TiffBuilder::long1(513, 0x2000), TiffBuilder::long1(514, 0x3000)});
    b.padTo(0x900);
    const uint32_t third = b.placeIfd({TiffBuilder::long1(513, 0x2000), TiffBuilder::long1(514, 0x100)});
    b.link(first, second);
    b.link(second, third);
    EXPECT_EQ(measure<PefFileCheck>(b.bytes()).length, 0x400u + 30 + 30 + 0x3000 + 512);
}

TEST(TiffRawSizing, PefPreviewWithdrawalLooksAtTheOffsetInsideTheFile) {
    const Bytes far = pef(0x5000, 0x60000, {{0x1100, 0x2000}, {0x9600001, 0x3000}});
    const Measured beyond = measure<PefFileCheck>(far);
    EXPECT_FALSE(beyond.preview);
    EXPECT_EQ(beyond.length, 0x65000u + 0x3000 + 512);
    // A PEF past sector 0x9600000 of a large source keeps its preview.
    const uint64_t farSector = 0x9600000ull + 8;
    const Measured deep = measure<PefFileCheck>(pef(0x5000, 0x60000, {{0x1100, 0x2000}, {0x3300, 0x3000}}), farSector,
                                                nullptr, nullptr, (farSector + 1024) * 512);
    ASSERT_TRUE(deep.accepted);
    expectPreview(deep, farSector, 0x3300, 0x3000);
}

// ---- DNG ----------------------------------------------------------------------

// One SubIFD (raw only) or two (raw, then preview). A raw byte count of 0
// leaves the raw SubIFD without strips.
Bytes dng(const std::string& model, uint32_t rawOffset, uint32_t rawBytes, uint32_t previewAt = 0,
          uint32_t previewLength = 0) {
    TiffBuilder b;
    b.padTo(16);
    Entries rawEntries{b.short1(259, 1), b.short1(262, 32803)};
    if (rawBytes) rawEntries = rawEntries + strips(b, {rawOffset}, {rawBytes});
    const uint32_t raw = b.placeIfd(rawEntries);
    TiffEntry subIfds = TiffBuilder::long1(330, raw);
    if (previewLength) {
        const uint32_t preview = b.placeIfd(strips(b, {previewAt}, {previewLength}) + Entries{b.short1(259, 7)});
        subIfds = {330, 4, 2, b.placeValues32({raw, preview})};
    }
    b.firstIfd(b.placeIfd({b.ascii(271, "Maker"), b.ascii(272, model), subIfds, TiffEntry{50706, 1, 4, 0x00000401}}));
    return b.bytes();
}

TEST(TiffRawSizing, DngOneAndTwoSubIfds) {
    const Measured one = measure<DngFileCheck>(dng("Camera", 0x3000, 0x80000));
    ASSERT_TRUE(one.accepted);
    EXPECT_EQ(one.length, 0x83000u + 512);
    EXPECT_FALSE(one.preview);

    const Measured two = measure<DngFileCheck>(dng("Camera", 0x3000, 0x80000, 0x90101, 0x5000), 9);
    EXPECT_EQ(two.length, 0x83000u + 0x5000 + 512);
    expectPreview(two, 9, 0x90101, 0x5000);

    // A raw strip within the directory: first IFD + 12 n + 6.
    const Bytes inside = dng("Camera", 0, 8);
    EXPECT_EQ(measure<DngFileCheck>(inside).length, firstIfdOf(inside) + 12u * 4 + 6 + 512);
    // No raw strips at all: the directory and the values its fields point
    // beyond it. Make, Model and the SubIFD lie before the directory; the
    // DNG version's bytes 1 4 0 0, read as an offset (0x401), lie beyond: 4 bytes.
    const Bytes noStrips = dng("Camera", 0, 0);
    ASSERT_LT(firstIfdOf(noStrips), 0x401u);
    EXPECT_EQ(measure<DngFileCheck>(noStrips).length, firstIfdOf(noStrips) + 12u * 4 + 6 + 4 + 512);
}

TEST(TiffRawSizing, DngPentaxIstDPreviewCountsOnlyAfterTheRawData) {
    // The preview lies before the raw data's end: reported, not added.
    const Measured before = measure<DngFileCheck>(dng("PENTAX *ist D", 0x3000, 0x80000, 0x1000, 0x5000));
    EXPECT_EQ(before.length, 0x83000u + 512);
    expectPreview(before, 0, 0x1000, 0x5000);
    // The same file far into a source: the test is on the offset inside the file.
    EXPECT_EQ(measure<DngFileCheck>(dng("PENTAX *ist D", 0x3000, 0x80000, 0x1000, 0x5000), 4000).length,
              0x83000u + 512);
    // After the raw data it counts.
    EXPECT_EQ(measure<DngFileCheck>(dng("PENTAX *ist D", 0x3000, 0x80000, 0x83000, 0x5000)).length,
              0x88000u + 512);
}

// ---- Canon --------------------------------------------------------------------

// A CR2: four IFDs, the first describing the preview and the last the raw data.
Bytes cr2(uint32_t previewAt, uint32_t previewLength, const std::vector<uint32_t>& rawOffsets,
          const std::vector<uint32_t>& rawCounts) {
    TiffBuilder b;
    b.poke(8, {'C', 'R', 2, 0});
    b.padTo(16);
    const uint32_t first = b.placeIfd({b.ascii(271, "Canon"), b.short1(259, 6), TiffBuilder::long1(273, previewAt),
                                       TiffBuilder::long1(279, previewLength)});
    const uint32_t thumb = b.placeIfd({TiffBuilder::long1(513, 0x100), TiffBuilder::long1(514, 0x900000)});
    const uint32_t small = b.placeIfd(strips(b, {0x200}, {0x8000000}));
    const uint32_t raw = b.placeIfd(strips(b, rawOffsets, rawCounts) + Entries{b.short1(259, 6)});
    b.link(first, thumb);
    b.link(thumb, small);
    b.link(small, raw);
    b.firstIfd(first);
    return b.bytes();
}

TEST(TiffRawSizing, Cr2PreviewFromTheFirstIfdLengthFromTheLast) {
    const Measured m = measure<Cr2FileCheck>(cr2(0x4321, 0x30000, {0x100000}, {0x400000}), 11);
    ASSERT_TRUE(m.accepted);
    EXPECT_EQ(m.length, 0x500000u);  // exactly, no slack
    expectPreview(m, 11, 0x4321, 0x30000);
    // Strip arrays in the last IFD: the last strip's offset and count.
    EXPECT_EQ(measure<Cr2FileCheck>(cr2(0x4321, 0x30000, {0x1000, 0x2000, 0x200000}, {0x1000, 0x1000, 0x300000})).length,
              0x500000u);
    EXPECT_EQ(measure<Cr2FileCheck>(cr2(0x4321, 0x30000, {0x9000000}, {0x600001})).length, 0u);
}

TEST(TiffRawSizing, Cr2WithoutALastByteCountGivesZeroAndNoPreview) {
    TiffBuilder b;
    b.poke(8, {'C', 'R', 2, 0});
    b.padTo(16);
    const uint32_t first = b.placeIfd({b.ascii(271, "Canon"), TiffBuilder::long1(273, 0x400), TiffBuilder::long1(279, 0x3000)});
    const uint32_t last = b.placeIfd({TiffBuilder::long1(273, 0x1000), b.short1(259, 6)});
    b.link(first, last);
    b.firstIfd(first);
    EXPECT_EQ(measure<Cr2FileCheck>(b.bytes()).length, 0u);
    // A broken chain withdraws the preview entirely.
    b.link(last, 0x20000);  // points at zeros: an IFD without entries
    const Measured broken = measure<Cr2FileCheck>(b.bytes());
    EXPECT_EQ(broken.length, 0u);
    EXPECT_EQ(broken.previewSize, 0u);
    EXPECT_EQ(broken.previewSector, 0u);
}

// ---- Nikon --------------------------------------------------------------------

struct NikonSub {
    std::vector<uint32_t> offsets, counts;  // strips, if any
    uint32_t previewAt = 0, previewLength = 0;  // preview, if a length is given
};

Bytes nikon(const std::vector<NikonSub>& subs, bool littleEndian = false) {
    TiffBuilder b(littleEndian);
    b.padTo(16);
    std::vector<uint32_t> offsets;
    for (const NikonSub& s : subs) {
        Entries entries{b.short1(259, 1)};
        if (!s.offsets.empty()) entries = entries + strips(b, s.offsets, s.counts);
        if (s.previewLength)
            entries = entries + Entries{TiffBuilder::long1(513, s.previewAt), TiffBuilder::long1(514, s.previewLength)};
        offsets.push_back(b.placeIfd(entries));
    }
    const TiffEntry subIfds = offsets.size() == 1 ? TiffBuilder::long1(330, offsets[0])
                                                  : TiffEntry{330, 4, uint32_t(offsets.size()), b.placeValues32(offsets)};
    b.firstIfd(b.placeIfd({b.short1(259, 1), b.ascii(271, "NIKON CORPORATION"), b.ascii(272, "NIKON D3"), subIfds}));
    return b.bytes();
}

TEST(TiffRawSizing, NefSeveralSubIfdsLargestPreviewWins) {
    const Bytes file = nikon({{{}, {}, 0x2201, 0x4000}, {{}, {}, 0x8000, 0x20000}, {{0x30000}, {0x900000}}});
    const Measured m = measure<NefFileCheck>(file, 6);
    ASSERT_TRUE(m.accepted);
    EXPECT_EQ(m.length, 0x930000u + 512);
    EXPECT_FALSE(m.nrw);
    expectPreview(m, 6, 0x8000, 0x20000);
    // NRW refuses a NEF.
    EXPECT_EQ(measure<NrwFileCheck>(file).length, 0u);
}

TEST(TiffRawSizing, NefOneSubIfd) {
    // Inline strips decide at once: offset + bytes, no slack.
    const Measured inlineStrips = measure<NefFileCheck>(nikon({{{0x30000}, {0x900000}, 0x2201, 0x4000}}));
    ASSERT_TRUE(inlineStrips.accepted);
    EXPECT_EQ(inlineStrips.length, 0x930000u);
    // Arrays give the strip end, and the preview is reported.
    const Measured arrays = measure<NefFileCheck>(nikon({{{0x30000, 0x40000}, {0x10000, 0x800000}, 0x2201, 0x4000}}), 4);
    EXPECT_EQ(arrays.length, 0x840000u + 512);
    expectPreview(arrays, 4, 0x2201, 0x4000);
}

TEST(TiffRawSizing, NrwRawDataBeforeThePreview) {
    const Bytes file = nikon({{{0x1000}, {0x8000}}, {{}, {}, 0x20000, 0x30000}}, true);
    const Measured asNef = measure<NefFileCheck>(file);
    ASSERT_TRUE(asNef.accepted);
    EXPECT_EQ(asNef.length, 0u);
    EXPECT_TRUE(asNef.nrw);

    const Measured asNrw = measure<NrwFileCheck>(file, 2);
    ASSERT_TRUE(asNrw.accepted);
    EXPECT_EQ(asNrw.length, 0x9000u + 0x30000 + 512);
    EXPECT_FALSE(asNrw.nrw);
    expectPreview(asNrw, 2, 0x20000, 0x30000);
}

TEST(TiffRawSizing, NikonWithoutSubIfdsIsItsDirectory) {
    TiffBuilder b;
    b.padTo(16);
    Entries entries{b.ascii(271, "NIKON")};
    for (uint16_t tag = 256; tag < 263; ++tag) entries.push_back(b.short1(tag, 1));
    b.firstIfd(b.placeIfd(entries));
    const auto nefFlags = [](ScanContext& ctx) { ctx.found.bNikonNefFileFound = true; };
    EXPECT_EQ(measure<NefFileCheck>(b.bytes(), 0, nefFlags).length, 12u * 8 + 6);
}

// ---- Olympus ------------------------------------------------------------------

// An ORF whose Exif IFD holds a maker note made by `makerNote`.
Bytes orf(char kind, uint32_t stripOffset, uint32_t stripBytes,
          const std::function<uint32_t(TiffBuilder&)>& makerNote) {
    TiffBuilder b;
    b.magic('R', uint8_t(kind));
    b.padTo(16);
    const uint32_t note = makerNote(b);
    const uint32_t exif = b.placeIfd({TiffEntry{37500, 7, 100, note}, b.short1(40961, 1)});
    b.firstIfd(b.placeIfd(Entries{b.ascii(271, "OLYMPUS IMAGING CORP."), TiffBuilder::long1(34665, exif)} +
                          strips(b, {stripOffset}, {stripBytes})));
    return b.bytes();
}

uint32_t newMakerNote(TiffBuilder& b) { return b.place({'O', 'L', 'Y', 'M', 'P', 'U', 'S', 0, 'I', 'I', 3, 0}); }

// The older maker note: its IFD 8 bytes in names the camera settings, whose
// directory is read 12 bytes past the offset it gives.
std::function<uint32_t(TiffBuilder&)> oldMakerNote(uint32_t previewAt, uint32_t previewLength) {
    return [=](TiffBuilder& b) {
        const uint32_t settings = b.placeIfd({TiffBuilder::long1(0x101, previewAt), TiffBuilder::long1(0x102, previewLength)});
        const uint32_t note = b.place({'O', 'L', 'Y', 'M', 'P', 0, 1, 0});
        b.placeIfd({TiffEntry{0x2020, 13, 1, settings - 12}});
        return note;
    };
}

TEST(TiffRawSizing, OrfNewMakerNotePreviewEndsAtItsEndMarker) {
    // End marker 0x1234 into the first window after 0x6000.
    const auto withEnd = [](uint64_t at) {
        return [at](TempImage& image) { image.write(at, {0xFF, 0xD9}); };
    };
    const Measured ro = measure<OrfFileCheck>(orf('O', 0x2000, 0x100000, newMakerNote), 0, nullptr,
                                              withEnd(0x6000 + 0x1234));
    ASSERT_TRUE(ro.accepted);
    EXPECT_EQ(ro.length, 0x102000u + 512);
    expectPreview(ro, 0, 0x6000, 65536 + 0x1234 + 50);
    // 'RS' files start with 5,500 bytes before the strips are counted.
    const Measured rs = measure<OrfFileCheck>(orf('S', 0x2000, 0x100000, newMakerNote), 3, nullptr,
                                              withEnd(3 * 512 + 0x6000 + 65536 + 100));
    EXPECT_EQ(rs.length, 5500u + 0x102000 + 512);
    expectPreview(rs, 3, 0x6000, 2 * 65536 + 100 + 50);
    // No end marker in 32 windows: no preview.
    EXPECT_FALSE(measure<OrfFileCheck>(orf('O', 0x2000, 0x100000, newMakerNote)).preview);
}

TEST(TiffRawSizing, OrfOldMakerNoteNamesItsPreview) {
    const Measured m = measure<OrfFileCheck>(orf('O', 0x2000, 0x100000, oldMakerNote(0x3456, 0x9000)), 1);
    ASSERT_TRUE(m.accepted);
    EXPECT_EQ(m.length, 0x102000u + 512);
    expectPreview(m, 1, 0x3456, 0x9000);
    EXPECT_FALSE(measure<OrfFileCheck>(orf('O', 0x2000, 0x100000, oldMakerNote(0x3456, 0x200001))).preview);
    // A strip end before the first IFD gets the directory added.
    const Bytes small = orf('O', 0, 60, oldMakerNote(0x3456, 0x9000));
    ASSERT_LT(60u, firstIfdOf(small));
    EXPECT_EQ(measure<OrfFileCheck>(small).length, 60u + 12 * 4 + 6 + 512);
}

// ---- Panasonic and Leica ------------------------------------------------------

Bytes panasonic(const char* make, uint32_t stripOffset, uint32_t stripBytes, uint32_t previewAt, const Bytes& jpeg) {
    TiffBuilder b;
    b.magic(0x55, 0x00);
    b.padTo(64);
    b.firstIfd(b.placeIfd(Entries{b.ascii(271, make), TiffEntry{46, 7, uint32_t(jpeg.size()), previewAt}} +
                          strips(b, {stripOffset}, {stripBytes})));
    if (!jpeg.empty()) b.poke(previewAt, jpeg);
    return b.bytes();
}

TEST(TiffRawSizing, PanasonicAndLeicaPreviewIsWalked) {
    const Bytes jpeg = fixture("jpeg/exif.jpg");
    const Measured rw2 = measure<RawPanasonicFileCheck>(panasonic("Panasonic", 0x8000, 0x200000, 0x1001, jpeg), 5);
    ASSERT_TRUE(rw2.accepted);
    EXPECT_EQ(rw2.length, 0x208000u + 512);
    expectPreview(rw2, 5, 0x1001, jpeg.size());  // the JPEG's own length, no slack

    const Measured leica = measure<LeicaFileCheck>(panasonic("LEICA", 0x8000, 0x200000, 0x1001, jpeg));
    ASSERT_TRUE(leica.accepted);
    EXPECT_EQ(leica.length, 0x208000u + 512);
    expectPreview(leica, 0, 0x1001, jpeg.size());

    // No JPEG where tag 46 points: no preview, the file stays.
    const Measured none = measure<RawPanasonicFileCheck>(panasonic("Panasonic", 0x8000, 0x200000, 0x1001, {}));
    EXPECT_EQ(none.length, 0x208000u + 512);
    EXPECT_FALSE(none.preview);

    // A strip end within the directory: first IFD + 12 n + 6.
    const Bytes inside = panasonic("Panasonic", 0, 8, 0x1001, jpeg);
    EXPECT_EQ(measure<RawPanasonicFileCheck>(inside).length, firstIfdOf(inside) + 12u * 4 + 6 + 512);
}

TEST(TiffRawSizing, PanasonicPreviewWalkGuardIsAnOffsetInsideTheFile) {
    const Bytes jpeg = fixture("jpeg/exif.jpg");
    // Beyond 100 MiB into the file the preview is not walked.
    const Measured beyond = measure<RawPanasonicFileCheck>(panasonic("Panasonic", 0x8000, 0x200000, 0x6400000, {}), 0,
                                                           nullptr, [&](TempImage& image) { image.write(0x6400000, jpeg); });
    EXPECT_FALSE(beyond.preview);
    EXPECT_EQ(beyond.length, 0x208000u + 512);
    // A file past sector 0x6400000 of a large source keeps its preview.
    const uint64_t farSector = 0x6400000ull + 3;
    const Measured deep = measure<RawPanasonicFileCheck>(panasonic("Panasonic", 0x8000, 0x200000, 0x1001, jpeg),
                                                         farSector, nullptr, nullptr, (farSector + 1024) * 512);
    ASSERT_TRUE(deep.accepted);
    expectPreview(deep, farSector, 0x1001, jpeg.size());
}

// ---- Hasselblad ---------------------------------------------------------------

Bytes threefr(uint32_t stripOffset, uint32_t stripBytes) {
    TiffBuilder b;
    b.padTo(16);
    const uint32_t sub = b.placeIfd(strips(b, {stripOffset}, {stripBytes}) + Entries{b.short1(259, 1)});
    b.firstIfd(b.placeIfd({b.ascii(271, "Hasselblad"), TiffBuilder::long1(330, sub)}));
    return b.bytes();
}

TEST(TiffRawSizing, ThreefrLargeFilesAreReduced) {
    const Measured m = measure<ThreefrFileCheck>(threefr(0x1000, 0x100000));
    ASSERT_TRUE(m.accepted);
    EXPECT_EQ(m.length, 0x101000u);  // no slack
    EXPECT_EQ(measure<ThreefrFileCheck>(threefr(0x1000, 0x1E00000 - 0x1000)).length, 20971520u);
    EXPECT_EQ(measure<ThreefrFileCheck>(threefr(0x1000, 0x1E00000 - 0x1001)).length, 0x1E00000u - 1);
    EXPECT_EQ(measure<ThreefrFileCheck>(threefr(0x1000, 0xC800000)).length, 0u);
    const Bytes inside = threefr(0, 8);
    EXPECT_EQ(measure<ThreefrFileCheck>(inside).length, firstIfdOf(inside) + 12u * 2 + 8);
}

// ---- Every member ---------------------------------------------------------------

template <class Member>
void expectCancelledGivesZero(const Bytes& file, const char* name) {
    TempImage image(256 * 1024);
    image.write(0, file);
    auto ctx = contextFor(image.path());
    Member check(*ctx);
    uint8_t probe[kProbeSize];
    std::copy_n(file.begin(), kProbeSize, probe);
    ASSERT_TRUE(check.isFile(probe, 0)) << name;
    ctx->bCancelScanning = true;
    EXPECT_EQ(check.fileSizeCalculation(probe, 0), 0u) << name;
}

TEST(TiffRawSizing, CancelledScanMeasuresNothing) {
    const Bytes jpeg = fixture("jpeg/exif.jpg");
    expectCancelledGivesZero<ArwFileCheck>(arwA100(0x1000, 0x50000, 0x10234, 0x8000), "A100");
    expectCancelledGivesZero<ArwFileCheck>(arwA700({0x8000}, {0x40000}, 0x1F00, 0x6000), "A700");
    expectCancelledGivesZero<Sr2FileCheck>(sr2(0x9000, 0x30000, 0x2345, 0x4000), "SR2");
    expectCancelledGivesZero<KdcFileCheck>(kodak("Kodak DC120", true, {0x2000}, {0x10000}), "KDC");
    expectCancelledGivesZero<K25FileCheck>(kodak("KODAK DC25", false, {0x3000}, {0x20000}), "K25");
    expectCancelledGivesZero<DcrFileCheck>(dcr({{0x4000, 0x30000}}, 10), "DCR");
    expectCancelledGivesZero<PefFileCheck>(pef(0x5000, 0x60000, {{0x1100, 0x2000}, {0x3300, 0x10000}}), "PEF");
    expectCancelledGivesZero<DngFileCheck>(dng("Camera", 0x3000, 0x80000), "DNG");
    expectCancelledGivesZero<Cr2FileCheck>(cr2(0x4321, 0x30000, {0x100000}, {0x400000}), "CR2");
    expectCancelledGivesZero<NefFileCheck>(nikon({{{0x30000, 0x40000}, {0x10000, 0x800000}, 0x2201, 0x4000}}), "NEF");
    expectCancelledGivesZero<OrfFileCheck>(orf('O', 0x2000, 0x100000, oldMakerNote(0x3456, 0x9000)), "ORF");
    expectCancelledGivesZero<RawPanasonicFileCheck>(panasonic("Panasonic", 0x8000, 0x200000, 0x1001, jpeg), "RW2");
    expectCancelledGivesZero<ThreefrFileCheck>(threefr(0x1000, 0x100000), "3FR");
}

TEST(TiffRawSizing, CraftedCountsAndOffsetsStayBounded) {
    // Strip arrays whose last element lies gigabytes away, or wraps: read as
    // zeros or refused, never outside a buffer.
    for (uint32_t count : {2u, 3u, 65534u, 65535u, 0x40000000u, 0xFFFFFFFFu}) {
        for (uint32_t at : {0u, 0x95FFFFFu, 0x9600001u, 0xFFFFFFF0u}) {
            TiffBuilder b(false);
            b.padTo(16);
            const uint32_t sub = b.placeIfd({TiffEntry{273, 4, count, at}, TiffEntry{279, 4, count, at}, b.short1(259, 1)});
            b.firstIfd(b.placeIfd({b.ascii(271, "NIKON"), TiffEntry{330, 4, 1, sub}}));
            EXPECT_LE(measure<NefFileCheck>(b.bytes()).length, 0xC800000u + 512) << count << " " << at;
            TiffBuilder t;
            t.padTo(16);
            const uint32_t tsub = t.placeIfd({TiffEntry{273, 4, count, at}, TiffEntry{279, 4, count, at}, t.short1(259, 1)});
            t.firstIfd(t.placeIfd({t.ascii(271, "Hasselblad"), TiffEntry{330, 4, 1, tsub}}));
            EXPECT_LE(measure<ThreefrFileCheck>(t.bytes()).length, 0xC800000u) << count << " " << at;
        }
    }
    // A SubIFD list of 65,534 entries pointing at zeros is refused at its first entry.
    TiffBuilder b;
    b.padTo(16);
    b.firstIfd(b.placeIfd({b.ascii(271, "NIKON"), TiffEntry{330, 4, 65534, 0x30000}}));
    EXPECT_EQ(measure<NefFileCheck>(b.bytes()).length, 0u);
}

// ---- A scan -------------------------------------------------------------------

TEST(TiffRawSizing, ScanFilesRawFilesAndTheirPreviews) {
    const Bytes jpeg = fixture("jpeg/exif.jpg");
    const Bytes small = fixture("jpeg/baseline.jpg");
    struct Placed {
        uint64_t sector;
        Bytes file;
    };
    const std::vector<Placed> files{
        {0x10, arwA700({0x8000}, {0x40000}, 0x1F00, 0x6000)},
        {0x100, cr2(0x4321, 0x30000, {0x100000}, {0x400000})},
        {0x200, nikon({{{}, {}, 0x2201, 0x4000}, {{0x30000}, {0x900000}}})},
        {0x300, nikon({{{0x1000}, {0x8000}}, {{}, {}, 0x20000, 0x30000}}, true)},
        {0x400, panasonic("Panasonic", 0x8000, 0x200000, 0x1001, jpeg)},
        {0x500, panasonic("Panasonic", 0x8000, 0x200000, 0x1001, small)},  // preview too short to file
        {0x600, dng("Camera", 0x3000, 0x80000, 0x90101, 0x5000)},
    };
    TempImage image(1024 * 1024);
    for (const Placed& p : files) image.write(p.sector * 512, p.file);
    const ScanResult result =
        scanImage(image.path(), selectionOf({FileType::Arw, FileType::Cr2, FileType::Nef, FileType::Nrw,
                                             FileType::RawPanasonic, FileType::Dng, FileType::Tiff}));

    struct Leaf {
        const char* folder;
        uint64_t sector;
        uint64_t size;
        const char* name;
    };
    const Leaf raws[] = {
        {"ARW Files", 0x10, 0x48000, "file1.arw"},
        {"CR2 Files", 0x100, 0x500000, "file1.cr2"},
        {"NIKON (NEF) Files", 0x200, 0x930000 + 512, "file1.nef"},
        {"NIKON (NRW) Files", 0x300, 0x9000 + 0x30000 + 512, "file1.nrw"},
        {"Panasonic Files", 0x400, 0x208000 + 512, "file1.raw"},
        {"DNG Files", 0x600, 0x83000 + 0x5000 + 512, "file1.dng"},
    };
    for (const Leaf& leaf : raws) {
        const HDIR* folder = folderNamed(*result.root, leaf.folder);
        ASSERT_NE(folder, nullptr) << leaf.folder;
        ASSERT_GE(folder->children().size(), 1u) << leaf.folder;
        const HDIR& file = *folder->children()[0];
        EXPECT_EQ(file.sectorNumber(), leaf.sector) << leaf.folder;
        EXPECT_EQ(file.fileSize(), leaf.size) << leaf.folder;
        EXPECT_EQ(file.fileName(), leaf.name) << leaf.folder;
    }
    EXPECT_EQ(folderNamed(*result.root, "Panasonic Files")->children().size(), 2u);
    EXPECT_EQ(folderNamed(*result.root, "TIFF Files"), nullptr);

    const HDIR* previews = folderNamed(*result.root, "RAW Jpg Files");
    ASSERT_NE(previews, nullptr);
    const struct {
        uint64_t offset;  // on the source
        uint64_t size;
    } expected[] = {
        {0x10 * 512 + 0x1F00, 0x6000},   {0x100 * 512 + 0x4321, 0x30000}, {0x200 * 512 + 0x2201, 0x4000},
        {0x300 * 512 + 0x20000, 0x30000}, {0x400 * 512 + 0x1001, jpeg.size()}, {0x600 * 512 + 0x90101, 0x5000},
    };
    ASSERT_EQ(previews->children().size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const HDIR& leaf = *previews->children()[i];
        EXPECT_EQ(leaf.fileName(), "file - Raw Jpg" + std::to_string(i + 1) + ".jpg");
        EXPECT_EQ(leaf.sectorNumber(), expected[i].offset / 512) << i;
        EXPECT_EQ(uint64_t(leaf.extraBytesToMove()), expected[i].offset % 512) << i;
        EXPECT_EQ(leaf.fileSize(), expected[i].size) << i;
    }
}

}  // namespace
}  // namespace pelorin::test
