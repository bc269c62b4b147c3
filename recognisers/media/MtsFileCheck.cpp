#include "recognisers/media/MtsFileCheck.h"

#include "recognisers/media/SourceExtent.h"

namespace pelorin {
namespace {

constexpr uint8_t kSyncByte = Recogniser::kTransportSync;
constexpr uint32_t kSyncOffset = 4;     // after the time code
constexpr uint32_t kPacketsInStep = 4;  // packets a clip's start must hold
constexpr uint32_t kLastTablePid = 0x1F;  // PIDs up to this one carry tables (PAT, SDT, SIT, ...)
constexpr uint32_t kNullPid = 0x1FFF;
constexpr uint8_t kProgramAssociation = 0x00;
constexpr uint8_t kProgramMap = 0x02;
constexpr uint8_t kNoTable = 0xFF;  // stuffing after the sections
constexpr uint8_t kLargestPointer = 176;  // leaves a section header in the packet

// The packet's id, from the two bytes after the sync byte.
uint32_t pidOf(uint32_t afterSync) { return afterSync & 0x1FFF; }
bool hasError(uint32_t afterSync) { return afterSync & 0x8000; }
bool startsSection(uint32_t afterSync) { return afterSync & 0x4000; }

// The adaptation field control: whether the packet has a payload, and an
// adaptation field before it.
bool carriesPayload(uint8_t control) { return control & 0x10; }
bool hasAdaptationField(uint8_t control) { return control & 0x20; }

}  // namespace

// A program association table lists the program map tables' ids; a program
// map table lists its streams' ids and the one carrying the clock. Tables
// longer than one packet are read as far as the packet goes.
void MtsFileCheck::learnPids(FileCursor& cursor, uint64_t packet, uint32_t pid) {
    const uint8_t control = cursor.byte(packet + 7);
    if (!carriesPayload(control)) return;
    const uint64_t packetEnd = packet + kPacketSize;
    // An adaptation field, when there is one, starts with its length.
    uint64_t at = hasAdaptationField(control) ? packet + 9 + cursor.byte(packet + 8) : packet + 8;
    at += 1 + cursor.byte(at);  // the pointer to the section
    if (at + 8 > packetEnd) return;
    const uint8_t table = cursor.byte(at);
    const uint64_t sectionEnd = at + 3 + (cursor.be16(at + 1) & 0x0FFF);
    const uint64_t end = (sectionEnd < packetEnd ? sectionEnd : packetEnd);
    const uint64_t entriesEnd = end >= 4 ? end - 4 : 0;  // before the CRC-32
    if (pid == 0 && table == kProgramAssociation) {
        for (uint64_t entry = at + 8; entry + 4 <= entriesEnd; entry += 4) {
            const uint32_t listed = pidOf(cursor.be16(entry + 2));
            listedPids_.set(listed);
            if (cursor.be16(entry) != 0) programTablePids_.set(listed);  // program 0 names the network table
        }
    } else if (programTablePids_[pid] && table == kProgramMap) {
        listedPids_.set(pidOf(cursor.be16(at + 8)));  // the clock's
        uint64_t entry = at + 12 + (cursor.be16(at + 10) & 0x0FFF);
        while (entry + 5 <= entriesEnd) {
            listedPids_.set(pidOf(cursor.be16(entry + 1)));
            entry += 5 + (cursor.be16(entry + 3) & 0x0FFF);
        }
    }
}

uint64_t MtsFileCheck::walk(FileCursor& cursor, uint64_t sourceEnd) {
    listedPids_.reset();
    programTablePids_.reset();
    for (uint32_t pid = 0; pid <= kLastTablePid; ++pid) listedPids_.set(pid);
    listedPids_.set(kNullPid);
    uint64_t at = 0;
    while (at < sourceEnd && !ctx.cancelled()) {
        if (!cursor.reach(at) || cursor.byte(at + kSyncOffset) != kSyncByte) break;
        const uint32_t afterSync = cursor.be16(at + kSyncOffset + 1);
        const uint32_t pid = pidOf(afterSync);
        if (hasError(afterSync) || !listedPids_[pid]) break;
        if (startsSection(afterSync) && (pid == 0 || programTablePids_[pid])) learnPids(cursor, at, pid);
        at += kPacketSize;
    }
    return at;
}

std::optional<Match> MtsFileCheck::recognise(Probe& probe, uint64_t sector) {
    if (probe.byte(kSyncOffset) != kSyncByte) return std::nullopt;
    // The first packet starts a table on a table's id, with no error and no
    // adaptation field; the pointer to the table leaves it inside the packet.
    const uint32_t afterSync = probe.be16(kSyncOffset + 1);
    const uint8_t control = probe.byte(7);
    if (hasError(afterSync) || !startsSection(afterSync) || pidOf(afterSync) > kLastTablePid ||
        !carriesPayload(control) || hasAdaptationField(control) || probe.byte(8) > kLargestPointer ||
        ctx.sectorSize == 0)
        return std::nullopt;
    const uint64_t sourceEnd = bytesToSourceEnd(ctx, sector);
    if (sourceEnd < uint64_t{kPacketsInStep} * kPacketSize) return std::nullopt;
    FileCursor cursor(window_, sector, ctx.sectorSize);
    if (!cursor.reach(0)) return std::nullopt;
    if (cursor.byte(9 + cursor.byte(8)) == kNoTable) return std::nullopt;
    for (uint32_t i = 1; i < kPacketsInStep; ++i)
        if (cursor.byte(i * kPacketSize + kSyncOffset) != kSyncByte) return std::nullopt;

    Match match;
    match.size = walk(cursor, sourceEnd);
    if (match.size < uint64_t{kPacketsInStep} * kPacketSize) return std::nullopt;
    match.skipPast = match.size;
    return match;
}

}  // namespace pelorin
