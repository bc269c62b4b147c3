#pragma once
// The first page: the drives that can be scanned, the chosen one described
// under them, and the ways on (scan a drive, open scan information, open a
// disk image) or out. It owns the drive list and keeps it current while a
// device watcher runs.

#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>

#include "drives/DriveList.h"
#include "drives/DriveWatcher.h"

class QLabel;
class QMimeData;
class QPushButton;
class QTableView;

namespace pelorin::ui {

class DriveTableModel;

class DriveListPage final : public QWidget, public DriveListView {
    Q_OBJECT
public:
    // Builds the first list from `database`, which must outlive the page.
    explicit DriveListPage(DeviceDatabase& database, QWidget* parent = nullptr);
    ~DriveListPage() override;

    DriveList& driveList() { return list; }
    const DriveList& driveList() const { return list; }
    DriveTableModel& model() { return *tableModel; }

    // Which page of the window is shown, asked whenever the list is rebuilt.
    // While a scan-info file is read, nothing here starts another task.
    void setBusy(bool busy);
    void setShownPageSource(std::function<ShownPage()> source) { shownPageSource = std::move(source); }

    // Rebuilds the list on this page's thread after every device event from
    // `source`, until stopWatching() or the page's end.
    void startWatching(std::unique_ptr<DeviceEventSource> source,
                       std::chrono::milliseconds arrivalSettleTime = kArrivalSettleTime);
    void stopWatching();
    // How many times a device event has had the list rebuilt.
    unsigned watchedRefreshes() const;

    // DriveListView
    void reloadDriveTable() override;
    void setNextEnabled(bool enabled) override;
    void showChosenDrive(const ChosenDrive& drive) override;
    void showNoDriveChosen() override;
    ShownPage shownPage() const override;
    void rematchOpenedScanInfoDrive() override { emit openedScanInfoDriveRematchNeeded(); }

    // Whether a local file is something to open as a disk image.
    static bool isDroppableFile(const QString& path);

signals:
    void nextClicked();
    void openScanInfoClicked();
    void openDiskImageClicked();
    void exitClicked();
    // A row was double-clicked: as Next.
    void driveActivated();
    void diskImageDropped(const QString& path);
    void openedScanInfoDriveRematchNeeded();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void takeSelectionFromTable();
    // The first dropped local file fit to open, or nothing.
    static QString droppedFile(const QMimeData* data);
    // Runs on the watcher's thread: the rebuild happens on this page's thread.
    void refreshFromWatcher();

    DriveList list;
    DriveTableModel* tableModel;
    QTableView* table;
    QLabel* description;
    QPushButton* nextButton;
    QPushButton* openScanInfo;
    QPushButton* openDiskImage;
    bool busy = false;
    std::function<ShownPage()> shownPageSource;
    std::unique_ptr<DriveWatcher> watcher;
    bool showingListSelection = false;
};

}  // namespace pelorin::ui
