#pragma once
// Every word the system says to its user about what the libraries report:
// alert titles, messages and buttons, questions, and the panels shown during
// short tasks. One table for the command-line tool and the desktop
// application, so both say the same thing.

#include <cstdint>
#include <string>
#include <string_view>

#include "access/DeviceAccess.h"
#include "engine/Prompts.h"
#include "engine/Source.h"

namespace pelorin::texts {

struct AlertText {
    std::string title;
    std::string message;  // may be empty
    std::string button;
    // A line for the diagnostic log, written besides the alert; may be empty.
    std::string logLine;
};

AlertText alertFor(const Notice& notice);

struct QuestionText {
    std::string_view title;
    std::string_view message;
};
QuestionText questionFor(Question question);

struct ActivityText {
    std::string_view title;
    std::string_view text;
};
ActivityText activityFor(Activity activity);

inline constexpr std::string_view kDriveCannotOpen = "Drive cannot open or not found";

// The drive list's description box.
inline constexpr std::string_view kSelectDrivePrompt =
    "\nSelect the drive from which digital media files needs to be recovered and click on 'Next' button to proceed.";
// One line saying why a source could not be opened.
std::string sourceOpenFailure(const std::string& path, const SourceOpenFailure& why);

// What to do when reading a device needs rights the user does not have, and
// no disk service can be asked for them.
std::string needsRightsAdvice(const std::string& path);
// Why the system's disk service did not hand over the device; empty when it did.
std::string deviceAccessFailure(const std::string& path, const DeviceAccessResult& result);
// Shown while the disk service (and perhaps a password prompt) is asked.
inline constexpr std::string_view kAskingForAccessTitle = "Asking for access";
std::string askingForAccess(const std::string& path);

std::string chosenDriveDescription(const std::string& name, const std::string& serial, uint64_t sizeInBytes);

}  // namespace pelorin::texts
