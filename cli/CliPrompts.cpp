#include "cli/CliPrompts.h"

#include <unistd.h>

#include <cstdio>

#include "app/Texts.h"
#include "recovery/SaveRecoveredFiles.h"

namespace pelorin::cli {

void CliPrompts::clearLine() {
    if (lineDrawn) std::fputs("\r\033[K", stderr);
    lineDrawn = false;
}

void CliPrompts::finishProgress() {
    if (lineDrawn) std::fputc('\n', stderr);
    lineDrawn = false;
}

void CliPrompts::notify(const Notice& notice) {
    const texts::AlertText alert = texts::alertFor(notice);
    finishProgress();
    std::fprintf(stderr, "%s\n", alert.title.c_str());
    if (!alert.message.empty() && alert.message != " ") std::fprintf(stderr, "%s\n", alert.message.c_str());
    if (!alert.logLine.empty()) std::fprintf(stderr, "%s\n", alert.logLine.c_str());
}

bool CliPrompts::ask(Question question) {
    const auto [title, message] = texts::questionFor(question);
    std::FILE* terminal = ::isatty(STDIN_FILENO) ? std::fopen("/dev/tty", "r+") : nullptr;
    if (!terminal) return true;
    clearLine();
    std::fprintf(terminal, "%.*s", int(title.size()), title.data());
    if (!message.empty()) std::fprintf(terminal, "\n%.*s", int(message.size()), message.data());
    std::fputs(" [y/n] ", terminal);
    std::fflush(terminal);
    char answer[32] = {};
    bool yes = false;
    while (std::fgets(answer, sizeof answer, terminal)) {
        if (answer[0] == 'y' || answer[0] == 'Y') { yes = true; break; }
        if (answer[0] == 'n' || answer[0] == 'N') break;
        std::fputs("[y/n] ", terminal);
        std::fflush(terminal);
    }
    std::fclose(terminal);
    return yes;
}

void CliPrompts::updateTreeProgress(const SaveProgressUpdate& update) {
    if (update.barMaximumValue) {
        barMaximum = *update.barMaximumValue;
        started = std::chrono::steady_clock::now();
    }
    if (update.barDoubleValue) barValue = *update.barDoubleValue;
    if (update.barIncrement) barValue += *update.barIncrement;
    if (update.savedData) savedData = *update.savedData;
    if (!showProgress || !(update.savedData || update.barDoubleValue)) return;
    if (update.barDoubleValue && *update.barDoubleValue == 0) return;  // the bar is reset at the end

    const double fraction = barMaximum ? std::min(1.0, double(savedData) / double(barMaximum)) : 1.0;
    constexpr int kWidth = 30;
    std::string bar(static_cast<std::size_t>(fraction * kWidth), '#');
    bar.resize(kWidth, '-');
    const int elapsed = int(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    std::fprintf(stderr, "\r\033[K[%s] %5.1f%%  %s  %d files  %02d:%02d:%02d", bar.c_str(), fraction * 100.0,
                 savedSizeText(savedData).c_str(), update.filesSaved, elapsed / 3600, elapsed / 60 % 60,
                 elapsed % 60);
    std::fflush(stderr);
    lineDrawn = true;
}

}  // namespace pelorin::cli
