#include "scaninfo/ScanInfoFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/CheckController.h"
#include "recovery/SaveRecoveredFiles.h"
#include "support/RecordingPrompts.h"
#include "support/TreeBuilder.h"

namespace pelorin::test {
namespace fs = std::filesystem;
namespace {

const std::string kIncomplete = "! Error / This scan info file is incomplete.";
const std::string kWrongFile = "Error / Wrong file selected. Please select an appropriate scan info file and continue.";

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "pelorin-info-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
        path_ = pattern;
    }
    ~TempDir() { fs::remove_all(path_); }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

uint64_t be(const Bytes& bytes, std::size_t offset, int width) {
    uint64_t value = 0;
    for (int i = 0; i < width; ++i) value = (value << 8) | bytes.at(offset + std::size_t(i));
    return value;
}

void putBe(Bytes& bytes, std::size_t offset, uint64_t value, int width) {
    for (int i = width - 1; i >= 0; --i, value >>= 8) bytes.at(offset + std::size_t(i)) = uint8_t(value);
}

ScanInfoHeader sampleHeader(uint32_t sectorSize = 512) {
    ScanInfoHeader header;
    header.u32BytesInSector = sectorSize;
    header.iNumberOfFileSelected = 2;
    header.selectedDriveSize = 1 << 20;
    header.u64DriveSectorNumber = (1 << 20) / sectorSize;
    header.u64SelectedFileSize = 1300;
    header.first5Sectors.assign(5 * sectorSize, 0);
    for (std::size_t i = 0; i < header.first5Sectors.size(); ++i) header.first5Sectors[i] = uint8_t(i * 7);
    header.identity = {"card.img", "Disk image", "-", "-"};
    return header;
}

// A small tree: a JPG folder with two files (one ticked), a preview folder with one.
void buildSample(TreeBuilder& tree) {
    HDIR* jpg = tree.folder("JPG Files", ".jpg");
    HDIR* first = tree.file(jpg, 1000, 5);
    tree.file(jpg, 2000, 50);
    HDIR* previews = tree.folder("RAW Jpg Files", "");
    HDIR* preview = tree.preview(previews, 300, 80, 100);
    SelectionTotals totals;
    CheckController(first, true, totals).run();
    CheckController(preview, true, totals).run();
}

TEST(ScanInfoFile, AnEmptyTreeIsLaidOutByteForByte) {
    TempDir dir;
    TreeBuilder tree;
    RecordingPrompts prompts;
    ScanInfoHeader header = sampleHeader();
    header.identity = {"Card", "Model X", "-", "1.0"};
    ASSERT_TRUE(saveScanInfo(dir / "scan", header, *tree.root(), prompts));
    EXPECT_EQ(prompts.alerts, std::vector<std::string>{"Saving Scan information completed / saved at " + (dir / "scan")});

    const Bytes file = readFile(dir / "scan.rvx");
    const std::size_t strings = 56 + 5 * 512;
    ASSERT_EQ(file.size(), strings + 4 + 1 + 7 + 3 + 79 + 4 + 79);
    EXPECT_EQ(std::string(file.begin(), file.begin() + 8), "Complete");
    EXPECT_EQ(be(file, 8, 4), 512u);
    EXPECT_EQ(be(file, 12, 4), 2u);
    EXPECT_EQ(be(file, 16, 4), 4u);  // display name
    EXPECT_EQ(be(file, 20, 4), 7u);  // model
    EXPECT_EQ(be(file, 24, 4), 3u);  // revision
    EXPECT_EQ(be(file, 28, 4), 1u);  // serial "-"
    EXPECT_EQ(be(file, 32, 8), uint64_t{1} << 20);
    EXPECT_EQ(be(file, 40, 8), 2048u);
    EXPECT_EQ(be(file, 48, 8), 1300u);
    EXPECT_EQ(Bytes(file.begin() + 56, file.begin() + long(strings)), header.first5Sectors);
    // Display name, serial, model, revision: not the order of their lengths.
    EXPECT_EQ(std::string(file.begin() + long(strings), file.begin() + long(strings) + 15), "Card-Model X1.0");
    const std::size_t root = strings + 15;
    EXPECT_EQ(be(file, root + 32, 4), 1u);  // parentID
    EXPECT_EQ(be(file, root + 36, 4), 2u);  // fileID
    EXPECT_EQ(be(file, root + 44, 2), 4u);  // "ROOT"
    EXPECT_EQ(be(file, root + 46, 2), 0u);  // no path bytes
    EXPECT_EQ(be(file, root + 48, 2), 1u);
    EXPECT_EQ(std::string(file.begin() + long(root) + 79, file.begin() + long(root) + 83), "ROOT");
    EXPECT_EQ(Bytes(file.begin() + long(root) + 83, file.end()), Bytes(79, 0));
}

TEST(ScanInfoFile, NodeRecordsHoldEveryField) {
    TreeBuilder tree;
    HDIR* previews = tree.folder("RAW Jpg Files", "");
    HDIR* node = tree.preview(previews, 0x0102030405060708ULL, 0x1122334455667788ULL, 300);
    node->setSelected(1);
    const auto record = convertHDirToHPDir(*node);
    const Bytes bytes(record.begin(), record.end());
    EXPECT_EQ(be(bytes, 0, 8), 0u);
    EXPECT_EQ(be(bytes, 8, 8), 0x0102030405060708ULL);
    EXPECT_EQ(be(bytes, 16, 8), 0u);
    EXPECT_EQ(be(bytes, 24, 8), 0x1122334455667788ULL);
    EXPECT_EQ(be(bytes, 32, 4), previews->fileID());
    EXPECT_EQ(be(bytes, 36, 4), node->fileID());
    EXPECT_EQ(be(bytes, 44, 2), node->fileName().size());
    EXPECT_EQ(be(bytes, 46, 2), node->pathName().size());
    EXPECT_EQ(be(bytes, 48, 2), 2u);
    EXPECT_EQ(bytes[50], 1);
    EXPECT_EQ(be(bytes, 59, 4), 300u);
    EXPECT_EQ(Bytes(bytes.begin() + 63, bytes.end()), Bytes(16, 0));
}

TEST(ScanInfoFile, ATreeComesBackAsItWasAndSavesToTheSameBytes) {
    TempDir dir;
    TreeBuilder tree;
    buildSample(tree);
    RecordingPrompts prompts;
    // A chosen name that already ends in .rvx gets a second one.
    ASSERT_TRUE(saveScanInfo(dir / "scan.rvx", sampleHeader(), *tree.root(), prompts));
    ASSERT_TRUE(fs::exists(dir / "scan.rvx.rvx"));

    auto info = openScanInfo(dir / "scan.rvx.rvx", prompts);
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->endRecordSeen);
    EXPECT_EQ(info->header.identity.displayName, "card.img");
    EXPECT_EQ(info->header.first5Sectors, sampleHeader().first5Sectors);
    const HDIR& root = *info->root;
    ASSERT_EQ(root.children().size(), 2u);
    const HDIR& jpg = *root.children()[0];
    EXPECT_EQ(jpg.fileName(), "JPG Files");
    EXPECT_EQ(jpg.parent(), &root);
    ASSERT_EQ(jpg.children().size(), 2u);
    EXPECT_EQ(jpg.children()[0]->fileName(), "file1.jpg");
    EXPECT_EQ(jpg.children()[0]->pathName(), "JPG Files/ROOT");
    EXPECT_EQ(jpg.children()[0]->selected(), 1);
    EXPECT_EQ(jpg.children()[1]->selected(), 0);
    EXPECT_EQ(jpg.children()[1]->sectorNumber(), 50u);
    EXPECT_EQ(jpg.children()[1]->parent(), &jpg);
    EXPECT_EQ(root.children()[1]->children()[0]->extraBytesToMove(), 100);
    EXPECT_EQ(root.fileCount(), 3u);
    EXPECT_EQ(root.childrenCount(), 5);
    EXPECT_EQ(jpg.storedChildrenSelected(), 1);

    // Saving the opened tree again writes the same file.
    ASSERT_TRUE(saveScanInfo(dir / "again", info->header, root, prompts));
    EXPECT_EQ(readFile(dir / "again.rvx"), readFile(dir / "scan.rvx.rvx"));
}

TEST(ScanInfoFile, WrongNamesAndUnfinishedFilesAreRefused) {
    TempDir dir;
    TreeBuilder tree;
    buildSample(tree);
    RecordingPrompts prompts;
    ASSERT_TRUE(saveScanInfo(dir / "scan", sampleHeader(), *tree.root(), prompts));
    const Bytes good = readFile(dir / "scan.rvx");
    for (const std::string name : {"scan.rvx.bak", "scan.RVX", "scan"}) {
        writeFile(dir / name, good);
        prompts.alerts.clear();
        EXPECT_FALSE(openScanInfo(dir / name, prompts)) << name;
        EXPECT_EQ(prompts.alerts, std::vector<std::string>{kWrongFile}) << name;
    }
    Bytes unfinished = good;
    std::copy_n("UnComple", 8, unfinished.begin());
    writeFile(dir / "unfinished.rvx", unfinished);
    prompts.alerts.clear();
    EXPECT_FALSE(openScanInfo(dir / "unfinished.rvx", prompts));
    EXPECT_FALSE(openScanInfo(dir / "missing.rvx", prompts));
    writeFile(dir / "short.rvx", Bytes{'C', 'o', 'm'});
    EXPECT_FALSE(openScanInfo(dir / "short.rvx", prompts));
    EXPECT_EQ(prompts.alerts, std::vector<std::string>(3, kIncomplete));
}

TEST(ScanInfoFile, ImpossibleSectorSizesAndLengthsAreRefused) {
    TempDir dir;
    TreeBuilder tree;
    buildSample(tree);
    RecordingPrompts prompts;
    ASSERT_TRUE(saveScanInfo(dir / "scan", sampleHeader(), *tree.root(), prompts));
    const Bytes good = readFile(dir / "scan.rvx");
    for (uint32_t sectorSize : {0u, 3000u, 8192u, 0xFFFFFFFFu}) {
        Bytes bad = good;
        putBe(bad, 8, sectorSize, 4);
        MemoryScanInfoInput input(bad);
        EXPECT_FALSE(readScanInfo(input)) << sectorSize;
    }
    // A display name "longer" than the whole file ends the reading, it does not allocate it.
    Bytes bad = good;
    putBe(bad, 16, 0xFFFFFFF0u, 4);
    MemoryScanInfoInput input(bad);
    EXPECT_FALSE(readScanInfo(input));
    writeFile(dir / "bad.rvx", bad);
    prompts.alerts.clear();
    EXPECT_FALSE(openScanInfo(dir / "bad.rvx", prompts));
    EXPECT_EQ(prompts.alerts, std::vector<std::string>{kIncomplete});
}

TEST(ScanInfoFile, AFileCutShortKeepsItsLastCompleteNode) {
    TempDir dir;
    TreeBuilder tree;
    buildSample(tree);
    RecordingPrompts prompts;
    ASSERT_TRUE(saveScanInfo(dir / "scan", sampleHeader(), *tree.root(), prompts));
    const Bytes good = readFile(dir / "scan.rvx");
    // Cut inside the last node's record (before the end record) and inside its name.
    const std::size_t lastEntry = good.size() - 79 - (79 + 19 + 18);
    for (std::size_t cut : {good.size() - 79, lastEntry + 40, lastEntry + 85}) {
        MemoryScanInfoInput input(std::span<const uint8_t>(good).first(cut));
        auto info = readScanInfo(input);
        ASSERT_TRUE(info) << cut;
        EXPECT_FALSE(info->endRecordSeen);
        ASSERT_EQ(info->root->children().size(), 2u) << cut;
        EXPECT_EQ(info->root->children()[0]->children().size(), 2u);
        EXPECT_EQ(info->root->children()[1]->children().size(), cut == good.size() - 79 ? 1u : 0u);
    }
    // Cut inside the root: nothing to show.
    MemoryScanInfoInput input(std::span<const uint8_t>(good).first(56 + 5 * 512 + 20 + 40));
    EXPECT_FALSE(readScanInfo(input));
}

TEST(ScanInfoFile, OrphanFilesAndUnknownTypesAreDropped) {
    TempDir dir;
    TreeBuilder tree;
    HDIR* jpg = tree.folder("JPG Files", ".jpg");
    tree.file(jpg, 100, 1);
    RecordingPrompts prompts;
    ASSERT_TRUE(saveScanInfo(dir / "scan", sampleHeader(), *tree.root(), prompts));
    Bytes file = readFile(dir / "scan.rvx");
    const std::size_t folderRecord = 56 + 5 * 512 + 20 + 79 + 4;
    putBe(file, folderRecord + 48, 2, 2);  // the folder becomes a found file before any folder
    MemoryScanInfoInput input(file);
    auto info = readScanInfo(input);
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->root->children().empty());
    putBe(file, folderRecord + 48, 7, 2);
    MemoryScanInfoInput again(file);
    EXPECT_TRUE(readScanInfo(again)->root->children().empty());
}

TEST(ScanInfoFile, HostileNamesNeverLeadASaveOutOfTheRecoveryFolder) {
    TempDir dir;
    TempImage image(64 * 1024);
    TreeBuilder tree;
    HDIR* folder = tree.folder("../../../../tmp/pelorin-escape", ".jpg");
    folder->setPathName("/../../..");
    HDIR* leaf = tree.file(folder, 100, 1);
    leaf->setFileName(std::string("../\x01evil\0name", 13));
    SelectionTotals totals;
    CheckController(tree.root(), true, totals).run();
    RecordingPrompts prompts;
    ASSERT_TRUE(saveScanInfo(dir / "hostile", sampleHeader(), *tree.root(), prompts));
    auto info = openScanInfo(dir / "hostile.rvx", prompts);
    ASSERT_TRUE(info);
    const std::string destination = dir / "out";
    fs::create_directory(destination);
    SaveRecoveredFiles saver(image.path(), 512, totals, prompts);
    SaveResult result = saver.save(*info->root, destination);
    EXPECT_EQ(result.filesSaved, 1);
    EXPECT_FALSE(fs::exists("/tmp/pelorin-escape"));
    for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
        if (!entry.is_regular_file() || entry.path().extension() == ".rvx") continue;
        EXPECT_EQ(entry.path().string().rfind(result.recoveryFolder, 0), 0u) << entry.path();
    }
}

TEST(ScanInfoFile, DiskImagesIdentifyByTheirFileName) {
    TempImage image(4096);
    const DriveIdentity identity = sourceIdentity(image.path());
    EXPECT_EQ(identity.displayName, fs::path(image.path()).filename().string());
    EXPECT_EQ(identity.model, "Disk image");
    EXPECT_EQ(identity.serial, "-");
    EXPECT_EQ(identity.revision, "-");
}

// Recovering from a reopened scan-info file gives what recovering right after
// the scan gives.
TEST(ScanInfoFile, ScanSaveOpenRecoverMatchesRecoveringAfterTheScan) {
    TempImage image(256 * 1024);
    image.write(512 * 7, fixture("jpeg/baseline.jpg"));
    image.write(512 * 100, fixture("jpeg/progressive.jpg"));
    ScanResult scan = scanImage(image.path(), selectionOf({FileType::Jpg}));
    ASSERT_EQ(scan.root->fileCount(), 2u);
    SelectionTotals totals;
    CheckController(scan.root.get(), true, totals).run();
    RecordingPrompts prompts;

    TempDir direct, reopened, infoDir;
    SaveRecoveredFiles first(image.path(), 512, totals, prompts);
    const SaveResult straight = first.save(*scan.root, direct.path());
    ASSERT_EQ(straight.filesSaved, 2);

    ScanInfoHeader header;
    header.selectedDriveSize = image.size();
    header.u64DriveSectorNumber = image.size() / 512;
    header.iNumberOfFileSelected = CheckController::countTickedFiles(*scan.root);
    header.u64SelectedFileSize = totals.u64SelectedFileSize;
    header.identity = sourceIdentity(image.path());
    ASSERT_TRUE(saveScanInfo(infoDir / "scan", header, *scan.root, prompts));
    auto info = openScanInfo(infoDir / "scan.rvx", prompts);
    ASSERT_TRUE(info);
    SelectionTotals restored{info->header.iNumberOfFileSelected, info->header.u64SelectedFileSize};
    EXPECT_EQ(restored.iNumberOfFileSelected, 2);
    SaveRecoveredFiles second(image.path(), info->header.u32BytesInSector, restored, prompts);
    const SaveResult again = second.save(*info->root, reopened.path());
    ASSERT_EQ(again.filesSaved, 2);

    for (const char* name : {"file1.jpg", "file2.jpg"}) {
        const Bytes a = readFile(straight.recoveryFolder + "/ROOT/JPG Files/" + name);
        EXPECT_FALSE(a.empty());
        EXPECT_EQ(a, readFile(again.recoveryFolder + "/ROOT/JPG Files/" + name)) << name;
    }
    const Bytes jpeg = fixture("jpeg/baseline.jpg");
    const Bytes saved = readFile(straight.recoveryFolder + "/ROOT/JPG Files/file1.jpg");
    EXPECT_TRUE(std::equal(jpeg.begin(), jpeg.end(), saved.begin()));
}

}  // namespace
}  // namespace pelorin::test
