#pragma once
// A raw image cut into pieces by split(1) or an acquisition tool: image.001,
// image.002, … or image.aa, image.ab, …, read as one source.

#include <memory>
#include <string>
#include <vector>

#include "engine/Source.h"

namespace pelorin {

class SplitSource final : public Source {
public:
    // The segment names that follow `firstPath` in its directory, in order,
    // `firstPath` first; a name missing between two present ones is an empty
    // string. Only `firstPath` when its name is not the first of a split
    // image (a numeric suffix of 000 or 001, or a suffix of all 'a's).
    static std::vector<std::string> segmentNames(const std::string& firstPath);

    // Opens the segments `segmentNames` gives. A missing one is taken to be
    // as long as the first, so the sectors after it keep their numbers, and
    // every read of it fails. Null, with errno set, when a present segment
    // cannot be opened.
    static std::unique_ptr<SplitSource> open(const std::vector<std::string>& names, uint32_t sectorSize);
    ~SplitSource() override;

    SourceRead read(uint64_t offset, std::span<uint8_t> buffer) override;

private:
    struct Segment {
        int fd;          // -1 for a missing segment
        uint64_t start;  // its first byte's offset in the whole source
        uint64_t size;
    };
    SplitSource(std::string name, uint64_t size, uint32_t sectorSize, std::vector<Segment> segments)
        : Source(std::move(name), size, sectorSize), segments_(std::move(segments)) {}

    std::vector<Segment> segments_;
};

}  // namespace pelorin
