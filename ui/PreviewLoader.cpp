#include "ui/PreviewLoader.h"

#include <algorithm>

namespace pelorin::ui {

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
        bytes.reserve(qsizetype(read.length));
        std::vector<uint8_t> chunk(kChunk);
        uint64_t position = read.offset;
        uint64_t left = read.length + read.skip;
        uint64_t toDrop = read.skip;
        Outcome outcome = Outcome::Loaded;
        while (left > 0) {
            if (abort_) {
                outcome = Outcome::Aborted;
                break;
            }
            const auto wanted = std::size_t(std::min<uint64_t>(left, kChunk));
            const SourceRead got = read.source->read(position, std::span(chunk.data(), wanted));
            ++chunks_;
            if (got.failed() && got.bytes == 0) {
                outcome = Outcome::Failed;
                break;
            }
            const std::size_t dropped = std::size_t(std::min<uint64_t>(toDrop, got.bytes));
            toDrop -= dropped;
            bytes.append(reinterpret_cast<const char*>(chunk.data()) + dropped, qsizetype(got.bytes - dropped));
            if (got.bytes < wanted) break;  // the end of the source
            position += wanted;
            left -= wanted;
        }
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
