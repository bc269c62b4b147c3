#include "recognisers/media/PsdFileCheck.h"

#include <algorithm>
#include <cstring>

namespace pelorin {
namespace {

constexpr double kLargestEstimate = 2040109465.6;
constexpr uint32_t kMostLayers = 100;        // a larger layer count is not believed
constexpr uint32_t kZeroBytesAtEnd = 50;     // more zero bytes than this in a row: past the pixels
constexpr uint64_t kSlack = 512;
constexpr uint64_t kRereadAt = 65535;

}  // namespace

float PsdFileCheck::bytesPerPixelFactor(uint32_t colourMode, uint32_t depth) {
    switch (colourMode) {
    case 0:  // bitmap
        return depth == 1 ? 648.0f : 0.0f;
    case 1: case 2: case 7: case 8:  // grayscale, indexed, multichannel, duotone
        switch (depth) {
        case 8: return 5181.44f;
        case 16: return 10342.4f;
        case 32: return 20787.2f;
        default: return 0.0f;
        }
    case 3:  // RGB
        switch (depth) {
        case 8: return 15564.8f;
        case 16: return 31129.6f;
        case 32: return 62259.2f;
        default: return 0.0f;
        }
    case 4:  // CMYK
        switch (depth) {
        case 8: return 20787.2f;
        case 16: return 41574.4f;
        default: return 0.0f;
        }
    case 9:  // Lab
        switch (depth) {
        case 8: return 15564.8f;
        case 16: return 31129.6f;
        default: return 0.0f;
        }
    default:
        return 0.0f;
    }
}

bool PsdFileCheck::headerMatches(const uint8_t* probe, uint64_t) {
    static constexpr uint8_t kHeader[12] = {'8', 'B', 'P', 'S', 0, 1, 0, 0, 0, 0, 0, 0};
    return std::memcmp(probe, kHeader, sizeof kHeader) == 0;
}

uint64_t PsdFileCheck::fileSize(const uint8_t*, uint64_t sectorNumber) {
    const uint32_t sectorSize = ctx.sectorSize;
    if (!window.read(sectorNumber)) return 0;

    const uint32_t height = fourByteRead(window, 14, 0);
    const uint32_t width = fourByteRead(window, 18, 0);
    const uint32_t depth = twoByteRead(window, 22, 0);
    const uint32_t colourMode = twoByteRead(window, 24, 0);
    if (height == 0 || width == 0) return 0;

    // width × height × factor / 72², worked from the longer side.
    const double longer = std::max(width, height);
    const double shorter = std::min(width, height);
    const double side = longer / 72.0;
    double estimate = (side * double(bytesPerPixelFactor(colourMode, depth)) * side) / (longer / shorter);

    // The three sections after the header (colour mode data, image resources,
    // layer and mask information), each led by its 32-bit length. The position
    // is 64-bit so that a garbage length can never wrap it back into the
    // window: it always stays the total's place in the window.
    uint64_t total = 26;
    uint64_t position = 26;
    uint32_t layers = 1;
    for (int section = 0; section < 3; ++section) {
        const uint32_t length = fourByteRead(window, position, 0) + 4;  // 32-bit, as the field is
        total += length;
        position += length;
        if (position >= kRereadAt) {
            if (!window.read(sectorNumber + total / sectorSize)) return 0;
            position = total % sectorSize;
        }
        if (section == 1) {
            layers = twoByteRead(window, position + 8, 0);
            if (layers > kMostLayers || layers < 1) layers = 1;
        }
    }

    estimate *= layers;
    estimate = std::min(estimate, kLargestEstimate);
    const uint64_t limit = static_cast<uint64_t>(std::max(3.0 * double(total), estimate));

    // The pixel data ends where thirteen zero words in a row begin, or at the limit.
    uint32_t zeroBytes = 0;
    while (total < limit && !ctx.cancelled()) {
        if (fourByteRead(window, position, 0) == 0) {
            zeroBytes += 4;
            if (zeroBytes > kZeroBytesAtEnd) break;
        } else {
            zeroBytes = 0;
        }
        position += 4;
        total += 4;
        if (position >= kRereadAt) {
            if (!window.read(sectorNumber + total / sectorSize)) return 0;
            position = total % sectorSize;
        }
    }
    return total + kSlack;
}

std::optional<Match> PsdFileCheck::recognise(Probe& probe, uint64_t sector) {
    if (!headerMatches(probe.data(), sector)) return std::nullopt;
    Match match;
    match.size = fileSize(probe.data(), sector);
    return match;
}

}  // namespace pelorin
