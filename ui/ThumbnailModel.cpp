#include "ui/ThumbnailModel.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QPainter>
#include <QPixmap>
#include <QStyle>

namespace pelorin::ui {

ThumbnailModel::ThumbnailModel(QObject* parent)
    : QAbstractListModel(parent),
      placeholder_(
          QIcon::fromTheme(QStringLiteral("image-x-generic"), QFileIconProvider().icon(QFileIconProvider::File))) {}

ThumbnailModel::~ThumbnailModel() { stop(); }

void ThumbnailModel::stop() {
    stop_ = true;
    if (worker_.joinable()) worker_.join();
    stop_ = false;
}

void ThumbnailModel::showFolder(const FoundNode* folder, const PreviewSource& source) {
    stop();
    beginResetModel();
    folder_ = folder;
    pictures_.clear();
    if (folder_) pictures_.resize(qsizetype(folder_->children().size()));
    endResetModel();
    const quint64 generation = ++generation_;

    // The nodes are read here, on the main thread; the worker sees only what to read.
    std::vector<Job> jobs;
    if (folder_ && source.source) {
        for (const auto& child : folder_->children()) {
            if (child->isFolder()) continue;
            const auto picture = pictureReadFor(*child, source.sectorSize);
            if (!picture) continue;
            jobs.push_back({child->row(), previewReadOf(source.source, *picture->node, source.sectorSize, picture->length),
                            picture->kind});
        }
    }
    loading_ = !jobs.empty();
    if (!loading_) {
        emit loadingFinished();
        return;
    }
    worker_ = std::thread([this, generation, jobs = std::move(jobs)] {
        std::atomic<int> chunks{0};
        QByteArray bytes;
        for (const Job& job : jobs) {
            if (readPreviewBytes(job.read, bytes, stop_, chunks) == PreviewReadOutcome::Aborted) break;
            const QImage picture = decodePicture(bytes, job.kind, QSize(kSide, kSide));
            if (stop_) break;
            if (!picture.isNull())
                QMetaObject::invokeMethod(
                    this, [this, generation, row = job.row, picture] { pictureDrawn(generation, row, picture); },
                    Qt::QueuedConnection);
        }
        QMetaObject::invokeMethod(this, [this, generation] { drawingEnded(generation); }, Qt::QueuedConnection);
    });
}

void ThumbnailModel::pictureDrawn(quint64 generation, int row, const QImage& picture) {
    if (generation != generation_ || row < 0 || row >= pictures_.size()) return;
    // Centred on a square canvas, so that every cell lines up.
    QPixmap square(kSide, kSide);
    square.fill(Qt::transparent);
    QPainter painter(&square);
    painter.drawImage((kSide - picture.width()) / 2, (kSide - picture.height()) / 2, picture);
    painter.end();
    pictures_[row] = square;
    const QModelIndex changed = index(row);
    emit dataChanged(changed, changed, {Qt::DecorationRole});
}

void ThumbnailModel::drawingEnded(quint64 generation) {
    if (generation != generation_) return;
    loading_ = false;
    emit loadingFinished();
}

FoundNode* ThumbnailModel::nodeAt(const QModelIndex& index) const {
    if (!folder_ || !index.isValid() || index.row() >= int(folder_->children().size())) return nullptr;
    return folder_->childAtIndex(index.row());
}

int ThumbnailModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !folder_ ? 0 : int(folder_->children().size());
}

QVariant ThumbnailModel::data(const QModelIndex& index, int role) const {
    const FoundNode* node = nodeAt(index);
    if (!node) return {};
    switch (role) {
    case Qt::DisplayRole: return QString::fromStdString(node->fileName());
    case Qt::ToolTipRole: return QStringLiteral("Double click for preview");
    case Qt::DecorationRole: {
        const QPixmap& picture = pictures_[index.row()];
        return picture.isNull() ? QVariant(placeholder_) : QVariant(picture);
    }
    default: return {};
    }
}

}  // namespace pelorin::ui
