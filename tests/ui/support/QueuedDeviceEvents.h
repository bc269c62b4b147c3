#pragma once
// Device events a test pushes into a queue; next() waits for one until interrupted.

#include <condition_variable>
#include <deque>
#include <mutex>

#include "drives/DriveWatcher.h"

namespace pelorin::ui::testing {

class QueuedDeviceEvents final : public DeviceEventSource {
public:
    void push(DeviceEventKind kind) {
        std::lock_guard lock(mutex);
        events.push_back({kind, kind == DeviceEventKind::Removal ? "remove" : "add", "block", "sdx"});
        changed.notify_all();
    }
    std::size_t waiting() {
        std::lock_guard lock(mutex);
        return events.size();
    }
    std::optional<DeviceEvent> next() override { return take(true); }
    std::optional<DeviceEvent> poll() override { return take(false); }
    void interrupt() override {
        std::lock_guard lock(mutex);
        interrupted = true;
        changed.notify_all();
    }

private:
    std::optional<DeviceEvent> take(bool wait) {
        std::unique_lock lock(mutex);
        if (wait) changed.wait(lock, [this] { return interrupted || !events.empty(); });
        if (interrupted || events.empty()) return std::nullopt;
        DeviceEvent event = events.front();
        events.pop_front();
        return event;
    }

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<DeviceEvent> events;
    bool interrupted = false;
};

}  // namespace pelorin::ui::testing
