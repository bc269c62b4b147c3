#pragma once
// What the command-line tool does with a finished or reopened scan: tick the
// chosen types, save a scan-info file, recover the ticked files.

#include <optional>
#include <string>

#include "cli/DfxmlReport.h"
#include "cli/SourceInfo.h"
#include "engine/FoundNode.h"
#include "engine/SelectionTotals.h"
#include "recovery/SaveRecoveredFiles.h"
#include "scaninfo/ScanInfoFile.h"

namespace pelorin::cli {

inline constexpr int kExitOK = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitInterrupted = 130;

// Unticks everything, then ticks the folders of "all" or a list of types
// ("jpg,png"; "rawjpg" names the preview folder). False with a reason for a
// name that is no type.
bool tickSelection(FoundNode& root, const std::string& list, SelectionTotals& totals, std::string& error);

// Saves a scan-info file. `file` gets ".rvx" unless it already ends in it; an
// existing folder gets the default name ("Pelorin Scan Info <date>.rvx") inside it.
int saveInfoFile(const std::string& file, const ScanInfoHeader& header, const FoundNode& root, bool showProgress);

// Recovers the ticked files into a new recovery folder inside `destination`
// and writes its DFXML report there as report.xml; `saved` gets what the save
// wrote. Ctrl-C asks whether to stop (on a terminal) or stops.
int recoverInto(const FoundNode& root, Source& source, const SourceInfo& sourceInfo, const SelectionTotals& totals,
                const std::string& destination, bool showProgress, const CommandRun& run, SaveResult& saved);

}  // namespace pelorin::cli
