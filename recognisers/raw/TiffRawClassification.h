#pragma once
// One 'II'/'MM' header is divided among the fifteen TIFF-based recognisers by
// a classification pass over its first IFD. The first member to see a sector
// runs the pass and leaves its verdict in the found flags; a later member
// whose gate names an earlier ticked member answers from those flags without
// reading anything. The members differ in their gate and in the details of
// their pass, which a table of member descriptions holds.

#include <cstdint>

#include "engine/ReadWindow.h"
#include "engine/ScanContext.h"

namespace pelorin {

// In registry order.
enum class TiffMember : uint8_t {
    Arw, Sr2, Kdc, K25, Dcr, Pef, Dng, Cr2, Nef, Nrw, Tiff, Orf, RawPanasonic, Leica, Threefr,
};
inline constexpr int kTiffMemberCount = 15;

// The member's isFile: its gated answer, or its own pass and rule.
bool classifyTiffHeader(TiffMember member, ScanContext& ctx, ReadWindow& window, const uint8_t* probe,
                        uint64_t sectorNumber);

// True when a TIFF-family member ticked before `member` has classified the
// sector already (the member's gate).
bool tiffMemberIsGated(TiffMember member, const TiffSelectionFlags& selection);

// The selection flag a member's registration sets.
bool TiffSelectionFlags::*tiffSelectionFlag(TiffMember member);

}  // namespace pelorin
