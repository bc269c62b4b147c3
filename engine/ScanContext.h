#pragma once
// Everything one scan shares between the sector loop, the recognisers and the
// controller. A scan owns one of these, so two scans in one process never meet.

#include <atomic>
#include <cstdint>
#include <string>

namespace pelorin {

class Source;

// Verdicts and side results that live for one sector only. The loop clears the
// whole block after every sector, so nothing here outlives its sector.
struct PerSectorFlags {
    bool bRawJpgFileFound = false;
    bool bLittleEndianFile = false;
    bool bBigEndianFile = false;
    bool bCanonCr2FileFound = false;
    bool bCanonCrwFileFound = false;
    bool bKodakDcrFileFound = false;
    bool bKodakK25FileFound = false;
    bool bKodakKdcFileFound = false;
    bool bLeicaFileFound = false;
    bool bPentaxDngFileFound = false;
    bool bNikonNefFileFound = false;
    bool bNikonNrwFileFound = false;
    bool bOlympusOrfFileFound = false;
    bool bPentaxPefFileFound = false;
    bool bRawPanasonicFileFound = false;
    bool bSonySr2FileFound = false;
    bool bThreefrFileFound = false;
    bool bTiffFileFound = false;
    bool bRawTiffFileFound = false;
    bool bCanonRawTiff = false;
};

// Which TIFF-family types this scan registered; set at registration, fixed
// for the rest of the scan.
struct TiffSelectionFlags {
    bool bArwSelected = false;
    bool bSonySr2Selected = false;
    bool bKdcSelected = false;
    bool bK25Selected = false;
    bool bKodakDcrSelected = false;
    bool bPentaxSelected = false;
    bool bDngSelected = false;
    bool bCanonSelected = false;
    bool bNikonSelected = false;
    bool bNrwFileSelected = false;
    bool bTiffSelected = false;
    bool bOlympusSelected = false;
    bool bRawPanasonicSelected = false;
    bool bLeicaSelected = false;
    bool bThreefrFileSelected = false;
};

struct ScanContext {
    // Device identity of the scan. The path is held whole, whatever its length.
    std::string selectedDriveMountPoint;
    std::string cDriveMountedPath;
    std::string selectedDriveMountPointForPreview;
    uint32_t u32BytesInSector = 512;
    uint64_t u64DriveSectorNumber = 0;
    // What the scan reads, for as long as it runs: the loop and every
    // recogniser's window read through it. Set by the scan.
    Source* source = nullptr;

    // Written by the controller, polled by the scan and the recognisers' walks.
    std::atomic<bool> bCancelScanning{false};
    std::atomic<bool> bPauseScanning{false};

    // Written by the scan, read by the controller's display.
    std::atomic<uint64_t> u64TotalNumberOfFileFound{0};
    // The last sector the scan reported progress at; the percentage is
    // worked out when it is shown, not on every sector.
    std::atomic<uint64_t> progressSector{0};
    // Set by the scan when it asks for a progress display, cleared by the
    // controller when it has shown one, so the scan never floods it.
    std::atomic<bool> progressUpdatePending{false};

    // The percentage of the scan done, as the progress bar shows it.
    float progressBarValue() const {
        if (u64DriveSectorNumber == 0) return 0.0f;
        return static_cast<float>(double(progressSector.load(std::memory_order_relaxed)) * 100.0 /
                                  double(u64DriveSectorNumber));
    }

    // Shared scan flags, written and read by the scanning thread only.
    TiffSelectionFlags selection;
    PerSectorFlags found;
    bool bSonyArwA100File = false;
    bool bSonyArwA700File = false;
    bool bSkipFileSize = false;
    // With bSkipFileSize: the bytes to skip when they are fewer than the
    // size filed (the file's slack may hold the start of the next file).
    uint64_t u64SkipFileBytes = 0;
    uint64_t u64RawJpgFileSectorNumber = 0;
    uint32_t uExtraBytesOfJpgFileOffset = 0;
    uint64_t u64RawJpgFileSize = 0;
    uint32_t uBAFrameValue = 0;

    bool cancelled() const { return bCancelScanning.load(std::memory_order_relaxed); }
};

}  // namespace pelorin
