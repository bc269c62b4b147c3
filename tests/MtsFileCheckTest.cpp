#include <gtest/gtest.h>

#include "recognisers/media/MtsFileCheck.h"
#include "support/MediaTestSupport.h"

namespace pelorin::test {
namespace {

constexpr uint32_t kPmtPid = 0x100, kVideoPid = 0x1011, kAudioPid = 0x1100, kNullPid = 0x1FFF;

// A 192-byte packet: a time code, then a transport packet of the id with a
// payload only (padded with 0xFF); `flags` go into the byte after the sync byte.
Bytes packet(uint32_t pid, bool unitStart, const Bytes& payload = {}, uint8_t flags = 0) {
    ByteWriter out;
    out.be32(0x01234567).u8(0x47).be16(flags << 8 | (unitStart ? 0x4000 : 0) | pid).u8(0x10).append(payload);
    return out.fill(192 - out.size(), 0xFF).bytes;
}

// A table section after a zero pointer; its CRC is left zero (the walk does not check it).
Bytes section(uint8_t table, const Bytes& body) {
    return ByteWriter().u8(0).u8(table).be16(0xB000 | uint32_t(9 + body.size())).be16(1).u8(0xC1).fill(2).append(body).fill(4).bytes;
}

// The association table lists the map table; the map table the clock, video and audio.
const Bytes kPat = packet(0, true, section(0x00, ByteWriter().be16(0).be16(0xE010).be16(1).be16(0xE000 | kPmtPid).bytes));
const Bytes kPmt = packet(kPmtPid, true, section(0x02, ByteWriter().be16(0xE000 | kVideoPid).be16(0xF000).u8(0x1B)
                                                      .be16(0xE000 | kVideoPid).be16(0xF000).u8(0x81)
                                                      .be16(0xE000 | kAudioPid).be16(0xF003).fill(3, 0x11).bytes));

Bytes clip(int rounds) {
    ByteWriter out;
    out.append(kPat).append(kPmt);
    for (int i = 0; i < rounds; ++i)
        out.append(packet(kVideoPid, i % 3 == 0, randomBytes(100, i))).append(packet(kAudioPid, true, randomBytes(184, i)))
            .append(packet(kNullPid, false)).append(i % 5 == 4 ? kPat : packet(kVideoPid, false, randomBytes(184, i + 1)));
    return out.bytes;
}

// A clip starts with a table and four packets in step, and goes on while
// packets are in step and their ids are those of tables or of the tables' lists.
TEST(MtsFileCheck, Lengths) {
    const Bytes good = clip(20), tail = randomBytes(4000, 1);
    const Bytes sdt = packet(0x11, true, section(0x42, Bytes(20, 0x33)));
    const std::vector<std::tuple<const char*, Bytes, uint64_t>> cases{
        {"random bytes after", concat({good, tail}), good.size()},
        {"zeros after", concat({good, Bytes(4000)}), good.size()},
        {"a service table first", concat({sdt, good, tail}), sdt.size() + good.size()},
        {"a packet of an id no table lists", concat({good, packet(0x0777, true, Bytes(184, 1)), good}), good.size()},
        {"an error flagged", concat({good, packet(kVideoPid, false, {}, 0x80), good}), good.size()},
        {"no sync byte first", with(good, 4, 0x48), 0},
        {"a stream's packet first", concat({packet(kVideoPid, true, Bytes(184, 1)), good}), 0},
        {"a table's packet that starts no section", concat({packet(0x11, false, Bytes(184, 1)), good}), 0},
        {"stuffing where the table would be", concat({packet(0x11, true, Bytes(184, 0xFF)), good}), 0},
        {"the fourth packet out of step", with(good, 3 * 192 + 4, 0), 0},
    };
    for (const auto& [name, file, size] : cases) EXPECT_EQ(sized<MtsFileCheck>(file), (Sized{size, size != 0})) << name;
}

// One clip is one file: the tables it repeats, here one on a sector's first
// byte, start no file of their own; its last packet is cut where the source ends.
TEST(MtsFileCheck, OneClipIsOneFile) {
    Bytes file = clip(20);
    std::copy(kPat.begin(), kPat.end(), file.begin() + 24 * 192);  // sector 9 of the clip
    const Bytes cut(file.begin(), file.end() - 100);
    const ScanResult result = scanPlaced({{2, file}, {100, cut}}, selectionOf({FileType::Mts}));
    EXPECT_EQ(leavesIn(*result.root, "MTS Files"), (Leaves{{2, file.size()}, {100, cut.size()}}));
}

TEST(MtsFileCheck, RealClipIsExact) {
    const Bytes real = fixture("mts/testsrc.mts");
    for (uint32_t sectorSize : {512u, 4096u}) {
        EXPECT_EQ(sizeOf<MtsFileCheck>(concat({real, randomBytes(5000, 2)}), 2, sectorSize), real.size());
        EXPECT_EQ(sizeOf<MtsFileCheck>(concat({real, Bytes(5000)}), 2, sectorSize), real.size());
    }
}

}  // namespace
}  // namespace pelorin::test
