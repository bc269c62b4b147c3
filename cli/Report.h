#pragma once
// What the command-line tool prints and writes about a found-file tree.

#include <cstdio>
#include <map>
#include <string>

#include "cli/SourceInfo.h"
#include "engine/FoundNode.h"
#include "recovery/SaveRecoveredFiles.h"

namespace pelorin::cli {

// The tree as text: each type folder with its file count and size, the
// files themselves when asked, then the totals.
void printTree(std::FILE* out, const FoundNode& root, bool listFiles);

// The machine-readable report: the source, the sectors that could not be
// read when there were any, and every node in pre-order; a found file also
// has its first byte's offset in the source and, when a recovery wrote it
// (`saved`), its SHA-256. False (with a reason) when the file cannot be written.
bool writeReport(const std::string& path, const SourceInfo& source, const FoundNode& root, bool stopped,
                 std::string& error, uint64_t unreadableSectors = 0,
                 const std::map<const FoundNode*, SavedFile>& saved = {});

}  // namespace pelorin::cli
