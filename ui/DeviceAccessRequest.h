#pragma once
// Asks the system for a device the user cannot open (DeviceAccess) on a
// thread of its own: the system may show a password prompt and wait for the
// user, and the window must not freeze meanwhile. The answer comes back on
// the thread that asked.

#include <QObject>
#include <functional>
#include <string>
#include <thread>

#include "access/DeviceAccess.h"

namespace pelorin::ui {

class DeviceAccessRequest final : public QObject {
    Q_OBJECT
public:
    using Answered = std::function<void(DeviceAccessResult)>;

    explicit DeviceAccessRequest(DeviceAccess& access, QObject* parent = nullptr);
    // Ends a wait under way (as Dismissed) and waits for its thread.
    ~DeviceAccessRequest() override;

    bool waiting() const { return thread_.joinable(); }
    // Asks for the device node; `answered` runs on this object's thread. One
    // request at a time: false while another is waiting.
    bool start(const std::string& deviceNode, Answered answered);

private:
    DeviceAccess& access_;
    std::thread thread_;
};

}  // namespace pelorin::ui
