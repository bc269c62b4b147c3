#pragma once
// Fujifilm RAF files: a fixed big-endian header that gives the preview JPEG
// and the raw data by offset and length.

#include "engine/ReadWindow.h"
#include "engine/Recogniser.h"

namespace pelorin {

class RafFileCheck final : public Recogniser {
public:
    explicit RafFileCheck(ScanContext& context) : Recogniser(context), window(context) {}

    std::optional<Match> recognise(Probe& probe, uint64_t sector) override;
    std::bitset<256> acceptedFirstBytes() const override { return std::bitset<256>().set('F'); }

private:
    uint64_t fileSize(uint64_t sectorNumber, Preview& preview);
    ReadWindow window;
};

}  // namespace pelorin
