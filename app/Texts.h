#pragma once
// Every word the system says to its user about what the libraries report:
// alert titles, messages and buttons, questions, and the panels shown during
// short tasks. One table for the command-line tool and the desktop
// application, so both say the same thing.

#include <cstdint>
#include <string>
#include <string_view>

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

std::string chosenDriveDescription(const std::string& name, const std::string& serial, uint64_t sizeInBytes);

}  // namespace pelorin::texts
