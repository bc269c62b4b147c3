#include "cli/OpenCommand.h"

#include <unistd.h>

#include <cstdio>

#include "app/Texts.h"
#include "cli/CliPrompts.h"
#include "cli/DrivesCommand.h"
#include "cli/Report.h"
#include "cli/SaveCommands.h"
#include "engine/CheckController.h"
#include "engine/ControllerReaders.h"
#include "engine/SizeText.h"
#include "recovery/SaveRecoveredFiles.h"

namespace pelorin::cli {
namespace {

int fail(const std::string& message) {
    std::fprintf(stderr, "pelorin-cli: %s\n", message.c_str());
    return kExitFailed;
}

// Checks the named source against the file and opens it; a different start
// is only a warning. Null when it is refused.
std::unique_ptr<Source> checkSource(const std::string& path, const ScanInfoHeader& header, CliPrompts& prompts,
                                    SourceInfo& source) {
    SourceCheck check = inspectSource(path, header.sectorSize);
    if (!check.info) {
        fail(check.error);
        return nullptr;
    }
    source = *check.info;
    if (source.sectorSize != header.sectorSize || source.sizeInBytes != header.sizeInBytes) {
        fail(path + " does not match the scan info file: it has " + std::to_string(source.sizeInBytes) +
             " bytes in " + std::to_string(source.sectorSize) + "-byte sectors, the scanned drive had " +
             std::to_string(header.sizeInBytes) + " bytes in " + std::to_string(header.sectorSize) +
             "-byte sectors");
        return nullptr;
    }
    std::vector<uint8_t> first5(header.firstSectors.size(), 0);
    if (!readSector(*check.source, header.sectorSize, first5, prompts)) return nullptr;
    if (first5 != header.firstSectors)
        std::fprintf(stderr,
                     "pelorin-cli: warning: the first five sectors of %s differ from those of the scanned drive; "
                     "it may not be the same drive\n",
                     path.c_str());
    return std::move(check.source);
}

}  // namespace

int openScanInfoFile(const OpenOptions& options) {
    const bool showProgress = !options.noProgress && ::isatty(STDERR_FILENO);
    CliPrompts prompts(false);
    auto info = openScanInfo(options.file, prompts);
    if (!info) return kExitFailed;
    const ScanInfoHeader& header = info->header;
    const DriveIdentity& id = header.identity;

    SourceInfo source;
    source.path = id.displayName;
    source.sectorSize = header.sectorSize;
    source.sizeInBytes = header.sizeInBytes;
    source.sectorCount = header.sectorCount;
    // Without a named source, the scanned drive is looked for among the attached ones.
    std::string sourcePath = options.source;
    if (sourcePath.empty()) {
        if (auto attached = attachedDriveOf(header, prompts)) {
            sourcePath = *attached;
            std::fprintf(stderr, "The scanned drive is attached as %s.\n", sourcePath.c_str());
        } else {
            std::fprintf(stderr,
                         "pelorin-cli: the scanned drive is not attached (disk images are never found this way); "
                         "name it with --source to read its files\n");
        }
    }
    const bool sourceNamed = !sourcePath.empty();
    std::unique_ptr<Source> opened;
    if (sourceNamed && (opened = checkSource(sourcePath, header, prompts, source)) &&
        !fitToSource(*info, *opened, options.file, prompts))
        return kExitFailed;

    std::printf("%s: scan of %s (model %s, serial %s, revision %s), %llu sectors of %u bytes%s\n",
                options.file.c_str(), id.displayName.c_str(), id.model.c_str(), id.serial.c_str(),
                id.revision.c_str(), static_cast<unsigned long long>(header.sectorCount),
                header.sectorSize, info->endRecordSeen ? "" : " (file ends early; tree shown as far as read)");
    printTree(stdout, *info->root, options.listFiles);

    // The ticks of the nodes, not the header's counts, say what is to be saved.
    SelectionTotals totals = filesToSave(*info->root);
    if (options.select) {
        std::string error;
        if (!tickSelection(*info->root, *options.select, totals, error)) return fail(error);
    }
    std::printf("Ticked: %d %s, %s\n", std::max(totals.tickedFiles, 0),
                totals.tickedFiles == 1 ? "file" : "files",
                sizeText(totals.tickedFiles > 0 ? totals.tickedBytes : 0).c_str());
    if (sourceNamed && !opened) return kExitFailed;

    if (!options.reportPath.empty()) {
        std::string error;
        if (!writeReport(options.reportPath, source, *info->root, false, error)) return fail(error);
    }
    SaveResult saved;
    int status = kExitOK;
    if (!options.recoverDir.empty()) {
        if (!sourceNamed) return fail("cannot recover: " + std::string(texts::kDriveCannotOpen));
        status = recoverInto(*info->root, *opened, source, totals, options.recoverDir, showProgress, options.run, saved);
    }
    // Again once the recovered files have their digests.
    std::string error;
    if (!options.reportPath.empty() && !saved.savedFiles.empty() &&
        !writeReport(options.reportPath, source, *info->root, false, error, 0, saved.savedFiles))
        return fail(error);
    if (!options.dfxmlPath.empty() && !writeDfxml(options.dfxmlPath, options.run, source, *info->root, saved.savedFiles, error))
        return fail(error);
    return status;
}

}  // namespace pelorin::cli
