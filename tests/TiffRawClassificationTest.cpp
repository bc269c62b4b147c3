#include <gtest/gtest.h>

#include <set>

#include "recognisers/raw/TiffRawClassification.h"
#include "support/OpenCounter.h"
#include "support/TestSupport.h"
#include "support/TiffBuilder.h"

namespace pelorin::test {
namespace {

// The sixteen recognisers that share an 'II'/'MM' header, in registry order.
enum W { ARW, SR2, KDC, K25, DCR, PEF, DNG, CR2, NEF, NRW, TIF, ORF, RW2, LEI, FR3, CRW, kNone };
constexpr int kMembers = 16;
const char* const kNames[] = {"ARW", "SR2", "KDC", "K25", "DCR", "PEF", "DNG", "CR2", "NEF", "NRW", "TIF", "ORF", "RW2", "LEI", "3FR", "CRW", "none"};

// What the verdict says the passes found, by name (the byte order left out).
std::string findingsOf(const FamilyVerdict& verdict) {
    static const char* const names[] = {"RawTiff", "CanonRawTiff", "Cr2", "Crw", "Dcr", "K25", "Kdc", "Leica", "Dng", "Nef",
                                        "Nrw", "Orf", "Pef", "Panasonic", "Sr2", "Threefr", "Tiff", "A100", "A700"};
    std::string out;
    for (uint32_t finding = 0; finding <= uint32_t(TiffFinding::A700); ++finding)
        if (has(verdict, TiffFinding(finding))) out += (out.empty() ? "" : " ") + std::string(names[finding]);
    return out;
}

struct Outcome {
    W acceptedBy = kNone;
    std::string findings;
    std::vector<int> opensPerMember;  // device opens of each asked member's header test
};

// Offers sector 0 to the header tests of the ticked members the way the sector
// loop does: in registry order, each gated by whoever is ticked before it, all
// sharing the sector's verdict, until one says yes.
Outcome runFamily(const Bytes& file, const std::set<W>& ticked, bool cancelled = false) {
    TempImage image(256 * 1024);
    image.write(0, file);
    auto ctx = contextFor(image.path());
    ctx->cancelRequested = cancelled;
    TypeSelection selection;
    for (W w : ticked) selection.set(index(FileType::Arw) + w);
    uint8_t bytes[kProbeSize] = {};
    std::copy_n(file.begin(), std::min<std::size_t>(file.size(), kProbeSize), bytes);
    Probe probe(bytes);
    const std::unique_ptr<Recogniser> crw = info(FileType::Crw).factory(*ctx, selection);
    OpenCounter counter(image.path());
    Outcome outcome;
    for (W w : ticked) {
        bool yes = false;
        if (w == CRW) {
            yes = crw->recognise(probe, 0).has_value();
        } else {
            const TiffMember member = static_cast<TiffMember>(w);
            ReadWindow window(*ctx);  // each member reads through its own
            yes = classifyTiffHeader(member, tiffMemberIsGated(member, selection), probe.verdict, *ctx, window, bytes, 0);
        }
        outcome.opensPerMember.push_back(counter.opens());
        if (yes) {
            outcome.acceptedBy = w;
            break;
        }
    }
    outcome.findings = findingsOf(probe.verdict);
    return outcome;
}

std::set<W> everyone() {
    std::set<W> all;
    for (int i = 0; i < kMembers; ++i) all.insert(static_cast<W>(i));
    return all;
}

// A header built from the parts that matter to the classification.
struct Header {
    std::string make = {}, model = {};
    uint8_t magic2 = 0, magic3 = 0;  // 0, 0: magic 42 in the file's byte order
    bool subIfds = false, dngVersion = false;
    bool cr = false;    // 'CR' at header bytes 8-9
    bool heap = false;  // HEAPCCDR at header bytes 6-13
    int ifds = 1;       // IFDs in the main chain
    int fillers = 4;    // plain image tags in the first IFD
    bool little = true;

    Bytes build() const {
        TiffBuilder b(little);
        if (magic2 || magic3) b.magic(magic2, magic3);
        if (cr) b.poke(8, {'C', 'R', 2, 0});
        std::vector<TiffEntry> entries;
        for (int i = 0; i < fillers; ++i) entries.push_back(b.short1(uint16_t(256 + i), 100));
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

struct Case {
    const char* name;
    Header header;
    W all;                 // who accepts with every member ticked
    const char* findings;  // what the passes found, with every member ticked
    std::set<W> alone;     // who accepts when ticked alone
    W kodak, arwNefTiff, kdcPef, nefNrw;
};

const std::vector<Case>& cases() {
    static const std::vector<Case> table{
        {"plain TIFF", {}, TIF, "Tiff", {TIF}, kNone, TIF, kNone, kNone},
        {"Canon TIFF", {.make = "Canon"}, TIF, "RawTiff CanonRawTiff Tiff", {TIF}, kNone, TIF, kNone, kNone},
        {"CR2", {.make = "Canon", .cr = true}, CR2, "Cr2", {CR2}, kNone, kNone, kNone, kNone},
        {"NEF", {.make = "NIKON CORPORATION", .subIfds = true}, NEF, "Nef", {NEF, NRW}, kNone, NEF, kNone, NEF},
        {"big-endian NEF", {.make = "NIKON", .subIfds = true, .little = false}, NEF, "Nef", {NEF, NRW}, kNone, NEF, kNone, NEF},
        {"ARW A700", {.make = "SONY", .model = "DSLR-A700", .subIfds = true}, ARW, "A700", {ARW}, kNone, ARW, kNone, kNone},
        {"ARW A100", {.make = "SONY", .model = "DSLR-A100", .subIfds = true}, ARW, "A100", {ARW}, kNone, ARW, kNone, kNone},
        {"SR2", {.make = "SONY", .model = "DSC-R1", .subIfds = true}, SR2, "Sr2", {SR2}, kNone, kNone, kNone, kNone},
        {"DSC-R1 model without SONY make", {.make = "Other", .model = "DSC-R1", .subIfds = true}, SR2, "Sr2", {}, kNone, kNone, kNone, kNone},
        {"Canon DNG", {.make = "Canon", .dngVersion = true}, DNG, "CanonRawTiff Dng", {DNG}, kNone, kNone, kNone, kNone},
        {"Samsung DNG", {.make = "SAMSUNG", .subIfds = true, .dngVersion = true}, DNG, "Dng", {DNG}, kNone, kNone, kNone, kNone},
        {"PEF", {.make = "PENTAX Corporation", .ifds = 3}, PEF, "Pef", {PEF}, kNone, kNone, PEF, kNone},
        {"Pentax TIFF", {.make = "PENTAX Corporation", .ifds = 2}, TIF, "RawTiff Tiff", {TIF}, kNone, TIF, kNone, kNone},
        {"Pentax with 4 IFDs", {.make = "PENTAX Corporation", .ifds = 4}, PEF, "Pef", {}, kNone, kNone, kNone, kNone},
        {"KDC by model", {.make = "EASTMAN KODAK", .model = "Kodak DC120", .subIfds = true}, KDC, "Kdc", {KDC}, KDC, kNone, KDC, kNone},
        {"KDC by make only", {.make = "Kodak Digital Science DC50", .subIfds = true}, kNone, "", {KDC}, KDC, kNone, KDC, kNone},
        {"K25", {.make = "EASTMAN KODAK", .model = "KODAK DC25", .subIfds = true}, K25, "K25", {K25}, K25, kNone, kNone, kNone},
        {"DCR", {.make = "Kodak", .model = "DCS Pro 14N", .subIfds = true}, DCR, "Dcr", {DCR}, DCR, kNone, kNone, kNone},
        {"ORF", {.make = "OLYMPUS IMAGING", .magic2 = 'R', .magic3 = 'O'}, ORF, "Orf", {ORF}, kNone, kNone, kNone, kNone},
        {"RW2", {.make = "Panasonic", .magic2 = 0x55, .magic3 = 0x00}, RW2, "Panasonic", {RW2}, kNone, kNone, kNone, kNone},
        {"Leica", {.make = "LEICA", .magic2 = 0x55, .magic3 = 0x00}, LEI, "Leica", {LEI}, kNone, kNone, kNone, kNone},
        {"3FR", {.make = "Hasselblad", .subIfds = true}, FR3, "Threefr", {FR3}, kNone, kNone, kNone, kNone},
        {"Hasselblad without SubIFDs", {.make = "Hasselblad"}, TIF, "RawTiff Tiff", {TIF}, kNone, TIF, kNone, kNone},
        {"CRW", {.heap = true}, CRW, "Crw", {CRW}, kNone, kNone, kNone, kNone},
        // ARW's pass needs four entries; the members it gates read its refusal.
        {"plain TIFF with 3 entries", {.fillers = 3}, kNone, "", {TIF}, kNone, kNone, kNone, kNone},
        {"no entries", {.fillers = 0}, kNone, "", {}, kNone, kNone, kNone, kNone},
    };
    return table;
}

TEST(TiffRawClassification, VerdictsForEveryMemberAndCombination) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        const Bytes file = c.header.build();
        const Outcome outcome = runFamily(file, everyone());
        EXPECT_STREQ(kNames[outcome.acceptedBy], kNames[c.all]);
        EXPECT_EQ(outcome.findings, c.findings);
        for (int i = 0; i < kMembers; ++i)
            EXPECT_EQ(runFamily(file, {W(i)}).acceptedBy == W(i), c.alone.count(W(i)) == 1) << kNames[i] << " alone";
        EXPECT_STREQ(kNames[runFamily(file, {KDC, K25, DCR}).acceptedBy], kNames[c.kodak]) << "Kodak";
        EXPECT_STREQ(kNames[runFamily(file, {ARW, NEF, TIF}).acceptedBy], kNames[c.arwNefTiff]) << "ARW+NEF+TIFF";
        EXPECT_STREQ(kNames[runFamily(file, {KDC, PEF}).acceptedBy], kNames[c.kdcPef]) << "KDC+PEF";
        EXPECT_STREQ(kNames[runFamily(file, {NEF, NRW}).acceptedBy], kNames[c.nefNrw]) << "NEF+NRW";
    }
}

TEST(TiffRawClassification, ReadingsThatDependOnWhoElseIsTicked) {
    // A Make string whose offset lies beyond ARW's limit but within the others'.
    TiffBuilder farMake;
    farMake.firstIfd(farMake.placeIfd({farMake.short1(256, 1), farMake.short1(257, 1), farMake.short1(258, 8), farMake.short1(259, 1),
                                       {271, 2, 12, 0x6400001}}));
    const struct {
        const char* name;
        Bytes file;
        std::set<W> ticked;
        W expected;
    } cases[] = {
        {"DSC-R1 needs the SONY make in SR2's own pass", Header{.make = "Other", .model = "DSC-R1", .subIfds = true}.build(), {SR2, TIF}, kNone},
        {"DSC-R1 found by ARW's full pass", Header{.make = "Other", .model = "DSC-R1", .subIfds = true}.build(), {ARW, SR2}, SR2},
        {"SR2's Canon test leaves a Canon DNG to TIFF", Header{.make = "Canon", .dngVersion = true}.build(), {SR2, DNG, TIF}, TIF},
        {"Canon DNG with ARW ticked", Header{.make = "Canon", .dngVersion = true}.build(), {ARW, DNG, TIF}, DNG},
        {"Pentax with a DNG tag, all ticked", Header{.make = "PENTAX", .dngVersion = true}.build(), everyone(), DNG},
        {"Pentax with a DNG tag, PEF and TIFF", Header{.make = "PENTAX", .dngVersion = true}.build(), {PEF, TIF}, kNone},
        {"Make beyond ARW's limit, ARW ticked", farMake.bytes(), {ARW, TIF}, kNone},
        {"Make beyond ARW's limit, TIFF alone", farMake.bytes(), {TIF}, TIF},
    };
    for (const auto& c : cases) EXPECT_STREQ(kNames[runFamily(c.file, c.ticked).acceptedBy], kNames[c.expected]) << c.name;
}

TEST(TiffRawClassification, GatedMembersAnswerWithoutReadingAndCancelledOnesNo) {
    const Outcome nef = runFamily(Header{.make = "NIKON", .subIfds = true}.build(), {ARW, NEF, TIF});
    EXPECT_EQ(nef.acceptedBy, NEF);
    EXPECT_EQ(nef.findings, "Nef");
    ASSERT_EQ(nef.opensPerMember.size(), 2u);
    EXPECT_GE(nef.opensPerMember[0], 1);  // ARW classified
    EXPECT_EQ(nef.opensPerMember[1], 0);  // NEF answered from the verdict
    // PEF is not gated by KDC and classifies again for itself.
    const Outcome pef = runFamily(Header{.make = "PENTAX", .ifds = 3}.build(), {KDC, PEF});
    EXPECT_EQ(pef.acceptedBy, PEF);
    EXPECT_GE(pef.opensPerMember.at(1), 1);
    // A cancelled scan answers NO.
    EXPECT_EQ(runFamily(Header{}.build(), {ARW, TIF}, true).acceptedBy, kNone);
}

}  // namespace
}  // namespace pelorin::test
