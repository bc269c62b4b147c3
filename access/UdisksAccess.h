#pragma once
// DeviceAccess through UDisks2 on the system bus: finds the block object of a
// device node (Manager.ResolveDevice) and asks it for a read-only descriptor
// (Block.OpenForBackup), letting polkit ask the user for a password.

#include <string>

#include "access/DeviceAccess.h"
#include "access/UniqueFd.h"

namespace pelorin {

class UdisksAccess final : public DeviceAccess {
public:
    // An empty address means the system bus; tests give a private bus's address.
    explicit UdisksAccess(std::string busAddress = {});

    DeviceAccessResult openForReading(const std::string& deviceNode) override;
    void cancel() override;

private:
    std::string busAddress_;
    UniqueFd cancelled_;  // an eventfd that becomes readable on cancel()
};

}  // namespace pelorin
