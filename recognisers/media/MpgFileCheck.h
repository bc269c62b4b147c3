#pragma once
// MPEG-1 and MPEG-2 program streams (starting with a pack header) and MPEG
// video elementary streams (starting with a sequence header).

#include "engine/ReadWindow.h"
#include "engine/Recogniser.h"

namespace pelorin {

class MpgFileCheck final : public Recogniser {
public:
    explicit MpgFileCheck(ScanContext& context)
        : Recogniser(context), window(context), lookAhead(context) {}

    std::optional<Match> recognise(Probe& probe, uint64_t sector) override;
    std::bitset<256> acceptedFirstBytes() const override { return std::bitset<256>().set(0x00); }

private:
    bool headerMatches(const uint8_t* probe, uint64_t sectorNumber);
    // True when a start code the header test expects near a header lies at
    // bytes 4 to 49 of the sector; records where in packHeaderLength.
    bool startCodeFollows(uint64_t sectorNumber);
    uint64_t videoStreamSize(uint64_t sectorNumber);
    uint64_t programStreamSize(uint64_t sectorNumber);

    ReadWindow window;
    // A second window, so a look ahead past foreign data leaves the walk's window alone.
    ReadWindow lookAhead;
    bool sequenceHeader_ = false;  // the header is a sequence header, not a pack header
    uint32_t packHeaderLength = 0;  // where the header test found the start code after the header
    bool skipFile = false;          // the file measured is long enough for the loop to jump over
};

}  // namespace pelorin
