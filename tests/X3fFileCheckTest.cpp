#include <gtest/gtest.h>

#include <cstring>

#include "recognisers/raw/X3fFileCheck.h"
#include "support/TestSupport.h"
#include "support/TiffBuilder.h"

namespace pelorin::test {
namespace {

void le32(Bytes& b, std::size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

// An X3F with an image section at 232 holding a JPEG at 260 (after its 28-byte
// header) and its section directory ("SECd", `entries` entries) at `directoryAt`.
Bytes fovb(uint32_t directoryAt, uint32_t entries, uint32_t previewLength, uint32_t section = 232) {
    Bytes b(directoryAt + 16 + 12 * entries, 0);
    std::memcpy(b.data(), "FOVb", 4);
    std::memcpy(b.data() + 232, "SECi", 4);
    std::memcpy(b.data() + 260, "\xFF\xD8\xFF\xE0", 4);
    std::memcpy(b.data() + directoryAt, "SECd", 4);
    le32(b, directoryAt + 8, entries);
    le32(b, directoryAt + 12, section);
    le32(b, directoryAt + 16, previewLength);
    return b;
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

TEST(X3fFileCheck, BothKindsFoundByAScanWithTheirExtensions) {
    TempImage image(128 * 1024);
    image.write(512 * 2, fovb(6000, 3, 3000));
    image.write(512 * 40, sigmaTiff(false));
    const ScanResult result = scanImage(image.path(), selectionOf({FileType::X3f}));
    const HDIR* folder = folderNamed(*result.root, "X3F Files");
    ASSERT_NE(folder, nullptr);
    ASSERT_EQ(folder->children().size(), 2u);
    EXPECT_EQ(folder->children()[0]->fileName(), "file1.x3f");
    EXPECT_EQ(folder->children()[0]->fileSize(), 6000u + 16 + 36);
    EXPECT_EQ(folder->children()[1]->fileName(), "file2.tif");
    const HDIR* previews = folderNamed(*result.root, "RAW Jpg Files");
    ASSERT_NE(previews, nullptr);
    EXPECT_EQ(previews->children()[0]->sectorNumber(), 2u);
    EXPECT_EQ(previews->children()[0]->extraBytesToMove(), 260);
    EXPECT_EQ(previews->children()[0]->fileSize(), 3000u);
}

TEST(X3fFileCheck, HeaderTestsAndDirectorySearch) {
    Bytes noSec = fovb(6000, 3, 3000), lost = fovb(6000, 3, 3000);
    noSec[233] = 'X';                      // no "SEC" at 232
    std::memset(lost.data() + 6000, 0, 4);  // no "SECd" anywhere
    const struct {
        const char* name;
        Bytes file;
        uint64_t length;
        bool preview;
        const char* extension = ".x3f";
    } cases[] = {
        {"directory straddling two windows", fovb(65533, 2, 100), 65533 + 16 + 24, true},
        {"directory one byte before a window's end", fovb(65535, 2, 100), 65535 + 16 + 24, true},
        {"directory never found", lost, 0x1300000, false},
        {"preview section beyond its bound", fovb(6000, 3, 3000, 0x1900000), 6052, false},
        // Header, one IFD of six entries, the 6-byte Make, 400 bytes of strips, slack.
        {"Sigma TIFF", sigmaTiff(false), 8 + 78 + 6 + 400 + 512, false, ".tif"},
        {"no SEC at 232", noSec, 0, false},
        {"a Sigma DNG", sigmaTiff(true), 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempImage image(0x1400000);
        image.write(0, c.file);
        auto ctx = contextFor(image.path());
        X3fFileCheck check(*ctx);
        EXPECT_EQ(recognise(check, image.path(), 0), c.length);
        EXPECT_EQ(ctx->found.bRawJpgFileFound, c.preview);
        EXPECT_TRUE(!c.length || check.extensionOfFile() == c.extension) << check.extensionOfFile();
    }
}

}  // namespace
}  // namespace pelorin::test
