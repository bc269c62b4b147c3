#pragma once
// Reads a found file's bytes for the preview on a thread of its own, one file
// at a time, in 64 KiB reads. A request to stop is seen before the next read;
// the loader then reports that it stopped instead of what it read. What the
// bytes become (a picture, a dump) may be worked out on the same thread.

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "engine/FoundNode.h"
#include "engine/Source.h"

namespace pelorin::ui {

struct PreviewRead {
    std::shared_ptr<Source> source;
    // Where the bytes lie, in order: a found file's one run from its first
    // byte, or its pieces when it was put back together.
    std::vector<ByteRun> runs;
    uint64_t length = 0;  // bytes wanted from the runs, at most
    // Reads start on a sector: a run that starts inside one is read from the
    // sector's first byte, and the bytes before the run are dropped.
    uint32_t sectorSize = 1;
    // Run on the reading thread over the bytes read, when set.
    std::function<QImage(const QByteArray&)> picture;
};

// The read of a found file's first `length` bytes (at most its size).
PreviewRead previewReadOf(std::shared_ptr<Source> source, const FoundNode& file, uint32_t sectorSize,
                          uint64_t length);

enum class PreviewReadOutcome { Loaded, Aborted, Failed };

// Reads what `read` asks for into `bytes` in 64 KiB reads, looking at `abort`
// before each; counts the reads in `chunks`. The end of the source ends the
// read early but counts as loaded.
PreviewReadOutcome readPreviewBytes(const PreviewRead& read, QByteArray& bytes, const std::atomic<bool>& abort,
                                    std::atomic<int>& chunks);

class PreviewLoader : public QObject {
    Q_OBJECT
public:
    static constexpr uint32_t kChunk = 65536;

    explicit PreviewLoader(QObject* parent = nullptr);
    ~PreviewLoader() override;

    bool running() const { return running_; }
    // Starts reading; ignored while a read runs.
    void start(PreviewRead read);
    // The running read stops before its next chunk.
    void abort() { abort_ = true; }
    // Chunks read by the last read (for tests).
    int chunksRead() const { return chunks_; }

signals:
    // The bytes (without the skipped ones) and, when asked for, the picture made of them.
    void loaded(const QByteArray& bytes, const QImage& picture);
    void aborted();
    // The source could not be read (it went away).
    void failed();

private:
    using Outcome = PreviewReadOutcome;
    void finished(Outcome outcome, const QByteArray& bytes, const QImage& picture);

    std::thread thread_;
    std::atomic<bool> abort_{false};
    std::atomic<int> chunks_{0};
    bool running_ = false;
};

}  // namespace pelorin::ui
