#pragma once
// Standard MIDI Files ("MThd" and its "MTrk" tracks) and MIDI files wrapped
// in a RIFF chunk of form "RMID".

#include "engine/ReadWindow.h"
#include "engine/Recogniser.h"

namespace pelorin {

class MidFileCheck final : public Recogniser {
public:
    explicit MidFileCheck(ScanContext& context) : Recogniser(context), window(context) {}

    std::optional<Match> recognise(Probe& probe, uint64_t sector) override;
    std::bitset<256> acceptedFirstBytes() const override { return std::bitset<256>().set('M').set('R'); }

private:
    bool headerMatches(const uint8_t* probe, uint64_t sectorNumber);
    uint64_t fileSize(const uint8_t* probe, uint64_t sectorNumber);
    uint64_t standardFileSize(uint64_t sectorNumber);

    ReadWindow window;
    bool riffWrapped_ = false;  // the header is a RIFF "RMID" wrapper
};

}  // namespace pelorin
