#pragma once
// Plain TIFF files, and the raw-style TIFFs of cameras (a Make tag, a Canon
// TIFF with its preview, a one- or two-IFD Pentax TIFF, a "Phase" file). The
// header is classified together with the other TIFF-based raw types.

#include "engine/ReadWindow.h"
#include "engine/Recogniser.h"

namespace pelorin {

class TiffWalker;

class TiffFileCheck final : public Recogniser {
public:
    explicit TiffFileCheck(ScanContext& context) : Recogniser(context), readDiskFromTiffFileCheck(context) {}

    bool isFile(const uint8_t* probe, uint64_t sectorNumber) override;
    uint64_t fileSizeCalculation(const uint8_t* probe, uint64_t sectorNumber) override;
    uint32_t firstByteOfHeader() const override { return 'I'; }
    std::string parentKey() override { return "tiff"; }
    std::bitset<256> acceptedFirstBytes() const override { return std::bitset<256>().set('I').set('M'); }

    // Length of the preview JPEG a Canon TIFF points to from its maker note; 0 if none.
    uint64_t canonTiffJpgFileSize(const uint8_t* probe, uint64_t sectorNumber);

private:
    uint64_t rawStyleLength(TiffWalker& walker, uint32_t firstIfdOffset, const uint8_t* probe, uint64_t sectorNumber);
    uint64_t canonTiffJpgFileSize(TiffWalker& walker, const uint8_t* probe, uint64_t sectorNumber);
    uint64_t canonTiffJpgFileSize(TiffWalker& walker, uint32_t exifIfdOffset, uint64_t fileStart);

    ReadWindow readDiskFromTiffFileCheck;
};

}  // namespace pelorin
