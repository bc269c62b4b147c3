#pragma once
// How the TIFF-based camera raw types measure a file their header test
// accepted, and where they find the preview JPEG the camera embedded. Each
// maker keeps its raw image data in its own place (the first IFD, a SubIFD,
// the last IFD of the chain, after a maker-note offset), so each member has
// its own short rule; the readers, strip arithmetic, bounds and the preview
// report are shared.

#include <cstdint>

#include "engine/ReadWindow.h"
#include "engine/ScanContext.h"
#include "recognisers/raw/TiffRawClassification.h"

namespace pelorin {

// Length in bytes of the member's file at the sector; 0 for no usable file.
// Relies on the byte-order flags the classification of the same sector left.
// A located preview JPEG is reported through the context's preview report
// (bRawJpgFileFound, u64RawJpgFileSectorNumber, uExtraBytesOfJpgFileOffset,
// u64RawJpgFileSize), which is cleared first. A Nikon file that turns out to
// be an NRW makes NEF answer 0 with bNikonNrwFileFound set.
uint64_t measureTiffRawFile(TiffMember member, ScanContext& ctx, ReadWindow& window, const uint8_t* probe,
                            uint64_t sectorNumber);

}  // namespace pelorin
