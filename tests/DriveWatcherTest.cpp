#include "drives/DriveWatcher.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>

#include "support/TestSupport.h"

namespace pelorin {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class FakeEventSource final : public DeviceEventSource {
public:
    void push(DeviceEventKind kind, std::string action = "add") {
        {
            std::lock_guard lock(mutex);
            events.push_back({kind, std::move(action), "block", "sdb"});
        }
        changed.notify_all();
    }
    std::optional<DeviceEvent> next() override {
        std::unique_lock lock(mutex);
        changed.wait(lock, [this] { return interrupted || !events.empty(); });
        if (interrupted) return std::nullopt;
        return take();
    }
    std::optional<DeviceEvent> poll() override {
        std::lock_guard lock(mutex);
        if (interrupted || events.empty()) return std::nullopt;
        return take();
    }
    void interrupt() override {
        {
            std::lock_guard lock(mutex);
            interrupted = true;
        }
        changed.notify_all();
    }
    std::size_t waiting() {
        std::lock_guard lock(mutex);
        return events.size();
    }

private:
    DeviceEvent take() {
        DeviceEvent e = events.front();
        events.pop_front();
        return e;
    }
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<DeviceEvent> events;
    bool interrupted = false;
};

// Waits (at most `limit`) until the condition holds.
template <class Condition>
bool eventually(Condition condition, std::chrono::milliseconds limit = 10s) {
    const auto end = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

struct Watch {
    // `before` are waiting already when the watcher starts.
    explicit Watch(std::chrono::milliseconds settle, std::function<void()> onRefresh = {},
                   std::vector<DeviceEventKind> before = {}) {
        auto owned = std::make_unique<FakeEventSource>();
        source = owned.get();
        for (DeviceEventKind kind : before) source->push(kind);
        watcher = std::make_unique<DriveWatcher>(
            std::move(owned),
            [this, onRefresh] {
                refreshedAt = Clock::now();
                if (onRefresh) onRefresh();
            },
            settle);
        watcher->LaunchThread();
    }
    FakeEventSource* source;
    std::unique_ptr<DriveWatcher> watcher;
    Clock::time_point refreshedAt;
};

TEST(DriveWatcher, KindsOfEvents) {
    EXPECT_EQ(kindOfEvent("add", "usb", "usb_device"), DeviceEventKind::Arrival);
    EXPECT_EQ(kindOfEvent("remove", "block", "partition"), DeviceEventKind::Removal);
    EXPECT_EQ(kindOfEvent("change", "block", "disk"), DeviceEventKind::Arrival);
    EXPECT_EQ(kindOfEvent("change", "block", "partition"), DeviceEventKind::Other);
    EXPECT_EQ(kindOfEvent("bind", "usb", "usb_device"), DeviceEventKind::Other);
    EXPECT_EQ(kArrivalSettleTime, 2000ms);
}

TEST(DriveWatcher, RemovalRebuildsAtOnceArrivalAfterSettling) {
    Watch removal(1h);
    removal.source->push(DeviceEventKind::Removal, "remove");
    EXPECT_TRUE(eventually([&] { return removal.watcher->refreshCount() == 1; }));

    Watch arrival(300ms);
    const auto pushed = Clock::now();
    arrival.source->push(DeviceEventKind::Arrival);
    ASSERT_TRUE(eventually([&] { return arrival.watcher->refreshCount() == 1; }));
    EXPECT_GE(arrival.refreshedAt - pushed, 300ms);
}

TEST(DriveWatcher, OneRebuildCoversTheEventsThatCameMeanwhile) {
    using enum DeviceEventKind;
    Watch w(200ms, {}, {Arrival, Arrival, Removal, Arrival, Removal, Arrival, Removal});
    ASSERT_TRUE(eventually([&] { return w.watcher->refreshCount() == 1; }));
    w.watcher->stop();
    EXPECT_EQ(w.watcher->refreshCount(), 1u);
    EXPECT_EQ(w.source->waiting(), 0u);
}

TEST(DriveWatcher, AnArrivalTakenInAfterARemovalStillSettles) {
    // The removal would rebuild at once, but an arrival waits behind it.
    std::atomic<int> refreshes{0};
    Watch w(1h, [&] { ++refreshes; }, {DeviceEventKind::Removal, DeviceEventKind::Arrival});
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(refreshes, 0);  // still settling
    w.watcher->stop();
    EXPECT_EQ(refreshes, 0);
}

TEST(DriveWatcher, EventsDuringARebuildAreNotLost) {
    std::atomic<bool> first{true};
    FakeEventSource* source = nullptr;
    Watch w(0ms, [&] {
        if (first.exchange(false)) source->push(DeviceEventKind::Removal, "remove");
    });
    source = w.source;
    w.source->push(DeviceEventKind::Removal, "remove");
    EXPECT_TRUE(eventually([&] { return w.watcher->refreshCount() == 2; }));
}

TEST(DriveWatcher, OtherEventsDoNotRebuild) {
    Watch w(0ms);
    w.source->push(DeviceEventKind::Other, "bind");
    w.source->push(DeviceEventKind::Removal, "remove");
    ASSERT_TRUE(eventually([&] { return w.watcher->refreshCount() == 1; }));
    EXPECT_EQ(w.source->waiting(), 0u);
}

TEST(DriveWatcher, StopsPromptlyWhileWaitingOrSettling) {
    const auto start = Clock::now();
    {
        Watch idle(1h);  // waiting for an event; the destructor stops it
    }
    Watch settling(1h);
    settling.source->push(DeviceEventKind::Arrival);
    std::this_thread::sleep_for(50ms);
    settling.watcher->stop();
    EXPECT_EQ(settling.watcher->refreshCount(), 0u);
    EXPECT_LT(Clock::now() - start, 10s);
}

// The machine's own monitor: opening it works or says why, and it stops.
TEST(DriveWatcherSmoke, SystemMonitorOpensAndStops) {
    std::string error;
    bool kernelEvents = false;
    auto source = openSystemDeviceEventSource(error, &kernelEvents);
    if (!source) GTEST_SKIP() << error;
    DriveWatcher watcher(std::move(source), [] {});
    watcher.LaunchThread();
    watcher.stop();
    EXPECT_EQ(watcher.refreshCount(), 0u);
}

// Attaching a loop device is a device event the watcher rebuilds the list for.
TEST(DriveWatcherLoop, AttachingALoopDeviceRebuildsTheList) {
    if (::geteuid() != 0) GTEST_SKIP() << "loop devices need root";
    std::string error;
    auto source = openSystemDeviceEventSource(error);
    if (!source) GTEST_SKIP() << error;
    std::atomic<unsigned> refreshes{0};
    DriveWatcher watcher(std::move(source), [&] { ++refreshes; }, 50ms);
    watcher.LaunchThread();

    test::TempImage image(1048576);
    const std::string out = image.path() + ".loop";
    if (std::system(("losetup -f --show " + image.path() + " >" + out + " 2>/dev/null").c_str()) != 0) {
        std::filesystem::remove(out);
        GTEST_SKIP() << "cannot create a loop device here";
    }
    std::string loop;
    {
        std::ifstream in(out);
        std::getline(in, loop);
    }
    std::filesystem::remove(out);
    const bool seen = eventually([&] { return refreshes > 0; });
    std::system(("losetup -d " + loop).c_str());
    watcher.stop();
    EXPECT_TRUE(seen);
}

}  // namespace
}  // namespace pelorin
