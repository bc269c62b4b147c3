#pragma once
// One 'II'/'MM' header is divided among the fifteen TIFF-based recognisers by
// a classification pass over its first IFD. The first member to see a sector
// runs the pass and leaves its findings in the sector's verdict; a later
// member whose gate names an earlier ticked member answers from that verdict
// without reading anything, and a member that runs a pass of its own adds to
// what the earlier passes found. The members differ in their gate and in the
// details of their pass, which a table of member descriptions holds.

#include <cstdint>

#include "engine/FileTypes.h"
#include "engine/Probe.h"
#include "engine/ReadWindow.h"
#include "engine/ScanContext.h"

namespace pelorin {

// In registry order.
enum class TiffMember : uint8_t {
    Arw, Sr2, Kdc, K25, Dcr, Pef, Dng, Cr2, Nef, Nrw, Tiff, Orf, RawPanasonic, Leica, Threefr,
};
inline constexpr int kTiffMemberCount = 15;

constexpr FileType fileTypeOf(TiffMember member) {
    return static_cast<FileType>(static_cast<int>(FileType::Arw) + static_cast<int>(member));
}

// What the passes found in a header: bits of FamilyVerdict::findings.
enum class TiffFinding : uint32_t {
    RawTiff,       // a camera TIFF, measured by its strips rather than as a plain TIFF
    CanonRawTiff,  // a Canon TIFF, whose preview is counted in its length
    Cr2, Crw, Dcr, K25, Kdc, Leica, Dng, Nef,
    Nrw,           // left by NEF's measuring: the Nikon file is an NRW
    Orf, Pef, Panasonic, Sr2, Threefr, Tiff,
    A100, A700,    // the Sony model, which decides how ARW measures
};
constexpr uint32_t bit(TiffFinding finding) { return uint32_t{1} << static_cast<uint32_t>(finding); }
inline bool has(const FamilyVerdict& verdict, TiffFinding finding) { return (verdict.findings & bit(finding)) != 0; }

// NEF found the Nikon file to be an NRW: the sector's pass goes on, for NRW to
// take the file, until a member answers without this.
inline bool nikonHandsOn(const FamilyVerdict& verdict) {
    return has(verdict, TiffFinding::Nef) && has(verdict, TiffFinding::Nrw);
}

// True when a member ticked before `member` classifies the sector first (the
// member's gate); fixed for a scan by its ticked types.
bool tiffMemberIsGated(TiffMember member, const TypeSelection& ticked);

// The member's header test: its answer from the verdict when it is gated, or
// its own pass, which sets the verdict's byte order and adds its findings.
bool classifyTiffHeader(TiffMember member, bool gated, FamilyVerdict& verdict, const ScanContext& ctx,
                        ReadWindow& window, const uint8_t* probe, uint64_t sectorNumber);

}  // namespace pelorin
