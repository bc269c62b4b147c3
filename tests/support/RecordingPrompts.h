#pragma once
// A prompts implementation that records what saving and scan-info files tell
// the user and answers questions from a script.

#include <deque>
#include <string>
#include <vector>

#include "recovery/SavePrompts.h"

namespace pelorin::test {

class RecordingPrompts : public SavePrompts {
public:
    void showAlert(std::string_view title, std::string_view message, std::string_view) override {
        alerts.push_back(std::string(title) + " / " + std::string(message));
    }
    void logLine(std::string_view line) override { logLines.emplace_back(line); }
    bool askYesNo(std::string_view title, std::string_view) override {
        questions.emplace_back(title);
        if (answers.empty()) return true;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void updateTreeProgress(const SaveProgressUpdate& update) override { updates.push_back(update); }

    std::vector<std::string> alerts;
    std::vector<std::string> logLines;
    std::vector<std::string> questions;
    std::deque<bool> answers;
    std::vector<SaveProgressUpdate> updates;
};

}  // namespace pelorin::test
