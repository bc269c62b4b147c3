#include <gtest/gtest.h>

#include "recognisers/media/MsbFirstCrc.h"
#include "recognisers/media/OggFileCheck.h"
#include "support/MediaTestSupport.h"

namespace pelorin::test {
namespace {

constexpr uint8_t kBos = 0x02, kEos = 0x04;
const std::string_view kVorbis("\x01vorbis", 7);

// A page holding one whole packet, with its CRC-32.
Bytes page(uint8_t flags, uint32_t serial, const Bytes& packet) {
    ByteWriter out;
    out.text("OggS").u8(0).u8(flags).fill(8).le32(serial).fill(8).u8(uint8_t(packet.size() / 255 + 1));
    out.fill(packet.size() / 255, 255).u8(uint8_t(packet.size() % 255)).append(packet);
    uint32_t crc = 0;
    for (uint8_t b : out.bytes) crc = Crc32::update(crc, b);
    for (int i = 0; i < 4; ++i) out.bytes[22 + i] = uint8_t(crc >> 8 * i);
    return out.bytes;
}

// The pages of a stream: the codec's identification packet, then packets of random bytes.
std::vector<Bytes> pages(std::string_view identification, uint32_t serial) {
    return {page(kBos, serial, ByteWriter().text(identification).fill(19, 1).bytes),
            page(0, serial, randomBytes(300, serial)), page(0, serial, randomBytes(1000, serial + 1)),
            page(kEos, serial, randomBytes(90, 3))};
}
Bytes stream(std::string_view identification, uint32_t serial) {
    const auto all = pages(identification, serial);
    return concat({all[0], all[1], all[2], all[3]});
}

// The sizes the Ogg and the Opus recognisers give the bytes (0: not theirs).
std::pair<uint64_t, uint64_t> sizes(const Bytes& file, uint32_t sectorSize = 512) {
    const Bytes followed = concat({file, Bytes(sectorSize + 100)});  // the source goes on past the file
    return {sizeOf<OggFileCheck>(followed, 2, sectorSize), sizeOf<OpusFileCheck>(followed, 2, sectorSize)};
}

TEST(OggFileCheck, TheFirstPacketDecidesTheType) {
    for (std::string_view codec : {kVorbis, std::string_view("\x7f" "FLAC"), std::string_view("Speex   "),
                                   std::string_view("\x80theora"), std::string_view("fishead\0", 8)})
        EXPECT_EQ(sizes(stream(codec, 7)), std::pair(stream(codec, 7).size(), uint64_t{0})) << codec;
    EXPECT_EQ(sizes(stream("OpusHead", 7)), std::pair(uint64_t{0}, stream("OpusHead", 7).size()));
    // An unknown codec; a first page that continues a packet, begins no stream, or fails its CRC.
    for (const Bytes& file : {stream("\x01vorbiX", 7), with(stream(kVorbis, 7), 5, kBos | 1),
                              with(stream(kVorbis, 7), 5, 0), with(stream(kVorbis, 7), 40, 0)})
        EXPECT_EQ(sizes(file), std::pair(uint64_t{0}, uint64_t{0}));
}

// The file ends after the page that ends its last open stream, or before the first place with no page of it.
TEST(OggFileCheck, PageWalks) {
    const auto a = pages(kVorbis, 20), b = pages("\x80theora", 21);
    const Bytes first = concat({a[0], a[1], a[2], a[3]}), second = stream(kVorbis, 8), tail = randomBytes(3000, 2);
    const Bytes multiplexed = concat({b[0], a[0], a[1], b[1], b[2], a[2], a[3], b[3]});
    const std::vector<std::tuple<const char*, Bytes, uint64_t>> cases{
        {"chained streams are one file", concat({first, second, tail}), first.size() + second.size()},
        {"multiplexed streams", concat({multiplexed, tail}), multiplexed.size()},
        {"a page of no stream of the file after its end", concat({first, b[1], tail}), first.size()},
        {"cut short in the last page", Bytes(first.begin(), first.end() - 20), first.size() - a[3].size()},
        {"a page whose CRC fails", concat({a[0], with(a[1], 100, uint8_t(~a[1][100])), tail}), a[0].size()},
        {"a stream that begins twice", concat({a[0], a[0], a[1]}), a[0].size()},
    };
    for (const auto& [name, file, size] : cases) EXPECT_EQ(sizes(file), std::pair(size, uint64_t{0})) << name;
}

TEST(OggFileCheck, RealFilesAreExact) {
    const Bytes vorbis = fixture("ogg/sine.ogg"), opus = fixture("ogg/sine.opus");
    for (uint32_t sectorSize : {512u, 4096u}) {
        EXPECT_EQ(sizes(concat({vorbis, randomBytes(5000, 3)}), sectorSize), std::pair(vorbis.size(), uint64_t{0}));
        // Two files back to back are a chain.
        EXPECT_EQ(sizes(concat({opus, opus}), sectorSize), std::pair(uint64_t{0}, 2 * opus.size()));
    }
}

}  // namespace
}  // namespace pelorin::test
