#include "reassembly/ClusterMap.h"

#include <algorithm>

namespace pelorin {

std::map<uint64_t, ClusterMap::Run>::const_iterator ClusterMap::runHolding(uint64_t unit) const {
    auto after = runs_.upper_bound(unit);
    if (after == runs_.begin()) return runs_.end();
    const auto holding = std::prev(after);
    return unit < holding->second.end ? holding : runs_.end();
}

void ClusterMap::take(uint64_t offset, uint64_t length, Owner owner) {
    if (length == 0) return;
    const uint64_t first = unitOf(offset), end = unitOf(offset + length - 1) + 1;
    // Cut the runs that reach into [first, end) at its edges, then drop what lies inside.
    auto cutAt = [&](uint64_t unit) {
        auto after = runs_.upper_bound(unit);
        if (after == runs_.begin()) return;
        auto holding = std::prev(after);
        if (holding->first < unit && unit < holding->second.end) {
            runs_.emplace(unit, Run{holding->second.end, holding->second.owner});
            holding->second.end = unit;
        }
    };
    cutAt(first);
    cutAt(end);
    runs_.erase(runs_.lower_bound(first), runs_.lower_bound(end));
    if (owner != kFree) runs_.emplace(first, Run{end, owner});
}

ClusterMap::Owner ClusterMap::ownerOf(uint64_t offset) const {
    const auto holding = runHolding(unitOf(offset));
    return holding == runs_.end() ? kFree : holding->second.owner;
}

uint64_t ClusterMap::firstFreeFrom(uint64_t from, uint64_t end, Owner self) const {
    uint64_t unit = unitOf(from);
    const uint64_t endUnit = end == UINT64_MAX ? UINT64_MAX : unitOf(end - 1) + 1;
    for (auto run = runHolding(unit); unit < endUnit; run = runHolding(unit)) {
        if (run == runs_.end() || run->second.owner == self) return offsetOfUnit(unit);
        unit = run->second.end;
    }
    return UINT64_MAX;
}

uint64_t ClusterMap::firstTakenAfter(uint64_t from, uint64_t end, Owner self) const {
    const uint64_t start = unitOf(geometry_.boundaryAtOrAfter(from + 1));
    // The run holding the first unit, then every run after it.
    auto run = runHolding(start);
    if (run == runs_.end()) run = runs_.upper_bound(start);
    for (; run != runs_.end(); ++run) {
        if (run->second.owner == self) continue;
        const uint64_t at = offsetOfUnit(std::max(run->first, start));
        return at < end ? at : end;
    }
    return end;
}

}  // namespace pelorin
