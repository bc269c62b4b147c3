#include "ui/PreviewLoader.h"

#include <algorithm>

namespace pelorin::ui {

PreviewRead previewReadOf(std::shared_ptr<Source> source, const FoundNode& file, uint32_t sectorSize,
                          uint64_t length) {
    return {std::move(source), byteRunsOf(file, sectorSize), length, sectorSize, {}};
}

PreviewReadOutcome readPreviewBytes(const PreviewRead& read, QByteArray& bytes, const std::atomic<bool>& abort,
                                    std::atomic<int>& chunks) {
    bytes.clear();
    bytes.reserve(qsizetype(read.length));
    std::vector<uint8_t> chunk(PreviewLoader::kChunk);
    uint64_t left = read.length;
    for (const ByteRun& run : read.runs) {
        const uint64_t taken = std::min(run.length, left);
        uint64_t toDrop = read.sectorSize > 1 ? run.offset % read.sectorSize : 0;
        uint64_t position = run.offset - toDrop;
        for (uint64_t runLeft = taken + toDrop; runLeft > 0;) {
            if (abort) return PreviewReadOutcome::Aborted;
            const auto wanted = std::size_t(std::min<uint64_t>(runLeft, PreviewLoader::kChunk));
            const SourceRead got = read.source->read(position, std::span(chunk.data(), wanted));
            ++chunks;
            if (got.failed() && got.bytes == 0) return PreviewReadOutcome::Failed;
            const std::size_t dropped = std::size_t(std::min<uint64_t>(toDrop, got.bytes));
            toDrop -= dropped;
            bytes.append(reinterpret_cast<const char*>(chunk.data()) + dropped, qsizetype(got.bytes - dropped));
            if (got.bytes < wanted) return PreviewReadOutcome::Loaded;  // the end of the source
            position += wanted;
            runLeft -= wanted;
        }
        left -= taken;
        if (left == 0) break;
    }
    return PreviewReadOutcome::Loaded;
}

PreviewLoader::PreviewLoader(QObject* parent) : QObject(parent) {}

PreviewLoader::~PreviewLoader() {
    abort_ = true;
    if (thread_.joinable()) thread_.join();
}

void PreviewLoader::start(PreviewRead read) {
    if (running_) return;
    if (thread_.joinable()) thread_.join();
    running_ = true;
    abort_ = false;
    chunks_ = 0;
    thread_ = std::thread([this, read = std::move(read)] {
        QByteArray bytes;
        Outcome outcome = readPreviewBytes(read, bytes, abort_, chunks_);
        if (outcome == Outcome::Loaded && abort_) outcome = Outcome::Aborted;
        QImage picture;
        if (outcome == Outcome::Loaded && read.picture) picture = read.picture(bytes);
        QMetaObject::invokeMethod(
            this, [this, outcome, bytes, picture] { finished(outcome, bytes, picture); }, Qt::QueuedConnection);
    });
}

void PreviewLoader::finished(Outcome outcome, const QByteArray& bytes, const QImage& picture) {
    if (thread_.joinable()) thread_.join();
    running_ = false;
    switch (outcome) {
    case Outcome::Loaded: emit loaded(bytes, picture); break;
    case Outcome::Aborted: emit aborted(); break;
    case Outcome::Failed: emit failed(); break;
    }
}

}  // namespace pelorin::ui
