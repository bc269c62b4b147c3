#pragma once
// MPEG audio files that start with an ID3v2 tag or straight with a frame
// header. The length comes from walking the frames; a found file is skipped
// by the scan loop, so its sectors are not examined again.

#include "engine/ReadWindow.h"
#include "engine/Recogniser.h"

namespace pelorin {

class Mp3FileCheck final : public Recogniser {
public:
    explicit Mp3FileCheck(ScanContext& context) : Recogniser(context), window(context) {}

    std::optional<Match> recognise(Probe& probe, uint64_t sector) override;
    // "I" starts an ID3 tag, 0xFF a frame header; nothing else is accepted.
    std::bitset<256> acceptedFirstBytes() const override { return std::bitset<256>().set('I').set(0xFF); }

    // The numberOfBits bits of value whose highest is startBit (bit 31 is the most significant).
    static uint32_t bitCheck(uint32_t value, int startBit, int numberOfBits) {
        return (value >> (startBit - numberOfBits + 1)) & ((uint32_t{1} << numberOfBits) - 1);
    }
    // Length in bytes of the frame a header starts; 0 when a field is reserved or invalid.
    static uint32_t frameLength(uint32_t header);

private:
    bool headerMatches(const uint8_t* probe);
    uint64_t sizeOfFrameSyncFile(uint64_t sectorNumber);
    uint64_t sizeOfId3File(uint64_t sectorNumber);

    uint64_t withSlack(uint64_t audio, uint64_t slack) {
        slackAdded = slack;
        return audio + slack;
    }

    bool id3Tagged_ = false;
    uint64_t slackAdded = 0;  // in the size last computed
    ReadWindow window;
};

}  // namespace pelorin
