#pragma once
// The command-line tool's side of saving and scan-info files: alerts on
// standard error, questions on the terminal, and a progress line.

#include <chrono>
#include <string>

#include "engine/Prompts.h"

namespace pelorin::cli {

class CliPrompts final : public Prompts {
public:
    explicit CliPrompts(bool showProgress) : showProgress(showProgress) {}

    void notify(const Notice& notice) override;
    // Asks on the terminal; with no terminal to ask on, the answer is "Yes".
    bool ask(Question question) override;
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
