#include "ui/DeviceAccessRequest.h"

#include <QMetaObject>
#include <memory>

namespace pelorin::ui {

DeviceAccessRequest::DeviceAccessRequest(DeviceAccess& access, QObject* parent) : QObject(parent), access_(access) {}

DeviceAccessRequest::~DeviceAccessRequest() {
    if (!thread_.joinable()) return;
    access_.cancel();
    thread_.join();
}

bool DeviceAccessRequest::start(const std::string& deviceNode, Answered answered) {
    if (waiting()) return false;
    thread_ = std::thread([this, deviceNode, answered = std::move(answered)]() mutable {
        auto result = std::make_shared<DeviceAccessResult>(access_.openForReading(deviceNode));
        // Queued to this object: when it is destroyed first, the answer is dropped (and its descriptor closed).
        QMetaObject::invokeMethod(
            this,
            [this, result, answered = std::move(answered)] {
                thread_.join();
                answered(std::move(*result));
            },
            Qt::QueuedConnection);
    });
    return true;
}

}  // namespace pelorin::ui
