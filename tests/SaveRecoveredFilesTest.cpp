#include "recovery/SaveRecoveredFiles.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "engine/CheckController.h"
#include "engine/ControllerReaders.h"
#include "recovery/SafeNames.h"
#include "scaninfo/ScanInfoFile.h"
#include "support/RecordingPrompts.h"
#include "support/TreeBuilder.h"

namespace pelorin::test {
namespace fs = std::filesystem;
namespace {

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "pelorin-save-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
        path_ = pattern;
    }
    ~TempDir() { fs::remove_all(path_); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

Bytes patternBytes(std::size_t size, unsigned seed = 7) {
    std::mt19937 random(seed);
    Bytes bytes(size);
    for (auto& b : bytes) b = static_cast<uint8_t>(random());
    return bytes;
}

Bytes fileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

Bytes slice(const Bytes& bytes, uint64_t offset, uint64_t length) {
    return Bytes(bytes.begin() + static_cast<long>(offset), bytes.begin() + static_cast<long>(offset + length));
}

// The only recovery folder a save made in the destination.
fs::path onlyRecoveryFolder(const std::string& destination) {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(destination)) found.push_back(entry.path());
    EXPECT_EQ(found.size(), 1u);
    return found.empty() ? fs::path() : found.front();
}

std::size_t filesIn(const fs::path& folder) {
    std::size_t count = 0;
    for (const auto& entry : fs::directory_iterator(folder)) count += entry.is_regular_file();
    return count;
}

struct SaveFixture {
    explicit SaveFixture(uint64_t imageSize, uint32_t sectorSize = 512)
        : image(imageSize), bytes(patternBytes(imageSize)), sectorSize(sectorSize) {
        image.write(0, bytes);
    }
    SaveResult saveAll(std::function<void(SaveRecoveredFiles&)> adjust = {}) {
        CheckController(tree.root(), true, totals).run();
        SaveRecoveredFiles saver(image.path(), sectorSize, totals, prompts);
        if (adjust) adjust(saver);
        return saver.save(*tree.root(), destination.path());
    }

    TempImage image;
    Bytes bytes;
    uint32_t sectorSize;
    TreeBuilder tree;
    SelectionTotals totals;
    RecordingPrompts prompts;
    TempDir destination;
};

TEST(SaveRecoveredFiles, SavedFilesEqualTheSourceBytes) {
    SaveFixture f(2 << 20);
    HDIR* jpg = f.tree.folder("JPG Files", ".jpg");
    HDIR* previews = f.tree.folder("RAW Jpg Files", "");
    f.tree.file(jpg, 64 * 8 * 512, 100);   // exactly 64 eight-sector blocks
    f.tree.file(jpg, 1000, 1000);          // shorter than one block
    f.tree.file(jpg, 0, 1100);             // empty: counted, not written
    f.tree.file(jpg, 4096 * 9 + 17, 1200);  // chunks and leftover blocks
    f.tree.preview(previews, 5000, 10, 100);
    f.tree.preview(previews, 300, 20, 200);  // preview shorter than a block

    SaveResult result = f.saveAll();
    EXPECT_EQ(result.outcome, SaveOutcome::Completed);
    EXPECT_EQ(result.filesSaved, 6);
    EXPECT_EQ(result.filesFailed, 0);
    const fs::path root = fs::path(result.recoveryFolder) / "ROOT";
    EXPECT_EQ(fileBytes(root / "JPG Files/file1.jpg"), slice(f.bytes, 100 * 512, 262144));
    EXPECT_EQ(fileBytes(root / "JPG Files/file2.jpg"), slice(f.bytes, 1000 * 512, 1000));
    EXPECT_FALSE(fs::exists(root / "JPG Files/file3.jpg"));
    EXPECT_EQ(fileBytes(root / "JPG Files/file4.jpg"), slice(f.bytes, 1200 * 512, 4096 * 9 + 17));
    EXPECT_EQ(fileBytes(root / "RAW Jpg Files/file - Raw Jpg1.jpg"), slice(f.bytes, 10 * 512 + 100, 5000));
    EXPECT_EQ(fileBytes(root / "RAW Jpg Files/file - Raw Jpg2.jpg"), slice(f.bytes, 20 * 512 + 200, 300));
    // Every file adds its length plus its offset into the first sector.
    EXPECT_EQ(result.savedData, 262144u + 1000 + 4096 * 9 + 17 + 5100 + 500);
    EXPECT_EQ(f.prompts.alerts.back(), "Saving Completed / Saved at: " + f.destination.path());
    EXPECT_EQ(fs::status(root / "JPG Files/file1.jpg").permissions(), fs::perms(0755));
    EXPECT_EQ(fs::status(root / "JPG Files").permissions(), fs::perms(0777));
}

TEST(SaveRecoveredFiles, ReadsInSixtyFourAndEightSectorSteps) {
    SaveFixture f(1 << 20, 1024);
    HDIR* jpg = f.tree.folder("JPG Files", ".jpg");
    f.tree.file(jpg, 64 * 8 * 1024, 3);
    std::vector<uint32_t> counts;
    SaveResult result = f.saveAll([&](SaveRecoveredFiles& saver) {
        saver.environment().readSaveSector = [&](uint64_t first, uint32_t count, std::span<uint8_t> out, Alerts& a) {
            counts.push_back(count);
            return readSaveSector(f.image.path(), 1024, first, count, out, a);
        };
    });
    const std::vector<uint32_t> expected{64, 64, 64, 64, 64, 64, 64, 8, 8, 8, 8, 8, 8, 8, 8};
    EXPECT_EQ(counts, expected);
    EXPECT_EQ(fileBytes(fs::path(result.recoveryFolder) / "ROOT/JPG Files/file1.jpg"),
              slice(f.bytes, 3 * 1024, 64 * 8 * 1024));
}

TEST(SaveRecoveredFiles, MoreThan900FilesAreSpreadOverSubFolders) {
    for (int files : {900, 901}) {
        SaveFixture f(64 * 1024);
        HDIR* jpg = f.tree.folder("JPG Files", ".jpg");
        for (int i = 0; i < files; ++i) f.tree.file(jpg, 3, uint64_t(i % 100));
        SaveResult result = f.saveAll();
        const fs::path folder = fs::path(result.recoveryFolder) / "ROOT/JPG Files";
        if (files == 900) {
            EXPECT_EQ(filesIn(folder), 900u);
            EXPECT_FALSE(fs::exists(folder / "JPG Files0"));
        } else {
            EXPECT_EQ(filesIn(folder), 0u);
            EXPECT_EQ(filesIn(folder / "JPG Files0"), 900u);
            EXPECT_EQ(filesIn(folder / "JPG Files1"), 1u);
            EXPECT_TRUE(fs::exists(folder / "JPG Files1/file901.jpg"));
        }
    }
}

TEST(SaveRecoveredFiles, ASubFolderWhoseFirstFileIsEmptyIsStillMade) {
    SaveFixture f(64 * 1024);
    HDIR* jpg = f.tree.folder("JPG Files", ".jpg");
    for (int i = 0; i < 902; ++i) f.tree.file(jpg, i == 900 ? 0 : 3, 1);
    SaveResult result = f.saveAll();
    EXPECT_EQ(result.filesSaved, 902);
    EXPECT_EQ(result.filesFailed, 0);
    EXPECT_TRUE(fs::exists(fs::path(result.recoveryFolder) / "ROOT/JPG Files/JPG Files1/file902.jpg"));
}

TEST(SaveRecoveredFiles, FreeSpaceEqualToTheTotalIsEnough) {
    for (uint64_t free : {uint64_t{600}, uint64_t{599}}) {
        SaveFixture f(64 * 1024);
        HDIR* jpg = f.tree.folder("JPG Files", ".jpg");
        f.tree.file(jpg, 400, 1);
        f.tree.file(jpg, 200, 10);
        SaveResult result = f.saveAll([&](SaveRecoveredFiles& saver) {
            saver.environment().freeSpace = [&](const std::string&) { return std::optional<uint64_t>(free); };
        });
        if (free == 600) {
            EXPECT_EQ(result.outcome, SaveOutcome::Completed);
        } else {
            EXPECT_EQ(result.outcome, SaveOutcome::Refused);
            EXPECT_EQ(f.prompts.alerts, std::vector<std::string>{
                "! Not enough free disk space / The volume you have chosen to save data does not have enough free "
                "space to save selected media files."});
            EXPECT_TRUE(fs::is_empty(f.destination.path()));
        }
    }
}

TEST(SaveRecoveredFiles, AReadOnlyVolumeIsRefused) {
    SaveFixture f(64 * 1024);
    f.tree.file(f.tree.folder("JPG Files", ".jpg"), 100, 1);
    const std::string mountPoint = f.destination.path();
    if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", MS_RDONLY, "size=1m") != 0)
        GTEST_SKIP() << "cannot mount a read-only file system here";
    SaveResult result = f.saveAll();
    ::umount(mountPoint.c_str());
    EXPECT_EQ(result.outcome, SaveOutcome::Refused);
    EXPECT_EQ(f.prompts.alerts, std::vector<std::string>{
        "! Cannot save / The volume chosen to save recovered media files is not writable."});
}

TEST(SaveRecoveredFiles, AFailingSourceEndsTheFolderAndTheMessageCountsFailures) {
    SaveFixture f(1 << 20);
    HDIR* jpg = f.tree.folder("JPG Files", ".jpg");
    f.tree.file(jpg, 40000, 10);
    f.tree.file(jpg, 40000, 200);  // its second read fails
    f.tree.file(jpg, 500, 400);    // not reached
    HDIR* png = f.tree.folder("PNG Files", ".png");
    f.tree.file(png, 700, 500);
    int reads = 0;
    SaveResult result = f.saveAll([&](SaveRecoveredFiles& saver) {
        saver.environment().readSaveSector = [&](uint64_t first, uint32_t count, std::span<uint8_t> out, Alerts& a) {
            // The source vanishes for a moment on the fourth read.
            if (++reads == 4) return readSaveSector("/nonexistent/pelorin-source", 512, first, count, out, a);
            return readSaveSector(f.image.path(), 512, first, count, out, a);
        };
    });
    EXPECT_EQ(result.outcome, SaveOutcome::Completed);
    EXPECT_EQ(result.filesSaved, 2);
    EXPECT_EQ(result.filesFailed, 2);
    const fs::path root = fs::path(result.recoveryFolder) / "ROOT";
    EXPECT_EQ(fileBytes(root / "JPG Files/file1.jpg"), slice(f.bytes, 10 * 512, 40000));
    EXPECT_FALSE(fs::exists(root / "JPG Files/file3.jpg"));
    EXPECT_EQ(fileBytes(root / "PNG Files/file1.png"), slice(f.bytes, 500 * 512, 700));
    ASSERT_EQ(f.prompts.alerts.size(), 2u);
    EXPECT_EQ(f.prompts.alerts[0], "Drive cannot open or not found / ");
    EXPECT_EQ(f.prompts.logLines, std::vector<std::string>{"seve sect Drive Name /nonexistent/pelorin-source"});
    EXPECT_EQ(f.prompts.alerts[1], "Saving Completed / Saved at: " + f.destination.path() +
                                       "\n2 files could not be saved.");
}

TEST(SaveRecoveredFiles, StopAsksAndNoGoesOn) {
    SaveFixture f(1 << 20);
    HDIR* jpg = f.tree.folder("JPG Files", ".jpg");
    f.tree.file(jpg, 100000, 10);
    f.tree.file(jpg, 100, 400);
    f.prompts.answers = {false, true};
    int reads = 0;
    SaveResult result = f.saveAll([&](SaveRecoveredFiles& saver) {
        saver.environment().readSaveSector = [&](uint64_t first, uint32_t count, std::span<uint8_t> out, Alerts& a) {
            if (++reads == 1 || reads == 2) saver.stopSaving();
            return readSaveSector(f.image.path(), 512, first, count, out, a);
        };
    });
    // "No" after the first chunk, "Yes" after the second: the file in hand is
    // kept as far as it got and counted, and no further file is started.
    EXPECT_EQ(f.prompts.questions, (std::vector<std::string>{std::string(kStopSavingQuestion),
                                                             std::string(kStopSavingQuestion)}));
    EXPECT_EQ(result.outcome, SaveOutcome::Aborted);
    EXPECT_EQ(result.filesSaved, 1);
    const fs::path folder = fs::path(result.recoveryFolder) / "ROOT/JPG Files";
    EXPECT_EQ(fs::file_size(folder / "file1.jpg"), 2u * 64 * 512);
    EXPECT_FALSE(fs::exists(folder / "file2.jpg"));
    EXPECT_EQ(f.prompts.alerts.back(), "Saving Aborted / Saved location is: " + f.destination.path());
}

TEST(SaveRecoveredFiles, ASecondSaveInTheSameSecondGetsItsOwnFolder) {
    SaveFixture f(64 * 1024);
    f.tree.file(f.tree.folder("JPG Files", ".jpg"), 100, 1);
    CheckController(f.tree.root(), true, f.totals).run();
    std::vector<std::string> folders;
    for (int i = 0; i < 3; ++i) {
        SaveRecoveredFiles saver(f.image.path(), 512, f.totals, f.prompts);
        saver.environment().wallClock = [] { return std::time_t{1'800'000'000}; };
        folders.push_back(fs::path(saver.save(*f.tree.root(), f.destination.path()).recoveryFolder).filename());
    }
    const std::string base = recoveryFolderName(1'800'000'000);
    EXPECT_EQ(folders[0], base);
    const std::string joint = base.ends_with(' ') ? "" : " ";
    EXPECT_EQ(folders[1], base + joint + "(2)");
    EXPECT_EQ(folders[2], base + joint + "(3)");
}

TEST(SaveRecoveredFiles, FolderNameFollowsTheDateRule) {
    const char* previous = std::getenv("TZ");
    const std::string saved = previous ? previous : "";
    // 2026-12-05 06:13:00 UTC.
    const std::time_t when = 1796451180;
    ::setenv("TZ", "UTC-1", 1);
    ::tzset();
    EXPECT_EQ(recoveryFolderName(when), "Pelorin 2026-12-05 07_13_00 ");
    ::setenv("TZ", "EST5", 1);
    ::tzset();
    EXPECT_EQ(recoveryFolderName(when), "Pelorin 2026-12-05 01_13_00 -0500");
    EXPECT_EQ(defaultScanInfoName(when), "Pelorin Scan Info 2026-12-05 01_13_00 -0500");
    if (previous) ::setenv("TZ", saved.c_str(), 1); else ::unsetenv("TZ");
    ::tzset();
}

TEST(SaveRecoveredFiles, UntrustedNamesStayInsideTheRecoveryFolder) {
    EXPECT_EQ(safeFileName("../x"), ".._x");
    EXPECT_EQ(safeFileName(".."), "__");
    EXPECT_EQ(safeFileName(std::string("a\0b\nc", 5)), "a_b_c");
    EXPECT_EQ(safeFileName(""), "_");
    EXPECT_EQ(safeRelativePath("/../../etc//./ROOT"), "__/__/etc/_/ROOT");

    SaveFixture f(64 * 1024);
    HDIR* evil = f.tree.folder("../../escape", ".jpg");
    evil->setPathName("/../../..");
    HDIR* leaf = f.tree.file(evil, 100, 1);
    leaf->setFileName("../../../outside.jpg");
    f.tree.root()->setFileName("..");
    SaveResult result = f.saveAll();
    EXPECT_EQ(result.filesSaved, 1);
    std::size_t found = 0;
    for (const auto& entry : fs::recursive_directory_iterator(f.destination.path())) {
        const std::string path = entry.path().string();
        EXPECT_EQ(path.rfind(result.recoveryFolder, 0), 0u) << path;
        found += entry.is_regular_file();
    }
    EXPECT_EQ(found, 1u);
    EXPECT_FALSE(fs::exists(fs::path(f.destination.path()).parent_path() / "outside.jpg"));
}

TEST(SaveRecoveredFiles, AnUntickedTreeGivesAnEmptyRecoveryFolder) {
    SaveFixture f(64 * 1024);
    f.tree.file(f.tree.folder("JPG Files", ".jpg"), 100, 1);
    SaveRecoveredFiles saver(f.image.path(), 512, f.totals, f.prompts);
    SaveResult result = saver.save(*f.tree.root(), f.destination.path());
    EXPECT_EQ(result.outcome, SaveOutcome::Completed);
    EXPECT_TRUE(fs::is_empty(onlyRecoveryFolder(f.destination.path())));
    EXPECT_EQ(f.prompts.alerts.back(), "Saving Completed / Saved at: " + f.destination.path());
}

TEST(SaveRecoveredFiles, ProgressIsReportedAtMostOnceASecond) {
    SaveFixture f(1 << 20);
    f.tree.file(f.tree.folder("JPG Files", ".jpg"), 64 * 512 * 20 + 100, 0);  // 20 chunks and one block
    auto now = std::chrono::steady_clock::time_point{};
    SaveResult result = f.saveAll([&](SaveRecoveredFiles& saver) {
        saver.environment().steadyClock = [&] { return now += std::chrono::milliseconds(250); };
    });
    int reports = 0;
    for (const auto& update : f.prompts.updates) reports += update.barDoubleValue.has_value() && *update.barDoubleValue > 0;
    // 21 reads at a quarter of a second each: one report per four reads.
    EXPECT_EQ(reports, 5);
    EXPECT_EQ(f.prompts.updates.front().barMaximumValue, std::optional<uint64_t>(64 * 512 * 20 + 100));
    EXPECT_EQ(result.filesSaved, 1);
}

TEST(SaveRecoveredFiles, SavedSizeUsesTheThreeUnits) {
    EXPECT_EQ(savedSizeText(0), "0.00 KB");
    EXPECT_EQ(savedSizeText(1048575), "1024.00 KB");
    EXPECT_EQ(savedSizeText(1048576), "1.00 MB");
    EXPECT_EQ(savedSizeText(1073741824), "1.00 GB");
}

}  // namespace
}  // namespace pelorin::test
