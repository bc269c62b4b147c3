#pragma once
// Native FLAC files: "fLaC", a STREAMINFO block, the other metadata blocks,
// then the audio frames. A frame carries no length: it ends where the CRC-16
// of its bytes checks and the next frame's header follows (that header's own
// CRC-8 checking, its number the one expected). The last frame is the one
// that reaches the total of samples STREAMINFO records, and ends where its
// CRC-16 first checks; with the total unknown, the walk goes on while frames
// check. A found file is skipped by the scan loop: every frame of it checked.

#include "engine/ReadWindow.h"
#include "engine/Recogniser.h"

namespace pelorin {

class FlacFileCheck final : public Recogniser {
public:
    explicit FlacFileCheck(ScanContext& context) : Recogniser(context), window_(context) {}

    std::optional<Match> recognise(Probe& probe, uint64_t sector) override;
    std::bitset<256> acceptedFirstBytes() const override { return std::bitset<256>().set('f'); }

private:
    uint64_t fileSize(uint64_t sector);

    ReadWindow window_;
};

}  // namespace pelorin
