#pragma once
// QuickTime and ISO base media files (MOV, MP4, M4A, M4B, M4V, 3GP, 3G2).
// The seven types share one atom walk; each member differs only in its header
// test and in a few rules of the walk, held in an IsoMemberRules record.

#include <string_view>

#include "engine/ReadWindow.h"
#include "engine/Recogniser.h"

namespace pelorin {

struct IsoMemberRules {
    // How the read window moves on when an atom takes the walk past it.
    enum class WindowAdvance {
        By64KiBBlocks,   // whole 64 KiB steps from the header's sector
        ToSectorOfTotal  // straight to the sector holding the next atom
    };
    // What a walk whose total passes 2^32 - 16 files.
    enum class LargeFileRule {
        DropLastAtomPlusSlack,  // total - last atom + 512
        FixedSixtyMiBPlusSlack, // 62,914,560 + 512
        DropLastAtom            // total - last atom
    };

    std::string_view brandPrefix;  // the three-letter major brand, for the brand-only members
    bool testsFirstAtomSize;       // 8 <= first atom size <= 1 MiB
    bool testsSecondAtom;          // the atom after the first must have a known type
    bool zeroSizeTakenAsEight;     // otherwise a zero-size atom ends the walk
    bool stopsPastTwoGiB;
    WindowAdvance windowAdvance;
    LargeFileRule largeFileRule;
};

class IsoBaseMediaFileCheck : public Recogniser {
public:
    std::optional<Match> recognise(Probe& probe, uint64_t sector) final;
    // A first atom of at most 1 MiB starts with a zero byte.
    std::bitset<256> acceptedFirstBytes() const final {
        return rules.testsFirstAtomSize ? std::bitset<256>().set(0x00) : std::bitset<256>().set();
    }

    // The top-level atom types a walk accepts.
    static bool isWalkListType(uint32_t type);

protected:
    IsoBaseMediaFileCheck(ScanContext& context, const IsoMemberRules& memberRules)
        : Recogniser(context), rules(memberRules) {}

    // The member's own test of the first atom (size, type and brand).
    virtual bool firstAtomMatches(const uint8_t* probe) const;
    virtual ReadWindow& window() = 0;

private:
    bool headerMatches(const uint8_t* probe, uint64_t sectorNumber);
    uint64_t fileSize(uint64_t sectorNumber);
    uint64_t walkTopLevelAtoms(uint64_t sectorNumber, uint64_t& lastAtomSize);

    const IsoMemberRules& rules;
};

class MovFileCheck final : public IsoBaseMediaFileCheck {
public:
    explicit MovFileCheck(ScanContext& context);

private:
    bool firstAtomMatches(const uint8_t* probe) const override;
    ReadWindow& window() override { return window_; }
    ReadWindow window_;
};

class Mp4FileCheck final : public IsoBaseMediaFileCheck {
public:
    explicit Mp4FileCheck(ScanContext& context);

private:
    bool firstAtomMatches(const uint8_t* probe) const override;
    ReadWindow& window() override { return window_; }
    ReadWindow window_;
};

class M4aFileCheck final : public IsoBaseMediaFileCheck {
public:
    explicit M4aFileCheck(ScanContext& context);

private:
    ReadWindow& window() override { return window_; }
    ReadWindow window_;
};

class M4bFileCheck final : public IsoBaseMediaFileCheck {
public:
    explicit M4bFileCheck(ScanContext& context);

private:
    ReadWindow& window() override { return window_; }
    ReadWindow window_;
};

class M4vFileCheck final : public IsoBaseMediaFileCheck {
public:
    explicit M4vFileCheck(ScanContext& context);

private:
    ReadWindow& window() override { return window_; }
    ReadWindow window_;
};

class ThreeGpFileCheck final : public IsoBaseMediaFileCheck {
public:
    explicit ThreeGpFileCheck(ScanContext& context);

private:
    ReadWindow& window() override { return window_; }
    ReadWindow window_;
};

class ThreeGTwoFileCheck final : public IsoBaseMediaFileCheck {
public:
    explicit ThreeGTwoFileCheck(ScanContext& context);

private:
    ReadWindow& window() override { return window_; }
    ReadWindow window_;
};

}  // namespace pelorin
