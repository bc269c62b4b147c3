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

// The real file is scanned with the other chunked types (MpgFileCheckTest).
TEST(AviFileCheck, RiffChunkWalk) {
    // OpenDML extension chunks following the first are counted; a first chunk
    // longer than the window puts the extension's head in a later read.
    EXPECT_EQ(sizeOf<AviFileCheck>(concat({fixture("avi/tiny.avi"), riffChunk("AVIX", 3000)})), 17350u + 3000 + 512);
    const Bytes large = concat({riffChunk("AVI ", 70001), riffChunk("AVIX", 12000)});
    EXPECT_EQ(sizeOf<AviFileCheck>(large), 70001u + 12000 + 512);
    // Below 10,240 bytes nothing is filed.
    EXPECT_EQ(sizeOf<AviFileCheck>(riffChunk("AVI ", 10239)), 0u);
    EXPECT_EQ(sizeOf<AviFileCheck>(riffChunk("AVI ", 10240)), 10240u + 512);
    EXPECT_EQ(sizeOf<AviFileCheck>(riffChunk("AVI ", 10240), 2, 512, true), 0u);
    // Each of these stated sizes gives 2,147,483,640 or more once 8 is added
    // (the second wraps to 0 in 32 bits): neither is counted, neither holds the walk.
    for (uint32_t stated : {0x7FFFFFF0u, 0xFFFFFFF8u}) {
        const Bytes second = ByteWriter().text("RIFF").le32(stated).text("AVIX").fill(100).bytes;
        EXPECT_EQ(sizeOf<AviFileCheck>(concat({riffChunk("AVI ", 20000), second})), 20000u + 512) << stated;
    }
}

TEST(AviFileCheck, RiffFormsAreToldApartAndNeverClaimedTwice) {
    ScanContext ctx;
    AviFileCheck avi(ctx);
    WavFileCheck wav(ctx);
    MidFileCheck mid(ctx);
    // Form and what follows it; which of AVI, WAV and MIDI claims it (one letter each, '-' for none).
    for (const auto& [form, after, claims] : std::vector<std::tuple<const char*, const char*, std::string>>{
             {"AVI ", "LIST", "A--"}, {"AVI ", "JUNK", "---"}, {"WAVE", "fmt ", "-W-"}, {"RMID", "data", "--M"},
             {"CDXA", "fmt ", "---"}, {"AVIX", "LIST", "---"}}) {
        const Bytes head = riffChunk(form, 40, after);
        const auto claimedBy = [&](Recogniser& check, char letter) { return recogniseBytes(check, head.data(), 0) ? letter : '-'; };
        EXPECT_EQ((std::string{claimedBy(avi, 'A'), claimedBy(wav, 'W'), claimedBy(mid, 'M')}), claims) << form << after;
    }
}

}  // namespace
}  // namespace pelorin::test
