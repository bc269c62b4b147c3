#pragma once
// Watches block, USB and FireWire devices come and go and has the drive list
// rebuilt once per event: an arrival first waits two seconds so the new
// device's partitions and properties have settled.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace pelorin {

enum class DeviceEventKind { Arrival, Removal, Other };

struct DeviceEvent {
    DeviceEventKind kind = DeviceEventKind::Other;
    std::string action;     // "add", "remove", "change", ...
    std::string subsystem;  // "block", "usb", "firewire"
    std::string sysname;
};

// The kind of a uevent: "add" is an arrival, "remove" a removal, and a
// "change" of a whole disk an arrival too (a card put into a reader).
DeviceEventKind kindOfEvent(std::string_view action, std::string_view subsystem, std::string_view devtype);

// Where device events come from: a udev monitor, or a test.
class DeviceEventSource {
public:
    virtual ~DeviceEventSource() = default;
    // Waits for the next event; nothing once interrupted (or on a failure).
    virtual std::optional<DeviceEvent> next() = 0;
    // The next event if one is waiting already, else nothing at once.
    virtual std::optional<DeviceEvent> poll() = 0;
    // Makes next() return nothing, now and from then on. Any thread.
    virtual void interrupt() = 0;
};

// A udev monitor of block, USB and FireWire devices: events as udev has
// processed them when a udev daemon runs, else the kernel's own events.
// Nothing (with the reason in `error`) when no monitor can be opened.
std::unique_ptr<DeviceEventSource> openSystemDeviceEventSource(std::string& error, bool* kernelEvents = nullptr);

inline constexpr std::chrono::milliseconds kArrivalSettleTime{2000};

class DriveWatcher {
public:
    // `refreshDriveList` must have the drive list rebuilt on the thread that
    // owns it and return once that is done (or at once when stopRequested()).
    DriveWatcher(std::unique_ptr<DeviceEventSource> source, std::function<void()> refreshDriveList,
                 std::chrono::milliseconds arrivalSettleTime = kArrivalSettleTime);
    ~DriveWatcher();
    DriveWatcher(const DriveWatcher&) = delete;
    DriveWatcher& operator=(const DriveWatcher&) = delete;

    // Starts the watcher thread (once).
    void LaunchThread();
    // Ends the watcher thread and waits for it. Any thread but the watcher's
    // own, and not while that thread waits in refreshDriveList for this one.
    void stop();
    bool stopRequested() const { return stopping.load(); }

    // How many times the list has been rebuilt.
    unsigned refreshCount() const { return refreshes.load(); }

private:
    // The watcher thread: waits for events until stopped.
    void AddToRunLoop();
    // One event: settle after an arrival, take in the events that came
    // meanwhile (the rebuild covers them), rebuild the list.
    void callback(const DeviceEvent& event);
    // False when stopped during the wait.
    bool waitUnlessStopped(std::chrono::milliseconds time);

    std::unique_ptr<DeviceEventSource> source;
    std::function<void()> refresh;
    std::chrono::milliseconds settleTime;
    std::thread thread;
    std::atomic<bool> stopping{false};
    std::atomic<unsigned> refreshes{0};
    std::mutex mutex;
    std::condition_variable wake;
};

}  // namespace pelorin
