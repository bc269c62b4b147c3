#pragma once
// What the engine asks of whoever shows things to the user: the desktop
// controller or the command-line tool.

#include <string_view>

namespace pelorin {

class Alerts {
public:
    virtual ~Alerts() = default;
    // A modal alert with one button; returns when the user has dismissed it.
    virtual void showAlert(std::string_view title, std::string_view message, std::string_view button) = 0;
    // A diagnostic line for the log.
    virtual void logLine(std::string_view line) = 0;
};

inline constexpr std::string_view kDriveCannotOpen = "Drive cannot open or not found";

}  // namespace pelorin
