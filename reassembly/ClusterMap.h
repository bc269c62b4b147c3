#pragma once
// Which file each allocation unit of the source already belongs to, so that
// no unit is ever given to two. Kept as runs of units, so that a disk of
// terabytes costs what its found files claim, not a slot per unit.

#include <cstdint>
#include <map>

#include "reassembly/ClusterGeometry.h"

namespace pelorin {

class ClusterMap {
public:
    using Owner = uint32_t;
    static constexpr Owner kFree = 0;

    explicit ClusterMap(ClusterGeometry geometry) : geometry_(geometry) {}

    const ClusterGeometry& geometry() const { return geometry_; }

    // Gives every unit that a byte of [offset, offset + length) lies in to
    // the owner (kFree releases them).
    void take(uint64_t offset, uint64_t length, Owner owner);
    Owner ownerOf(uint64_t offset) const;
    // Taken by a file other than `self`.
    bool isTaken(uint64_t offset, Owner self = kFree) const {
        const Owner owner = ownerOf(offset);
        return owner != kFree && owner != self;
    }
    // The first unit at or after the boundary `from` that no file but `self`
    // has (UINT64_MAX when none before `end`).
    uint64_t firstFreeFrom(uint64_t from, uint64_t end, Owner self = kFree) const;
    // The start of the first unit after `from` that another file than `self`
    // has, before `end` (else end).
    uint64_t firstTakenAfter(uint64_t from, uint64_t end, Owner self = kFree) const;

private:
    struct Run {
        uint64_t end;  // one past its last unit
        Owner owner;
    };

    // Units are counted from the boundary at or before the start of the source.
    uint64_t unitOf(uint64_t offset) const {
        return (offset + (geometry_.size - geometry_.origin) % geometry_.size) / geometry_.size;
    }
    uint64_t offsetOfUnit(uint64_t unit) const {
        return unit * geometry_.size - (geometry_.size - geometry_.origin) % geometry_.size;
    }
    // The run holding the unit, or runs_.end().
    std::map<uint64_t, Run>::const_iterator runHolding(uint64_t unit) const;

    ClusterGeometry geometry_;
    std::map<uint64_t, Run> runs_;  // by first unit; never overlapping, never kFree
};

}  // namespace pelorin
