#include <gtest/gtest.h>

#include "recognisers/media/MpgFileCheck.h"
#include "support/MediaTestSupport.h"

namespace pelorin::test {
namespace {

// An MPEG-1 pack header: the start code and eight bytes of clock fields.
void packHeader(ByteWriter& stream) { stream.be32(0x1BA).u8(0x21).fill(7, 0x11); }

void packet(ByteWriter& stream, uint32_t startCode, uint16_t payload) {
    stream.be32(startCode).be16(payload).fill(payload, 0x22);
}

// Packs of a 12-byte header and one video packet each: 18 + payload bytes a pack.
Bytes programStream(int packs, uint16_t payload) {
    ByteWriter stream;
    for (int i = 0; i < packs; ++i) {
        packHeader(stream);
        packet(stream, 0x1E0, payload);
    }
    return stream.bytes;
}

Bytes joined(std::initializer_list<Bytes> parts) {
    ByteWriter all;
    for (const Bytes& part : parts) all.append(part);
    return all.bytes;
}

const Bytes kProgramEnd{0x00, 0x00, 0x01, 0xB9};

// A sequence header of the given picture size, then a group of pictures and
// a picture start code: a video stream's structure codes end at byte 24.
ByteWriter videoStreamHead(uint32_t width, uint32_t height) {
    ByteWriter stream;
    stream.be32(0x1B3).u8(uint8_t(width >> 4)).u8(uint8_t((width & 0xF) << 4 | height >> 8)).u8(uint8_t(height));
    stream.u8(0x13).be32(0xFFFFE018);
    stream.be32(0x1B8).be32(0x00080040);
    stream.be32(0x100).be32(0x000FFFF8);
    return stream;
}

struct Sized {
    uint64_t size;
    bool skip;
};

Sized sizeOf(const Bytes& stream, uint64_t imageSize = 256 * 1024) {
    TempImage image(imageSize);
    image.write(4 * 512, stream);
    auto ctx = contextFor(image.path());
    MpgFileCheck check(*ctx);
    const uint64_t size = recognise(check, image.path(), 4);
    return {size, ctx->bSkipFileSize};
}

TEST(MpgFileCheck, RealProgramStreamsAreFoundAndSkipped) {
    const Bytes mpeg1 = fixture("mpeg/tiny-mpeg1.mpg");
    const Bytes mpeg2 = fixture("mpeg/tiny-mpeg2.vob");
    ASSERT_EQ(mpeg1.size(), 12288u);
    ASSERT_EQ(mpeg2.size(), 14336u);
    TempImage image(128 * 1024);
    image.write(10 * 512, mpeg1);
    image.write(80 * 512, mpeg2);
    auto result = scanImage(image.path(), chunkedMediaTypes());
    // Every pack and packet of both files is hopped over (12- and 14-byte pack
    // headers); neither ends with a program end code, so the walk goes on over
    // the zeros behind it: nothing 11,620 bytes on, then 101 single steps.
    // Both exceed 10,240 bytes, so the packs inside them (the MPEG-1 file has
    // one at its sector 12) are skipped rather than found again.
    EXPECT_EQ(leavesIn(*result.root, "MPG Files"), (std::vector<Leaf>{{10, 12288 + 101}, {80, 14336 + 101}}));
    EXPECT_EQ(result.root->children().size(), 1u);
}

TEST(MpgFileCheck, ScanGoesOnRightAfterASkippedStream) {
    const Bytes mpeg1 = fixture("mpeg/tiny-mpeg1.mpg");  // sectors 10 to 33
    const Bytes wav = fixture("wav/tiny.wav");
    TempImage image(128 * 1024);
    image.write(10 * 512, mpeg1);
    image.write(34 * 512, wav);
    auto result = scanImage(image.path(), chunkedMediaTypes());
    // The walk steps 51 bytes into the WAV header (no zero word among them)
    // before it gives up; the skip still ends at the stream's last whole
    // sector, so the WAV file right after it is found.
    EXPECT_EQ(leavesIn(*result.root, "MPG Files"), (std::vector<Leaf>{{10, 12288 + 51}}));
    EXPECT_EQ(leavesIn(*result.root, "WAV Files"), (std::vector<Leaf>{{34, 4844}}));
}

TEST(MpgFileCheck, RealVideoStreamsEndAfterTheirLastStructureCode) {
    const Bytes m1v = fixture("mpeg/tiny.m1v");
    const Bytes m2v = fixture("mpeg/tiny.m2v");
    TempImage image(64 * 1024);
    image.write(2 * 512, m1v);
    image.write(60 * 512, m2v);
    auto result = scanImage(image.path(), chunkedMediaTypes());
    // Neither file has a sequence end code. The last structure codes are the
    // picture start code at 3,632 (MPEG-1) and the picture coding extension at
    // 3,272 (MPEG-2); the slices after them are not structure codes.
    EXPECT_EQ(leavesIn(*result.root, "MPG Files"), (std::vector<Leaf>{{2, 3636}, {60, 3276}}));
    EXPECT_EQ(result.root->children().size(), 1u);
}

TEST(MpgFileCheck, HeaderTestFindsTheNextStartCodeWithinFiftyBytes) {
    TempImage image(64 * 1024);
    const Bytes mpeg1Pack = programStream(1, 100);  // the packet follows the pack header at 12
    image.write(0, mpeg1Pack);
    ByteWriter farPack;  // first start code after the pack header at 50
    farPack.be32(0x1BA).fill(46, 0x11).be32(0x1BB).fill(20, 0x11);
    image.write(1 * 512, farPack.bytes);
    ByteWriter nearPack;  // ... and at 49
    nearPack.be32(0x1BA).fill(45, 0x11).be32(0x1BB).fill(20, 0x11);
    image.write(2 * 512, nearPack.bytes);
    ByteWriter sequence = videoStreamHead(64, 48);  // group of pictures at 12
    image.write(3 * 512, sequence.bytes);
    ByteWriter bareSequence;
    bareSequence.be32(0x1B3).fill(60, 0x11);
    image.write(40 * 512, bareSequence.bytes);  // beyond the search of the stream at 3

    auto ctx = contextFor(image.path());
    MpgFileCheck check(*ctx);
    uint8_t probe[kProbeSize];
    auto isFileAt = [&](uint64_t sector) {
        readAt(image.path(), sector * 512, {probe, kProbeSize});
        return check.isFile(probe, sector);
    };
    ctx->uBAFrameValue = 99;
    EXPECT_TRUE(isFileAt(0));
    EXPECT_EQ(ctx->uBAFrameValue, 12u);
    EXPECT_FALSE(isFileAt(1));
    EXPECT_EQ(ctx->uBAFrameValue, 12u);  // only a successful test changes it
    EXPECT_TRUE(isFileAt(2));
    EXPECT_EQ(ctx->uBAFrameValue, 49u);
    EXPECT_TRUE(isFileAt(3));
    // Sized as a video stream: past the picture start code at 20, nothing more.
    EXPECT_EQ(check.fileSizeCalculation(probe, 3), 24u);
    EXPECT_FALSE(isFileAt(40));
}

TEST(MpgFileCheck, EveryPackIsTakenAsLongAsTheHeaderTestFound) {
    // 20-byte pack headers with a stream id at 12 that the header test passes
    // over (it is not one it looks for): the video packet at 20 sets the pack
    // length. Hopping packs by any other length lands inside them.
    ByteWriter stream;
    for (int i = 0; i < 3; ++i) {
        stream.be32(0x1BA).fill(8, 0x11).be32(0x1C5).be16(0x0100).fill(2, 0x11);
        packet(stream, 0x1E0, 500);
    }
    stream.append(kProgramEnd);
    EXPECT_EQ(sizeOf(stream.bytes).size, 3u * (20 + 506) + 4);
}

TEST(MpgFileCheck, ProgramEndCodeEndsOrResumesTheStream) {
    // 4 packs of 1,999 bytes and the end code: 8,000 bytes, too few to skip.
    const Sized small = sizeOf(joined({programStream(4, 1981), kProgramEnd}));
    EXPECT_EQ(small.size, 8000u);
    EXPECT_FALSE(small.skip);
    // The real file with an end code appended: the four end bytes count, the
    // zeros after them do not.
    const Sized ended = sizeOf(joined({fixture("mpeg/tiny-mpeg1.mpg"), kProgramEnd}));
    EXPECT_EQ(ended.size, 12292u);
    EXPECT_TRUE(ended.skip);
    // An end code followed by a pack: the stream goes on.
    const Sized resumed =
        sizeOf(joined({programStream(3, 1000), kProgramEnd, programStream(2, 500), kProgramEnd}));
    EXPECT_EQ(resumed.size, 3u * 1018 + 4 + 2 * 518 + 4);
}

TEST(MpgFileCheck, LookAheadJumpsAGapOfForeignData) {
    const Bytes before = programStream(3, 1000);  // 3,054 bytes
    ByteWriter gap;
    gap.fill(5000, 0x5A).fill(11620 - 5000, 0x00);  // a pack header lies 11,620 bytes after the break
    const Sized jumped = sizeOf(joined({before, gap.bytes, programStream(2, 1000), kProgramEnd}));
    EXPECT_EQ(jumped.size, 3054u + 11620 + 2036 + 4);
    EXPECT_TRUE(jumped.skip);

    // Nothing the stream could go on with 11,620 bytes on: single steps, at
    // most 50 over other bytes and 100 over zeros, then the walk ends.
    ByteWriter foreign;
    foreign.fill(20000, 0x5A);
    EXPECT_EQ(sizeOf(joined({before, foreign.bytes})).size, 3054u + 51);
    EXPECT_EQ(sizeOf(before).size, 3054u + 101);

    // A look ahead that finds nothing leaves the walk's own window alone: the
    // 30 foreign bytes are stepped over and the stream after them goes on.
    ByteWriter shortGap;
    shortGap.fill(30, 0x5A);
    EXPECT_EQ(sizeOf(joined({before, shortGap.bytes, programStream(2, 1000), kProgramEnd})).size,
              3054u + 30 + 2036 + 4);
}

TEST(MpgFileCheck, VideoStreamGapIsBoundedByThePictureSize) {
    const uint64_t budget = 352 * 288 * 3 + 2 * 512;
    for (uint64_t gap : {budget - 1, budget}) {
        ByteWriter stream = videoStreamHead(352, 288);
        stream.fill(gap - 4, 0x5A);  // after the picture header's four bytes
        stream.be32(0x100).be32(0x000FFFF8).be32(0x1B7);
        const Sized sized = sizeOf(stream.bytes, 1024 * 1024);
        if (gap < budget) {
            EXPECT_EQ(sized.size, 24 + gap + 4 + 4 + 4) << "next picture within reach";
            EXPECT_TRUE(sized.skip);
        } else {
            EXPECT_EQ(sized.size, 24u) << "next picture out of reach";
            EXPECT_FALSE(sized.skip);
        }
    }
}

TEST(MpgFileCheck, CraftedStreamsAlwaysMoveOnAndStop) {
    // Empty packets still take their six bytes.
    ByteWriter empty;
    packHeader(empty);
    for (int i = 0; i < 20000; ++i) packet(empty, 0x1E0, 0);
    empty.append(kProgramEnd);
    EXPECT_EQ(sizeOf(empty.bytes).size, 12u + 20000 * 6 + 4);
    // A picture of no width or height still searches two sectors.
    ByteWriter noPicture = videoStreamHead(0, 0);
    EXPECT_EQ(sizeOf(noPicture.bytes).size, 24u);

    TempImage image(128 * 1024);
    image.write(0, programStream(40, 2000));
    image.write(100 * 1024, videoStreamHead(64, 48).bytes);
    auto ctx = contextFor(image.path());
    MpgFileCheck check(*ctx);
    EXPECT_EQ(sizeWhenCancelled(check, *ctx, image.path(), 0), 0u);
    ctx->bCancelScanning = false;
    EXPECT_EQ(sizeWhenCancelled(check, *ctx, image.path(), 200), 4u);
}

}  // namespace
}  // namespace pelorin::test
