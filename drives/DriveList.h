#pragma once
// The list of drives the user can scan, kept current as devices come and go,
// and the chosen-drive state that a chosen row gives: what the drive table of
// the first window shows, without any user interface in it.

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "drives/DeviceDatabase.h"
#include "drives/MediaDictionary.h"
#include "drives/ScanInfoDriveMatch.h"
#include "engine/ScanContext.h"

namespace pelorin {

// Which page of the main window is shown when the list is rebuilt.
enum class ShownPage { DriveList, Results, Other };

// What the drive list asks of the window that shows it (the desktop
// controller, the command-line tool, a test).
class DriveListView {
public:
    virtual ~DriveListView() = default;
    virtual void reloadDriveTable() = 0;
    virtual void setNextEnabled(bool enabled) = 0;
    // The description box: the chosen drive, or the invitation to choose one.
    virtual void showChosenDrive(const struct ChosenDrive& drive) = 0;
    virtual void showNoDriveChosen() = 0;
    virtual ShownPage shownPage() const = 0;
    // The list changed while the results of an opened scan-info file are
    // shown: match that file's drive again (DriveList::rematchScanInfoDrive).
    virtual void rematchOpenedScanInfoDrive() {}
};

// The chosen-drive state a drive row gives.
struct ChosenDrive {
    std::string name;  // the model, or the product of a drive without one
    std::string model;
    std::string serial;
    std::string revision;
    std::string displayName;
    std::string sourcePath;  // the device the scan reads
    uint32_t sectorSize = 512;
    uint64_t sizeInBytes = 0;
    uint64_t sectorCount = 0;
};

// A row of a USB or FireWire drive: identified by its vendor, product and
// revision level rather than by model, serial and revision.
bool isUsbKindRow(const MediaDictionary& row);

// Model, serial and revision of a row, by its kind (a USB drive's serial is "-").
struct RowIdentity {
    std::string model;
    std::string serial;
    std::string revision;
};
RowIdentity identityOfRow(const MediaDictionary& row);

// The sector size a row stands for: its "Preferred Block Size", or 512 when
// it has none or reports 0.
uint32_t sectorSizeOfRow(const MediaDictionary& row);

// The chosen-drive state of a row.
ChosenDrive chosenDriveFromRow(const MediaDictionary& row);

// The row's title: vendor, product and revision level of a USB or FireWire
// drive; model and revision of any other.
std::string driveTitle(const MediaDictionary& row);
// The "size" column of the drive table.
std::string driveSizeText(const MediaDictionary& row);

// Trims "device model" and "device serial" of every drive that is neither a
// volume nor a plain USB or FireWire drive, and gives "-" where they are missing.
void tidyDriveIdentities(std::vector<MediaDictionary>& media);

// Volumes to one list, drives (the rows of the drive table) to the other, in order.
void separateDrivesAndVolumes(const std::vector<MediaDictionary>& media, std::vector<MediaDictionary>& drives,
                    std::vector<MediaDictionary>& volumes);

class DriveList {
public:
    DriveList(DeviceDatabase& database, DriveListView& view) : database(database), view(view) {}

    // Builds the first list (before the device watcher starts).
    void initialDriveList();
    // Rebuilds the list after a device event, notes whether the scanned drive
    // is still attached, and takes the selected row again.
    void refreshDriveList();
    // The user chose a row, or none.
    void selectRow(std::optional<std::size_t> row);
    // Back on the drive list from a later page: the drive-list part of it.
    void backToDriveList();
    // A scan starts on the chosen drive: saving and preview read that device.
    void scanStarted();

    std::size_t numberOfRows() const { return drives_.size(); }
    const MediaDictionary& row(std::size_t index) const { return drives_.at(index); }
    std::optional<std::size_t> selectedRow() const { return selectedRow_; }

    const std::vector<MediaDictionary>& media() const { return media_; }
    const std::vector<MediaDictionary>& drives() const { return drives_; }
    const std::vector<MediaDictionary>& volumes() const { return volumes_; }

    const ChosenDrive& chosenDrive() const { return chosen_; }
    // The chosen-drive state restored from a scan-info file.
    void setChosenDrive(ChosenDrive drive) { chosen_ = std::move(drive); }
    // The device identity a scan of the chosen drive uses.
    void copyDeviceIdentity(ScanContext& context) const;

    // The device saving and preview read; empty while the scanned drive is away.
    const std::string& previewSourcePath() const { return previewPath_; }
    void setPreviewSourcePath(std::string path) { previewPath_ = std::move(path); }
    bool scannedDriveRemoved() const { return driveRemoved_.load(); }

    // Matches the drive of an opened scan-info file against the attached
    // drives, including their first five sectors; a match points saving and
    // preview at it. The matched row, or nothing (then nothing changes).
    std::optional<std::size_t> rematchScanInfoDrive(const ScanInfoDriveIdentity& file,
                                                    const FirstFiveSectorsReader& read);

    // Whether the machine keeps a udev database; without one, models, serials
    // and file systems may be missing from the list.
    bool udevDataAvailable() const { return database.hasUdevData(); }
    // The result of the last enumeration: 0, or the error code of FindMediaMain.
    int lastEnumerationResult() const { return lastResult_; }

private:
    void buildList();
    void notePresenceOfScannedDrive();
    void takeRow(std::size_t index);
    void showNoSelection();

    DeviceDatabase& database;
    DriveListView& view;
    std::vector<MediaDictionary> media_;
    std::vector<MediaDictionary> drives_;
    std::vector<MediaDictionary> volumes_;
    std::optional<std::size_t> selectedRow_;
    ChosenDrive chosen_;
    std::string previewPath_;
    std::atomic<bool> driveRemoved_{false};
    int lastResult_ = 0;
};

}  // namespace pelorin
