#include "recognisers/media/MpgFileCheck.h"

#include <algorithm>

#include "engine/FileCursor.h"
#include "engine/Probe.h"

namespace pelorin {
namespace {

constexpr uint32_t kPackHeader = 0x1BA;
constexpr uint32_t kSystemHeader = 0x1BB;
constexpr uint32_t kProgramEnd = 0x1B9;
constexpr uint32_t kSequenceHeader = 0x1B3;
constexpr uint32_t kSequenceEnd = 0x1B7;
constexpr uint32_t kGroupOfPictures = 0x1B8;
constexpr uint32_t kPicture = 0x100;
constexpr uint32_t kLastStreamId = 0x1EF;

constexpr uint64_t kLargestTotal = 4294967280;  // 2^32 - 16
constexpr uint64_t kGiveUpSize = 62914560;      // 60 MiB
constexpr uint64_t kSkipAbove = 10240;
constexpr uint64_t kLookAhead = 11620;
constexpr uint32_t kZeroStepLimit = 100;
constexpr uint32_t kOtherStepLimit = 50;

// Start codes that follow a pack or sequence header closely in real streams.
bool isValidationCode(uint32_t value) {
    switch (value) {
    case 0x1B8: case 0x1BB: case 0x1BD: case 0x1BE: case 0x1BF: case 0x1C0: case 0x1E0: return true;
    default: return false;
    }
}

// Start codes at which a program stream goes on after an end code or a gap.
bool isResumeCode(uint32_t value) {
    switch (value) {
    case 0x1BA: case 0x1BB: case 0x1BC: case 0x1BD: case 0x1BE: case 0x1BF:
    case 0x1C0: case 0x1DF: case 0x1E0: case 0x1EF: return true;
    default: return false;
    }
}

// Start codes that mark the structure of a video elementary stream; slices
// are passed over as picture data.
bool isVideoStructureCode(uint32_t value) {
    return (value >= 0x1B0 && value <= 0x1B6) || value == kPicture || value == kGroupOfPictures;
}

}  // namespace

bool MpgFileCheck::headerMatches(const uint8_t* bytes, uint64_t sectorNumber) {
    sequenceHeader_ = false;
    const uint32_t header = Probe(bytes).be32(0);
    if (header == kPackHeader) return startCodeFollows(sectorNumber);
    if (header == kSequenceHeader && startCodeFollows(sectorNumber)) {
        sequenceHeader_ = true;
        return true;
    }
    return false;
}

bool MpgFileCheck::startCodeFollows(uint64_t sectorNumber) {
    if (!window.read(sectorNumber)) return false;
    for (uint32_t position = 4; position <= 49; ++position) {
        if (isValidationCode(window.be32(position))) {
            packHeaderLength = position;
            return true;
        }
    }
    return false;
}

std::optional<Match> MpgFileCheck::recognise(Probe& probe, uint64_t sector) {
    if (!headerMatches(probe.data(), sector)) return std::nullopt;
    skipFile = false;
    Match match;
    if (window.read(sector))
        match.size = sequenceHeader_ ? videoStreamSize(sector) : programStreamSize(sector);
    if (skipFile) match.skipPast = match.size;
    return match;
}

// Hops from one structural start code to the next. The picture size bounds
// how far the next one may lie.
uint64_t MpgFileCheck::videoStreamSize(uint64_t sectorNumber) {
    const uint32_t sectorSize = ctx.sectorSize;
    const uint64_t width = window.be16(4) >> 4;
    const uint64_t height = window.be16(5) & 0xFFF;
    const uint64_t budget = width * height * 3 + 2 * uint64_t{sectorSize};

    uint64_t total = 4;  // past the sequence header's start code
    FileCursor file(window, sectorNumber, sectorSize);
    file.holdsFileStart();
    bool goOn = true;
    while (goOn) {
        goOn = false;
        for (uint64_t count = 0; count < budget && !ctx.cancelled(); ++count) {
            const uint64_t at = total + count;
            if (!file.reach(at)) return 0;
            if (file.byte(at + 2) != 0x01) continue;  // cannot be a start code
            const uint32_t value = file.be32(at);
            if (isVideoStructureCode(value)) {
                total = at + 4;
                goOn = total <= kLargestTotal;
                break;
            }
            if (value == kSequenceEnd) {
                total = at + 4;
                const uint32_t after = file.be32(at + 4);
                goOn = (isResumeCode(after) || after == kGroupOfPictures || after == kPicture) && total <= kLargestTotal;
                break;
            }
        }
    }
    if (total > kSkipAbove) skipFile = true;
    return total > kLargestTotal ? 0 : total;
}

// Hops over pack headers and packets; over short stretches of anything else it
// steps a byte at a time, and over a longer gap it looks 11,620 bytes ahead
// for the stream going on.
uint64_t MpgFileCheck::programStreamSize(uint64_t sectorNumber) {
    const uint32_t sectorSize = ctx.sectorSize;
    // The header test found at least the 4-byte start code; never stand still on a pack.
    const uint64_t packHeader = std::max<uint32_t>(packHeaderLength, 4);

    uint64_t total = 0;
    FileCursor file(window, sectorNumber, sectorSize);
    file.holdsFileStart();
    bool goOn = true;
    bool probed = false;
    bool steppingAllowed = true;
    uint32_t steps = 0;
    while (goOn && !ctx.cancelled()) {
        const uint32_t value = file.be32(total);
        if (value == kPackHeader) {
            steppingAllowed = true;
            probed = false;
            steps = 0;
            total += packHeader;
        } else if (value >= kSystemHeader && value <= kLastStreamId) {
            probed = false;
            steppingAllowed = true;
            steps = 0;
            total += uint64_t{file.be16(total + 4)} + 6;
        } else if (value == kProgramEnd) {
            total += 4;
            goOn = isResumeCode(file.be32(total));
        } else if (!probed) {
            const uint64_t ahead = total + kLookAhead;
            if (!lookAhead.read(sectorNumber + ahead / sectorSize)) return 0;
            if (isResumeCode(lookAhead.be32(ahead % sectorSize))) {
                total = ahead;
                if (!file.readAt(total)) return 0;
            } else {
                probed = true;
            }
        } else if (steppingAllowed) {
            total += 1;
            steps += 1;
            if ((value == 0 && steps > kZeroStepLimit) || (value != 0 && steps > kOtherStepLimit))
                steppingAllowed = false;
        } else {
            break;
        }
        if (!file.reach(total)) return 0;
        if (total > kLargestTotal) {
            skipFile = true;
            return kGiveUpSize;
        }
    }
    if (total > kSkipAbove) skipFile = true;
    return total;
}

}  // namespace pelorin
