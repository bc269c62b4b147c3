#include "scaninfo/ScanInfoFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

#include "engine/CheckController.h"
#include "recovery/SaveRecoveredFiles.h"
#include "support/RecordingPrompts.h"
#include "support/TreeBuilder.h"

namespace pelorin::test {
namespace fs = std::filesystem;
namespace {

const std::string kIncomplete = "! Error / This scan info file is incomplete.";
const std::string kCannotOpen = "! Error / This scan info file cannot be opened.";
const std::string kWrongFile = "Error / Wrong file selected. Please select an appropriate scan info file and continue.";

void putBe(Bytes& bytes, std::size_t offset, uint64_t value, int width) {
    for (int i = width - 1; i >= 0; --i, value >>= 8) bytes.at(offset + std::size_t(i)) = uint8_t(value);
}

const ScanInfoHeader kSampleHeader{512, 2, 1 << 20, 2048, 1300, Bytes(5 * 512, 0x37), {"card.img", "Disk image", "-", "-"}};

// A JPG folder with two files (the first ticked) and a preview folder with a
// ticked preview, saved as dir/<name>.rvx; returns the file's bytes.
Bytes saveSample(const TempDir& dir, RecordingPrompts& prompts, const std::string& name = "scan") {
    TreeBuilder tree;
    FoundNode* jpg = tree.folder("JPG Files", ".jpg");
    FoundNode* first = tree.file(jpg, 1000, 5);
    tree.file(jpg, 2000, 50);
    FoundNode* preview = tree.preview(tree.folder("RAW Jpg Files", ""), 300, 80, 100);
    SelectionTotals totals;
    CheckController(first, true, totals).run();
    CheckController(preview, true, totals).run();
    EXPECT_TRUE(saveScanInfo(dir / name, kSampleHeader, *tree.root(), prompts));
    return readBytes(dir / (name + ".rvx"));
}

TEST(ScanInfoFile, FilesAndRecordsAreLaidOutByteForByte) {
    TempDir dir;
    TreeBuilder tree;
    RecordingPrompts prompts;
    ScanInfoHeader header = kSampleHeader;
    header.identity = {"Card", "Model X", "-", "1.0"};
    ASSERT_TRUE(saveScanInfo(dir / "scan", header, *tree.root(), prompts));
    EXPECT_EQ(prompts.alerts, std::vector<std::string>{"Saving Scan information completed / saved at " + (dir / "scan")});
    Bytes expected;
    auto add = [&](uint64_t value, int width) { while (width--) expected.push_back(uint8_t(value >> (8 * width))); };
    auto addText = [&](std::string_view text) { expected.insert(expected.end(), text.begin(), text.end()); };
    auto zeros = [&](std::size_t count) { expected.resize(expected.size() + count); };
    addText("Complete");
    for (uint64_t value : {512, 2, 4, 7, 3, 1}) add(value, 4);  // sector size, ticked, name/model/revision/serial lengths
    for (uint64_t value : {1 << 20, 2048, 1300}) add(value, 8);
    expected.insert(expected.end(), header.firstSectors.begin(), header.firstSectors.end());
    addText("Card-Model X1.0");  // display name, serial, model, revision
    zeros(32), add(1, 4), add(FoundNode::kRootID, 4), add(0, 4), add(4, 2), add(0, 2), add(1, 2), zeros(29);
    addText("ROOT");
    zeros(79);  // the end record
    EXPECT_EQ(readBytes(dir / "scan.rvx"), expected);

    // Every field of a found file's record, 64-bit values whole.
    FoundNode* previews = tree.folder("RAW Jpg Files", "");
    FoundNode* node = tree.preview(previews, 0x0102030405060708ULL, 0x1122334455667788ULL, 300);
    node->setSelected(1);
    const auto record = packNodeRecord(*node);
    expected.clear();
    zeros(8), add(0x0102030405060708ULL, 8), zeros(8), add(0x1122334455667788ULL, 8), add(previews->fileID(), 4);
    add(node->fileID(), 4), zeros(4), add(node->fileName().size(), 2), add(node->pathName().size(), 2), add(2, 2);
    add(1, 1), zeros(8), add(300, 4), zeros(16);  // selected, children, extra bytes to move
    EXPECT_EQ(Bytes(record.begin(), record.end()), expected);
}

// Files that cannot be opened are refused with their message; files cut short or with odd
// records open quietly and keep every complete node.
TEST(ScanInfoFile, WrongUnfinishedImpossibleAndCutShortFiles) {
    TempDir dir;
    RecordingPrompts prompts;
    const Bytes good = saveSample(dir, prompts);
    const std::size_t lastEntry = good.size() - 79 - (79 + 19 + 18), firstFolderType = 56 + 5 * 512 + 20 + 79 + 4 + 48;
    auto cut = [](std::size_t size) { return [size](Bytes& b) { b.resize(size); }; };
    auto type = [=](uint64_t value) { return [=](Bytes& b) { putBe(b, firstFolderType, value, 2); }; };
    // Padded, so that only the sector size itself can be the reason.
    auto sectorSize = [](uint32_t size) { return [size](Bytes& b) { putBe(b, 8, size, 4), b.resize(b.size() + 65536); }; };
    using Messages = std::vector<std::string>;
    // {file, change of a good file (none: no file at all), alerts, children of each folder, end record seen}
    const std::tuple<std::string, std::function<void(Bytes&)>, Messages, std::vector<std::size_t>, bool> cases[] = {
        {"scan.rvx.bak", nullptr, {kWrongFile}, {}, false},
        {"missing.rvx", nullptr, {kCannotOpen}, {}, false},
        {"unfinished.rvx", [](Bytes& b) { std::copy_n("UnComple", 8, b.begin()); }, {kIncomplete}, {}, false},
        {"short.rvx", cut(3), {kIncomplete}, {}, false},
        {"sector0.rvx", sectorSize(0), {kIncomplete}, {}, false},
        {"sector3000.rvx", sectorSize(3000), {kIncomplete}, {}, false},
        {"sector8192.rvx", sectorSize(8192), {kIncomplete}, {}, false},
        // A display name "longer" than the whole file ends the reading, it does not allocate it.
        {"hugename.rvx", [](Bytes& b) { putBe(b, 16, 0xFFFFFFF0u, 4); }, {kIncomplete}, {}, false},
        {"inside-the-root.rvx", cut(56 + 5 * 512 + 20 + 40), {kIncomplete}, {}, false},
        {"no-end-record.rvx", cut(good.size() - 79), {}, {2, 1}, false},
        {"last-name-cut.rvx", cut(lastEntry + 85), {}, {2, 0}, false},
        {"file-before-any-folder.rvx", type(2), {}, {1}, true},
    };
    for (const auto& [name, change, alerts, children, end] : cases) {
        Bytes bytes = good;
        if (change) change(bytes), writeBytes(dir / name, bytes);
        prompts.alerts.clear();
        auto info = openScanInfo(dir / name, prompts);
        std::vector<std::size_t> found;
        if (info)
            for (const auto& folder : info->root->children()) found.push_back(folder->children().size());
        EXPECT_EQ(std::tuple(prompts.alerts, found, info && info->endRecordSeen), std::tuple(alerts, children, end)) << name;
    }
}

// A file may hold ticks no tick change leaves (a ticked folder whose files are
// not, a ticked file in an unticked folder), or end inside a folder's files: the
// reopened tree shows each node as a recount of it does, and saves the same bytes.
TEST(ScanInfoFile, ReopenedTicksShowAsReadWhateverTheirState) {
    TempDir dir;
    RecordingPrompts prompts;
    TreeBuilder tree;
    FoundNode* jpg = tree.folder("JPG Files", ".jpg");
    tree.file(jpg, 10, 1), tree.file(jpg, 20, 2);
    FoundNode* lone = tree.file(tree.folder("PNG Files", ".png"), 30, 3);
    jpg->setSelected(1), lone->setSelected(1);
    ASSERT_TRUE(saveScanInfo(dir / "odd", kSampleHeader, *tree.root(), prompts));
    const Bytes saved = readBytes(dir / "odd.rvx");
    writeBytes(dir / "cut.rvx", Bytes(saved.begin(), saved.end() - 80));  // into the last file's path

    // Pre-order: ROOT, JPG Files and its two files, PNG Files and its file.
    const std::pair<std::string, std::vector<int>> cases[] = {{"odd.rvx", {-1, 0, 0, 0, 1, 1}},
                                                              {"cut.rvx", {-1, 0, 0, 0, 0}}};
    for (const auto& [name, expected] : cases) {
        SCOPED_TRACE(name);
        auto info = openScanInfo(dir / name, prompts);
        ASSERT_TRUE(info);
        std::vector<int> marks{CheckController::markState(*info->root)};
        for (const auto& folder : info->root->children()) {
            marks.push_back(CheckController::markState(*folder));
            for (const auto& file : folder->children()) marks.push_back(CheckController::markState(*file));
        }
        EXPECT_EQ(marks, expected);
        expectTalliesMatchRecount(*info->root);
    }
    auto info = openScanInfo(dir / "odd.rvx", prompts);
    ASSERT_TRUE(info && saveScanInfo(dir / "again", info->header, *info->root, prompts));
    EXPECT_EQ(readBytes(dir / "again.rvx"), saved);
}

// Against the scanned source: a file giving the drive more sectors than the source has is
// refused as incomplete; every found file is cut at the source's end, one that starts at or
// past it keeps nothing, and saving then reads up to that end and no further.
TEST(ScanInfoFile, TheScannedSourceBoundsTheSectorCountAndEveryFile) {
    Bytes sourceBytes(20 * 512 + 100);  // 20 whole sectors and part of one
    for (std::size_t i = 0; i < sourceBytes.size(); ++i) sourceBytes[i] = uint8_t(i * 7 + i / 251);
    MemorySource source(sourceBytes);
    TreeBuilder tree;
    FoundNode* jpg = tree.folder("JPG Files", ".jpg");
    tree.file(jpg, 1000, 2);           // inside
    tree.file(jpg, 0xFFFFFFFF, 15);    // runs past the end
    tree.file(jpg, 512, 21);           // starts past the end
    tree.file(jpg, 100, 1ULL << 62);   // its byte offset does not fit in 64 bits
    tree.preview(tree.folder("RAW Jpg Files", ""), 5000, 19, 300);
    SelectionTotals totals;
    CheckController(tree.root(), true, totals).run();
    TempDir dir;
    RecordingPrompts prompts;
    for (const uint64_t sectorCount : {20ULL, 21ULL, ~0ULL}) {
        SCOPED_TRACE(sectorCount);
        ScanInfoHeader header = kSampleHeader;
        header.sectorCount = sectorCount;
        ASSERT_TRUE(saveScanInfo(dir / "scan", header, *tree.root(), prompts));
        auto info = openScanInfo(dir / "scan.rvx", prompts);
        ASSERT_TRUE(info);
        prompts.alerts.clear();
        const bool fits = fitToSource(*info, source, dir / "scan.rvx", prompts);
        EXPECT_EQ(std::tuple(fits, prompts.alerts),
                  std::tuple(sectorCount == 20, sectorCount == 20 ? std::vector<std::string>{} : std::vector{kIncomplete}));
        if (!fits) continue;
        std::vector<uint64_t> sizes{info->root->fileSize()};
        for (const auto& folder : info->root->children()) {
            sizes.push_back(folder->fileSize());
            for (const auto& file : folder->children()) sizes.push_back(file->fileSize());
        }
        EXPECT_EQ(sizes, (std::vector<uint64_t>{3972, 3660, 1000, 2660, 0, 0, 312, 312}));
        EXPECT_EQ(info->root->tickedBytes(), 3972u);
        expectTalliesMatchRecount(*info->root);

        TempDir destination;
        const SelectionTotals toSave = filesToSave(*info->root);
        const SaveResult saved = SaveRecoveredFiles(source, 512, toSave, prompts).save(*info->root, destination.path());
        EXPECT_EQ(std::tuple(saved.filesSaved, saved.filesFailed, saved.savedData), std::tuple(3, 2, 1000 + 2660 + 612u));
        const fs::path root = fs::path(saved.recoveryFolder) / "ROOT";
        EXPECT_EQ(readBytes(root / "JPG Files/file2.jpg"), Bytes(sourceBytes.begin() + 15 * 512, sourceBytes.end()));
        EXPECT_EQ(readBytes(root / "RAW Jpg Files/file - Raw Jpg1.jpg"), Bytes(sourceBytes.end() - 312, sourceBytes.end()));
        EXPECT_FALSE(fs::exists(root / "JPG Files/file3.jpg"));
    }
}

// A JPG folder of three files, the first and the last put back together from pieces.
struct PiecesSample {
    const std::vector<ByteRun> first = {{10 * 512, 3000}, {100 * 512 + 7, 2000}};
    const std::vector<ByteRun> last = {{30 * 512, 1024}, {60 * 512, 4000}, {40 * 512, 3976}};
    TreeBuilder tree;
    FoundNode* jpg = tree.folder("JPG Files", ".jpg");
    FoundNode* a = tree.file(jpg, 5000, 10);
    FoundNode* b = tree.file(jpg, 700, 20);
    FoundNode* c = tree.file(jpg, 9000, 30);
    PiecesSample() {
        a->setPieces(first);
        c->setPieces(last);
    }
};

uint64_t getBe(const Bytes& bytes, std::size_t offset, int width) {
    uint64_t value = 0;
    for (int i = 0; i < width; ++i) value = value << 8 | bytes.at(offset + std::size_t(i));
    return value;
}

// Pieces come back as written, and a second save writes the same bytes. The form is the
// form of a tree without pieces but for the flagged sector size and the pieces after the
// end record. Against the scanned source, pieces past its end are cut off there.
TEST(ScanInfoFile, PiecesComeBackAsWrittenAfterTheTreeAndFollowTheSourcesEnd) {
    TempDir dir;
    RecordingPrompts prompts;
    PiecesSample sample;
    ScanInfoHeader header = kSampleHeader;
    header.sectorCount = 10;  // within both sources below
    ASSERT_TRUE(saveScanInfo(dir / "pieces", header, *sample.tree.root(), prompts));
    const Bytes withPieces = readBytes(dir / "pieces.rvx");
    auto info = openScanInfo(dir / "pieces.rvx", prompts);
    ASSERT_TRUE(info && info->endRecordSeen);
    EXPECT_EQ(info->header.sectorSize, 512u);
    const FoundNode& folder = *info->root->childAtIndex(0);
    ASSERT_EQ(folder.children().size(), 3u);
    EXPECT_EQ(folder.childAtIndex(0)->pieces(), sample.first);
    EXPECT_TRUE(folder.childAtIndex(1)->pieces().empty());
    EXPECT_EQ(folder.childAtIndex(2)->pieces(), sample.last);
    ASSERT_TRUE(saveScanInfo(dir / "again", info->header, *info->root, prompts));
    EXPECT_EQ(readBytes(dir / "again.rvx"), withPieces);

    sample.a->setPieces({});
    sample.c->setPieces({});
    ASSERT_TRUE(saveScanInfo(dir / "plain", header, *sample.tree.root(), prompts));
    Bytes expected = readBytes(dir / "plain.rvx");
    putBe(expected, 8, 512 | kPiecesFlag, 4);
    auto append = [&](uint64_t value, int width) {
        expected.resize(expected.size() + std::size_t(width));
        putBe(expected, expected.size() - std::size_t(width), value, width);
    };
    append(2, 4);  // files with pieces, then each one's place in pre-order, piece count and pieces
    for (const auto& [place, pieces] : {std::pair{2, sample.first}, {4, sample.last}}) {
        append(uint64_t(place), 4), append(pieces.size(), 4);
        for (const ByteRun& piece : pieces) append(piece.offset, 8), append(piece.length, 8);
    }
    EXPECT_EQ(withPieces, expected);

    // 100 * 512 + 1007 bytes: the first file's second piece keeps 1000 of its 2000 bytes;
    // 10 * 512 + 2000: its first piece is cut, so it is one run again, and the last file starts past the end.
    for (const auto& [end, firstPieces, sizes] :
         {std::tuple(100 * 512 + 1007, std::vector<ByteRun>{{10 * 512, 3000}, {100 * 512 + 7, 1000}},
                     std::vector<uint64_t>{13700, 4000, 700, 9000}),
          std::tuple(10 * 512 + 2000, std::vector<ByteRun>{}, std::vector<uint64_t>{2000, 2000, 0, 0})}) {
        auto reopened = openScanInfo(dir / "pieces.rvx", prompts);
        ASSERT_TRUE(reopened);
        const Bytes sourceBytes(std::size_t(end), 0x5a);
        MemorySource source(sourceBytes);
        ASSERT_TRUE(fitToSource(*reopened, source, dir / "pieces.rvx", prompts));
        const FoundNode& files = *reopened->root->childAtIndex(0);
        EXPECT_EQ(files.childAtIndex(0)->pieces(), firstPieces) << end;
        EXPECT_EQ((std::vector{reopened->root->fileSize(), files.childAtIndex(0)->fileSize(),
                               files.childAtIndex(1)->fileSize(), files.childAtIndex(2)->fileSize()}),
                  sizes) << end;
    }
}

// A build that does not know pieces read the sector size first and refused the file, as
// incomplete, unless it was a power of two up to 4096: a file with pieces fails that, so
// such a build never opens it with sizes its files' first runs do not hold. Without pieces
// the field is the sector size as before.
TEST(ScanInfoFile, AFileWithPiecesIsRefusedByAReaderThatDoesNotKnowThem) {
    TempDir dir;
    RecordingPrompts prompts;
    PiecesSample sample;
    ASSERT_TRUE(saveScanInfo(dir / "pieces", kSampleHeader, *sample.tree.root(), prompts));
    const Bytes plain = saveSample(dir, prompts);
    auto olderReaderTakes = [](const Bytes& file) {
        const uint64_t sectorSize = getBe(file, 8, 4);
        return std::string(file.begin(), file.begin() + 8) == "Complete" && sectorSize != 0 && sectorSize <= 4096 &&
               (sectorSize & (sectorSize - 1)) == 0;
    };
    EXPECT_FALSE(olderReaderTakes(readBytes(dir / "pieces.rvx")));
    EXPECT_TRUE(olderReaderTakes(plain));
    // And the flag with any other bit of a bad size is still refused by this build.
    Bytes bad = readBytes(dir / "pieces.rvx");
    putBe(bad, 8, kPiecesFlag | 3000, 4);
    writeBytes(dir / "bad.rvx", bad);
    prompts.alerts.clear();
    EXPECT_FALSE(openScanInfo(dir / "bad.rvx", prompts));
    EXPECT_EQ(prompts.alerts, std::vector{kIncomplete});
}

// Pieces that do not fit their file leave it as one run, the tree and the other file's
// pieces as written; nothing read from the file allocates more than it holds.
TEST(ScanInfoFile, PiecesThatDoNotFitTheirFileLeaveItAsOneRun) {
    TempDir dir;
    RecordingPrompts prompts;
    PiecesSample sample;
    ASSERT_TRUE(saveScanInfo(dir / "pieces", kSampleHeader, *sample.tree.root(), prompts));
    const Bytes good = readBytes(dir / "pieces.rvx");
    const std::size_t at = good.size() - 100;  // the pieces: 4 + (8 + 2 * 16) + (8 + 3 * 16) bytes
    const std::size_t firstEntry = at + 4, lastEntry = at + 44;
    auto put = [](std::size_t offset, uint64_t value, int width) {
        return [=](Bytes& b) { putBe(b, offset, value, width); };
    };
    auto cut = [](std::size_t size) { return [size](Bytes& b) { b.resize(size); }; };
    const uint64_t half = 1ULL << 63;
    // {change, first file reassembled, last file reassembled}
    const std::tuple<const char*, std::function<void(Bytes&)>, bool, bool> cases[] = {
        {"as written", [](Bytes&) {}, true, true},
        {"more entries than follow", put(at, 0xFFFFFFFF, 4), true, true},
        {"naming the folder", put(firstEntry, 1, 4), false, true},
        {"naming no record", put(firstEntry, 999, 4), false, true},
        {"naming the other file", put(firstEntry, 4, 4), false, true},
        {"naming a file that has its pieces", put(lastEntry, 2, 4), true, false},
        {"more pieces than the file holds", put(firstEntry + 4, 0xFFFFFFFF, 4), false, false},
        {"one piece", put(firstEntry + 4, 1, 4), false, false},
        {"lengths short of the size", put(firstEntry + 32, 1999, 8), false, true},
        {"lengths beyond the size", put(firstEntry + 16, 3001, 8), false, true},
        {"lengths wrapping round to the size",
         [=](Bytes& b) { putBe(b, firstEntry + 16, 3000 + half, 8), putBe(b, firstEntry + 32, 2000 + half, 8); },
         false, true},
        {"the first piece elsewhere", put(firstEntry + 8, 11 * 512, 8), false, true},
        {"a piece ending past 2^64", put(firstEntry + 24, UINT64_MAX - 10, 8), false, true},
        {"an empty piece",
         [=](Bytes& b) { putBe(b, lastEntry + 32, 0, 8), putBe(b, lastEntry + 48, 7976, 8); }, true, false},
        {"cut inside the last entry", cut(good.size() - 10), true, false},
        {"no pieces after the end record", cut(at), false, false},
        {"the flag cleared", put(8, 512, 4), false, false},
    };
    for (const auto& [name, change, first, last] : cases) {
        Bytes bytes = good;
        change(bytes);
        writeBytes(dir / "hostile.rvx", bytes);
        prompts.alerts.clear();
        auto info = openScanInfo(dir / "hostile.rvx", prompts);
        ASSERT_TRUE(info && info->endRecordSeen) << name;
        EXPECT_EQ(prompts.alerts, std::vector<std::string>{}) << name;
        const FoundNode& folder = *info->root->childAtIndex(0);
        ASSERT_EQ(folder.children().size(), 3u) << name;
        EXPECT_EQ((std::vector{folder.childAtIndex(0)->fileSize(), folder.childAtIndex(1)->fileSize(),
                               folder.childAtIndex(2)->fileSize()}),
                  (std::vector<uint64_t>{5000, 700, 9000})) << name;
        EXPECT_EQ(folder.childAtIndex(0)->pieces(), first ? sample.first : std::vector<ByteRun>{}) << name;
        EXPECT_TRUE(folder.childAtIndex(1)->pieces().empty()) << name;
        EXPECT_EQ(folder.childAtIndex(2)->pieces(), last ? sample.last : std::vector<ByteRun>{}) << name;
    }
}

// Recovering from a reopened scan-info file gives what recovering right after the scan
// gives; saving the reopened tree writes the same bytes, first sectors and identity included.
TEST(ScanInfoFile, ScanSaveOpenRecoverMatchesRecoveringAfterTheScan) {
    TempImage image(256 * 1024);
    image.write(512 * 7, fixture("jpeg/baseline.jpg"));
    image.write(512 * 100, fixture("jpeg/progressive.jpg"));
    ScanResult scan = scanImage(image.path(), selectionOf({FileType::Jpg}));
    ASSERT_EQ(scan.root->fileCount(), 2u);
    SelectionTotals totals;
    CheckController(scan.root.get(), true, totals).run();
    expectTalliesMatchRecount(*scan.root);  // the scan attaches its folders once they are filled
    RecordingPrompts prompts;
    TempDir direct, reopened, infoDir;
    auto source = FileSource::open(image.path());
    const SaveResult straight = SaveRecoveredFiles(*source, 512, totals, prompts).save(*scan.root, direct.path());
    ASSERT_EQ(straight.filesSaved, 2);

    const ScanInfoHeader header{512, CheckController::countTickedFiles(*scan.root), image.size(), image.size() / 512,
                                totals.tickedBytes, Bytes(5 * 512, 0xA5), sourceIdentity(image.path())};
    // A chosen name that already ends in .rvx gets a second one.
    ASSERT_TRUE(saveScanInfo(infoDir / "scan.rvx", header, *scan.root, prompts));
    auto info = openScanInfo(infoDir / "scan.rvx.rvx", prompts);
    ASSERT_TRUE(info);
    ASSERT_TRUE(saveScanInfo(infoDir / "again", info->header, *info->root, prompts));
    EXPECT_EQ(readBytes(infoDir / "again.rvx"), readBytes(infoDir / "scan.rvx.rvx"));
    // A disk image is known by its file name.
    const DriveIdentity& id = info->header.identity;
    EXPECT_EQ(std::tie(id.displayName, id.model, id.serial, id.revision),
              std::tuple(fs::path(image.path()).filename().string(), "Disk image", "-", "-"));
    SelectionTotals restored{info->header.tickedFiles, info->header.tickedBytes};
    const SaveResult again =
        SaveRecoveredFiles(*source, info->header.sectorSize, restored, prompts).save(*info->root, reopened.path());
    ASSERT_EQ(again.filesSaved, 2);
    for (const char* name : {"file1.jpg", "file2.jpg"})
        EXPECT_EQ(readBytes(straight.recoveryFolder + "/ROOT/JPG Files/" + name),
                  readBytes(again.recoveryFolder + "/ROOT/JPG Files/" + name)) << name;
    // The first file starts with the whole fixture (the scan may keep trailing bytes).
    const Bytes jpeg = fixture("jpeg/baseline.jpg"), saved = readBytes(straight.recoveryFolder + "/ROOT/JPG Files/file1.jpg");
    EXPECT_EQ(Bytes(saved.begin(), saved.begin() + long(std::min(saved.size(), jpeg.size()))), jpeg);
}

}  // namespace
}  // namespace pelorin::test
