#pragma once
// The found files of one folder as small pictures. The pictures are read from
// the source and drawn on a thread of the model's own, one file after the
// other, with the preview's bounds on what is read; the list is usable while
// they come in. Showing another folder stops the drawing for the last one.

#include <QAbstractListModel>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QVector>
#include <atomic>
#include <cstdint>
#include <thread>

#include "engine/FoundNode.h"
#include "ui/Previewer.h"

namespace pelorin::ui {

class ThumbnailModel : public QAbstractListModel {
    Q_OBJECT
public:
    static constexpr int kSide = 128;

    explicit ThumbnailModel(QObject* parent = nullptr);
    ~ThumbnailModel() override;

    // The folder's found files (not owned; null for none), their pictures
    // read through the source.
    void showFolder(const FoundNode* folder, const PreviewSource& source);
    const FoundNode* folder() const { return folder_; }
    FoundNode* nodeAt(const QModelIndex& index) const;
    // True while pictures of the folder are still being drawn.
    bool loading() const { return loading_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

signals:
    // Every picture of the folder that could be drawn is in.
    void loadingFinished();

private:
    struct Job {
        int row = 0;
        PreviewRead read;
        PreviewKind kind = PreviewKind::Picture;
    };
    void stop();
    void pictureDrawn(quint64 generation, int row, const QImage& picture);
    void drawingEnded(quint64 generation);

    const FoundNode* folder_ = nullptr;
    QVector<QPixmap> pictures_;  // null until drawn
    QIcon placeholder_;
    std::thread worker_;
    std::atomic<bool> stop_{false};
    quint64 generation_ = 0;
    bool loading_ = false;
};

}  // namespace pelorin::ui
