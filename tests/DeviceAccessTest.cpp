// Reading a device through UDisks2, against a stand-in of the service on a
// private bus: the descriptor it hands over scans like the image itself, and
// every refusal comes back as its own outcome.

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "access/UdisksAccess.h"
#include "engine/Scanning.h"
#include "engine/Source.h"
#include "recognisers/Registry.h"
#include "support/PrivateBus.h"
#include "support/TestSupport.h"
#include "tools/ImageLayout.h"

namespace pelorin::test {
namespace {

using Outcome = DeviceAccessResult::Outcome;

constexpr const char* kDeviceNode = "/dev/pelorin-test-card";

// Every file of the tree, with where it starts and how long it is.
std::vector<std::string> filesOf(const FoundNode& root) {
    std::vector<std::string> files;
    for (const auto& folder : root.children())
        for (const auto& file : folder->children())
            files.push_back(folder->fileName() + "/" + file->fileName() + " @" + std::to_string(file->sectorNumber()) +
                            " +" + std::to_string(file->fileSize()));
    return files;
}

std::unique_ptr<FoundNode> scanSource(Source& source) {
    ScanContext ctx;
    ctx.sourcePath = source.name();
    ctx.sectorSize = source.sectorSize();
    ctx.sectorCount = source.sectorCount();
    ctx.source = &source;
    RecordingController controller(availableTypes());
    Scanning scanning(ctx, controller, registry());
    scanning.run();
    return scanning.takeRoot();
}

class DeviceAccessOverBus : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string missing = PrivateBus::missingTools(); !missing.empty()) GTEST_SKIP() << missing;
        ASSERT_FALSE(bus.address().empty()) << "the private bus did not start";
        const auto layoutFile = fixturePath("sample-layout.txt");
        tools::buildImage(tools::readLayout(layoutFile), layoutFile.parent_path(), image.path());
    }

    DeviceAccessResult ask(const std::string& answer, const std::string& node = kDeviceNode) {
        if (!bus.startUdisksStandIn(kDeviceNode, image.path(), answer)) ADD_FAILURE() << "the stand-in did not start";
        return UdisksAccess(bus.address()).openForReading(node);
    }

    PrivateBus bus;
    TempImage image;
};

TEST_F(DeviceAccessOverBus, TheHandedDescriptorScansLikeTheImageItself) {
    DeviceAccessResult result = ask("open");
    ASSERT_EQ(result.outcome, Outcome::Opened) << result.errorName << " " << result.errorMessage;
    auto handed = FileSource::adopt(result.fd.release(), kDeviceNode);
    ASSERT_TRUE(handed);
    auto direct = FileSource::open(image.path());
    ASSERT_TRUE(direct);
    EXPECT_EQ(handed->size(), direct->size());
    EXPECT_EQ(handed->sectorSize(), 512u);

    const auto throughService = filesOf(*scanSource(*handed));
    EXPECT_FALSE(throughService.empty());
    EXPECT_EQ(throughService, filesOf(*scanSource(*direct)));
}

TEST_F(DeviceAccessOverBus, EveryRefusalHasItsOwnOutcomeAndNoDescriptor) {
    const struct {
        const char* answer;
        Outcome outcome;
    } cases[] = {
        {"org.freedesktop.UDisks2.Error.NotAuthorized", Outcome::NotAuthorised},
        {"org.freedesktop.UDisks2.Error.NotAuthorizedCanObtain", Outcome::NotAuthorised},
        {"org.freedesktop.UDisks2.Error.NotAuthorizedDismissed", Outcome::Dismissed},
        {"org.freedesktop.UDisks2.Error.Failed", Outcome::Failed},
    };
    for (const auto& refusal : cases) {
        PrivateBus own;
        ASSERT_TRUE(own.startUdisksStandIn(kDeviceNode, image.path(), refusal.answer));
        const DeviceAccessResult result = UdisksAccess(own.address()).openForReading(kDeviceNode);
        EXPECT_EQ(result.outcome, refusal.outcome) << refusal.answer;
        EXPECT_FALSE(result.fd) << refusal.answer;
        if (refusal.outcome == Outcome::Failed) {
            EXPECT_EQ(result.errorName, refusal.answer);
            EXPECT_EQ(result.errorMessage, "refused by the stand-in");
        }
    }
}

TEST_F(DeviceAccessOverBus, ADeviceTheServiceDoesNotKnowIsNotFound) {
    EXPECT_EQ(ask("open", "/dev/pelorin-test-gone").outcome, Outcome::DeviceNotFound);
}

TEST_F(DeviceAccessOverBus, ABusWithoutTheServiceSaysSo) {
    EXPECT_EQ(UdisksAccess(bus.address()).openForReading(kDeviceNode).outcome, Outcome::NoService);
}

TEST_F(DeviceAccessOverBus, CancelEndsAWaitForAnAnswerThatNeverComes) {
    ASSERT_TRUE(bus.startUdisksStandIn(kDeviceNode, image.path(), "hang"));
    UdisksAccess access(bus.address());
    auto waiting = std::async(std::launch::async, [&] { return access.openForReading(kDeviceNode); });
    EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    access.cancel();
    ASSERT_EQ(waiting.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(waiting.get().outcome, Outcome::Dismissed);
    // Once cancelled, it asks no more.
    EXPECT_EQ(access.openForReading(kDeviceNode).outcome, Outcome::Dismissed);
}

TEST(DeviceAccess, NoBusToAskOnSaysSo) {
    const DeviceAccessResult result = UdisksAccess("unix:path=/nonexistent/pelorin-bus").openForReading(kDeviceNode);
    EXPECT_EQ(result.outcome, Outcome::NoSystemBus);
    EXPECT_FALSE(result.fd);
}

}  // namespace
}  // namespace pelorin::test
