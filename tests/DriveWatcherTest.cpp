#include "drives/DriveWatcher.h"

#include <gtest/gtest.h>

#include <deque>


namespace pelorin {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Events in a queue; next() waits for one unless interrupted.
class FakeEventSource final : public DeviceEventSource {
public:
    void push(DeviceEventKind kind) { change([&] { events.push_back({kind, "", "block", "sdb"}); }); }
    void interrupt() override { change([&] { interrupted = true; }); }
    std::optional<DeviceEvent> next() override { return take(true); }
    std::optional<DeviceEvent> poll() override { return take(false); }
    std::size_t waiting() {
        std::lock_guard lock(mutex);
        return events.size();
    }

private:
    void change(const std::function<void()>& what) {
        std::lock_guard lock(mutex);
        what();
        changed.notify_all();
    }
    std::optional<DeviceEvent> take(bool wait) {
        std::unique_lock lock(mutex);
        if (wait) changed.wait(lock, [this] { return interrupted || !events.empty(); });
        if (interrupted || events.empty()) return std::nullopt;
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
bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit = 10s) {
    for (const auto end = Clock::now() + limit; !condition(); std::this_thread::sleep_for(5ms))
        if (Clock::now() > end) return false;
    return true;
}

// A watcher on a fake source; `before` are waiting already when it starts.
struct Watch {
    explicit Watch(std::chrono::milliseconds settle, std::vector<DeviceEventKind> before = {},
                   std::function<void()> onRefresh = [] {})
        : source(new FakeEventSource), watcher(std::unique_ptr<DeviceEventSource>(source), onRefresh, settle) {
        for (DeviceEventKind kind : before) source->push(kind);
        watcher.LaunchThread();
    }
    FakeEventSource* source;
    DriveWatcher watcher;
};

TEST(DriveWatcher, KindsOfEventsAndArrivalSettlesAndOneRebuildCoversTheEventsThatCameMeanwhile) {
    using enum DeviceEventKind;
    EXPECT_EQ((std::vector{kindOfEvent("add", "usb", "usb_device"), kindOfEvent("remove", "block", "partition"),
                           kindOfEvent("change", "block", "disk"), kindOfEvent("change", "block", "partition"),
                           kindOfEvent("bind", "usb", "usb_device")}),
              (std::vector{Arrival, Removal, Arrival, Other, Other}));
    const auto start = Clock::now();
    Watch w(300ms, {Arrival, Arrival, Removal, Arrival, Removal});
    ASSERT_TRUE(eventually([&] { return w.watcher.refreshCount() == 1; }));
    EXPECT_GE(Clock::now() - start, 300ms);
    const auto stopping = Clock::now();  // a watcher stops promptly while it waits
    w.watcher.stop();
    EXPECT_LT(Clock::now() - stopping, 1s);
    EXPECT_EQ(std::tuple(w.watcher.refreshCount(), w.source->waiting()), std::tuple(1u, 0u));
}

// A removal rebuilds at once, and one that comes during the rebuild is not lost; then
// another kind of event rebuilds nothing, and an arrival still settles when the watcher stops.
TEST(DriveWatcher, RemovalRebuildsAtOnceAndEventsDuringARebuildAreNotLost) {
    std::atomic<FakeEventSource*> source = nullptr;
    Watch w(1h, {}, [&] { if (auto* s = source.exchange(nullptr)) s->push(DeviceEventKind::Removal); });
    source = w.source;
    w.source->push(DeviceEventKind::Removal);
    ASSERT_TRUE(eventually([&] { return w.watcher.refreshCount() == 2; }));
    for (DeviceEventKind kind : {DeviceEventKind::Other, DeviceEventKind::Arrival}) {
        w.source->push(kind);
        ASSERT_TRUE(eventually([&] { return w.source->waiting() == 0; }));
        std::this_thread::sleep_for(20ms);
    }
    const auto stopping = Clock::now();
    w.watcher.stop();
    EXPECT_LT(Clock::now() - stopping, 1s);
    EXPECT_EQ(w.watcher.refreshCount(), 2u);
}

}  // namespace
}  // namespace pelorin
