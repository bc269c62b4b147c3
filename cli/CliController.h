#pragma once
// The command-line tool's side of a scan: type flags, alerts on standard
// error, and a progress line on a terminal.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

#include "engine/Scanning.h"

namespace pelorin::cli {

class CliController final : public ScanController {
public:
    CliController(ScanContext& context, TypeSelection ticked, bool showProgress);

    bool isTicked(FileType type) const override { return ticked[index(type)]; }
    void progressChanged() override {}  // the waiting thread redraws on its own clock
    // Prints the last sector reached, as the scan's end has always been
    // marked, and on standard error how many sectors could not be read.
    void finished(const ScanOutcome& outcome) override;
    void notify(const Notice& notice) override;

    // Runs the scan on a worker thread and waits for it, drawing progress and
    // turning Ctrl-C into a stop request. True when the scan was stopped.
    bool runScan(Scanning& scanning);

    bool alertShown() const { return alertShown_; }
    // Sectors of the last scan that could not be read.
    uint64_t unreadableSectors() const { return unreadableSectors_; }
    // The last sector the last scan reached (ScanOutcome::lastSector).
    uint64_t lastSector() const { return lastSector_; }

private:
    void drawProgress(bool final);

    ScanContext& ctx;
    TypeSelection ticked;
    bool showProgress;
    bool alertShown_ = false;
    uint64_t unreadableSectors_ = 0;
    uint64_t lastSector_ = 0;
    std::mutex mutex;
    std::condition_variable completed;
    bool done = false;
    std::chrono::steady_clock::time_point started;
};

}  // namespace pelorin::cli
