// The readers every byte of the source comes through.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "app/Texts.h"
#include "engine/ControllerReaders.h"
#include "engine/ReadWindow.h"
#include "engine/Source.h"
#include "support/TestSupport.h"

namespace pelorin::test {
namespace {

struct RecordingAlerts : Notices {
    void notify(const Notice& notice) override {
        const texts::AlertText alert = texts::alertFor(notice);
        alerts.push_back(alert.title + "|" + alert.message + "|" + alert.button);
        lines.push_back(alert.logLine);
    }
    std::vector<std::string> alerts, lines;
};

Bytes counting(std::size_t n) {
    Bytes bytes(n);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = uint8_t(i * 7 + i / 256);
    return bytes;
}

// A file and the same bytes in memory read alike: up to the end and no
// further, and the end is not an error.
TEST(Source, FileAndMemoryReadAlikeUpToTheEnd) {
    const Bytes all = counting(3 * 4096 + 300);
    TempImage image;
    image.write(0, all);
    auto file = FileSource::open(image.path(), 4096);
    ASSERT_TRUE(file);
    MemorySource memory(all, 4096);
    for (Source* source : {static_cast<Source*>(file.get()), static_cast<Source*>(&memory)}) {
        EXPECT_EQ(std::tuple(source->size(), source->sectorSize(), source->sectorCount()),
                  std::tuple(uint64_t{all.size()}, 4096u, uint64_t{3}));
        struct Case {
            uint64_t offset;
            std::size_t length, delivered;
        } cases[] = {{0, 100, 100}, {4000, 5000, 5000}, {all.size() - 10, 64, 10}, {all.size(), 8, 0}, {1u << 30, 8, 0}};
        for (const Case& c : cases) {
            Bytes buffer(c.length, 0xEE);
            const SourceRead got = source->read(c.offset, buffer);
            EXPECT_EQ(std::tuple(got.bytes, got.error), std::tuple(c.delivered, 0)) << c.offset;
            EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + c.delivered, all.begin() + c.offset));
            EXPECT_TRUE(std::all_of(buffer.begin() + c.delivered, buffer.end(), [](uint8_t b) { return b == 0xEE; }));
        }
    }
    EXPECT_EQ(FileSource::open(image.path())->sectorSize(), 512u);  // the default for a file
}

TEST(Source, OpenFailuresAndReadErrorsCarryTheirErrno) {
    errno = 0;
    EXPECT_EQ(FileSource::open("/nonexistent/pelorin-source"), nullptr);
    EXPECT_EQ(errno, ENOENT);
    auto dir = FileSource::open(std::filesystem::temp_directory_path().string());
    ASSERT_TRUE(dir);
    uint8_t byte;
    EXPECT_EQ(dir->read(0, {&byte, 1}).error, EISDIR);
    EXPECT_FALSE(isSourceGone(EISDIR) || isSourceGone(EIO));
    EXPECT_TRUE(isSourceGone(ENODEV) && isSourceGone(ENXIO) && isSourceGone(ENOMEDIUM));
}

TEST(Source, AnAdoptedDescriptorIsReadAndClosedWithTheSource) {
    TempImage image;
    image.write(0, counting(1000));
    const int fd = ::open(image.path().c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    {
        auto source = FileSource::adopt(fd, "card");
        ASSERT_TRUE(source);
        EXPECT_EQ(std::tuple(source->name(), source->size(), source->blockDevice()), std::tuple("card", 1000u, false));
        uint8_t bytes[4];
        EXPECT_EQ(source->read(996, bytes).bytes, 4u);
        EXPECT_EQ(bytes[3], counting(1000)[999]);
    }
    EXPECT_EQ(::fcntl(fd, F_GETFD), -1);
}

// Sixty-four KiB and one sector, zeros past the end of the source, whatever
// order the window is read in as it fills.
TEST(ReadWindow, FillingAsItIsReadGivesTheBytesOfOneWholeRead) {
    for (uint32_t sectorSize : {512u, 4096u}) {
        TempImage image;
        const Bytes all = counting(300 * 1024 + 77);  // ends inside the last window read below
        image.write(0, all);
        auto ctx = contextFor(image.path(), sectorSize);
        ReadWindow window(*ctx);
        for (uint64_t sector : {uint64_t{0}, uint64_t{3}, uint64_t{300u * 1024 / sectorSize - 1}}) {
            Bytes whole(ReadWindow::kCapacity, 0);
            readAt(image.path(), sector * sectorSize, {whole.data(), 65536 + sectorSize});
            ASSERT_TRUE(window.read(sector));
            // Far first, then near, then across the first part's end: any order gives the same bytes.
            for (uint64_t pos : {uint64_t{65536u + sectorSize - 4}, uint64_t{5}, uint64_t{16383}, uint64_t{40000}})
                EXPECT_EQ(window.be32(pos), uint32_t(whole[pos]) << 24 | uint32_t(whole[pos + 1]) << 16 |
                                                 uint32_t(whole[pos + 2]) << 8 | whole[pos + 3])
                    << sector << " " << pos;
            ASSERT_TRUE(window.read(sector));
            const char* text = reinterpret_cast<const char*>(whole.data() + 16380);
            EXPECT_TRUE(window.matches(16380, text, 8));  // straddles the first part
            EXPECT_EQ(std::memcmp(window.data(), whole.data(), 65536 + sectorSize), 0);
            EXPECT_EQ(window.byte(65536 + sectorSize), 0);  // one sector past the 64 KiB, no more
            EXPECT_EQ(window.be32(ReadWindow::kCapacity + 5), 0u);  // outside the buffer
        }
    }
}

TEST(ReadWindow, TypedReadersAgreeOnByteOrder) {
    TempImage image;
    image.write(0, {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0});
    auto ctx = contextFor(image.path());
    ReadWindow window(*ctx);
    ASSERT_TRUE(window.read(0));
    EXPECT_EQ(window.be16(0), 0x1234u);
    EXPECT_EQ(window.be24(1), 0x345678u);
    EXPECT_EQ(window.be32(0), 0x12345678u);
    EXPECT_EQ(window.le16(0), 0x3412u);
    EXPECT_EQ(window.le32(0), 0x78563412u);
    EXPECT_EQ(window.be64(0), 0x123456789ABCDEF0ull);
    EXPECT_EQ(window.le64(0), 0xF0DEBC9A78563412ull);
    EXPECT_EQ(window.fourByteRead(0, 0), 0x12345678u);
    EXPECT_EQ(window.fourByteRead(0, 3), 0x78563412u);
    EXPECT_EQ(window.twoByteRead(2, 1), 0x7856u);
    EXPECT_TRUE(window.matches(2, "\x56\x78", 2));
    EXPECT_FALSE(window.matches(ReadWindow::kCapacity - 1, "ab", 2));
}

// The window reads the scan's source, whatever it is at the time of the read.
// A bad sector reads as zeros and the sectors around it as they are; a source
// that has gone reads as zeros from there on.
TEST(ReadWindow, FailedReadsLeaveZerosOnlyWhereTheyFailed) {
    const Bytes all = counting(200 * 512);
    MemorySource memory(all);
    ScanContext ctx;
    ReadWindow window(ctx);
    EXPECT_FALSE(window.read(0));  // no source at all
    ctx.source = &memory;
    ASSERT_TRUE(window.read(0));
    EXPECT_EQ(window.be32(4), 0x1c232a31u);
    auto be32At = [&all](uint64_t at) { return uint32_t(all[at]) << 24 | all[at + 1] << 16 | all[at + 2] << 8 | all[at + 3]; };
    struct Case {
        const char* name;
        uint64_t brokenSector;  // of the source; the window starts at sector 10
        int error;
        bool read;
        uint32_t zerosFrom, zerosTo;  // bytes of the window
    } cases[] = {
        {"the window's first sector", 10, EIO, true, 0, 512},
        {"a sector in the first part", 20, EIO, true, 10 * 512, 11 * 512},
        {"a sector read later", 100, EIO, true, 90 * 512, 91 * 512},
        {"the sector after the 64 KiB", 138, EIO, true, 128 * 512, 129 * 512},
        {"gone at the start", 10, ENODEV, false, 0, 129 * 512},
        {"gone later", 100, ENODEV, true, 90 * 512, 129 * 512},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FaultySource broken(memory);
        broken.breakAt(c.brokenSector * 512, c.error, c.error == ENODEV ? FaultySource::kToTheEnd : 512);
        ctx.source = &broken;
        EXPECT_EQ(window.read(10), c.read);
        for (uint32_t at = 0; at < 129 * 512; at += 4) {
            const bool zero = at >= c.zerosFrom && at < c.zerosTo;
            ASSERT_EQ(window.be32(at), zero ? 0u : be32At(10 * 512 + at)) << at;
        }
    }
}

TEST(ReadWindow, LongPathsAreReadWhole) {
    auto dir = std::filesystem::temp_directory_path() / std::string(120, 'd') / std::string(120, 'e');
    std::filesystem::create_directories(dir);
    const auto path = (dir / "card.img").string();
    ASSERT_GT(path.size(), 250u);
    {
        std::ofstream(path, std::ios::binary) << "\xFF\xD8\xFF\xE0";
    }
    auto ctx = contextFor(path);
    ReadWindow window(*ctx);
    EXPECT_TRUE(window.read(0));
    EXPECT_EQ(window.be32(0), 0xFFD8FFE0u);
    std::filesystem::remove_all(dir.parent_path());
}

TEST(ControllerReaders, FirstFiveSectorsComeFromTheStartWhateverTheSize) {
    TempImage image;
    Bytes all = counting(16 * 4096);
    image.write(0, all);
    RecordingAlerts alerts;
    Bytes buffer(5 * 4096, 0xEE);
    auto source = FileSource::open(image.path());
    ASSERT_TRUE(readSector(*source, 4096, buffer, alerts));
    EXPECT_EQ(buffer, Bytes(all.begin(), all.begin() + 5 * 4096));
    Bytes byPath(5 * 4096, 0xEE);
    ASSERT_TRUE(readSector(image.path(), 4096, byPath, alerts));
    EXPECT_EQ(byPath, buffer);
    EXPECT_TRUE(alerts.alerts.empty());
}

TEST(ControllerReaders, FailuresAlertAndLogWithThePath) {
    const Bytes all = counting(100 * 512);
    MemorySource memory(all, 512, "/dev/sdz");
    FaultySource broken(memory);
    broken.breakAt(0, EIO);
    RecordingAlerts alerts;
    Bytes buffer(5 * 512);
    EXPECT_FALSE(readSector("/nonexistent/sdz", 512, buffer, alerts));
    EXPECT_FALSE(readSector(broken, 512, buffer, alerts));
    EXPECT_FALSE(readSaveSector(broken, 512, 0, 5, buffer, alerts));
    EXPECT_EQ(alerts.alerts, (std::vector<std::string>(3, "Drive cannot open or not found||OK")));
    EXPECT_EQ(alerts.lines, (std::vector<std::string>{"read Sect in app ctrl /nonexistent/sdz",
                                                      "read Sect in app ctrl /dev/sdz", "seve sect Drive Name /dev/sdz"}));
}

// Saving reads up to the end of the source and no further; an error part of
// the way is a failure, never bytes to write.
TEST(ControllerReaders, SaveReadsAtTheSectorShortAtTheEndAndFailsOnAnyError) {
    const Bytes all = counting(100 * 512);
    MemorySource memory(all);
    RecordingAlerts alerts;
    Bytes buffer(64 * 512);
    std::size_t got = 0;
    ASSERT_TRUE(readSaveSector(memory, 512, 90, 64, buffer, alerts, &got));
    EXPECT_EQ(got, 10u * 512);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 10 * 512, all.begin() + 90 * 512));
    FaultySource broken(memory);
    broken.breakAt(95 * 512, EIO);
    EXPECT_FALSE(readSaveSector(broken, 512, 90, 64, buffer, alerts, &got));
    EXPECT_EQ(alerts.alerts.size(), 1u);
}

}  // namespace
}  // namespace pelorin::test
