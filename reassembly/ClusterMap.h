#pragma once
// Which file each allocation unit of the source already belongs to, so that
// no unit is ever given to two.

#include <cstdint>
#include <vector>

#include "reassembly/ClusterGeometry.h"

namespace pelorin {

class ClusterMap {
public:
    using Owner = uint32_t;
    static constexpr Owner kFree = 0;

    ClusterMap(ClusterGeometry geometry, uint64_t sourceSize)
        : geometry_(geometry), owners_(static_cast<std::size_t>(sourceSize / geometry.size + 2), kFree) {}

    const ClusterGeometry& geometry() const { return geometry_; }

    // Gives every unit that a byte of [offset, offset + length) lies in to
    // the owner (kFree releases them).
    void take(uint64_t offset, uint64_t length, Owner owner) {
        if (length == 0) return;
        for (std::size_t i = indexOf(offset), last = indexOf(offset + length - 1); i <= last && i < owners_.size(); ++i)
            owners_[i] = owner;
    }
    Owner ownerOf(uint64_t offset) const {
        const std::size_t i = indexOf(offset);
        return i < owners_.size() ? owners_[i] : kFree;
    }
    // Taken by a file other than `self`.
    bool isTaken(uint64_t offset, Owner self = kFree) const {
        const Owner owner = ownerOf(offset);
        return owner != kFree && owner != self;
    }
    // The first unit at or after the boundary `from` that no file but `self`
    // has (UINT64_MAX when none before `end`).
    uint64_t firstFreeFrom(uint64_t from, uint64_t end, Owner self = kFree) const {
        for (uint64_t at = from; at < end; at += geometry_.size)
            if (!isTaken(at, self)) return at;
        return UINT64_MAX;
    }
    // The start of the first unit after `from` that another file than `self`
    // has, before `end` (else end).
    uint64_t firstTakenAfter(uint64_t from, uint64_t end, Owner self = kFree) const {
        for (uint64_t at = geometry_.boundaryAtOrAfter(from + 1); at < end; at += geometry_.size)
            if (isTaken(at, self)) return at;
        return end;
    }

private:
    // Units are counted from the boundary at or before the start of the source.
    std::size_t indexOf(uint64_t offset) const {
        return static_cast<std::size_t>((offset + (geometry_.size - geometry_.origin) % geometry_.size) / geometry_.size);
    }

    ClusterGeometry geometry_;
    std::vector<Owner> owners_;
};

}  // namespace pelorin
