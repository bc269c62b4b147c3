#pragma once
// WAV files: a RIFF chunk of form "WAVE", sized from its header alone.

#include "engine/Recogniser.h"

namespace pelorin {

class WavFileCheck final : public Recogniser {
public:
    explicit WavFileCheck(ScanContext& context) : Recogniser(context) {}

    bool isFile(const uint8_t* probe, uint64_t sectorNumber) override;
    uint64_t fileSizeCalculation(const uint8_t* probe, uint64_t sectorNumber) override;
    uint32_t firstByteOfHeader() const override { return 0x52; }
    std::string parentKey() override { return "wav"; }
    std::bitset<256> acceptedFirstBytes() const override { return std::bitset<256>().set('R'); }
};

}  // namespace pelorin
