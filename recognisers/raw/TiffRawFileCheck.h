#pragma once
// The TIFF-based camera raw types other than plain TIFF. Each answers its
// header test from the family's classification and measures its file by its
// maker's layout (TiffRawSizing).

#include "engine/FileTypes.h"
#include "engine/ReadWindow.h"
#include "engine/Recogniser.h"
#include "recognisers/raw/TiffRawClassification.h"
#include "recognisers/raw/TiffRawSizing.h"

namespace pelorin {

class TiffRawFileCheck : public Recogniser {
public:
    std::optional<Match> recognise(Probe& probe, uint64_t sector) override {
        if (!classifyTiffHeader(member, gated, probe.verdict, ctx, window, probe.data(), sector)) return std::nullopt;
        Match match;
        match.size = measureTiffRawFile(member, probe.verdict, match.preview, ctx, window, probe.data(), sector);
        match.handOn = nikonHandsOn(probe.verdict);
        return match;
    }
    // Every member answers nothing, with nothing changed that anyone reads,
    // unless the header starts with a byte-order mark.
    std::bitset<256> acceptedFirstBytes() const override { return std::bitset<256>().set('I').set('M'); }

protected:
    // `ownWindow` is the derived class's own window, constructed after this base.
    TiffRawFileCheck(ScanContext& context, const TypeSelection& ticked, TiffMember which, ReadWindow& ownWindow)
        : Recogniser(context), member(which), gated(tiffMemberIsGated(which, ticked)), window(ownWindow) {}

private:
    TiffMember member;
    bool gated;  // a member ticked before this one classifies the sector
    ReadWindow& window;
};

#define PELORIN_TIFF_RAW_MEMBER(Class, Member)                                                                 \
    class Class final : public TiffRawFileCheck {                                                               \
    public:                                                                                                     \
        Class(ScanContext& context, const TypeSelection& ticked)                                                \
            : TiffRawFileCheck(context, ticked, TiffMember::Member, window_), window_(context) {}               \
                                                                                                                \
    private:                                                                                                    \
        ReadWindow window_;                                                                                     \
    }

PELORIN_TIFF_RAW_MEMBER(ArwFileCheck, Arw);
PELORIN_TIFF_RAW_MEMBER(Sr2FileCheck, Sr2);
PELORIN_TIFF_RAW_MEMBER(KdcFileCheck, Kdc);
PELORIN_TIFF_RAW_MEMBER(K25FileCheck, K25);
PELORIN_TIFF_RAW_MEMBER(DcrFileCheck, Dcr);
PELORIN_TIFF_RAW_MEMBER(PefFileCheck, Pef);
PELORIN_TIFF_RAW_MEMBER(DngFileCheck, Dng);
PELORIN_TIFF_RAW_MEMBER(Cr2FileCheck, Cr2);
PELORIN_TIFF_RAW_MEMBER(NefFileCheck, Nef);
PELORIN_TIFF_RAW_MEMBER(NrwFileCheck, Nrw);
PELORIN_TIFF_RAW_MEMBER(OrfFileCheck, Orf);
PELORIN_TIFF_RAW_MEMBER(RawPanasonicFileCheck, RawPanasonic);
PELORIN_TIFF_RAW_MEMBER(LeicaFileCheck, Leica);
PELORIN_TIFF_RAW_MEMBER(ThreefrFileCheck, Threefr);

#undef PELORIN_TIFF_RAW_MEMBER

}  // namespace pelorin
