#pragma once
// Everything one scan shares between the sector loop, the recognisers and the
// controller. A scan owns one of these, so two scans in one process never meet.

#include <atomic>
#include <cstdint>
#include <string>

namespace pelorin {

class Source;

struct ScanContext {
    // Device identity of the scan. The path is held whole, whatever its length.
    std::string sourcePath;
    std::string previewSourcePath;
    uint32_t sectorSize = 512;
    uint64_t sectorCount = 0;
    // What the scan reads, for as long as it runs: the loop and every
    // recogniser's window read through it. Set by the scan.
    Source* source = nullptr;

    // Written by the controller, polled by the scan and the recognisers' walks.
    std::atomic<bool> cancelRequested{false};
    std::atomic<bool> pauseRequested{false};

    // Written by the scan, read by the controller's display.
    std::atomic<uint64_t> filesFound{0};
    // The last sector the scan reported progress at; the percentage is
    // worked out when it is shown, not on every sector.
    std::atomic<uint64_t> progressSector{0};
    // Set by the scan when it asks for a progress display, cleared by the
    // controller when it has shown one, so the scan never floods it.
    std::atomic<bool> progressUpdatePending{false};

    // The part of the source the scan offers: the sectors from firstSector up
    // to, not including, endSector (held to sectorCount). Sector numbers stay
    // those of the whole source. The default is all of it. (Kept after the
    // fields the sector loop touches, which keep their places.)
    uint64_t firstSector = 0;
    uint64_t endSector = UINT64_MAX;

    // The percentage of the scan done, as the progress bar shows it.
    float progressBarValue() const {
        const uint64_t end = endSector < sectorCount ? endSector : sectorCount;
        if (end <= firstSector) return 0.0f;
        const uint64_t reached = progressSector.load(std::memory_order_relaxed);
        return static_cast<float>(double(reached > firstSector ? reached - firstSector : 0) * 100.0 /
                                  double(end - firstSector));
    }

    bool cancelled() const { return cancelRequested.load(std::memory_order_relaxed); }
};

}  // namespace pelorin
