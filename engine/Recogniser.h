#pragma once
// The contract every file-type recogniser fulfils towards the sector loop.

#include <bitset>
#include <cstdint>
#include <string>

#include "engine/ScanContext.h"

namespace pelorin {

inline constexpr int kProbeSize = 25;

class Recogniser {
public:
    explicit Recogniser(ScanContext& context) : ctx(context) {}
    virtual ~Recogniser() = default;
    Recogniser(const Recogniser&) = delete;
    Recogniser& operator=(const Recogniser&) = delete;

    // True when the probe (the first 25 bytes of the sector) starts a file of
    // this type. May read further into the device and record state for the
    // size calculation that follows on the same sector.
    virtual bool isFile(const uint8_t* probe, uint64_t sectorNumber) = 0;

    // Length in bytes of the file that starts at the sector; 0 when no usable
    // file starts there. Called only right after isFile answered true.
    virtual uint64_t fileSizeCalculation(const uint8_t* probe, uint64_t sectorNumber) = 0;

    // Lower bound on the first byte of every header this recogniser accepts.
    virtual uint32_t firstByteOfHeader() const = 0;

    // Key of the type folder the found file goes to.
    virtual std::string parentKey() = 0;

    // The first bytes a header of this type can start with. The loop does not
    // ask a recogniser about a sector whose first byte is outside this set, so
    // a recogniser that narrows it must answer false, with no side effect, for
    // every probe whose first byte is outside it.
    virtual std::bitset<256> acceptedFirstBytes() const { return std::bitset<256>().set(); }

    // Extension of the file sized last, where it varies per file (X3F).
    virtual std::string extensionOfFile() const { return {}; }

    virtual void closeFile() {}

protected:
    ScanContext& ctx;
};

}  // namespace pelorin
