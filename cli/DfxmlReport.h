#pragma once
// The found files as a Digital Forensics XML report, as forensic tools
// exchange them: who made it and how, the source, and one fileobject per
// found file with where it lies in the source and, once recovered, where it
// was saved and its SHA-256.

#include <ctime>
#include <map>
#include <string>

#include "cli/SourceInfo.h"
#include "engine/FoundNode.h"
#include "recovery/SaveRecoveredFiles.h"

namespace pelorin::cli {

// The run a report describes.
struct CommandRun {
    std::string version;      // Pelorin's
    std::string commandLine;  // as typed, one line
    std::time_t startTime = 0;
};

// The command line of argv, arguments with spaces or quotes quoted for a shell.
std::string commandLineOf(int argc, const char* const* argv);

// Writes the report; `saved` gives the files a recovery wrote (none when
// nothing was recovered). False with a reason when it cannot be written.
bool writeDfxml(const std::string& path, const CommandRun& run, const SourceInfo& source, const FoundNode& root,
                const std::map<const FoundNode*, SavedFile>& saved, std::string& error);

}  // namespace pelorin::cli
