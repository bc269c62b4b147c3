#include <gtest/gtest.h>

#include <random>

#include "recognisers/media/FlacFileCheck.h"
#include "recognisers/media/MsbFirstCrc.h"
#include "support/MediaTestSupport.h"

namespace pelorin::test {
namespace {

constexpr uint32_t kBlock = 4096;

Bytes randomBytes(std::size_t count, unsigned seed) {
    std::mt19937 random(seed);
    Bytes bytes(count);
    for (auto& b : bytes) b = uint8_t(random());
    return bytes;
}

// "fLaC" and STREAMINFO for 4,096-sample blocks of 16-bit mono at 44.1 kHz,
// then the other metadata blocks given (type and length).
Bytes flacHeader(uint64_t totalSamples, std::vector<std::pair<uint8_t, uint32_t>> blocks = {}) {
    ByteWriter out;
    out.text("fLaC").u8(blocks.empty() ? 0x80 : 0).be16(0).u8(34).be16(kBlock).be16(kBlock).fill(6);
    out.be64(uint64_t{44100} << 44 | uint64_t{15} << 36 | totalSamples).fill(16);
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const auto [type, length] = blocks[i];
        out.u8(uint8_t(type | (i + 1 == blocks.size() ? 0x80 : 0))).u8(uint8_t(length >> 16)).be16(length & 0xFFFF);
        out.fill(length);
    }
    return out.bytes;
}

// A frame of a fixed-block stream: its header (the rate and sample size
// those of STREAMINFO), `length` bytes of random payload and the CRC-16.
Bytes flacFrame(uint8_t number, std::size_t length, unsigned seed) {
    ByteWriter out;
    out.append({0xFF, 0xF8, 0xC0, 0x00, number});
    uint8_t crc8 = 0;
    for (uint8_t b : out.bytes) crc8 = Crc8::update(crc8, b);
    out.u8(crc8).append(randomBytes(length, seed));
    uint16_t crc16 = 0;
    for (uint8_t b : out.bytes) crc16 = Crc16::update(crc16, b);
    return out.be16(crc16).bytes;
}

Bytes frames(std::initializer_list<uint8_t> numbers) {
    ByteWriter out;
    for (uint8_t number : numbers) out.append(flacFrame(number, 700 + 37 * number, number));
    return out.bytes;
}

TEST(FlacFileCheck, HeaderTest) {
    ScanContext ctx;
    FlacFileCheck check(ctx);
    const Bytes good = flacHeader(0);
    for (const auto& [probe, expected] : std::vector<std::pair<Bytes, bool>>{
             {good, true}, {with(good, 4, 0x80), true},  // STREAMINFO, last block or not
             {with(good, 0, 'F'), false}, {with(good, 4, 0x01), false},  // another block first
             {with(good, 7, 33), false},                                 // STREAMINFO has 34 bytes
             {with(good, 9, 15), false},                                 // blocks of fewer than 16 samples
             {with(good, 10, 0x0F), false},                              // the largest block below the smallest
             {with(with(with(good, 18, 0), 19, 0), 20, 0x0F), false}})   // no sample rate
        EXPECT_EQ(recogniseBytes(check, probe.data(), 0).has_value(), expected);
}

// Frames have no length field: each must end where its CRC-16 checks.
TEST(FlacFileCheck, FrameWalks) {
    const Bytes three = frames({0, 1, 2});
    const Bytes twoFrames = frames({0, 1});
    const Bytes tail = randomBytes(5000, 99);
    const Bytes known = flacHeader(2 * kBlock + 1000);
    const Bytes padded = flacHeader(2 * kBlock + 1000, {{1, 300}, {4, 40}});
    const std::vector<std::tuple<const char*, Bytes, uint64_t>> cases{
        // The third frame reaches the total: the file ends where its CRC-16 checks.
        {"known total, random bytes after", concat({known, three, tail}), known.size() + three.size()},
        {"metadata blocks before the frames", concat({padded, three, tail}), padded.size() + three.size()},
        // Unknown total: frames are walked while they check.
        {"unknown total, random bytes after", concat({flacHeader(0), three, tail}), 42 + three.size()},
        {"unknown total, zeros after", concat({flacHeader(0), three, Bytes(5000)}), 42 + three.size()},
        // A frame that does not check ends the file after the last one that does.
        {"cut short in the last frame", concat({known, Bytes(three.begin(), three.end() - 300)}),
         known.size() + twoFrames.size()},
        {"a frame out of order", concat({known, frames({0, 1, 3}), tail}), known.size() + twoFrames.size()},
        {"a header whose CRC-8 fails", concat({known, twoFrames, with(flacFrame(2, 800, 2), 5, 0), tail}),
         known.size() + twoFrames.size()},
    };
    for (const auto& [name, file, size] : cases) EXPECT_EQ(sized<FlacFileCheck>(file), (Sized{size, true})) << name;
}

// A metadata block whose length runs past the source: the file runs to its end, which the scan cuts.
TEST(FlacFileCheck, MetadataPastTheSourceEnd) {
    const Bytes file = flacHeader(0, {{6, 0xFFFFFF}});
    const Bytes cut(file.begin(), file.begin() + 4000);
    EXPECT_EQ(sizeOf<FlacFileCheck>(cut), 46u + 0xFFFFFF);
    const ScanResult result = scanPlaced({{3, cut}}, selectionOf({FileType::Flac}));
    EXPECT_EQ(leavesIn(*result.root, "FLAC Files"), (Leaves{{3, 4000}}));
}

// Real files, with and without the totals in STREAMINFO (written to a pipe, ffmpeg leaves them 0).
TEST(FlacFileCheck, RealFilesAreExact) {
    for (const char* name : {"flac/sine.flac", "flac/sine-piped.flac"})
        for (uint32_t sectorSize : {512u, 4096u}) {
            const Bytes file = fixture(name);
            EXPECT_EQ(sizeOf<FlacFileCheck>(concat({file, randomBytes(9000, 5)}), 3, sectorSize), file.size())
                << name << " " << sectorSize;
        }
}

}  // namespace
}  // namespace pelorin::test
