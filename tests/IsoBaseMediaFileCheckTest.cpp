#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <optional>
#include <random>
#include <utility>

#include "recognisers/media/IsoBaseMediaFileCheck.h"
#include "support/TestSupport.h"

namespace pelorin::test {
namespace {

constexpr std::array<FileType, 7> kIsoTypes{FileType::Mov, FileType::Mp4, FileType::M4a, FileType::M4b,
                                            FileType::M4v, FileType::ThreeGp, FileType::ThreeGTwo};
constexpr uint64_t GiB = uint64_t{1} << 30;

void put32(Bytes& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(value >> shift));
}
void put64(Bytes& out, uint64_t value) {
    put32(out, uint32_t(value >> 32));
    put32(out, uint32_t(value));
}
void putText(Bytes& out, std::string_view text) { out.insert(out.end(), text.begin(), text.end()); }

// An atom header: 32-bit size, then the type.
Bytes atomHeader(uint32_t size, std::string_view type) {
    Bytes out;
    put32(out, size);
    putText(out, type);
    return out;
}

// An atom whose 32-bit size is 1 and whose real size follows the type.
Bytes largeAtomHeader(uint64_t size, std::string_view type) {
    Bytes out = atomHeader(1, type);
    put64(out, size);
    return out;
}

// An "ftyp" atom with a major brand, padded with compatible brands; at most
// its first 32 bytes, and never less than its brand.
Bytes ftyp(std::string_view brand, uint32_t size = 32) {
    Bytes out = atomHeader(size, "ftyp");
    putText(out, brand);
    put32(out, 0x200);
    const std::size_t length = std::clamp<uint32_t>(size, 12, 32);
    while (out.size() < length) putText(out, "isom");
    out.resize(length);
    return out;
}

// Atom headers laid out one after another from a byte offset; the payloads stay as the image has them.
uint64_t writeAtoms(TempImage& image, uint64_t offset, std::initializer_list<std::pair<Bytes, uint64_t>> atoms) {
    for (const auto& [header, size] : atoms) {
        image.write(offset, header);
        offset += size;
    }
    return offset;
}

// The seven members, built through the registry as a scan builds them.
struct IsoMembers {
    explicit IsoMembers(const std::string& path, uint32_t sectorSize = 512) : ctx(contextFor(path, sectorSize)) {
        for (FileType type : kIsoTypes) members.push_back(info(type).factory(*ctx));
    }
    Recogniser& operator[](FileType type) { return *members[index(type) - index(FileType::Mov)]; }

    std::unique_ptr<ScanContext> ctx;
    std::vector<std::unique_ptr<Recogniser>> members;
};

std::string_view brandOf(FileType type) {
    switch (type) {
    case FileType::Mov: return "qt  ";
    case FileType::Mp4: return "isom";
    case FileType::M4a: return "M4A ";
    case FileType::M4b: return "M4B ";
    case FileType::M4v: return "M4V ";
    case FileType::ThreeGp: return "3gp5";
    default: return "3g2a";
    }
}

TEST(IsoBaseMediaFileCheck, BrandsGiveEachHeaderToAtMostOneMember) {
    struct Case {
        Bytes firstAtom;
        uint32_t firstAtomSize;
        std::string_view secondAtom;
        std::optional<FileType> owner;
    };
    const std::vector<Case> cases{
        {ftyp("isom"), 32, "moov", FileType::Mp4},
        {ftyp("mp42"), 32, "mdat", FileType::Mp4},
        {ftyp("avc1"), 32, "free", FileType::Mp4},
        {ftyp("qt  ", 20), 20, "wide", FileType::Mov},
        {atomHeader(4000, "moov"), 4000, "mdat", FileType::Mov},
        {atomHeader(1000, "mdat"), 1000, "moov", FileType::Mov},
        {atomHeader(8, "wide"), 8, "mdat", FileType::Mov},
        {atomHeader(8, "free"), 8, "mdat", std::nullopt},   // "free" never starts a QuickTime file
        {ftyp("M4A "), 32, "moov", FileType::M4a},
        {ftyp("M4B "), 32, "moov", FileType::M4b},
        {ftyp("M4V "), 32, "moov", FileType::M4v},
        {ftyp("3gp4", 28), 28, "free", FileType::ThreeGp},
        {ftyp("3g2a", 28), 28, "free", FileType::ThreeGTwo},
        {ftyp("qqqq"), 32, "moov", std::nullopt},           // first brand letter q but not qt
        {ftyp("xtyz"), 32, "moov", std::nullopt},           // second brand letter t
        {ftyp("isom"), 32, "meta", std::nullopt},           // second atom outside the walk list
        {ftyp("isom", 7), 7, "moov", std::nullopt},
        {ftyp("isom", 1048577), 1048577, "moov", std::nullopt},
        {ftyp("M4A ", 1048577), 1048577, "moov", std::nullopt},
        {ftyp("3gp4", 7), 7, "meta", FileType::ThreeGp},    // 3GP and 3G2 test neither size nor second atom
        {ftyp("3g2a", 1048577), 1048577, "meta", FileType::ThreeGTwo},
    };
    for (const Case& c : cases) {
        TempImage image(2 * 1024 * 1024);
        image.write(512 * 3, c.firstAtom);
        image.write(512 * 3 + c.firstAtomSize, atomHeader(100, c.secondAtom));
        IsoMembers iso(image.path());
        uint8_t probe[kProbeSize] = {};
        std::copy_n(c.firstAtom.begin(), std::min<std::size_t>(c.firstAtom.size(), kProbeSize), probe);
        std::vector<FileType> claimedBy;
        for (FileType type : kIsoTypes)
            if (iso[type].isFile(probe, 3)) claimedBy.push_back(type);
        SCOPED_TRACE(std::string(c.firstAtom.begin() + 4, c.firstAtom.begin() + std::min<std::size_t>(12, c.firstAtom.size())));
        if (c.owner) {
            ASSERT_EQ(claimedBy.size(), 1u);
            EXPECT_EQ(claimedBy[0], *c.owner);
        } else {
            EXPECT_TRUE(claimedBy.empty());
        }
    }
}

TEST(IsoBaseMediaFileCheck, SizeIsSumOfTopLevelAtomsPlusSlack) {
    for (FileType type : kIsoTypes) {
        SCOPED_TRACE(info(type).recogniserClass);
        TempImage image(4 * 1024 * 1024);
        const uint64_t start = 512 * 10;
        const uint64_t end = writeAtoms(image, start,
                                        {{ftyp(brandOf(type)), 32}, {atomHeader(4000, "moov"), 4000},
                                         {atomHeader(1000000, "mdat"), 1000000}});
        IsoMembers iso(image.path());
        // The zero bytes after the file are no atom type: the walk stops there.
        EXPECT_EQ(recognise(iso[type], image.path(), 10), 1004544u);
        EXPECT_EQ(end - start + 512, 1004544u);

        // An atom type outside the walk list ends the file before it.
        image.write(end, atomHeader(5000, "moof"));
        EXPECT_EQ(recognise(iso[type], image.path(), 10), 1004544u);

        // The same file cut after "moov": too small to file.
        image.write(start + 4032, Bytes(8, 0));
        EXPECT_EQ(recognise(iso[type], image.path(), 10), 0u);
    }
}

TEST(IsoBaseMediaFileCheck, ZeroSizeAtomCountsEightForMovAndEndsTheOthers) {
    for (FileType type : kIsoTypes) {
        SCOPED_TRACE(info(type).recogniserClass);
        TempImage image(1024 * 1024);
        writeAtoms(image, 0,
                   {{ftyp(brandOf(type)), 32}, {atomHeader(20000, "mdat"), 20000}, {atomHeader(0, "free"), 8},
                    {atomHeader(100, "moov"), 100}});
        IsoMembers iso(image.path());
        const uint64_t expected = type == FileType::Mov ? 32 + 20000 + 8 + 100 + 512 : 32 + 20000 + 512;
        EXPECT_EQ(recognise(iso[type], image.path(), 0), expected);
    }
}

// A 32-bit size of 1 means the real size follows as 64 bits; taking it as 1
// would step into the media data and file a truncated file.
TEST(IsoBaseMediaFileCheck, SixtyFourBitAtomSizeIsRead) {
    for (FileType type : kIsoTypes) {
        SCOPED_TRACE(info(type).recogniserClass);
        TempImage image(1024 * 1024);
        writeAtoms(image, 512,
                   {{ftyp(brandOf(type)), 32}, {largeAtomHeader(20000, "mdat"), 20000}, {atomHeader(1000, "moov"), 1000}});
        IsoMembers iso(image.path());
        EXPECT_EQ(recognise(iso[type], image.path(), 1), 32u + 20000 + 1000 + 512);

        // A 64-bit size too small to hold its own header ends the walk with the total so far.
        writeAtoms(image, 512,
                   {{ftyp(brandOf(type)), 32}, {atomHeader(12000, "moov"), 12000}, {largeAtomHeader(15, "mdat"), 15}});
        EXPECT_EQ(recognise(iso[type], image.path(), 1), 32u + 12000 + 512);
    }
}

// Totals that pass 2^32 - 16 take each member's large-file rule; held in 32
// bits they would wrap to a few bytes instead.
TEST(IsoBaseMediaFileCheck, TotalsPastFourGiBTakeTheLargeFileRule) {
    for (FileType type : kIsoTypes) {
        SCOPED_TRACE(info(type).recogniserClass);
        TempImage image(64 * 1024);
        writeAtoms(image, 0, {{ftyp(brandOf(type)), 32}, {atomHeader(0xFFFFFFF0, "mdat"), 0}});
        IsoMembers iso(image.path());
        const uint64_t expected = type == FileType::M4a ? 32 + 512 : type == FileType::Mov ? 32 : 62914560 + 512;
        EXPECT_EQ(recognise(iso[type], image.path(), 0), expected);

        // The same through a 64-bit size.
        writeAtoms(image, 0, {{ftyp(brandOf(type)), 32}, {largeAtomHeader(5 * GiB, "mdat"), 0}});
        EXPECT_EQ(recognise(iso[type], image.path(), 0), expected);

        // A 64-bit size beyond any device never wraps the total.
        writeAtoms(image, 0, {{ftyp(brandOf(type)), 32}, {largeAtomHeader(UINT64_MAX, "mdat"), 0}});
        EXPECT_EQ(recognise(iso[type], image.path(), 0), expected);
    }
}

// A 3 GiB "mdat" in a file that starts 1.5 GiB into the device: the members
// with the 2 GiB stop end there; M4A and MOV read the next header past 4 GiB
// of the device, at its true offset. The image is sparse.
TEST(IsoBaseMediaFileCheck, WalkPastTwoAndFourGiB) {
    const uint64_t startSector = 3 * GiB / 1024;  // 1.5 GiB
    const uint64_t start = startSector * 512;
    for (FileType type : kIsoTypes) {
        SCOPED_TRACE(info(type).recogniserClass);
        TempImage image;
        const uint64_t end = writeAtoms(image, start,
                                        {{ftyp(brandOf(type)), 32}, {atomHeader(0xC0000000, "mdat"), 0xC0000000},
                                         {atomHeader(5000, "moov"), 5000}});
        ASSERT_GT(end - 5000, 4 * GiB);
        image.resize(end + 1024 * 1024);
        IsoMembers iso(image.path());
        const bool goesOn = type == FileType::M4a || type == FileType::Mov;
        const uint64_t expected = goesOn ? 32 + 3 * GiB + 5000 + 512 : 32 + 3 * GiB + 512;
        EXPECT_EQ(recognise(iso[type], image.path(), startSector), expected);
    }
}

TEST(IsoBaseMediaFileCheck, GarbageEndsEveryWalk) {
    // A QuickTime file of nothing but zero-size atoms: each counts 8 bytes
    // until the zeros after it, where the walk stops.
    TempImage chain(2 * 1024 * 1024);
    Bytes atoms = ftyp("qt  ", 20);
    for (int i = 0; i < 100000; ++i) {
        const Bytes header = atomHeader(0, "free");
        atoms.insert(atoms.end(), header.begin(), header.end());
    }
    chain.write(0, atoms);
    IsoMembers iso(chain.path());
    EXPECT_EQ(recognise(iso[FileType::Mov], chain.path(), 0), 20u + 800000 + 512);
    // A stop request ends the walk at once; the total reached is too small to file.
    iso.ctx->bCancelScanning = true;
    EXPECT_EQ(recognise(iso[FileType::Mov], chain.path(), 0), 0u);
    iso.ctx->bCancelScanning = false;

    // Random bytes after a valid header, with atom sizes from 2 to 7 sprinkled
    // in so that headers overlap: every member must end, inside its buffer.
    std::mt19937 random(1234);
    TempImage image(256 * 1024);
    IsoMembers members(image.path());
    for (int round = 0; round < 60; ++round) {
        Bytes noise(200 * 1024);
        for (auto& b : noise) b = uint8_t(random());
        for (std::size_t at = 32; at + 8 < noise.size(); at += 1 + random() % 64) {
            const Bytes header = atomHeader(2 + random() % 6, round % 2 ? "free" : "mdat");
            std::copy(header.begin(), header.end(), noise.begin() + at);
        }
        for (FileType type : kIsoTypes) {
            const Bytes head = ftyp(brandOf(type));
            std::copy(head.begin(), head.end(), noise.begin());
            image.write(0, noise);
            EXPECT_LT(recognise(members[type], image.path(), 0), 8 * GiB);
        }
    }
}

// ffmpeg writes a 64-bit "mdat" by turning the 8-byte "free" atom before it
// into the start of a 16-byte header; the media data does not move.
Bytes withSixtyFourBitMdat(Bytes file) {
    const uint32_t freeAt = 28;  // after the 28-byte "ftyp" of ffmpeg's MP4 files
    EXPECT_TRUE(std::equal(file.begin() + freeAt + 4, file.begin() + freeAt + 8, "free"));
    const uint64_t mdatSize = uint64_t(file[freeAt + 8]) << 24 | uint64_t(file[freeAt + 9]) << 16 |
                              uint64_t(file[freeAt + 10]) << 8 | file[freeAt + 11];
    const Bytes header = largeAtomHeader(mdatSize + 8, "mdat");
    std::copy(header.begin(), header.end(), file.begin() + freeAt);
    return file;
}

// The QuickTime layout before "ftyp" existed: the same atoms without it.
Bytes withoutFtyp(const Bytes& file) { return Bytes(file.begin() + file[3], file.end()); }

// Real files made by ffmpeg, scanned in a disk image. Their top levels hold
// only atoms of the walk list (ftyp, free/wide, mdat, moov) and zeros follow
// each, so each length is the file's size plus the 512-byte slack.
TEST(IsoBaseMediaFileCheck, RealFilesAreFoundWithTheirLengths) {
    struct Placed {
        std::string name;
        Bytes bytes;
        FileType type;
        uint64_t sector = 0;
    };
    std::vector<Placed> files{
        {"iso/testsrc.mov", fixture("iso/testsrc.mov"), FileType::Mov},
        {"iso/testsrc-isom.mp4", fixture("iso/testsrc-isom.mp4"), FileType::Mp4},
        {"iso/testsrc-mp42.mp4", fixture("iso/testsrc-mp42.mp4"), FileType::Mp4},
        {"iso/testsrc-faststart.mp4", fixture("iso/testsrc-faststart.mp4"), FileType::Mp4},
        {"iso/testsrc.3gp", fixture("iso/testsrc.3gp"), FileType::ThreeGp},
        {"iso/testsrc.3g2", fixture("iso/testsrc.3g2"), FileType::ThreeGTwo},
        {"iso/testsrc.m4v", fixture("iso/testsrc.m4v"), FileType::M4v},
        {"iso/sine.m4a", fixture("iso/sine.m4a"), FileType::M4a},
        {"iso/sine.m4b", fixture("iso/sine.m4b"), FileType::M4b},
        {"64-bit mdat", withSixtyFourBitMdat(fixture("iso/testsrc-isom.mp4")), FileType::Mp4},
        {"mov without ftyp", withoutFtyp(fixture("iso/testsrc.mov")), FileType::Mov},
    };
    for (uint32_t sectorSize : {512u, 4096u}) {
        SCOPED_TRACE(sectorSize);
        TempImage image;
        uint64_t sector = 2;
        for (Placed& file : files) {
            file.sector = sector * 4096 / sectorSize;
            image.write(sector * 4096, file.bytes);
            sector += file.bytes.size() / 4096 + 3;
        }
        image.resize(sector * 4096);
        TypeSelection ticked;
        for (FileType type : kIsoTypes) ticked.set(index(type));
        ScanResult scan = scanImage(image.path(), ticked, sectorSize);
        for (FileType type : kIsoTypes) {
            const HDIR* folder = folderNamed(*scan.root, info(type).folderName);
            ASSERT_NE(folder, nullptr) << info(type).folderName;
            std::vector<std::pair<uint64_t, uint64_t>> found, expected;
            for (const auto& leaf : folder->children()) found.emplace_back(leaf->sectorNumber(), leaf->fileSize());
            for (const Placed& file : files)
                if (file.type == type) expected.emplace_back(file.sector, file.bytes.size() + 512);
            EXPECT_EQ(found, expected) << info(type).folderName;
        }
    }
}

// A file that ends with the device: the walk reads zeros past the end and stops there.
TEST(IsoBaseMediaFileCheck, FileAtTheEndOfTheDevice) {
    const Bytes file = fixture("iso/testsrc.3gp");
    TempImage image;
    image.write(512 * 7, file);
    ASSERT_EQ(image.size(), 512 * 7 + file.size());
    IsoMembers iso(image.path());
    EXPECT_EQ(recognise(iso[FileType::ThreeGp], image.path(), 7), file.size() + 512);
}

}  // namespace
}  // namespace pelorin::test
