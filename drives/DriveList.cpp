#include "drives/DriveList.h"

#include <algorithm>

#include "drives/DriveFinder.h"
#include "engine/SizeText.h"

namespace pelorin {
namespace {

std::string trimmed(const std::string& text) {
    auto blank = [](unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; };
    std::size_t begin = 0, end = text.size();
    while (begin < end && blank(text[begin])) ++begin;
    while (end > begin && blank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

uint64_t sizeOfRow(const MediaDictionary& row) {
    return static_cast<uint64_t>(std::max<int64_t>(0, row.number(mediakey::kDeviceSize).value_or(0)));
}

}  // namespace

bool isUsbKindRow(const MediaDictionary& row) { return row.flag(mediakey::kWhetherUSB); }

RowIdentity identityOfRow(const MediaDictionary& row) {
    if (isUsbKindRow(row))
        return {row.textOrEmpty(mediakey::kVendorIdentification), "-",
                row.textOrEmpty(mediakey::kProductRevisionLevel)};
    return {row.textOrEmpty(mediakey::kDeviceModel), row.textOrEmpty(mediakey::kDeviceSerial),
            row.textOrEmpty(mediakey::kDeviceRevision)};
}

uint32_t sectorSizeOfRow(const MediaDictionary& row) {
    const int64_t size = row.number(mediakey::kPreferredBlockSize).value_or(0);
    return size > 0 && size <= int64_t{UINT32_MAX} ? static_cast<uint32_t>(size) : 512u;
}

ChosenDrive chosenDriveFromRow(const MediaDictionary& row) {
    ChosenDrive drive;
    drive.name = row.text(mediakey::kDeviceModel)
                              .value_or(row.textOrEmpty(mediakey::kProductIdentification));
    RowIdentity identity = identityOfRow(row);
    drive.model = std::move(identity.model);
    drive.serial = std::move(identity.serial);
    drive.revision = std::move(identity.revision);
    drive.displayName =
        drive.model + " " + (isUsbKindRow(row) ? drive.name : drive.revision);
    drive.sectorSize = sectorSizeOfRow(row);
    drive.sourcePath = row.textOrEmpty(mediakey::kDevicePath);
    drive.sizeInBytes = sizeOfRow(row);
    drive.sectorCount = drive.sizeInBytes / drive.sectorSize;
    return drive;
}

std::string driveTitle(const MediaDictionary& row) {
    if (isUsbKindRow(row) && !row.flag(mediakey::kWhetherSATA))
        return row.textOrEmpty(mediakey::kVendorIdentification) + " " +
               row.textOrEmpty(mediakey::kProductIdentification) + " " +
               row.textOrEmpty(mediakey::kProductRevisionLevel);
    return row.textOrEmpty(mediakey::kDeviceModel) + " " + row.textOrEmpty(mediakey::kDeviceRevision);
}

std::string driveSizeText(const MediaDictionary& row) { return sizeText(sizeOfRow(row)); }

void tidyDriveIdentities(std::vector<MediaDictionary>& media) {
    for (MediaDictionary& dictionary : media) {
        if (dictionary.flag(mediakey::kWhetherVolume)) continue;
        // USB and FireWire drives keep what they report.
        if (isUsbKindRow(dictionary) && !dictionary.flag(mediakey::kWhetherSATA)) continue;
        for (std::string_view key : {mediakey::kDeviceModel, mediakey::kDeviceSerial}) {
            auto value = dictionary.text(key);
            dictionary.set(key, value ? trimmed(*value) : std::string("-"));
        }
    }
}

void separateDrivesAndVolumes(const std::vector<MediaDictionary>& media, std::vector<MediaDictionary>& drives,
                    std::vector<MediaDictionary>& volumes) {
    for (const MediaDictionary& dictionary : media)
        (dictionary.has(mediakey::kWhetherVolume) ? volumes : drives).push_back(dictionary);
}

void DriveList::buildList() {
    media_.clear();
    drives_.clear();
    volumes_.clear();
    lastResult_ = FindMediaMain(media_, database);
    tidyDriveIdentities(media_);
    separateDrivesAndVolumes(media_, drives_, volumes_);
    if (selectedRow_ && *selectedRow_ >= drives_.size()) selectedRow_.reset();
}

void DriveList::initialDriveList() { buildList(); }

void DriveList::refreshDriveList() {
    buildList();
    view.reloadDriveTable();
    view.setNextEnabled(false);
    notePresenceOfScannedDrive();
    switch (view.shownPage()) {
        case ShownPage::DriveList:
            if (selectedRow_)
                takeRow(*selectedRow_);
            else
                showNoSelection();
            break;
        case ShownPage::Results:
            view.rematchOpenedScanInfoDrive();
            break;
        case ShownPage::Other:
            break;
    }
}

void DriveList::notePresenceOfScannedDrive() {
    for (const MediaDictionary& row : drives_) {
        const RowIdentity identity = identityOfRow(row);
        // A row without a block size was scanned with 512-byte sectors: the
        // drive is still the same one.
        if (identity.model == chosen_.model && identity.revision == chosen_.revision &&
            sectorSizeOfRow(row) == chosen_.sectorSize && sizeOfRow(row) == chosen_.sizeInBytes) {
            previewPath_ = row.textOrEmpty(mediakey::kDevicePath);
            driveRemoved_ = false;
            return;
        }
    }
    previewPath_.clear();
    driveRemoved_ = true;
}

void DriveList::selectRow(std::optional<std::size_t> row) {
    selectedRow_ = row && *row < drives_.size() ? row : std::nullopt;
    if (selectedRow_)
        takeRow(*selectedRow_);
    else
        showNoSelection();
}

void DriveList::takeRow(std::size_t index) {
    view.setNextEnabled(true);
    chosen_ = chosenDriveFromRow(drives_.at(index));
    view.showChosenDrive(chosen_);
}

void DriveList::showNoSelection() {
    view.setNextEnabled(false);
    view.showNoDriveChosen();
}

void DriveList::backToDriveList() {
    driveRemoved_ = false;
    view.reloadDriveTable();
    if (selectedRow_ && *selectedRow_ < drives_.size())
        takeRow(*selectedRow_);
    else
        showNoSelection();
}

void DriveList::scanStarted() {
    previewPath_ = chosen_.sourcePath;
    driveRemoved_ = false;
}

void DriveList::copyDeviceIdentity(ScanContext& context) const {
    context.sourcePath = chosen_.sourcePath;
    context.sectorSize = chosen_.sectorSize;
    context.sectorCount = chosen_.sectorCount;
    context.previewSourcePath = previewPath_;
}

std::optional<std::size_t> DriveList::rematchScanInfoDrive(const ScanInfoDriveIdentity& file,
                                                           const FirstFiveSectorsReader& read) {
    auto match = pelorin::rematchScanInfoDrive(attachedDrives(drives_, read), file);
    if (match) previewPath_ = drives_[*match].textOrEmpty(mediakey::kDevicePath);
    return match;
}

}  // namespace pelorin
