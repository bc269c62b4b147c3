#include "cli/CliController.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <thread>

#include "app/SleepPrevention.h"
#include "app/Texts.h"

namespace pelorin::cli {
namespace {

std::atomic<bool> interruptRequested{false};

extern "C" void onInterrupt(int) {
    interruptRequested.store(true);
    // A second Ctrl-C ends the process the usual way.
    std::signal(SIGINT, SIG_DFL);
}

}  // namespace

CliController::CliController(ScanContext& context, TypeSelection ticked_, bool showProgress_)
    : ctx(context), ticked(ticked_), showProgress(showProgress_) {}

void CliController::finished(const ScanOutcome& outcome) {
    std::printf("\n\n\nnumber of the sectors is %lli\n", static_cast<long long>(outcome.lastSector));
    std::fflush(stdout);
    unreadableSectors_ = outcome.unreadableSectors;
    lastSector_ = outcome.lastSector;
    if (unreadableSectors_ != 0) {
        if (showProgress) std::fputs("\r\033[K", stderr);
        std::fprintf(stderr, "%llu %s could not be read and %s scanned as zeros\n",
                     static_cast<unsigned long long>(unreadableSectors_), unreadableSectors_ == 1 ? "sector" : "sectors",
                     unreadableSectors_ == 1 ? "was" : "were");
    }
    {
        std::lock_guard lock(mutex);
        done = true;
    }
    completed.notify_all();
}

void CliController::notify(const Notice& notice) {
    const texts::AlertText alert = texts::alertFor(notice);
    alertShown_ = true;
    if (showProgress) std::fputs("\r\033[K", stderr);
    std::fprintf(stderr, "%s %s\n", alert.title.c_str(), alert.message.c_str());
    if (!alert.logLine.empty()) std::fprintf(stderr, "%s\n", alert.logLine.c_str());
}

void CliController::drawProgress(bool final) {
    ctx.progressUpdatePending.store(false, std::memory_order_relaxed);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const uint64_t sector = final ? ctx.sectorCount : ctx.progressSector.load(std::memory_order_relaxed);
    const double percent = final ? 100.0 : ctx.progressBarValue();
    const double megabytes = double(sector) * ctx.sectorSize / 1e6;
    constexpr int kWidth = 30;
    const int filled = static_cast<int>(percent / 100.0 * kWidth);
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(kWidth, '-');
    const int elapsed = static_cast<int>(seconds);
    std::fprintf(stderr, "\r\033[K[%s] %5.1f%%  %llu files  %02d:%02d:%02d  %.1f MB/s", bar.c_str(), percent,
                 static_cast<unsigned long long>(ctx.filesFound.load()), elapsed / 3600,
                 elapsed / 60 % 60, elapsed % 60, seconds > 0 ? megabytes / seconds : 0.0);
    if (final) std::fputc('\n', stderr);
    std::fflush(stderr);
}

bool CliController::runScan(Scanning& scanning) {
    interruptRequested.store(false);
    auto previous = std::signal(SIGINT, onInterrupt);
    started = std::chrono::steady_clock::now();
    done = false;
    SleepPrevention awake;
    awake.startPreventingSleep();
    std::thread worker([&scanning] { scanning.run(); });

    bool stopped = false;
    std::unique_lock lock(mutex);
    while (!done) {
        completed.wait_for(lock, std::chrono::milliseconds(200));
        if (interruptRequested.load() && !stopped) {
            stopped = true;
            ctx.cancelRequested.store(true);
        }
        if (showProgress && !done) {
            lock.unlock();
            drawProgress(false);
            lock.lock();
        }
    }
    lock.unlock();
    worker.join();
    awake.stopPreventingSleep();
    std::signal(SIGINT, previous);
    if (showProgress) {
        if (stopped)
            std::fputs("\r\033[K", stderr);
        else
            drawProgress(true);
    }
    return stopped || interruptRequested.load();
}

}  // namespace pelorin::cli
