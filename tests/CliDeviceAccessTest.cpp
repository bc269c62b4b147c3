// pelorin-cli run by a user who may not open the device: it asks UDisks2 on
// the system bus (here a stand-in on a private bus) and scans what it hands
// over exactly as root scans the device; a refusal says why and scans nothing.
// Needs root (to attach a loop device and run the tool as another user).

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/PrivateBus.h"
#include "support/RecordedDevices.h"
#include "support/TestSupport.h"
#include "tools/ImageLayout.h"

namespace pelorin::test {
namespace {

constexpr const char* kAsNobody = "setpriv --reuid=65534 --regid=65534 --clear-groups ";

class CliDeviceAccess : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0 || ::access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "needs root and setpriv";
        if (const std::string missing = PrivateBus::missingTools(); !missing.empty()) GTEST_SKIP() << missing;
        if (shell(std::string(kAsNobody) + "test -x " + PELORIN_CLI).status != 0)
            GTEST_SKIP() << "other users cannot run the tool from this build folder";
        const auto layoutFile = fixturePath("sample-layout.txt");
        tools::buildImage(tools::readLayout(layoutFile), layoutFile.parent_path(), image.path());
        loop = attachLoop(image.path());
        if (loop.empty()) GTEST_SKIP() << "no loop device here";
        // Only root may open it, as a card reader's node for a user outside the 'disk' group.
        struct stat st {};
        ::stat(loop.c_str(), &st);
        loopMode = st.st_mode & 07777;
        ::chmod(loop.c_str(), 0600);
    }
    void TearDown() override {
        if (loop.empty()) return;
        ::chmod(loop.c_str(), loopMode);
        std::system(("losetup -d " + loop).c_str());
    }

    ShellRun scanAsNobody(const std::string& busAddress) const {
        return shell("DBUS_SYSTEM_BUS_ADDRESS=" + quoted(busAddress) + " " + kAsNobody + PELORIN_CLI + " scan " + loop +
                     " --files --no-reassembly");
    }

    TempImage image;
    std::string loop;
    mode_t loopMode = 0660;
};

TEST_F(CliDeviceAccess, TheHandedDeviceScansAsRootScansIt) {
    PrivateBus bus;
    ASSERT_TRUE(bus.startUdisksStandIn(loop, loop, "open"));
    // Without the pass after the scan, whose time is printed.
    const ShellRun asRoot = shell(std::string(PELORIN_CLI) + " scan " + loop + " --files --no-reassembly");
    ASSERT_EQ(asRoot.status, 0) << asRoot.output;
    const ShellRun asUser = scanAsNobody(bus.address());
    EXPECT_EQ(asUser.status, 0) << asUser.output;
    EXPECT_EQ(asUser.output, asRoot.output);
}

TEST_F(CliDeviceAccess, ARefusalSaysWhyAndScansNothing) {
    PrivateBus bus;
    ASSERT_TRUE(bus.startUdisksStandIn(loop, loop, "org.freedesktop.UDisks2.Error.NotAuthorized"));
    const ShellRun run = scanAsNobody(bus.address());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("did not allow this user to read " + loop), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("JPG Files"), std::string::npos) << run.output;
}

TEST_F(CliDeviceAccess, WithoutASystemBusTheRefusalStandsAsBefore) {
    const ShellRun run = scanAsNobody("unix:path=/nonexistent/pelorin-bus");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("Permission denied (reading a raw device needs root or membership of the 'disk' group)"),
              std::string::npos)
        << run.output;
}

}  // namespace
}  // namespace pelorin::test
