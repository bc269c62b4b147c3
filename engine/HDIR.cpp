#include "engine/HDIR.h"

namespace pelorin {

HDIR* HDIR::addChild(std::unique_ptr<HDIR> child) {
    children_.push_back(std::move(child));
    return children_.back().get();
}

int32_t HDIR::childrenSelected() const {
    int32_t counter = 0;
    if (childrenCount_ > 0) countChildrenSelectedInArray(children_, counter);
    return counter;
}

void HDIR::countChildrenSelectedInArray(const std::vector<std::unique_ptr<HDIR>>& nodes, int32_t& counter) {
    for (const auto& node : nodes) {
        if (node->selected_ == 1) ++counter;
        if (node->childrenCount_ > 0) countChildrenSelectedInArray(node->children_, counter);
    }
}

}  // namespace pelorin
