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
    chunk.fill(length - chunk.size(), 0x5A);
    return chunk.bytes;
}

Bytes joined(Bytes first, const Bytes& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

TEST(AviFileCheck, RealFileIsItsRiffChunkPlusSlack) {
    const Bytes avi = fixture("avi/tiny.avi");
    ASSERT_EQ(avi.size(), 17350u);  // RIFF size field 17,342 + 8: one RIFF chunk, nothing after it
    TempImage image(256 * 1024);
    image.write(7 * 512, avi);
    auto result = scanImage(image.path(), chunkedMediaTypes());
    EXPECT_EQ(leavesIn(*result.root, "AVI Files"), (std::vector<Leaf>{{7, 17350 + 512}}));
    EXPECT_EQ(result.root->children().size(), 1u);
}

TEST(AviFileCheck, ExtensionChunksFollowingTheFirstAreCounted) {
    // The real file followed by an OpenDML extension chunk of 3,000 bytes.
    const Bytes avi = joined(fixture("avi/tiny.avi"), riffChunk("AVIX", 3000, "LIST"));
    TempImage image(256 * 1024);
    image.write(2 * 512, avi);
    auto ctx = contextFor(image.path());
    AviFileCheck check(*ctx);
    EXPECT_EQ(recognise(check, image.path(), 2), 17350u + 3000 + 512);

    // A first chunk longer than the window puts the extension's head in a
    // later read, on 4,096-byte sectors.
    const Bytes large = joined(riffChunk("AVI ", 70001), riffChunk("AVIX", 12000));
    TempImage wide(512 * 1024);
    wide.write(3 * 4096, large);
    auto wideCtx = contextFor(wide.path(), 4096);
    AviFileCheck wideCheck(*wideCtx);
    EXPECT_EQ(recognise(wideCheck, wide.path(), 3, 4096), 70001u + 12000 + 512);
}

TEST(AviFileCheck, RiffFormsAreToldApartAndNeverClaimedTwice) {
    ScanContext ctx;
    AviFileCheck avi(ctx);
    WavFileCheck wav(ctx);
    MidFileCheck mid(ctx);
    struct Form {
        Bytes head;
        int avi, wav, mid;
    };
    const std::vector<Form> forms{
        {riffChunk("AVI ", 40, "LIST"), 1, 0, 0},
        {riffChunk("AVI ", 40, "JUNK"), 0, 0, 0},
        {riffChunk("WAVE", 40, "fmt "), 0, 1, 0},
        {riffChunk("RMID", 40, "data"), 0, 0, 1},
        {riffChunk("CDXA", 40, "fmt "), 0, 0, 0},
        {riffChunk("AVIX", 40, "LIST"), 0, 0, 0},
    };
    for (const Form& form : forms) {
        const uint8_t* probe = form.head.data();
        const std::string formName(form.head.begin() + 8, form.head.begin() + 16);
        EXPECT_EQ(avi.isFile(probe, 0), form.avi == 1) << formName;
        EXPECT_EQ(wav.isFile(probe, 0), form.wav == 1) << formName;
        EXPECT_EQ(mid.isFile(probe, 0), form.mid == 1) << formName;
    }

    // In a scan an "AVI " form without its LIST lands in no folder at all.
    TempImage image(128 * 1024);
    image.write(0, riffChunk("AVI ", 20000, "JUNK"));
    auto result = scanImage(image.path(), chunkedMediaTypes());
    EXPECT_TRUE(result.root->children().empty());
}

TEST(AviFileCheck, OversizedOrWrappingChunkEndsTheWalkWithTheTotalSoFar) {
    // Each of these stated sizes gives 2,147,483,640 or more once 8 is added
    // (the last two wrap to 0 and 7 in 32 bits): none is counted, none holds the walk.
    for (uint32_t stated : {0x7FFFFFF0u, 0x80000000u, 0xFFFFFFF8u, 0xFFFFFFFFu}) {
        ByteWriter second;
        second.text("RIFF").le32(stated).text("AVIX").fill(100);
        TempImage image(64 * 1024);
        image.write(0, joined(riffChunk("AVI ", 20000), second.bytes));
        auto ctx = contextFor(image.path());
        AviFileCheck check(*ctx);
        EXPECT_EQ(recognise(check, image.path(), 0), 20000u + 512) << stated;
    }
}

TEST(AviFileCheck, SmallFilesAndStoppedWalksGiveNothing) {
    TempImage image(64 * 1024);
    image.write(0, riffChunk("AVI ", 10239));
    image.write(40 * 512, riffChunk("AVI ", 10240));
    auto ctx = contextFor(image.path());
    AviFileCheck check(*ctx);
    EXPECT_EQ(recognise(check, image.path(), 0), 0u);
    EXPECT_EQ(recognise(check, image.path(), 40), 10240u + 512);
    EXPECT_EQ(sizeWhenCancelled(check, *ctx, image.path(), 40), 0u);
}

}  // namespace
}  // namespace pelorin::test
