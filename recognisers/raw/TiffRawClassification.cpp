#include "recognisers/raw/TiffRawClassification.h"

#include <array>
#include <cstring>

#include "recognisers/raw/TiffWalker.h"

namespace pelorin {
namespace {

using enum TiffFinding;
template <class... F>
constexpr uint32_t bits(F... findings) { return (bit(findings) | ...); }

using M = TiffMember;
constexpr uint32_t member(M m) { return uint32_t{1} << static_cast<unsigned>(m); }
template <class... T>
constexpr uint32_t members(T... m) { return (member(m) | ...); }

// Model strings that name a type by the camera. Rows are tried in this order.
enum ModelGroup : uint32_t { SonyR1, DcsPro, SonyA700, SonyA100, Dcs669C, KodakDc25, DcsProSlr, KodakDc120, DcsAnywhere, KodakDc50, KodakP880 };
struct ModelRow {
    const char* text;
    ModelGroup group;
    uint32_t compared;  // bytes compared; a whole match includes the terminating NUL
    uint32_t sets;
    uint32_t clears;
    bool stop;          // no further row is tried after a match
};
constexpr std::array<ModelRow, 14> kModelRows{{
    {"DSC-R1", SonyR1, 7, bit(Sr2), 0, false},
    {"DCS PRO", DcsPro, 8, bit(Dcr), 0, false},
    {"DSLR-A700", SonyA700, 9, bit(A700), bit(A100), false},
    {"DSLR-A200", SonyA700, 9, bit(A700), bit(A100), false},
    {"DSLR-A300", SonyA700, 9, bit(A700), bit(A100), false},
    {"DSLR-A350", SonyA700, 9, bit(A700), bit(A100), false},
    {"DSLR-A100", SonyA100, 9, bit(A100), bit(A700), false},
    {"DCS 669C", Dcs669C, 9, bit(Dcr), 0, false},
    {"KODAK DC25", KodakDc25, 10, bit(K25), 0, true},
    {"DCS Pro SLR", DcsProSlr, 11, bit(Dcr), 0, false},
    {"Kodak DC120", KodakDc120, 11, bit(Kdc), 0, true},
    {"DCS", DcsAnywhere, 3, bit(Dcr), 0, false},  // anywhere in the first 11 bytes
    {"Kodak Digital Science DC50", KodakDc50, 26, bit(Kdc), 0, true},
    {"KODAK P880 ZOOM DIGITAL CAMERA", KodakP880, 30, bit(Kdc), 0, true},
}};
constexpr uint32_t group(ModelGroup g) { return uint32_t{1} << g; }
constexpr uint32_t kAllModels = (uint32_t{1} << (KodakP880 + 1)) - 1;
constexpr uint32_t kModelsWithoutSony = kAllModels & ~(group(SonyR1) | group(SonyA700) | group(SonyA100));

// Make strings that name a Kodak KDC camera (KDC's own pass only).
constexpr std::array<std::pair<const char*, uint32_t>, 3> kKodakKdcMakes{{
    {"Kodak DC120", 11}, {"Kodak Digital Science DC50", 26}, {"KODAK P880 ZOOM DIGITAL CAMERA", 30},
}};

enum class MakeRule : uint8_t { Skip, Test, Refuse };  // Refuse: the prefix alone answers NO
enum class CanonRule : uint8_t {
    Skip, Refuse,
    FullForm,         // 'CR' marks a CR2 and answers NO; otherwise a raw-style TIFF
    NoAfterFindings,  // as the full form, then NO in either case
    Cr2Accepts,       // 'CR' marks a CR2 and the walk goes on
    Cr2Refused,       // 'CR' answers NO without a finding; otherwise a raw-style TIFF
};
enum class PentaxRule : uint8_t { Skip, Refuse, FullForm, CountOnly };
enum class OlympusRule : uint8_t { Skip, Refuse, NotPlainAndFinding, FindingOnly };
enum class EndRule : uint8_t {
    PlainTiffTest,   // magic 42 without raw structure is a plain TIFF
    StructureOnly,   // without raw structure the listed findings are dropped; no plain-TIFF test
};

struct MemberDescription {
    uint32_t gate;             // members whose selection makes this one answer from the verdict
    uint32_t gatedAnswer;      // findings a gated member answers from
    uint32_t clearFirst;       // cleared before the byte order is read
    uint32_t clearAfterOrder;  // cleared once the byte order is known
    uint32_t minEntries;       // of the first IFD (at most 100 for everyone)
    uint32_t makeOffsetLimit;  // of the Make and Model strings
    CanonRule canon;
    MakeRule nikon, leica, phase;
    PentaxRule pentax;
    OlympusRule olympus;
    MakeRule panasonic, hasselblad;
    bool sonyMakeFindsR1;      // Make "SONY" looks for Model "DSC-R1"
    bool kodakMakes;           // the KDC Make rows
    uint32_t modelGroups;      // 0: the Model tag is ignored
    uint32_t dngClears;        // a DNG version tag clears these...
    bool dngSetsDng;           // ...sets the DNG finding...
    bool dngAnswer;            // ...and answers this
    uint32_t ownRule;          // findings the member answers from after its pass
    bool ownRuleBeforePlainTest;
    EndRule end;
    uint32_t plainClears;      // cleared for a plain structure
    bool plainSetsTiff;
    bool plainAnswer;
};

constexpr uint32_t kFullStep3 = bits(Cr2, Crw, Leica, Nef, Orf, Pef, Dng, Panasonic, Sr2, Tiff);
constexpr uint32_t kFullDngClears = bits(RawTiff, Cr2, Crw, K25, Kdc, Dcr, Leica, Nef, Orf, Pef, Panasonic, Sr2, Tiff, Threefr);
constexpr uint32_t kGateToCr2 = members(M::Arw, M::Sr2, M::Pef, M::Dng);
constexpr uint32_t kGateToOrf = members(M::Arw, M::Sr2, M::Pef, M::Dng, M::Cr2, M::Nef, M::Tiff);

// The full form of the pass; each member's description changes what differs.
constexpr MemberDescription fullForm(uint32_t ownRule) {
    return MemberDescription{
        .gate = 0, .gatedAnswer = ownRule,
        .clearFirst = bits(RawTiff, A100, A700), .clearAfterOrder = kFullStep3,
        .minEntries = 2, .makeOffsetLimit = tiff::kOffsetLimit,
        .canon = CanonRule::FullForm, .nikon = MakeRule::Test, .leica = MakeRule::Test, .phase = MakeRule::Test,
        .pentax = PentaxRule::FullForm, .olympus = OlympusRule::NotPlainAndFinding,
        .panasonic = MakeRule::Test, .hasselblad = MakeRule::Test,
        .sonyMakeFindsR1 = false, .kodakMakes = false, .modelGroups = 0,
        .dngClears = kFullDngClears, .dngSetsDng = true, .dngAnswer = false,
        .ownRule = ownRule, .ownRuleBeforePlainTest = false,
        .end = EndRule::PlainTiffTest, .plainClears = kFullDngClears | bit(Dng), .plainSetsTiff = true, .plainAnswer = false,
    };
}

constexpr MemberDescription describe(M m) {
    MemberDescription d = fullForm(0);
    switch (m) {
    case M::Arw:
        d = fullForm(bits(A700, A100));
        d.minEntries = 4;
        d.makeOffsetLimit = tiff::kMakeOffsetLimit;
        d.modelGroups = kAllModels;
        break;
    case M::Sr2:
        d = fullForm(bit(Sr2));
        d.gate = members(M::Arw);
        d.makeOffsetLimit = tiff::kMakeOffsetLimit;
        d.canon = CanonRule::NoAfterFindings;
        d.sonyMakeFindsR1 = true;
        d.modelGroups = kModelsWithoutSony;
        d.ownRuleBeforePlainTest = true;
        break;
    case M::Kdc:
        d = fullForm(bit(Kdc));
        d.gate = members(M::Arw, M::Sr2);
        d.canon = CanonRule::NoAfterFindings;
        d.kodakMakes = true;
        d.modelGroups = kModelsWithoutSony;
        break;
    case M::K25:
        d = fullForm(bit(K25));
        d.gate = members(M::Arw, M::Sr2, M::Kdc);
        d.canon = CanonRule::NoAfterFindings;
        d.modelGroups = group(KodakDc25) | group(DcsPro) | group(Dcs669C) | group(DcsAnywhere);
        break;
    case M::Dcr:
        d = fullForm(bit(Dcr));
        d.gate = members(M::Arw, M::Sr2, M::Kdc, M::K25);
        d.canon = CanonRule::NoAfterFindings;
        d.modelGroups = group(DcsAnywhere);
        break;
    case M::Pef:
        d = fullForm(bit(Pef));
        d.gate = members(M::Arw, M::Sr2);
        break;
    case M::Dng:
        d = fullForm(bit(Dng));
        d.gate = members(M::Arw, M::Sr2, M::Pef);
        d.dngAnswer = true;
        break;
    case M::Cr2:
        d = fullForm(bit(Cr2));
        d.gate = kGateToCr2;
        d.canon = CanonRule::Cr2Accepts;
        d.dngSetsDng = false;
        d.ownRuleBeforePlainTest = true;
        break;
    case M::Nef:
    case M::Nrw:
        d = fullForm(bit(Nef));
        d.gate = kGateToCr2 | member(M::Cr2);
        if (m == M::Nrw) {
            d.gate |= member(M::Nef);
            d.gatedAnswer = bits(Nrw, Nef);
        }
        d.dngSetsDng = false;
        break;
    case M::Tiff:
        d = fullForm(bit(Tiff));
        d.gate = members(M::Arw, M::Sr2, M::Pef, M::Dng, M::Cr2, M::Nef, M::Kdc, M::K25, M::Dcr);
        d.clearFirst = bit(RawTiff);
        d.clearAfterOrder = bits(Crw, Leica, Orf, Panasonic);
        d.canon = CanonRule::Cr2Refused;
        d.nikon = MakeRule::Skip;
        d.pentax = PentaxRule::CountOnly;
        d.olympus = OlympusRule::FindingOnly;
        d.dngClears = bits(Crw, Leica, Orf, Panasonic, Threefr, Tiff);
        d.dngSetsDng = false;
        d.plainClears = bits(Crw, Leica, Orf, Panasonic, Threefr);
        d.plainSetsTiff = false;
        d.plainAnswer = true;
        break;
    case M::Orf:
        d = fullForm(bit(Orf));
        d.gate = kGateToOrf;
        d.canon = CanonRule::Refuse;
        d.nikon = MakeRule::Refuse;
        d.olympus = OlympusRule::FindingOnly;
        d.dngSetsDng = false;
        d.end = EndRule::StructureOnly;
        d.plainClears = bits(Leica, Panasonic, Threefr);
        break;
    case M::RawPanasonic:
    case M::Leica:
    case M::Threefr:
        d = fullForm(0);
        d.canon = CanonRule::Refuse;
        d.nikon = MakeRule::Refuse;
        d.phase = MakeRule::Skip;
        d.pentax = PentaxRule::Skip;
        d.olympus = OlympusRule::Skip;
        d.panasonic = MakeRule::Skip;
        d.dngClears = 0;
        d.dngSetsDng = false;
        d.end = EndRule::StructureOnly;
        if (m == M::RawPanasonic) {
            d.gate = kGateToOrf | member(M::Orf);
            d.pentax = PentaxRule::Refuse;
            d.olympus = OlympusRule::Refuse;
            d.panasonic = MakeRule::Test;
            d.plainClears = bits(Leica, Panasonic, Threefr);
            d.ownRule = d.gatedAnswer = bit(Panasonic);
        } else if (m == M::Leica) {
            d.gate = kGateToOrf | members(M::Orf, M::RawPanasonic);
            d.plainClears = bits(Leica, Threefr);
            d.ownRule = d.gatedAnswer = bit(Leica);
        } else {
            d.gate = kGateToOrf | members(M::Orf, M::RawPanasonic, M::Leica);
            d.leica = MakeRule::Refuse;
            d.plainClears = bit(Threefr);
            d.ownRule = d.gatedAnswer = bit(Threefr);
        }
        break;
    }
    return d;
}

constexpr std::array<MemberDescription, kTiffMemberCount> kMembers = [] {
    std::array<MemberDescription, kTiffMemberCount> table{};
    for (int i = 0; i < kTiffMemberCount; ++i) table[i] = describe(static_cast<M>(i));
    return table;
}();

bool startsWith(const uint8_t* text, const char* prefix, std::size_t length) {
    return std::memcmp(text, prefix, length) == 0;
}

enum class Step : uint8_t { Continue, AnswerNo, AnswerYes };

// One run of the pass for one member.
class Pass {
public:
    Pass(const MemberDescription& description, FamilyVerdict& sectorVerdict, const ScanContext& context,
         ReadWindow& window, const uint8_t* header, uint64_t sectorNumber)
        : d(description), verdict(sectorVerdict), ctx(context), probe(header),
          walker(window, context, sectorNumber, header[0] == 'I') {}

    bool run() {
        clear(d.clearFirst);
        verdict.byteOrder = tiff::byteOrderOf(probe);
        if (verdict.byteOrder == ByteOrder::Unknown) return false;
        clear(d.clearAfterOrder);
        // A Canon CRW also begins with a byte-order mark; it is handed on.
        if (tiff::isHeapCcdr(probe)) {
            set(bit(Crw));
            return false;
        }
        firstIfdOffset = tiff::firstIfdOffset(probe, walker.littleEndian());
        if (firstIfdOffset < 8 || firstIfdOffset > tiff::kOffsetLimit) return false;
        if (!walker.readIfd(firstIfdOffset, ifd)) return false;
        if (ifd.entryCount < d.minEntries || ifd.entryCount > tiff::kMaxEntries) return false;

        for (uint32_t i = 0; i < ifd.entryCount; ++i) {
            if (ctx.cancelled()) return false;
            const IfdEntry& entry = ifd.entries[i];
            Step step = Step::Continue;
            switch (entry.tag) {
            case tiff::kTagMake: step = make(entry, i); break;
            case tiff::kTagModel: step = model(entry); break;
            case tiff::kTagDngVersion:
            case tiff::kTagDngBackwardVersion:
                // Every file whose first IFD holds a DNG version tag is a DNG, whoever made it.
                clear(d.dngClears);
                if (d.dngSetsDng) set(bit(Dng));
                step = d.dngAnswer ? Step::AnswerYes : Step::AnswerNo;
                break;
            case tiff::kTagSubIfds: notPlain = true; break;
            default: break;
            }
            if (step != Step::Continue) return step == Step::AnswerYes;
        }

        if (d.ownRuleBeforePlainTest && any(d.ownRule)) return true;
        if (d.end == EndRule::StructureOnly) {
            if (!notPlain) clear(d.plainClears);
            return any(d.ownRule);
        }
        if (tiff::hasMagic42(probe) && !notPlain) {
            clear(d.plainClears);
            if (d.plainSetsTiff) set(bit(Tiff));
            if (makeSeen) set(bit(RawTiff));
            return d.plainAnswer;
        }
        return any(d.ownRule);
    }

private:
    void set(uint32_t mask) { verdict.findings |= mask; }
    void clear(uint32_t mask) { verdict.findings &= ~mask; }
    bool any(uint32_t mask) const { return (verdict.findings & mask) != 0; }

    bool magic55() const { return probe[2] == 0x55 && probe[3] == 0x00; }
    bool olympusMagic() const { return probe[2] == 'R' && (probe[3] == 'S' || probe[3] == 'O'); }

    bool readString(uint32_t offset, uint8_t (&text)[33]) {
        std::memset(text, 0, sizeof text);
        return walker.bytes(offset, text, 32);
    }

    Step make(const IfdEntry& entry, uint32_t index) {
        makeSeen = true;
        if (entry.valueField > d.makeOffsetLimit) return Step::AnswerNo;
        uint8_t text[33];
        if (!readString(entry.valueField, text)) return Step::AnswerNo;

        if (startsWith(text, "Canon", 5) && d.canon != CanonRule::Skip) {
            if (d.canon == CanonRule::Refuse) return Step::AnswerNo;
            if (tiff::hasMagic42(probe)) {
                const bool cr2 = probe[8] == 'C' && probe[9] == 'R';
                if (cr2 && d.canon == CanonRule::Cr2Refused) return Step::AnswerNo;
                if (cr2) {
                    set(bit(Cr2));
                    if (d.canon != CanonRule::Cr2Accepts) return Step::AnswerNo;
                } else {
                    set(bits(CanonRawTiff, RawTiff, Tiff));
                }
                if (d.canon == CanonRule::NoAfterFindings) return Step::AnswerNo;
            }
        } else if (startsWith(text, "NIKON", 5) && d.nikon != MakeRule::Skip) {
            if (d.nikon == MakeRule::Refuse) return Step::AnswerNo;
            set(bit(Nef));
        } else if (startsWith(text, "LEICA", 5) && d.leica != MakeRule::Skip) {
            if (d.leica == MakeRule::Refuse) return Step::AnswerNo;
            if (magic55()) {
                notPlain = true;
                set(bit(Leica));
            }
        } else if (startsWith(text, "Phase", 5) && d.phase != MakeRule::Skip) {
            if (d.phase == MakeRule::Refuse) return Step::AnswerNo;
            set(bits(Tiff, RawTiff));
        } else if (startsWith(text, "PENTAX", 6) && d.pentax != PentaxRule::Skip) {
            if (d.pentax == PentaxRule::Refuse) return Step::AnswerNo;
            return pentax(index);
        } else if (startsWith(text, "OLYMPUS", 7) && d.olympus != OlympusRule::Skip) {
            if (d.olympus == OlympusRule::Refuse) return Step::AnswerNo;
            if (olympusMagic()) {
                if (d.olympus == OlympusRule::NotPlainAndFinding) notPlain = true;
                set(bit(Orf));
            }
        } else if (startsWith(text, "Panason", 7) && d.panasonic != MakeRule::Skip) {
            if (d.panasonic == MakeRule::Refuse) return Step::AnswerNo;
            if (magic55()) {
                notPlain = true;
                set(bit(Panasonic));
            }
        } else if (startsWith(text, "Hasselb", 7) && d.hasselblad != MakeRule::Skip) {
            if (d.hasselblad == MakeRule::Refuse) return Step::AnswerNo;
            set(bit(Threefr));
        } else if (startsWith(text, "SONY", 4) && d.sonyMakeFindsR1) {
            return sonyR1(index);
        } else if (d.kodakMakes) {
            for (const auto& [name, length] : kKodakKdcMakes)
                if (startsWith(text, name, length)) set(bit(Kdc));
        }
        return Step::Continue;
    }

    Step pentax(uint32_t index) {
        if (d.pentax == PentaxRule::FullForm) {
            for (uint32_t i = index + 1; i < ifd.entryCount; ++i) {
                const uint16_t tag = ifd.entries[i].tag;
                if (tag == tiff::kTagDngVersion || tag == tiff::kTagDngBackwardVersion || tag == 50708 || tag == 50721)
                    set(bit(Dng));
            }
            set(bit(Pef));
        }
        switch (walker.pentaxIfdCount(firstIfdOffset)) {
        case 1:  // one or two IFDs: a Pentax TIFF
            if (d.pentax == PentaxRule::FullForm) clear(bit(Pef));
            notPlain = false;
            set(bits(RawTiff, Tiff));
            return Step::Continue;
        case 2:  // exactly three: a PEF
            notPlain = true;
            return Step::Continue;
        default:
            return Step::AnswerNo;
        }
    }

    Step sonyR1(uint32_t index) {
        for (uint32_t i = index + 1; i < ifd.entryCount; ++i) {
            const IfdEntry& entry = ifd.entries[i];
            if (entry.tag != tiff::kTagModel || entry.valueField > d.makeOffsetLimit) continue;
            uint8_t text[33];
            if (!readString(entry.valueField, text)) return Step::AnswerNo;
            if (startsWith(text, "DSC-R1", 6)) set(bit(Sr2));
            break;
        }
        return Step::Continue;
    }

    Step model(const IfdEntry& entry) {
        if (d.modelGroups == 0) return Step::Continue;
        makeSeen = true;
        if (entry.valueField > d.makeOffsetLimit) return Step::AnswerNo;
        uint8_t text[33];
        if (!readString(entry.valueField, text)) return Step::AnswerNo;
        const uint32_t length = entry.count < 32 ? entry.count : 32;
        for (const ModelRow& row : kModelRows) {
            if (!(d.modelGroups & group(row.group)) || length < row.compared) continue;
            bool match = false;
            if (row.group == DcsAnywhere) {
                const uint32_t searched = length < 11 ? length : 11;
                for (uint32_t at = 0; at + 3 <= searched && !match; ++at) match = startsWith(text + at, "DCS", 3);
            } else {
                match = startsWith(text, row.text, row.compared);
            }
            if (!match) continue;
            clear(row.clears);
            set(row.sets);
            if (row.stop) break;
        }
        return Step::Continue;
    }

    const MemberDescription& d;
    FamilyVerdict& verdict;
    const ScanContext& ctx;
    const uint8_t* probe;
    TiffWalker walker;
    Ifd ifd;
    uint32_t firstIfdOffset = 0;
    bool makeSeen = false;
    bool notPlain = false;
};

}  // namespace

bool tiffMemberIsGated(TiffMember m, const TypeSelection& ticked) {
    const uint32_t gate = kMembers[static_cast<int>(m)].gate;
    for (int i = 0; i < kTiffMemberCount; ++i)
        if ((gate & (uint32_t{1} << i)) && ticked[index(fileTypeOf(static_cast<TiffMember>(i)))]) return true;
    return false;
}

bool classifyTiffHeader(TiffMember m, bool gated, FamilyVerdict& verdict, const ScanContext& ctx, ReadWindow& window,
                        const uint8_t* probe, uint64_t sectorNumber) {
    const MemberDescription& d = kMembers[static_cast<int>(m)];
    if (gated) return (verdict.findings & d.gatedAnswer) != 0;
    return Pass(d, verdict, ctx, window, probe, sectorNumber).run();
}

}  // namespace pelorin
