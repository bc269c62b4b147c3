#pragma once
// The TIFF-based camera raw types other than plain TIFF. Each answers its
// header test from the family's classification pass and measures its file by
// its maker's layout (TiffRawSizing).

#include "engine/ReadWindow.h"
#include "engine/Recogniser.h"
#include "recognisers/raw/TiffRawClassification.h"
#include "recognisers/raw/TiffRawSizing.h"

namespace pelorin {

class TiffRawFileCheck : public Recogniser {
public:
    bool isFile(const uint8_t* probe, uint64_t sectorNumber) override {
        return classifyTiffHeader(member, ctx, window, probe, sectorNumber);
    }
    uint64_t fileSizeCalculation(const uint8_t* probe, uint64_t sectorNumber) override {
        return measureTiffRawFile(member, ctx, window, probe, sectorNumber);
    }
    uint32_t firstByteOfHeader() const override { return 'I'; }
    std::string parentKey() override { return key; }
    // Every member answers NO, with nothing changed that anyone reads, unless
    // the header starts with a byte-order mark.
    std::bitset<256> acceptedFirstBytes() const override { return std::bitset<256>().set('I').set('M'); }

protected:
    // `readDisk` is the derived class's own window, constructed after this base.
    TiffRawFileCheck(ScanContext& context, TiffMember which, const char* parentKey, ReadWindow& readDisk)
        : Recogniser(context), member(which), key(parentKey), window(readDisk) {}

private:
    TiffMember member;
    const char* key;
    ReadWindow& window;
};

#define PELORIN_TIFF_RAW_MEMBER(Class, Member, Key)                                                              \
    class Class final : public TiffRawFileCheck {                                                                      \
    public:                                                                                                       \
        explicit Class(ScanContext& context)                                                                      \
            : TiffRawFileCheck(context, TiffMember::Member, Key, readDiskFrom##Class), readDiskFrom##Class(context) {} \
                                                                                                                  \
    private:                                                                                                      \
        ReadWindow readDiskFrom##Class;                                                                           \
    }

PELORIN_TIFF_RAW_MEMBER(Sr2FileCheck, Sr2, "sr2");
PELORIN_TIFF_RAW_MEMBER(KdcFileCheck, Kdc, "kdc");
PELORIN_TIFF_RAW_MEMBER(K25FileCheck, K25, "k25");
PELORIN_TIFF_RAW_MEMBER(DcrFileCheck, Dcr, "dcr");
PELORIN_TIFF_RAW_MEMBER(PefFileCheck, Pef, "pef");
PELORIN_TIFF_RAW_MEMBER(DngFileCheck, Dng, "dng");
PELORIN_TIFF_RAW_MEMBER(Cr2FileCheck, Cr2, "cr2");
PELORIN_TIFF_RAW_MEMBER(NefFileCheck, Nef, "nef");
PELORIN_TIFF_RAW_MEMBER(NrwFileCheck, Nrw, "nrw");
PELORIN_TIFF_RAW_MEMBER(OrfFileCheck, Orf, "orf");
PELORIN_TIFF_RAW_MEMBER(RawPanasonicFileCheck, RawPanasonic, "raw");
PELORIN_TIFF_RAW_MEMBER(LeicaFileCheck, Leica, "lei");
PELORIN_TIFF_RAW_MEMBER(ThreefrFileCheck, Threefr, "3fr");

#undef PELORIN_TIFF_RAW_MEMBER

// The Sony camera model its header test found is kept for its size
// calculation until the file has been filed.
class ArwFileCheck final : public TiffRawFileCheck {
public:
    explicit ArwFileCheck(ScanContext& context)
        : TiffRawFileCheck(context, TiffMember::Arw, "arw", readDiskFromArwFileCheck), readDiskFromArwFileCheck(context) {}
    std::string parentKey() override {
        ctx.bSonyArwA100File = false;
        ctx.bSonyArwA700File = false;
        return "arw";
    }

private:
    ReadWindow readDiskFromArwFileCheck;
};

}  // namespace pelorin
