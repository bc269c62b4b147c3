#pragma once
// Counts how often a file is opened (every recogniser read opens the source
// once), through inotify, without touching the code under test.

#include <sys/inotify.h>
#include <unistd.h>

#include <string>

namespace pelorin::test {

class OpenCounter {
public:
    explicit OpenCounter(const std::string& path) : fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        if (fd >= 0) inotify_add_watch(fd, path.c_str(), IN_OPEN);
    }
    ~OpenCounter() {
        if (fd >= 0) ::close(fd);
    }
    OpenCounter(const OpenCounter&) = delete;
    OpenCounter& operator=(const OpenCounter&) = delete;

    // Opens since the last call.
    int opens() {
        int count = 0;
        alignas(inotify_event) char buffer[4096];
        // Only IN_OPEN is watched, and a watched file's events carry no name.
        for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) count += static_cast<int>(n / sizeof(inotify_event));
        return count;
    }

private:
    int fd;
};

}  // namespace pelorin::test
