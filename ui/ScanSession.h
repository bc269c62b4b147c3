#pragma once
// One scan started from the window: its context, source and tree, and the
// worker thread it runs on. Progress reaches the window from a timer on the
// main thread, at most ten times a second whatever the scan's rate; the end
// of the scan arrives as a queued signal. A scan that went through all its
// sectors is followed, on the same thread and before that signal, by the pass
// that puts split files back together (the window shows 100% meanwhile).

#include <QObject>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include "engine/Scanning.h"
#include "engine/Source.h"
#include "reassembly/Reassembly.h"

namespace pelorin::ui {

class ScanSession final : public QObject, public ScanController {
    Q_OBJECT
public:
    // `notices` shows what the scan reports (it is called from the worker
    // and must show it on the main thread).
    ScanSession(std::unique_ptr<Source> source, const std::string& path, uint32_t sectorSize, TypeSelection ticked,
                Notices& notices, QObject* parent = nullptr);
    // Stops a scan still running and waits for its thread.
    ~ScanSession() override;

    // The pass after the scan, with the scan's tree, source and sector size; it
    // stops early when `cancelled` becomes true (Stop). reassembleSplitFiles
    // unless set; none: the tree stays as the scan found it. Set before start.
    using ReassemblyPass =
        std::function<ReassemblyOutcome(FoundNode& root, Source& source, uint32_t sectorSize,
                                        const std::atomic<bool>* cancelled)>;
    void setReassembly(ReassemblyPass pass) { reassembly = std::move(pass); }

    void start();
    void setPaused(bool paused);
    void cancel();
    bool running() const { return thread.joinable() && !ended; }

    ScanContext& context() { return ctx; }
    // After scanEnded: the tree, and the source saving reads.
    std::unique_ptr<FoundNode> takeRoot();
    std::unique_ptr<Source> takeSource() { return std::move(source); }

    // ScanController, called from the worker thread.
    bool isTicked(FileType type) const override { return ticked[index(type)]; }
    void progressChanged() override {}
    void finished(const ScanOutcome& outcome) override;
    void notify(const Notice& notice) override { notices.notify(notice); }

signals:
    void progress(double percent, quint64 filesFound);
    // The scan went through every sector; split files are being put back together.
    void reassemblyStarted();
    void scanEnded(const pelorin::ScanOutcome& outcome);

private:
    void reportProgress();
    // On the worker, after the scan: the pass when it is due, then the end.
    void afterScan();

    std::unique_ptr<Source> source;
    ScanContext ctx;
    TypeSelection ticked;
    Notices& notices;
    std::unique_ptr<Scanning> scanning;
    std::thread thread;
    QTimer progressTimer;
    ReassemblyPass reassembly = reassembleSplitFiles;
    std::optional<ScanOutcome> outcome;  // set by the worker as the scan ends
    bool ended = false;
    bool showedEnd = false;  // 100% shown before the pass
    double lastPercent = -1;
    quint64 lastFiles = ~quint64{0};
};

}  // namespace pelorin::ui
