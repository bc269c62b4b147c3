#pragma once
// How the TIFF-based camera raw types measure a file their header test
// accepted, and where they find the preview JPEG the camera embedded. Each
// maker keeps its raw image data in its own place (the first IFD, a SubIFD,
// the last IFD of the chain, after a maker-note offset), so each member has
// its own short rule; the readers, strip arithmetic, bounds and the preview
// report are shared.

#include <cstdint>

#include "engine/ReadWindow.h"
#include "engine/Recogniser.h"
#include "engine/ScanContext.h"
#include "recognisers/raw/TiffRawClassification.h"

namespace pelorin {

// Length in bytes of the member's file at the sector; 0 for no usable file.
// Reads the byte order and the Sony model from the verdict the sector's
// classification left. A preview JPEG it locates goes to `preview` (none
// otherwise). NEF measuring a Nikon file that turns out to be an NRW answers
// 0 and adds Nrw to the verdict, for NRW to take the file; NRW taking it
// removes Nrw again.
uint64_t measureTiffRawFile(TiffMember member, FamilyVerdict& verdict, Preview& preview, const ScanContext& ctx,
                            ReadWindow& window, const uint8_t* probe, uint64_t sectorNumber);

}  // namespace pelorin
