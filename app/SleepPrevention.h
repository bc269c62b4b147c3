#pragma once
// Keeps the machine awake while a scan runs: the application starts it
// around each scan.

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace pelorin {

// One way of telling the system that the user is active.
class KeepAwake {
public:
    virtual ~KeepAwake() = default;
    virtual void poke() = 0;     // called every interval while a scan runs
    virtual void release() {}    // called when the scan ends
};

// Over D-Bus: holds a logind idle inhibitor and pokes the session's screen
// saver. Does nothing, quietly, where no bus answers.
std::unique_ptr<KeepAwake> makeDbusKeepAwake();

class SleepPrevention {
public:
    explicit SleepPrevention(std::unique_ptr<KeepAwake> keepAwake = makeDbusKeepAwake(),
                   std::chrono::milliseconds interval = std::chrono::seconds(5));
    ~SleepPrevention();
    SleepPrevention(const SleepPrevention&) = delete;
    SleepPrevention& operator=(const SleepPrevention&) = delete;

    void startPreventingSleep();
    void stopPreventingSleep();

private:
    void run();

    std::unique_ptr<KeepAwake> keepAwake;
    std::chrono::milliseconds interval;
    std::mutex mutex;
    std::condition_variable wake;
    bool stopRequested = false;
    std::thread thread;
};

}  // namespace pelorin
