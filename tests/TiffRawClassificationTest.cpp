#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>

#include "recognisers/raw/CrwFileCheck.h"
#include "recognisers/raw/TiffFileCheck.h"
#include "recognisers/raw/TiffRawClassification.h"
#include "recognisers/raw/TiffRawFileCheck.h"
#include "support/OpenCounter.h"
#include "support/TestSupport.h"
#include "support/TiffBuilder.h"

namespace pelorin::test {
namespace {

// The sixteen recognisers that share an 'II'/'MM' header, in registry order.
enum W { ARW, SR2, KDC, K25, DCR, PEF, DNG, CR2, NEF, NRW, TIF, ORF, RW2, LEI, FR3, CRW, kNone };
constexpr int kMembers = 16;
const char* const kNames[] = {"ARW", "SR2", "KDC", "K25", "DCR", "PEF", "DNG", "CR2", "NEF", "NRW",
                              "TIF", "ORF", "RW2", "LEI", "3FR", "CRW", "none"};

std::unique_ptr<Recogniser> makeMember(W w, ScanContext& ctx) {
    switch (w) {
    case ARW: return std::make_unique<ArwFileCheck>(ctx);
    case SR2: return std::make_unique<Sr2FileCheck>(ctx);
    case KDC: return std::make_unique<KdcFileCheck>(ctx);
    case K25: return std::make_unique<K25FileCheck>(ctx);
    case DCR: return std::make_unique<DcrFileCheck>(ctx);
    case PEF: return std::make_unique<PefFileCheck>(ctx);
    case DNG: return std::make_unique<DngFileCheck>(ctx);
    case CR2: return std::make_unique<Cr2FileCheck>(ctx);
    case NEF: return std::make_unique<NefFileCheck>(ctx);
    case NRW: return std::make_unique<NrwFileCheck>(ctx);
    case TIF: return std::make_unique<TiffFileCheck>(ctx);
    case ORF: return std::make_unique<OrfFileCheck>(ctx);
    case RW2: return std::make_unique<RawPanasonicFileCheck>(ctx);
    case LEI: return std::make_unique<LeicaFileCheck>(ctx);
    case FR3: return std::make_unique<ThreefrFileCheck>(ctx);
    case CRW: return std::make_unique<CrwFileCheck>(ctx);
    default: return nullptr;
    }
}

// The found flags that are set, by name (byte-order flags left out).
std::string setFlags(const ScanContext& ctx) {
    const PerSectorFlags& f = ctx.found;
    const std::pair<bool, const char*> flags[] = {
        {f.bRawTiffFileFound, "RawTiff"}, {f.bCanonRawTiff, "CanonRawTiff"}, {f.bCanonCr2FileFound, "Cr2"},
        {f.bCanonCrwFileFound, "Crw"},    {f.bKodakDcrFileFound, "Dcr"},     {f.bKodakK25FileFound, "K25"},
        {f.bKodakKdcFileFound, "Kdc"},    {f.bLeicaFileFound, "Leica"},      {f.bPentaxDngFileFound, "Dng"},
        {f.bNikonNefFileFound, "Nef"},    {f.bNikonNrwFileFound, "Nrw"},     {f.bOlympusOrfFileFound, "Orf"},
        {f.bPentaxPefFileFound, "Pef"},   {f.bRawPanasonicFileFound, "Panasonic"}, {f.bSonySr2FileFound, "Sr2"},
        {f.bThreefrFileFound, "Threefr"}, {f.bTiffFileFound, "Tiff"},       {ctx.bSonyArwA700File, "A700"},
        {ctx.bSonyArwA100File, "A100"},
    };
    std::string out;
    for (const auto& [set, name] : flags)
        if (set) out += (out.empty() ? "" : " ") + std::string(name);
    return out;
}

struct Outcome {
    W acceptedBy = kNone;
    std::string flags;
    std::vector<int> opensPerMember;  // device opens of each asked member's isFile
};

// Offers sector 0 to the ticked members the way the sector loop does: in
// registry order, with the selection flags registration sets, until one says yes.
Outcome runFamily(const Bytes& file, const std::set<W>& ticked) {
    TempImage image(256 * 1024);
    image.write(0, file);
    auto ctx = contextFor(image.path());
    std::vector<std::pair<W, std::unique_ptr<Recogniser>>> members;
    for (int i = 0; i < kMembers; ++i) {
        const W w = static_cast<W>(i);
        if (!ticked.count(w)) continue;
        members.emplace_back(w, makeMember(w, *ctx));
        if (w != CRW) ctx->selection.*tiffSelectionFlag(static_cast<TiffMember>(i)) = true;
    }
    uint8_t probe[kProbeSize] = {};
    std::copy_n(file.begin(), std::min<std::size_t>(file.size(), kProbeSize), probe);
    OpenCounter counter(image.path());
    Outcome outcome;
    for (auto& [w, recogniser] : members) {
        const bool yes = recogniser->isFile(probe, 0);
        outcome.opensPerMember.push_back(counter.opens());
        if (yes) {
            outcome.acceptedBy = w;
            break;
        }
    }
    outcome.flags = setFlags(*ctx);
    return outcome;
}

std::set<W> everyone() {
    std::set<W> all;
    for (int i = 0; i < kMembers; ++i) all.insert(static_cast<W>(i));
    return all;
}

// A header built from the parts that matter to the classification.
struct Header {
    std::string make, model;
    uint8_t magic2 = 0, magic3 = 0;  // 0, 0: magic 42 in the file's byte order
    bool subIfds = false;
    bool dngVersion = false;
    bool cr = false;       // 'CR' at header bytes 8-9
    bool heap = false;     // HEAPCCDR at header bytes 6-13
    int ifds = 1;          // IFDs in the main chain
    int fillers = 4;       // plain image tags in the first IFD
    bool little = true;

    Bytes build() const {
        TiffBuilder b(little);
        if (magic2 || magic3) b.magic(magic2, magic3);
        b.padTo(16);
        if (cr) b.poke(8, {'C', 'R', 2, 0});
        std::vector<TiffEntry> entries;
        const uint16_t fillerTags[] = {256, 257, 258, 259, 262, 277};
        for (int i = 0; i < fillers; ++i) entries.push_back(b.short1(fillerTags[i], 100));
        if (!make.empty()) entries.push_back(b.ascii(271, make));
        if (!model.empty()) entries.push_back(b.ascii(272, model));
        if (subIfds) entries.push_back(TiffBuilder::long1(330, b.placeIfd({b.short1(256, 10), b.short1(257, 10)})));
        if (dngVersion) entries.push_back({50706, 1, 4, 0x00000401});
        uint32_t next = 0;
        for (int i = 1; i < ifds; ++i) next = b.placeIfd({b.short1(256, 8), b.short1(257, 8)}, next);
        b.firstIfd(b.placeIfd(entries, next));
        if (heap) b.poke(6, {'H', 'E', 'A', 'P', 'C', 'C', 'D', 'R'});
        return b.bytes();
    }
};

Header plain() { return {}; }
Header withMake(const std::string& make) { Header h; h.make = make; return h; }

struct Case {
    const char* name;
    Header header;
    W all;                   // who accepts with every member ticked
    const char* allFlags;    // the found flags that pass leaves
    std::set<W> alone;       // who accepts when ticked alone
    W kodak, arwNefTiff, kdcPef, nefNrw;
};

std::vector<Case> cases() {
    auto h = [](auto&& edit) { Header x; edit(x); return x; };
    return {
        {"plain TIFF", plain(), TIF, "Tiff", {TIF}, kNone, TIF, kNone, kNone},
        {"Canon TIFF", withMake("Canon"), TIF, "RawTiff CanonRawTiff Tiff", {TIF}, kNone, TIF, kNone, kNone},
        {"CR2", h([](Header& x) { x.make = "Canon"; x.cr = true; }), CR2, "Cr2", {CR2}, kNone, kNone, kNone, kNone},
        {"NEF", h([](Header& x) { x.make = "NIKON CORPORATION"; x.subIfds = true; }), NEF, "Nef", {NEF, NRW},
         kNone, NEF, kNone, NEF},
        {"ARW A700", h([](Header& x) { x.make = "SONY"; x.model = "DSLR-A700"; x.subIfds = true; }), ARW, "A700",
         {ARW}, kNone, ARW, kNone, kNone},
        {"ARW A100", h([](Header& x) { x.make = "SONY"; x.model = "DSLR-A100"; x.subIfds = true; }), ARW, "A100",
         {ARW}, kNone, ARW, kNone, kNone},
        {"SR2", h([](Header& x) { x.make = "SONY"; x.model = "DSC-R1"; x.subIfds = true; }), SR2, "Sr2", {SR2},
         kNone, kNone, kNone, kNone},
        {"DSC-R1 model without SONY make", h([](Header& x) { x.make = "Other"; x.model = "DSC-R1"; x.subIfds = true; }),
         SR2, "Sr2", {}, kNone, kNone, kNone, kNone},
        {"Canon DNG", h([](Header& x) { x.make = "Canon"; x.dngVersion = true; }), DNG, "CanonRawTiff Dng", {DNG},
         kNone, kNone, kNone, kNone},
        {"Samsung DNG", h([](Header& x) { x.make = "SAMSUNG"; x.dngVersion = true; x.subIfds = true; }), DNG, "Dng",
         {DNG}, kNone, kNone, kNone, kNone},
        {"PEF", h([](Header& x) { x.make = "PENTAX Corporation"; x.ifds = 3; }), PEF, "Pef", {PEF}, kNone, kNone,
         PEF, kNone},
        {"Pentax TIFF", h([](Header& x) { x.make = "PENTAX Corporation"; x.ifds = 2; }), TIF, "RawTiff Tiff", {TIF},
         kNone, TIF, kNone, kNone},
        {"Pentax with 4 IFDs", h([](Header& x) { x.make = "PENTAX Corporation"; x.ifds = 4; }), PEF, "Pef", {},
         kNone, kNone, kNone, kNone},
        {"Pentax with 11 IFDs", h([](Header& x) { x.make = "PENTAX Corporation"; x.ifds = 11; }), PEF, "Pef", {},
         kNone, kNone, kNone, kNone},
        {"KDC by model", h([](Header& x) { x.make = "EASTMAN KODAK"; x.model = "Kodak DC120"; x.subIfds = true; }),
         KDC, "Kdc", {KDC}, KDC, kNone, KDC, kNone},
        {"KDC by make only", h([](Header& x) { x.make = "Kodak Digital Science DC50"; x.subIfds = true; }), kNone, "",
         {KDC}, KDC, kNone, KDC, kNone},
        {"K25", h([](Header& x) { x.make = "EASTMAN KODAK"; x.model = "KODAK DC25"; x.subIfds = true; }), K25, "K25",
         {K25}, K25, kNone, kNone, kNone},
        {"DCR", h([](Header& x) { x.make = "Kodak"; x.model = "DCS Pro 14N"; x.subIfds = true; }), DCR, "Dcr", {DCR},
         DCR, kNone, kNone, kNone},
        {"ORF", h([](Header& x) { x.make = "OLYMPUS IMAGING"; x.magic2 = 'R'; x.magic3 = 'O'; }),
         ORF, "Orf", {ORF}, kNone, kNone, kNone, kNone},
        {"RW2", h([](Header& x) { x.make = "Panasonic"; x.magic2 = 0x55; x.magic3 = 0x00; }), RW2, "Panasonic", {RW2},
         kNone, kNone, kNone, kNone},
        {"Leica", h([](Header& x) { x.make = "LEICA"; x.magic2 = 0x55; x.magic3 = 0x00; }), LEI, "Leica", {LEI},
         kNone, kNone, kNone, kNone},
        {"3FR", h([](Header& x) { x.make = "Hasselblad"; x.subIfds = true; }), FR3, "Threefr", {FR3}, kNone, kNone,
         kNone, kNone},
        {"Hasselblad without SubIFDs", withMake("Hasselblad"), TIF, "RawTiff Tiff", {TIF}, kNone, TIF, kNone, kNone},
        {"CRW", h([](Header& x) { x.heap = true; }), CRW, "Crw", {CRW}, kNone, kNone, kNone, kNone},
        {"big-endian CRW", h([](Header& x) { x.heap = true; x.little = false; }), CRW, "Crw", {CRW}, kNone, kNone,
         kNone, kNone},
        // ARW's pass needs four entries; the members it gates read its refusal.
        {"plain TIFF with 3 entries", h([](Header& x) { x.fillers = 3; }), kNone, "", {TIF}, kNone, kNone, kNone,
         kNone},
        {"big-endian NEF", h([](Header& x) { x.make = "NIKON"; x.subIfds = true; x.little = false; }), NEF, "Nef",
         {NEF, NRW}, kNone, NEF, kNone, NEF},
        {"no entries", h([](Header& x) { x.fillers = 0; }), kNone, "", {}, kNone, kNone, kNone, kNone},
    };
}

TEST(TiffRawClassification, EveryMemberTickedDividesEachHeaderOnce) {
    for (const Case& c : cases()) {
        const Outcome outcome = runFamily(c.header.build(), everyone());
        EXPECT_STREQ(kNames[outcome.acceptedBy], kNames[c.all]) << c.name;
        EXPECT_EQ(outcome.flags, c.allFlags) << c.name;
    }
}

TEST(TiffRawClassification, EachMemberAloneAnswersForItsOwnType) {
    for (const Case& c : cases()) {
        const Bytes file = c.header.build();
        for (int i = 0; i < kMembers; ++i) {
            const W w = static_cast<W>(i);
            const Outcome outcome = runFamily(file, {w});
            EXPECT_EQ(outcome.acceptedBy == w, c.alone.count(w) == 1) << c.name << ": " << kNames[w] << " alone";
        }
    }
}

TEST(TiffRawClassification, CombinationsOfTickedMembers) {
    for (const Case& c : cases()) {
        const Bytes file = c.header.build();
        EXPECT_STREQ(kNames[runFamily(file, {KDC, K25, DCR}).acceptedBy], kNames[c.kodak]) << c.name << ", Kodak";
        EXPECT_STREQ(kNames[runFamily(file, {ARW, NEF, TIF}).acceptedBy], kNames[c.arwNefTiff])
            << c.name << ", ARW+NEF+TIFF";
        EXPECT_STREQ(kNames[runFamily(file, {KDC, PEF}).acceptedBy], kNames[c.kdcPef]) << c.name << ", KDC+PEF";
        EXPECT_STREQ(kNames[runFamily(file, {NEF, NRW}).acceptedBy], kNames[c.nefNrw]) << c.name << ", NEF+NRW";
    }
}

TEST(TiffRawClassification, GatedMembersAnswerWithoutReading) {
    Header nef;
    nef.make = "NIKON";
    nef.subIfds = true;
    const Outcome outcome = runFamily(nef.build(), {ARW, NEF, TIF});
    EXPECT_EQ(outcome.acceptedBy, NEF);
    ASSERT_EQ(outcome.opensPerMember.size(), 2u);
    EXPECT_GE(outcome.opensPerMember[0], 1);  // ARW classified
    EXPECT_EQ(outcome.opensPerMember[1], 0);  // NEF answered from the flags
    EXPECT_EQ(outcome.flags, "Nef");
}

TEST(TiffRawClassification, SonyR1NeedsTheSonyMakeOnlyInSr2sOwnPass) {
    Header r1;
    r1.make = "Other";
    r1.model = "DSC-R1";
    r1.subIfds = true;
    EXPECT_EQ(runFamily(r1.build(), {SR2, TIF}).acceptedBy, kNone);
    EXPECT_EQ(runFamily(r1.build(), {ARW, SR2}).acceptedBy, SR2);
}

TEST(TiffRawClassification, Sr2sCanonTestLeavesACanonDngToTiff) {
    Header dng;
    dng.make = "Canon";
    dng.dngVersion = true;
    EXPECT_EQ(runFamily(dng.build(), {SR2, DNG, TIF}).acceptedBy, TIF);
    EXPECT_EQ(runFamily(dng.build(), {ARW, DNG, TIF}).acceptedBy, DNG);
}

TEST(TiffRawClassification, KdcOnlyGatesTheKodakMembers) {
    // PEF is not gated by KDC and classifies again for itself.
    Header pef;
    pef.make = "PENTAX";
    pef.ifds = 3;
    const Outcome outcome = runFamily(pef.build(), {KDC, PEF});
    EXPECT_EQ(outcome.acceptedBy, PEF);
    EXPECT_GE(outcome.opensPerMember[1], 1);
}

TEST(TiffRawClassification, PentaxWithADngTagIsADng) {
    Header pentaxDng;
    pentaxDng.make = "PENTAX";
    pentaxDng.dngVersion = true;
    EXPECT_EQ(runFamily(pentaxDng.build(), everyone()).acceptedBy, DNG);
    EXPECT_EQ(runFamily(pentaxDng.build(), {PEF, TIF}).acceptedBy, kNone);
}

TEST(TiffRawClassification, MakeAndModelOffsetsOutOfRangeAnswerNo) {
    TiffBuilder b;
    b.padTo(16);
    b.firstIfd(b.placeIfd({b.short1(256, 1), b.short1(257, 1), b.short1(258, 8), b.short1(259, 1),
                           {271, 2, 12, 0x6400001}}));
    // Beyond ARW's limit for the Make string, within the others'.
    EXPECT_EQ(runFamily(b.bytes(), {ARW, TIF}).acceptedBy, kNone);
    EXPECT_EQ(runFamily(b.bytes(), {TIF}).acceptedBy, TIF);
}

TEST(TiffRawClassification, CancelledScanAnswersNo) {
    TempImage image(64 * 1024);
    const Bytes file = plain().build();
    image.write(0, file);
    auto ctx = contextFor(image.path());
    ctx->bCancelScanning = true;
    TiffFileCheck tiffCheck(*ctx);
    ArwFileCheck arw(*ctx);
    EXPECT_FALSE(tiffCheck.isFile(file.data(), 0));
    EXPECT_FALSE(arw.isFile(file.data(), 0));
}

}  // namespace
}  // namespace pelorin::test
