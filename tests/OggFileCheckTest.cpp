#include <gtest/gtest.h>

#include <random>

#include "recognisers/media/MsbFirstCrc.h"
#include "recognisers/media/OggFileCheck.h"
#include "support/MediaTestSupport.h"

namespace pelorin::test {
namespace {

constexpr uint8_t kBos = 0x02, kEos = 0x04;

Bytes randomBytes(std::size_t count, unsigned seed) {
    std::mt19937 random(seed);
    Bytes bytes(count);
    for (auto& b : bytes) b = uint8_t(random());
    return bytes;
}

// A page holding one whole packet, with its CRC-32.
Bytes oggPage(uint8_t flags, uint32_t serial, uint32_t sequence, const Bytes& packet) {
    ByteWriter lacing;
    for (std::size_t left = packet.size();; left -= 255) {
        lacing.u8(uint8_t(std::min<std::size_t>(left, 255)));
        if (left < 255) break;
    }
    ByteWriter out;
    out.text("OggS").u8(0).u8(flags).fill(8).le32(serial).le32(sequence).le32(0).u8(uint8_t(lacing.size()));
    out.append(lacing.bytes).append(packet);
    uint32_t crc = 0;
    for (uint8_t b : out.bytes) crc = Crc32::update(crc, b);
    for (int i = 0; i < 4; ++i) out.bytes[22 + i] = uint8_t(crc >> 8 * i);
    return out.bytes;
}

// A stream of four pages: the codec's identification packet, then packets of random bytes.
Bytes oggStream(std::string_view identification, uint32_t serial) {
    const Bytes head = ByteWriter().text(identification).fill(19, 1).bytes;
    return concat({oggPage(kBos, serial, 0, head), oggPage(0, serial, 1, randomBytes(300, serial)),
                   oggPage(0, serial, 2, randomBytes(1000, serial + 1)), oggPage(kEos, serial, 3, randomBytes(90, 3))});
}

const std::string_view kVorbis("\x01vorbis", 7);

// Which of the two claims the bytes, and the size it gives them.
struct Claim {
    std::optional<uint64_t> ogg, opus;
    bool operator==(const Claim&) const = default;
};
void PrintTo(const Claim& claim, std::ostream* out) {
    *out << "{ogg " << (claim.ogg ? std::to_string(*claim.ogg) : "-") << ", opus "
         << (claim.opus ? std::to_string(*claim.opus) : "-") << "}";
}
Claim claimOf(const Bytes& file, uint32_t sectorSize = 512) {
    TempImage image;
    image.write(2 * sectorSize, file);
    image.resize((image.size() + sectorSize - 1) / sectorSize * sectorSize);  // the source ends where the file does
    auto ctx = contextFor(image.path(), sectorSize);
    OggFileCheck ogg(*ctx);
    OpusFileCheck opus(*ctx);
    auto size = [&](Recogniser& check) -> std::optional<uint64_t> {
        const auto match = recogniseAt(check, image.path(), 2, sectorSize);
        if (match) {
            EXPECT_EQ(match->skipPast, match->size);
        }
        return match ? std::optional(match->size) : std::nullopt;
    };
    return {size(ogg), size(opus)};
}

TEST(OggFileCheck, TheFirstPacketDecidesTheType) {
    const Bytes tail = randomBytes(3000, 1);
    for (std::string_view codec : {kVorbis, std::string_view("\x7f" "FLAC"), std::string_view("Speex   "),
                                   std::string_view("\x80theora"), std::string_view("fishead\0", 8)}) {
        const Bytes stream = oggStream(codec, 7);
        EXPECT_EQ(claimOf(concat({stream, tail})), (Claim{stream.size(), std::nullopt})) << codec;
    }
    const Bytes opus = oggStream("OpusHead", 7);
    EXPECT_EQ(claimOf(concat({opus, tail})), (Claim{std::nullopt, opus.size()}));
    EXPECT_EQ(claimOf(concat({oggStream("\x01vorbiX", 7), tail})), Claim{});
    // The first page must begin a stream and not continue a packet, and its CRC must check.
    EXPECT_EQ(claimOf(with(oggStream(kVorbis, 7), 5, kBos | 1)), Claim{});
    EXPECT_EQ(claimOf(with(oggStream(kVorbis, 7), 5, 0)), Claim{});
    EXPECT_EQ(claimOf(with(oggStream(kVorbis, 7), 40, 0)), Claim{});
}

TEST(OggFileCheck, PageWalks) {
    const Bytes first = oggStream(kVorbis, 7);
    const Bytes second = oggStream(kVorbis, 8);
    const Bytes tail = randomBytes(3000, 2);
    // Two streams multiplexed: both begin, their pages interleave, the file ends with the last to end.
    const Bytes a = oggStream(kVorbis, 20), b = oggStream("\x80theora", 21);
    auto page = [](const Bytes& stream, int n) {  // the n-th page of a stream of oggStream
        const std::size_t starts[] = {0, 27 + 1 + 26, 27 + 1 + 26 + 27 + 2 + 300, 27 + 1 + 26 + 27 + 2 + 300 + 27 + 4 + 1000};
        const std::size_t end = n == 3 ? stream.size() : starts[n + 1];
        return Bytes(stream.begin() + long(starts[n]), stream.begin() + long(end));
    };
    const Bytes multiplexed = concat({page(b, 0), page(a, 0), page(a, 1), page(b, 1), page(b, 2), page(a, 2),
                                      page(a, 3), page(b, 3)});
    const std::vector<std::tuple<const char*, Bytes, uint64_t>> cases{
        {"chained streams are one file", concat({first, second, tail}), first.size() + second.size()},
        {"zeros after", concat({first, Bytes(3000)}), first.size()},
        {"multiplexed streams", concat({multiplexed, tail}), multiplexed.size()},
        {"a page of another stream after the end", concat({first, page(second, 1), tail}), first.size()},
        {"a new stream after the end that does not begin", concat({first, page(second, 1)}), first.size()},
        {"cut short in the last page", Bytes(first.begin(), first.end() - 20), first.size() - page(first, 3).size()},
        {"a page whose CRC fails", concat({with(first, 27 + 1 + 26 + 100, 0x55), tail}), page(first, 0).size()},
        {"a stream that begins twice", concat({page(first, 0), page(first, 0), page(first, 1)}), page(first, 0).size()},
    };
    for (const auto& [name, file, size] : cases) {
        EXPECT_EQ(claimOf(file), (Claim{size, std::nullopt})) << name;
    }
}

TEST(OggFileCheck, RealFilesAreExact) {
    const Bytes vorbis = fixture("ogg/sine.ogg"), opus = fixture("ogg/sine.opus");
    for (uint32_t sectorSize : {512u, 4096u}) {
        EXPECT_EQ(claimOf(concat({vorbis, randomBytes(5000, 3)}), sectorSize), (Claim{vorbis.size(), std::nullopt}));
        EXPECT_EQ(claimOf(concat({opus, opus}), sectorSize), (Claim{std::nullopt, 2 * opus.size()}))
            << "two files back to back are a chain";
    }
}

}  // namespace
}  // namespace pelorin::test
