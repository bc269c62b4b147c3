#pragma once
// polkit's text agent (pkttyagent) on the terminal, for as long as a request
// that may need a password runs: without a desktop's agent, polkit would
// otherwise refuse at once. It only answers for this process, and only where
// no other agent does.

#include <sys/types.h>

namespace pelorin {

class TerminalPasswordAgent {
public:
    // Starts the agent when standard input is a terminal and pkttyagent is
    // installed, and waits until it has registered (or given up).
    TerminalPasswordAgent();
    ~TerminalPasswordAgent();
    TerminalPasswordAgent(const TerminalPasswordAgent&) = delete;
    TerminalPasswordAgent& operator=(const TerminalPasswordAgent&) = delete;

    bool running() const { return agent_ > 0; }

private:
    pid_t agent_ = -1;
};

}  // namespace pelorin
