#include "recovery/SaveRecoveredFiles.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <tuple>

#include "engine/CheckController.h"
#include "engine/ControllerReaders.h"
#include "engine/Ownership.h"
#include "scaninfo/ScanInfoFile.h"
#include "support/RecordingPrompts.h"
#include "support/TreeBuilder.h"

namespace pelorin::test {
namespace fs = std::filesystem;
namespace {

unsigned filesIn(const fs::path& folder) {
    std::error_code missing;
    unsigned count = 0;
    for (const auto& entry : fs::directory_iterator(folder, missing)) count += entry.is_regular_file();
    return count;
}

// An image of random bytes, a tree to fill, and a save of everything ticked
// that records its reads, can stop at a given read, and reads a source that
// can be broken where told.
struct SaveFixture {
    explicit SaveFixture(uint64_t imageSize, uint32_t sectorSize = 512) : image(imageSize), sectorSize(sectorSize) {
        std::mt19937 random(7);
        bytes.resize(imageSize);
        for (auto& b : bytes) b = static_cast<uint8_t>(random());
        image.write(0, bytes);
        file = FileSource::open(image.path());
        source = std::make_unique<FaultySource>(*file);
    }
    Bytes at(uint64_t offset, uint64_t length) const {
        return Bytes(bytes.begin() + long(offset), bytes.begin() + long(offset + length));
    }
    SaveResult saveAll(std::function<void(SaveRecoveredFiles&)> adjust = {}, const FoundNode* from = nullptr) {
        CheckController(tree.root(), true, totals).run();
        SaveRecoveredFiles saver(*source, sectorSize, totals, prompts);
        saver.environment().readSaveSector = [&](uint64_t first, uint32_t count, std::span<uint8_t> out, Notices& a) {
            reads.push_back(count);
            if (reads.size() <= stopAtReads) saver.stopSaving();
            const bool lost = reads.size() == failingRead;
            if (lost && !failing) failing = FileSource::open(failingSource);
            std::size_t bytesRead = 0;
            const bool read = readSaveSector(lost ? static_cast<Source&>(*failing) : *source, sectorSize, first, count,
                                             out, a, &bytesRead);
            return read ? std::optional(bytesRead) : std::nullopt;
        };
        if (adjust) adjust(saver);
        return saver.save(from ? *from : *tree.root(), destination.path());
    }

    TempImage image;
    Bytes bytes;
    uint32_t sectorSize;
    std::unique_ptr<FileSource> file;
    std::unique_ptr<FaultySource> source;
    TreeBuilder tree;
    SelectionTotals totals;
    RecordingPrompts prompts;
    TempDir destination;
    std::vector<uint32_t> reads;  // sectors asked for by each read
    std::size_t stopAtReads = 0, failingRead = 0;
    std::string failingSource;  // what the failing read reads: it opens, but cannot be read
    std::unique_ptr<FileSource> failing;
};

// Beside the files checked byte for byte: 900 files stay in their folder, 901 go into
// sub-folders; reads take 64 and 8 sectors; reads a quarter of a second apart report once per four.
TEST(SaveRecoveredFiles, SavedFilesEqualTheSourceBytesAndMoreThan900AreSpreadOverSubFolders) {
    SaveFixture f(2 << 20, 1024);
    FoundNode* jpg = f.tree.folder("JPG Files", ".jpg");
    FoundNode* previews = f.tree.folder("RAW Jpg Files", "");
    const struct { uint64_t size, sector; int32_t extraBytes; const char* name; } files[] = {
        {64 * 8 * 1024, 100, -1, "JPG Files/file1.jpg"},          // exactly 64 eight-sector blocks
        {1000, 1000, -1, "JPG Files/file2.jpg"},                  // shorter than one block
        {0, 1100, -1, "JPG Files/file3.jpg"},                     // empty: counted, not written
        {100, 1300, -1, "JPG Files/file4.jpg"},                   // unticked
        {5000, 10, 100, "RAW Jpg Files/file - Raw Jpg1.jpg"},     // a preview inside its sector
        {300, 20, 200, "RAW Jpg Files/file - Raw Jpg2.jpg"},      // a preview shorter than a block
    };
    std::vector<FoundNode*> nodes;
    for (const auto& file : files)
        nodes.push_back(file.extraBytes < 0 ? f.tree.file(jpg, file.size, file.sector)
                                            : f.tree.preview(previews, file.size, file.sector, file.extraBytes));
    for (auto [name, count] : {std::pair{"BMP Files", 900}, {"PNG Files", 901}})
        for (FoundNode* folder = f.tree.folder(name, ".x"); count--;) f.tree.file(folder, 3, 1);
    auto now = std::chrono::steady_clock::time_point{};
    const mode_t umask = ::umask(027);  // honoured, never overridden
    SaveResult result = f.saveAll([&](SaveRecoveredFiles& saver) {
        CheckController(nodes[3], false, f.totals).run();
        saver.environment().steadyClock = [&] { return now += std::chrono::milliseconds(250); };
    });
    ::umask(umask);
    EXPECT_EQ(std::tuple(result.outcome, result.filesSaved, result.filesFailed), std::tuple(SaveOutcome::Completed, 1806, 0));
    const fs::path root = fs::path(result.recoveryFolder) / "ROOT";
    EXPECT_EQ((std::vector{filesIn(root / "BMP Files"), filesIn(root / "BMP Files/BMP Files0"), filesIn(root / "PNG Files"),
                           filesIn(root / "PNG Files/PNG Files0"), filesIn(root / "PNG Files/PNG Files1")}),
              (std::vector{900u, 0u, 0u, 900u, 1u}));
    for (const auto& file : files)
        EXPECT_EQ(readBytes(root / file.name), file.size == 0 || &file == &files[3] ? Bytes{}
                  : f.at(file.sector * 1024 + std::max(file.extraBytes, 0), file.size)) << file.name;
    EXPECT_FALSE(fs::exists(root / files[2].name));
    // Each file written has its place in the folder and the SHA-256 of its bytes; the
    // empty file (not written) and the unticked one have none.
    EXPECT_EQ(result.savedFiles.size(), 1805u);
    for (std::size_t k = 0; k < nodes.size(); ++k) {
        const auto saved = result.savedFiles.find(nodes[k]);
        ASSERT_EQ(saved != result.savedFiles.end(), k != 2 && k != 3) << files[k].name;
        if (saved == result.savedFiles.end()) continue;
        EXPECT_EQ(saved->second.path, std::string("ROOT/") + files[k].name);
        EXPECT_EQ(toHex(saved->second.sha256), sha256Hex(readBytes(root / files[k].name))) << files[k].name;
    }
    // Every file adds its length plus its offset into the first sector.
    EXPECT_EQ(result.savedData, 524288u + 1000 + 5100 + 500 + 1801 * 3);
    EXPECT_EQ(std::vector(f.reads.begin(), f.reads.begin() + 15), (std::vector<uint32_t>{64, 64, 64, 64, 64, 64, 64, 8, 8, 8, 8, 8, 8, 8, 8}));
    EXPECT_EQ(f.prompts.updates.front().barMaximumValue, f.totals.tickedBytes);
    EXPECT_EQ(std::count_if(f.prompts.updates.begin(), f.prompts.updates.end(),
                            [](const SaveProgressUpdate& u) { return u.barDoubleValue.value_or(0) > 0; }), f.reads.size() / 4);
    EXPECT_EQ(f.prompts.alerts.back(), "Saving Completed / Saved at: " + f.destination.path());
    EXPECT_EQ(fs::status(root / "JPG Files/file1.jpg").permissions(), fs::perms(0750));
    for (const fs::path& folder : {fs::path(result.recoveryFolder), root, root / "JPG Files", root / "PNG Files/PNG Files1"})
        EXPECT_EQ(fs::status(folder).permissions(), fs::perms(0750)) << folder;
}

TEST(SaveRecoveredFiles, TheDestinationNeedsFreeSpaceForTheTotalAndMustBeWritable) {
    const std::string notEnough = "! Not enough free disk space / The volume you have chosen to save data does not have "
                                  "enough free space to save selected media files.";
    const std::string readOnly = "! Cannot save / The volume chosen to save recovered media files is not writable.";
    // {free bytes, mount the destination read-only, the alert when refused}
    for (auto [free, mountReadOnly, refusal] : {std::tuple{600, false, ""}, {599, false, notEnough.c_str()},
                                                {1 << 30, true, readOnly.c_str()}}) {
        SaveFixture f(64 * 1024);
        f.tree.file(f.tree.folder("JPG Files", ".jpg"), 600, 1);
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
    FoundNode* jpg = f.tree.folder("JPG Files", ".jpg");
    f.tree.file(jpg, 40000, 10);
    f.tree.file(jpg, 40000, 200);  // its first read fails
    f.tree.file(jpg, 500, 400);    // not reached
    f.tree.file(f.tree.folder("PNG Files", ".png"), 700, 500);
    f.source->breakAt(200 * 512, EIO);
    SaveResult result = f.saveAll();
    EXPECT_EQ(std::tuple(result.outcome, result.filesSaved, result.filesFailed), std::tuple(SaveOutcome::Completed, 2, 2));
    const fs::path root = fs::path(result.recoveryFolder) / "ROOT";
    EXPECT_EQ(readBytes(root / "JPG Files/file1.jpg"), f.at(10 * 512, 40000));
    EXPECT_FALSE(fs::exists(root / "JPG Files/file3.jpg"));
    EXPECT_EQ(readBytes(root / "PNG Files/file1.png"), f.at(500 * 512, 700));
    EXPECT_EQ(f.prompts.alerts, (std::vector<std::string>{"Drive cannot open or not found / ",
        "Saving Completed / Saved at: " + f.destination.path() + "\n2 files could not be saved."}));
}

// A source that opens but cannot be read (a directory: EISDIR) fails the file in hand:
// it keeps at most the bytes read before, never a stretch of zeros for the rest.
TEST(SaveRecoveredFiles, AReadErrorFailsTheFileAndWritesNoZerosForWhatWasNotRead) {
    TempDir unreadable;
    const struct { std::size_t failingRead; int32_t saved, failed; } cases[] = {
        {1, 0, 2},  // file1's first read: the folder ends there
        {2, 0, 2},  // file1's second read, after 64 sectors were written
        {4, 1, 1},  // file2's only read, after file1's three
    };
    for (const auto& c : cases) {
        SaveFixture f(1 << 20);
        FoundNode* jpg = f.tree.folder("JPG Files", ".jpg");
        const struct { uint64_t size, sector; } files[] = {{40000, 10}, {500, 400}};
        for (const auto& file : files) f.tree.file(jpg, file.size, file.sector);
        f.failingRead = c.failingRead;
        f.failingSource = unreadable.path();
        const SaveResult result = f.saveAll();
        EXPECT_EQ(std::tuple(result.outcome, result.filesSaved, result.filesFailed),
                  std::tuple(SaveOutcome::Completed, c.saved, c.failed)) << c.failingRead;
        const std::string failures = c.failed == 1 ? "1 file" : std::to_string(c.failed) + " files";
        EXPECT_EQ(f.prompts.alerts.back(), "Saving Completed / Saved at: " + f.destination.path() + "\n" + failures +
                  " could not be saved.") << c.failingRead;
        const fs::path folder = fs::path(result.recoveryFolder) / "ROOT/JPG Files";
        for (int k = 0; k < 2; ++k) {
            const Bytes kept = readBytes(folder / ("file" + std::to_string(k + 1) + ".jpg"));
            EXPECT_EQ(kept, f.at(files[k].sector * 512, kept.size())) << c.failingRead << " file" << k + 1;
            if (k < c.saved) EXPECT_EQ(kept.size(), files[k].size) << c.failingRead;
            else EXPECT_LT(kept.size(), files[k].size) << c.failingRead << " file" << k + 1;
        }
    }
}

// A read that fails part of the way, or a source that is no disk at all,
// fails the file: what could not be read is never written as zeros.
TEST(SaveRecoveredFiles, ReadErrorsAreNeverSavedAsZeros) {
    {
        SaveFixture f(1 << 20);
        f.tree.file(f.tree.folder("JPG Files", ".jpg"), 40000, 10);
        f.source->breakAt(10 * 512 + 39000, EIO);  // inside the file's last read
        SaveResult result = f.saveAll();
        EXPECT_EQ(std::tuple(result.filesSaved, result.filesFailed), std::tuple(0, 1));
        EXPECT_EQ(readBytes(fs::path(result.recoveryFolder) / "ROOT/JPG Files/file1.jpg"), f.at(10 * 512, 36864));
    }
    SaveFixture f(64 * 1024);
    f.tree.file(f.tree.folder("JPG Files", ".jpg"), 600, 1);
    CheckController(f.tree.root(), true, f.totals).run();
    TempDir notADisk;
    auto directory = FileSource::open(notADisk.path());
    ASSERT_TRUE(directory);
    SaveRecoveredFiles saver(*directory, 512, f.totals, f.prompts);
    SaveResult result = saver.save(*f.tree.root(), f.destination.path());
    EXPECT_EQ(std::tuple(result.outcome, result.filesSaved, result.filesFailed), std::tuple(SaveOutcome::Completed, 0, 1));
    EXPECT_EQ(readBytes(fs::path(result.recoveryFolder) / "ROOT/JPG Files/file1.jpg"), Bytes{});
}

// A source shorter than the tree says (it shrank, or the tree came from elsewhere): a file
// running past its end keeps what it held and fails, one starting past it is not written
// and fails, and the save goes on with the next file.
TEST(SaveRecoveredFiles, ASourceShorterThanTheTreeFailsTheFilesItCannotHoldAndWritesNoZeros) {
    SaveFixture f(64 * 1024);  // 128 sectors
    FoundNode* jpg = f.tree.folder("JPG Files", ".jpg");
    const struct { uint64_t size, sector; } files[] = {{1000, 10}, {40000, 100}, {600, 128}, {0, 200}, {700, 50}};
    std::vector<const FoundNode*> nodes;
    for (const auto& file : files) nodes.push_back(f.tree.file(jpg, file.size, file.sector));
    const SaveResult result = f.saveAll();
    EXPECT_EQ(std::tuple(result.outcome, result.filesSaved, result.filesFailed, result.savedData),
              std::tuple(SaveOutcome::Completed, 2, 3, 1000 + 14336 + 700u));
    const fs::path folder = fs::path(result.recoveryFolder) / "ROOT/JPG Files";
    EXPECT_EQ(readBytes(folder / "file2.jpg"), f.at(100 * 512, 14336));
    EXPECT_FALSE(fs::exists(folder / "file3.jpg"));
    EXPECT_EQ(readBytes(folder / "file5.jpg"), f.at(50 * 512, 700));
    // Only the files saved whole have a digest: a file cut short is no copy of what was found.
    EXPECT_EQ(result.savedFiles.size(), 2u);
    EXPECT_EQ(toHex(result.savedFiles.at(nodes[0]).sha256), sha256Hex(f.at(10 * 512, 1000)));
    EXPECT_EQ(toHex(result.savedFiles.at(nodes[4]).sha256), sha256Hex(f.at(50 * 512, 700)));
    EXPECT_EQ(f.prompts.alerts, std::vector<std::string>{"Saving Completed / Saved at: " + f.destination.path() +
                                                         "\n3 files could not be saved."});
}

// A file put back together is written piece by piece, whatever the pieces' alignment and
// length (a piece longer than one read too), with the digest of what was written; a file
// whose piece lies past the source's end fails and has no digest, and the save goes on.
TEST(SaveRecoveredFiles, AFileInPiecesIsWrittenPieceByPieceAndAPiecePastTheEndFailsIt) {
    SaveFixture f(2 << 20);
    FoundNode* jpg = f.tree.folder("JPG Files", ".jpg");
    const uint64_t end = 2 << 20;
    const std::vector<std::vector<ByteRun>> files = {
        {{100 * 512, 40000}, {3000 * 512 + 17, 9000}},                        // two pieces
        {{50 * 512 + 100, 700}, {1000 * 512 + 300, 70000}, {200 * 512, 5}},   // three, out of order
        {{10 * 512, 1000}, {end - 100, 300}},                                 // the second runs past the end
        {{20 * 512, 1000}, {end + 4096, 300}},                                // the second starts past it
        {{30 * 512, 10}, {UINT64_MAX - 5, 10}},                               // the second ends past 2^64
        {{40 * 512, 512}},                                                    // one piece, as found
    };
    std::vector<const FoundNode*> nodes;
    for (const auto& pieces : files) {
        uint64_t size = 0;
        for (const ByteRun& piece : pieces) size += piece.length;
        FoundNode* node = f.tree.file(jpg, size, pieces[0].offset / 512);
        node->setExtraBytesToMove(int32_t(pieces[0].offset % 512));
        node->setPieces(pieces);
        nodes.push_back(node);
    }
    const SaveResult result = f.saveAll();
    EXPECT_EQ(std::tuple(result.outcome, result.filesSaved, result.filesFailed),
              std::tuple(SaveOutcome::Completed, 3, 3));
    const fs::path folder = fs::path(result.recoveryFolder) / "ROOT/JPG Files";
    for (std::size_t k : {0u, 1u, 5u}) {
        Bytes expected;
        for (const ByteRun& piece : files[k]) {
            const Bytes part = f.at(piece.offset, piece.length);
            expected.insert(expected.end(), part.begin(), part.end());
        }
        EXPECT_EQ(readBytes(folder / ("file" + std::to_string(k + 1) + ".jpg")), expected) << k;
        ASSERT_TRUE(result.savedFiles.contains(nodes[k])) << k;
        EXPECT_EQ(toHex(result.savedFiles.at(nodes[k]).sha256), sha256Hex(expected)) << k;
    }
    for (std::size_t k : {2u, 3u, 4u}) EXPECT_FALSE(result.savedFiles.contains(nodes[k])) << k;
    // No read asks for more than a chunk, and only what was written counts as saved.
    EXPECT_LE(*std::max_element(f.reads.begin(), f.reads.end()), 64u);
    EXPECT_EQ(result.savedData, 49000u + 70705 + 1000 + 100 + 1000 + 10 + 512);
}

// A destination that fills up part of the way through a file: the file keeps what was
// written, fails, and the next file is still tried.
TEST(SaveRecoveredFiles, ADestinationThatFillsUpFailsTheFileAndKeepsWhatWasWritten) {
    SaveFixture f(1 << 20);
    FoundNode* jpg = f.tree.folder("JPG Files", ".jpg");
    f.tree.file(jpg, 300000, 10);
    f.tree.file(jpg, 200000, 700);
    const std::string& mountPoint = f.destination.path();
    if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "cannot mount a small file system here";
    const SaveResult result = f.saveAll([](SaveRecoveredFiles& saver) {
        saver.environment().freeSpace = [](const std::string&) { return std::optional<uint64_t>(1 << 30); };
    });
    const Bytes kept = readBytes(fs::path(result.recoveryFolder) / "ROOT/JPG Files/file1.jpg");
    ::umount(mountPoint.c_str());
    EXPECT_EQ(std::tuple(result.outcome, result.filesSaved, result.filesFailed), std::tuple(SaveOutcome::Completed, 0, 2));
    EXPECT_GT(kept.size(), 0u);
    EXPECT_LT(kept.size(), 300000u);
    EXPECT_EQ(kept, f.at(10 * 512, kept.size()));
    EXPECT_EQ(f.prompts.alerts.back(), "Saving Completed / Saved at: " + mountPoint + "\n2 files could not be saved.");
}

// Run through sudo or pkexec, what is saved belongs to the user who asked.
class InvokingUser : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "only root hands files over";
        for (const char* name : kNames) {
            const char* value = std::getenv(name);
            saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
            ::unsetenv(name);
        }
    }
    void TearDown() override {
        for (const auto& [name, value] : saved) value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
    }
    static constexpr const char* kNames[] = {"PKEXEC_UID", "SUDO_UID", "SUDO_GID"};
    std::vector<std::pair<const char*, std::optional<std::string>>> saved;
};

TEST_F(InvokingUser, ComesFromPkexecOrSudoAndNeverNamesRoot) {
    const gid_t nogroup = ::getpwuid(65534) ? ::getpwuid(65534)->pw_gid : gid_t(-1);
    struct Case {
        const char *pkexecUid, *sudoUid, *sudoGid;
        std::optional<std::pair<uid_t, gid_t>> owner;
    } cases[] = {
        {nullptr, nullptr, nullptr, std::nullopt},
        {"65534", nullptr, nullptr, std::pair{uid_t(65534), nogroup}},
        {nullptr, "65534", "12", std::pair{uid_t(65534), nogroup}},     // the user's own group first
        {nullptr, "54321", "777", std::pair{uid_t(54321), gid_t(777)}},  // no such user: SUDO_GID
        {nullptr, "54321", nullptr, std::pair{uid_t(54321), gid_t(-1)}},
        {nullptr, "0", "0", std::nullopt},
        {nullptr, "65534x", nullptr, std::nullopt},
        {"", "", nullptr, std::nullopt},
    };
    for (const Case& c : cases) {
        for (auto [name, value] : {std::pair{"PKEXEC_UID", c.pkexecUid}, {"SUDO_UID", c.sudoUid}, {"SUDO_GID", c.sudoGid}})
            value ? ::setenv(name, value, 1) : ::unsetenv(name);
        const auto owner = invokingUser();
        EXPECT_EQ(owner ? std::optional(std::pair{owner->uid, owner->gid}) : std::nullopt, c.owner)
            << (c.pkexecUid ? c.pkexecUid : "-") << " " << (c.sudoUid ? c.sudoUid : "-");
    }
}

TEST_F(InvokingUser, GetsEveryFolderAndFileASaveCreates) {
    ::setenv("SUDO_UID", "65534", 1);
    const struct passwd* nobody = ::getpwuid(65534);
    ASSERT_NE(nobody, nullptr);
    const gid_t group = nobody->pw_gid;
    SaveFixture f(64 * 1024);
    f.tree.file(f.tree.folder("JPG Files", ".jpg"), 600, 1);
    const fs::path destination = fs::path(f.destination.path()) / "new/inside";  // made by the save
    CheckController(f.tree.root(), true, f.totals).run();
    SaveRecoveredFiles saver(*f.source, 512, f.totals, f.prompts);
    const SaveResult result = saver.save(*f.tree.root(), destination);
    ASSERT_EQ(result.filesSaved, 1);
    ASSERT_TRUE(saveScanInfo(destination / "scan", {.firstSectors = Bytes(5 * 512), .identity = {}}, *f.tree.root(),
                             f.prompts));
    const fs::path root = fs::path(result.recoveryFolder) / "ROOT";
    for (const fs::path& path : {destination.parent_path(), destination, fs::path(result.recoveryFolder), root,
                                 root / "JPG Files", root / "JPG Files/file1.jpg", destination / "scan.rvx"}) {
        struct stat st {};
        ASSERT_EQ(::lstat(path.c_str(), &st), 0) << path;
        EXPECT_EQ(std::pair(st.st_uid, st.st_gid), std::pair(uid_t(65534), group)) << path;
    }
    struct stat st {};
    ASSERT_EQ(::stat(f.destination.path().c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 0u);  // what existed already is left alone
}

TEST(SaveRecoveredFiles, StopAsksAndNoGoesOn) {
    SaveFixture f(1 << 20);
    FoundNode* jpg = f.tree.folder("JPG Files", ".jpg");
    f.tree.file(jpg, 100000, 10);
    f.tree.file(jpg, 100, 400);
    f.prompts.answers = {false, true};
    f.stopAtReads = 2;
    SaveResult result = f.saveAll();
    // "No" after the first chunk, "Yes" after the second: the file in hand is
    // kept as far as it got and counted, and no further file is started.
    EXPECT_EQ(f.prompts.questions, std::vector<std::string>(2, std::string(texts::questionFor(Question::StopSaving).title)));
    EXPECT_EQ(std::tuple(result.outcome, result.filesSaved), std::tuple(SaveOutcome::Aborted, 1));
    const fs::path folder = fs::path(result.recoveryFolder) / "ROOT/JPG Files";
    EXPECT_EQ(readBytes(folder / "file1.jpg"), f.at(10 * 512, 2 * 64 * 512));
    EXPECT_FALSE(fs::exists(folder / "file2.jpg"));
    EXPECT_EQ(f.prompts.alerts.back(), "Saving Aborted / Saved location is: " + f.destination.path());
}

// Names and paths read from a scan-info file never lead a save out of its recovery folder.
TEST(SaveRecoveredFiles, HostileNamesFromAScanInfoFileStayInsideTheRecoveryFolder) {
    SaveFixture f(64 * 1024);
    f.tree.root()->setFileName("..");
    FoundNode* folder = f.tree.folder("../../../../tmp/pelorin-escape", ".jpg");
    folder->setPathName("/../../..");
    f.tree.file(folder, 100, 1)->setFileName(std::string("../\x01evil\0name", 13));
    CheckController(f.tree.root(), true, f.totals).run();
    ASSERT_TRUE(saveScanInfo(f.destination / "hostile", {.firstSectors = Bytes(5 * 512), .identity = {}}, *f.tree.root(), f.prompts));
    auto info = openScanInfo(f.destination / "hostile.rvx", f.prompts);
    ASSERT_TRUE(info);
    const SaveResult result = f.saveAll({}, info->root.get());
    EXPECT_EQ(result.filesSaved, 1);
    EXPECT_FALSE(fs::exists("/tmp/pelorin-escape"));
    std::vector<std::string> saved;  // the one file written, inside the recovery folder
    for (const auto& entry : fs::recursive_directory_iterator(f.destination.path()))
        if (entry.is_regular_file() && entry.path().extension() != ".rvx") saved.push_back(entry.path().parent_path());
    EXPECT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved.at(0).rfind(result.recoveryFolder + "/", 0), 0u) << saved.at(0);
}

TEST(SaveRecoveredFiles, FolderNamesFollowTheDateRuleAndNeverRepeatAndSizesSwitchUnits) {
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
    for (int i = 0; i < 2; ++i)
        folders.push_back(fs::path(f.saveAll([&](SaveRecoveredFiles& saver) {
            saver.environment().wallClock = [&] { return when; };
        }).recoveryFolder).filename());
    const std::string base = "Pelorin 2026-12-05 07_13_00 ";
    EXPECT_EQ(folders, (std::vector<std::string>{base, base + "(2)"}));
    previous ? ::setenv("TZ", saved.c_str(), 1) : ::unsetenv("TZ");
    ::tzset();
    EXPECT_EQ((std::vector{savedSizeText(1048575), savedSizeText(1048576), savedSizeText(1073741824)}),
              (std::vector<std::string>{"1024.00 KB", "1.00 MB", "1.00 GB"}));
}

}  // namespace
}  // namespace pelorin::test
