#pragma once
// Which allocation units of the source already belong to a file, so that no
// unit is ever given to two.

#include <cstdint>
#include <vector>

#include "reassembly/ClusterGeometry.h"

namespace pelorin {

class ClusterMap {
public:
    ClusterMap(ClusterGeometry geometry, uint64_t sourceSize)
        : geometry_(geometry), taken_(static_cast<std::size_t>(sourceSize / geometry.size + 2), false) {}

    const ClusterGeometry& geometry() const { return geometry_; }

    // Marks every unit that a byte of [offset, offset + length) lies in.
    void take(uint64_t offset, uint64_t length) {
        if (length == 0) return;
        for (std::size_t i = indexOf(offset), last = indexOf(offset + length - 1); i <= last && i < taken_.size(); ++i)
            taken_[i] = true;
    }
    bool isTaken(uint64_t offset) const {
        const std::size_t i = indexOf(offset);
        return i < taken_.size() && taken_[i];
    }
    // The first unit at or after the boundary `from` that is not taken
    // (UINT64_MAX when none before `end`).
    uint64_t firstFreeFrom(uint64_t from, uint64_t end) const {
        for (uint64_t at = from; at < end; at += geometry_.size)
            if (!isTaken(at)) return at;
        return UINT64_MAX;
    }
    // The start of the first taken unit after `from`, before `end` (else end).
    uint64_t firstTakenAfter(uint64_t from, uint64_t end) const {
        for (uint64_t at = geometry_.boundaryAtOrAfter(from + 1); at < end; at += geometry_.size)
            if (isTaken(at)) return at;
        return end;
    }

private:
    // Units are counted from the boundary at or before the start of the source.
    std::size_t indexOf(uint64_t offset) const {
        return static_cast<std::size_t>((offset + (geometry_.size - geometry_.origin) % geometry_.size) / geometry_.size);
    }

    ClusterGeometry geometry_;
    std::vector<bool> taken_;
};

}  // namespace pelorin
