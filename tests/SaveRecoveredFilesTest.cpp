#include "recovery/SaveRecoveredFiles.h"

#include <gtest/gtest.h>
#include <sys/mount.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <tuple>

#include "engine/CheckController.h"
#include "engine/ControllerReaders.h"
#include "scaninfo/ScanInfoFile.h"
#include "support/RecordingPrompts.h"
#include "support/TreeBuilder.h"

namespace pelorin::test {
namespace fs = std::filesystem;
namespace {

std::size_t filesIn(const fs::path& folder) {
    std::size_t count = 0;
    if (fs::exists(folder))
        for (const auto& entry : fs::directory_iterator(folder)) count += entry.is_regular_file();
    return count;
}

// An image of random bytes, a tree to fill, and a save of everything ticked
// that records its reads and can stop or lose the source at a given read.
struct SaveFixture {
    explicit SaveFixture(uint64_t imageSize, uint32_t sectorSize = 512) : image(imageSize), sectorSize(sectorSize) {
        std::mt19937 random(7);
        bytes.resize(imageSize);
        for (auto& b : bytes) b = static_cast<uint8_t>(random());
        image.write(0, bytes);
    }
    Bytes at(uint64_t offset, uint64_t length) const {
        return Bytes(bytes.begin() + long(offset), bytes.begin() + long(offset + length));
    }
    SaveResult saveAll(std::function<void(SaveRecoveredFiles&)> adjust = {}, const HDIR* from = nullptr) {
        CheckController(tree.root(), true, totals).run();
        SaveRecoveredFiles saver(image.path(), sectorSize, totals, prompts);
        saver.environment().readSaveSector = [&](uint64_t first, uint32_t count, std::span<uint8_t> out, Alerts& a) {
            reads.push_back(count);
            if (reads.size() <= stopAtReads) saver.stopSaving();
            const bool lost = reads.size() == failingRead;
            return readSaveSector(lost ? "/nonexistent/pelorin-source" : image.path(), sectorSize, first, count, out, a);
        };
        if (adjust) adjust(saver);
        return saver.save(from ? *from : *tree.root(), destination.path());
    }

    TempImage image;
    Bytes bytes;
    uint32_t sectorSize;
    TreeBuilder tree;
    SelectionTotals totals;
    RecordingPrompts prompts;
    TempDir destination;
    std::vector<uint32_t> reads;  // sectors asked for by each read
    std::size_t stopAtReads = 0, failingRead = 0;
};

TEST(SaveRecoveredFiles, SavedFilesEqualTheSourceBytes) {
    SaveFixture f(2 << 20);
    HDIR* jpg = f.tree.folder("JPG Files", ".jpg");
    HDIR* previews = f.tree.folder("RAW Jpg Files", "");
    const struct { uint64_t size, sector; int32_t extraBytes; const char* name; } files[] = {
        {64 * 8 * 512, 100, -1, "JPG Files/file1.jpg"},           // exactly 64 eight-sector blocks
        {1000, 1000, -1, "JPG Files/file2.jpg"},                  // shorter than one block
        {0, 1100, -1, "JPG Files/file3.jpg"},                     // empty: counted, not written
        {4096 * 9 + 17, 1200, -1, "JPG Files/file4.jpg"},         // chunks and leftover blocks
        {100, 1300, -1, "JPG Files/file5.jpg"},                   // unticked
        {5000, 10, 100, "RAW Jpg Files/file - Raw Jpg1.jpg"},     // a preview inside its sector
        {300, 20, 200, "RAW Jpg Files/file - Raw Jpg2.jpg"},      // a preview shorter than a block
    };
    std::vector<HDIR*> nodes;
    for (const auto& file : files)
        nodes.push_back(file.extraBytes < 0 ? f.tree.file(jpg, file.size, file.sector)
                                            : f.tree.preview(previews, file.size, file.sector, file.extraBytes));
    SaveResult result = f.saveAll([&](SaveRecoveredFiles&) { CheckController(nodes[4], false, f.totals).run(); });
    EXPECT_EQ(result.outcome, SaveOutcome::Completed);
    EXPECT_EQ(result.filesSaved, 6);
    EXPECT_EQ(result.filesFailed, 0);
    const fs::path root = fs::path(result.recoveryFolder) / "ROOT";
    for (const auto& file : files) {
        if (file.size == 0 || &file == &files[4]) EXPECT_FALSE(fs::exists(root / file.name)) << file.name;
        else EXPECT_EQ(readBytes(root / file.name), f.at(file.sector * 512 + std::max(file.extraBytes, 0), file.size)) << file.name;
    }
    // Every file adds its length plus its offset into the first sector.
    EXPECT_EQ(result.savedData, 262144u + 1000 + 4096 * 9 + 17 + 5100 + 500);
    EXPECT_EQ(f.prompts.alerts.back(), "Saving Completed / Saved at: " + f.destination.path());
    EXPECT_EQ(fs::status(root / "JPG Files/file1.jpg").permissions(), fs::perms(0755));
    EXPECT_EQ(fs::status(root / "JPG Files").permissions(), fs::perms(0777));
}

TEST(SaveRecoveredFiles, ReadsInSixtyFourAndEightSectorStepsAndReportsAtMostOnceASecond) {
    SaveFixture f(1 << 20, 1024);
    f.tree.file(f.tree.folder("JPG Files", ".jpg"), 64 * 8 * 1024, 3);
    auto now = std::chrono::steady_clock::time_point{};
    SaveResult result = f.saveAll([&](SaveRecoveredFiles& saver) {
        saver.environment().steadyClock = [&] { return now += std::chrono::milliseconds(250); };
    });
    EXPECT_EQ(f.reads, (std::vector<uint32_t>{64, 64, 64, 64, 64, 64, 64, 8, 8, 8, 8, 8, 8, 8, 8}));
    EXPECT_EQ(readBytes(fs::path(result.recoveryFolder) / "ROOT/JPG Files/file1.jpg"), f.at(3 * 1024, 64 * 8 * 1024));
    // 15 reads a quarter of a second apart: one report per four reads.
    EXPECT_EQ(f.prompts.updates.front().barMaximumValue, std::optional<uint64_t>(64 * 8 * 1024));
    EXPECT_EQ(std::count_if(f.prompts.updates.begin(), f.prompts.updates.end(),
                            [](const SaveProgressUpdate& u) { return u.barDoubleValue.value_or(0) > 0; }), 3);
}

TEST(SaveRecoveredFiles, MoreThan900FilesAreSpreadOverSubFolders) {
    // {files, the empty one (or -1), files directly in the folder, in JPG Files0, in JPG Files1}
    for (auto [files, empty, top, in0, in1] :
         {std::array{900, -1, 900, 0, 0}, std::array{901, -1, 0, 900, 1}, std::array{902, 900, 0, 900, 1}}) {
        SCOPED_TRACE(files);
        SaveFixture f(64 * 1024);
        HDIR* jpg = f.tree.folder("JPG Files", ".jpg");
        for (int i = 0; i < files; ++i) f.tree.file(jpg, i == empty ? 0 : 3, uint64_t(i % 100));
        SaveResult result = f.saveAll();
        EXPECT_EQ(result.filesSaved, files);
        const fs::path folder = fs::path(result.recoveryFolder) / "ROOT/JPG Files";
        EXPECT_EQ(filesIn(folder), std::size_t(top));
        EXPECT_EQ(filesIn(folder / "JPG Files0"), std::size_t(in0));
        EXPECT_EQ(filesIn(folder / "JPG Files1"), std::size_t(in1));
        const std::string last = "file" + std::to_string(files) + ".jpg";
        EXPECT_TRUE(fs::exists(in1 ? folder / "JPG Files1" / last : folder / last));
    }
}

TEST(SaveRecoveredFiles, TheDestinationNeedsFreeSpaceForTheTotalAndMustBeWritable) {
    const std::string notEnough = "! Not enough free disk space / The volume you have chosen to save data does not have "
                                  "enough free space to save selected media files.";
    const std::string readOnly = "! Cannot save / The volume chosen to save recovered media files is not writable.";
    // {free bytes, mount the destination read-only, the alert when refused}
    for (auto [free, mountReadOnly, refusal] : {std::tuple{600, false, ""}, {599, false, notEnough.c_str()},
                                                {1 << 30, true, readOnly.c_str()}}) {
        SCOPED_TRACE(free);
        SaveFixture f(64 * 1024);
        HDIR* jpg = f.tree.folder("JPG Files", ".jpg");
        f.tree.file(jpg, 400, 1);
        f.tree.file(jpg, 200, 10);
        const std::string& mountPoint = f.destination.path();
        if (mountReadOnly && ::mount("tmpfs", mountPoint.c_str(), "tmpfs", MS_RDONLY, "size=1m") != 0)
            GTEST_SKIP() << "cannot mount a read-only file system here";
        SaveResult result = f.saveAll([&](SaveRecoveredFiles& saver) {
            if (!mountReadOnly) saver.environment().freeSpace = [&](const std::string&) { return std::optional<uint64_t>(free); };
        });
        if (mountReadOnly) ::umount(mountPoint.c_str());
        EXPECT_EQ(result.outcome, *refusal ? SaveOutcome::Refused : SaveOutcome::Completed);
        EXPECT_EQ(f.prompts.alerts, std::vector<std::string>{*refusal ? refusal : "Saving Completed / Saved at: " + mountPoint});
        EXPECT_EQ(fs::is_empty(f.destination.path()), *refusal != 0);
    }
}

TEST(SaveRecoveredFiles, AFailingSourceEndsTheFolderAndTheMessageCountsFailures) {
    SaveFixture f(1 << 20);
    HDIR* jpg = f.tree.folder("JPG Files", ".jpg");
    f.tree.file(jpg, 40000, 10);
    f.tree.file(jpg, 40000, 200);  // its first read fails
    f.tree.file(jpg, 500, 400);    // not reached
    f.tree.file(f.tree.folder("PNG Files", ".png"), 700, 500);
    f.failingRead = 4;  // the source vanishes for a moment
    SaveResult result = f.saveAll();
    EXPECT_EQ(result.outcome, SaveOutcome::Completed);
    EXPECT_EQ(result.filesSaved, 2);
    EXPECT_EQ(result.filesFailed, 2);
    const fs::path root = fs::path(result.recoveryFolder) / "ROOT";
    EXPECT_EQ(readBytes(root / "JPG Files/file1.jpg"), f.at(10 * 512, 40000));
    EXPECT_FALSE(fs::exists(root / "JPG Files/file3.jpg"));
    EXPECT_EQ(readBytes(root / "PNG Files/file1.png"), f.at(500 * 512, 700));
    EXPECT_EQ(f.prompts.alerts, (std::vector<std::string>{"Drive cannot open or not found / ",
        "Saving Completed / Saved at: " + f.destination.path() + "\n2 files could not be saved."}));
}

TEST(SaveRecoveredFiles, StopAsksAndNoGoesOn) {
    SaveFixture f(1 << 20);
    HDIR* jpg = f.tree.folder("JPG Files", ".jpg");
    f.tree.file(jpg, 100000, 10);
    f.tree.file(jpg, 100, 400);
    f.prompts.answers = {false, true};
    f.stopAtReads = 2;
    SaveResult result = f.saveAll();
    // "No" after the first chunk, "Yes" after the second: the file in hand is
    // kept as far as it got and counted, and no further file is started.
    EXPECT_EQ(f.prompts.questions, std::vector<std::string>(2, std::string(kStopSavingQuestion)));
    EXPECT_EQ(result.outcome, SaveOutcome::Aborted);
    EXPECT_EQ(result.filesSaved, 1);
    const fs::path folder = fs::path(result.recoveryFolder) / "ROOT/JPG Files";
    EXPECT_EQ(readBytes(folder / "file1.jpg"), f.at(10 * 512, 2 * 64 * 512));
    EXPECT_FALSE(fs::exists(folder / "file2.jpg"));
    EXPECT_EQ(f.prompts.alerts.back(), "Saving Aborted / Saved location is: " + f.destination.path());
}

// Names and paths read from a scan-info file never lead a save out of its recovery folder.
TEST(SaveRecoveredFiles, HostileNamesFromAScanInfoFileStayInsideTheRecoveryFolder) {
    SaveFixture f(64 * 1024);
    f.tree.root()->setFileName("..");
    HDIR* folder = f.tree.folder("../../../../tmp/pelorin-escape", ".jpg");
    folder->setPathName("/../../..");
    f.tree.file(folder, 100, 1)->setFileName(std::string("../\x01evil\0name", 13));
    CheckController(f.tree.root(), true, f.totals).run();
    ASSERT_TRUE(saveScanInfo(f.destination / "hostile", {.first5Sectors = Bytes(5 * 512), .identity = {}}, *f.tree.root(), f.prompts));
    auto info = openScanInfo(f.destination / "hostile.rvx", f.prompts);
    ASSERT_TRUE(info);
    const SaveResult result = f.saveAll({}, info->root.get());
    EXPECT_EQ(result.filesSaved, 1);
    EXPECT_FALSE(fs::exists("/tmp/pelorin-escape"));
    int found = 0;
    for (const auto& entry : fs::recursive_directory_iterator(f.destination.path())) {
        if (!entry.is_regular_file() || entry.path().extension() == ".rvx") continue;
        EXPECT_EQ(entry.path().string().rfind(result.recoveryFolder + "/", 0), 0u) << entry.path();
        ++found;
    }
    EXPECT_EQ(found, 1);
}

TEST(SaveRecoveredFiles, FolderNamesFollowTheDateRuleAndNeverRepeat) {
    const char* previous = std::getenv("TZ");
    const std::string saved = previous ? previous : "";
    const std::time_t when = 1796451180;  // 2026-12-05 06:13:00 UTC
    ::setenv("TZ", "EST5", 1);
    ::tzset();
    EXPECT_EQ(defaultScanInfoName(when), "Pelorin Scan Info 2026-12-05 01_13_00 -0500");
    // A positive offset is cut at its "+"; saves within the same second get their own folders.
    ::setenv("TZ", "UTC-1", 1);
    ::tzset();
    SaveFixture f(64 * 1024);
    f.tree.file(f.tree.folder("JPG Files", ".jpg"), 100, 1);
    std::vector<std::string> folders;
    for (int i = 0; i < 3; ++i)
        folders.push_back(fs::path(f.saveAll([&](SaveRecoveredFiles& saver) {
            saver.environment().wallClock = [&] { return when; };
        }).recoveryFolder).filename());
    const std::string base = "Pelorin 2026-12-05 07_13_00 ";
    EXPECT_EQ(folders, (std::vector<std::string>{base, base + "(2)", base + "(3)"}));
    if (previous) ::setenv("TZ", saved.c_str(), 1); else ::unsetenv("TZ");
    ::tzset();
}

TEST(SaveRecoveredFiles, SavedSizeSwitchesUnitsAtTheirLimits) {
    EXPECT_EQ(savedSizeText(1048575), "1024.00 KB");
    EXPECT_EQ(savedSizeText(1048576), "1.00 MB");
    EXPECT_EQ(savedSizeText(1073741824), "1.00 GB");
}

}  // namespace
}  // namespace pelorin::test
