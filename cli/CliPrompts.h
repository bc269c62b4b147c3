#pragma once
// The command-line tool's side of saving and scan-info files: alerts on
// standard error, questions on the terminal, and a progress line.

#include <chrono>
#include <string>

#include "recovery/SavePrompts.h"

namespace pelorin::cli {

class CliPrompts final : public SavePrompts {
public:
    explicit CliPrompts(bool showProgress) : showProgress(showProgress) {}

    void showAlert(std::string_view title, std::string_view message, std::string_view button) override;
    void logLine(std::string_view line) override;
    // Asks on the terminal; with no terminal to ask on, the answer is "Yes".
    bool askYesNo(std::string_view title, std::string_view message) override;
    void updateTreeProgress(const SaveProgressUpdate& update) override;

    // Ends the progress line before other output.
    void finishProgress();

private:
    void clearLine();

    bool showProgress;
    bool lineDrawn = false;
    uint64_t barMaximum = 0;
    uint64_t barValue = 0;
    uint64_t savedData = 0;
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
};

}  // namespace pelorin::cli
