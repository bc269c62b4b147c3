#include "engine/CheckController.h"

#include <algorithm>

namespace pelorin {
namespace {

uint32_t parentIdOf(const FoundNode& node) { return node.parent() ? node.parent()->fileID() : 0; }
bool isLeaf(const FoundNode& node) { return node.childrenCount() == 0; }

}  // namespace

CheckController::CheckController(FoundNode* node, bool flag, SelectionTotals& totals_)
    : node_(node), flag_(flag ? 1 : 0), totals(totals_) {}

void CheckController::setSelected() {
    FoundNode& node = *node_;
    const bool wasTicked = node.selected() == 1;
    // Only files inside a type folder carry bytes into the total; folders and
    // the root never do. A file already in the state asked for is not counted
    // twice, so the total cannot drift or wrap.
    const bool countsInTotal = parentIdOf(node) != FoundNode::kRootID && node.fileID() != FoundNode::kRootID &&
                               parentIdOf(node) != 0;
    if (flag_ == 1) {
        node.setSelected(1);
        if (countsInTotal && !wasTicked) totals.tickedBytes += node.fileSize();
        for (FoundNode* up = node.parent(); up; up = up->parent()) up->setSelected(1);
        if (!isLeaf(node)) markDescendants(node.children(), true);
        return;
    }
    node.setSelected(0);
    if (!isLeaf(node)) markDescendants(node.children(), false);
    if (countsInTotal && wasTicked) totals.tickedBytes -= std::min(totals.tickedBytes, node.fileSize());
    for (FoundNode* up = node.parent(); up; up = up->parent())
        if (up->childrenSelected() == 0) up->setSelected(0);
    if (node.fileID() == FoundNode::kRootID) totals.tickedBytes = 0;
}

void CheckController::markDescendants(const std::vector<std::unique_ptr<FoundNode>>& nodes, bool value) {
    for (const auto& child : nodes) {
        if (isLeaf(*child)) {
            if (value && child->selected() != 1) totals.tickedBytes += child->fileSize();
            if (!value && child->selected() == 1)
                totals.tickedBytes -= std::min(totals.tickedBytes, child->fileSize());
        }
        child->setSelected(value ? 1 : 0);
        if (!isLeaf(*child)) markDescendants(child->children(), value);
    }
}

int CheckController::markState(const FoundNode& node) {
    if (isLeaf(node)) return node.selected();
    switch (node.tickState()) {
        case TickState::On: return 1;
        case TickState::Off: return 0;
        case TickState::Mixed: break;
    }
    return -1;
}

int32_t CheckController::countTickedFiles(const FoundNode& root) {
    int32_t count = 0;
    for (const auto& folder : root.children()) count += folder->childrenSelected();
    return count;
}

}  // namespace pelorin
