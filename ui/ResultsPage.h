#pragma once
// The results page: the found-file tree of the last scan or of an opened
// scan-info file, its tick totals, the buttons that act on it and the progress
// of a save. The page shows; the controller decides: every button becomes a
// signal, and the controller feeds the scan results and the save progress in.

#include <QWidget>
#include <cstdint>

#include "engine/FoundNode.h"
#include "engine/Prompts.h"
#include "engine/SelectionTotals.h"
#include "ui/FoundTreeModel.h"

class QAbstractButton;
class QCheckBox;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTreeView;

namespace pelorin::ui {

class ThumbnailView;

class ResultsPage : public QWidget {
    Q_OBJECT
public:
    // The totals are the application's; ticking on this page keeps them.
    explicit ResultsPage(SelectionTotals& totals, QWidget* parent = nullptr);

    // A scan has ended with this tree (not owned; kept until clear() or the next tree).
    void showScanResults(FoundNode* root, uint64_t filesFound);
    // A tree read from a scan-info file; its ticks and the totals come with it.
    void showOpenedScanInfo(FoundNode* root);
    // "Not Saved", "Saved" or "Scan Info Opened".
    void setScanInfoStatus(const QString& status);
    // While a save runs: the buttons that leave or change the tree are off,
    // the ticks and the selection stay as they are.
    void setBusy(bool busy);
    bool isBusy() const { return busy_; }
    // Forgets the tree, which the caller is about to release.
    void clear();

    void beginSaveProgress();
    void applySaveProgress(const SaveProgressUpdate& update);
    void showSaveElapsed(int hours, int minutes, int seconds);
    void endSaveProgress();

    // The node of the selected row, if any.
    FoundNode* selectedNode() const;
    FoundTreeModel& model() { return model_; }
    QTreeView& treeView() { return *tree_; }
    // The "Thumbnails" view of a folder, shown in place of the tree.
    ThumbnailView& thumbnailView() { return *thumbnails_; }

    // The parts tests and the controller reach for by name.
    QAbstractButton& saveButton() const;
    QAbstractButton& saveScanInfoButton() const;
    QAbstractButton& homeButton() const;
    QAbstractButton& viewButton() const;
    QAbstractButton& thumbnailsButton() const;
    QAbstractButton& selectAllButton() const;
    QAbstractButton& previousRowButton() const;
    QAbstractButton& nextRowButton() const;
    QAbstractButton& exitButton() const;
    QAbstractButton& stopSavingButton() const;

public slots:
    void selectNextRow();
    void selectPreviousRow();

signals:
    void saveRequested();
    void saveScanInfoRequested();
    void homeRequested();
    void exitRequested();
    void stopSavingRequested();
    void previewRequested(pelorin::FoundNode* node);
    void selectedNodeChanged(pelorin::FoundNode* node);
    void ticksChanged();

private:
    void buildLayout();
    void connectControls();
    // After any tick change: the counts, the Save button and select-all.
    void showTicks();
    void showSelectAllState(bool allTicked, const QString& toolTipWhenNot);
    // Enables what needs found files to act on (select-all, row moves, View,
    // save scan info) and lets the selection move; a tree without files keeps
    // all of that off and the selection still.
    void enableForTree();
    bool treeHasFiles() const;
    void setSelectionFrozen(bool frozen);
    void showTickedCount(int32_t count, uint64_t bytes);
    void moveSelection(bool down);
    void setBarValue(uint64_t value);
    void showThumbnails(bool on);

    SelectionTotals& totals_;
    FoundTreeModel model_;
    bool busy_ = false;
    uint64_t barMinimum_ = 0;
    uint64_t barMaximum_ = 0;
    uint64_t barValue_ = 0;

    QTreeView* tree_;
    QStackedWidget* views_;
    ThumbnailView* thumbnails_;
    QPushButton* thumbnailsButton_;
    QLabel* totalFilesLabel_;
    QLabel* totalSizeLabel_;
    QLabel* tickedCountLabel_;
    QLabel* tickedSizeLabel_;
    QLabel* savedSizeLabel_;
    QLabel* scanInfoStatusLabel_;
    QPushButton* saveButton_;
    QPushButton* saveScanInfoButton_;
    QPushButton* homeButton_;
    QPushButton* viewButton_;
    QCheckBox* selectAllButton_;
    QPushButton* previousRowButton_;
    QPushButton* nextRowButton_;
    QPushButton* exitButton_;
    QGroupBox* saveProgressBox_;
    QProgressBar* saveProgressBar_;
    QLabel* elapsedHoursLabel_;
    QLabel* elapsedMinutesLabel_;
    QLabel* elapsedSecondsLabel_;
    QLabel* filesSavedLabel_;
    QPushButton* stopSavingButton_;
};

}  // namespace pelorin::ui
