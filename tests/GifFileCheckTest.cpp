#include <gtest/gtest.h>

#include "recognisers/media/GifFileCheck.h"
#include "support/MediaTestSupport.h"

namespace pelorin::test {
namespace {

// Header and logical screen descriptor; a packed byte with bit 7 set adds a
// global colour table of 3 × 2^((packed & 7) + 1) bytes.
ByteWriter gifHead(uint8_t packed = 0) {
    ByteWriter out{{'G', 'I', 'F', '8', '9', 'a', 64, 0, 48, 0, packed, 0, 0}};
    if (packed & 0x80) out.fill(3u << ((packed & 7) + 1), 0x33);
    return out;
}

// An image descriptor without local colour table, the LZW code size and
// `count` full data sub-blocks, then the block terminator.
ByteWriter& image(ByteWriter& out, std::size_t count) {
    out.append({0x2C, 0, 0, 0, 0, 64, 0, 48, 0, 0x00, 0x08});
    for (std::size_t i = 0; i < count; ++i) out.u8(255).fill(255, 0x55);
    return out.u8(0);
}

const Bytes kControl{0x21, 0xF9, 0x04, 0x01, 0x0A, 0x00, 0x00, 0x00};  // graphic control extension

uint64_t gifAt(const Bytes& file, uint64_t sector = 0, uint32_t sectorSize = 512, bool cancel = false) {
    return sizeOf<GifFileCheck>(file, sector, sectorSize, cancel);
}

// Real files are scanned with the other still images (PngFileCheckTest).
TEST(GifFileCheck, BlockWalk) {
    ByteWriter still = gifHead(0x80).append(kControl);
    image(still, 3).u8(0x3B);
    ByteWriter broken = gifHead();
    const std::size_t brokenAt = image(broken, 2).size();
    ByteWriter extension = gifHead();
    const std::size_t third = image(extension, 1).append({0x21, 0xFE, 3, 'a', 'b', 'c', 2, 'd', 'e'}).size();
    ByteWriter windows = gifHead(0x85);
    for (int frame = 0; frame < 3; ++frame) image(windows.append(kControl), 300 + frame);  // about 77 KB each
    windows.u8(0x3B);
    // Cut by the end of the device inside sub-block 280's data (size bytes
    // stand at 24 + 256 k): the walk meets a zero size byte at the first
    // size-byte place past the end, steps over it as a terminator, and then counts 2,049 zeros.
    ByteWriter cut = gifHead();
    image(cut, 300).bytes.resize(24 + 256 * 280 + 100);
    const std::vector<std::tuple<const char*, Bytes, uint64_t>> cases{
        {"a global colour table of 256 entries puts the first block at 13 + 768", gifHead(0xF7).u8(0x3B).bytes, 782 + 512},
        {"the trailer is part of the file", still.bytes, still.size() + 512},
        // Only GIF87a and GIF89a headers are accepted.
        {"GIF87a", with(still.bytes, 4, '7'), still.size() + 512}, {"GIF88a", with(still.bytes, 4, '8'), 0},
        {"GIF89b", with(still.bytes, 5, 'b'), 0},
        {"a byte that starts no block ends the file before it", broken.append({0x77, 0x3B}).bytes, brokenAt + 512},
        {"a file that ends before byte 25 is nothing", gifHead().u8(0x3B).bytes, 0},
        // The third sub-block's size byte is taken for a block introducer.
        {"an extension skips at most two sub-blocks", image(extension.append({4, 'f', 'g', 'h', 'i', 0}), 1).u8(0x3B).bytes,
         third + 512},
        {"more than 2,048 zeros end the file without slack", gifHead().fill(3000).u8(0x3B).bytes, 13 + 2049},
        {"2,048 zeros do not", gifHead().fill(2048).u8(0x3B).bytes, 13 + 2048 + 1 + 512},
        {"blocks across many windows", windows.bytes, windows.size() + 512},
        {"cut by the end of the device", cut.bytes, 24 + 256 * 281 + 1 + 2049},
    };
    for (const auto& [name, gif, size] : cases) EXPECT_EQ(gifAt(gif, 1), size) << name;
}

TEST(GifFileCheck, EndlessOrCancelledWalksEnd) {
    // Bytes 0x21 everywhere: an endless chain of extensions; one image whose
    // data sub-blocks never end: both stop at 5 MiB.
    EXPECT_EQ(gifAt(gifHead().fill(6 * 1024 * 1024 - 13, 0x21).bytes), 5242880u);
    ByteWriter endless = gifHead();
    EXPECT_EQ(gifAt(image(endless, 6 * 1024 * 4).bytes), 5242880u);

    // Global colour table of 64 entries: the walk stands at 13 + 192 when it sees the stop.
    const Bytes real = fixture("gif/still87.gif");
    ASSERT_EQ(real[10] & 0x87, 0x85);
    EXPECT_EQ(gifAt(real, 0, 512, true), 13u + 192 + 512);
}

}  // namespace
}  // namespace pelorin::test
