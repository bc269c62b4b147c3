#include "drives/DriveWatcher.h"

#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace pelorin {
namespace {

std::string orEmpty(const char* text) { return text ? std::string(text) : std::string(); }

constexpr int kMostEventsPerRefresh = 1000;

class LibudevEventSource final : public DeviceEventSource {
public:
    LibudevEventSource(struct udev* udev, struct udev_monitor* monitor, int interruptFd)
        : udev(udev), monitor(monitor), interruptFd(interruptFd) {}
    ~LibudevEventSource() override {
        udev_monitor_unref(monitor);
        udev_unref(udev);
        ::close(interruptFd);
    }

    std::optional<DeviceEvent> next() override { return receive(-1); }
    std::optional<DeviceEvent> poll() override { return receive(0); }
    void interrupt() override {
        const uint64_t one = 1;
        // Only fails when the counter is full, which leaves it readable anyway.
        [[maybe_unused]] ssize_t written = ::write(interruptFd, &one, sizeof one);
    }

private:
    std::optional<DeviceEvent> receive(int timeoutMs) {
        for (;;) {
            struct pollfd fds[2] = {{udev_monitor_get_fd(monitor), POLLIN, 0}, {interruptFd, POLLIN, 0}};
            const int ready = ::poll(fds, 2, timeoutMs);
            if (ready < 0 && errno == EINTR) continue;
            // The interrupt stays readable, so every later wait ends at once too.
            if (ready <= 0 || (fds[1].revents & POLLIN)) return std::nullopt;
            if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) return std::nullopt;
            struct udev_device* device = udev_monitor_receive_device(monitor);
            if (!device) continue;  // a message the filters dropped
            DeviceEvent event;
            event.action = orEmpty(udev_device_get_action(device));
            event.subsystem = orEmpty(udev_device_get_subsystem(device));
            event.sysname = orEmpty(udev_device_get_sysname(device));
            event.kind = kindOfEvent(event.action, event.subsystem, orEmpty(udev_device_get_devtype(device)));
            udev_device_unref(device);
            return event;
        }
    }

    struct udev* udev;
    struct udev_monitor* monitor;
    int interruptFd;
};

}  // namespace

DeviceEventKind kindOfEvent(std::string_view action, std::string_view subsystem, std::string_view devtype) {
    if (action == "add") return DeviceEventKind::Arrival;
    if (action == "remove") return DeviceEventKind::Removal;
    // A card put into (or taken out of) a reader changes the reader's disk.
    if (action == "change" && subsystem == "block" && devtype == "disk") return DeviceEventKind::Arrival;
    return DeviceEventKind::Other;
}

std::unique_ptr<DeviceEventSource> openSystemDeviceEventSource(std::string& error, bool* kernelEvents) {
    struct udev* udev = udev_new();
    if (!udev) {
        error = "libudev could not be initialised";
        return nullptr;
    }
    // Without a udev daemon nothing is ever sent on the "udev" channel; the
    // kernel's own events still say that something came or went.
    struct udev_queue* queue = udev_queue_new(udev);
    const bool daemonRuns = queue && udev_queue_get_udev_is_active(queue);
    if (queue) udev_queue_unref(queue);
    struct udev_monitor* monitor = udev_monitor_new_from_netlink(udev, daemonRuns ? "udev" : "kernel");
    if (!monitor) {
        error = std::string("cannot open a device monitor: ") + std::strerror(errno);
        udev_unref(udev);
        return nullptr;
    }
    udev_monitor_filter_add_match_subsystem_devtype(monitor, "block", nullptr);
    udev_monitor_filter_add_match_subsystem_devtype(monitor, "usb", "usb_device");
    udev_monitor_filter_add_match_subsystem_devtype(monitor, "firewire", nullptr);
    const int interruptFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (interruptFd < 0 || udev_monitor_enable_receiving(monitor) < 0) {
        error = std::string("cannot listen for device events: ") + std::strerror(errno);
        if (interruptFd >= 0) ::close(interruptFd);
        udev_monitor_unref(monitor);
        udev_unref(udev);
        return nullptr;
    }
    if (kernelEvents) *kernelEvents = !daemonRuns;
    return std::make_unique<LibudevEventSource>(udev, monitor, interruptFd);
}

DriveWatcher::DriveWatcher(std::unique_ptr<DeviceEventSource> source, std::function<void()> refreshDriveList,
                           std::chrono::milliseconds arrivalSettleTime)
    : source(std::move(source)), refresh(std::move(refreshDriveList)), settleTime(arrivalSettleTime) {}

DriveWatcher::~DriveWatcher() { stop(); }

void DriveWatcher::LaunchThread() {
    if (thread.joinable() || stopping) return;
    thread = std::thread([this] { AddToRunLoop(); });
}

void DriveWatcher::stop() {
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    wake.notify_all();
    if (source) source->interrupt();
    if (thread.joinable() && thread.get_id() != std::this_thread::get_id()) thread.join();
}

void DriveWatcher::AddToRunLoop() {
    while (!stopping) {
        std::optional<DeviceEvent> event = source->next();
        if (!event) return;  // stopped, or the monitor failed
        callback(*event);
    }
}

bool DriveWatcher::waitUnlessStopped(std::chrono::milliseconds time) {
    std::unique_lock lock(mutex);
    return !wake.wait_for(lock, time, [this] { return stopping.load(); });
}

void DriveWatcher::callback(const DeviceEvent& event) {
    if (event.kind == DeviceEventKind::Other) return;
    bool mustSettle = event.kind == DeviceEventKind::Arrival;
    bool settled = false;
    // A bounded take-in, so that a flood of events still gets its rebuild.
    for (int taken = 0;; ++taken) {
        if (mustSettle && !settled) {
            if (!waitUnlessStopped(settleTime)) return;
            settled = true;
        }
        if (taken == kMostEventsPerRefresh) break;
        std::optional<DeviceEvent> pending = source->poll();
        if (!pending) break;
        if (pending->kind == DeviceEventKind::Arrival) mustSettle = true;
    }
    if (stopping) return;
    refresh();
    ++refreshes;
}

}  // namespace pelorin
