#include "ui/ScanSession.h"

#include "recognisers/Registry.h"

namespace pelorin::ui {

namespace {
constexpr int kProgressIntervalMs = 100;
}

ScanSession::ScanSession(std::unique_ptr<Source> source_, const std::string& path, uint32_t sectorSize,
                         TypeSelection ticked_, Notices& notices_, QObject* parent)
    : QObject(parent), source(std::move(source_)), ticked(ticked_), notices(notices_) {
    qRegisterMetaType<pelorin::ScanOutcome>("pelorin::ScanOutcome");
    ctx.sourcePath = path;
    ctx.previewSourcePath = path;
    ctx.sectorSize = sectorSize;
    ctx.sectorCount = source->size() / sectorSize;
    ctx.source = source.get();
    scanning = std::make_unique<Scanning>(ctx, *this, registry());
    progressTimer.setInterval(kProgressIntervalMs);
    connect(&progressTimer, &QTimer::timeout, this, &ScanSession::reportProgress);
}

ScanSession::~ScanSession() {
    cancel();
    if (thread.joinable()) thread.join();
}

void ScanSession::start() {
    progressTimer.start();
    thread = std::thread([this] {
        scanning->run();
        afterScan();
    });
}

void ScanSession::setPaused(bool paused) { ctx.pauseRequested.store(paused); }

void ScanSession::cancel() {
    ctx.pauseRequested.store(true);
    ctx.cancelRequested.store(true);
}

std::unique_ptr<FoundNode> ScanSession::takeRoot() { return scanning->takeRoot(); }

void ScanSession::reportProgress() {
    ctx.progressUpdatePending.store(false, std::memory_order_relaxed);
    const double percent = ctx.progressBarValue();
    const quint64 files = ctx.filesFound.load(std::memory_order_relaxed);
    if (percent == lastPercent && files == lastFiles) return;
    lastPercent = percent;
    lastFiles = files;
    emit progress(percent, files);
}

void ScanSession::finished(const ScanOutcome& scanOutcome) { outcome = scanOutcome; }

void ScanSession::afterScan() {
    if (!outcome) return;
    // Only a scan that went through all its sectors is worked on; Stop during
    // the pass ends it, and the files keep what the scan found.
    if (outcome->how == ScanOutcome::Completed && reassembly && scanning->root() && !ctx.cancelled()) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                progressTimer.stop();
                showedEnd = true;
                emit progress(100.0, ctx.filesFound.load());
                emit reassemblyStarted();
            },
            Qt::QueuedConnection);
        reassembly(*scanning->root(), *source, ctx.sectorSize, &ctx.cancelRequested);
    }
    // The worker's last act: the window takes over once the thread has ended.
    QMetaObject::invokeMethod(
        this,
        [this, outcome = *outcome] {
            if (thread.joinable()) thread.join();
            progressTimer.stop();
            ended = true;
            // A scan that offered every sector has done all of it.
            if (outcome.how == ScanOutcome::Completed) {
                if (!showedEnd) emit progress(100.0, ctx.filesFound.load());
            } else {
                reportProgress();
            }
            emit scanEnded(outcome);
        },
        Qt::QueuedConnection);
}

}  // namespace pelorin::ui
