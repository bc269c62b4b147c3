// The sector loop: which recogniser sees which sector, skips, failures,
// stopping, and the tree it builds. Recognisers are stand-ins driven by a
// script, so each test says exactly what every type answers.

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <thread>
#include <utility>

#include "support/TestSupport.h"

namespace pelorin::test {
namespace {

Match sized(uint64_t size) {
    Match match;
    match.size = size;
    return match;
}

struct Script {
    std::vector<std::pair<FileType, uint64_t>> asked;  // every recognise call, in order
    std::function<bool(FileType, const uint8_t*, uint64_t)> accepts = [](FileType, const uint8_t*, uint64_t) {
        return false;
    };
    // What a recogniser that accepts the sector answers.
    std::function<Match(FileType, uint64_t)> found = [](FileType, uint64_t) { return sized(1000); };
    std::function<void(Probe&, uint64_t)> sawProbe = [](Probe&, uint64_t) {};
    std::map<FileType, std::bitset<256>> firstBytes;  // narrowed acceptedFirstBytes
    std::set<FileType> needSync;                      // needsTransportSyncAtFour
    std::vector<TypeSelection> tickedAtRegistration;
};
Script* script = nullptr;

class StandIn final : public Recogniser {
public:
    StandIn(ScanContext& context, FileType type_) : Recogniser(context), type(type_) {}
    std::optional<Match> recognise(Probe& probe, uint64_t sector) override {
        script->asked.emplace_back(type, sector);
        script->sawProbe(probe, sector);
        if (!script->accepts(type, probe.data(), sector)) return std::nullopt;
        return script->found(type, sector);
    }
    std::bitset<256> acceptedFirstBytes() const override {
        auto it = script->firstBytes.find(type);
        return it == script->firstBytes.end() ? Recogniser::acceptedFirstBytes() : it->second;
    }
    bool needsTransportSyncAtFour() const override { return script->needSync.count(type) != 0; }

private:
    FileType type;
};

template <std::size_t I>
std::unique_ptr<Recogniser> makeStandIn(ScanContext& context, const TypeSelection& ticked) {
    script->tickedAtRegistration.push_back(ticked);
    return std::make_unique<StandIn>(context, static_cast<FileType>(I));
}

template <std::size_t... I>
std::array<FileTypeInfo, kFileTypeCount> standInTable(std::index_sequence<I...>) {
    std::array<FileTypeInfo, kFileTypeCount> table;
    std::copy(registry().begin(), registry().end(), table.begin());
    ((table[I].factory = &makeStandIn<I>), ...);
    return table;
}
const std::array<FileTypeInfo, kFileTypeCount> kStandIns = standInTable(std::make_index_sequence<kFileTypeCount>{});

// Each sector holds its own number, so a stand-in can check that the probe it
// gets really is the sector it is told about. Sectors start with 0xFF, which
// is above every first-byte bound: every ticked type is asked.
TempImage numberedImage(uint64_t sectors, uint32_t sectorSize = 512) {
    TempImage image(sectors * sectorSize);
    Bytes all(sectors * sectorSize, 0xFF);
    for (uint64_t s = 0; s < sectors; ++s)
        for (int b = 0; b < 4; ++b) all[s * sectorSize + 8 + b] = uint8_t(s >> (8 * b));
    image.write(0, all);
    return image;
}
uint32_t numberIn(const uint8_t* probe) { return probe[8] | probe[9] << 8 | probe[10] << 16 | uint32_t(probe[11]) << 24; }

class ScanningTest : public ::testing::Test {
protected:
    void SetUp() override { script = &s; }
    void TearDown() override { script = nullptr; }

    std::unique_ptr<FoundNode> scan(const TempImage& image, TypeSelection ticked, uint32_t sectorSize = 512,
                               Source* source = nullptr) {
        ctx.sourcePath = image.path();
        ctx.source = source;  // none: the scan opens the path
        ctx.sectorSize = sectorSize;
        ctx.sectorCount = image.size() / sectorSize;
        controller = std::make_unique<RecordingController>(ticked);
        Scanning scanning(ctx, *controller, kStandIns);
        scanning.run();
        return scanning.takeRoot();
    }
    std::vector<uint64_t> sectorsAskedOf(FileType type) const {
        std::vector<uint64_t> sectors;
        for (auto [t, sector] : s.asked)
            if (t == type) sectors.push_back(sector);
        return sectors;
    }

    Script s;
    ScanContext ctx;
    std::unique_ptr<RecordingController> controller;
};

TEST_F(ScanningTest, PassEndsAtTheFirstBoundAboveTheFirstByte) {
    TempImage image(4 * 512);
    image.write(0, {0x30});
    image.write(512, {0xFF});
    auto root = scan(image, selectionOf({FileType::Amr, FileType::Psd, FileType::Bmp, FileType::Jpg}));
    // 0x30: AMR (bound 0x23) and PSD (0x38, above 0x30, ends the pass); 0xFF: all four.
    // 0x00: AMR's bound 0x23 ends the pass at once.
    std::vector<std::pair<FileType, uint64_t>> expected{
        {FileType::Amr, 0}, {FileType::Psd, 0}, {FileType::Amr, 1}, {FileType::Psd, 1}, {FileType::Bmp, 1},
        {FileType::Jpg, 1}, {FileType::Amr, 2}, {FileType::Amr, 3}};
    EXPECT_EQ(s.asked, expected);
    EXPECT_TRUE(root->children().empty());
    EXPECT_EQ(controller->completions, 1);
}

TEST_F(ScanningTest, IsoBoxLetterCarriesTheSectorToTheIsoRecognisers) {
    TempImage image(2 * 512);
    image.write(0, {0x00, 0x00, 0x00, 0x18, 'f', 't', 'y', 'p'});
    scan(image, selectionOf({FileType::Jpg, FileType::Mov}));
    EXPECT_EQ(sectorsAskedOf(FileType::Mov), (std::vector<uint64_t>{0}));
    EXPECT_EQ(sectorsAskedOf(FileType::Jpg), (std::vector<uint64_t>{0, 1}));

    s.asked.clear();
    scan(image, selectionOf({FileType::Jpg, FileType::Png}));
    // No ISO type ticked: PNG's bound 0x89 ends the pass on the first sector.
    EXPECT_EQ(s.asked, (std::vector<std::pair<FileType, uint64_t>>{{FileType::Png, 0}, {FileType::Png, 1}}));
}

TEST_F(ScanningTest, NarrowedFirstBytesGiveTheSameVerdictsAsAskingEveryone) {
    TempImage image(256 * 512);
    Bytes all(256 * 512, 0);
    for (int sector = 0; sector < 256; ++sector) {
        all[sector * 512] = uint8_t(sector);
        // Some sectors look like ISO boxes, one (193) like a time-coded transport packet.
        all[sector * 512 + 4] = uint8_t(sector * 7);
    }
    image.write(0, all);
    TypeSelection ticked;
    for (const auto& row : registry()) ticked.set(index(row.type));
    s.accepts = [](FileType type, const uint8_t* probe, uint64_t) {
        if (type == FileType::Mts) return probe[4] == 0x47;
        return probe[0] == info(type).firstByte && type != FileType::Mpg;
    };
    auto everyoneAsked = scan(image, ticked);

    Script narrowed;
    narrowed.accepts = s.accepts;
    for (const auto& row : registry())
        if (row.type != FileType::Mpg && row.type != FileType::Mts && !row.isoBaseMedia)
            narrowed.firstBytes[row.type] = std::bitset<256>().set(row.firstByte);
    narrowed.needSync = {FileType::Mts};
    script = &narrowed;
    auto someAsked = scan(image, ticked);
    EXPECT_LT(narrowed.asked.size(), s.asked.size());
    std::vector<uint64_t> askedOfMts;
    for (auto [type, sector] : narrowed.asked)
        if (type == FileType::Mts) askedOfMts.push_back(sector);
    EXPECT_EQ(askedOfMts, std::vector<uint64_t>{193});
    auto leaves = [](const FoundNode& root) {
        std::vector<std::pair<std::string, uint64_t>> all;
        for (const auto& folder : root.children())
            for (const auto& file : folder->children()) all.emplace_back(folder->fileName(), file->sectorNumber());
        return all;
    };
    EXPECT_FALSE(leaves(*everyoneAsked).empty());
    EXPECT_EQ(leaves(*someAsked), leaves(*everyoneAsked));
}

TEST_F(ScanningTest, SkippedFilesMoveTheScanPastTheirLastWholeSector) {
    struct Case {
        const char* name;
        uint32_t sectorSize;
        uint64_t sectors;
        uint64_t accepted;   // the sector whose file is sized
        uint64_t size;
        uint64_t skipPast;   // what the recogniser says the loop may jump over
        uint64_t next;       // the sector examined after it
    } cases[] = {
        // 1,000,000 bytes are 1,953 whole sectors, across many windows.
        {"a million bytes", 512, 6000, 10, 1000000, 1000000, 10 + 1953},
        {"large sectors", 4096, 400, 3, 4096 * 100 + 7, 4096 * 100 + 7, 103},
        {"one sector is not skipped", 512, 300, 5, 512, 512, 6},
        {"no skip unless asked", 512, 300, 7, 100000, 0, 8},
        {"only as far as asked", 512, 300, 7, 100000, 512 * 20 + 3, 7 + 20},
        {"never beyond the file", 512, 300, 7, 512 * 30, 100000, 7 + 30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto image = numberedImage(c.sectors, c.sectorSize);
        s.asked.clear();
        s.accepts = [&c](FileType, const uint8_t* probe, uint64_t sector) {
            EXPECT_EQ(numberIn(probe), sector) << "probe does not hold the sector it was offered as";
            return sector == c.accepted;
        };
        s.found = [&c](FileType, uint64_t) {
            Match match = sized(c.size);
            match.skipPast = c.skipPast;
            return match;
        };
        auto root = scan(image, selectionOf({FileType::Mp3}), c.sectorSize);
        auto asked = sectorsAskedOf(FileType::Mp3);
        ASSERT_GT(asked.size(), c.accepted + 1);
        EXPECT_EQ(asked[c.accepted + 1], c.next);
        EXPECT_EQ(asked.back(), c.sectors - 1);
    }
}

// A failing device: a window that cannot be read whole is read sector by
// sector, and only the sectors that cannot be read are lost (they read as
// zeros and are counted). A source that has gone ends the scan with an alert
// and keeps what was found.
TEST_F(ScanningTest, WindowReadFailures) {
    constexpr uint64_t kToTheEnd = FaultySource::kToTheEnd;
    struct Case {
        const char* name;
        std::vector<uint64_t> badSectors;  // unreadable, EIO
        uint64_t goneFrom;                 // the source is gone from this sector on; 0: never
        bool skipFromSector10;             // sector 10 holds a skipped file of 1,000,000 bytes
        uint64_t lastAsked;
        std::size_t alerts;
        uint32_t filesFound;  // of the sectors next to a bad one, and sector 10
        uint64_t unreadable;
    } cases[] = {
        {"bad sectors at the start, middle and end of windows", {0, 60, 127, 128, 2999}, 0, false, 2999, 0, 7, 5},
        {"a bad stretch across two windows", {120, 121, 122, 123, 124, 125, 126, 127, 128, 129}, 0, false, 2999, 0, 3, 10},
        {"a bad sector in the window after a skip", {1920}, 0, true, 2999, 0, 1, 1},
        {"the source goes in the middle of the scan", {}, 128, false, 127, 1, 1, 0},
        {"the source goes in the middle of a window", {60}, 200, false, 255, 1, 3, 1},
        {"the source goes while a file is skipped", {}, 1900, true, 10, 1, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto image = numberedImage(3000);
        s.asked.clear();
        auto nextToBad = [&c](uint64_t sector) {
            return std::any_of(c.badSectors.begin(), c.badSectors.end(),
                               [sector](uint64_t bad) { return sector + 1 == bad || sector == bad + 1; });
        };
        s.accepts = [&](FileType, const uint8_t* probe, uint64_t sector) {
            const bool bad = std::find(c.badSectors.begin(), c.badSectors.end(), sector) != c.badSectors.end() ||
                             (c.goneFrom && sector >= c.goneFrom);
            EXPECT_EQ(numberIn(probe), bad ? 0 : sector) << "an unreadable sector reads as zeros, the others as they are";
            return sector == 10 || (nextToBad(sector) && !bad);
        };
        s.found = [&c](FileType, uint64_t sector) {
            Match match = sized(sector == 10 ? 1000000 : 512);
            match.skipPast = sector == 10 && c.skipFromSector10 ? match.size : 0;
            return match;
        };
        auto file = FileSource::open(image.path());
        FaultySource source(*file);
        for (uint64_t bad : c.badSectors) source.breakSector(bad);
        if (c.goneFrom) source.breakAt(c.goneFrom * 512, ENODEV, kToTheEnd);
        auto root = scan(image, selectionOf({FileType::Mp3}), 512, &source);
        const auto asked = sectorsAskedOf(FileType::Mp3);
        EXPECT_EQ(asked.front(), 0u);
        EXPECT_EQ(asked.back(), c.lastAsked);
        EXPECT_EQ(controller->alerts, std::vector<std::string>(c.alerts, "Error! / Drive cannot open or not found"));
        EXPECT_EQ(controller->completions, 1);
        EXPECT_EQ(controller->outcome.how, c.goneFrom ? ScanOutcome::SourceFailed : ScanOutcome::Completed);
        EXPECT_EQ(controller->outcome.unreadableSectors, c.unreadable);
        EXPECT_EQ(root->fileCount(), c.filesFound);  // what was found before a failure is kept
    }
}

// A file whose recogniser reads across a bad sector: the sector reads as
// zeros and the rest of the file as it is, so the file is sized as on a sound
// device, and a file after it is found.
TEST_F(ScanningTest, BadSectorInsideAFileBeingSized) {
    const Bytes png = fixture("png/image.png");  // IDAT data from byte 138 to 2,808
    TempImage image(64 * 512);
    image.write(2 * 512, png);
    image.write(20 * 512, png);
    auto file = FileSource::open(image.path());
    FaultySource source(*file);
    source.breakSector(4);  // bytes 1,024 to 1,536 of the first file
    ctx.sourcePath = image.path();
    ctx.source = &source;
    ctx.sectorCount = 64;
    RecordingController recording(selectionOf({FileType::Png}));
    Scanning scanning(ctx, recording, registry());
    scanning.run();
    const auto root = scanning.takeRoot();
    const FoundNode* folder = folderNamed(*root, "PNG Files");
    ASSERT_NE(folder, nullptr);
    ASSERT_EQ(folder->children().size(), 2u);
    for (const auto& found : folder->children()) EXPECT_EQ(found->fileSize(), png.size() + 512);
    EXPECT_EQ(recording.outcome.unreadableSectors, 1u);
    EXPECT_TRUE(recording.alerts.empty());
}

// What a recogniser sizes by the file's own fields may run past the end of
// the source (a cut-off or damaged file): it is filed cut at the end, a
// preview that starts past the end is not filed, and a skip past the end is
// the scan's normal end.
TEST_F(ScanningTest, FilesRunningPastTheEndOfTheSourceAreCutThere) {
    struct Case {
        const char* name;
        uint64_t bytes;      // of the image; 100 sectors, and a part sector that is not scanned
        uint64_t size;       // of the file at sector 90
        bool skip;
        uint64_t previewAt;  // byte of the source; its size is 5,000
        uint64_t fileSize, previewSize;  // as filed; preview 0: not filed
        uint64_t lastAsked;
    } cases[] = {
        {"a file inside", 100 * 512, 10 * 512, false, 95 * 512, 10 * 512, 2560, 99},
        {"a file that runs past the end", 100 * 512, 1000000, false, 99 * 512 + 100, 10 * 512, 412, 99},
        {"skipped past the end", 100 * 512, 1000000, true, 95 * 512, 10 * 512, 2560, 90},
        {"skipped past the end of a large source", 4000 * 512, 4000000, true, 0, 3910 * 512, 0, 90},
        {"skipped to the end exactly", 100 * 512, 10 * 512, true, 95 * 512, 10 * 512, 2560, 90},
        {"a part sector at the end", 100 * 512 + 300, 1000000, true, 100 * 512, 10 * 512 + 300, 300, 90},
        {"a preview past the end", 100 * 512, 1000, false, 100 * 512, 1000, 0, 99},
        {"a preview far past the end", 100 * 512, 1000, false, 86502 * 512, 1000, 0, 99},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto image = numberedImage(c.bytes / 512);
        image.resize(c.bytes);
        s.asked.clear();
        s.accepts = [](FileType, const uint8_t*, uint64_t sector) { return sector == 90; };
        s.found = [&c](FileType, uint64_t) {
            Match match = sized(c.size);
            match.skipPast = c.skip ? c.size : 0;
            if (c.previewAt) match.preview = {.sector = c.previewAt / 512, .extraBytes = uint32_t(c.previewAt % 512), .size = 5000};
            return match;
        };
        auto root = scan(image, selectionOf({FileType::Crw}));
        ASSERT_EQ(root->fileCount(), c.previewSize ? 2u : 1u);
        const FoundNode* crw = folderNamed(*root, "CRW Files");
        ASSERT_NE(crw, nullptr);
        EXPECT_EQ(crw->childAtIndex(0)->fileSize(), c.fileSize);
        const FoundNode* previews = folderNamed(*root, "RAW Jpg Files");
        ASSERT_EQ(previews != nullptr, c.previewSize != 0);
        if (previews) {
            EXPECT_EQ(previews->childAtIndex(0)->fileSize(), c.previewSize);
        }
        EXPECT_EQ(root->fileSize(), c.fileSize + c.previewSize);
        EXPECT_EQ(sectorsAskedOf(FileType::Crw).back(), c.lastAsked);
        EXPECT_TRUE(controller->alerts.empty());
        EXPECT_EQ(std::tuple(controller->outcome.how, controller->outcome.lastSector),
                  std::tuple(ScanOutcome::Completed, ctx.sectorCount - 1));
    }
}

// A source shorter than the sectors the scan was given (an image cut after
// its size was taken): the scan ends normally where the source ends, whether
// the loop reaches that end or jumps past it over a file.
TEST_F(ScanningTest, ASourceShorterThanTheScanEndsItWhereItEnds) {
    auto image = numberedImage(300);
    for (bool skip : {false, true}) {
        SCOPED_TRACE(skip);
        s.asked.clear();
        s.accepts = [](FileType, const uint8_t*, uint64_t sector) { return sector == 10; };
        s.found = [skip](FileType, uint64_t) {
            Match match = sized(400 * 512);  // to sector 410, in the window from 384
            match.skipPast = skip ? match.size : 0;
            return match;
        };
        ctx.sourcePath = image.path();
        ctx.source = nullptr;
        ctx.sectorCount = 1000;
        RecordingController recording(selectionOf({FileType::Mp3}));
        Scanning scanning(ctx, recording, kStandIns);
        scanning.run();
        // Without the skip the last window read, from 256, holds the source's last sectors and zeros.
        EXPECT_EQ(sectorsAskedOf(FileType::Mp3).back(), skip ? 10u : 383u);
        EXPECT_TRUE(recording.alerts.empty());
        EXPECT_EQ(std::tuple(recording.outcome.how, recording.outcome.lastSector),
                  std::tuple(ScanOutcome::Completed, uint64_t{999}));
        EXPECT_EQ(scanning.root()->fileSize(), 290u * 512);  // cut at the source's end
    }
}

// With no source given, the scan opens the path itself, for the scan only.
TEST_F(ScanningTest, APathThatCannotBeOpenedEndsTheScanAtOnce) {
    TempImage image(4 * 512);
    const std::string path = image.path();
    std::filesystem::remove(path);
    ctx.sourcePath = path;
    ctx.sectorCount = 4;
    RecordingController recording(selectionOf({FileType::Jpg}));
    Scanning scanning(ctx, recording, kStandIns);
    scanning.run();
    EXPECT_EQ(recording.alerts, std::vector<std::string>{"Error! / Drive cannot open or not found"});
    EXPECT_EQ(std::tuple(recording.outcome.how, recording.outcome.lastSector),
              std::tuple(ScanOutcome::SourceFailed, ~uint64_t{0}));
    EXPECT_TRUE(s.asked.empty());
    EXPECT_EQ(ctx.source, nullptr);
}

TEST_F(ScanningTest, StopKeepsWhatWasFound) {
    auto image = numberedImage(500);
    s.accepts = [this](FileType, const uint8_t*, uint64_t sector) {
        if (sector == 300) ctx.cancelRequested = true;
        return sector % 100 == 0;
    };
    testing::internal::CaptureStdout();
    auto root = scan(image, selectionOf({FileType::Jpg}));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");  // the controller prints, if anyone
    EXPECT_EQ(std::tuple(controller->outcome.how, controller->outcome.lastSector), std::tuple(ScanOutcome::Stopped, 300u));
    const FoundNode* jpg = folderNamed(*root, "JPG Files");
    ASSERT_NE(jpg, nullptr);
    EXPECT_EQ(jpg->fileCount(), 4u);  // sectors 0, 100, 200, 300
    EXPECT_EQ(root->fileSize(), 4000u);
    EXPECT_EQ(controller->completions, 1);
}

TEST_F(ScanningTest, PauseHoldsTheScanAndStopEndsIt) {
    auto image = numberedImage(50);
    ctx.pauseRequested = true;
    std::atomic<int> asked{0};
    s.accepts = [&asked](FileType, const uint8_t*, uint64_t) {
        ++asked;
        return false;
    };
    std::thread stopper([this, &asked] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_EQ(asked.load(), 0) << "a paused scan went on";
        ctx.cancelRequested = true;  // a stop request also ends a pause
    });
    auto root = scan(image, selectionOf({FileType::Jpg}));
    stopper.join();
    EXPECT_EQ(asked.load(), 0);
    EXPECT_EQ(controller->completions, 1);
    EXPECT_TRUE(root->children().empty());
}

TEST_F(ScanningTest, TreeIdsNamesAndCounts) {
    auto image = numberedImage(20);
    s.accepts = [](FileType type, const uint8_t*, uint64_t sector) {
        return type == (sector % 2 ? FileType::Jpg : FileType::Png);
    };
    s.found = [](FileType, uint64_t sector) { return sized(sector == 0 ? 0 : sector * 10); };
    auto root = scan(image, selectionOf({FileType::Jpg, FileType::Png}));
    ASSERT_EQ(root->children().size(), 2u);
    const FoundNode& jpg = *root->childAtIndex(0);  // JPG is attached before PNG...
    const FoundNode& png = *root->childAtIndex(1);
    EXPECT_EQ(png.fileID(), 3u);               // ...but registered after it
    EXPECT_EQ(jpg.fileID(), 4u);
    const FoundNode& first = *jpg.childAtIndex(0);  // sector 1: sector 0's size was 0, so nothing was filed
    EXPECT_EQ(first.fileID(), 5u);
    EXPECT_EQ(first.fileName(), "file1.jpg");
    EXPECT_EQ(first.pathName(), "JPG Files/ROOT");
    EXPECT_EQ(first.parentID(), 4u);
    EXPECT_EQ(png.childAtIndex(0)->fileID(), 6u);
    EXPECT_EQ(png.childAtIndex(0)->fileName(), "file1.png");
    EXPECT_EQ(jpg.fileCount(), 10u);
    EXPECT_EQ(root->fileCount(), 19u);
    EXPECT_EQ(root->childrenCount(), 21);
    EXPECT_EQ(jpg.fileSize(), 1000u);  // 10 × (1 + 3 + ... + 19)
    EXPECT_EQ(root->fileSize(), jpg.fileSize() + png.fileSize());
}

TEST_F(ScanningTest, PreviewJpegsAreFiledOnlyAboveAKilobyte) {
    auto image = numberedImage(10);
    s.accepts = [](FileType, const uint8_t*, uint64_t sector) { return sector == 2 || sector == 4; };
    s.found = [](FileType, uint64_t sector) {
        Match match = sized(50000);
        match.preview = {.sector = sector + 3, .extraBytes = 17, .size = sector == 2 ? 1025u : 1024u};
        return match;
    };
    auto root = scan(image, selectionOf({FileType::Crw, FileType::Mid}));
    const FoundNode* previews = folderNamed(*root, "RAW Jpg Files");
    ASSERT_NE(previews, nullptr);
    EXPECT_EQ(root->childAtIndex(0), previews);
    EXPECT_EQ(previews->fileID(), 4u);  // between the CRW (3) and MID (5) folders
    EXPECT_EQ(folderNamed(*root, "MID Files"), nullptr);
    ASSERT_EQ(previews->children().size(), 1u);
    const FoundNode& preview = *previews->childAtIndex(0);
    EXPECT_EQ(preview.fileName(), "file - Raw Jpg1.jpg");
    EXPECT_EQ(preview.sectorNumber(), 5u);
    EXPECT_EQ(preview.extraBytesToMove(), 17);
    EXPECT_EQ(preview.fileSize(), 1025u);
    EXPECT_EQ(preview.fileID(), folderNamed(*root, "CRW Files")->childAtIndex(0)->fileID() + 1);
}

// A scan with every type ticked numbers the forty's folders and files as a
// scan of the forty alone; an added type's folder takes the next id when its
// first file is found. CR3, an added type, files previews in "RAW Jpg Files",
// which, with no raw type of the forty ticked, is numbered the same way.
TEST_F(ScanningTest, AddedTypesTakeFolderIdsOnlyWithTheirFirstFile) {
    auto image = numberedImage(6);
    TypeSelection forty, all;
    for (const auto& row : registry()) {
        all.set(index(row.type));
        forty.set(index(row.type), !isAddedType(row.type));
    }
    EXPECT_EQ(forty.count(), 40u);
    auto ids = [](const FoundNode& root) {
        std::vector<std::pair<std::string, uint32_t>> named;
        for (const auto& folder : root.children()) {
            named.emplace_back(folder->fileName(), folder->fileID());
            for (const auto& file : folder->children()) named.emplace_back(file->fileName(), file->fileID());
        }
        return named;
    };
    s.accepts = [](FileType type, const uint8_t*, uint64_t sector) {
        return type == (sector == 5 ? FileType::Cr3 : FileType::Jpg) && sector != 4;
    };
    auto withAll = ids(*scan(image, all));
    auto withForty = ids(*scan(image, forty));
    ASSERT_EQ(withAll.size(), withForty.size() + 2);  // the CR3 folder and its file
    std::erase_if(withAll, [](const auto& entry) { return entry.first.ends_with(".cr3") || entry.first == "CR3 Files"; });
    EXPECT_EQ(withAll, withForty);

    s.found = [](FileType, uint64_t sector) {
        Match match = sized(1000);
        match.preview = {.sector = sector, .extraBytes = 100, .size = 2000};
        return match;
    };
    s.accepts = [](FileType type, const uint8_t*, uint64_t sector) { return type == FileType::Cr3 && sector == 3; };
    auto root = scan(image, selectionOf({FileType::Cr3, FileType::Jpg}));
    const FoundNode* previews = folderNamed(*root, "RAW Jpg Files");
    ASSERT_NE(previews, nullptr);
    ASSERT_NE(folderNamed(*root, "CR3 Files"), nullptr);
    // The JPG folder is 3; then the CR3 folder, its file, the preview folder, the preview.
    EXPECT_EQ(folderNamed(*root, "CR3 Files")->fileID(), 4u);
    EXPECT_EQ(previews->fileID(), 6u);
    EXPECT_EQ(previews->childAtIndex(0)->fileID(), 7u);
}

TEST_F(ScanningTest, NikonFileThatIsAnNrwGoesOnToTheNrwRecogniser) {
    auto image = numberedImage(4);
    s.accepts = [](FileType type, const uint8_t*, uint64_t sector) {
        return sector == 1 && (type == FileType::Nef || type == FileType::Nrw);
    };
    s.found = [](FileType type, uint64_t) {
        // NEF hands on without filing; NRW files the file and, as the family's
        // members do while the verdict still says NRW, hands on too.
        Match match = sized(type == FileType::Nrw ? 7000 : 0);
        match.handOn = true;
        return match;
    };
    auto root = scan(image, selectionOf({FileType::Nef, FileType::Nrw, FileType::Tiff}));
    EXPECT_EQ(folderNamed(*root, "NIKON (NEF) Files"), nullptr);
    const FoundNode* nrw = folderNamed(*root, "NIKON (NRW) Files");
    ASSERT_NE(nrw, nullptr);
    EXPECT_EQ(nrw->childAtIndex(0)->sectorNumber(), 1u);
    // The pass goes on past NRW too; the later members file nothing.
    EXPECT_EQ(sectorsAskedOf(FileType::Tiff), (std::vector<uint64_t>{0, 1, 2, 3}));
    EXPECT_EQ(root->fileCount(), 1u);
}

TEST_F(ScanningTest, X3fFilesTakeTheExtensionTheirRecogniserReports) {
    auto image = numberedImage(4);
    s.accepts = [](FileType, const uint8_t*, uint64_t sector) { return sector == 1 || sector == 2; };
    s.found = [](FileType, uint64_t sector) {
        Match match = sized(1000);
        match.extension = sector == 1 ? ".tif" : ".x3f";
        return match;
    };
    auto root = scan(image, selectionOf({FileType::X3f}));
    const FoundNode* x3f = folderNamed(*root, "X3F Files");
    EXPECT_EQ(x3f->childAtIndex(0)->fileName(), "file1.tif");
    EXPECT_EQ(x3f->childAtIndex(1)->fileName(), "file2.x3f");
    EXPECT_EQ(x3f->extension(), ".x3f");  // the folder keeps the extension of the file filed last
}

TEST_F(ScanningTest, VerdictsDoNotOutliveTheirSectorAndRegistrationTellsWhoIsTicked) {
    auto image = numberedImage(4);
    s.sawProbe = [](Probe& probe, uint64_t sector) {
        if (sector == 1 && probe.verdict.findings == 0) {
            probe.verdict = {0x5, ByteOrder::LittleEndian};
        } else if (sector != 1) {
            EXPECT_EQ(probe.verdict.findings, 0u) << sector;
            EXPECT_EQ(probe.verdict.byteOrder, ByteOrder::Unknown) << sector;
        }
    };
    const TypeSelection ticked = selectionOf({FileType::Tiff, FileType::Jpg});
    scan(image, ticked);
    EXPECT_EQ(s.tickedAtRegistration, std::vector<TypeSelection>(2, ticked));
}

TEST_F(ScanningTest, ProgressIsPostedOnlyWhenThePreviousDisplayWasTaken) {
    auto image = numberedImage(100);
    auto root = scan(image, selectionOf({FileType::Jpg}));
    EXPECT_EQ(controller->progressRequests, 1);  // nobody took the first one
    EXPECT_NEAR(ctx.progressBarValue(), 99.0f, 0.01f);
}

}  // namespace
}  // namespace pelorin::test
