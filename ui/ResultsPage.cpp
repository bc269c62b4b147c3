#include "ui/ResultsPage.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyle>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>

#include "engine/CheckController.h"
#include "engine/SizeText.h"
#include "recovery/SaveRecoveredFiles.h"
#include "ui/ThumbnailView.h"

namespace pelorin::ui {
namespace {

// The bar runs over bytes, which need not fit an int: it shows tenths of a per cent.
constexpr int kBarSteps = 1000;

const QString kSelectAllTip = QStringLiteral("Select all files");
const QString kDeselectAllTip = QStringLiteral("Deselect all files");

QString sizeLabel(uint64_t bytes) { return QString::fromStdString(sizeText(bytes)); }

QPushButton* makeButton(const QString& text, const char* themeIcon, QStyle::StandardPixmap fallback,
                        QWidget* parent) {
    auto* button = new QPushButton(QIcon::fromTheme(QLatin1String(themeIcon), parent->style()->standardIcon(fallback)),
                                   text, parent);
    button->setAutoDefault(false);
    return button;
}

QLabel* makeValueLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

}  // namespace

ResultsPage::ResultsPage(SelectionTotals& totals, QWidget* parent)
    : QWidget(parent), totals_(totals), model_(totals, this) {
    buildLayout();
    connectControls();
    showScanResults(nullptr, 0);
}

void ResultsPage::buildLayout() {
    tree_ = new QTreeView(this);
    tree_->setModel(&model_);
    // Rows of one height let the view lay out a folder of a hundred thousand
    // files without asking each of them for its size.
    tree_->setUniformRowHeights(true);
    tree_->setSelectionMode(QAbstractItemView::SingleSelection);
    tree_->setSelectionBehavior(QAbstractItemView::SelectRows);
    tree_->setAllColumnsShowFocus(true);
    QHeaderView* header = tree_->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setSectionResizeMode(FoundTreeModel::FilesColumn, QHeaderView::Stretch);

    previousRowButton_ = makeButton(QStringLiteral("Previous"), "go-up", QStyle::SP_ArrowUp, this);
    previousRowButton_->setToolTip(QStringLiteral("Select the previous row"));
    nextRowButton_ = makeButton(QStringLiteral("Next"), "go-down", QStyle::SP_ArrowDown, this);
    nextRowButton_->setToolTip(QStringLiteral("Select the next row"));
    selectAllButton_ = new QCheckBox(QStringLiteral("Select all"), this);
    thumbnails_ = new ThumbnailView(this);
    thumbnailsButton_ = makeButton(QStringLiteral("Thumbnails"), "view-preview", QStyle::SP_FileDialogDetailedView, this);
    thumbnailsButton_->setCheckable(true);
    thumbnailsButton_->setToolTip(QStringLiteral("Show the files of the selected folder as pictures"));
    views_ = new QStackedWidget(this);
    views_->addWidget(tree_);
    views_->addWidget(thumbnails_);
    auto* rowLine = new QHBoxLayout;
    rowLine->addWidget(selectAllButton_);
    rowLine->addStretch(1);
    rowLine->addWidget(thumbnailsButton_);
    rowLine->addWidget(previousRowButton_);
    rowLine->addWidget(nextRowButton_);

    totalFilesLabel_ = makeValueLabel(this);
    totalSizeLabel_ = makeValueLabel(this);
    tickedCountLabel_ = makeValueLabel(this);
    tickedSizeLabel_ = makeValueLabel(this);
    savedSizeLabel_ = makeValueLabel(this);
    scanInfoStatusLabel_ = makeValueLabel(this);
    auto* foundForm = new QFormLayout;
    foundForm->addRow(QStringLiteral("Files found:"), totalFilesLabel_);
    foundForm->addRow(QStringLiteral("Total size:"), totalSizeLabel_);
    auto* tickedForm = new QFormLayout;
    tickedForm->addRow(QStringLiteral("Selected files:"), tickedCountLabel_);
    tickedForm->addRow(QStringLiteral("Selected size:"), tickedSizeLabel_);
    auto* savedForm = new QFormLayout;
    savedForm->addRow(QStringLiteral("Saved:"), savedSizeLabel_);
    savedForm->addRow(QStringLiteral("Scan info:"), scanInfoStatusLabel_);
    auto* displays = new QHBoxLayout;
    displays->addLayout(foundForm, 1);
    displays->addLayout(tickedForm, 1);
    displays->addLayout(savedForm, 1);

    saveProgressBox_ = new QGroupBox(QStringLiteral("Saving"), this);
    saveProgressBar_ = new QProgressBar(saveProgressBox_);
    saveProgressBar_->setRange(0, kBarSteps);
    saveProgressBar_->setTextVisible(false);
    elapsedHoursLabel_ = makeValueLabel(saveProgressBox_);
    elapsedMinutesLabel_ = makeValueLabel(saveProgressBox_);
    elapsedSecondsLabel_ = makeValueLabel(saveProgressBox_);
    filesSavedLabel_ = makeValueLabel(saveProgressBox_);
    stopSavingButton_ = makeButton(QStringLiteral("Stop"), "process-stop", QStyle::SP_BrowserStop, saveProgressBox_);
    auto* progressLine = new QHBoxLayout(saveProgressBox_);
    progressLine->addWidget(saveProgressBar_, 1);
    auto* elapsedCaption = new QLabel(QStringLiteral("Elapsed time:"), saveProgressBox_);
    elapsedCaption->setBuddy(elapsedHoursLabel_);
    progressLine->addWidget(elapsedCaption);
    progressLine->addWidget(elapsedHoursLabel_);
    progressLine->addWidget(new QLabel(QStringLiteral("h"), saveProgressBox_));
    progressLine->addWidget(elapsedMinutesLabel_);
    progressLine->addWidget(new QLabel(QStringLiteral("min"), saveProgressBox_));
    progressLine->addWidget(elapsedSecondsLabel_);
    progressLine->addWidget(new QLabel(QStringLiteral("s"), saveProgressBox_));
    progressLine->addSpacing(12);
    auto* filesSavedCaption = new QLabel(QStringLiteral("Files saved:"), saveProgressBox_);
    filesSavedCaption->setBuddy(filesSavedLabel_);
    progressLine->addWidget(filesSavedCaption);
    progressLine->addWidget(filesSavedLabel_);
    progressLine->addWidget(stopSavingButton_);
    saveProgressBox_->hide();

    homeButton_ = makeButton(QStringLiteral("Home"), "go-home", QStyle::SP_DirHomeIcon, this);
    saveScanInfoButton_ =
        makeButton(QStringLiteral("Save Scan Info"), "document-save-as", QStyle::SP_DriveFDIcon, this);
    viewButton_ = makeButton(QStringLiteral("View"), "document-preview", QStyle::SP_FileDialogContentsView, this);
    saveButton_ = makeButton(QStringLiteral("Save"), "document-save", QStyle::SP_DialogSaveButton, this);
    exitButton_ = makeButton(QStringLiteral("Exit"), "application-exit", QStyle::SP_DialogCloseButton, this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(homeButton_);
    buttons->addWidget(saveScanInfoButton_);
    buttons->addStretch(1);
    buttons->addWidget(viewButton_);
    buttons->addWidget(saveButton_);
    buttons->addWidget(exitButton_);

    auto* page = new QVBoxLayout(this);
    page->addWidget(views_, 1);
    page->addLayout(rowLine);
    page->addLayout(displays);
    page->addWidget(saveProgressBox_);
    page->addLayout(buttons);
}

void ResultsPage::connectControls() {
    connect(&model_, &FoundTreeModel::ticksChanged, this, &ResultsPage::showTicks);
    connect(selectAllButton_, &QCheckBox::clicked, this, [this](bool checked) {
        // As a click on the root's own check box.
        if (model_.root()) model_.setTicked(model_.root(), checked);
    });
    connect(nextRowButton_, &QPushButton::clicked, this, &ResultsPage::selectNextRow);
    connect(previousRowButton_, &QPushButton::clicked, this, &ResultsPage::selectPreviousRow);
    connect(saveButton_, &QPushButton::clicked, this, &ResultsPage::saveRequested);
    connect(saveScanInfoButton_, &QPushButton::clicked, this, &ResultsPage::saveScanInfoRequested);
    connect(homeButton_, &QPushButton::clicked, this, &ResultsPage::homeRequested);
    connect(exitButton_, &QPushButton::clicked, this, &ResultsPage::exitRequested);
    connect(stopSavingButton_, &QPushButton::clicked, this, &ResultsPage::stopSavingRequested);
    connect(viewButton_, &QPushButton::clicked, this, [this] {
        if (FoundNode* node = selectedNode()) emit previewRequested(node);
    });
    connect(tree_, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) {
        // A quick second click on a check box is a tick, not a request to look.
        if (busy_ || index.column() == FoundTreeModel::MarkColumn) return;
        if (FoundNode* node = model_.nodeAt(index)) emit previewRequested(node);
    });
    connect(tree_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { emit selectedNodeChanged(selectedNode()); });
    connect(thumbnailsButton_, &QPushButton::toggled, this, &ResultsPage::showThumbnails);
    // The grid moves the tree's selection, so that View and the row buttons act on its files.
    connect(thumbnails_, &ThumbnailView::nodeSelected, this,
            [this](FoundNode* node) { tree_->setCurrentIndex(model_.indexOf(node)); });
    connect(thumbnails_, &ThumbnailView::nodeActivated, this, [this](FoundNode* node) {
        if (!busy_) emit previewRequested(node);
    });
}

void ResultsPage::showThumbnails(bool on) {
    if (on) {
        // The selected folder, or the folder of the selected file.
        const FoundNode* folder = selectedNode();
        if (folder && !folder->isFolder()) folder = folder->parent();
        if (folder && folder == model_.root()) folder = nullptr;
        if (!folder && model_.root() && !model_.root()->children().empty()) folder = model_.root()->childAtIndex(0);
        thumbnails_->showFolder(folder);
    }
    views_->setCurrentWidget(on ? static_cast<QWidget*>(thumbnails_) : tree_);
}

void ResultsPage::showScanResults(FoundNode* root, uint64_t filesFound) {
    model_.setRoot(root);
    tree_->expand(model_.indexOf(root));
    busy_ = false;
    model_.setTicksLocked(false);
    totals_.reset();
    showTickedCount(0, 0);
    savedSizeLabel_->setText(sizeLabel(0));
    setScanInfoStatus(QStringLiteral("Not Saved"));
    stopSavingButton_->setEnabled(false);
    const bool hasFiles = treeHasFiles();
    totalFilesLabel_->setText(hasFiles ? QString::number(filesFound) : QStringLiteral("0"));
    totalSizeLabel_->setText(sizeLabel(hasFiles ? root->fileSize() : 0));
    exitButton_->setEnabled(true);
    homeButton_->setEnabled(true);
    enableForTree();
    // Nothing found: the one row there is stays as it is.
    setSelectionFrozen(!hasFiles);
    showSelectAllState(false, kSelectAllTip);
}

void ResultsPage::showOpenedScanInfo(FoundNode* root) {
    model_.setRoot(root);
    tree_->expand(model_.indexOf(root));
    busy_ = false;
    model_.setTicksLocked(false);
    const int32_t ticked = totals_.tickedFiles;
    showTickedCount(std::max(ticked, 0), ticked < 1 ? 0 : totals_.tickedBytes);
    totalSizeLabel_->setText(sizeLabel(root ? root->fileSize() : 0));
    totalFilesLabel_->setText(QString::number(root ? root->fileCount() : 0));
    const bool allTicked = root && int64_t(ticked) >= int64_t(root->fileCount());
    showSelectAllState(allTicked, QStringLiteral("Select all files "));
    setScanInfoStatus(QStringLiteral("Scan Info Opened"));
    savedSizeLabel_->setText(sizeLabel(0));
    stopSavingButton_->setEnabled(false);
    exitButton_->setEnabled(true);
    homeButton_->setEnabled(true);
    enableForTree();
    setSelectionFrozen(false);
}

void ResultsPage::setScanInfoStatus(const QString& status) { scanInfoStatusLabel_->setText(status); }

void ResultsPage::setBusy(bool busy) {
    busy_ = busy;
    if (busy) thumbnailsButton_->setChecked(false);  // the tree shows what a save is doing
    model_.setTicksLocked(busy);
    exitButton_->setEnabled(!busy);
    homeButton_->setEnabled(!busy);
    enableForTree();
    setSelectionFrozen(busy || !treeHasFiles());
    saveButton_->setEnabled(!busy && model_.root() && CheckController::countTickedFiles(*model_.root()) > 0);
}

void ResultsPage::clear() {
    thumbnailsButton_->setChecked(false);
    thumbnails_->showFolder(nullptr);
    model_.setRoot(nullptr);
    saveProgressBox_->hide();
}

void ResultsPage::beginSaveProgress() {
    // The selection is dropped and held still while the save reads the tree.
    tree_->selectionModel()->clearSelection();
    setSelectionFrozen(true);
    for (QLabel* field : {elapsedHoursLabel_, elapsedMinutesLabel_, elapsedSecondsLabel_})
        field->setText(QStringLiteral("00"));
    savedSizeLabel_->setText(sizeLabel(0));
    filesSavedLabel_->setText(QStringLiteral("0"));
    barMinimum_ = barMaximum_ = 0;
    setBarValue(0);
    stopSavingButton_->setEnabled(true);
    saveProgressBox_->show();
}

void ResultsPage::applySaveProgress(const SaveProgressUpdate& update) {
    if (update.barMinimumValue) barMinimum_ = *update.barMinimumValue;
    if (update.barMaximumValue) barMaximum_ = *update.barMaximumValue;
    if (update.savedData) savedSizeLabel_->setText(QString::fromStdString(savedSizeText(*update.savedData)));
    if (update.barIncrement) barValue_ += *update.barIncrement;
    if (update.barDoubleValue) barValue_ = *update.barDoubleValue;
    setBarValue(barValue_);
    filesSavedLabel_->setText(QString::number(update.filesSaved));
}

void ResultsPage::showSaveElapsed(int hours, int minutes, int seconds) {
    elapsedHoursLabel_->setText(QString::number(hours));
    elapsedMinutesLabel_->setText(QString::number(minutes));
    elapsedSecondsLabel_->setText(QString::number(seconds));
}

void ResultsPage::endSaveProgress() {
    saveProgressBox_->hide();
    showSaveElapsed(0, 0, 0);
    setBarValue(0);
    stopSavingButton_->setEnabled(false);
    setSelectionFrozen(busy_ || !treeHasFiles());
}

FoundNode* ResultsPage::selectedNode() const {
    const QModelIndexList rows = tree_->selectionModel()->selectedRows();
    return rows.isEmpty() ? nullptr : model_.nodeAt(rows.first());
}

void ResultsPage::selectNextRow() { moveSelection(true); }
void ResultsPage::selectPreviousRow() { moveSelection(false); }

void ResultsPage::moveSelection(bool down) {
    if (tree_->selectionMode() == QAbstractItemView::NoSelection) return;
    const QModelIndexList rows = tree_->selectionModel()->selectedRows();
    if (rows.isEmpty()) return;
    const QModelIndex to = down ? tree_->indexBelow(rows.first()) : tree_->indexAbove(rows.first());
    if (!to.isValid()) return;
    tree_->selectionModel()->setCurrentIndex(to, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    tree_->scrollTo(to);
}

void ResultsPage::showTicks() {
    const FoundNode* root = model_.root();
    if (!root) return;
    if (root->expandable() && !busy_) selectAllButton_->setEnabled(true);
    const int32_t ticked = CheckController::countTickedFiles(*root);
    totals_.tickedFiles = ticked;
    if (ticked <= 0) totals_.tickedBytes = 0;
    showTickedCount(ticked, totals_.tickedBytes);
    showSelectAllState(int64_t(ticked) >= int64_t(root->fileCount()), kSelectAllTip);
    emit ticksChanged();
}

void ResultsPage::showTickedCount(int32_t count, uint64_t bytes) {
    tickedCountLabel_->setText(QString::number(count));
    tickedSizeLabel_->setText(sizeLabel(bytes));
    saveButton_->setEnabled(count > 0 && !busy_);
}

void ResultsPage::showSelectAllState(bool allTicked, const QString& toolTipWhenNot) {
    selectAllButton_->setChecked(allTicked);
    selectAllButton_->setToolTip(allTicked ? kDeselectAllTip : toolTipWhenNot);
}

bool ResultsPage::treeHasFiles() const { return model_.root() && model_.root()->expandable(); }

void ResultsPage::enableForTree() {
    const bool on = treeHasFiles() && !busy_;
    for (QWidget* control : std::initializer_list<QWidget*>{selectAllButton_, saveScanInfoButton_, previousRowButton_,
                                                           nextRowButton_, viewButton_, thumbnailsButton_})
        control->setEnabled(on);
}

void ResultsPage::setSelectionFrozen(bool frozen) {
    tree_->setSelectionMode(frozen ? QAbstractItemView::NoSelection : QAbstractItemView::SingleSelection);
}

void ResultsPage::setBarValue(uint64_t value) {
    barValue_ = value;
    const uint64_t span = barMaximum_ > barMinimum_ ? barMaximum_ - barMinimum_ : 0;
    const uint64_t reached = std::clamp(value, barMinimum_, std::max(barMinimum_, barMaximum_)) - barMinimum_;
    saveProgressBar_->setValue(span == 0 ? 0 : int(double(reached) / double(span) * kBarSteps));
}

QAbstractButton& ResultsPage::saveButton() const { return *saveButton_; }
QAbstractButton& ResultsPage::saveScanInfoButton() const { return *saveScanInfoButton_; }
QAbstractButton& ResultsPage::homeButton() const { return *homeButton_; }
QAbstractButton& ResultsPage::viewButton() const { return *viewButton_; }
QAbstractButton& ResultsPage::thumbnailsButton() const { return *thumbnailsButton_; }
QAbstractButton& ResultsPage::selectAllButton() const { return *selectAllButton_; }
QAbstractButton& ResultsPage::previousRowButton() const { return *previousRowButton_; }
QAbstractButton& ResultsPage::nextRowButton() const { return *nextRowButton_; }
QAbstractButton& ResultsPage::exitButton() const { return *exitButton_; }
QAbstractButton& ResultsPage::stopSavingButton() const { return *stopSavingButton_; }

}  // namespace pelorin::ui
