#pragma once
// Prompts that record what saving and scan-info files tell the user and
// answer questions from a script ("Yes" once the script runs out).

#include <deque>
#include <string>
#include <vector>

#include "app/Texts.h"
#include "engine/Prompts.h"

namespace pelorin::test {

// Alerts are recorded as "title / message" in the words the user reads.
struct RecordingPrompts : Prompts {
    void notify(const Notice& notice) override {
        const texts::AlertText alert = texts::alertFor(notice);
        alerts.push_back(alert.title + " / " + alert.message);
    }
    bool ask(Question question) override {
        questions.emplace_back(texts::questionFor(question).title);
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
