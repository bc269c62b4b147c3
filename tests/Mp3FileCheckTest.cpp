#include <gtest/gtest.h>

#include "recognisers/media/Mp3FileCheck.h"
#include "support/TestSupport.h"

namespace pelorin::test {
namespace {

// MPEG-1 Layer III, no CRC, 128 kbit/s, 44,100 Hz: frames of 417 bytes.
const Bytes kFrame128k{0xFF, 0xFB, 0x90, 0x64};

// Frames of one header, each `length` bytes long with a zero payload.
Bytes frames(int count, const Bytes& head = kFrame128k, std::size_t length = 417) {
    Bytes out;
    for (int i = 0; i < count; ++i) {
        out.insert(out.end(), head.begin(), head.end());
        out.resize(out.size() + length - head.size());
    }
    return out;
}

// An ID3v2 tag header announcing a tag body of `size` bytes (synchsafe).
Bytes id3Header(uint32_t size) {
    return {'I', 'D', '3', 4, 0, 0, uint8_t(size >> 21 & 0x7F), uint8_t(size >> 14 & 0x7F),
            uint8_t(size >> 7 & 0x7F), uint8_t(size & 0x7F)};
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

// A small whole JPEG: SOI, APP0, SOS, entropy data, EOI.
Bytes smallJpeg(std::size_t entropyBytes = 300) {
    Bytes out{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
    out.insert(out.end(), {0xFF, 0xDA, 0x00, 0x08, 1, 2, 3, 4, 5, 6});
    out.insert(out.end(), entropyBytes, 0x42);
    out.insert(out.end(), {0xFF, 0xD9});
    return out;
}

struct Sized {
    uint64_t size;
    bool skip;
};

Sized sizeAt(const TempImage& image, uint64_t sector, uint32_t sectorSize = 512) {
    auto ctx = contextFor(image.path(), sectorSize);
    Mp3FileCheck check(*ctx);
    const uint64_t size = recognise(check, image.path(), sector, sectorSize);
    return {size, ctx->bSkipFileSize};
}

TEST(Mp3FileCheck, FrameLengths) {
    EXPECT_EQ(Mp3FileCheck::bitCheck(0xFFFB9064, 20, 2), 3u);  // MPEG-1
    EXPECT_EQ(Mp3FileCheck::bitCheck(0xFFFB9064, 18, 2), 1u);  // Layer III
    EXPECT_EQ(Mp3FileCheck::bitCheck(0xFFFB9064, 15, 4), 9u);  // 128 kbit/s
    EXPECT_EQ(Mp3FileCheck::frameLength(0xFFFB9064), 417u);
    EXPECT_EQ(Mp3FileCheck::frameLength(0xFFFB9264), 418u);    // padded
    EXPECT_EQ(Mp3FileCheck::frameLength(0xFFF38000), 208u);    // MPEG-2 Layer III, 64 kbit/s, 22,050 Hz
    EXPECT_EQ(Mp3FileCheck::frameLength(0xFFE34000), 208u);    // MPEG-2.5 Layer III, 32 kbit/s, 11,025 Hz
    EXPECT_EQ(Mp3FileCheck::frameLength(0xFFFD8000), 417u);    // MPEG-1 Layer II, 128 kbit/s, 44,100 Hz
    EXPECT_EQ(Mp3FileCheck::frameLength(0xFFFBF064), 0u);      // bitrate index 15
    EXPECT_EQ(Mp3FileCheck::frameLength(0xFFFB0064), 0u);      // free format
    EXPECT_EQ(Mp3FileCheck::frameLength(0xFFFB9C64), 0u);      // sample-rate index 3

    // Every header the walks can meet has a length that moves them on.
    for (uint8_t second : {0xFB, 0xFA, 0xFD, 0xE3, 0xF3})
        for (uint32_t third = 0; third < 256; ++third) {
            const uint32_t length = Mp3FileCheck::frameLength(0xFF000000 | uint32_t(second) << 16 | third << 8);
            EXPECT_TRUE(length == 0 || length >= 24) << std::hex << second << " " << third;
        }
}

TEST(Mp3FileCheck, HeaderTest) {
    TempImage image(4096);
    auto ctx = contextFor(image.path());
    Mp3FileCheck check(*ctx);
    auto accepts = [&](Bytes probe) {
        probe.resize(kProbeSize);
        return check.isFile(probe.data(), 0);
    };
    EXPECT_TRUE(accepts(kFrame128k));
    EXPECT_TRUE(accepts({0xFF, 0xFA, 0x90, 0x64}));
    EXPECT_TRUE(accepts({0xFF, 0xFD, 0x80, 0x00}));
    EXPECT_TRUE(accepts({0xFF, 0xF3, 0x80, 0x00}));
    EXPECT_TRUE(accepts({0xFF, 0xE3, 0x40, 0x00}));
    EXPECT_FALSE(accepts({0xFF, 0xFB, 0xF0, 0x64}));  // bitrate index 15
    EXPECT_FALSE(accepts({0xFF, 0xFB, 0x9C, 0x64}));  // sample-rate index 3
    EXPECT_FALSE(accepts({0xFF, 0xFB, 0x00, 0x64}));  // free format
    EXPECT_FALSE(accepts({0xFF, 0xF2, 0x90, 0x64}));  // MPEG-2 Layer III with CRC is not in the set
    EXPECT_FALSE(accepts({0xFF, 0xD8, 0xFF, 0xE0}));
    EXPECT_TRUE(accepts({'I', 'D', '3', 4}));
    EXPECT_FALSE(accepts({'I', 'D', '2', 4}));
    EXPECT_EQ(check.acceptedFirstBytes(), std::bitset<256>().set('I').set(0xFF));
}

TEST(Mp3FileCheck, FrameSyncWalk) {
    // 300 frames, then zeros: the last frame's last byte and five zeros are
    // misses, the seventh non-sync byte ends the walk at 125,105.
    TempImage image(1024 * 1024);
    image.write(0, frames(300));
    Sized found = sizeAt(image, 0);
    EXPECT_EQ(found.size, 125105u + 512);
    EXPECT_TRUE(found.skip);
    TempImage bigSectors(1024 * 1024);
    bigSectors.write(4096, frames(300));
    EXPECT_EQ(sizeAt(bigSectors, 1, 4096).size, 125105u + 4096);

    // Too short to file: 0, and the loop must not skip.
    TempImage small(64 * 1024);
    small.write(512, frames(20));
    found = sizeAt(small, 1);
    EXPECT_EQ(found.size, 0u);
    EXPECT_FALSE(found.skip);

    // A frame with an invalid bitrate ends the file right before it, without slack.
    TempImage invalid(1024 * 1024);
    invalid.write(0, concat({frames(100), {0xFF, 0xFB, 0xF0, 0x64}}));
    EXPECT_EQ(sizeAt(invalid, 0).size, 41700u);

    // Frames of any version and layer may follow one another.
    TempImage mixed(1024 * 1024);
    mixed.write(0, concat({frames(30), frames(30, {0xFF, 0xF3, 0x80, 0x00}, 208)}));
    EXPECT_EQ(sizeAt(mixed, 0).size, 30u * 417 + 30 * 208 + 5 + 512);
}

TEST(Mp3FileCheck, FrameSyncWalkIsBoundedAtTenMiB) {
    TempImage image;
    image.write(0, frames(26000));
    // The walk visits 417k (a header) and 417k + 416 (its last byte); the first
    // of these at or past 10,485,760 is 417 * 25,145 + 416.
    EXPECT_EQ(sizeAt(image, 0).size, 417u * 25145 + 416 + 512);
}

TEST(Mp3FileCheck, Id3Walk) {
    const Bytes tag = concat({id3Header(4096), Bytes(4096, 0)});
    // The search for the first frame starts at 4,096 and finds it ten bytes on;
    // the zeros after the last frame are stepped over for 50 bytes.
    TempImage image(1024 * 1024);
    image.write(0, concat({tag, frames(60)}));
    Sized found = sizeAt(image, 0);
    EXPECT_EQ(found.size, 4106u + 60 * 417 + 50);
    EXPECT_TRUE(found.skip);

    // Frames switching from FF FB to FF FA end the file at the first FF FA.
    TempImage switched(1024 * 1024);
    switched.write(0, concat({tag, frames(30), frames(30, {0xFF, 0xFA, 0x90, 0x64})}));
    EXPECT_EQ(sizeAt(switched, 0).size, 4106u + 30 * 417);

    // A free-format frame ends the file too, and here 4,096 bytes are enough.
    TempImage freeFormat(1024 * 1024);
    freeFormat.write(0, concat({tag, frames(10), {0xFF, 0xFB, 0x00, 0x64}}));
    found = sizeAt(freeFormat, 0);
    EXPECT_EQ(found.size, 4106u + 10 * 417);
    EXPECT_TRUE(found.skip);

    // A reserved sample rate ends it by the usual rule: too small here.
    TempImage badRate(1024 * 1024);
    badRate.write(0, concat({tag, frames(10), {0xFF, 0xFB, 0x9C, 0x64}}));
    found = sizeAt(badRate, 0);
    EXPECT_EQ(found.size, 0u);
    EXPECT_FALSE(found.skip);

    // Gaps of up to 50 bytes between frames are passed over.
    TempImage gaps(1024 * 1024);
    Bytes gapped = tag;
    for (int i = 0; i < 40; ++i) gapped = concat({gapped, frames(1), Bytes(i % 2 ? 50 : 7, 0)});
    gaps.write(0, gapped);
    EXPECT_EQ(sizeAt(gaps, 0).size, gapped.size());  // the last gap is 50 bytes too
}

TEST(Mp3FileCheck, Id3FirstFrameSearch) {
    // Tag of 100 bytes: the search starts at offset 100 and reaches 2,047 bytes further.
    for (uint32_t distance : {2047u, 2048u}) {
        TempImage image(1024 * 1024);
        image.write(0, id3Header(100));
        image.write(100 + distance, frames(40));
        const uint64_t expected = distance == 2047 ? 100 + distance + 40 * 417 + 50 : 0;
        EXPECT_EQ(sizeAt(image, 0).size, expected) << distance;
    }
    // A tag said to be larger than 10 MiB: no file.
    TempImage huge(1024 * 1024);
    huge.write(0, concat({{'I', 'D', '3', 4, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F}, frames(40)}));
    EXPECT_EQ(sizeAt(huge, 0).size, 0u);
    // A first frame past the first 64 KiB window is read where it is.
    TempImage farFrame(1024 * 1024);
    farFrame.write(0, id3Header(70000));
    farFrame.write(70010, frames(40));
    EXPECT_EQ(sizeAt(farFrame, 0).size, 70010u + 40 * 417 + 50);
}

// Crafted headers: walks over every header the sets allow, packed back to
// back, end and stay inside their buffer; a stop request ends them at once.
TEST(Mp3FileCheck, CraftedInputEndsEveryWalk) {
    TempImage image(256 * 1024);
    for (uint8_t second : {0xFB, 0xFA, 0xFD, 0xE3, 0xF3}) {
        for (uint32_t third = 0; third < 256; third += 3) {
            Bytes packed;
            for (int i = 0; i < 30000; ++i) packed.insert(packed.end(), {0xFF, second, uint8_t(third), uint8_t(i)});
            image.write(0, packed);
            EXPECT_LT(sizeAt(image, 0).size, 10485760u + 4096);
            image.write(0, concat({id3Header(0), packed}));
            EXPECT_LT(sizeAt(image, 0).size, 2147483640u);
        }
    }
    image.write(0, frames(300));
    auto ctx = contextFor(image.path());
    Mp3FileCheck check(*ctx);
    ctx->bCancelScanning = true;
    EXPECT_EQ(recognise(check, image.path(), 0), 0u);
    EXPECT_FALSE(ctx->bSkipFileSize);
}

// Real files made by ffmpeg; each consists of whole frames only (after its
// tag), so a tagless file's walk ends 5 bytes past its end plus one sector
// of slack, and a tagged file's 50 bytes past its end. The loop then jumps
// over the file: a JPEG in the sector after each is still found.
TEST(Mp3FileCheck, RealFilesAreFoundAndSkipped) {
    struct Placed {
        std::string name;
        uint64_t sector;
        uint64_t expectedSize;
    };
    const std::vector<std::pair<std::string, uint64_t>> layout{
        {"sine-sync.mp3", 4}, {"sine-id3.mp3", 64}, {"sine-mpeg2.mp3", 120}, {"sine-mpeg25.mp3", 200}};
    TempImage image(512 * 300);
    std::vector<Placed> mp3s;
    std::vector<uint64_t> jpegSectors;
    for (const auto& [name, sector] : layout) {
        const Bytes file = fixture("mp3/" + name);
        image.write(sector * 512, file);
        const bool tagged = file[0] == 'I';
        mp3s.push_back({name, sector, tagged ? file.size() + 50 : file.size() + 5 + 512});
        const uint64_t after = sector + (file.size() + 511) / 512;
        image.write(after * 512, smallJpeg());
        jpegSectors.push_back(after);
    }
    const ScanResult scan = scanImage(image.path(), selectionOf({FileType::Mp3, FileType::Jpg}));
    const HDIR* mp3Folder = folderNamed(*scan.root, "MP3 Files");
    ASSERT_NE(mp3Folder, nullptr);
    ASSERT_EQ(mp3Folder->children().size(), mp3s.size());
    for (std::size_t i = 0; i < mp3s.size(); ++i) {
        EXPECT_EQ(mp3Folder->children()[i]->sectorNumber(), mp3s[i].sector) << mp3s[i].name;
        EXPECT_EQ(mp3Folder->children()[i]->fileSize(), mp3s[i].expectedSize) << mp3s[i].name;
    }
    const HDIR* jpgFolder = folderNamed(*scan.root, "JPG Files");
    ASSERT_NE(jpgFolder, nullptr);
    std::vector<uint64_t> jpegsFound;
    for (const auto& leaf : jpgFolder->children()) jpegsFound.push_back(leaf->sectorNumber());
    EXPECT_EQ(jpegsFound, jpegSectors);
}

// The sectors of a found MP3 are not examined: a JPEG header that happens to
// start a sector inside the audio is not filed, the JPEG right after is.
TEST(Mp3FileCheck, SkipPassesOverTheAudio) {
    Bytes audio = frames(300);               // 125,100 bytes from sector 0
    const Bytes inner = smallJpeg(40);
    // Sector 100 starts 326 bytes into frame 122, whose payload has room for it.
    std::copy(inner.begin(), inner.end(), audio.begin() + 100 * 512);
    TempImage image(512 * 400);
    image.write(0, audio);
    image.write(245 * 512, smallJpeg());     // 125,100 / 512 = 244.3: sector 245 follows the audio

    const ScanResult both = scanImage(image.path(), selectionOf({FileType::Mp3, FileType::Jpg}));
    const HDIR* jpgs = folderNamed(*both.root, "JPG Files");
    ASSERT_NE(jpgs, nullptr);
    ASSERT_EQ(jpgs->children().size(), 1u);
    EXPECT_EQ(jpgs->children()[0]->sectorNumber(), 245u);
    ASSERT_NE(folderNamed(*both.root, "MP3 Files"), nullptr);
    EXPECT_EQ(folderNamed(*both.root, "MP3 Files")->children()[0]->fileSize(), 125105u + 512);

    const ScanResult jpegOnly = scanImage(image.path(), selectionOf({FileType::Jpg}));
    EXPECT_EQ(folderNamed(*jpegOnly.root, "JPG Files")->children().size(), 2u);
}

TEST(Mp3FileCheck, SkipStopsAtTheAudioNotAtItsSlack) {
    // 2 frames of 417 bytes and 47 padded ones of 418 end exactly at 20,480:
    // the next sector, 40, may hold the next file, though the size filed
    // runs a sector further.
    const Bytes kPadded{0xFF, 0xFB, 0x92, 0x64};
    const Bytes audio = concat({frames(2), frames(47, kPadded, 418)});
    ASSERT_EQ(audio.size(), 20480u);
    TempImage image(512 * 100);
    image.write(0, audio);
    image.write(40 * 512, smallJpeg());
    const ScanResult result = scanImage(image.path(), selectionOf({FileType::Mp3, FileType::Jpg}));
    ASSERT_NE(folderNamed(*result.root, "MP3 Files"), nullptr);
    EXPECT_EQ(folderNamed(*result.root, "MP3 Files")->children()[0]->fileSize(), 20480u + 5 + 512);
    const HDIR* jpgs = folderNamed(*result.root, "JPG Files");
    ASSERT_NE(jpgs, nullptr);
    ASSERT_EQ(jpgs->children().size(), 1u);
    EXPECT_EQ(jpgs->children()[0]->sectorNumber(), 40u);
}

// Files that end with the device: the walks read zeros past the end.
TEST(Mp3FileCheck, FileAtTheEndOfTheDevice) {
    for (const char* name : {"mp3/sine-sync.mp3", "mp3/sine-id3.mp3"}) {
        const Bytes file = fixture(name);
        TempImage image;
        image.write(512 * 3, file);
        const bool tagged = file[0] == 'I';
        EXPECT_EQ(sizeAt(image, 3).size, tagged ? file.size() + 50 : file.size() + 5 + 512) << name;
    }
}

}  // namespace
}  // namespace pelorin::test
