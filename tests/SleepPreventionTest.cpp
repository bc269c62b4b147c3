#include "app/SleepPrevention.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace pelorin {
namespace {

struct CountingKeepAwake : KeepAwake {
    CountingKeepAwake(std::atomic<int>& pokes, std::atomic<int>& releases) : pokes(pokes), releases(releases) {}
    void poke() override { ++pokes; }
    void release() override { ++releases; }
    std::atomic<int>& pokes;
    std::atomic<int>& releases;
};

// Started around each scan: it pokes while it runs, lets go when stopped, and
// can be started again for the next scan.
TEST(SleepPrevention, KeepsTheMachineAwakeUntilStoppedAndStartsAgain) {
    std::atomic<int> pokes{0}, releases{0};
    SleepPrevention awake(std::make_unique<CountingKeepAwake>(pokes, releases), std::chrono::milliseconds(1));
    for (int run = 1; run <= 2; ++run) {
        awake.startPreventingSleep();
        while (pokes.load() < run) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        awake.stopPreventingSleep();
        EXPECT_EQ(releases.load(), run);
    }
    const int afterStop = pokes.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(pokes.load(), afterStop);
}

TEST(SleepPrevention, DbusKeepAwakeIsQuietWithoutABus) {
    auto keepAwake = makeDbusKeepAwake();
    keepAwake->poke();
    keepAwake->release();
}

}  // namespace
}  // namespace pelorin
