#include "reassembly/JpegContinuationSearch.h"

#include <algorithm>
#include <bitset>

#include "engine/Source.h"

namespace pelorin {
namespace {

constexpr int kMostPieces = 4;
constexpr int kBreaksTried = 3;                // unit boundaries before the fault tried as the break
constexpr std::size_t kCandidatesDecoded = 6;  // per break, decoded to the end of the image
constexpr std::size_t kCandidatesFollowed = 2; // per break, searched on where they break off in turn
constexpr int kFullDecodes = 48;               // per picture
constexpr uint64_t kTestBytes = 32768;         // decoded from every candidate to rank it
constexpr uint32_t kFewestLikenessBlocks = 8;
constexpr std::size_t kCompared = 4096;        // bytes around a break compared with a candidate's
// How far on a next piece is looked for: 2 GiB of 32 KiB units, 32 MiB of
// sectors where the units are not known.
constexpr uint64_t kMostUnitsSearched = 1u << 16;

std::vector<ByteRun> with(std::vector<ByteRun> runs, ByteRun run) {
    runs.push_back(run);
    return runs;
}

uint64_t lengthOf(const std::vector<ByteRun>& runs) {
    uint64_t total = 0;
    for (const ByteRun& run : runs) total += run.length;
    return total;
}

}  // namespace

JpegContinuationSearch::JpegContinuationSearch(Source& source, const ClusterMap& clusters)
    : source_(source), clusters_(clusters), feed_(source) {
    // Every block takes at least a bit of a DC scan.
    decoder_.setMostBlocks(std::min(JpegScanDecoder::kMostBlocks, source.size() * 8));
}

JpegContinuationSearch::Check JpegContinuationSearch::check(uint64_t start) {
    feed_.setRuns({{start, PieceFeed::kToSourceEnd}});
    JpegScanState state = decoder_.start();
    switch (decoder_.run(state, feed_)) {
    case JpegScanDecoder::Step::Finished: return {Verdict::Whole, state.position};
    case JpegScanDecoder::Step::Failed: {
        // The first unit of a file is always whole: a picture that fails
        // within it is damaged or no picture, not split.
        const uint64_t firstBoundary = clusters_.geometry().boundaryAtOrAfter(start + 1);
        if (start + state.reach() <= firstBoundary) return {Verdict::NotDecodable, 0};
        return {Verdict::Broken, state.reach()};
    }
    default: return {Verdict::NotDecodable, 0};
    }
}

std::optional<std::vector<ByteRun>> JpegContinuationSearch::reassemble(uint64_t start, ClusterMap::Owner self) {
    decodesLeft_ = kFullDecodes;
    self_ = self;
    return solve({}, start, 1);
}

// Entropy-coded data looks random: a unit that starts with a few repeated
// values (zeros of a never-written area, a fill) is no piece of a picture,
// however well it decodes.
bool JpegContinuationSearch::looksCompressed(uint64_t at) {
    constexpr std::size_t kSampled = 256, kFewestValues = 32;
    const std::vector<uint8_t> sample = bytesAt(at, kSampled);
    std::bitset<256> seen;
    for (const uint8_t byte : sample) seen.set(byte);
    return sample.size() == kSampled && seen.count() >= kFewestValues;
}

std::vector<uint8_t> JpegContinuationSearch::bytesAt(uint64_t at, std::size_t count) {
    feed_.setRuns({{at, count}});
    std::vector<uint8_t> bytes;
    for (std::size_t i = 0; i < count; ++i) {
        const int byte = feed_.byteAt(i);
        if (byte < 0) break;
        bytes.push_back(static_cast<uint8_t>(byte));
    }
    return bytes;
}

// Whether the bytes at `at` are ours, all but a few.
bool JpegContinuationSearch::isAlike(const std::vector<uint8_t>& ours, uint64_t at) {
    if (ours.empty()) return false;
    const std::vector<uint8_t> there = bytesAt(at, ours.size());
    if (there.size() != ours.size()) return false;
    std::size_t same = 0;
    for (std::size_t i = 0; i < there.size(); ++i) same += there[i] == ours[i];
    return same * 8 >= there.size() * 7;
}

bool JpegContinuationSearch::isInside(const std::vector<ByteRun>& runs, uint64_t offset) const {
    return std::any_of(runs.begin(), runs.end(),
                       [&](const ByteRun& run) { return offset >= run.offset && offset - run.offset < run.length; });
}

std::optional<JpegScanState> JpegContinuationSearch::stateBefore(const std::vector<ByteRun>& layout,
                                                                 uint64_t breakFileOffset) {
    feed_.setRuns(layout);
    JpegScanState state = decoder_.start();
    while (true) {
        const JpegScanState before = state;
        decoder_.forgetJournal();
        const JpegScanDecoder::Mark stepMark = decoder_.mark();
        const JpegScanDecoder::Step result = decoder_.step(state, feed_);
        // A step that looked at the break, or failed on what lies there
        // (a marker where data should go on), is left undone.
        const bool failedThere = result == JpegScanDecoder::Step::Failed && state.reach() == breakFileOffset;
        if (state.reach() > breakFileOffset || failedThere) {
            decoder_.undoTo(stepMark);
            return before;
        }
        if (result != JpegScanDecoder::Step::Continue) return std::nullopt;
    }
}

std::vector<JpegContinuationSearch::Candidate> JpegContinuationSearch::candidatesAfter(
    const JpegScanState& atBreak, const std::vector<ByteRun>& prefix, uint64_t breakAt, uint64_t cheapCase) {
    const uint64_t unit = clusters_.geometry().size;
    const uint64_t breakFileOffset = lengthOf(prefix);
    const uint64_t testBytes = std::min(kTestBytes, unit);
    // A copy of the picture elsewhere (a photo saved twice) would complete
    // it, but is the copy's: a candidate that follows the same bytes as our
    // break, or starts as what follows our break in place (the picture is
    // damaged there, not split), is no piece of it.
    const uint64_t compared = std::min<uint64_t>(kCompared, unit);
    const std::vector<uint8_t> inPlace = bytesAt(breakAt, compared);
    const std::vector<uint8_t> beforeBreak = bytesAt(breakAt - compared, compared);
    std::vector<ByteRun> layout = with(prefix, {0, PieceFeed::kToSourceEnd});
    std::vector<Candidate> found;
    const uint64_t end = std::min(source_.size(), breakAt + unit * kMostUnitsSearched);
    for (uint64_t at = breakAt + unit; at < end; at += unit) {
        if (clusters_.isTaken(at, self_) || isInside(prefix, at)) continue;
        if (cancelled()) break;
        if (!looksCompressed(at)) continue;
        layout.back().offset = at;
        layout.back().length = PieceFeed::kToSourceEnd;
        feed_.setRuns(layout);
        JpegScanState state = atBreak;
        const JpegScanDecoder::Mark mark = decoder_.mark();
        decoder_.resetLikeness(breakFileOffset);
        JpegScanDecoder::Step result = decoder_.run(state, feed_, breakFileOffset + testBytes);
        // A break inside a marker segment skips on by the segment's length:
        // the markers that follow must be there too.
        for (int more = 0; more < 8 && result == JpegScanDecoder::Step::Continue &&
                           state.phase == JpegScanState::Phase::Markers;
             ++more)
            result = decoder_.step(state, feed_);
        decoder_.undoTo(mark);
        if (result == JpegScanDecoder::Step::Failed || result == JpegScanDecoder::Step::Unsupported) continue;
        if (isAlike(inPlace, at) || isAlike(beforeBreak, at - compared)) continue;
        found.push_back({at, result == JpegScanDecoder::Step::Finished, decoder_.likeness(),
                         decoder_.likenessBlocks() >= kFewestLikenessBlocks});
    }
    decoder_.resetLikeness(UINT64_MAX);
    // Pictures that ended within the test first, then the likeliest; where
    // likeness cannot be told, the unit right after the files in the way,
    // then the nearest.
    std::stable_sort(found.begin(), found.end(), [&](const Candidate& a, const Candidate& b) {
        if (a.finished != b.finished) return a.finished;
        if (a.hasLikeness != b.hasLikeness) return a.hasLikeness;
        if (a.hasLikeness) return a.likeness < b.likeness;
        return a.offset == cheapCase && b.offset != cheapCase;
    });
    return found;
}

std::optional<std::vector<ByteRun>> JpegContinuationSearch::solve(std::vector<ByteRun> closed, uint64_t openStart,
                                                                 int depth) {
    if (cancelled() || decodesLeft_-- <= 0) return std::nullopt;
    const std::vector<ByteRun> layout = with(closed, {openStart, PieceFeed::kToSourceEnd});
    const uint64_t closedLength = lengthOf(closed);
    feed_.setRuns(layout);
    JpegScanState state = decoder_.start();
    const JpegScanDecoder::Step result = decoder_.run(state, feed_);
    if (result == JpegScanDecoder::Step::Finished) return with(closed, {openStart, state.position - closedLength});
    if (result != JpegScanDecoder::Step::Failed || state.position <= closedLength) return std::nullopt;

    // The data broke off at or before the fault, and no later than where a
    // unit that belongs to another file begins.
    const uint64_t unit = clusters_.geometry().size;
    const uint64_t lastGood = feed_.sourceOffsetOf(state.position - 1);
    const uint64_t fault = lastGood == PieceFeed::kToSourceEnd ? source_.size() : lastGood + 1;
    const uint64_t limit = clusters_.firstTakenAfter(openStart, fault + 3, self_);
    // Markers are looked at two bytes ahead: a fault just before a boundary
    // may have seen what lies past it.
    std::vector<uint64_t> breaks;
    for (uint64_t at = clusters_.geometry().boundaryAtOrBefore(std::min(limit, fault + 2));
         at > openStart && breaks.size() < kBreaksTried; at -= unit)
        breaks.push_back(at);

    for (const uint64_t breakAt : breaks) {
        const uint64_t breakFileOffset = closedLength + (breakAt - openStart);
        const std::vector<ByteRun> prefix = with(closed, {openStart, breakAt - openStart});
        std::optional<JpegScanState> atBreak = stateBefore(layout, breakFileOffset);
        if (!atBreak) continue;
        const uint64_t cheapCase =
            clusters_.isTaken(breakAt, self_) ? clusters_.firstFreeFrom(breakAt, source_.size(), self_) : UINT64_MAX;
        const std::vector<Candidate> candidates = candidatesAfter(*atBreak, prefix, breakAt, cheapCase);
        for (std::size_t i = 0; i < candidates.size() && i < kCandidatesDecoded; ++i) {
            if (cancelled() || decodesLeft_-- <= 0) return std::nullopt;
            const uint64_t next = candidates[i].offset;
            feed_.setRuns(with(prefix, {next, PieceFeed::kToSourceEnd}));
            JpegScanState state = *atBreak;
            const JpegScanDecoder::Mark mark = decoder_.mark();
            const JpegScanDecoder::Step end = decoder_.run(state, feed_);
            if (end == JpegScanDecoder::Step::Finished)
                return with(prefix, {next, state.position - breakFileOffset});
            decoder_.undoTo(mark);
            // A piece that decoded for a whole unit and then broke off in turn.
            const uint64_t reached = feed_.sourceOffsetOf(state.position - 1);
            if (end != JpegScanDecoder::Step::Failed || depth + 1 >= kMostPieces || i >= kCandidatesFollowed ||
                reached == PieceFeed::kToSourceEnd || reached < next + unit)
                continue;
            if (auto whole = solve(prefix, next, depth + 1)) return whole;
            atBreak = stateBefore(layout, breakFileOffset);  // the search below started the decoder afresh
            if (!atBreak) break;
        }
    }
    return std::nullopt;
}

}  // namespace pelorin
