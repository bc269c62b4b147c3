#pragma once
// AVCHD and Blu-ray transport streams (.MTS, .M2TS): packets of 192 bytes, a
// 4-byte time code and then a 188-byte transport packet that starts with the
// sync byte 0x47. A clip starts with a few packets in step whose first
// carries a table (the program association table, or a service information
// table); it goes on while each packet has its sync byte and a packet id that
// is a table's, the null packet's or one the program tables list. One clip is
// one file, skipped by the scan loop so that the tables repeated inside it do
// not start files of their own.

#include <bitset>

#include "engine/FileCursor.h"
#include "engine/ReadWindow.h"
#include "engine/Recogniser.h"

namespace pelorin {

class MtsFileCheck final : public Recogniser {
public:
    static constexpr uint32_t kPacketSize = 192;

    explicit MtsFileCheck(ScanContext& context) : Recogniser(context), window_(context) {}

    // The time code takes any first byte: the loop asks only about sectors
    // with the sync byte after it.
    std::optional<Match> recognise(Probe& probe, uint64_t sector) override;
    bool needsTransportSyncAtFour() const override { return true; }

private:
    void learnPids(FileCursor& cursor, uint64_t packet, uint32_t pid);
    uint64_t walk(FileCursor& cursor, uint64_t sourceEnd);

    ReadWindow window_;
    std::bitset<8192> listedPids_;
    std::bitset<8192> programTablePids_;
};

}  // namespace pelorin
