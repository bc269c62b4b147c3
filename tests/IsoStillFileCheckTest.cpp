// ISO base media stills and camera raw (HEIC, HEIF, AVIF, CR3): which type a
// brand goes to, and how long the top-level walk makes each file.

#include <gtest/gtest.h>

#include "support/IsoStillFiles.h"
#include "support/MediaTestSupport.h"

namespace pelorin::test {
namespace {

TypeSelection allTypes() {
    TypeSelection all;
    for (const auto& row : registry()) all.set(index(row.type), row.factory != nullptr);
    return all;
}
TypeSelection theForty() {
    TypeSelection forty;
    for (const auto& row : registry()) forty.set(index(row.type), !isAddedType(row.type));
    return forty;
}

// Every folder holding a file, with its files.
std::vector<std::pair<std::string, Leaves>> found(const FoundNode& root) {
    std::vector<std::pair<std::string, Leaves>> folders;
    for (const auto& folder : root.children()) folders.emplace_back(folder->fileName(), leavesIn(root, folder->fileName()));
    return folders;
}

// An MP4 the MP4 walk files: "ftyp" of 24 bytes like a CR3's, "moov", "mdat".
Bytes mp4() {
    return concat({ftyp("isom", "isommp41"), box("moov", Bytes(500, 0)), box("mdat", Bytes(12000, 0x11))});
}

TEST(IsoStillFileCheck, BrandsDecideTheTypeAndStillsNeverGoToMp4) {
    const Bytes heicFile = fixture("heif/small.heic");
    const std::vector<std::tuple<const char*, Bytes, std::string>> cases{
        {"heic major brand", heicFile, "HEIC Files"},
        {"avif major brand", fixture("heif/small.avif"), "AVIF Files"},
        {"mif1 with heic compatible", itemFile("mif1", "mif1heic", 3000), "HEIC Files"},
        {"mif1 with avif compatible", itemFile("mif1", "miafavif", 3000), "AVIF Files"},
        {"mif1 alone", itemFile("mif1", "mif1miaf", 3000), "HEIF Files"},
        {"msf1 alone", itemFile("msf1", "msf1iso8", 3000), "HEIF Files"},
        {"avis", itemFile("avis", "avismsf1", 3000), "AVIF Files"},
        {"hevx", itemFile("hevx", "msf1", 3000), "HEIC Files"},
        {"crx", cr3(2000).bytes, "CR3 Files"},
    };
    for (const auto& [name, file, folder] : cases) {
        SCOPED_TRACE(name);
        const ScanResult all = scanPlaced({{3, file}}, allTypes(), 512, 64 * 1024);
        EXPECT_EQ(leavesIn(*all.root, folder), (Leaves{{3, file.size()}}));
        EXPECT_EQ(leavesIn(*all.root, "MP4 Files"), Leaves{});
        // With only the forty ticked a still or raw file goes to no folder at all.
        const ScanResult forty = scanPlaced({{3, file}}, theForty(), 512, 64 * 1024);
        EXPECT_EQ(leavesIn(*forty.root, "MP4 Files"), Leaves{});
        EXPECT_EQ(leavesIn(*forty.root, "MOV Files"), Leaves{});
    }
    // A video brand stays with MP4 and none of the four claims it.
    const ScanResult video = scanPlaced({{3, mp4()}}, allTypes(), 512, 64 * 1024);
    EXPECT_EQ(found(*video.root), (std::vector<std::pair<std::string, Leaves>>{{"MP4 Files", {{3, mp4().size() + 512}}}}));
}

TEST(IsoStillFileCheck, TopLevelWalkLengths) {
    const Bytes heic = fixture("heif/small.heic");  // ftyp 28, meta 322, mdat 702 at 350
    const Bytes avif = fixture("heif/small.avif");  // ftyp 32, meta 242, mdat 477 at 274
    const Bytes items = itemFile("mif1", "mif1", 3000);
    const std::size_t itemsMdat = items.size() - 3008;
    Bytes largeMdat = concat({Bytes(items.begin(), items.begin() + itemsMdat),
                              ByteWriter().be32(1).text("mdat").be64(3016).fill(3000, 0xA5).bytes});
    const Cr3 raw = cr3(2000);
    const std::vector<std::tuple<const char*, Bytes, std::string, uint64_t>> cases{
        // A size-0 last box runs to where the data the file points at ends.
        {"HEIC, mdat of size 0: to the end of its item extents", withBoxSize(heic, 350, 0), "HEIC Files", heic.size()},
        {"AVIF, mdat of size 0", withBoxSize(avif, 274, 0), "AVIF Files", avif.size()},
        {"HEIF, mdat of size 0: idat extents do not count", withBoxSize(items, itemsMdat, 0), "HEIF Files", items.size()},
        {"CR3, mdat of size 0: to the end of the last track chunk", withBoxSize(raw.bytes, raw.mdatAt, 0), "CR3 Files",
         raw.bytes.size()},
        {"64-bit box size", largeMdat, "HEIF Files", largeMdat.size()},
        // A box type these files never use ends the walk before it.
        {"unknown box after meta", concat({Bytes(heic.begin(), heic.begin() + 350), box("zzzz", Bytes(702, 0))}),
         "HEIC Files", 350},
    };
    for (const auto& [name, file, folder, length] : cases) {
        SCOPED_TRACE(name);
        // Random bytes after the file: the walk must not read them as boxes.
        const ScanResult result = scanPlaced({{2, file}, {2 + (file.size() + 511) / 512, Bytes(4096, 0xC3)}},
                                             allTypes(), 512, 128 * 1024);
        EXPECT_EQ(leavesIn(*result.root, folder), (Leaves{{2, length}}));
    }
}

TEST(IsoStillFileCheck, DamagedOrCutOffFilesEndWhereTheSourceDoes) {
    const Bytes heic = fixture("heif/small.heic");
    const Cr3 raw = cr3(2000);
    const uint64_t imageSize = 10 * 512;
    auto cutAt = [](const Bytes& file, std::size_t size) { return Bytes(file.begin(), file.begin() + size); };
    const std::vector<std::tuple<const char*, Bytes, std::string, uint64_t>> cases{
        // Placed at sector 8: 1,024 bytes of the image are left.
        {"HEIC cut short", cutAt(heic, 1024), "HEIC Files", 1024},
        {"CR3 cut short", cutAt(raw.bytes, 1024), "CR3 Files", 1024},
        {"mdat past the source", cutAt(withBoxSize(heic, 350, 0x7FFFFFFF), 1024), "HEIC Files", 1024},
        {"64-bit size of 2^64 - 1", concat({cutAt(heic, 350), ByteWriter().be32(1).text("mdat").be64(~0ULL).bytes}),
         "HEIC Files", 1024},
        {"64-bit size below its header", concat({cutAt(heic, 350), ByteWriter().be32(1).text("mdat").be64(15).bytes}),
         "HEIC Files", 350},
        {"box size below its header", withBoxSize(heic, 350, 7), "HEIC Files", 350},
        {"ftyp alone is no file", cutAt(heic, 28), "", 0},
    };
    for (const auto& [name, file, folder, length] : cases) {
        SCOPED_TRACE(name);
        const ScanResult result = scanPlaced({{8, file}}, allTypes(), 512, imageSize);
        if (length == 0)
            EXPECT_TRUE(result.root->children().empty());
        else
            EXPECT_EQ(found(*result.root), (std::vector<std::pair<std::string, Leaves>>{{folder, {{8, length}}}}));
    }
}

// The tables a size-0 box is measured from may say anything: extents and
// chunks past the source, counts far beyond their box. The walk stays inside
// the source and ends.
TEST(IsoStillFileCheck, TablesOfADamagedFileCannotTakeTheWalkOutside) {
    const Bytes heic = fixture("heif/small.heic");
    Bytes hugeCounts = withBoxSize(heic, 350, 0);
    for (std::size_t at = 36; at + 4 < 350; ++at)  // the item count of the "iloc" box at its largest
        if (hugeCounts[at] == 'i' && hugeCounts[at + 1] == 'l' && hugeCounts[at + 2] == 'o' && hugeCounts[at + 3] == 'c')
            hugeCounts[at + 10] = hugeCounts[at + 11] = 0xFF;
    const Cr3 raw = cr3(2000, {3000, 0xFFFFFFF0});
    const std::vector<std::pair<Bytes, std::string>> files{{hugeCounts, "HEIC Files"},
                                                           {withBoxSize(raw.bytes, raw.mdatAt, 0), "CR3 Files"}};
    for (const auto& [file, folder] : files) {
        const ScanResult result = scanPlaced({{2, file}}, allTypes(), 512, 32 * 1024);
        const Leaves leaves = leavesIn(*result.root, folder);
        ASSERT_EQ(leaves.size(), 1u);
        EXPECT_LE(leaves[0].size, 32u * 1024 - 1024);
    }
}

TEST(IsoStillFileCheck, Cr3NextToAnMp4EachInItsOwnFolderWithItsPreview) {
    const Cr3 raw = cr3(5000);
    const uint64_t mp4Sector = 2 + (raw.bytes.size() + 511) / 512;
    const ScanResult result = scanPlaced({{2, raw.bytes}, {mp4Sector, mp4()}}, allTypes(), 512, 64 * 1024);
    EXPECT_EQ(leavesIn(*result.root, "CR3 Files"), (Leaves{{2, raw.bytes.size()}}));
    EXPECT_EQ(leavesIn(*result.root, "MP4 Files"), (Leaves{{mp4Sector, mp4().size() + 512}}));
    const FoundNode* previews = folderNamed(*result.root, "RAW Jpg Files");
    ASSERT_NE(previews, nullptr);
    ASSERT_EQ(previews->children().size(), 1u);
    const FoundNode& preview = *previews->childAtIndex(0);
    EXPECT_EQ(preview.sectorNumber() * 512 + preview.extraBytesToMove(), 2 * 512 + raw.previewAt);
    EXPECT_EQ(preview.fileSize(), 5000u);

    // A preview of 1,024 bytes or less is not filed; one whose length runs
    // past its box is not believed.
    Cr3 small = cr3(1024);
    EXPECT_EQ(folderNamed(*scanPlaced({{2, small.bytes}}, allTypes()).root, "RAW Jpg Files"), nullptr);
    Cr3 overlong = cr3(5000);
    overlong.bytes[raw.previewAt - 4] = 0x7F;
    const ScanResult bad = scanPlaced({{2, overlong.bytes}}, allTypes());
    EXPECT_EQ(folderNamed(*bad.root, "RAW Jpg Files"), nullptr);
    EXPECT_EQ(leavesIn(*bad.root, "CR3 Files"), (Leaves{{2, overlong.bytes.size()}}));
}

}  // namespace
}  // namespace pelorin::test
