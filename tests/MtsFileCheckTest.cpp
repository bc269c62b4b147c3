#include <gtest/gtest.h>

#include <random>

#include "recognisers/media/MtsFileCheck.h"
#include "support/MediaTestSupport.h"

namespace pelorin::test {
namespace {

constexpr uint32_t kPmtPid = 0x100, kVideoPid = 0x1011, kAudioPid = 0x1100, kNullPid = 0x1FFF;

Bytes randomBytes(std::size_t count, unsigned seed) {
    std::mt19937 random(seed);
    Bytes bytes(count);
    for (auto& b : bytes) b = uint8_t(random());
    return bytes;
}

// A 192-byte packet: a time code, then a transport packet of the id, with a
// payload only, padded with 0xFF.
Bytes packet(uint32_t pid, bool unitStart, const Bytes& payload = {}, uint8_t afterSync = 0) {
    ByteWriter out;
    out.be32(0x01234567).u8(0x47).be16(afterSync << 8 | (unitStart ? 0x4000 : 0) | pid).u8(0x10).append(payload);
    return out.fill(192 - out.size(), 0xFF).bytes;
}

// A table section after a zero pointer; its CRC is left zero (the walk does not check it).
Bytes section(uint8_t table, const Bytes& body) {
    return ByteWriter().u8(0).u8(table).be16(0xB000 | uint32_t(5 + body.size() + 4)).be16(1).u8(0xC1).u8(0).u8(0)
        .append(body).be32(0).bytes;
}

const Bytes kPat = packet(0, true, section(0x00, ByteWriter().be16(0).be16(0xE010).be16(1).be16(0xE000 | kPmtPid).bytes));
const Bytes kPmt = packet(kPmtPid, true, section(0x02, ByteWriter().be16(0xE000 | kVideoPid).be16(0xF000)
                                                      .u8(0x1B).be16(0xE000 | kVideoPid).be16(0xF000)
                                                      .u8(0x81).be16(0xE000 | kAudioPid).be16(0xF003).fill(3, 0x11).bytes));
const Bytes kSdt = packet(0x11, true, section(0x42, Bytes(20, 0x33)));

// A clip: tables first, then streams, with the null packet and repeated tables among them.
Bytes clip(int rounds) {
    ByteWriter out;
    out.append(kPat).append(kPmt);
    for (int i = 0; i < rounds; ++i)
        out.append(packet(kVideoPid, i % 3 == 0, randomBytes(100, i))).append(packet(kAudioPid, true, randomBytes(184, i)))
            .append(packet(kNullPid, false)).append(i % 5 == 4 ? kPat : packet(kVideoPid, false, randomBytes(184, i + 1)));
    return out.bytes;
}

Sized mtsSized(const Bytes& file, uint32_t sectorSize = 512) {
    TempImage image;
    image.write(2 * sectorSize, file);
    image.resize((image.size() + sectorSize - 1) / sectorSize * sectorSize);  // the source ends where the file does
    auto ctx = contextFor(image.path(), sectorSize);
    MtsFileCheck check(*ctx);
    return sizeOn(check, *ctx, image.path(), 2);
}

TEST(MtsFileCheck, AClipStartsWithATableAndPacketsInStep) {
    const Bytes good = clip(3);
    const std::vector<std::tuple<const char*, Bytes, bool>> cases{
        {"association table first", good, true},
        {"service table first", concat({kSdt, good}), true},
        {"no sync byte", with(good, 4, 0x48), false},
        {"a stream's packet first", concat({packet(kVideoPid, true, Bytes(184, 1)), good}), false},
        {"a table's packet that starts no section", concat({packet(0x11, false, Bytes(184, 1)), good}), false},
        {"an error flagged", concat({packet(0x11, true, section(0x42, {}), 0x80), good}), false},
        {"stuffing where the table would be", concat({packet(0x11, true, Bytes(184, 0xFF)), good}), false},
        {"the fourth packet out of step", with(good, 3 * 192 + 4, 0), false},
        {"fewer than four packets", concat({kPat, kPmt, packet(kVideoPid, true, Bytes(100, 1))}), false},
    };
    for (const auto& [name, file, found] : cases) EXPECT_EQ(mtsSized(file).size != 0, found) << name;
}

// The clip goes on while packets are in step and their ids are known.
TEST(MtsFileCheck, ClipLengths) {
    const Bytes good = clip(20);
    const Bytes stray = packet(0x0777, true, Bytes(184, 1));
    const std::vector<std::tuple<const char*, Bytes, uint64_t>> cases{
        {"random bytes after", concat({good, randomBytes(4000, 1)}), good.size()},
        {"zeros after", concat({good, Bytes(4000)}), good.size()},
        {"a packet of an id no table lists", concat({good, stray, good}), good.size()},
        {"an error flagged", concat({good, packet(kVideoPid, false, {}, 0x80), good}), good.size()},
        // The packet the source ends in is the file's last, cut where the source ends.
        {"cut short", Bytes(good.begin(), good.end() - 100), good.size()},
    };
    for (const auto& [name, file, size] : cases) EXPECT_EQ(mtsSized(file), (Sized{size, true})) << name;
}

// A clip is one file: the tables it repeats, here one on a sector's first
// byte, start no file of their own; and its last packet is cut where the source ends.
TEST(MtsFileCheck, OneClipIsOneFile) {
    Bytes file = clip(20);
    std::copy(kPat.begin(), kPat.end(), file.begin() + 24 * 192);  // sector 9 of the clip
    const Bytes cut(file.begin(), file.end() - 100);
    const ScanResult result = scanPlaced({{2, file}, {100, cut}}, selectionOf({FileType::Mts}));
    EXPECT_EQ(leavesIn(*result.root, "MTS Files"), (Leaves{{2, file.size()}, {100, cut.size()}}));
}

TEST(MtsFileCheck, RealClipIsExact) {
    const Bytes clip = fixture("mts/testsrc.mts");
    for (uint32_t sectorSize : {512u, 4096u}) {
        EXPECT_EQ(mtsSized(concat({clip, randomBytes(5000, 2)}), sectorSize).size, clip.size());
        EXPECT_EQ(mtsSized(concat({clip, Bytes(5000)}), sectorSize).size, clip.size());
    }
}

}  // namespace
}  // namespace pelorin::test
