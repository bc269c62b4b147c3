#include <gtest/gtest.h>

#include "recognisers/media/MidFileCheck.h"
#include "support/MediaTestSupport.h"

namespace pelorin::test {
namespace {

// "MThd" declaring a track count, then tracks of the given stated lengths.
Bytes standardMidi(uint16_t declaredTracks, std::initializer_list<uint32_t> trackLengths) {
    ByteWriter file;
    file.text("MThd").be32(6).be16(1).be16(declaredTracks).be16(96);
    for (uint32_t length : trackLengths) file.text("MTrk").be32(length).fill(length, 0x40);
    return file.bytes;
}

Bytes riffMidi(uint32_t riffSize) {
    ByteWriter file;
    file.text("RIFF").le32(riffSize).text("RMIDdata").le32(riffSize - 12);
    file.append(standardMidi(1, {20}));
    return file.bytes;
}

uint64_t sizeOf(const Bytes& file, uint32_t sectorSize = 512, uint64_t imageSize = 256 * 1024) {
    TempImage image(imageSize);
    image.write(2 * sectorSize, file);
    auto ctx = contextFor(image.path(), sectorSize);
    MidFileCheck check(*ctx);
    return recognise(check, image.path(), 2, sectorSize);
}

TEST(MidFileCheck, RealFilesPlainAndRiffWrapped) {
    const Bytes smf = fixture("midi/scale.mid");
    const Bytes rmi = fixture("midi/scale.rmi");
    // MThd (14) + a tempo track (8 + 11) + a note track (8 + 4,804).
    ASSERT_EQ(smf.size(), 4845u);
    // RIFF size field 4,857 + 8.
    ASSERT_EQ(rmi.size(), 4865u);
    TempImage image(128 * 1024);
    image.write(3 * 512, smf);
    image.write(40 * 512, rmi);
    auto result = scanImage(image.path(), chunkedMediaTypes());
    // Both sizes are exact, without slack.
    EXPECT_EQ(leavesIn(*result.root, "MID Files"), (std::vector<Leaf>{{3, 4845}, {40, 4865}}));
    EXPECT_EQ(result.root->children().size(), 1u);
}

TEST(MidFileCheck, RiffWrappedSizeComesFromTheRiffHeader) {
    EXPECT_EQ(sizeOf(riffMidi(10000)), 10008u);
    EXPECT_EQ(sizeOf(riffMidi(4087)), 0u);
    EXPECT_EQ(sizeOf(riffMidi(4088)), 4096u);
    EXPECT_EQ(sizeOf(riffMidi(0x7FFFFFF1u)), 15728640u);  // 2^31 - 8 exceeded by one
}

TEST(MidFileCheck, TrackWalk) {
    EXPECT_EQ(sizeOf(standardMidi(3, {2000, 2000, 2000})), 6038u);
    // Three declared, two present: the walk stops at the missing one, with slack.
    EXPECT_EQ(sizeOf(standardMidi(3, {3000, 3000})), 14u + 2 * 3008 + 512);
    // A track longer than the window moves the next header into a later read.
    EXPECT_EQ(sizeOf(standardMidi(2, {70000, 1000})), 14u + 70008 + 1008);
    EXPECT_EQ(sizeOf(standardMidi(2, {70000, 1000}), 4096), 14u + 70008 + 1008);
    // Below 4,096 bytes either way: nothing.
    EXPECT_EQ(sizeOf(standardMidi(1, {3000})), 0u);
    EXPECT_EQ(sizeOf(standardMidi(2, {3000})), 0u);
}

TEST(MidFileCheck, HeaderNeedsTheFirstTrackRightAfterIt) {
    ScanContext ctx;
    MidFileCheck check(ctx);
    Bytes file = standardMidi(1, {20});
    EXPECT_TRUE(check.isFile(file.data(), 0));
    file[14] = 'X';
    EXPECT_FALSE(check.isFile(file.data(), 0));
}

TEST(MidFileCheck, CraftedLengthsNeverHoldTheWalk) {
    // A length near 2^32 does not wrap back: the total passes 2^31 - 8.
    ByteWriter huge;
    huge.text("MThd").be32(6).be16(1).be16(2).be16(96).text("MTrk").be32(0xFFFFFFF8u).fill(100);
    EXPECT_EQ(sizeOf(huge.bytes), 15728640u);
    // 65,535 empty tracks still move 8 bytes each, through several windows.
    ByteWriter empty;
    empty.text("MThd").be32(6).be16(1).be16(0xFFFF).be16(96);
    for (int i = 0; i < 0xFFFF; ++i) empty.text("MTrk").be32(0);
    EXPECT_EQ(sizeOf(empty.bytes, 512, 1024 * 1024), 14u + 0xFFFF * 8u);

    TempImage image(64 * 1024);
    image.write(0, standardMidi(3, {2000, 2000, 2000}));
    auto ctx = contextFor(image.path());
    MidFileCheck check(*ctx);
    EXPECT_EQ(sizeWhenCancelled(check, *ctx, image.path(), 0), 0u);
}

}  // namespace
}  // namespace pelorin::test
