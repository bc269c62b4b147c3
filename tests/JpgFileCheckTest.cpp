#include <gtest/gtest.h>

#include "recognisers/media/JpgFileCheck.h"
#include "support/TestSupport.h"

namespace pelorin::test {
namespace {

// A JPEG stream laid out byte by byte: SOI, segments, SOS, entropy data, EOI.
Bytes jpegWith(std::initializer_list<Bytes> segments, const Bytes& scanData) {
    Bytes out{0xFF, 0xD8};
    for (const Bytes& segment : segments) out.insert(out.end(), segment.begin(), segment.end());
    out.insert(out.end(), {0xFF, 0xDA, 0x00, 0x08, 1, 2, 3, 4, 5, 6});
    out.insert(out.end(), scanData.begin(), scanData.end());
    out.insert(out.end(), {0xFF, 0xD9});
    return out;
}

Bytes segment(uint8_t marker, std::size_t payload, uint8_t fill = 0x11) {
    Bytes out{0xFF, marker, uint8_t((payload + 2) >> 8), uint8_t(payload + 2)};
    out.insert(out.end(), payload, fill);
    return out;
}

TEST(JpgFileCheck, SizeIsEndOfImagePlusSlack) {
    TempImage image(64 * 1024);
    Bytes jpeg = jpegWith({segment(0xE0, 14), segment(0xDB, 65)}, Bytes(300, 0x42));
    image.write(512 * 3, jpeg);
    auto ctx = contextFor(image.path());
    JpgFileCheck check(*ctx);
    EXPECT_EQ(recognise(check, image.path(), 3), jpeg.size() + 512);
}

}  // namespace
}  // namespace pelorin::test
