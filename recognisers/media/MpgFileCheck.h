#pragma once
// MPEG-1 and MPEG-2 program streams (starting with a pack header) and MPEG
// video elementary streams (starting with a sequence header).

#include "engine/ReadWindow.h"
#include "engine/Recogniser.h"

namespace pelorin {

class MpgFileCheck final : public Recogniser {
public:
    explicit MpgFileCheck(ScanContext& context)
        : Recogniser(context), readDiskFromMpgFileCheck(context), lookAheadFromMpgFileCheck(context) {}

    bool isFile(const uint8_t* probe, uint64_t sectorNumber) override;
    uint64_t fileSizeCalculation(const uint8_t* probe, uint64_t sectorNumber) override;
    uint32_t firstByteOfHeader() const override { return 0x00; }
    std::string parentKey() override { return "mpg"; }
    std::bitset<256> acceptedFirstBytes() const override { return std::bitset<256>().set(0x00); }

    // True when a start code the header test expects near a header lies at
    // bytes 4 to 49 of the sector; records where in uBAFrameValue.
    bool isFileValidated(uint64_t sectorNumber);

private:
    uint64_t videoStreamSize(uint64_t sectorNumber);
    uint64_t programStreamSize(uint64_t sectorNumber);

    ReadWindow readDiskFromMpgFileCheck;
    // A second window, so a look ahead past foreign data leaves the walk's window alone.
    ReadWindow lookAheadFromMpgFileCheck;
    bool bHeader0x1B3 = false;  // the header is a sequence header, not a pack header
};

}  // namespace pelorin
