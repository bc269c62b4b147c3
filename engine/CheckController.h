#pragma once
// One tick change of the found-file tree: spreads the new state down to every
// descendant and up to the ancestors, and keeps the byte total of the ticked
// files. Main thread only, once the scan has ended: the tallies of the nodes
// are not guarded against a scan still adding to the tree.

#include <memory>
#include <vector>

#include "engine/FoundNode.h"
#include "engine/SelectionTotals.h"

namespace pelorin {

class CheckController {
public:
    CheckController(FoundNode* node, bool flag, SelectionTotals& totals);

    void run() { setSelected(); }
    void setSelected();
    void markDescendants(const std::vector<std::unique_ptr<FoundNode>>& nodes, bool value);

    FoundNode* node() const { return node_; }
    int8_t flag() const { return flag_; }

    // What a node's check box shows: 1 ticked, 0 unticked, -1 mixed.
    static int markState(const FoundNode& node);
    // Ticked found files: the ticked descendants of the type folders.
    static int32_t countTickedFiles(const FoundNode& root);

private:
    FoundNode* node_;
    int8_t flag_;
    SelectionTotals& totals;
};

}  // namespace pelorin
