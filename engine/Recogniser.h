#pragma once
// The contract every file-type recogniser fulfils towards the sector loop: one
// call that says whether a file of its type starts at the sector, and what
// the loop is to do about it. What the type table says about a type (its
// folder, extension, first byte) is said there only.

#include <bitset>
#include <cstdint>
#include <optional>
#include <string_view>

#include "engine/Probe.h"
#include "engine/ScanContext.h"

namespace pelorin {

// A preview JPEG a raw file embeds, filed beside the raw file.
struct Preview {
    uint64_t sector = 0;      // where it starts...
    uint32_t extraBytes = 0;  // ...and how far into that sector
    uint64_t size = 0;        // 0: none found
};

struct Match {
    uint64_t size = 0;               // 0: the header matched, but no usable file follows it
    uint64_t skipPast = 0;           // bytes from the sector on the loop need not look at again
    Preview preview;
    std::string_view extension;      // the file's own, where it is not the folder's (X3F's Sigma TIFFs)
    bool handOn = false;             // the pass goes on to the next recogniser (NEF finding an NRW)
};

class Recogniser {
public:
    explicit Recogniser(ScanContext& context) : ctx(context) {}
    virtual ~Recogniser() = default;
    Recogniser(const Recogniser&) = delete;
    Recogniser& operator=(const Recogniser&) = delete;

    // Nothing when no file of this type starts at the sector, whose first
    // bytes the probe holds; a match otherwise, which ends the sector's pass
    // unless it hands on.
    virtual std::optional<Match> recognise(Probe& probe, uint64_t sector) = 0;

    // The first bytes a header of this type can start with. The loop does not
    // ask a recogniser about a sector whose first byte is outside this set, so
    // a recogniser that narrows it must answer nothing, with no side effect, for
    // every probe whose first byte is outside it.
    virtual std::bitset<256> acceptedFirstBytes() const { return std::bitset<256>().set(); }

    // True for a type whose header may start with any byte (a time code) but
    // always has a transport packet's sync byte, kTransportSync, at offset 4.
    // The loop then asks it only about sectors with that byte there, so that
    // it costs nothing on the others; it must answer nothing, with no side
    // effect, for every probe without it.
    static constexpr uint8_t kTransportSync = 0x47;
    virtual bool needsTransportSyncAtFour() const { return false; }

protected:
    ScanContext& ctx;
};

}  // namespace pelorin
