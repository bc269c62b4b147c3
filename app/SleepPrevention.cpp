#include "app/SleepPrevention.h"

#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

namespace pelorin {
namespace {

class DbusKeepAwake final : public KeepAwake {
public:
    ~DbusKeepAwake() override { release(); }

    void poke() override {
        if (inhibitorFd < 0) takeInhibitor();
        simulateUserActivity();
    }

    void release() override {
        if (inhibitorFd >= 0) ::close(inhibitorFd);
        inhibitorFd = -1;
    }

private:
    // logind keeps the machine from idling into sleep while we hold the descriptor.
    void takeInhibitor() {
        sd_bus* bus = nullptr;
        if (sd_bus_open_system(&bus) < 0) return;
        sd_bus_message* reply = nullptr;
        sd_bus_error error = SD_BUS_ERROR_NULL;
        if (sd_bus_call_method(bus, "org.freedesktop.login1", "/org/freedesktop/login1",
                               "org.freedesktop.login1.Manager", "Inhibit", &error, &reply, "ssss", "idle:sleep",
                               "Pelorin", "Scanning a drive for lost files", "block") >= 0) {
            int fd = -1;
            if (sd_bus_message_read(reply, "h", &fd) >= 0 && fd >= 0) inhibitorFd = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
        }
        sd_bus_error_free(&error);
        sd_bus_message_unref(reply);
        sd_bus_flush_close_unref(bus);
    }

    static void simulateUserActivity() {
        sd_bus* bus = nullptr;
        if (sd_bus_open_user(&bus) < 0) return;
        sd_bus_error error = SD_BUS_ERROR_NULL;
        sd_bus_call_method(bus, "org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
                           "org.freedesktop.ScreenSaver", "SimulateUserActivity", &error, nullptr, "");
        sd_bus_error_free(&error);
        sd_bus_flush_close_unref(bus);
    }

    int inhibitorFd = -1;
};

}  // namespace

std::unique_ptr<KeepAwake> makeDbusKeepAwake() { return std::make_unique<DbusKeepAwake>(); }

SleepPrevention::SleepPrevention(std::unique_ptr<KeepAwake> keepAwake_, std::chrono::milliseconds interval_)
    : keepAwake(std::move(keepAwake_)), interval(interval_) {}

SleepPrevention::~SleepPrevention() { stopPreventingSleep(); }

void SleepPrevention::startPreventingSleep() {
    stopPreventingSleep();
    {
        std::lock_guard lock(mutex);
        stopRequested = false;
    }
    thread = std::thread([this] { run(); });
}

void SleepPrevention::stopPreventingSleep() {
    {
        std::lock_guard lock(mutex);
        stopRequested = true;
    }
    wake.notify_all();
    if (thread.joinable()) thread.join();
}

void SleepPrevention::run() {
    // Every scan pokes at least once, however short it is.
    std::unique_lock lock(mutex);
    do {
        lock.unlock();
        keepAwake->poke();
        lock.lock();
        wake.wait_for(lock, interval, [this] { return stopRequested; });
    } while (!stopRequested);
    lock.unlock();
    keepAwake->release();
}

}  // namespace pelorin
