#pragma once
// The "Thumbnails" view of a folder on the results page: a grid of its found
// files as small pictures, usable while they are drawn.

#include <QListView>
#include <functional>

#include "ui/ThumbnailModel.h"

namespace pelorin::ui {

class ThumbnailView : public QListView {
    Q_OBJECT
public:
    explicit ThumbnailView(QWidget* parent = nullptr);

    // Where pictures are read from; asked each time a folder is shown.
    void setSourceProvider(std::function<PreviewSource()> provider) { sourceProvider_ = std::move(provider); }
    void showFolder(const FoundNode* folder);
    ThumbnailModel& model() { return model_; }
    FoundNode* currentNode() const;

signals:
    void nodeSelected(pelorin::FoundNode* node);
    void nodeActivated(pelorin::FoundNode* node);

private:
    ThumbnailModel model_;
    std::function<PreviewSource()> sourceProvider_;
};

}  // namespace pelorin::ui
