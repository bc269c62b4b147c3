#include "engine/Ownership.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <cstring>

namespace pelorin {
namespace {

// A whole decimal id from the environment; nullopt when absent or malformed.
template <class Id>
std::optional<Id> idFromEnvironment(const char* name) {
    const char* text = std::getenv(name);
    if (!text || !*text) return std::nullopt;
    unsigned long long value = 0;
    const char* end = text + std::strlen(text);
    const auto [stop, error] = std::from_chars(text, end, value);
    if (error != std::errc{} || stop != end || value >= static_cast<unsigned long long>(Id(-1))) return std::nullopt;
    return static_cast<Id>(value);
}

}  // namespace

std::optional<Owner> invokingUser() {
    if (::geteuid() != 0) return std::nullopt;
    std::optional<uid_t> uid = idFromEnvironment<uid_t>("PKEXEC_UID");
    std::optional<gid_t> gid;
    if (!uid) {
        uid = idFromEnvironment<uid_t>("SUDO_UID");
        gid = idFromEnvironment<gid_t>("SUDO_GID");
    }
    if (!uid || *uid == 0) return std::nullopt;
    struct passwd entry {};
    struct passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(*uid, &entry, buffer, sizeof buffer, &found) == 0 && found) gid = found->pw_gid;
    return Owner{*uid, gid.value_or(gid_t(-1))};
}

bool handOver(const std::optional<Owner>& owner, int fd) {
    return !owner || ::fchown(fd, owner->uid, owner->gid) == 0;
}

bool handOver(const std::optional<Owner>& owner, const std::string& path) {
    return !owner || ::fchownat(AT_FDCWD, path.c_str(), owner->uid, owner->gid, AT_SYMLINK_NOFOLLOW) == 0;
}

}  // namespace pelorin
