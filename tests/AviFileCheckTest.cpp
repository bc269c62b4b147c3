#include <gtest/gtest.h>

#include "recognisers/media/AviFileCheck.h"
#include "recognisers/media/MidFileCheck.h"
#include "recognisers/media/WavFileCheck.h"
#include "support/MediaTestSupport.h"

namespace pelorin::test {
namespace {

// A RIFF chunk of the given form and whole length (header included).
Bytes riffChunk(std::string_view form, uint32_t length, std::string_view afterForm = "LIST") {
    ByteWriter chunk;
    chunk.text("RIFF").le32(length - 8).text(form).text(afterForm);
    return chunk.fill(length - chunk.size(), 0x5A).bytes;
}

TEST(AviFileCheck, RealFileIsItsRiffChunkPlusSlack) {
    const Bytes avi = fixture("avi/tiny.avi");
    ASSERT_EQ(avi.size(), 17350u);  // RIFF size field 17,342 + 8: one RIFF chunk, nothing after it
    const ScanResult scan = scanPlaced({{7, avi}}, chunkedMediaTypes());
    EXPECT_EQ(leavesIn(*scan.root, "AVI Files"), (Leaves{{7, 17350 + 512}}));
    EXPECT_EQ(scan.root->children().size(), 1u);
}

TEST(AviFileCheck, RiffChunkWalk) {
    // OpenDML extension chunks following the first are counted; a first chunk
    // longer than the window puts the extension's head in a later read.
    EXPECT_EQ(sizeOf<AviFileCheck>(concat({fixture("avi/tiny.avi"), riffChunk("AVIX", 3000)})), 17350u + 3000 + 512);
    const Bytes large = concat({riffChunk("AVI ", 70001), riffChunk("AVIX", 12000)});
    EXPECT_EQ(sizeOf<AviFileCheck>(large, 3, 4096), 70001u + 12000 + 512);
    // Below 10,240 bytes nothing is filed.
    EXPECT_EQ(sizeOf<AviFileCheck>(riffChunk("AVI ", 10239)), 0u);
    EXPECT_EQ(sizeOf<AviFileCheck>(riffChunk("AVI ", 10240)), 10240u + 512);
    EXPECT_EQ(sizeOf<AviFileCheck>(riffChunk("AVI ", 10240), 2, 512, true), 0u);
    // Each of these stated sizes gives 2,147,483,640 or more once 8 is added
    // (the last two wrap to 0 and 7 in 32 bits): none is counted, none holds the walk.
    for (uint32_t stated : {0x7FFFFFF0u, 0x80000000u, 0xFFFFFFF8u, 0xFFFFFFFFu}) {
        const Bytes second = ByteWriter().text("RIFF").le32(stated).text("AVIX").fill(100).bytes;
        EXPECT_EQ(sizeOf<AviFileCheck>(concat({riffChunk("AVI ", 20000), second})), 20000u + 512) << stated;
    }
}

TEST(AviFileCheck, RiffFormsAreToldApartAndNeverClaimedTwice) {
    ScanContext ctx;
    AviFileCheck avi(ctx);
    WavFileCheck wav(ctx);
    MidFileCheck mid(ctx);
    struct Form {
        Bytes head;
        bool avi, wav, mid;
    };
    const std::vector<Form> forms{
        {riffChunk("AVI ", 40, "LIST"), true, false, false}, {riffChunk("AVI ", 40, "JUNK"), false, false, false},
        {riffChunk("WAVE", 40, "fmt "), false, true, false}, {riffChunk("RMID", 40, "data"), false, false, true},
        {riffChunk("CDXA", 40, "fmt "), false, false, false}, {riffChunk("AVIX", 40, "LIST"), false, false, false},
    };
    for (const Form& form : forms) {
        const std::string formName(form.head.begin() + 8, form.head.begin() + 16);
        EXPECT_EQ(avi.isFile(form.head.data(), 0), form.avi) << formName;
        EXPECT_EQ(wav.isFile(form.head.data(), 0), form.wav) << formName;
        EXPECT_EQ(mid.isFile(form.head.data(), 0), form.mid) << formName;
    }
}

}  // namespace
}  // namespace pelorin::test
