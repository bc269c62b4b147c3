#include "scaninfo/SourceIdentity.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>

namespace pelorin {
namespace {

std::string trimmed(std::string text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

std::string firstLine(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return trimmed(line);
}

// A property from udev's record of the device, if udev keeps one.
std::string udevProperty(unsigned major, unsigned minor, const std::string& key) {
    std::ifstream in("/run/udev/data/b" + std::to_string(major) + ":" + std::to_string(minor));
    const std::string prefix = "E:" + key + "=";
    for (std::string line; std::getline(in, line);)
        if (line.starts_with(prefix)) return trimmed(line.substr(prefix.size()));
    return {};
}

std::string orDash(const std::string& text) { return text.empty() ? "-" : text; }

DriveIdentity blockDeviceIdentity(const std::string& path, dev_t device) {
    namespace fs = std::filesystem;
    unsigned major = ::major(device), minor = ::minor(device);
    std::error_code error;
    fs::path node = fs::canonical(
        "/sys/dev/block/" + std::to_string(major) + ":" + std::to_string(minor), error);
    if (!error && fs::exists(node / "partition")) {
        // A partition describes itself through its whole disk.
        node = node.parent_path();
        const std::string disk = firstLine(node / "dev");
        if (auto colon = disk.find(':'); colon != std::string::npos) {
            major = static_cast<unsigned>(std::stoul(disk.substr(0, colon)));
            minor = static_cast<unsigned>(std::stoul(disk.substr(colon + 1)));
        }
    }
    const fs::path deviceDir = node / "device";
    std::string model = firstLine(deviceDir / "model");
    if (model.empty()) model = firstLine(deviceDir / "name");  // SD and MMC cards
    if (model.empty()) model = udevProperty(major, minor, "ID_MODEL");
    const std::string vendor = firstLine(deviceDir / "vendor");
    std::string revision = firstLine(deviceDir / "rev");
    if (revision.empty()) revision = firstLine(deviceDir / "firmware_rev");
    if (revision.empty()) revision = udevProperty(major, minor, "ID_REVISION");
    std::string serial = firstLine(deviceDir / "serial");
    if (serial.empty()) serial = udevProperty(major, minor, "ID_SERIAL_SHORT");

    DriveIdentity identity;
    identity.displayName = model.empty() ? fs::path(path).filename().string() : model;
    const bool usb = !error && node.string().find("/usb") != std::string::npos;
    if (usb && !vendor.empty()) {
        // USB bridges rarely pass a serial through; such drives are known by vendor.
        identity.model = vendor;
        identity.serial = "-";
    } else {
        identity.model = orDash(model);
        identity.serial = orDash(serial);
    }
    identity.revision = orDash(revision);
    return identity;
}

}  // namespace

DriveIdentity sourceIdentity(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) return blockDeviceIdentity(path, st.st_rdev);
    return {std::filesystem::path(path).filename().string(), kDiskImageModel, "-", "-"};
}

}  // namespace pelorin
