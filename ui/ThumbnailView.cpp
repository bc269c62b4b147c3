#include "ui/ThumbnailView.h"

namespace pelorin::ui {

ThumbnailView::ThumbnailView(QWidget* parent) : QListView(parent) {
    setModel(&model_);
    setViewMode(QListView::IconMode);
    setResizeMode(QListView::Adjust);
    setMovement(QListView::Static);
    setUniformItemSizes(true);
    setWordWrap(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setIconSize(QSize(ThumbnailModel::kSide, ThumbnailModel::kSide));
    setGridSize(QSize(ThumbnailModel::kSide + 32, ThumbnailModel::kSide + 40));
    connect(this, &QListView::activated, this, [this](const QModelIndex& index) {
        if (FoundNode* node = model_.nodeAt(index)) emit nodeActivated(node);
    });
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& index) {
        if (FoundNode* node = model_.nodeAt(index)) emit nodeSelected(node);
    });
}

void ThumbnailView::showFolder(const FoundNode* folder) {
    if (folder == model_.folder()) return;
    model_.showFolder(folder, folder && sourceProvider_ ? sourceProvider_() : PreviewSource{});
}

FoundNode* ThumbnailView::currentNode() const { return model_.nodeAt(currentIndex()); }

}  // namespace pelorin::ui
