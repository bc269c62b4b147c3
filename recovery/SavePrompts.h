#pragma once
// What saving and the scan-info files ask of whoever shows things to the
// user: the command-line tool now, the desktop controller later. Saving and
// the scan-info writer and reader may call these from a worker thread; an
// implementation runs them where its toolkit wants and returns when done.

#include <cstdint>
#include <optional>
#include <string_view>

#include "engine/Alerts.h"

namespace pelorin {

// One progress message of a save; only the fields that are set apply.
struct SaveProgressUpdate {
    std::optional<uint64_t> barMinimumValue = std::nullopt;
    std::optional<uint64_t> barMaximumValue = std::nullopt;
    std::optional<uint64_t> savedData = std::nullopt;
    std::optional<uint64_t> barIncrement = std::nullopt;
    std::optional<uint64_t> barDoubleValue = std::nullopt;
    // Shown after the fields above are applied.
    int32_t iNumberOfFileSaved = 0;
};

class SavePrompts : public Alerts {
public:
    // A modal question with "Yes" and "No"; true for "Yes".
    virtual bool askYesNo(std::string_view title, std::string_view message) = 0;
    virtual void updateTreeProgress(const SaveProgressUpdate& update) = 0;
    // The small information panel shown while a scan-info file is written or read.
    virtual void startInformationPanel(std::string_view /*title*/, std::string_view /*text*/) {}
    virtual void stopInformationPanel() {}
};

}  // namespace pelorin
