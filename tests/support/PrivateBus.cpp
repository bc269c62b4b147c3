#include "support/PrivateBus.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>

namespace pelorin::test {
namespace {

const std::string kDaemon = PELORIN_DBUS_DAEMON;
const std::string kPython = PELORIN_SYSTEM_PYTHON;
const std::string kStandIn = std::string(PELORIN_TEST_SUPPORT_DIR) + "/udisks_stand_in.py";

}  // namespace

std::string PrivateBus::missingTools() {
    if (kDaemon.empty() || ::access(kDaemon.c_str(), X_OK) != 0) return "dbus-daemon is not installed";
    const std::string check = "'" + kPython + "' -c 'import dbus, gi.repository.GLib' >/dev/null 2>&1";
    if (kPython.empty() || std::system(check.c_str()) != 0) return "python3-dbus and python3-gi are not installed";
    return {};
}

PrivateBus::PrivateBus() {
    char pattern[] = "/tmp/pelorin-bus-XXXXXX";
    if (!::mkdtemp(pattern)) return;
    folder_ = pattern;
    // Any user may connect: a test may run a program as another user.
    std::filesystem::permissions(folder_, std::filesystem::perms::others_read | std::filesystem::perms::others_exec |
                                              std::filesystem::perms::group_read | std::filesystem::perms::group_exec,
                                 std::filesystem::perm_options::add);
    const auto config = folder_ / "bus.conf";
    std::ofstream(config) << "<busconfig><type>session</type><listen>unix:path=" << (folder_ / "bus").string()
                          << "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow user=\"*\"/>"
                             "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                             "<allow own=\"*\"/></policy></busconfig>\n";
    const std::string line =
        startReadingFirstLine({kDaemon, "--config-file=" + config.string(), "--nofork", "--nopidfile", "--print-address=1"});
    // The daemon prints its address once it listens.
    if (line.starts_with("unix:")) address_ = line;
}

PrivateBus::~PrivateBus() {
    // The stand-in first, then the daemon.
    for (auto child = children_.rbegin(); child != children_.rend(); ++child) {
        ::kill(*child, SIGTERM);
        while (::waitpid(*child, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
}

bool PrivateBus::startUdisksStandIn(const std::string& deviceNode, const std::string& image, const std::string& answer) {
    return !address_.empty() && startReadingFirstLine({kPython, kStandIn, address_, deviceNode, image, answer}) == "ready";
}

std::string PrivateBus::startReadingFirstLine(const std::vector<std::string>& arguments) {
    int output[2];
    if (::pipe2(output, O_CLOEXEC) != 0) return {};
    std::vector<char*> argv;
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(output[1], STDOUT_FILENO);
        // The daemon's complaints about its limits are no concern of a test.
        if (arguments[0] == kDaemon) {
            const int nothing = ::open("/dev/null", O_WRONLY);
            if (nothing >= 0) ::dup2(nothing, STDERR_FILENO);
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(output[1]);
    if (child < 0) {
        ::close(output[0]);
        return {};
    }
    children_.push_back(child);
    // One line; the rest of what it writes goes nowhere once the pipe closes.
    std::string line;
    char c;
    while (true) {
        const ssize_t n = ::read(output[0], &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || c == '\n') break;
        line += c;
    }
    ::close(output[0]);
    return line;
}

}  // namespace pelorin::test
