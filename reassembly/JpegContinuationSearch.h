#pragma once
// Looks for the rest of one JPEG whose data breaks off: where the data stops
// decoding, the picture is taken to end at one of the last unit boundaries
// before, and each free unit after it is tried as the next piece by decoding
// on from the state kept at the break. The likeliest candidates (those whose
// first DC values best match the rows above them) are then decoded to the end
// of the image; a piece that breaks off in turn is searched for the same way.

#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

#include "engine/FoundNode.h"
#include "reassembly/ClusterMap.h"
#include "reassembly/JpegScanDecoder.h"
#include "reassembly/PieceFeed.h"

namespace pelorin {

class JpegContinuationSearch {
public:
    enum class Verdict { Whole, Broken, NotDecodable };
    struct Check {
        Verdict verdict;
        uint64_t length;  // the decoded length of a whole picture; how far a broken one decoded
    };

    JpegContinuationSearch(Source& source, const ClusterMap& clusters);

    // Whether the picture starting at `start` decodes whole as it lies.
    Check check(uint64_t start);
    // The pieces of the picture starting at `start`, ending with its
    // end-of-image marker, or nothing when no continuation decodes to its end.
    // Units the map gives to `self` are this picture's own.
    std::optional<std::vector<ByteRun>> reassemble(uint64_t start, ClusterMap::Owner self);

    void setCancel(const std::atomic<bool>* cancelled) { cancelled_ = cancelled; }

private:
    struct Candidate {
        uint64_t offset;
        bool finished;     // the picture ended within the test
        double likeness;   // lower is likelier
        bool hasLikeness;
    };

    std::optional<std::vector<ByteRun>> solve(std::vector<ByteRun> closed, uint64_t openStart, int depth);
    // The state at the last step that fetched nothing from `breakAt` on.
    std::optional<JpegScanState> stateBefore(const std::vector<ByteRun>& layout, uint64_t breakFileOffset);
    std::vector<Candidate> candidatesAfter(const JpegScanState& atBreak, const std::vector<ByteRun>& prefix,
                                           uint64_t breakAt, uint64_t cheapCase);
    bool looksCompressed(uint64_t at);
    std::vector<uint8_t> bytesAt(uint64_t at, std::size_t count);
    bool isAlike(const std::vector<uint8_t>& ours, uint64_t at);
    bool isInside(const std::vector<ByteRun>& runs, uint64_t offset) const;
    bool cancelled() const { return cancelled_ && cancelled_->load(std::memory_order_relaxed); }

    Source& source_;
    const ClusterMap& clusters_;
    PieceFeed feed_;
    JpegScanDecoder decoder_;
    const std::atomic<bool>* cancelled_ = nullptr;
    int decodesLeft_ = 0;
    ClusterMap::Owner self_ = ClusterMap::kFree;  // full decodes this picture may still spend
};

}  // namespace pelorin
