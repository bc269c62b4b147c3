#pragma once
// Canon CRW files: a heap of records (signature HEAPCCDR) whose root directory
// is found from the offset stored in the file's last four bytes.

#include "engine/ReadWindow.h"
#include "engine/Recogniser.h"

namespace pelorin {

class CrwFileCheck final : public Recogniser {
public:
    explicit CrwFileCheck(ScanContext& context) : Recogniser(context), readDiskFromCrwFileCheck(context) {}

    bool isFile(const uint8_t* probe, uint64_t sectorNumber) override;
    uint64_t fileSizeCalculation(const uint8_t* probe, uint64_t sectorNumber) override;
    uint32_t firstByteOfHeader() const override { return 'I'; }
    std::string parentKey() override { return "crw"; }
    std::bitset<256> acceptedFirstBytes() const override { return std::bitset<256>().set('I').set('M'); }

private:
    ReadWindow readDiskFromCrwFileCheck;
};

}  // namespace pelorin
