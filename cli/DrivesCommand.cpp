#include "cli/DrivesCommand.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "drives/DriveFinder.h"
#include "drives/DriveWatcher.h"
#include "drives/LibudevDeviceDatabase.h"
#include "drives/ScanInfoDriveMatch.h"

namespace pelorin::cli {
namespace {

// The tool has no window: alerts and log lines go to standard error, and the
// list is always "shown" with nothing selected.
class CliDriveListView final : public DriveListView {
public:
    void reloadDriveTable() override {}
    void setNextEnabled(bool) override {}
    void showChosenDrive(const ChosenDrive&) override {}
    void showNoDriveChosen() override {}
    ShownPage shownPage() const override { return ShownPage::DriveList; }
};

std::string withoutTrailingBlanks(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

void printTable(const DriveList& list) {
    if (list.numberOfRows() == 0) {
        std::printf("No drives found.\n");
        return;
    }
    std::printf("%-16s %-40s %12s %6s  %s\n", "DEVICE", "DRIVE", "SIZE", "SECTOR", "SERIAL");
    for (std::size_t i = 0; i < list.numberOfRows(); ++i) {
        const MediaDictionary& row = list.row(i);
        const ChosenDrive drive = chosenDriveFromRow(row);
        std::printf("%-16s %-40s %12s %6u  %s\n", drive.sourcePath.c_str(),
                    withoutTrailingBlanks(driveTitle(row)).c_str(), driveSizeText(row).c_str(),
                    drive.sectorSize, drive.serial.c_str());
    }
}

nlohmann::ordered_json toJson(const std::vector<MediaDictionary>& media) {
    nlohmann::ordered_json array = nlohmann::ordered_json::array();
    for (const MediaDictionary& dictionary : media) {
        nlohmann::ordered_json object = nlohmann::ordered_json::object();
        for (const auto& [key, value] : dictionary.entries())
            std::visit([&](const auto& v) { object[key] = v; }, value);
        array.push_back(std::move(object));
    }
    return array;
}

// Says what is missing when the machine keeps no udev database (a container, CI).
void noteMissingUdevData(const DriveList& list) {
    if (list.udevDataAvailable()) return;
    std::fprintf(stderr,
                 "note: no udev database on this machine (no udev daemon): drives are described from sysfs alone, "
                 "so some models and serials may be missing");
    if (!LibudevDeviceDatabase::canProbeFileSystems())
        std::fprintf(stderr, ", and file systems are unknown, so no volume is listed");
    else if (::geteuid() != 0)
        std::fprintf(stderr, "; file systems are read from the partitions, which needs root");
    std::fprintf(stderr, ".\n");
}

void print(const DriveList& list, bool json) {
    if (json)
        std::printf("%s\n", toJson(list.media()).dump(2).c_str());
    else
        printTable(list);
    std::fflush(stdout);
}

// Prints the list again after every device event until Ctrl-C.
int watch(DriveList& list, bool json) {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    // Blocked before the watcher thread starts, so it inherits the mask and
    // the signals reach sigwait below.
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    std::string error;
    bool kernelEvents = false;
    auto source = openSystemDeviceEventSource(error, &kernelEvents);
    if (!source) {
        std::fprintf(stderr, "pelorin-cli: %s\n", error.c_str());
        return 1;
    }
    if (kernelEvents) std::fprintf(stderr, "note: watching the kernel's device events (no udev daemon).\n");
    DriveWatcher watcher(std::move(source), [&] {
        list.refreshDriveList();
        std::printf("\n-- drive list changed --\n");
        print(list, json);
    });
    watcher.LaunchThread();
    int received = 0;
    sigwait(&signals, &received);
    watcher.stop();
    return 0;
}

}  // namespace

CLI::App* addDrivesCommand(CLI::App& app, DrivesOptions& options) {
    auto* command = app.add_subcommand("drives", "List the drives that can be scanned");
    command->add_flag("--json", options.json, "Print every drive and volume as a JSON media dictionary");
    command->add_flag("--watch", options.watch, "Print the list again whenever a drive comes or goes (Ctrl-C ends)");
    return command;
}

int runDrives(const DrivesOptions& options) {
    LibudevDeviceDatabase database;
    CliDriveListView view;
    DriveList list(database, view);
    list.initialDriveList();
    noteMissingUdevData(list);
    if (list.lastEnumerationResult() != 0) return 1;
    print(list, options.json);
    return options.watch ? watch(list, options.json) : 0;
}

std::optional<std::string> attachedDriveOf(const ScanInfoHeader& header, Notices& notices) {
    LibudevDeviceDatabase database;
    CliDriveListView view;
    DriveList list(database, view);
    list.initialDriveList();
    const auto attached = attachedDrives(list.drives(), deviceFirstFiveSectorsReader(notices));
    ScanInfoDriveIdentity file;
    file.name = header.identity.displayName;
    file.serial = header.identity.serial;
    file.model = header.identity.model;
    file.revision = header.identity.revision;
    file.sectorSize = header.sectorSize;
    file.sizeInBytes = header.sizeInBytes;
    file.firstSectors = header.firstSectors;
    if (auto match = matchScanInfoDrive(attached, file)) return attached[*match].sourcePath;
    return std::nullopt;
}

std::optional<ChosenDrive> listedDrive(const std::string& path) {
    struct stat wanted {};
    if (::stat(path.c_str(), &wanted) != 0 || !S_ISBLK(wanted.st_mode)) return std::nullopt;
    LibudevDeviceDatabase database;
    CliDriveListView view;
    DriveList list(database, view);
    list.initialDriveList();
    for (std::size_t i = 0; i < list.numberOfRows(); ++i) {
        const std::string device = list.row(i).textOrEmpty(mediakey::kDevicePath);
        struct stat listed {};
        if (::stat(device.c_str(), &listed) == 0 && S_ISBLK(listed.st_mode) && listed.st_rdev == wanted.st_rdev) {
            list.selectRow(i);
            return list.chosenDrive();
        }
    }
    return std::nullopt;
}

}  // namespace pelorin::cli
