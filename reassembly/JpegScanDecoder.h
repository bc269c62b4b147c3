#pragma once
// Decodes the entropy-coded data of a JPEG (baseline or progressive, Huffman,
// 8-bit) without making pixels: enough to tell whether a run of bytes is the
// rest of a given picture. The state between two steps is a small value, so
// a search can keep it at the break and try one candidate continuation after
// another from there at the cost of the candidate's own bytes.

#include <array>
#include <cstdlib>
#include <new>
#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

#include "reassembly/PieceFeed.h"

namespace pelorin {

struct JpegHuffmanTable {
    // Codes of up to kFastBits bits: length << 8 | symbol; 0 for longer codes.
    static constexpr int kFastBits = 9;
    std::array<uint16_t, 1u << kFastBits> fast{};
    // AC codes whose extra bits also fit in kFastBits, for a walk that needs
    // only where the coefficients go: bits used | run << 4 | what << 8.
    enum FastAc : uint16_t { kCoefficient = 1, kEndOfBlock = 2, kSixteenZeros = 3 };
    std::array<uint16_t, 1u << kFastBits> fastAc{};
    std::array<int32_t, 18> maxCode{};  // the largest code of each length, -1 when none
    std::array<int32_t, 17> valueOffset{};
    std::array<uint8_t, 256> values{};
    bool defined = false;

    // False when the counts make no prefix code.
    bool build(const uint8_t* counts, const uint8_t* symbols, int symbolCount);
};

struct JpegComponent {
    uint8_t id = 0, h = 1, v = 1, quantTable = 0;
    uint32_t blocksWide = 0, blocksHigh = 0;  // on the grid of whole MCUs
    uint32_t usedWide = 0, usedHigh = 0;      // the blocks the picture covers
    uint32_t firstBlock = 0;                  // index of its first block among all components'
};

// What the marker segments have said so far. Never changed once a state
// points at it: a segment that changes it makes a new one.
struct JpegTables {
    std::array<JpegHuffmanTable, 4> dc, ac;
    std::array<uint16_t, 4> quantDc{1, 1, 1, 1};
    uint32_t restartInterval = 0;
    bool frameSeen = false;
    bool progressive = false;
    uint32_t width = 0, height = 0;
    int componentCount = 0;
    std::array<JpegComponent, 4> components{};
    uint32_t mcusWide = 0, mcusHigh = 0;
    uint32_t totalBlocks = 0;
};

struct JpegScanState {
    enum class Phase : uint8_t { Markers, Entropy, Finished };
    const JpegTables* tables = nullptr;
    uint64_t position = 0;  // the next byte to fetch, as a file offset
    uint64_t bits = 0;      // fetched bits not yet used, the next one highest
    int bitCount = 0;
    int paddingBits = 0;    // zeros standing in after a marker or the end of the data
    bool markerReached = false;
    Phase phase = Phase::Markers;
    bool scanSeen = false;

    uint8_t scanComponentCount = 0;
    std::array<uint8_t, 4> scanComponents{};
    std::array<uint8_t, 4> dcTable{}, acTable{};
    uint8_t spectralStart = 0, spectralEnd = 63, approximationHigh = 0, approximationLow = 0;
    uint32_t mcusInScan = 0, mcusWideInScan = 0, mcuIndex = 0;
    uint32_t mcusToRestart = 0;
    uint8_t nextRestart = 0;
    std::array<int32_t, 4> dcPredictor{};
    uint32_t endOfBandRun = 0;

    // How far the bytes looked at reach: a marker found is looked at, not fetched.
    uint64_t reach() const { return position + (markerReached ? 2 : 0); }
};

class JpegScanDecoder {
public:
    static constexpr uint64_t kMostBlocks = 12u << 20;
    enum class Step { Continue, Finished, Failed, Unsupported };

    // Pictures of more blocks than this are not decoded (the source cannot
    // hold them, or their state would not be worth its memory).
    void setMostBlocks(uint64_t blocks) { mostBlocks_ = blocks; }
    // The state before the first byte of the file.
    JpegScanState start();
    // One marker segment, one restart marker or one MCU.
    Step step(JpegScanState& state, PieceFeed& feed);
    // Steps until the end of the picture, a fault, or the fetch position
    // passing `stopAfter`.
    Step run(JpegScanState& state, PieceFeed& feed, uint64_t stopAfter = UINT64_MAX);

    // Changes made from now on (to the coefficients' state, and marker
    // segments read) can be taken back, once no state from after the mark is
    // used any more.
    struct Mark {
        std::size_t journal, tables;
    };
    Mark mark() const { return {journal_.size(), tables_.size()}; }
    void undoTo(Mark mark);
    void forgetJournal() { journal_.clear(); }

    // The likeness of the luminance DC values decoded after `from` to those
    // of the blocks above them: the mean absolute difference, scaled by the
    // quantiser (lower is likelier). Counting restarts with resetLikeness.
    void resetLikeness(uint64_t from) {
        likenessFrom_ = from;
        likenessSum_ = 0;
        likenessCount_ = 0;
    }
    uint32_t likenessBlocks() const { return likenessCount_; }
    double likeness() const { return likenessCount_ ? double(likenessSum_) / likenessCount_ : 0.0; }

private:
    Step markerStep(JpegScanState& state, PieceFeed& feed);
    Step entropyStep(JpegScanState& state, PieceFeed& feed);
    bool startScan(JpegScanState& state, PieceFeed& feed, uint64_t segmentEnd);
    bool readRestart(JpegScanState& state, PieceFeed& feed);
    bool decodeBlock(JpegScanState& state, PieceFeed& feed, int scanSlot, uint32_t block);
    JpegTables& changeTables(JpegScanState& state);
    void setNonZero(uint32_t block, uint64_t mask);

    uint64_t mostBlocks_ = kMostBlocks;
    std::deque<JpegTables> tables_;
    // Zeros that cost memory only where written: a damaged header may claim a
    // picture of millions of blocks of which a few are ever decoded.
    template <typename T>
    class ZeroedArray {
    public:
        ZeroedArray() = default;
        ZeroedArray(const ZeroedArray&) = delete;
        ZeroedArray& operator=(const ZeroedArray&) = delete;
        ~ZeroedArray() { std::free(values_); }
        void reset(std::size_t count) {
            std::free(values_);
            values_ = count ? static_cast<T*>(std::calloc(count, sizeof(T))) : nullptr;
            if (count && !values_) throw std::bad_alloc();
        }
        T& operator[](std::size_t i) { return values_[i]; }

    private:
        T* values_ = nullptr;
    };

    ZeroedArray<uint64_t> nonZero_;  // per block: which coefficients (zigzag order) are non-zero so far
    ZeroedArray<int16_t> dcValues_;  // per block, for the likeness of neighbours
    std::vector<std::pair<uint32_t, uint64_t>> journal_;
    uint64_t likenessFrom_ = UINT64_MAX;
    uint64_t likenessSum_ = 0;
    uint32_t likenessCount_ = 0;
};

}  // namespace pelorin
