#pragma once
// Matroska and WebM files: an EBML header whose DocType names the format,
// then the Segment, whose end is the file's. A Segment of unknown size (as a
// live recording leaves it), or one whose size runs past the source's end, is
// measured by walking its children while their IDs are those of the Segment's
// top level; a Cluster of unknown size by walking its own children.

#include <string_view>

#include "engine/FileCursor.h"
#include "engine/ReadWindow.h"
#include "engine/Recogniser.h"

namespace pelorin {

class MatroskaFileCheck : public Recogniser {
public:
    explicit MatroskaFileCheck(ScanContext& context) : MatroskaFileCheck(context, "matroska") {}

    std::optional<Match> recognise(Probe& probe, uint64_t sector) final;
    std::bitset<256> acceptedFirstBytes() const final { return std::bitset<256>().set(0x1A); }

protected:
    MatroskaFileCheck(ScanContext& context, std::string_view docType)
        : Recogniser(context), docType_(docType), window_(context) {}

private:
    struct Element {
        uint32_t id = 0;        // 0: no element header here
        uint64_t dataStart = 0;
        uint64_t size = 0;
        bool unknownSize = false;
    };
    static Element elementAt(FileCursor& cursor, uint64_t at);
    bool docTypeMatches(FileCursor& cursor, const Element& header);
    uint64_t walkSegment(FileCursor& cursor, uint64_t at, uint64_t declaredEnd, uint64_t sourceEnd);
    uint64_t walkCluster(FileCursor& cursor, uint64_t at, uint64_t sourceEnd);

    std::string_view docType_;
    ReadWindow window_;
};

class WebmFileCheck final : public MatroskaFileCheck {
public:
    explicit WebmFileCheck(ScanContext& context) : MatroskaFileCheck(context, "webm") {}
};

}  // namespace pelorin
