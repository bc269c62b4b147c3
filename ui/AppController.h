#pragma once
// The desktop application's controller: owns the main window and its four
// pages (drive list, file types, scanning, results), moves between them,
// starts and ends scans, saves, and writes and opens scan-info files. The
// libraries do the work; this class asks the user, shows the outcome and
// keeps the window responsive while worker threads run.

#include <QObject>
#include <QPointer>
#include <QSize>
#include <QTimer>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include "access/DeviceAccess.h"
#include "app/SleepPrevention.h"
#include "drives/DeviceDatabase.h"
#include "drives/DriveList.h"
#include "drives/DriveWatcher.h"
#include "engine/FoundNode.h"
#include "engine/ScanOutcome.h"
#include "engine/SelectionTotals.h"
#include "engine/Source.h"
#include "recovery/SaveRecoveredFiles.h"
#include "scaninfo/ScanInfoFile.h"

class QAction;

namespace pelorin::ui {

class Dialogs;
class DriveListPage;
class FileTypesPage;
class InformationPanel;
class MainWindow;
class Previewer;
class QtPrompts;
class ResultsPage;
class ScanningPage;
class ScanSession;
class DeviceAccessRequest;

// The pages of the wizard, in order.
enum class Page { DriveList = 0, FileTypes = 1, Scanning = 2, Results = 3 };

// What the application is built from; tests give their own.
struct AppParts {
    Dialogs* dialogs = nullptr;
    std::unique_ptr<DeviceDatabase> devices;
    // Null: drives are not watched (tests; a machine without a monitor).
    std::unique_ptr<DeviceEventSource> deviceEvents;
    std::unique_ptr<KeepAwake> keepAwake;
    // Ends the application; tests record it instead.
    std::function<void()> quit;
    std::function<std::time_t()> wallClock = [] { return std::time(nullptr); };
    // Asks the system for a drive the user cannot open by themselves (UDisks2);
    // null: never asked, the refusal stands.
    std::unique_ptr<DeviceAccess> deviceAccess;
};

class AppController final : public QObject {
    Q_OBJECT
public:
    explicit AppController(AppParts parts, QObject* parent = nullptr);
    ~AppController() override;

    MainWindow* window() const { return window_.get(); }
    DriveListPage* driveListPage() const { return driveListPage_; }
    FileTypesPage* fileTypesPage() const { return fileTypesPage_; }
    ScanningPage* scanningPage() const { return scanningPage_; }
    ResultsPage* resultsPage() const { return resultsPage_; }
    Previewer* previewer() const { return previewer_; }
    Page currentPage() const;

    // The tree in hand (after a scan or an opened scan-info file), or null.
    FoundNode* root() const { return root_.get(); }
    const SelectionTotals& totals() const { return totals_; }
    bool scanInfoSaved() const { return scanInfoSaved_; }
    bool scanRunning() const;
    bool saving() const { return saveThread_.joinable(); }
    // Waiting for the system to hand over a drive the user cannot open.
    bool askingForAccess() const;
    // The source chosen for the next scan.
    const ChosenDrive& chosenSource() const { return chosen_; }

public slots:
    // Drive list page.
    void next();
    void openDiskImage();
    // Takes an image file as the source and shows the file types page; false
    // (after telling the user) when it cannot be read.
    bool chooseDiskImage(const QString& path);
    void openScanInfo();
    void openScanInfoFile(const QString& path);
    void exit();
    // File types page.
    void back();
    void scan();
    // Scanning page.
    void pause(bool paused);
    void stopScanning();
    // Results page.
    void saveData();
    void saveScan();
    void home();
    void exitFromResults();
    void stopSaving();
    // The window's close button and the Quit command.
    void windowShouldClose();
    void help();
    void displayAboutPanel();
    // What another launch asks of this one (ui/SingleInstance).
    void bringMainWindowToFront();
    void displayAlreadyRunningPanel();
    void openHandedOverScanInfo(const QString& path);

signals:
    // A scan, a save or a scan-info file has ended and the window shows its outcome.
    void scanFinished();
    void saveFinished();
    void scanInfoWritten(bool ok);
    void scanInfoRead(bool ok);

private:
    void buildMenus();
    void buildPreview();
    void connectPages();
    void showPage(Page page);
    void applyWindowSizeRules(Page page);
    void scanningCompleted(const ScanOutcome& outcome);
    void displayDriveList();
    void quitApplication();
    void filesDropped(const QStringList& paths);
    void startScanInfoSave();
    void afterScanInfoSaved(bool ok);
    void scanInfoOpened(std::shared_ptr<ScanInfo> info, std::optional<std::string> matchedDrive);
    void rematchScanInfoDrive();
    void savingCompleted();
    void saveEnded(const SaveResult& result);
    void tickSaveClock();
    // Opens what saving reads, when it is not open yet: the scanned source, or
    // the drive (or disk image) of an opened scan-info file. False after
    // telling the user, or while the system is asked for the drive: then
    // `handedOver` runs once it is handed over.
    bool ensureSaveSource(const std::function<void()>& handedOver);
    bool takeSaveSource(const std::string& path, std::unique_ptr<Source> source);
    void chooseFolderAndSave();
    // The "Drive cannot open or not found" alert for a source that did not open.
    // With no explanation given, what the failure itself suggests (rights, for one).
    void alertCannotOpen(const std::string& path, const SourceOpenFailure& why);
    void alertCannotOpen(const std::string& path, const SourceOpenFailure& why, const QString& explanation);
    // A drive the user may not open, which the system may hand over.
    bool mayAskForAccess(const SourceOpenFailure& why) const;
    // Asks the system for it off the main thread; `handedOver` gets the
    // source, or null after the user was told why not.
    void askForAccess(const std::string& path, uint32_t sectorSize, const SourceOpenFailure& why,
                      std::function<void(std::unique_ptr<Source>)> handedOver);
    void startScan(const ChosenDrive& drive, std::unique_ptr<Source> source);
    QString explanationFor(const std::string& path, int error) const;
    QString startFolder(const char* key) const;
    void rememberFolder(const char* key, const QString& path);
    int ask(const QString& question, const QStringList& buttons);

    AppParts parts_;
    Dialogs& dialogs_;
    std::unique_ptr<MainWindow> window_;
    DriveListPage* driveListPage_ = nullptr;
    FileTypesPage* fileTypesPage_ = nullptr;
    ScanningPage* scanningPage_ = nullptr;
    ResultsPage* resultsPage_ = nullptr;
    InformationPanel* informationPanel_ = nullptr;
    Previewer* previewer_ = nullptr;
    QtPrompts* prompts_ = nullptr;
    QAction* openDiskImageAction_ = nullptr;
    QAction* openScanInfoAction_ = nullptr;
    QSize initialWindowSize_;

    // The source of the next scan.
    ChosenDrive chosen_;
    bool chosenIsDiskImage_ = false;

    // The scan, and what it leaves: the tree, the source, the scan's header.
    std::unique_ptr<ScanSession> scanSession_;
    std::unique_ptr<FoundNode> root_;
    std::shared_ptr<Source> source_;  // shared with a preview still reading
    ScanInfoHeader header_;
    bool treeIsDiskImage_ = false;
    std::string treeSourcePath_;  // where saving reads; empty when unknown
    SelectionTotals totals_;
    bool scanInfoSaved_ = false;
    enum class AfterScanInfoSave { Nothing, Home, Quit };
    AfterScanInfoSave afterScanInfoSave_ = AfterScanInfoSave::Nothing;

    std::unique_ptr<SaveRecoveredFiles> saver_;
    std::thread saveThread_;
    std::thread scanInfoThread_;
    QTimer saveClock_;
    int saveSeconds_ = 0;
    SleepPrevention awake_;
    std::unique_ptr<DeviceAccessRequest> accessRequest_;
};

}  // namespace pelorin::ui
