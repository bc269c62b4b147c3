#include "recognisers/media/IsoBaseMediaFileCheck.h"

#include <algorithm>

#include "engine/Probe.h"
#include "recognisers/media/IsoStillFileCheck.h"

namespace pelorin {
namespace {

constexpr uint32_t threeCC(const char (&text)[4]) {
    return uint32_t(uint8_t(text[0])) << 16 | uint32_t(uint8_t(text[1])) << 8 | uint8_t(text[2]);
}

constexpr uint32_t kFtyp = fourCC("ftyp");
constexpr uint32_t kSmallestFirstAtom = 8;
constexpr uint32_t kLargestFirstAtom = 1048576;
constexpr uint64_t kWalkLimit = 4294967280;     // 2^32 - 16: the walk never reads a header beyond this
constexpr uint64_t kTwoGiBStop = 2147483640;    // 2^31 - 8
constexpr uint64_t kSmallestFile = 10240;
constexpr uint64_t kSlack = 512;
constexpr uint64_t kLargeFileFixedSize = 62914560;
constexpr uint64_t kSmallestLargeSize = 16;     // a 64-bit size covers at least its own header
// Caps a 64-bit atom size so that totals stay far from wrapping; no device comes near it.
constexpr uint64_t kLargestAtom = uint64_t{1} << 62;
constexpr uint32_t kSpan = ReadWindow::kSpan;

bool sizeIsPlausible(const uint8_t* probe) {
    const uint32_t size = Probe(probe).be32(0);
    return size >= kSmallestFirstAtom && size <= kLargestFirstAtom;
}

// clang-format off
using Advance = IsoMemberRules::WindowAdvance;
using Large = IsoMemberRules::LargeFileRule;
//                                        brand  s1 test 2nd atom zero=8 2 GiB  window advance           large-file rule
constexpr IsoMemberRules kMovRules      {"",    true,   true,    true,  false, Advance::ToSectorOfTotal, Large::DropLastAtom};
constexpr IsoMemberRules kMp4Rules      {"",    true,   true,    false, true,  Advance::By64KiBBlocks,   Large::FixedSixtyMiBPlusSlack};
constexpr IsoMemberRules kM4aRules      {"M4A", true,   true,    false, false, Advance::By64KiBBlocks,   Large::DropLastAtomPlusSlack};
constexpr IsoMemberRules kM4bRules      {"M4B", true,   true,    false, true,  Advance::By64KiBBlocks,   Large::FixedSixtyMiBPlusSlack};
constexpr IsoMemberRules kM4vRules      {"M4V", true,   true,    false, true,  Advance::By64KiBBlocks,   Large::FixedSixtyMiBPlusSlack};
constexpr IsoMemberRules kThreeGpRules  {"3gp", false,  false,   false, true,  Advance::By64KiBBlocks,   Large::FixedSixtyMiBPlusSlack};
constexpr IsoMemberRules kThreeGTwoRules{"3g2", false,  false,   false, true,  Advance::By64KiBBlocks,   Large::FixedSixtyMiBPlusSlack};
// clang-format on

}  // namespace

bool IsoBaseMediaFileCheck::isWalkListType(uint32_t type) {
    switch (type) {
    case fourCC("free"): case fourCC("ftyp"): case fourCC("mdat"): case fourCC("moov"):
    case fourCC("pnot"): case fourCC("skip"): case fourCC("uuid"): case fourCC("wide"):
        return true;
    default:
        return false;
    }
}

bool IsoBaseMediaFileCheck::firstAtomMatches(const uint8_t* probe) const {
    if (rules.testsFirstAtomSize && !sizeIsPlausible(probe)) return false;
    return Probe(probe).be32(4) == kFtyp && rules.brandPrefix.size() == 3 &&
           std::equal(rules.brandPrefix.begin(), rules.brandPrefix.end(), probe + 8);
}

bool IsoBaseMediaFileCheck::headerMatches(const uint8_t* probe, uint64_t sectorNumber) {
    if (!firstAtomMatches(probe)) return false;
    if (!rules.testsSecondAtom) return true;
    // The first atom is at most 1 MiB here, so its end lies well inside the device's reach.
    const uint32_t firstAtomSize = Probe(probe).be32(0);
    const uint32_t sectorSize = ctx.sectorSize;
    if (sectorSize == 0 || !window().read(sectorNumber + firstAtomSize / sectorSize)) return false;
    return isWalkListType(window().be32(firstAtomSize % sectorSize + 4));
}

// Sums the top-level atoms from the file's first byte. Positions and totals are
// 64-bit offsets from the file's start, so a header past 2 or 4 GiB is read
// where it really is. Returns UINT64_MAX when a read fails.
uint64_t IsoBaseMediaFileCheck::walkTopLevelAtoms(uint64_t sectorNumber, uint64_t& lastAtomSize) {
    ReadWindow& reader = window();
    const uint32_t sectorSize = ctx.sectorSize;
    // Whole 64 KiB steps only keep headers aligned when sectors tile 64 KiB.
    const bool byBlocks = rules.windowAdvance == IsoMemberRules::WindowAdvance::By64KiBBlocks &&
                          sectorSize != 0 && kSpan % sectorSize == 0;
    if (sectorSize == 0 || !reader.read(sectorNumber)) return UINT64_MAX;

    uint64_t windowStart = 0;  // file offset of the window's first byte
    uint64_t total = 0;
    lastAtomSize = 0;
    while (!ctx.cancelled() && total < kWalkLimit) {
        const uint64_t position = total - windowStart;
        if (!isWalkListType(reader.be32(position + 4))) break;
        uint64_t size = reader.be32(position);
        if (size == 1) {
            // The real size follows the type as a 64-bit value (muxers write
            // "mdat" this way even for small files).
            size = reader.be64(position + 8);
            if (size < kSmallestLargeSize) break;
            size = std::min(size, kLargestAtom);
        }
        lastAtomSize = size;
        if (size == 0) {
            if (!rules.zeroSizeTakenAsEight) break;
            size = 8;
        }
        total += size;
        if (rules.stopsPastTwoGiB && total > kTwoGiBStop) break;
        if (total - windowStart >= kSpan) {
            windowStart = byBlocks ? total / kSpan * kSpan : total / sectorSize * sectorSize;
            if (!reader.read(sectorNumber + windowStart / sectorSize)) return UINT64_MAX;
        }
    }
    return total;
}

std::optional<Match> IsoBaseMediaFileCheck::recognise(Probe& probe, uint64_t sector) {
    if (!headerMatches(probe.data(), sector)) return std::nullopt;
    Match match;
    match.size = fileSize(sector);
    return match;
}

uint64_t IsoBaseMediaFileCheck::fileSize(uint64_t sectorNumber) {
    uint64_t lastAtomSize = 0;
    const uint64_t total = walkTopLevelAtoms(sectorNumber, lastAtomSize);
    if (total == UINT64_MAX) return 0;
    if (total > kWalkLimit) {
        switch (rules.largeFileRule) {
        case IsoMemberRules::LargeFileRule::DropLastAtomPlusSlack: return total - lastAtomSize + kSlack;
        case IsoMemberRules::LargeFileRule::FixedSixtyMiBPlusSlack: return kLargeFileFixedSize + kSlack;
        case IsoMemberRules::LargeFileRule::DropLastAtom: return total - lastAtomSize;
        }
    }
    if (total < kSmallestFile) return 0;
    return total + kSlack;
}

MovFileCheck::MovFileCheck(ScanContext& context)
    : IsoBaseMediaFileCheck(context, kMovRules), window_(context) {}

// QuickTime: the "qt" brand, or an older file that starts straight with a
// top-level atom other than "free".
bool MovFileCheck::firstAtomMatches(const uint8_t* probe) const {
    if (!sizeIsPlausible(probe)) return false;
    switch (Probe(probe).be32(4)) {
    case kFtyp: return probe[8] == 'q' && probe[9] == 't';
    case fourCC("mdat"): case fourCC("moov"): case fourCC("pnot"):
    case fourCC("skip"): case fourCC("wide"): case fourCC("uuid"):
        return true;
    default:
        return false;
    }
}

Mp4FileCheck::Mp4FileCheck(ScanContext& context)
    : IsoBaseMediaFileCheck(context, kMp4Rules), window_(context) {}

// Every "ftyp" brand the other members do not claim, but for those of still
// images and camera raw: a CR3 or HEIC is never a video.
bool Mp4FileCheck::firstAtomMatches(const uint8_t* probe) const {
    if (!sizeIsPlausible(probe) || Probe(probe).be32(4) != kFtyp) return false;
    if (IsoStillFileCheck::isStillBrand(Probe(probe).be32(8))) return false;
    switch (Probe(probe).be24(8)) {
    case threeCC("M4A"): case threeCC("M4B"): case threeCC("M4V"): case threeCC("3gp"): case threeCC("3g2"):
        return false;
    default:
        return probe[8] != 'q' && probe[9] != 't';
    }
}

M4aFileCheck::M4aFileCheck(ScanContext& context)
    : IsoBaseMediaFileCheck(context, kM4aRules), window_(context) {}

M4bFileCheck::M4bFileCheck(ScanContext& context)
    : IsoBaseMediaFileCheck(context, kM4bRules), window_(context) {}

M4vFileCheck::M4vFileCheck(ScanContext& context)
    : IsoBaseMediaFileCheck(context, kM4vRules), window_(context) {}

ThreeGpFileCheck::ThreeGpFileCheck(ScanContext& context)
    : IsoBaseMediaFileCheck(context, kThreeGpRules), window_(context) {}

ThreeGTwoFileCheck::ThreeGTwoFileCheck(ScanContext& context)
    : IsoBaseMediaFileCheck(context, kThreeGTwoRules), window_(context) {}

}  // namespace pelorin
