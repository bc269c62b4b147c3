#include "engine/FoundNode.h"

#include <algorithm>

namespace pelorin {

void FoundNode::setFileType(uint32_t type) {
    const Tally before = ownTally();
    fileType_ = type;
    passUp(ownTally() - before);
}

void FoundNode::setFileSize(uint64_t size) {
    const Tally before = ownTally();
    fileSize_ = size;
    passUp(ownTally() - before);
}

void FoundNode::setSelected(uint8_t value) {
    const Tally before = ownTally();
    selected_ = value;
    passUp(ownTally() - before);
}

void FoundNode::setChildrenCount(int32_t count) {
    const bool wasCounting = childrenCount_ > 0;
    childrenCount_ = count;
    // What is below starts or stops counting towards the ancestors.
    if (wasCounting != (count > 0)) passUp(wasCounting ? Tally{} - below_ : below_);
}

TickState FoundNode::tickState() const {
    if (childrenCount_ == 0) return selected_ == 1 ? TickState::On : TickState::Off;
    const int32_t ticked = childrenSelected();
    if (ticked >= childrenCount_) return TickState::On;
    return ticked == 0 ? TickState::Off : TickState::Mixed;
}

FoundNode* FoundNode::addChild(std::unique_ptr<FoundNode> child) {
    child->parent_ = this;
    child->row_ = static_cast<int32_t>(children_.size());
    const Tally share = child->tallyForParent();
    children_.push_back(std::move(child));
    below_ += share;
    if (childrenCount_ > 0) passUp(share);
    return children_.back().get();
}

FoundNode::Tally FoundNode::ownTally() const {
    if (selected_ != 1) return {};
    return {1, fileType_ == kFoundFile ? fileSize_ : 0};
}

void FoundNode::passUp(Tally delta) {
    // Only a node that is in its parent's children counts there: a type
    // folder names the root as its parent while the scan is still filling it.
    for (FoundNode* node = this; !delta.empty() && node->row_ >= 0 && node->parent_;) {
        FoundNode* up = node->parent_;
        up->below_ += delta;
        if (up->childrenCount_ <= 0) return;  // up shows as a leaf: its own share is unchanged
        node = up;
    }
}

std::optional<uint64_t> byteOffsetOf(const FoundNode& file, uint32_t sectorSize) {
    const auto offset = static_cast<uint64_t>(std::max(file.extraBytesToMove(), 0));
    if (file.sectorNumber() > (UINT64_MAX - offset) / sectorSize) return std::nullopt;
    return file.sectorNumber() * sectorSize + offset;
}

std::vector<ByteRun> byteRunsOf(const FoundNode& file, uint32_t sectorSize) {
    if (!file.pieces().empty()) return file.pieces();
    return {{byteOffsetOf(file, sectorSize).value_or(UINT64_MAX), file.fileSize()}};
}

}  // namespace pelorin
