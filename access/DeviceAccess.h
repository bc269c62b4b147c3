#pragma once
// Reading a device the user cannot open by themselves: a service of the
// system that may (after asking the user for a password) hand over a
// read-only descriptor of it. The outcome is a value; the programs choose the
// words.

#include <string>

#include "access/UniqueFd.h"

namespace pelorin {

struct DeviceAccessResult {
    enum class Outcome {
        Opened,          // `fd` is a read-only descriptor of the device
        NoSystemBus,     // no system bus to ask on
        NoService,       // the bus is there, the disk service is not
        NotAuthorised,   // the system refused
        Dismissed,       // the user closed the password prompt, or the wait was cancelled
        DeviceNotFound,  // the service knows no such device (it may have gone meanwhile)
        Failed,          // anything else: `errorName` and `errorMessage` say what
    };
    Outcome outcome = Outcome::Failed;
    UniqueFd fd;
    // The bus's own account of a failure (a D-Bus error name and its message), where it gave one.
    std::string errorName;
    std::string errorMessage;
};

class DeviceAccess {
public:
    virtual ~DeviceAccess() = default;

    // Whether asking is worth it after opening the device ourselves failed
    // with `openError`: a refusal of the permissions, for a user who is not root.
    virtual bool mayHelpWith(int openError) const;

    // Blocks until the service answers: possibly for as long as the user
    // takes with a password prompt, so never on a thread that draws a window.
    virtual DeviceAccessResult openForReading(const std::string& deviceNode) = 0;

    // From any thread: ends a wait under way, and any later one, as Dismissed.
    virtual void cancel() = 0;
};

}  // namespace pelorin
