#pragma once
// Canon CRW files: a heap of records (signature HEAPCCDR) whose root directory
// is found from the offset stored in the file's last four bytes.

#include "engine/FileTypes.h"
#include "engine/ReadWindow.h"
#include "engine/Recogniser.h"

namespace pelorin {

class CrwFileCheck final : public Recogniser {
public:
    CrwFileCheck(ScanContext& context, const TypeSelection& ticked);

    std::optional<Match> recognise(Probe& probe, uint64_t sector) override;
    std::bitset<256> acceptedFirstBytes() const override { return std::bitset<256>().set('I').set('M'); }

private:
    uint64_t fileSize(bool littleEndian, uint64_t sectorNumber, Preview& preview);

    ReadWindow window;
    // A TIFF-family member asked before this one classifies the sector, and
    // hands a CRW's 'II'/'MM' header on through the verdict.
    bool tiffFamilyClassifies;
};

}  // namespace pelorin
