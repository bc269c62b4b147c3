#pragma once
// Prompts that record what saving and scan-info files tell the user and
// answer questions from a script ("Yes" once the script runs out).

#include <deque>
#include <string>
#include <vector>

#include "recovery/SavePrompts.h"

namespace pelorin::test {

struct RecordingPrompts : SavePrompts {
    void showAlert(std::string_view title, std::string_view message, std::string_view) override {
        alerts.push_back(std::string(title) + " / " + std::string(message));
    }
    void logLine(std::string_view) override {}
    bool askYesNo(std::string_view title, std::string_view) override {
        questions.emplace_back(title);
        const bool answer = answers.empty() || answers.front();
        if (!answers.empty()) answers.pop_front();
        return answer;
    }
    void updateTreeProgress(const SaveProgressUpdate& update) override { updates.push_back(update); }

    std::vector<std::string> alerts, questions;
    std::deque<bool> answers;
    std::vector<SaveProgressUpdate> updates;
};

}  // namespace pelorin::test
