#pragma once
// Who what Pelorin saves belongs to. Run with administrator rights on behalf
// of a user (through pkexec or sudo), it hands the folders and files it
// creates to that user, so that they can open and delete what they got back.

#include <sys/types.h>

#include <optional>
#include <string>

namespace pelorin {

struct Owner {
    uid_t uid;
    gid_t gid;  // (gid_t)-1 when no group is known: the group is then left as it is
};

// The user Pelorin runs for: only when the effective user is root and
// PKEXEC_UID or SUDO_UID names another user. The group is that user's
// primary group, or SUDO_GID where the user has no entry.
std::optional<Owner> invokingUser();

// Hands what was just created to the owner (no-op without one). Symbolic
// links are never followed. False when the change failed.
bool handOver(const std::optional<Owner>& owner, int fd);
bool handOver(const std::optional<Owner>& owner, const std::string& path);

}  // namespace pelorin
