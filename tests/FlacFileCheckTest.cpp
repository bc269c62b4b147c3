#include <gtest/gtest.h>

#include "recognisers/media/FlacFileCheck.h"
#include "recognisers/media/MsbFirstCrc.h"
#include "support/MediaTestSupport.h"

namespace pelorin::test {
namespace {

// "fLaC" and STREAMINFO for 4,096-sample blocks of 16-bit mono at 44.1 kHz,
// then the header of a last block of the type and length given, when one is.
Bytes flacHeader(uint64_t totalSamples, uint8_t blockType = 0, uint32_t blockLength = 0) {
    ByteWriter out;
    out.text("fLaC").u8(blockType ? 0 : 0x80).be16(0).u8(34).be32(0x10001000).fill(6);
    out.be64(uint64_t{44100} << 44 | uint64_t{15} << 36 | totalSamples).fill(16);
    if (blockType) out.u8(0x80 | blockType).u8(uint8_t(blockLength >> 16)).be16(blockLength & 0xFFFF);
    return out.bytes;
}

// A frame of a fixed-block stream (rate and sample size those of STREAMINFO):
// its header with the CRC-8, random payload, and the CRC-16.
Bytes frame(uint8_t number) {
    ByteWriter out;
    out.append({0xFF, 0xF8, 0xC0, 0x00, number});
    uint8_t crc8 = 0;
    for (uint8_t b : out.bytes) crc8 = Crc8::update(crc8, b);
    out.u8(crc8).append(randomBytes(700 + 37 * number, number));
    uint16_t crc16 = 0;
    for (uint8_t b : out.bytes) crc16 = Crc16::update(crc16, b);
    return out.be16(crc16).bytes;
}

// Frames carry no length: each ends where its CRC-16 checks and the next
// header follows, the last where the total of samples is reached.
TEST(FlacFileCheck, Lengths) {
    const Bytes last = frame(2), two = concat({frame(0), frame(1)}), three = concat({two, last});
    const Bytes tail = randomBytes(5000, 99), known = flacHeader(2 * 4096 + 1000), padded = concat({flacHeader(9000, 1, 300), Bytes(300)});
    const Bytes good = concat({known, three, tail});
    const std::vector<std::tuple<const char*, Bytes, uint64_t>> cases{
        {"total known, random bytes after", good, known.size() + three.size()},
        {"a padding block", concat({padded, three, tail}), padded.size() + three.size()},
        {"total unknown, random bytes after", concat({flacHeader(0), three, tail}), 42 + three.size()},
        {"total unknown, zeros after", concat({flacHeader(0), three, Bytes(5000)}), 42 + three.size()},
        {"cut short in the last frame", concat({known, two, Bytes(last.begin(), last.end() - 9), Bytes(600)}),
         known.size() + two.size()},
        {"a frame out of order", concat({known, two, frame(3), tail}), known.size() + two.size()},
        {"a header whose CRC-8 fails", concat({known, two, with(last, 5, 0), tail}), known.size() + two.size()},
        {"a block past the source", concat({flacHeader(0, 6, 0xFFFFFF), Bytes(3000, 1)}), 46 + 0xFFFFFF},
        // The header: STREAMINFO first, 34 bytes long, blocks of 16 samples or more, a sample rate.
        {"another block first", with(good, 4, 1), 0},
        {"a short STREAMINFO", with(good, 7, 33), 0},
        {"blocks below 16 samples", with(with(good, 8, 0), 9, 15), 0},
        {"no sample rate", with(with(with(good, 18, 0), 19, 0), 20, 0x0F), 0},
    };
    for (const auto& [name, file, size] : cases) EXPECT_EQ(sized<FlacFileCheck>(file), (Sized{size, size != 0})) << name;
}

// Real files, with and without the totals in STREAMINFO (written to a pipe, ffmpeg leaves them 0).
TEST(FlacFileCheck, RealFilesAreExact) {
    for (const char* name : {"flac/sine.flac", "flac/sine-piped.flac"})
        for (uint32_t sectorSize : {512u, 4096u}) {
            const Bytes file = fixture(name);
            EXPECT_EQ(sizeOf<FlacFileCheck>(concat({file, randomBytes(9000, 5)}), 3, sectorSize), file.size()) << name;
        }
    // A block running past the source's end is cut there by the scan.
    const Bytes cut = concat({flacHeader(0, 6, 0xFFFFFF), Bytes(3000, 1)});
    EXPECT_EQ(leavesIn(*scanPlaced({{3, cut}}, selectionOf({FileType::Flac})).root, "FLAC Files"),
              (Leaves{{3, cut.size()}}));
}

}  // namespace
}  // namespace pelorin::test
