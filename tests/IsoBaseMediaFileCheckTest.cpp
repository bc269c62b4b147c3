#include <gtest/gtest.h>

#include <array>
#include <map>
#include <optional>

#include "recognisers/media/IsoBaseMediaFileCheck.h"
#include "support/MediaTestSupport.h"

namespace pelorin::test {
namespace {

constexpr std::array<FileType, 7> kIsoTypes{FileType::Mov, FileType::Mp4, FileType::M4a, FileType::M4b,
                                            FileType::M4v, FileType::ThreeGp, FileType::ThreeGTwo};
constexpr uint64_t GiB = uint64_t{1} << 30;

Bytes atomHeader(uint32_t size, std::string_view type) { return ByteWriter().be32(size).text(type).bytes; }

// An atom whose 32-bit size is 1 and whose real size follows the type.
Bytes largeAtomHeader(uint64_t size, std::string_view type) {
    return ByteWriter().be32(1).text(type).be64(size).bytes;
}

// An "ftyp" atom with a major brand, padded with compatible brands to at
// most its first 32 bytes, and never less than its brand.
Bytes ftyp(std::string_view brand, uint32_t size = 32) {
    Bytes out = ByteWriter().be32(size).text("ftyp").text(brand).be32(0x200).text("isomisomisomisom").bytes;
    out.resize(std::clamp<uint32_t>(size, 12, 32));
    return out;
}

// Atom headers laid out one after another from a byte offset; each pair is a
// header and how far the next one lies. The payloads stay as the image has them.
using Atoms = std::vector<std::pair<Bytes, uint64_t>>;
uint64_t writeAtoms(TempImage& image, uint64_t offset, const Atoms& atoms) {
    for (const auto& [header, size] : atoms) {
        image.write(offset, header);
        offset += size;
    }
    return offset;
}

// A member built through the registry as a scan builds it, sizing the file at a sector.
uint64_t isoSize(FileType type, const std::string& path, uint64_t sector, bool cancel = false) {
    auto ctx = contextFor(path);
    return sizeOn(*info(type).factory(*ctx, TypeSelection{}), *ctx, path, sector, cancel).size;
}

std::string_view brandOf(FileType type) {
    constexpr std::array<std::string_view, 7> brands{"qt  ", "isom", "M4A ", "M4B ", "M4V ", "3gp5", "3g2a"};
    return brands[index(type) - index(FileType::Mov)];
}

TEST(IsoBaseMediaFileCheck, BrandsGiveEachHeaderToAtMostOneMember) {
    // The first atom (its size field says where the second lies), the second atom's type, the member claiming it.
    const std::vector<std::tuple<Bytes, std::string_view, std::optional<FileType>>> cases{
        {ftyp("isom"), "moov", FileType::Mp4}, {ftyp("mp42"), "mdat", FileType::Mp4},
        {ftyp("qt  ", 20), "wide", FileType::Mov}, {atomHeader(4000, "moov"), "mdat", FileType::Mov},
        {atomHeader(1000, "mdat"), "moov", FileType::Mov},
        {atomHeader(8, "free"), "mdat", std::nullopt},  // "free" never starts a QuickTime file
        {ftyp("M4A "), "moov", FileType::M4a}, {ftyp("M4B "), "moov", FileType::M4b}, {ftyp("M4V "), "moov", FileType::M4v},
        {ftyp("3gp4", 28), "free", FileType::ThreeGp}, {ftyp("3g2a", 28), "free", FileType::ThreeGTwo},
        {ftyp("qqqq"), "moov", std::nullopt}, {ftyp("xtyz"), "moov", std::nullopt},  // "q" without "t"; "t" second
        {ftyp("isom"), "meta", std::nullopt},  // second atom outside the walk list
        {ftyp("isom", 7), "moov", std::nullopt}, {ftyp("isom", 1048577), "moov", std::nullopt},
        {ftyp("3gp4", 1048577), "meta", FileType::ThreeGp},  // 3GP and 3G2 test neither size nor second atom
    };
    for (const auto& [firstAtom, secondAtom, owner] : cases) {
        TempImage image(2 * 1024 * 1024);
        image.write(512 * 3, firstAtom);
        image.write(512 * 3 + (firstAtom[1] << 16 | firstAtom[2] << 8 | firstAtom[3]), atomHeader(100, secondAtom));
        auto ctx = contextFor(image.path());
        Bytes probe = firstAtom;
        probe.resize(kProbeSize);
        std::vector<FileType> claimedBy;
        for (FileType type : kIsoTypes)
            if (recogniseBytes(*info(type).factory(*ctx, TypeSelection{}), probe.data(), 3)) claimedBy.push_back(type);
        EXPECT_EQ(claimedBy, owner ? std::vector<FileType>{*owner} : std::vector<FileType>{});
    }
}

// The top-level walk of every member on the same atoms: sizes per member
// (MOV, M4A, the other five).
TEST(IsoBaseMediaFileCheck, TopLevelWalks) {
    const uint64_t largeFile = 62914560 + 512;
    // The atoms after an "ftyp" of the member's brand; the sizes for MOV, M4A and the others.
    const std::vector<std::tuple<const char*, Atoms, uint64_t, uint64_t, uint64_t>> cases{
        // The sum of atoms and slack: an unlisted atom ends the file before it.
        {"sum", {{atomHeader(4000, "moov"), 4000}, {atomHeader(1000000, "mdat"), 1000000}, {atomHeader(5000, "moof"), 0}},
         1004544, 1004544, 1004544},
        {"too small to file", {{atomHeader(4000, "moov"), 4000}}, 0, 0, 0},
        {"zero-size atom: 8 bytes for MOV, the end for the others",
         {{atomHeader(20000, "mdat"), 20000}, {atomHeader(0, "free"), 8}, {atomHeader(100, "moov"), 100}},
         32 + 20000 + 8 + 100 + 512, 32 + 20000 + 512, 32 + 20000 + 512},
        // A 32-bit size of 1 means the real size follows as 64 bits; taking it
        // as 1 would step into the media data and file a truncated file.
        {"64-bit size", {{largeAtomHeader(20000, "mdat"), 20000}, {atomHeader(1000, "moov"), 1000}}, 21544, 21544, 21544},
        {"64-bit size below 16 ends the walk",
         {{atomHeader(12000, "moov"), 12000}, {largeAtomHeader(15, "mdat"), 15}}, 12544, 12544, 12544},
        // Totals past 2^32 - 16 take each member's large-file rule; held in
        // 32 bits they would wrap to a few bytes instead.
        {"64-bit total past 4 GiB", {{largeAtomHeader(5 * GiB, "mdat"), 0}}, 32, 32 + 512, largeFile},
        {"64-bit size beyond any device", {{largeAtomHeader(UINT64_MAX, "mdat"), 0}}, 32, 32 + 512, largeFile},
    };
    for (const auto& [name, atoms, mov, m4a, others] : cases)
        for (FileType type : kIsoTypes) {
            TempImage image(2 * 1024 * 1024);
            writeAtoms(image, 512 + 32, atoms);
            image.write(512, ftyp(brandOf(type)));
            EXPECT_EQ(isoSize(type, image.path(), 1), type == FileType::Mov ? mov : type == FileType::M4a ? m4a : others)
                << name << " / " << info(type).formatLabel;
            // A stop request ends the walk at once: the total reached is too small to file.
            EXPECT_EQ(isoSize(type, image.path(), 1, true), 0u);
        }
}

// A 3 GiB "mdat" in a file that starts 1.5 GiB into the device: the members
// with the 2 GiB stop end there; M4A and MOV read the next header past 4 GiB
// of the device, at its true offset. The image is sparse.
TEST(IsoBaseMediaFileCheck, WalkPastTwoAndFourGiB) {
    const uint64_t startSector = 3 * GiB / 1024;
    for (FileType type : kIsoTypes) {
        SCOPED_TRACE(info(type).formatLabel);
        TempImage image;
        const uint64_t end = writeAtoms(image, startSector * 512,
                                        {{ftyp(brandOf(type)), 32}, {atomHeader(0xC0000000, "mdat"), 0xC0000000},
                                         {atomHeader(5000, "moov"), 5000}});
        image.resize(end + 1024 * 1024);
        const bool goesOn = type == FileType::M4a || type == FileType::Mov;
        EXPECT_EQ(isoSize(type, image.path(), startSector), 32 + 3 * GiB + (goesOn ? 5000 : 0) + 512);
    }
}

// ffmpeg writes a 64-bit "mdat" by turning the 8-byte "free" atom before it
// (after its 28-byte "ftyp") into the start of a 16-byte header; the media data does not move.
Bytes withSixtyFourBitMdat(Bytes file) {
    EXPECT_EQ(std::string(file.begin() + 32, file.begin() + 36), "free");
    const uint64_t mdatSize = uint64_t(file[36]) << 24 | file[37] << 16 | file[38] << 8 | file[39];
    const Bytes header = largeAtomHeader(mdatSize + 8, "mdat");
    std::copy(header.begin(), header.end(), file.begin() + 28);
    return file;
}

// Real files made by ffmpeg, scanned in a disk image. Their top levels hold
// only atoms of the walk list and zeros follow each, so each length is the
// file's size plus the 512-byte slack. The last one ends with the device,
// so its length is cut there.
TEST(IsoBaseMediaFileCheck, RealFilesAreFoundWithTheirLengths) {
    const Bytes mov = fixture("iso/testsrc.mov");
    const std::vector<std::pair<FileType, Bytes>> files{
        {FileType::Mov, mov}, {FileType::Mp4, fixture("iso/testsrc-isom.mp4")},
        {FileType::Mp4, fixture("iso/testsrc-mp42.mp4")}, {FileType::Mp4, fixture("iso/testsrc-faststart.mp4")},
        {FileType::ThreeGp, fixture("iso/testsrc.3gp")}, {FileType::ThreeGTwo, fixture("iso/testsrc.3g2")},
        {FileType::M4v, fixture("iso/testsrc.m4v")}, {FileType::M4a, fixture("iso/sine.m4a")},
        {FileType::M4b, fixture("iso/sine.m4b")},
        {FileType::Mp4, withSixtyFourBitMdat(fixture("iso/testsrc-isom.mp4"))},
        {FileType::Mov, Bytes(mov.begin() + mov[3], mov.end())},  // the layout before "ftyp" existed
    };
    for (uint32_t sectorSize : {512u, 4096u}) {
        SCOPED_TRACE(sectorSize);
        TempImage image;
        std::map<FileType, Leaves> expected;
        uint64_t sector = 2;
        for (const auto& [type, bytes] : files) {
            image.write(sector * 4096, bytes);
            const bool last = &bytes == &files.back().second;
            expected[type].push_back({sector * 4096 / sectorSize, bytes.size() + (last ? 0 : 512)});
            sector += bytes.size() / 4096 + 3;
        }
        TypeSelection ticked;
        for (FileType type : kIsoTypes) ticked.set(index(type));
        ScanResult scan = scanImage(image.path(), ticked, sectorSize);
        for (FileType type : kIsoTypes) EXPECT_EQ(leavesIn(*scan.root, info(type).folderName), expected[type]);
    }
}

}  // namespace
}  // namespace pelorin::test
