#include <gtest/gtest.h>

#include "recognisers/media/MidFileCheck.h"
#include "support/MediaTestSupport.h"

namespace pelorin::test {
namespace {

// "MThd" declaring a track count, then tracks of the given stated lengths.
ByteWriter standardMidi(uint16_t declaredTracks, std::initializer_list<uint32_t> trackLengths) {
    ByteWriter file;
    file.text("MThd").be32(6).be16(1).be16(declaredTracks).be16(96);
    for (uint32_t length : trackLengths) file.text("MTrk").be32(length).fill(length, 0x40);
    return file;
}

Bytes riffMidi(uint32_t riffSize) {
    return ByteWriter().text("RIFF").le32(riffSize).text("RMIDdata").le32(riffSize - 12).append(standardMidi(1, {20}).bytes).bytes;
}

// The real files are scanned with the other chunked types (MpgFileCheckTest).
TEST(MidFileCheck, Walks) {
    ByteWriter empty = standardMidi(0xFFFF, {});
    for (int i = 0; i < 0xFFFF; ++i) empty.text("MTrk").be32(0);
    const std::vector<std::tuple<const char*, Bytes, uint64_t>> cases{
        {"RIFF size", riffMidi(10000), 10008},
        {"RIFF below 4,096", riffMidi(4087), 0},
        {"RIFF of 4,096", riffMidi(4088), 4096},
        {"RIFF past 2^31 - 8", riffMidi(0x7FFFFFF1u), 15728640},
        {"tracks", standardMidi(3, {2000, 2000, 2000}).bytes, 6038},
        // Three declared, two present: the walk stops at the missing one, with slack.
        {"missing track", standardMidi(3, {3000, 3000}).bytes, 14 + 2 * 3008 + 512},
        // A track longer than the window moves the next header into a later read.
        {"long track", standardMidi(2, {70000, 1000}).bytes, 14 + 70008 + 1008},
        {"below 4,096 with a missing track", standardMidi(2, {3000}).bytes, 0},
        // A length near 2^32 does not wrap back: the total passes 2^31 - 8.
        {"huge track", standardMidi(2, {}).text("MTrk").be32(0xFFFFFFF8u).fill(100).bytes, 15728640},
        // Empty tracks still move 8 bytes each, through several windows.
        {"65,535 empty tracks", empty.bytes, 14 + 0xFFFF * 8},
        {"the first track must follow the header", with(standardMidi(1, {5000}).bytes, 14, 'X'), 0},
    };
    for (const auto& [name, file, size] : cases) EXPECT_EQ(sizeOf<MidFileCheck>(file), size) << name;
    EXPECT_EQ(sizeOf<MidFileCheck>(standardMidi(3, {2000, 2000, 2000}).bytes, 2, 512, true), 0u);
}

}  // namespace
}  // namespace pelorin::test
