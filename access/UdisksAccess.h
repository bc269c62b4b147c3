#pragma once
// DeviceAccess through UDisks2 on the system bus: finds the block object of a
// device node (Manager.ResolveDevice) and asks it for a read-only descriptor
// (Block.OpenForBackup), letting polkit ask the user for a password.

#include <functional>
#include <string>

#include "access/DeviceAccess.h"

namespace pelorin {

class UdisksAccess final : public DeviceAccess {
public:
    // An empty address means the system bus; tests give a private bus's address.
    explicit UdisksAccess(std::string busAddress = {});

    DeviceAccessResult openForReading(const std::string& deviceNode) override;
    void cancel() override;

    // Runs on the asking thread once UDisks2 has found the device, just
    // before polkit may want a password (to start a terminal's agent then).
    void setBeforeAuthorisation(std::function<void()> beforeAuthorisation) {
        beforeAuthorisation_ = std::move(beforeAuthorisation);
    }

private:
    std::string busAddress_;
    std::function<void()> beforeAuthorisation_;
    UniqueFd cancelled_;  // an eventfd that becomes readable on cancel()
};

}  // namespace pelorin
