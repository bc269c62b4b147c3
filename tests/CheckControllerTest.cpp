#include "engine/CheckController.h"

#include <gtest/gtest.h>

#include <array>
#include <random>

#include "support/TreeBuilder.h"

namespace pelorin::test {
namespace {

// A tree of ROOT, JPG Files (100, 200, 300 bytes) and PNG Files (10, 20 bytes);
// each case ticks and unticks nodes in order and checks every tick, the check
// boxes of ROOT and the two folders, the ticked byte total and the file count.
enum Node { Root, A, A1, A2, A3, B, B1, B2 };
struct Case {
    const char* name;
    std::vector<std::pair<Node, bool>> ticks;
    const char* selected;  // Root A A1 A2 A3 B B1 B2
    int marks[3];          // Root, A, B: 1 ticked, 0 unticked, -1 mixed
    uint64_t bytes;
    int files;
};

TEST(CheckController, TicksSpreadDownAndUpAndKeepTheTotals) {
    const Case cases[] = {
        {"one file", {{A2, true}}, "11010000", {-1, -1, 0}, 200, 1},
        {"then its folder", {{A2, true}, {A, true}}, "11111000", {-1, 1, 0}, 600, 3},
        {"folder off drops only its ticked files", {{A1, true}, {A3, true}, {B1, true}, {A, false}},
         "10000110", {-1, 0, -1}, 10, 1},
        {"last file off clears only its folder", {{A1, true}, {B2, true}, {A1, false}}, "10000101", {-1, 0, -1}, 20, 1},
        {"last ticked file off clears the root", {{B2, true}, {B2, false}}, "00000000", {0, 0, 0}, 0, 0},
        {"root on", {{Root, true}}, "11111111", {1, 1, 1}, 630, 5},
        {"root on, root off", {{Root, true}, {Root, false}}, "00000000", {0, 0, 0}, 0, 0},
        {"repeats count once and never wrap", {{A1, true}, {A1, true}, {A2, false}}, "11100000", {-1, -1, 0}, 100, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TreeBuilder tree;
        FoundNode *a = tree.folder("JPG Files", ".jpg"), *b = tree.folder("PNG Files", ".png");
        FoundNode* nodes[] = {tree.root(), a, tree.file(a, 100, 10), tree.file(a, 200, 20), tree.file(a, 300, 30),
                         b, tree.file(b, 10, 40), tree.file(b, 20, 50)};
        SelectionTotals totals;
        for (auto [node, value] : c.ticks) CheckController(nodes[node], value, totals).run();

        std::string selected;
        for (FoundNode* node : nodes) selected += char('0' + node->selected());
        EXPECT_EQ(selected, c.selected);
        for (int i = 0; Node node : {Root, A, B}) EXPECT_EQ(CheckController::markState(*nodes[node]), c.marks[i++]);
        EXPECT_EQ(totals.tickedBytes, c.bytes);
        EXPECT_EQ(CheckController::countTickedFiles(*nodes[Root]), c.files);
    }
}

// Whichever of a lone file and its folder is ticked first, the folder ends on
// with one ticked file.
TEST(CheckController, AFolderOfOneFileIsOnOnceItAndItsFileAreTicked) {
    for (bool folderFirst : {false, true}) {
        SCOPED_TRACE(folderFirst ? "folder first" : "file first");
        TreeBuilder tree;
        FoundNode* folder = tree.folder("JPG Files", ".jpg");
        FoundNode* file = tree.file(folder, 700, 9);
        SelectionTotals totals;
        for (FoundNode* node : folderFirst ? std::array{folder, file} : std::array{file, folder})
            CheckController(node, true, totals).run();
        EXPECT_EQ(folder->childrenSelected(), 1);
        EXPECT_EQ(folder->tickState(), TickState::On);
        EXPECT_EQ(CheckController::markState(*folder), 1);
        EXPECT_EQ(CheckController::markState(*tree.root()), 1);
        EXPECT_EQ(totals.tickedBytes, 700u);
        EXPECT_EQ(CheckController::countTickedFiles(*tree.root()), 1);
    }
}

// Files added to ticked folders come in unticked, and the folders show it at
// once: a ticked folder that was empty shows off when its first file comes.
TEST(CheckController, FilesAddedAfterTickingShowAsUnticked) {
    TreeBuilder tree;
    FoundNode *jpg = tree.folder("JPG Files", ".jpg"), *png = tree.folder("PNG Files", ".png");
    tree.file(jpg, 100, 1);
    SelectionTotals totals;
    CheckController(jpg, true, totals).run();
    CheckController(png, true, totals).run();
    auto marks = [&] { return std::array{CheckController::markState(*tree.root()), CheckController::markState(*jpg),
                                         CheckController::markState(*png)}; };
    EXPECT_EQ(marks(), (std::array{1, 1, 1}));

    FoundNode* lateJpg = tree.file(jpg, 200, 2);
    FoundNode* firstPng = tree.file(png, 300, 3);
    EXPECT_EQ(marks(), (std::array{-1, -1, 0}));
    EXPECT_EQ(std::tuple(lateJpg->selected(), firstPng->selected(), png->selected()), std::tuple(0, 0, 1));
    EXPECT_EQ(tree.root()->tickedBytes(), 100u);

    CheckController(lateJpg, true, totals).run();
    CheckController(firstPng, true, totals).run();
    EXPECT_EQ(marks(), (std::array{1, 1, 1}));
    EXPECT_EQ(totals.tickedBytes, 600u);
    EXPECT_EQ(tree.root()->tickedBytes(), 600u);
    EXPECT_EQ(CheckController::countTickedFiles(*tree.root()), 3);
}

// A scan names the root as a type folder's parent while it fills the folder and
// attaches the folder at the end: what is ticked in it counts in the root once.
TEST(CheckController, AFolderCountsInTheRootOnlyOnceAttached) {
    TreeBuilder tree;
    auto folder = std::make_unique<FoundNode>();
    folder->setFileType(FoundNode::kFolder);
    folder->setParent(tree.root());
    auto file = std::make_unique<FoundNode>();
    file->setFileType(FoundNode::kFoundFile);
    file->setFileSize(50);
    folder->addToChildrenCount(1);
    folder->addChild(std::move(file))->setSelected(1);
    EXPECT_EQ(tree.root()->childrenSelected(), 0);
    tree.root()->addToChildrenCount(2);
    tree.root()->addChild(std::move(folder));
    EXPECT_EQ(std::tuple(tree.root()->childrenSelected(), tree.root()->tickedBytes()), std::tuple(1, 50u));
}

// Random ticks, unticks, new files and folder counts such as a scan-info file may
// hold (none, wrapped, short of the files): after every change each node's
// tallies and check box agree with counting its subtree afresh.
TEST(CheckController, TalliesAgreeWithARecountAfterEveryChange) {
    std::mt19937 random(19);
    TreeBuilder tree;
    std::vector<FoundNode*> folders, nodes{tree.root()};
    for (const char* name : {"JPG Files", "PNG Files", "TIF Files"})
        nodes.push_back(folders.emplace_back(tree.folder(name, "")));
    SelectionTotals totals;
    for (int step = 0; step < 600; ++step) {
        SCOPED_TRACE(step);
        const unsigned change = random() % 6;
        FoundNode* folder = folders[random() % folders.size()];
        if (change == 0)
            nodes.push_back(tree.file(folder, 1 + random() % 5000, uint64_t(step)));
        else if (change == 5)
            folder->setChildrenCount(std::array{0, -1, 1, int32_t(folder->children().size())}[random() % 4]);
        else
            CheckController(nodes[random() % nodes.size()], change % 2 == 1, totals).run();
        expectTalliesMatchRecount(*tree.root());
        if (HasFailure()) return;
    }
}

// Unticking a large folder file by file: every step leaves the right state.
TEST(CheckController, UntickingManyFilesOneByOne) {
    constexpr int kFiles = 100000;
    TreeBuilder tree;
    FoundNode* folder = tree.folder("JPG Files", ".jpg");
    std::vector<FoundNode*> files;
    for (int i = 0; i < kFiles; ++i) files.push_back(tree.file(folder, 10, uint64_t(i)));
    SelectionTotals totals;
    CheckController(tree.root(), true, totals).run();
    ASSERT_EQ(totals.tickedBytes, 10u * kFiles);
    for (int i = 0; i < kFiles; ++i) {
        CheckController(files[i], false, totals).run();
        if (i == kFiles / 2) {
            EXPECT_EQ(folder->childrenSelected(), kFiles / 2 - 1);
            EXPECT_EQ(std::tuple(CheckController::markState(*folder), CheckController::markState(*tree.root())),
                      std::tuple(-1, -1));
        }
    }
    EXPECT_EQ(std::tuple(folder->selected(), tree.root()->selected()), std::tuple(0, 0));
    EXPECT_EQ(std::tuple(CheckController::markState(*folder), CheckController::markState(*tree.root())),
              std::tuple(0, 0));
    EXPECT_EQ(totals.tickedBytes, 0u);
    EXPECT_EQ(CheckController::countTickedFiles(*tree.root()), 0);
}

}  // namespace
}  // namespace pelorin::test
