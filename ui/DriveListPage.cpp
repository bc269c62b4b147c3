#include "ui/DriveListPage.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QSemaphore>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

#include "app/Texts.h"
#include "ui/DriveRowDelegate.h"
#include "ui/DriveTableModel.h"

namespace pelorin::ui {

DriveListPage::DriveListPage(DeviceDatabase& database, QWidget* parent)
    : QWidget(parent), list(database, *this), tableModel(new DriveTableModel(list, this)) {
    table = new QTableView(this);
    table->setModel(tableModel);
    table->setItemDelegateForColumn(DriveTableModel::DrivesColumn, new DriveRowDelegate(table));
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setShowGrid(false);
    table->setWordWrap(false);
    table->setAlternatingRowColors(true);
    table->verticalHeader()->hide();
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(DriveRowDelegate::rowHeight(table->font()));
    table->horizontalHeader()->setSectionResizeMode(DriveTableModel::DrivesColumn, QHeaderView::Stretch);
    table->horizontalHeader()->setSectionResizeMode(DriveTableModel::SizeColumn, QHeaderView::ResizeToContents);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);

    description = new QLabel(this);
    description->setObjectName(QStringLiteral("driveDescription"));
    description->setWordWrap(true);
    description->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    description->setFrameShape(QFrame::StyledPanel);
    description->setMargin(6);
    description->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Room for the four lines of a chosen drive, so the page does not jump.
    description->setMinimumHeight(description->fontMetrics().lineSpacing() * 5 + 12);

    QStyle* style = this->style();
    nextButton = new QPushButton(style->standardIcon(QStyle::SP_ArrowForward), tr("Next"), this);
    nextButton->setDefault(true);
    openScanInfo = new QPushButton(QIcon::fromTheme(QStringLiteral("document-open"),
                                                         style->standardIcon(QStyle::SP_DialogOpenButton)),
                                         tr("Open Scan Info…"), this);
    openDiskImage = new QPushButton(style->standardIcon(QStyle::SP_DriveDVDIcon), tr("Open Disk Image…"), this);
    auto* exit = new QPushButton(QIcon::fromTheme(QStringLiteral("application-exit"),
                                                 style->standardIcon(QStyle::SP_DialogCloseButton)),
                                 tr("Exit"), this);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(exit);
    buttons->addStretch();
    buttons->addWidget(openScanInfo);
    buttons->addWidget(openDiskImage);
    buttons->addWidget(nextButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table, 1);
    layout->addWidget(description);
    layout->addLayout(buttons);

    connect(nextButton, &QPushButton::clicked, this, &DriveListPage::nextClicked);
    connect(openScanInfo, &QPushButton::clicked, this, &DriveListPage::openScanInfoClicked);
    connect(openDiskImage, &QPushButton::clicked, this, &DriveListPage::openDiskImageClicked);
    connect(exit, &QPushButton::clicked, this, &DriveListPage::exitClicked);
    connect(table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &DriveListPage::takeSelectionFromTable);
    connect(table, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid() && nextButton->isEnabled()) emit driveActivated();
    });

    setAcceptDrops(true);
    list.initialDriveList();
    reloadDriveTable();
    list.selectRow(std::nullopt);
}

DriveListPage::~DriveListPage() { stopWatching(); }

void DriveListPage::takeSelectionFromTable() {
    if (showingListSelection) return;
    const QModelIndexList rows = table->selectionModel()->selectedRows();
    list.selectRow(rows.isEmpty() ? std::nullopt : std::optional<std::size_t>(rows.first().row()));
}

void DriveListPage::reloadDriveTable() {
    // The list keeps its chosen row across a rebuild; the table shows it again.
    showingListSelection = true;
    tableModel->reload();
    if (const auto row = list.selectedRow())
        table->selectRow(static_cast<int>(*row));
    showingListSelection = false;
}

void DriveListPage::setNextEnabled(bool enabled) { nextButton->setEnabled(enabled && !busy); }

void DriveListPage::setBusy(bool busy_) {
    busy = busy_;
    openScanInfo->setEnabled(!busy);
    openDiskImage->setEnabled(!busy);
    nextButton->setEnabled(!busy && list.selectedRow().has_value());
}

void DriveListPage::showChosenDrive(const ChosenDrive& drive) {
    description->setText(QString::fromStdString(texts::chosenDriveDescription(drive.name, drive.serial, drive.sizeInBytes)));
}

void DriveListPage::showNoDriveChosen() { description->setText(QString::fromUtf8(texts::kSelectDrivePrompt.data(), texts::kSelectDrivePrompt.size())); }

ShownPage DriveListPage::shownPage() const { return shownPageSource ? shownPageSource() : ShownPage::DriveList; }

void DriveListPage::startWatching(std::unique_ptr<DeviceEventSource> source, std::chrono::milliseconds arrivalSettleTime) {
    stopWatching();
    watcher = std::make_unique<DriveWatcher>(std::move(source), [this] { refreshFromWatcher(); }, arrivalSettleTime);
    watcher->LaunchThread();
}

void DriveListPage::stopWatching() {
    if (watcher) watcher->stop();
    watcher.reset();
}

unsigned DriveListPage::watchedRefreshes() const { return watcher ? watcher->refreshCount() : 0; }

void DriveListPage::refreshFromWatcher() {
    // The rebuild is queued to this page's thread and waited for, but in
    // slices: a stop() from that thread (the application quitting) must not
    // wait for a rebuild that thread will never run.
    auto done = std::make_shared<QSemaphore>();
    QMetaObject::invokeMethod(
        this,
        [this, done] {
            list.refreshDriveList();
            done->release();
        },
        Qt::QueuedConnection);
    const DriveWatcher* running = watcher.get();
    while (!done->tryAcquire(1, 100))
        if (running->stopRequested()) return;
}

bool DriveListPage::isDroppableFile(const QString& path) {
    const QFileInfo file(path);
    return file.isFile() || (file.exists() && !file.isDir());
}

QString DriveListPage::droppedFile(const QMimeData* data) {
    if (!data || !data->hasUrls()) return {};
    for (const QUrl& url : data->urls())
        if (url.isLocalFile() && isDroppableFile(url.toLocalFile())) return url.toLocalFile();
    return {};
}

void DriveListPage::dragEnterEvent(QDragEnterEvent* event) {
    if (!droppedFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void DriveListPage::dropEvent(QDropEvent* event) {
    const QString path = droppedFile(event->mimeData());
    if (path.isEmpty()) return;
    event->acceptProposedAction();
    emit diskImageDropped(path);
}

}  // namespace pelorin::ui
