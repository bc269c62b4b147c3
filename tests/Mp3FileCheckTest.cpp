#include <gtest/gtest.h>

#include "recognisers/media/Mp3FileCheck.h"
#include "support/MediaTestSupport.h"

namespace pelorin::test {
namespace {

// MPEG-1 Layer III, no CRC, 128 kbit/s, 44,100 Hz: frames of 417 bytes.
const Bytes kFrame128k{0xFF, 0xFB, 0x90, 0x64};

// Frames of one header, each `length` bytes long with a zero payload.
Bytes frames(int count, const Bytes& head = kFrame128k, std::size_t length = 417) {
    ByteWriter out;
    for (int i = 0; i < count; ++i) out.append(head).fill(length - head.size());
    return out.bytes;
}

// An ID3v2 tag header announcing a tag body of `size` bytes (synchsafe).
Bytes id3Header(uint32_t size) {
    return {'I', 'D', '3', 4, 0, 0, uint8_t(size >> 21 & 0x7F), uint8_t(size >> 14 & 0x7F),
            uint8_t(size >> 7 & 0x7F), uint8_t(size & 0x7F)};
}

// A small whole JPEG: SOI, APP0, SOS, entropy data, EOI.
Bytes smallJpeg(std::size_t entropyBytes = 300) {
    ByteWriter out;
    out.append({0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0});
    out.append({0xFF, 0xDA, 0x00, 0x08, 1, 2, 3, 4, 5, 6}).fill(entropyBytes, 0x42).append({0xFF, 0xD9});
    return out.bytes;
}

Sized mp3At(const Bytes& file, uint64_t sector = 0, uint32_t sectorSize = 512) {
    return sized<Mp3FileCheck>(file, sector, sectorSize);
}

// MPEG-2 Layer III with CRC (FF F2) is not in the set of headers; nor are
// bitrate index 15, free format or sample-rate index 3.
TEST(Mp3FileCheck, HeaderTest) {
    ScanContext ctx;
    Mp3FileCheck check(ctx);
    for (const auto& [probe, expected] : std::vector<std::pair<Bytes, bool>>{
             {kFrame128k, true}, {{0xFF, 0xFA, 0x90, 0x64}, true}, {{0xFF, 0xFD, 0x80, 0x00}, true},
             {{0xFF, 0xF3, 0x80, 0x00}, true}, {{0xFF, 0xE3, 0x40, 0x00}, true}, {{'I', 'D', '3', 4}, true},
             {{0xFF, 0xFB, 0xF0, 0x64}, false}, {{0xFF, 0xFB, 0x9C, 0x64}, false}, {{0xFF, 0xFB, 0x00, 0x64}, false},
             {{0xFF, 0xF2, 0x90, 0x64}, false}, {{0xFF, 0xD8, 0xFF, 0xE0}, false}, {{'I', 'D', '2', 4}, false}})
        EXPECT_EQ(recogniseBytes(check, concat({probe, Bytes(kProbeSize)}).data(), 0).has_value(), expected);
}

TEST(Mp3FileCheck, FrameSyncWalk) {
    // 300 frames, then zeros: the last frame's last byte and five zeros are
    // misses, the seventh non-sync byte ends the walk at 125,105.
    EXPECT_EQ(mp3At(frames(300)), (Sized{125105 + 512, true}));
    // Too short to file: 0, and the loop must not skip.
    EXPECT_EQ(mp3At(frames(20), 1), (Sized{0, false}));
    // A frame with an invalid bitrate ends the file right before it, without slack.
    EXPECT_EQ(mp3At(concat({frames(100), {0xFF, 0xFB, 0xF0, 0x64}})).size, 41700u);
    // Frames of any version and layer may follow one another: MPEG-2 Layer
    // III at 64 kbit/s and 22,050 Hz, MPEG-2.5 Layer III at 32 kbit/s and
    // 11,025 Hz (208 bytes each), MPEG-1 Layer II at 128 kbit/s and 44,100 Hz (417).
    const Bytes mixed = concat({frames(30), frames(30, {0xFF, 0xF3, 0x80, 0x00}, 208),
                                frames(30, {0xFF, 0xE3, 0x40, 0x00}, 208), frames(30, {0xFF, 0xFD, 0x80, 0x00})});
    EXPECT_EQ(mp3At(mixed).size, 60u * 417 + 60 * 208 + 5 + 512);
    // The walk visits 417k (a header) and 417k + 416 (its last byte); the
    // first of these at or past 10,485,760 is 417 * 25,145 + 416.
    EXPECT_EQ(mp3At(frames(26000)).size, 417u * 25145 + 416 + 512);
}

TEST(Mp3FileCheck, Id3Walk) {
    const Bytes tag = concat({id3Header(4096), Bytes(4096, 0)});
    // The search for the first frame starts at 4,096 and finds it ten bytes on;
    // the zeros after the last frame are stepped over for 50 bytes.
    EXPECT_EQ(mp3At(concat({tag, frames(60)})), (Sized{4106 + 60 * 417 + 50, true}));
    // Frames switching from FF FB to FF FA end the file at the first FF FA.
    EXPECT_EQ(mp3At(concat({tag, frames(30), frames(30, {0xFF, 0xFA, 0x90, 0x64})})).size, 4106u + 30 * 417);
    // A free-format frame ends the file too, and here 4,096 bytes are enough.
    EXPECT_EQ(mp3At(concat({tag, frames(10), {0xFF, 0xFB, 0x00, 0x64}})), (Sized{4106 + 10 * 417, true}));
    // Gaps of up to 50 bytes between frames are passed over.
    Bytes gapped = tag;
    for (int i = 0; i < 40; ++i) gapped = concat({gapped, frames(1), Bytes(i % 2 ? 50 : 7, 0)});
    EXPECT_EQ(mp3At(gapped).size, gapped.size());  // the last gap is 50 bytes too

    // Tag of 100 bytes: the search for the first frame starts at offset 100 and reaches 2,047 bytes further.
    EXPECT_EQ(mp3At(concat({id3Header(100), Bytes(90 + 2047), frames(40)})).size, 100u + 2047 + 40 * 417 + 50);
    EXPECT_EQ(mp3At(concat({id3Header(100), Bytes(90 + 2048), frames(40)})).size, 0u);
    // A tag said to be larger than 10 MiB: no file.
    EXPECT_EQ(mp3At(concat({{'I', 'D', '3', 4, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F}, frames(40)})).size, 0u);
    // A first frame past the first 64 KiB window is read where it is.
    EXPECT_EQ(mp3At(concat({id3Header(70000), Bytes(70000), frames(40)})).size, 70010u + 40 * 417 + 50);
}

// Crafted headers: walks over every header the sets allow, packed back to
// back, end and stay inside their buffer; a stop request ends them at once.
TEST(Mp3FileCheck, CraftedInputEndsEveryWalk) {
    for (uint8_t second : {0xFB, 0xFA, 0xFD, 0xE3, 0xF3}) {
        for (uint32_t third = 0; third < 256; third += 3) {
            Bytes packed;
            for (int i = 0; i < 30000; ++i) packed.insert(packed.end(), {0xFF, second, uint8_t(third), uint8_t(i)});
            EXPECT_LT(mp3At(packed).size, 10485760u + 4096);
            EXPECT_LT(mp3At(concat({id3Header(0), packed})).size, 2147483640u);
        }
    }
    EXPECT_EQ(sized<Mp3FileCheck>(frames(300), 0, 512, true), (Sized{0, false}));
}

// Real files made by ffmpeg; each consists of whole frames only (after its
// tag), so a tagless file's walk ends 5 bytes past its end plus one sector
// of slack, and a tagged file's 50 bytes past its end. The loop then jumps
// over the audio, not the length filed: a JPEG in the sector after the tagged
// file is still found. The last file ends with the device: its walk reads
// zeros, and its length is cut where the device ends.
TEST(Mp3FileCheck, RealFilesAreFoundAndSkipped) {
    const Bytes id3 = fixture("mp3/sine-id3.mp3"), mpeg2 = fixture("mp3/sine-mpeg2.mp3");
    const Bytes mpeg25 = fixture("mp3/sine-mpeg25.mp3"), sync = fixture("mp3/sine-sync.mp3");
    const uint64_t jpeg = 4 + (id3.size() + 511) / 512;
    const ScanResult scan = scanPlaced({{4, id3}, {jpeg, smallJpeg()}, {64, mpeg2}, {150, mpeg25}, {230, sync}},
                                       selectionOf({FileType::Mp3, FileType::Jpg}));
    EXPECT_EQ(leavesIn(*scan.root, "MP3 Files"), (Leaves{{4, id3.size() + 50}, {64, mpeg2.size() + 517},
                                                         {150, mpeg25.size() + 517}, {230, sync.size()}}));
    EXPECT_EQ(leavesIn(*scan.root, "JPG Files").at(0).sector, jpeg);
}

TEST(Mp3FileCheck, SkipStopsAtTheAudioNotAtItsSlack) {
    // 2 frames of 417 bytes and 47 padded ones of 418 end exactly at 20,480:
    // the next sector, 40, may hold the next file, though the size filed
    // runs a sector further. The sectors of the audio are not examined: a
    // JPEG that starts sector 20, inside frame 22's payload, is not filed.
    Bytes audio = concat({frames(2), frames(47, {0xFF, 0xFB, 0x92, 0x64}, 418)});
    ASSERT_EQ(audio.size(), 20480u);
    const Bytes inner = smallJpeg(40);
    std::copy(inner.begin(), inner.end(), audio.begin() + 20 * 512);
    const ScanResult result = scanPlaced({{0, audio}, {40, smallJpeg()}}, selectionOf({FileType::Mp3, FileType::Jpg}),
                                         512, 512 * 100);
    EXPECT_EQ(leavesIn(*result.root, "MP3 Files"), (Leaves{{0, 20480 + 5 + 512}}));
    ASSERT_EQ(leavesIn(*result.root, "JPG Files").size(), 1u);
    EXPECT_EQ(leavesIn(*result.root, "JPG Files")[0].sector, 40u);
}

}  // namespace
}  // namespace pelorin::test
