#pragma once
// A private D-Bus daemon for a test, and the UDisks2 stand-in
// (support/udisks_stand_in.py) on it. Both end with the object.

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace pelorin::test {

class PrivateBus {
public:
    // Empty when the bus can be had; else why not (the test skips).
    static std::string missingTools();

    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // Empty when the daemon did not start.
    const std::string& address() const { return address_; }
    // Starts the stand-in (see the script for `answer`); true once it owns its name.
    bool startUdisksStandIn(const std::string& deviceNode, const std::string& image, const std::string& answer);

private:
    // Starts the program with its standard output on a pipe and returns its first line.
    std::string startReadingFirstLine(const std::vector<std::string>& arguments);

    std::filesystem::path folder_;
    std::string address_;
    std::vector<pid_t> children_;
};

}  // namespace pelorin::test
