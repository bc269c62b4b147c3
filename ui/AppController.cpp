#include "ui/AppController.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QStackedWidget>
#include <QStandardPaths>
#include <cerrno>

#include "app/Texts.h"
#include "drives/DeviceDatabase.h"
#include "drives/DriveWatcher.h"
#include "drives/ScanInfoDriveMatch.h"
#include "engine/ControllerReaders.h"
#include "engine/OpenSource.h"
#include "ui/DeviceAccessRequest.h"
#include "ui/Dialogs.h"
#include "ui/DriveListPage.h"
#include "ui/FileTypesPage.h"
#include "ui/InformationPanel.h"
#include "ui/MainWindow.h"
#include "ui/Previewer.h"
#include "ui/QtPrompts.h"
#include "ui/ResultsPage.h"
#include "ui/ScanSession.h"
#include "ui/ScanningPage.h"
#include "ui/ThumbnailView.h"
#include "ui/WindowTexts.h"

namespace pelorin::ui {

namespace {

constexpr const char* kDiskImageFolderKey = "folders/diskImages";
constexpr const char* kSaveFolderKey = "folders/recovery";
constexpr const char* kScanInfoFolderKey = "folders/scanInfo";

QString fromStd(const std::string& text) { return QString::fromStdString(text); }

bool isBlockDevice(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISBLK(st.st_mode);
}

}  // namespace

AppController::AppController(AppParts parts, QObject* parent)
    : QObject(parent),
      parts_(std::move(parts)),
      dialogs_(*parts_.dialogs),
      window_(std::make_unique<MainWindow>()),
      awake_(parts_.keepAwake ? std::move(parts_.keepAwake) : makeDbusKeepAwake()) {
    if (!parts_.quit) parts_.quit = [] { QApplication::quit(); };
    if (parts_.deviceAccess) accessRequest_ = std::make_unique<DeviceAccessRequest>(*parts_.deviceAccess);
    prompts_ = new QtPrompts(dialogs_, window_.get(), this);
    informationPanel_ = new InformationPanel(window_.get());

    driveListPage_ = new DriveListPage(*parts_.devices);
    fileTypesPage_ = new FileTypesPage;
    scanningPage_ = new ScanningPage;
    resultsPage_ = new ResultsPage(totals_);
    QStackedWidget* pages = window_->pages();
    pages->addWidget(driveListPage_);
    pages->addWidget(fileTypesPage_);
    pages->addWidget(scanningPage_);
    pages->addWidget(resultsPage_);
    driveListPage_->setShownPageSource([this] {
        switch (currentPage()) {
        case Page::DriveList: return ShownPage::DriveList;
        case Page::Results: return ShownPage::Results;
        default: return ShownPage::Other;
        }
    });

    buildMenus();
    connectPages();
    buildPreview();
    saveClock_.setInterval(1000);
    connect(&saveClock_, &QTimer::timeout, this, &AppController::tickSaveClock);

    if (parts_.deviceEvents) driveListPage_->startWatching(std::move(parts_.deviceEvents));

    // The window keeps its first size on every page but the results.
    window_->adjustSize();
    initialWindowSize_ = window_->size().expandedTo(QSize(820, 580));
    showPage(Page::DriveList);
    if (QScreen* screen = window_->screen()) {
        QRect frame(QPoint(), initialWindowSize_);
        frame.moveCenter(screen->availableGeometry().center());
        window_->move(frame.topLeft());
    }
}

AppController::~AppController() {
    accessRequest_.reset();  // ends a wait for the system's answer
    delete previewer_;       // waits for a preview still reading
    scanSession_.reset();  // stops and waits for a scan still running
    if (saver_) saver_->stopSaving();
    if (saveThread_.joinable()) saveThread_.join();
    if (scanInfoThread_.joinable()) scanInfoThread_.join();
    // The pages show the tree and the totals: they go before them.
    window_.reset();
}

void AppController::buildMenus() {
    QMenu* file = window_->menuBar()->addMenu(tr("&File"));
    openDiskImageAction_ = file->addAction(QIcon::fromTheme("document-open"), tr("Open Disk Image…"), this,
                                           &AppController::openDiskImage);
    openDiskImageAction_->setShortcut(QKeySequence::Open);
    openScanInfoAction_ = file->addAction(tr("Open Scan Info…"), this, &AppController::openScanInfo);
    openScanInfoAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    file->addSeparator();
    QAction* quit = file->addAction(QIcon::fromTheme("application-exit"), tr("Quit"), this,
                                    &AppController::windowShouldClose);
    quit->setShortcut(QKeySequence::Quit);
    QMenu* helpMenu = window_->menuBar()->addMenu(tr("&Help"));
    QAction* manual = helpMenu->addAction(QIcon::fromTheme("help-contents"), tr("Pelorin Manual"), this,
                                          &AppController::help);
    manual->setShortcut(QKeySequence::HelpContents);
    helpMenu->addAction(QIcon::fromTheme("help-about"), tr("About Pelorin"), this, &AppController::displayAboutPanel);
}

void AppController::buildPreview() {
    auto openSource = [this]() -> PreviewSource {
        // Never a question for a disk image here: without a known path, the drive is not found.
        if (!source_ && !treeSourcePath_.empty()) ensureSaveSource([] {});
        else if (!source_)
            dialogs_.alert(window_.get(), {fromStd(std::string(texts::kDriveCannotOpen)), QStringLiteral(" "),
                                           {words::kOK}, Alert::Icon::Warning});
        return {source_, header_.sectorSize};
    };
    resultsPage_->thumbnailView().setSourceProvider(openSource);
    PreviewHooks hooks;
    hooks.selectedNode = [this] { return resultsPage_->selectedNode(); };
    hooks.openSource = openSource;
    hooks.scanInfoUnsaved = [this] { return !scanInfoSaved_; };
    hooks.saveScanInfo = [this] { saveScan(); };
    previewer_ = new Previewer(dialogs_, window_.get(), std::move(hooks), this);
    connect(resultsPage_, &ResultsPage::previewRequested, previewer_, &Previewer::request);
    connect(resultsPage_, &ResultsPage::selectedNodeChanged, previewer_, &Previewer::selectionChanged);
}

void AppController::connectPages() {
    connect(driveListPage_, &DriveListPage::nextClicked, this, &AppController::next);
    connect(driveListPage_, &DriveListPage::driveActivated, this, &AppController::next);
    connect(driveListPage_, &DriveListPage::openScanInfoClicked, this, &AppController::openScanInfo);
    connect(driveListPage_, &DriveListPage::openDiskImageClicked, this, &AppController::openDiskImage);
    connect(driveListPage_, &DriveListPage::exitClicked, this, &AppController::exit);
    connect(driveListPage_, &DriveListPage::openedScanInfoDriveRematchNeeded, this,
            &AppController::rematchScanInfoDrive);
    connect(driveListPage_, &DriveListPage::diskImageDropped, this,
            [this](const QString& path) { filesDropped({path}); });
    connect(fileTypesPage_, &FileTypesPage::backClicked, this, &AppController::back);
    connect(fileTypesPage_, &FileTypesPage::scanClicked, this, &AppController::scan);
    connect(scanningPage_, &ScanningPage::pauseToggled, this, &AppController::pause);
    connect(scanningPage_, &ScanningPage::stopClicked, this, &AppController::stopScanning);
    connect(resultsPage_, &ResultsPage::saveRequested, this, &AppController::saveData);
    connect(resultsPage_, &ResultsPage::saveScanInfoRequested, this, &AppController::saveScan);
    connect(resultsPage_, &ResultsPage::homeRequested, this, &AppController::home);
    connect(resultsPage_, &ResultsPage::exitRequested, this, &AppController::exitFromResults);
    connect(resultsPage_, &ResultsPage::stopSavingRequested, this, &AppController::stopSaving);
    connect(window_.get(), &MainWindow::closeRequested, this, &AppController::windowShouldClose);
    connect(window_.get(), &MainWindow::filesDropped, this, &AppController::filesDropped);

    connect(prompts_, &QtPrompts::saveProgress, resultsPage_, &ResultsPage::applySaveProgress);
    connect(prompts_, &QtPrompts::activityStarted, this, [this](Activity activity) {
        const texts::ActivityText text = texts::activityFor(activity);
        informationPanel_->showActivity(QString::fromUtf8(text.title.data(), qsizetype(text.title.size())),
                                        QString::fromUtf8(text.text.data(), qsizetype(text.text.size())));
    });
    connect(prompts_, &QtPrompts::activityStopped, informationPanel_, &QWidget::hide);
    prompts_->beforeNotice = [this](const Notice& notice) {
        // A save gives its controls back before it says how it ended.
        if (notice.kind == NoticeKind::SavingCompleted || notice.kind == NoticeKind::SavingAborted)
            savingCompleted();
        if (notice.kind == NoticeKind::ScanInfoSaved || notice.kind == NoticeKind::ScanInfoCannotCreate ||
            notice.kind == NoticeKind::ScanInfoCannotWrite)
            informationPanel_->hide();
    };
    prompts_->explainNotice = [this](const Notice& notice) -> QString {
        if (notice.kind == NoticeKind::ScanSourceUnreadable || notice.kind == NoticeKind::FirstSectorsUnreadable ||
            notice.kind == NoticeKind::SaveSourceUnreadable)
            return explanationFor(notice.path, 0);
        return {};
    };
}

Page AppController::currentPage() const { return static_cast<Page>(window_->pages()->currentIndex()); }

bool AppController::scanRunning() const { return scanSession_ && scanSession_->running(); }

bool AppController::askingForAccess() const { return accessRequest_ && accessRequest_->waiting(); }

void AppController::showPage(Page page) {
    window_->pages()->setCurrentIndex(static_cast<int>(page));
    const bool onDriveList = page == Page::DriveList;
    openDiskImageAction_->setEnabled(onDriveList);
    openScanInfoAction_->setEnabled(onDriveList);
    applyWindowSizeRules(page);
}

// Only the results page may be resized or zoomed, and never below the size
// the window started with; every other page keeps that size.
void AppController::applyWindowSizeRules(Page page) {
    if (page == Page::Results) {
        window_->setMinimumSize(initialWindowSize_);
        window_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    } else {
        if (window_->isMaximized()) window_->showNormal();
        window_->setFixedSize(initialWindowSize_);
    }
}

int AppController::ask(const QString& question, const QStringList& buttons) {
    return dialogs_.alert(window_.get(), Alert{question, {}, buttons, Alert::Icon::Question});
}

QString AppController::startFolder(const char* key) const {
    const QString remembered = QSettings().value(key).toString();
    if (!remembered.isEmpty() && QFileInfo(remembered).isDir()) return remembered;
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    return QFileInfo(desktop).isDir() ? desktop : QDir::homePath();
}

void AppController::rememberFolder(const char* key, const QString& path) {
    QFileInfo info(path);
    QSettings().setValue(key, info.isDir() ? info.absoluteFilePath() : info.absolutePath());
}

// Why a source could not be read, and what the user can do about it.
QString AppController::explanationFor(const std::string& path, int error) const {
    if (error == EACCES || error == EPERM || (error == 0 && isBlockDevice(path) && ::access(path.c_str(), R_OK) != 0))
        return fromStd(texts::needsRightsAdvice(path)) + tr(" Or scan a disk image of the drive with Open Disk Image….");
    return {};
}

// ----- Drive list and file types -----

void AppController::next() {
    DriveList& list = driveListPage_->driveList();
    if (!list.selectedRow()) return;
    chosen_ = list.chosenDrive();
    chosenIsDiskImage_ = false;
    fileTypesPage_->enterWithAllTicked();
    fileTypesPage_->setDiskImageSectorSizes(false, 512);
    showPage(Page::FileTypes);
}

void AppController::openDiskImage() {
    if (currentPage() != Page::DriveList) return;
    const QString path = dialogs_.chooseFileToOpen(
        window_.get(), {tr("Open Disk Image"), startFolder(kDiskImageFolderKey), {},
                        tr("Disk images (*.img *.dd *.raw *.bin *.iso *.dmg *.E01 *.e01 *.001 *.aa);;All files (*)")});
    if (path.isEmpty()) return;
    rememberFolder(kDiskImageFolderKey, path);
    chooseDiskImage(path);
}

bool AppController::chooseDiskImage(const QString& path) {
    const std::string file = path.toStdString();
    SourceOpenFailure why;
    auto source = openSource(file, 512, &why);
    if (!source) {
        alertCannotOpen(file, why);
        return false;
    }
    // A disk image stands for the drive it was made from, with the identity pelorin-cli gives it.
    DriveIdentity identity = sourceIdentity(file);
    chosen_ = ChosenDrive{.name = identity.displayName,
                          .model = std::move(identity.model),
                          .serial = std::move(identity.serial),
                          .revision = std::move(identity.revision),
                          .displayName = std::move(identity.displayName),
                          .sourcePath = file,
                          .sectorSize = 512,
                          .sizeInBytes = source->size(),
                          .sectorCount = source->size() / 512};
    chosenIsDiskImage_ = true;
    fileTypesPage_->enterWithAllTicked();
    fileTypesPage_->setDiskImageSectorSizes(true, QSettings().value("diskImages/sectorSize", 512).toInt());
    showPage(Page::FileTypes);
    return true;
}

void AppController::filesDropped(const QStringList& paths) {
    if (paths.size() != 1 || currentPage() != Page::DriveList || scanInfoThread_.joinable()) return;
    if (paths.first().endsWith(QStringLiteral(".rvx")))
        openScanInfoFile(paths.first());
    else
        chooseDiskImage(paths.first());
}

void AppController::back() {
    driveListPage_->driveList().backToDriveList();
    showPage(Page::DriveList);
}

void AppController::exit() {
    if (ask(words::kCloseApplication, {words::kYes, words::kNo}) == 0) quitApplication();
}

void AppController::alertCannotOpen(const std::string& path, const SourceOpenFailure& why) {
    alertCannotOpen(path, why, explanationFor(path, why.kind == SourceOpenFailure::System ? why.error : 0));
}

void AppController::alertCannotOpen(const std::string& path, const SourceOpenFailure& why, const QString& explanation) {
    dialogs_.alert(window_.get(), {fromStd(std::string(texts::kDriveCannotOpen)), fromStd(texts::sourceOpenFailure(path, why)),
                                   {words::kOK}, Alert::Icon::Warning, explanation});
}

// ----- Scanning -----

void AppController::scan() {
    if (scanSession_ || askingForAccess() || fileTypesPage_->numberOfFileTypeSelected() == 0) return;
    ChosenDrive drive = chosen_;
    if (chosenIsDiskImage_) {
        drive.sectorSize = static_cast<uint32_t>(fileTypesPage_->diskImageSectorSize());
        drive.sectorCount = drive.sizeInBytes / drive.sectorSize;
        QSettings().setValue("diskImages/sectorSize", int(drive.sectorSize));
    }
    SourceOpenFailure why;
    auto source = openSource(drive.sourcePath, chosenIsDiskImage_ ? drive.sectorSize : 0, &why);
    if (!source) {
        // A drive the user may not open: the system may hand it over.
        if (!chosenIsDiskImage_ && mayAskForAccess(why)) {
            askForAccess(drive.sourcePath, 0, why, [this, drive](std::unique_ptr<Source> handed) {
                if (handed)
                    startScan(drive, std::move(handed));
                else
                    back();
            });
            return;
        }
        alertCannotOpen(drive.sourcePath, why);
        back();
        return;
    }
    startScan(drive, std::move(source));
}

void AppController::askForAccess(const std::string& path, uint32_t sectorSize, const SourceOpenFailure& why,
                                 std::function<void(std::unique_ptr<Source>)> handedOver) {
    window_->pages()->setEnabled(false);
    informationPanel_->showActivity(fromStd(std::string(texts::kAskingForAccessTitle)),
                                    fromStd(texts::askingForAccess(path)));
    accessRequest_->start(path, [this, path, sectorSize, why, handedOver](DeviceAccessResult answer) {
        informationPanel_->hide();
        window_->pages()->setEnabled(true);
        std::unique_ptr<Source> source;
        int adoptError = 0;
        if (answer.outcome == DeviceAccessResult::Outcome::Opened) {
            source = FileSource::adopt(answer.fd.release(), path, sectorSize);
            adoptError = errno;
        }
        if (!source) {
            const std::string explanation =
                answer.outcome == DeviceAccessResult::Outcome::Opened
                    ? texts::sourceOpenFailure(path, {SourceOpenFailure::System, adoptError, {}})
                    : texts::deviceAccessFailure(path, answer);
            alertCannotOpen(path, why, fromStd(explanation));
        }
        handedOver(std::move(source));
    });
}

bool AppController::mayAskForAccess(const SourceOpenFailure& why) const {
    return why.kind == SourceOpenFailure::System && accessRequest_ && !accessRequest_->waiting() &&
           parts_.deviceAccess->mayHelpWith(why.error);
}

void AppController::startScan(const ChosenDrive& drive, std::unique_ptr<Source> source) {
    std::vector<uint8_t> first5(std::size_t{5} * drive.sectorSize, 0);
    if (!readSector(*source, drive.sectorSize, first5, *prompts_)) {
        back();
        return;
    }
    header_ = {};
    header_.sectorSize = drive.sectorSize;
    header_.sizeInBytes = drive.sizeInBytes;
    header_.sectorCount = drive.sectorCount;
    header_.firstSectors = std::move(first5);
    header_.identity = {drive.name, drive.model, drive.serial, drive.revision};
    treeIsDiskImage_ = chosenIsDiskImage_;
    treeSourcePath_ = drive.sourcePath;
    if (!chosenIsDiskImage_) driveListPage_->driveList().scanStarted();

    scanSession_ = std::make_unique<ScanSession>(std::move(source), drive.sourcePath, drive.sectorSize,
                                                 fileTypesPage_->tickedTypes(), *prompts_);
    if (!fileTypesPage_->putSplitPhotosBackTogether()) scanSession_->setReassembly({});
    connect(scanSession_.get(), &ScanSession::progress, scanningPage_, &ScanningPage::showProgress);
    connect(scanSession_.get(), &ScanSession::reassemblyStarted, scanningPage_, &ScanningPage::showReassembling);
    connect(scanSession_.get(), &ScanSession::scanEnded, this, &AppController::scanningCompleted);
    scanningPage_->begin(drive, fileTypesPage_->tickedInKeyOrder());
    showPage(Page::Scanning);
    scanningPage_->startClock();
    awake_.startPreventingSleep();
    scanSession_->start();
}

void AppController::pause(bool paused) {
    if (scanSession_) scanSession_->setPaused(paused);
}

void AppController::stopScanning() {
    if (!scanRunning()) return;
    scanSession_->setPaused(true);
    const bool stop = ask(words::kStopScanning, {words::kYes, words::kNo}) == 0;
    if (!scanRunning()) return;  // it ended while the question was open
    if (stop) {
        scanSession_->cancel();
    } else {
        // Going on means going on, even if the scan had been paused before.
        scanningPage_->setPaused(false);
        scanSession_->setPaused(false);
    }
}

void AppController::scanningCompleted(const ScanOutcome& outcome) {
    awake_.stopPreventingSleep();
    scanningPage_->stopClock();
    scanningPage_->closeSelectedTypesWindow();
    const quint64 filesFound = scanSession_->context().filesFound.load();
    root_ = scanSession_->takeRoot();
    source_ = scanSession_->takeSource();
    scanSession_.reset();
    totals_.reset();
    resultsPage_->showScanResults(root_.get(), filesFound);
    scanInfoSaved_ = !(root_ && root_->expandable());
    resultsPage_->setScanInfoStatus(words::kNotSaved);
    showPage(Page::Results);
    if (outcome.unreadableSectors != 0)
        dialogs_.alert(window_.get(),
                       {tr("Some sectors could not be read"),
                        tr("%n sector(s) could not be read and were scanned as zeros. Files that lie on them may be "
                           "damaged.", nullptr, int(std::min<uint64_t>(outcome.unreadableSectors, INT32_MAX))),
                        {words::kOK}, Alert::Icon::Warning});
    emit scanFinished();
}

// ----- Saving -----

bool AppController::ensureSaveSource(const std::function<void()>& handedOver) {
    if (source_) return true;
    // An opened scan-info file: its drive, when attached, or the disk image it came from.
    std::string path = treeSourcePath_;
    if (path.empty() && treeIsDiskImage_) {
        const QString chosen = dialogs_.chooseFileToOpen(
            window_.get(), {tr("Locate the disk image %1").arg(fromStd(header_.identity.displayName)),
                            startFolder(kDiskImageFolderKey), {}, {}});
        if (chosen.isEmpty()) return false;
        path = chosen.toStdString();
    }
    if (path.empty()) {
        dialogs_.alert(window_.get(), {fromStd(std::string(texts::kDriveCannotOpen)), {}, {words::kOK},
                                       Alert::Icon::Warning,
                                       tr("Attach the drive that was scanned; Pelorin finds it by itself.")});
        return false;
    }
    SourceOpenFailure why;
    auto source = openSource(path, header_.sectorSize, &why);
    if (!source && !treeIsDiskImage_ && mayAskForAccess(why)) {
        askForAccess(path, header_.sectorSize, why, [this, path, handedOver](std::unique_ptr<Source> handed) {
            if (handed && takeSaveSource(path, std::move(handed)))
                handedOver();
            else
                resultsPage_->setBusy(false);
        });
        return false;
    }
    if (!source) {
        alertCannotOpen(path, why);
        return false;
    }
    return takeSaveSource(path, std::move(source));
}

bool AppController::takeSaveSource(const std::string& path, std::unique_ptr<Source> source) {
    // Files are cut at the source's end; a source smaller than the scanned drive is refused.
    ScanInfo info;
    info.header = header_;
    info.root = std::move(root_);
    const uint64_t sizeBefore = info.root->fileSize();
    const bool fits = fitToSource(info, *source, path, *prompts_);
    root_ = std::move(info.root);
    if (!fits) return false;
    if (root_->fileSize() != sizeBefore) {
        totals_ = filesToSave(*root_);
        resultsPage_->showOpenedScanInfo(root_.get());
    }
    treeSourcePath_ = path;
    source_ = std::move(source);
    return true;
}

void AppController::saveData() {
    if (!root_ || saving() || askingForAccess()) return;
    resultsPage_->setBusy(true);
    if (dialogs_.alert(window_.get(), {words::kInformation, words::kSameDriveWarning, {words::kYes, words::kNo},
                                       Alert::Icon::Warning}) != 0) {
        resultsPage_->setBusy(false);
        return;
    }
    if (!ensureSaveSource([this] { chooseFolderAndSave(); })) {
        if (!askingForAccess()) resultsPage_->setBusy(false);
        return;
    }
    chooseFolderAndSave();
}

void AppController::chooseFolderAndSave() {
    const QString folder = dialogs_.chooseFolder(window_.get(), {words::kSelect, startFolder(kSaveFolderKey)});
    if (folder.isEmpty()) {
        resultsPage_->setBusy(false);
        return;
    }
    rememberFolder(kSaveFolderKey, folder);
    saver_ = std::make_unique<SaveRecoveredFiles>(*source_, header_.sectorSize, totals_, *prompts_);
    const std::string destination = folder.toStdString();
    if (!saver_->checkDestination(destination)) {
        saver_.reset();
        resultsPage_->setBusy(false);
        return;
    }
    saveSeconds_ = 0;
    prompts_->beginTask();
    resultsPage_->beginSaveProgress();
    resultsPage_->showSaveElapsed(0, 0, 0);
    saveClock_.start();
    awake_.startPreventingSleep();
    saveThread_ = std::thread([this, destination] {
        SaveResult result = saver_->saveFilesAndFolders(*root_, destination);
        QMetaObject::invokeMethod(this, [this, result] { saveEnded(result); }, Qt::QueuedConnection);
    });
}

void AppController::stopSaving() {
    if (saver_) saver_->stopSaving();
}

void AppController::tickSaveClock() {
    ++saveSeconds_;
    if (saver_) saver_->setUpdateStatus(true);
    resultsPage_->showSaveElapsed(saveSeconds_ / 3600, saveSeconds_ / 60 % 60, saveSeconds_ % 60);
}

// The save's controls back, before its last alert.
void AppController::savingCompleted() {
    saveClock_.stop();
    awake_.stopPreventingSleep();
    resultsPage_->endSaveProgress();
    resultsPage_->setBusy(false);
}

void AppController::saveEnded(const SaveResult& result) {
    if (saveThread_.joinable()) saveThread_.join();
    savingCompleted();
    saver_.reset();
    if (!result.recoveryFolder.empty() && QFileInfo(fromStd(result.recoveryFolder)).isDir())
        dialogs_.openUrl(QUrl::fromLocalFile(fromStd(result.recoveryFolder)));
    emit saveFinished();
}

// ----- Scan-info files -----

void AppController::saveScan() {
    if (!root_ || saving() || scanInfoThread_.joinable()) return;
    resultsPage_->setBusy(true);
    const QString name = fromStd(defaultScanInfoName(parts_.wallClock()));
    const QString path = dialogs_.chooseFileToSave(
        window_.get(), {words::kSave, startFolder(kScanInfoFolderKey), name, tr("Scan information (*.rvx)")});
    if (path.isEmpty()) {
        afterScanInfoSave_ = AfterScanInfoSave::Nothing;
        resultsPage_->setBusy(false);
        return;
    }
    rememberFolder(kScanInfoFolderKey, path);
    ScanInfoHeader header = header_;
    header.tickedFiles = totals_.tickedFiles;
    header.tickedBytes = totals_.tickedBytes;
    // The panel's own extension is not doubled: the writer adds it.
    std::string chosen = path.toStdString();
    if (path.endsWith(QStringLiteral(".rvx"))) chosen.resize(chosen.size() - 4);
    scanInfoThread_ = std::thread([this, chosen, header] {
        const bool ok = saveScanInfo(chosen, header, *root_, *prompts_);
        QMetaObject::invokeMethod(this, [this, ok] { afterScanInfoSaved(ok); }, Qt::QueuedConnection);
    });
}

void AppController::afterScanInfoSaved(bool ok) {
    if (scanInfoThread_.joinable()) scanInfoThread_.join();
    informationPanel_->hide();
    resultsPage_->setBusy(false);
    const AfterScanInfoSave then = afterScanInfoSave_;
    afterScanInfoSave_ = AfterScanInfoSave::Nothing;
    emit scanInfoWritten(ok);
    if (!ok) return;
    scanInfoSaved_ = true;
    resultsPage_->setScanInfoStatus(words::kSaved);
    if (then == AfterScanInfoSave::Home)
        displayDriveList();
    else if (then == AfterScanInfoSave::Quit)
        quitApplication();
}

void AppController::openScanInfo() {
    if (currentPage() != Page::DriveList || scanInfoThread_.joinable()) return;
    const QString path = dialogs_.chooseFileToOpen(
        window_.get(), {words::kSelect, startFolder(kScanInfoFolderKey), {}, tr("Scan information (*.rvx);;All files (*)")});
    if (path.isEmpty()) return;
    rememberFolder(kScanInfoFolderKey, path);
    openScanInfoFile(path);
}

void AppController::openScanInfoFile(const QString& path) {
    if (scanInfoThread_.joinable()) return;
    driveListPage_->setBusy(true);
    openScanInfoAction_->setEnabled(false);
    const std::vector<MediaDictionary> drives = driveListPage_->driveList().drives();
    const std::string file = path.toStdString();
    scanInfoThread_ = std::thread([this, file, drives] {
        std::shared_ptr<ScanInfo> info;
        std::optional<std::string> matched;
        if (auto opened = pelorin::openScanInfo(file, *prompts_)) {
            info = std::make_shared<ScanInfo>(std::move(*opened));
            ScanInfoDriveIdentity identity{info->header.identity.displayName, info->header.identity.serial,
                                           info->header.identity.model,       info->header.identity.revision,
                                           info->header.sectorSize,           info->header.sizeInBytes,
                                           info->header.firstSectors};
            const auto attached = attachedDrives(drives, deviceFirstFiveSectorsReader(*prompts_));
            if (auto match = matchScanInfoDrive(attached, identity)) matched = attached[*match].sourcePath;
        }
        QMetaObject::invokeMethod(this, [this, info, matched] { scanInfoOpened(info, matched); },
                                  Qt::QueuedConnection);
    });
}

void AppController::scanInfoOpened(std::shared_ptr<ScanInfo> info, std::optional<std::string> matchedDrive) {
    if (scanInfoThread_.joinable()) scanInfoThread_.join();
    informationPanel_->hide();
    driveListPage_->setBusy(false);
    openScanInfoAction_->setEnabled(currentPage() == Page::DriveList);
    if (!info || !info->root) {
        emit scanInfoRead(false);
        return;
    }
    header_ = info->header;
    root_ = std::move(info->root);
    source_.reset();
    treeIsDiskImage_ = header_.identity.model == kDiskImageModel;
    treeSourcePath_ = matchedDrive.value_or(std::string());
    if (matchedDrive) driveListPage_->driveList().setPreviewSourcePath(*matchedDrive);
    // What is ticked is what the nodes say, whatever the header claims.
    totals_ = filesToSave(*root_);
    resultsPage_->showOpenedScanInfo(root_.get());
    resultsPage_->setScanInfoStatus(words::kScanInfoOpened);
    scanInfoSaved_ = true;
    showPage(Page::Results);
    emit scanInfoRead(true);
}

// The attached drives changed while an opened scan-info file is shown: its
// drive may have come (back), perhaps under another device name.
void AppController::rematchScanInfoDrive() {
    if (!root_ || treeIsDiskImage_ || saving()) return;
    const ScanInfoDriveIdentity identity{header_.identity.displayName, header_.identity.serial,
                                         header_.identity.model,       header_.identity.revision,
                                         header_.sectorSize,           header_.sizeInBytes,
                                         header_.firstSectors};
    DriveList& list = driveListPage_->driveList();
    if (list.rematchScanInfoDrive(identity, deviceFirstFiveSectorsReader(*prompts_))) {
        treeSourcePath_ = list.previewSourcePath();
        source_.reset();
    }
}

// ----- Leaving the results, and quitting -----

void AppController::home() {
    if (saving()) return;
    if (scanInfoSaved_) {
        displayDriveList();
        return;
    }
    switch (ask(words::kSaveScanInformation, {words::kYes, words::kCancel, words::kNo})) {
    case 0:
        afterScanInfoSave_ = AfterScanInfoSave::Home;
        saveScan();
        break;
    case 2: displayDriveList(); break;
    default: break;
    }
}

void AppController::displayDriveList() {
    previewer_->close();
    resultsPage_->clear();
    root_.reset();
    source_.reset();
    totals_.reset();
    header_ = {};
    treeSourcePath_.clear();
    scanInfoSaved_ = false;
    afterScanInfoSave_ = AfterScanInfoSave::Nothing;
    driveListPage_->driveList().backToDriveList();
    if (window_->isMaximized()) window_->showNormal();
    window_->resize(initialWindowSize_);
    showPage(Page::DriveList);
}

void AppController::exitFromResults() {
    if (saving()) return;
    if (scanInfoSaved_) {
        if (ask(words::kCloseApplication, {words::kYes, words::kNo}) == 0) quitApplication();
        return;
    }
    switch (ask(words::kSaveScanInfoBeforeClosing, {words::kYes, words::kCancel, words::kNo})) {
    case 0:
        afterScanInfoSave_ = AfterScanInfoSave::Quit;
        saveScan();
        break;
    case 2: quitApplication(); break;
    default: afterScanInfoSave_ = AfterScanInfoSave::Nothing; break;
    }
}

void AppController::windowShouldClose() {
    // While a save or a scan-info file is written, the window cannot be closed.
    if (saving() || scanInfoThread_.joinable()) return;
    if (currentPage() == Page::Results && !scanInfoSaved_) {
        exitFromResults();
        return;
    }
    if (ask(words::kCloseApplication, {words::kYes, words::kNo}) == 0)
        quitApplication();
    else
        window_->raise();
}

void AppController::quitApplication() {
    scanSession_.reset();
    parts_.quit();
}

// ----- Another launch -----

void AppController::bringMainWindowToFront() {
    window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void AppController::displayAlreadyRunningPanel() {
    dialogs_.alert(window_.get(), {words::kCannotOpenScanInfoNow, words::kAlreadyRunning, {words::kOK}});
}

// A scan-info file from another launch opens only where Open Scan Info could
// open it: on the drive list, with no dialog open and no file being read.
void AppController::openHandedOverScanInfo(const QString& path) {
    bringMainWindowToFront();
    if (currentPage() != Page::DriveList || scanInfoThread_.joinable() || QApplication::activeModalWidget()) {
        displayAlreadyRunningPanel();
        return;
    }
    openScanInfoFile(path);
}

// ----- Help -----

void AppController::help() {
    const QStringList candidates{
        QCoreApplication::applicationDirPath() + "/../share/doc/pelorin/manual/index.html",
        QStringLiteral(PELORIN_SOURCE_DIR "/docs/manual/index.html"),
    };
    for (const QString& candidate : candidates)
        if (QFileInfo::exists(candidate)) {
            dialogs_.openUrl(QUrl::fromLocalFile(QFileInfo(candidate).canonicalFilePath()));
            return;
        }
    dialogs_.alert(window_.get(), {tr("The user manual is not installed"),
                                   tr("Pelorin's manual is installed in share/doc/pelorin/manual/index.html beside "
                                      "the program, and is in docs/manual/index.html of Pelorin's source."),
                                   {words::kOK}});
}

void AppController::displayAboutPanel() {
    dialogs_.alert(window_.get(),
                   {tr("About Pelorin"),
                    tr("Pelorin %1\n\nFinds lost photos, music and videos on drives, memory cards and disk images "
                       "by their content.\n\nFree software under the GNU General Public License, version 3 or later.")
                        .arg(QStringLiteral(PELORIN_VERSION)),
                    {words::kOK}});
}

}  // namespace pelorin::ui
