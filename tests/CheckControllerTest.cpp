#include "engine/CheckController.h"

#include <gtest/gtest.h>

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
        HDIR *a = tree.folder("JPG Files", ".jpg"), *b = tree.folder("PNG Files", ".png");
        HDIR* nodes[] = {tree.root(), a, tree.file(a, 100, 10), tree.file(a, 200, 20), tree.file(a, 300, 30),
                         b, tree.file(b, 10, 40), tree.file(b, 20, 50)};
        SelectionTotals totals;
        for (auto [node, value] : c.ticks) CheckController(nodes[node], value, totals).run();

        std::string selected;
        for (HDIR* node : nodes) selected += char('0' + node->selected());
        EXPECT_EQ(selected, c.selected);
        for (int i = 0; Node node : {Root, A, B}) EXPECT_EQ(CheckController::markState(*nodes[node]), c.marks[i++]);
        EXPECT_EQ(totals.u64SelectedFileSize, c.bytes);
        EXPECT_EQ(CheckController::countTickedFiles(*nodes[Root]), c.files);
    }
}

}  // namespace
}  // namespace pelorin::test
