#include "engine/CheckController.h"

#include <gtest/gtest.h>

#include "support/TreeBuilder.h"

namespace pelorin::test {
namespace {

class CheckControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        a = tree.folder("JPG Files", ".jpg");
        a1 = tree.file(a, 100, 10);
        a2 = tree.file(a, 200, 20);
        a3 = tree.file(a, 300, 30);
        b = tree.folder("PNG Files", ".png");
        b1 = tree.file(b, 10, 40);
        b2 = tree.file(b, 20, 50);
    }
    void tick(HDIR* node, bool value) { CheckController(node, value, totals).run(); }
    HDIR* root() { return tree.root(); }

    TreeBuilder tree;
    SelectionTotals totals;
    HDIR *a, *a1, *a2, *a3, *b, *b1, *b2;
};

TEST_F(CheckControllerTest, TickingOneFileMarksItsAncestorsAndShowsMixed) {
    tick(a2, true);
    EXPECT_EQ(a2->selected(), 1);
    EXPECT_EQ(a->selected(), 1);
    EXPECT_EQ(root()->selected(), 1);
    EXPECT_EQ(CheckController::markState(*a), -1);
    EXPECT_EQ(CheckController::markState(*root()), -1);
    EXPECT_EQ(CheckController::markState(*b), 0);
    EXPECT_EQ(totals.u64SelectedFileSize, 200u);
    EXPECT_EQ(CheckController::countTickedFiles(*root()), 1);

    // Ticking the folder then adds the two other files once.
    tick(a, true);
    EXPECT_EQ(totals.u64SelectedFileSize, 600u);
    EXPECT_EQ(CheckController::markState(*a), 1);
    EXPECT_EQ(CheckController::countTickedFiles(*root()), 3);
}

TEST_F(CheckControllerTest, UntickingAFolderSubtractsOnlyItsTickedFiles) {
    tick(a1, true);
    tick(a3, true);
    tick(b1, true);
    EXPECT_EQ(totals.u64SelectedFileSize, 410u);
    tick(a, false);
    EXPECT_EQ(totals.u64SelectedFileSize, 10u);
    EXPECT_EQ(a1->selected() + a2->selected() + a3->selected() + a->selected(), 0);
    EXPECT_EQ(root()->selected(), 1);
}

TEST_F(CheckControllerTest, UntickingTheLastFileOfAFolderClearsOnlyThatFolder) {
    tick(a1, true);
    tick(b2, true);
    tick(a1, false);
    EXPECT_EQ(a->selected(), 0);
    EXPECT_EQ(b->selected(), 1);
    EXPECT_EQ(root()->selected(), 1);
    EXPECT_EQ(totals.u64SelectedFileSize, 20u);
    tick(b2, false);
    EXPECT_EQ(root()->selected(), 0);
    EXPECT_EQ(totals.u64SelectedFileSize, 0u);
}

TEST_F(CheckControllerTest, TheRootTicksAndClearsEverything) {
    tick(root(), true);
    EXPECT_EQ(CheckController::markState(*root()), 1);
    EXPECT_EQ(CheckController::markState(*a), 1);
    EXPECT_EQ(b2->selected(), 1);
    EXPECT_EQ(totals.u64SelectedFileSize, 630u);
    EXPECT_EQ(CheckController::countTickedFiles(*root()), 5);

    tick(root(), false);
    EXPECT_EQ(CheckController::markState(*root()), 0);
    EXPECT_EQ(a->selected() + a1->selected() + b->selected() + b2->selected(), 0);
    EXPECT_EQ(totals.u64SelectedFileSize, 0u);
}

TEST_F(CheckControllerTest, RepeatingAStateNeitherCountsTwiceNorWraps) {
    tick(a1, true);
    tick(a1, true);
    EXPECT_EQ(totals.u64SelectedFileSize, 100u);
    tick(a2, false);
    EXPECT_EQ(totals.u64SelectedFileSize, 100u);
}

}  // namespace
}  // namespace pelorin::test
