#pragma once
// Plain TIFF files, and the raw-style TIFFs of cameras (a Make tag, a Canon
// TIFF with its preview, a one- or two-IFD Pentax TIFF, a "Phase" file). The
// header is classified together with the other TIFF-based raw types.

#include "engine/FileTypes.h"
#include "engine/ReadWindow.h"
#include "engine/Recogniser.h"

namespace pelorin {

class TiffWalker;

class TiffFileCheck final : public Recogniser {
public:
    TiffFileCheck(ScanContext& context, const TypeSelection& ticked);

    std::optional<Match> recognise(Probe& probe, uint64_t sector) override;
    std::bitset<256> acceptedFirstBytes() const override { return std::bitset<256>().set('I').set('M'); }

private:
    uint64_t fileSize(const FamilyVerdict& verdict, const uint8_t* probe, uint64_t sectorNumber);
    uint64_t rawStyleLength(TiffWalker& walker, bool canon, uint32_t firstIfdOffset, const uint8_t* probe,
                            uint64_t sectorNumber);
    // Length of the preview JPEG a Canon TIFF points to from its maker note; 0 if none.
    uint64_t canonTiffJpgFileSize(TiffWalker& walker, const uint8_t* probe, uint64_t sectorNumber);
    uint64_t canonTiffJpgFileSize(TiffWalker& walker, uint32_t exifIfdOffset, uint64_t fileStart);

    ReadWindow window;
    bool gated;  // a member ticked before this one classifies the sector
};

}  // namespace pelorin
