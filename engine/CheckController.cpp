#include "engine/CheckController.h"

#include <algorithm>

namespace pelorin {
namespace {

uint32_t parentIdOf(const HDIR& node) { return node.parent() ? node.parent()->fileID() : 0; }
bool isLeaf(const HDIR& node) { return node.childrenCount() == 0; }

}  // namespace

CheckController::CheckController(HDIR* node, bool flag, SelectionTotals& totals_)
    : hdir_(node), flag_(flag ? 1 : 0), totals(totals_) {}

void CheckController::setSelected() {
    HDIR& node = *hdir_;
    const bool wasTicked = node.selected() == 1;
    // Only files inside a type folder carry bytes into the total; folders and
    // the root never do. A file already in the state asked for is not counted
    // twice, so the total cannot drift or wrap.
    const bool countsInTotal = parentIdOf(node) != HDIR::kRootID && node.fileID() != HDIR::kRootID &&
                               parentIdOf(node) != 0;
    if (flag_ == 1) {
        node.setSelected(1);
        if (countsInTotal && !wasTicked) totals.tickedBytes += node.fileSize();
        for (HDIR* up = node.parent(); up; up = up->parent()) up->setSelected(1);
        if (!isLeaf(node)) markAllChildrenDirArray(node.children(), true);
        return;
    }
    node.setSelected(0);
    if (!isLeaf(node)) markAllChildrenDirArray(node.children(), false);
    if (countsInTotal && wasTicked) totals.tickedBytes -= std::min(totals.tickedBytes, node.fileSize());
    for (HDIR* up = node.parent(); up; up = up->parent())
        if (up->childrenSelected() == 0) up->setSelected(0);
    if (node.fileID() == HDIR::kRootID) totals.tickedBytes = 0;
}

void CheckController::markAllChildrenDirArray(const std::vector<std::unique_ptr<HDIR>>& nodes, bool value) {
    for (const auto& child : nodes) {
        if (isLeaf(*child)) {
            if (value && child->selected() != 1) totals.tickedBytes += child->fileSize();
            if (!value && child->selected() == 1)
                totals.tickedBytes -= std::min(totals.tickedBytes, child->fileSize());
        }
        child->setSelected(value ? 1 : 0);
        if (!isLeaf(*child)) markAllChildrenDirArray(child->children(), value);
    }
}

int CheckController::markState(const HDIR& node) {
    if (isLeaf(node)) return node.selected();
    switch (node.tickState()) {
        case TickState::On: return 1;
        case TickState::Off: return 0;
        case TickState::Mixed: break;
    }
    return -1;
}

int32_t CheckController::countTickedFiles(const HDIR& root) {
    int32_t count = 0;
    for (const auto& folder : root.children()) count += folder->childrenSelected();
    return count;
}

}  // namespace pelorin
