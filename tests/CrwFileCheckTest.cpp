#include <gtest/gtest.h>

#include <cstring>

#include "recognisers/raw/CrwFileCheck.h"
#include "recognisers/raw/MrwFileCheck.h"
#include "recognisers/raw/RafFileCheck.h"
#include "recognisers/raw/X3fFileCheck.h"
#include "support/TestSupport.h"
#include "support/TiffBuilder.h"

// CRW, MRW, RAF and X3F: their edge cases. Each is also found, with its preview,
// by the end-to-end scan in TiffRawSizingTest; CRW's header test and its hand-over
// from the TIFF family are in TiffRawClassificationTest.
namespace pelorin::test {
namespace {

struct Sized {
    uint64_t length;
    bool preview;
    uint64_t previewAt, previewSize;  // the preview's offset inside the file
    std::string extension;
};

// Sizes a file at a sector as the loop does, in a scan of its type alone; with
// `cancel`, one whose stop request is already made (these header tests do not
// look at it).
template <class Check>
Sized sized(const Bytes& file, uint64_t sector = 1, bool cancel = false) {
    TempImage image(sector * 512 + 0x1500000);
    image.write(sector * 512, file);
    auto ctx = contextFor(image.path());
    const std::unique_ptr<Recogniser> check = makeRecogniser<Check>(*ctx, TypeSelection{});
    ctx->cancelRequested = cancel;
    const std::optional<Match> match = recogniseBytes(*check, file.data(), sector);
    if (!match) return {0, false, 0, 0, ""};
    const Preview& preview = match->preview;
    return {match->size, preview.size != 0, preview.sector * 512 + preview.extraBytes - sector * 512, preview.size,
            std::string(match->extension)};
}

TEST(CrwFileCheck, LengthsAndPreviews) {
    const struct {
        const char* name;
        bool little;
        uint32_t pointerAt, previewAt, previewLength;
        bool jpeg, preview;
        uint64_t sector = 0;
    } cases[] = {
        {"big-endian pointer straddling two windows (search from 2 MiB)", false, 0x200000 + 65535, 1000, 5000, true, true},
        {"preview over 4 MiB", true, 0x100000 + 100, 1000, 0x400001, true, false},
        {"preview of 4 MiB", true, 0x100000 + 100, 1000, 0x400000, true, true},
        {"preview under 100 bytes", true, 0x100000 + 100, 1000, 99, true, false},
        {"preview that is no JPEG", true, 0x100000 + 100, 1000, 5000, false, false},
        // The preview bound is on the offset inside the file, not on the device.
        {"far into a large source", true, 0x100000 + 100, 1000, 5000, true, true, 0x1400000 + 10},
        {"preview 20 MiB into the file", true, 0x100000 + 100, 0x1400000, 5000, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes file = crw(c.little, c.pointerAt, c.previewAt, c.previewLength);
        if (c.jpeg) {
            file.resize(std::max<std::size_t>(file.size(), c.previewAt + 2));
            file[c.previewAt] = 0xFF, file[c.previewAt + 1] = 0xD8;
        }
        const Sized s = sized<CrwFileCheck>(file, c.sector);
        EXPECT_EQ(s.length, c.pointerAt + 4u);  // the CRW is filed either way
        EXPECT_EQ(s.preview, c.preview);
        if (!c.preview) continue;
        EXPECT_EQ(s.previewAt, c.previewAt);
        EXPECT_EQ(s.previewSize, c.previewLength);
    }
    // A directory never found gives the fixed length; a cancelled search, nothing.
    Bytes header = crw(true, 200, 100, 0);
    header.resize(100);
    EXPECT_EQ(sized<CrwFileCheck>(header).length, 0xF00000u);
    EXPECT_EQ(sized<CrwFileCheck>(header, 1, true).length, 0u);
}

TEST(MrwFileCheck, LengthFromSensorSizeStorageAndBlocks) {
    EXPECT_EQ(sized<MrwFileCheck>(mrw(1000, 2000, 3000, 'Y')).length, 9000000u + 1000 + 8 + 512);
    EXPECT_EQ(sized<MrwFileCheck>(mrw(1000, 2000, 3000, 'R')).length, 12000000u + 1000 + 8 + 512);
    EXPECT_EQ(sized<MrwFileCheck>(mrw(1000, 2000, 3000, 'X')).length, 0u);
    EXPECT_EQ(sized<MrwFileCheck>(mrw(0x3200001, 20, 30, 'R')).length, 0u);
    EXPECT_EQ(sized<MrwFileCheck>(mrw(1000, 9000, 9000, 'R')).length, 0u);  // beyond 150 MiB
    // "PRD" must be among the first five blocks.
    EXPECT_EQ(sized<MrwFileCheck>(mrw(1000, 20, 30, 'R', 4)).length, 1200u + 1008 + 512);
    EXPECT_EQ(sized<MrwFileCheck>(mrw(1000, 20, 30, 'R', 5)).length, 0u);
}

TEST(RafFileCheck, LengthRules) {
    EXPECT_EQ(sized<RafFileCheck>(raf(200, 2000, 5000, 100000, 100000)).length, 205000u + 512);  // raw data counted twice
    EXPECT_EQ(sized<RafFileCheck>(raf(200, 2000, 0xC800001, 10, 0)).length, 0u);
    EXPECT_EQ(sized<RafFileCheck>(raf(200, 2000, 0xC000000, 0x1000000, 0)).length, 0u);
    EXPECT_EQ(sized<RafFileCheck>(raf(200, 1024, 50, 40, 0)).length, 0u);  // below 100 bytes
    const Sized smallPreview = sized<RafFileCheck>(raf(200, 1024, 5000, 40, 0));
    EXPECT_EQ(smallPreview.length, 5040u + 512);
    EXPECT_FALSE(smallPreview.preview);  // a preview of 1,024 bytes is not reported
    Bytes other = raf(200, 2000, 5000, 100, 0);
    other[14] = 'X';
    EXPECT_EQ(sized<RafFileCheck>(other).length, 0u);
}

Bytes sigmaTiff(bool dng) {
    TiffBuilder b;
    const uint32_t make = b.placeText("SIGMA");
    std::vector<TiffEntry> entries{b.short1(256, 10), b.short1(257, 10), b.short1(258, 8), {271, 2, 6, make},
                                   TiffBuilder::long1(273, 300), TiffBuilder::long1(279, 400)};
    if (dng) entries.push_back({50706, 1, 4, 0x00000401});
    b.firstIfd(b.placeIfd(entries));
    return b.bytes();
}

TEST(X3fFileCheck, HeaderTestsAndDirectorySearch) {
    Bytes noSec = fovb(6000, 3, 3000), lost = fovb(6000, 3, 3000);
    noSec[233] = 'X';                       // no "SEC" at 232
    std::memset(lost.data() + 6000, 0, 4);  // no "SECd" anywhere
    const struct {
        const char* name;
        Bytes file;
        uint64_t length;
        bool preview;
        const char* extension = ".x3f";
    } cases[] = {
        {"directory straddling two windows", fovb(65533, 2, 100), 65533 + 16 + 24, true},
        {"directory never found", lost, 0x1300000, false},
        {"preview section beyond its bound", fovb(6000, 3, 3000, 0x1900000), 6052, false},
        // Header, one IFD of six entries, the 6-byte Make, 400 bytes of strips, slack.
        {"Sigma TIFF", sigmaTiff(false), 8 + 78 + 6 + 400 + 512, false, ".tif"},
        {"no SEC at 232", noSec, 0, false},
        {"a Sigma DNG", sigmaTiff(true), 0, false},
    };
    for (const auto& c : cases) {
        const Sized s = sized<X3fFileCheck>(c.file, 0);
        EXPECT_EQ(s.length, c.length) << c.name;
        EXPECT_EQ(s.preview, c.preview) << c.name;
        EXPECT_TRUE(!c.length || s.extension == c.extension) << c.name;
    }
}

}  // namespace
}  // namespace pelorin::test
