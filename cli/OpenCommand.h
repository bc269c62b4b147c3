#pragma once
// `pelorin-cli open`: a scan-info file's tree, shown like a finished scan,
// and optionally recovered from a named source.

#include <optional>
#include <string>

#include "cli/DfxmlReport.h"

namespace pelorin::cli {

struct OpenOptions {
    std::string file;
    std::string source;
    std::string recoverDir;
    std::optional<std::string> select;
    std::string reportPath;
    std::string dfxmlPath;
    CommandRun run;
    bool listFiles = false;
    bool noProgress = false;
};

int openScanInfoFile(const OpenOptions& options);

}  // namespace pelorin::cli
