#include <gtest/gtest.h>

#include "recognisers/media/MpgFileCheck.h"
#include "support/MediaTestSupport.h"

namespace pelorin::test {
namespace {

// An MPEG-1 pack header: the start code and eight bytes of clock fields.
ByteWriter& packHeader(ByteWriter& stream) { return stream.be32(0x1BA).u8(0x21).fill(7, 0x11); }

ByteWriter& packet(ByteWriter& stream, uint32_t startCode, uint16_t payload) {
    return stream.be32(startCode).be16(payload).fill(payload, 0x22);
}

// Packs of a 12-byte header and one video packet each: 18 + payload bytes a pack.
Bytes programStream(int packs, uint16_t payload) {
    ByteWriter stream;
    for (int i = 0; i < packs; ++i) packet(packHeader(stream), 0x1E0, payload);
    return stream.bytes;
}

const Bytes kProgramEnd{0x00, 0x00, 0x01, 0xB9};

// A sequence header of the given picture size, then a group of pictures and
// a picture start code: a video stream's structure codes end at byte 24.
ByteWriter videoStreamHead(uint32_t width, uint32_t height) {
    ByteWriter stream;
    stream.be32(0x1B3).u8(uint8_t(width >> 4)).u8(uint8_t((width & 0xF) << 4 | height >> 8)).u8(uint8_t(height));
    stream.u8(0x13).be32(0xFFFFE018).be32(0x1B8).be32(0x00080040).be32(0x100).be32(0x000FFFF8);
    return stream;
}

// Real files of the eight chunked types (RealAudio and AMR built) in one
// scan with all eight ticked: each is found at its sector with its length, by
// its own type only.
TEST(ChunkedMedia, RealFilesInOneScan) {
    ByteWriter ra, narrow, wide;
    ra.text(".ra\xFD").be16(4).be16(0).text(".ra4").be32(20000).be16(4).fill(19998, 0x33).text("RaTC").be32(60).fill(60);
    narrow.text("#!AMR\n");
    for (int i = 0; i < 1000; ++i) narrow.u8(0x3C).fill(31, 0x77);
    wide.text("#!AMR-WB\n");
    for (int i = 0; i < 300; ++i) wide.u8(0x44).fill(60, 0x77);
    wide.u8(0x4C).u8(0x44).fill(60, 0x77);  // a comfort-noise frame ends the file
    const ScanResult scan = scanPlaced(
        {{10, fixture("mpeg/tiny-mpeg1.mpg")}, {34, fixture("wav/tiny.wav")}, {80, fixture("mpeg/tiny-mpeg2.vob")},
         {160, fixture("mpeg/tiny.m1v")}, {220, fixture("mpeg/tiny.m2v")}, {300, fixture("avi/tiny.avi")},
         {400, fixture("aiff/tiny.aiff")}, {440, fixture("midi/scale.mid")}, {480, fixture("midi/scale.rmi")},
         {520, ra.bytes}, {600, fixture("rm/tiny.rm")}, {640, narrow.bytes}, {720, wide.bytes}},
        selectionOf({FileType::Mpg, FileType::Amr, FileType::Ra, FileType::Rm, FileType::Aif, FileType::Mid,
                     FileType::Avi, FileType::Wav}),
        512, 1024 * 1024);
    // Neither program stream ends with a program end code: the MPEG-1 walk
    // steps 51 bytes into the WAV header before it gives up, the MPEG-2 one
    // finds nothing 11,620 bytes on, then takes 101 single steps over zeros.
    // Both exceed 10,240 bytes, so the skip ends at the stream's last whole
    // sector and the WAV file is found. The video streams end at their last
    // structure code (picture start 3,632; picture coding extension 3,272).
    EXPECT_EQ(leavesIn(*scan.root, "MPG Files"), (Leaves{{10, 12288 + 51}, {80, 14336 + 101}, {160, 3636}, {220, 3276}}));
    EXPECT_EQ(leavesIn(*scan.root, "WAV Files"), (Leaves{{34, 4844}}));  // RIFF size field + 8
    EXPECT_EQ(leavesIn(*scan.root, "AVI Files"), (Leaves{{300, 17350 + 512}}));  // one RIFF chunk
    // COMM (18 + 8) and SSND (4,808 + 8): the file less its 12-byte FORM header.
    EXPECT_EQ(leavesIn(*scan.root, "AIFF Files"), (Leaves{{400, 26 + 4816 + 512}}));
    EXPECT_EQ(leavesIn(*scan.root, "MID Files"), (Leaves{{440, 4845}, {480, 4865}}));  // exact, no slack
    EXPECT_EQ(leavesIn(*scan.root, "RA Files"), (Leaves{{520, 20016 + 68}}));
    // The writer's DATA size runs 10 bytes past its file; the chain is taken as stated.
    EXPECT_EQ(leavesIn(*scan.root, "RM Files"), (Leaves{{600, 3060}}));
    EXPECT_EQ(leavesIn(*scan.root, "AMR Files"), (Leaves{{640, 6 + 1000 * 32}, {720, 9 + 300 * 61}}));
    EXPECT_EQ(scan.root->children().size(), 8u);
}

TEST(MpgFileCheck, HeaderTestFindsTheNextStartCodeWithinFiftyBytes) {
    TempImage image(64 * 1024);
    image.write(0, programStream(1, 100));  // the packet follows the pack header at 12
    image.write(1 * 512, ByteWriter().be32(0x1BA).fill(46, 0x11).be32(0x1BB).fill(20, 0x11).bytes);  // at 50
    image.write(2 * 512, ByteWriter().be32(0x1BA).fill(45, 0x11).be32(0x1BB).fill(20, 0x11).bytes);  // at 49
    image.write(3 * 512, videoStreamHead(64, 48).bytes);  // group of pictures at 12
    image.write(40 * 512, ByteWriter().be32(0x1B3).fill(60, 0x11).bytes);  // beyond the search of the stream at 3

    auto ctx = contextFor(image.path());
    MpgFileCheck check(*ctx);
    // Sector and the header test's answer.
    for (const auto& [sector, accepted] : std::vector<std::pair<uint64_t, bool>>{
             {0, true}, {1, false}, {2, true}, {40, false}, {3, true}})
        EXPECT_EQ(recogniseAt(check, image.path(), sector).has_value(), accepted) << sector;
    // Sized as a video stream: past the picture start code at 20, nothing more.
    EXPECT_EQ(recogniseAt(check, image.path(), 3)->size, 24u);
}

TEST(MpgFileCheck, StreamWalks) {
    const Bytes before = programStream(3, 1000);  // 3,054 bytes
    // 20-byte pack headers with a stream id at 12 that the header test passes
    // over: the video packet at 20 sets the pack length, as the header test found.
    ByteWriter longPacks, empty;
    for (int i = 0; i < 3; ++i)
        packet(longPacks.be32(0x1BA).fill(8, 0x11).be32(0x1C5).be16(0x0100).fill(2, 0x11), 0x1E0, 500);
    // Empty packets still take their six bytes.
    packHeader(empty);
    for (int i = 0; i < 20000; ++i) packet(empty, 0x1E0, 0);
    const uint64_t videoBudget = 352 * 288 * 3 + 2 * 512;
    auto videoGap = [](uint64_t gap) {
        return videoStreamHead(352, 288).fill(gap - 4, 0x5A).be32(0x100).be32(0x000FFFF8).be32(0x1B7).bytes;
    };
    const std::vector<std::tuple<const char*, Bytes, Sized>> cases{
        {"packs hopped by the length the header test found", concat({longPacks.bytes, kProgramEnd}), {3 * 526 + 4, false}},
        {"empty packets", concat({empty.bytes, kProgramEnd}), {12 + 20000 * 6 + 4, true}},
        {"end code: too few bytes to skip", concat({programStream(4, 1981), kProgramEnd}), {8000, false}},
        // The four end bytes count, the zeros after them do not.
        {"real file with an end code", concat({fixture("mpeg/tiny-mpeg1.mpg"), kProgramEnd}), {12292, true}},
        {"an end code followed by a pack: the stream goes on",
         concat({programStream(3, 1000), kProgramEnd, programStream(2, 500), kProgramEnd}), {3 * 1018 + 4 + 1036 + 4, false}},
        // A pack header lies 11,620 bytes after the break.
        {"look ahead over a gap", concat({before, Bytes(5000, 0x5A), Bytes(6620), programStream(2, 1000), kProgramEnd}),
         {3054 + 11620 + 2036 + 4, true}},
        // Nothing 11,620 bytes on: single steps, at most 50 over other bytes and 100 over zeros.
        {"foreign data after", concat({before, Bytes(20000, 0x5A)}), {3054 + 51, false}},
        {"zeros after", before, {3054 + 101, false}},
        // A look ahead that finds nothing leaves the walk's own window alone.
        {"short foreign gap", concat({before, Bytes(30, 0x5A), programStream(2, 1000), kProgramEnd}),
         {3054 + 30 + 2036 + 4, false}},
        {"next picture within the budget", videoGap(videoBudget - 1), {24 + videoBudget - 1 + 12, true}},
        {"next picture out of reach", videoGap(videoBudget), {24, false}},
        {"a picture of no size still searches two sectors", videoStreamHead(0, 0).bytes, {24, false}},
    };
    for (const auto& [name, stream, expected] : cases) EXPECT_EQ(sized<MpgFileCheck>(stream, 4), expected) << name;
    EXPECT_EQ(sizeOf<MpgFileCheck>(programStream(40, 2000), 0, 512, true), 0u);  // stopped
    EXPECT_EQ(sizeOf<MpgFileCheck>(videoStreamHead(64, 48).bytes, 0, 512, true), 4u);
}


}  // namespace
}  // namespace pelorin::test
