#include "access/TerminalPasswordAgent.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace pelorin {
namespace {

constexpr const char* kAgent = "/usr/bin/pkttyagent";

}  // namespace

TerminalPasswordAgent::TerminalPasswordAgent() {
    if (!::isatty(STDIN_FILENO) || ::access(kAgent, X_OK) != 0) return;
    // The agent closes its end of the pipe once it has registered.
    int registered[2];
    if (::pipe2(registered, O_CLOEXEC) != 0) return;
    const std::string process = std::to_string(::getpid());
    const std::string notifyFd = std::to_string(registered[1]);
    agent_ = ::fork();
    if (agent_ == 0) {
        ::fcntl(registered[1], F_SETFD, 0);
        ::execl(kAgent, kAgent, "--process", process.c_str(), "--notify-fd", notifyFd.c_str(), "--fallback",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(registered[1]);
    if (agent_ > 0) {
        char byte;
        while (::read(registered[0], &byte, 1) < 0 && errno == EINTR) {
        }
    }
    ::close(registered[0]);
}

TerminalPasswordAgent::~TerminalPasswordAgent() {
    if (agent_ <= 0) return;
    ::kill(agent_, SIGTERM);
    while (::waitpid(agent_, nullptr, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace pelorin
