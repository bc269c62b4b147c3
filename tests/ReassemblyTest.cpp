// Camera cards on which photos lie in pieces, as first-fit allocation leaves
// them: scanned with every type ticked, then put back together. A photo comes
// back byte for byte or stays exactly as the scan found it; files the scan
// found whole are never touched; no cluster goes to two files.

#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "engine/Source.h"
#include "reassembly/Reassembly.h"
#include "support/CameraCard.h"
#include "support/MediaTestSupport.h"
#include "support/TreeBuilder.h"

namespace pelorin::test {
namespace {

constexpr uint32_t kSectorSize = 512;
constexpr uint32_t kClusterSize = 2048;
constexpr uint64_t kCardSize = 9 << 20;  // the smallest FAT16 with 2 KiB clusters is 8 MiB

// A file that the scan recognises nowhere: it stands for deleted data or a
// file of a kind that is not ticked.
Bytes junk(std::size_t clusters, uint32_t seed) { return randomBytes(clusters * kClusterSize, seed); }

// What a scan says about one node, field by field.
struct NodeState {
    std::string path;
    uint32_t fileType, fileID, parentID, fileCount;
    uint64_t sector, size;
    int32_t extraBytes, childrenCount;
    std::vector<ByteRun> pieces;
    friend bool operator==(const NodeState&, const NodeState&) = default;
};

void snapshot(const FoundNode& node, std::vector<NodeState>& states) {
    states.push_back({node.pathName() + "/" + node.fileName(), node.fileType(), node.fileID(), node.parentID(),
                      node.fileCount(), node.sectorNumber(), node.fileSize(), node.extraBytesToMove(),
                      node.childrenCount(), node.pieces()});
    for (const auto& child : node.children()) snapshot(*child, states);
}

std::vector<NodeState> snapshot(const FoundNode& root) {
    std::vector<NodeState> states;
    snapshot(root, states);
    return states;
}

void PrintTo(const NodeState& node, std::ostream* out) {
    *out << node.path << " sector " << node.sector << " size " << node.size << " pieces " << node.pieces.size();
}

bool overlap(const ByteRun& a, const ByteRun& b) {
    return a.offset < b.offset + b.length && b.offset < a.offset + a.length;
}

// What a card holds when the pass runs, and what it must give back.
struct Expected {
    // Photos on the card, split or not, each with the file it was made from:
    // they must come back whole.
    std::vector<std::pair<std::string, std::string>> photos;
    // Photos whose continuation is gone: they must stay as the scan found them.
    std::vector<std::string> keptAsFound;
};

struct Scenario {
    std::string name;
    std::function<Expected(CameraCard&)> fill;
};

void PrintTo(const Scenario& scenario, std::ostream* out) { *out << scenario.name; }

// The first photo leaves `holeClusters` free at the card's start, then the
// files that will lie between its pieces; the photo fills the hole first.
Expected splitAround(CameraCard& card, const std::string& photo, uint32_t holeClusters,
                     const std::vector<std::pair<std::string, Bytes>>& between) {
    card.write("HOLE.DAT", junk(holeClusters, 1));
    for (const auto& [name, bytes] : between) card.write(name, bytes);
    card.erase("HOLE.DAT");
    card.write("DSC00001.JPG", fixture(photo));
    const std::string next = photo == "split/444.jpg" ? "split/baseline.jpg" : "split/444.jpg";
    card.write("DSC00002.JPG", fixture(next));  // whole, after the split one
    return {{{"DSC00001.JPG", photo}, {"DSC00002.JPG", next}}, {}};
}

std::vector<Scenario> scenarios() {
    const Bytes mp3 = fixture("mp3/sine-sync.mp3");
    const Bytes png = fixture("png/image.png");
    const Bytes wav = fixture("wav/tiny.wav");
    std::vector<Scenario> all;
    const std::pair<const char*, const char*> kinds[] = {{"baseline", "Baseline"}, {"restart", "RestartMarkers"},
                                                         {"progressive", "Progressive"}, {"444", "FullChroma"},
                                                         {"camera", "CameraWithExifThumbnail"}};
    for (const auto& [photo, label] : kinds)
        all.push_back({std::string(label) + "AroundOneWholeFile", [=](CameraCard& card) {
                           return splitAround(card, std::string("split/") + photo + ".jpg", 4, {{"SINE.MP3", mp3}});
                       }});
    all.push_back({"AroundTwoWholeFiles", [=](CameraCard& card) {
                       return splitAround(card, "split/restart.jpg", 3, {{"SINE.MP3", mp3}, {"IMAGE.PNG", png}});
                   }});
    all.push_back({"AroundAnOverwrittenStretch", [=](CameraCard& card) {
                       return splitAround(card, "split/baseline.jpg", 5, {{"OTHER.DAT", junk(7, 2)}});
                   }});
    all.push_back({"AroundAWholeFileAndAStretchOfOtherData", [=](CameraCard& card) {
                       return splitAround(card, "split/progressive.jpg", 2, {{"TINY.WAV", wav}, {"OTHER.DAT", junk(3, 3)}});
                   }});
    all.push_back({"IntoThreePieces", [=](CameraCard& card) {
                       card.write("HOLE1.DAT", junk(3, 4));
                       card.write("SINE.MP3", mp3);
                       card.write("HOLE2.DAT", junk(5, 5));
                       card.write("TINY.WAV", wav);
                       card.erase("HOLE1.DAT");
                       card.erase("HOLE2.DAT");
                       card.write("DSC00001.JPG", fixture("split/camera.jpg"));
                       return Expected{{{"DSC00001.JPG", "split/camera.jpg"}}, {}};
                   }});
    // X1 Y1 MP3 X2 Y2: each photo's data breaks where the other's begins.
    all.push_back({"TwoPhotosInterleaved", [=](CameraCard& card) {
                       card.write("HOLE1.DAT", junk(4, 6));
                       card.write("HOLE2.DAT", junk(3, 7));
                       card.write("SINE.MP3", mp3);
                       card.erase("HOLE1.DAT");
                       card.write("DSC00001.JPG", fixture("split/baseline.jpg"));
                       card.erase("HOLE2.DAT");
                       card.write("DSC00002.JPG", fixture("split/restart.jpg"));
                       return Expected{{{"DSC00001.JPG", "split/baseline.jpg"}, {"DSC00002.JPG", "split/restart.jpg"}}, {}};
                   }});
    // The rest of the photo was overwritten with other data after it was written.
    for (const auto& [photo, label] : {kinds[0], kinds[1]})
        all.push_back({std::string(label) + "WithItsSecondPieceOverwritten", [=](CameraCard& card) {
                           Expected expected = splitAround(card, std::string("split/") + photo + ".jpg", 4, {{"SINE.MP3", mp3}});
                           const ByteRun rest = card.runsOf(*card.file("DSC00001.JPG")).at(1);
                           card.overwrite(rest.offset, randomBytes(rest.length, 8));
                           expected.photos.erase(expected.photos.begin());
                           expected.keptAsFound.push_back("DSC00001.JPG");
                           return expected;
                       }});
    // As above, with a copy of the photo saved later on and damaged early:
    // the copy's rest would complete the photo, but it is the copy's.
    all.push_back({"OverwrittenWithADamagedCopyElsewhere", [=](CameraCard& card) {
                       Expected expected = splitAround(card, "split/baseline.jpg", 4, {{"SINE.MP3", mp3}});
                       const ByteRun rest = card.runsOf(*card.file("DSC00001.JPG")).at(1);
                       card.overwrite(rest.offset, randomBytes(rest.length, 10));
                       card.write("COPY0001.JPG", fixture("split/baseline.jpg"));
                       const ByteRun copy = card.runsOf(*card.file("COPY0001.JPG")).front();
                       card.overwrite(copy.offset + 2 * kClusterSize, randomBytes(kClusterSize, 11));
                       expected.photos.erase(expected.photos.begin());
                       expected.keptAsFound = {"DSC00001.JPG", "COPY0001.JPG"};
                       return expected;
                   }});
    // As above, but the overwritten stretch starts with the photo's own next
    // bytes, so that a candidate decodes for a while before it fails.
    for (const auto& [photo, label] : {kinds[0], kinds[2]})
        all.push_back({std::string(label) + "FollowedByDataThatDecodesForAFewBytes", [=](CameraCard& card) {
                           Expected expected = splitAround(card, std::string("split/") + photo + ".jpg", 4, {{"SINE.MP3", mp3}});
                           const ByteRun rest = card.runsOf(*card.file("DSC00001.JPG")).at(1);
                           Bytes lookalike = randomBytes(rest.length, 9);
                           const Bytes& image = card.image();
                           std::copy_n(image.begin() + long(rest.offset), 96, lookalike.begin());
                           card.overwrite(rest.offset, lookalike);
                           expected.photos.erase(expected.photos.begin());
                           expected.keptAsFound.push_back("DSC00001.JPG");
                           return expected;
                       }});
    return all;
}

class Reassembly : public ::testing::TestWithParam<Scenario> {};

// A scan of the card, and what the pass made of it.
struct Pass {
    TempImage image;
    std::unique_ptr<FoundNode> root;
    std::vector<NodeState> before;
    ReassemblyOutcome outcome;
};

Pass scanAndReassemble(CameraCard& card) {
    Pass pass;
    pass.image.write(0, card.image());
    pass.root = scanImage(pass.image.path(), availableTypes(), kSectorSize).root;
    pass.before = snapshot(*pass.root);
    const auto source = FileSource::open(pass.image.path());
    pass.outcome = reassembleSplitFiles(*pass.root, *source, kSectorSize);
    return pass;
}

Bytes bytesOf(const FoundNode& file, const Bytes& image) {
    Bytes bytes;
    for (const ByteRun& run : byteRunsOf(file, kSectorSize)) {
        if (run.offset + run.length > image.size()) return {};
        bytes.insert(bytes.end(), image.begin() + long(run.offset), image.begin() + long(run.offset + run.length));
    }
    return bytes;
}

TEST_P(Reassembly, SplitPhotosComeBackExactAndNothingElseChanges) {
    CameraCard card(kCardSize, kClusterSize);
    const Expected expected = GetParam().fill(card);
    Pass pass = scanAndReassemble(card);
    const Bytes& image = card.image();

    std::set<std::string> changeable;  // the paths of the photos the pass may give pieces
    uint32_t split = 0;
    for (const auto& [name, fixtureName] : expected.photos) {
        const CameraCard::File& written = *card.file(name);
        const std::vector<ByteRun> runs = card.runsOf(written);
        const FoundNode* found = fileAt(*pass.root, "JPG Files", runs.front().offset / kSectorSize);
        ASSERT_NE(found, nullptr) << name << " was not found at all";
        const Bytes want = fixture(fixtureName);
        ASSERT_EQ(card.contentsOf(written), want) << name << " is not on the card as written";
        const Bytes got = bytesOf(*found, image);
        if (runs.size() > 1) {
            ++split;
            changeable.insert(found->pathName() + "/" + found->fileName());
            EXPECT_TRUE(got == want) << name << " in " << runs.size() << " pieces came back as " << got.size()
                                     << " bytes in " << byteRunsOf(*found, kSectorSize).size() << " runs";
        } else {
            // Found whole by the scan: the photo and its slack.
            EXPECT_TRUE(got.size() >= want.size() && got.size() <= want.size() + 512 &&
                        std::equal(want.begin(), want.end(), got.begin()))
                << name;
        }
    }
    for (const std::string& name : expected.keptAsFound)
        ASSERT_NE(fileAt(*pass.root, "JPG Files", card.runsOf(*card.file(name)).front().offset / kSectorSize), nullptr)
            << name << " should have been found as far as its first piece goes";
    EXPECT_EQ(pass.outcome.filesReassembled, split);

    // Every other file, the broken photos that stay as found among them, is as the scan left it.
    const std::vector<NodeState> after = snapshot(*pass.root);
    ASSERT_EQ(after.size(), pass.before.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
        if (after[i].fileType != FoundNode::kFoundFile || changeable.contains(after[i].path)) continue;
        EXPECT_EQ(after[i], pass.before[i]);
    }
    expectTalliesMatchRecount(*pass.root);

    // No cluster is given to two files: the pieces of the reassembled files
    // overlap one another nowhere, nor any other file still on the card.
    std::vector<std::pair<const FoundNode*, ByteRun>> pieces;
    for (const auto& folder : pass.root->children())
        for (const auto& file : folder->children())
            for (const ByteRun& piece : file->pieces()) pieces.push_back({file.get(), piece});
    for (std::size_t i = 0; i < pieces.size(); ++i)
        for (std::size_t j = i + 1; j < pieces.size(); ++j)
            EXPECT_FALSE(overlap(pieces[i].second, pieces[j].second))
                << pieces[i].first->fileName() << " and " << pieces[j].first->fileName() << " share bytes";
    for (const auto& [file, piece] : pieces)
        for (const CameraCard::File& other : card.files()) {
            const std::vector<ByteRun> otherRuns = card.runsOf(other);
            if (otherRuns.front().offset == file->sectorNumber() * kSectorSize) continue;  // its own
            for (const ByteRun& run : otherRuns)
                EXPECT_FALSE(overlap(piece, run)) << file->fileName() << " took bytes of " << other.name;
        }
}

INSTANTIATE_TEST_SUITE_P(CameraCards, Reassembly, ::testing::ValuesIn(scenarios()),
                         [](const auto& info) { return info.param.name; });

// On a card where nothing is split, even after deletions and a quick format,
// the tree the pass leaves is the scan's, node for node and field by field.
TEST(ReassemblyWithoutSplitFiles, LeavesTheTreeAsTheScanBuiltIt) {
    CameraCard card(kCardSize, kClusterSize);
    card.write("DSC00001.JPG", fixture("split/baseline.jpg"));
    card.write("DSC00002.JPG", fixture("split/progressive.jpg"));
    card.write("SINE.MP3", fixture("mp3/sine-sync.mp3"));
    card.quickFormat();
    card.write("DSC00003.JPG", fixture("split/camera.jpg"));  // over the first photo, whose tail is left
    card.write("IMAGE.PNG", fixture("png/image.png"));
    card.write("DSC00004.JPG", fixture("split/restart.jpg"));
    card.erase("IMAGE.PNG");
    card.write("AGAIN.PNG", fixture("png/image.png"));  // fills the hole exactly
    card.write("TINY.WAV", fixture("wav/tiny.wav"));
    card.write("DSC00005.JPG", fixture("jpeg/large.jpg"));
    for (const CameraCard::File& file : card.files()) ASSERT_EQ(card.runsOf(file).size(), 1u) << file.name;
    Pass pass = scanAndReassemble(card);
    EXPECT_EQ(pass.outcome.filesReassembled, 0u);
    EXPECT_EQ(snapshot(*pass.root), pass.before);
}

}  // namespace
}  // namespace pelorin::test
