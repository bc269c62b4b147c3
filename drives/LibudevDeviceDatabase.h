#pragma once
// The machine's own device database, read through libudev.

#include "drives/DeviceDatabase.h"

struct udev;

namespace pelorin {

class LibudevDeviceDatabase final : public DeviceDatabase {
public:
    LibudevDeviceDatabase();
    ~LibudevDeviceDatabase() override;
    LibudevDeviceDatabase(const LibudevDeviceDatabase&) = delete;
    LibudevDeviceDatabase& operator=(const LibudevDeviceDatabase&) = delete;

    bool enumerate(std::vector<BlockDevice>& devices, std::string& error) override;
    bool hasUdevData() const override;

    // Whether partitions without a udev file-system entry are probed for
    // their file system here (read-only). False when built without libblkid.
    static bool canProbeFileSystems();

private:
    struct udev* udev_;
};

}  // namespace pelorin
