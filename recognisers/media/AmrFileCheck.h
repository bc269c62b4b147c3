#pragma once
// AMR narrow-band and wide-band speech files (the storage format of RFC 4867).

#include "engine/ReadWindow.h"
#include "engine/Recogniser.h"

namespace pelorin {

class AmrFileCheck final : public Recogniser {
public:
    explicit AmrFileCheck(ScanContext& context) : Recogniser(context), readDiskFromAmrFileCheck(context) {}

    bool isFile(const uint8_t* probe, uint64_t sectorNumber) override;
    uint64_t fileSizeCalculation(const uint8_t* probe, uint64_t sectorNumber) override;
    uint32_t firstByteOfHeader() const override { return 0x23; }
    std::string parentKey() override { return "amr"; }
    std::bitset<256> acceptedFirstBytes() const override { return std::bitset<256>().set('#'); }

    // Length of the speech frame a frame header byte announces, header byte
    // included; 0 for any other byte.
    static uint32_t frameLength(uint8_t header, bool wideBand);

private:
    ReadWindow readDiskFromAmrFileCheck;
    bool bWideBandAmr = false;  // the header is "#!AMR-WB\n"
};

}  // namespace pelorin
