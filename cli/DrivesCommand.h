#pragma once
// `pelorin-cli drives`: the drives that can be scanned, as a table or as JSON.

#include <optional>
#include <string>

#include "drives/DriveList.h"
#include "engine/Prompts.h"
#include "scaninfo/ScanInfoFile.h"

namespace CLI {
class App;
}

namespace pelorin::cli {

struct DrivesOptions {
    bool json = false;
    bool watch = false;
};

// Adds the "drives" subcommand to the tool and returns it.
CLI::App* addDrivesCommand(CLI::App& app, DrivesOptions& options);
int runDrives(const DrivesOptions& options);

// The chosen-drive state of the listed drive at this device path (the same
// device under another name counts), or nothing when it is not listed.
std::optional<ChosenDrive> listedDrive(const std::string& path);

// The device path of the attached drive a scan-info file describes: the first
// listed drive with its serial, model, revision, sector size and size.
std::optional<std::string> attachedDriveOf(const ScanInfoHeader& header, Notices& notices);

}  // namespace pelorin::cli
