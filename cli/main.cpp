// pelorin-cli: finds lost photos, music and videos on a drive or disk image.

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <sstream>

#include "cli/CliController.h"
#include "cli/DfxmlReport.h"
#include "cli/OpenCommand.h"
#include "cli/DrivesCommand.h"
#include "cli/Report.h"
#include "cli/SaveCommands.h"
#include "cli/SourceInfo.h"
#include "engine/ControllerReaders.h"
#include "engine/Scanning.h"
#include "reassembly/Reassembly.h"
#include "recognisers/Registry.h"
#include "scaninfo/SourceIdentity.h"

namespace pelorin::cli {
namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitStopped = 130;

int fail(const std::string& message) {
    std::fprintf(stderr, "pelorin-cli: %s\n", message.c_str());
    return kExitFailure;
}

// The ticked types from a list such as "jpg,png" or "all".
std::optional<TypeSelection> parseTypes(const std::string& list, std::string& error) {
    TypeSelection ticked;
    std::stringstream items(list);
    std::string item;
    while (std::getline(items, item, ',')) {
        item.erase(std::remove_if(item.begin(), item.end(), ::isspace), item.end());
        if (item.empty()) continue;
        std::string lower = item;
        std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
        if (lower == "all") {
            ticked |= availableTypes();
            continue;
        }
        auto type = findFileType(item);
        if (!type) {
            error = "unknown file type '" + item + "' (see 'pelorin-cli types')";
            return std::nullopt;
        }
        const FileTypeInfo& row = info(*type);
        if (!row.factory) {
            error = "file type '" + item + "' (" + std::string(row.formatLabel) + ") cannot be scanned yet";
            return std::nullopt;
        }
        ticked.set(index(*type));
    }
    if (ticked.none()) {
        error = "no file type to look for";
        return std::nullopt;
    }
    return ticked;
}

int listTypes() {
    std::printf("%-5s %-10s %-14s %-18s %-6s %s\n", "KEY", "LABEL", "CATEGORY", "FOLDER", "EXT", "SCAN");
    for (const FileTypeInfo& row : registry())
        std::printf("%-5s %-10s %-14s %-18s %-6s %s\n", row.parentKey.data(), row.formatLabel.data(),
                    row.category.data(), row.folderName.data(), row.extension.data(),
                    row.factory ? "available" : "not yet");
    return 0;
}

struct ScanOptions {
    std::string source;
    std::string types = "all";
    std::optional<uint32_t> sectorSize;  // none given: a block device's own, or 512
    std::string reportPath;
    std::string dfxmlPath;
    CommandRun run;
    bool listFiles = false;
    bool noProgress = false;
    std::string saveInfo;
    std::string recoverDir;
    std::string select = "all";
    std::optional<uint64_t> firstSector;
    std::optional<uint64_t> lastSector;
    bool noReassembly = false;
};

// Puts split files back together after the scan; what it did, to be said
// once the tree is shown.
struct Reassembled {
    uint32_t files = 0;
    std::chrono::duration<double> took{};
};
Reassembled reassemble(FoundNode& root, Source& source, uint32_t sectorSize) {
    const ReassemblyOutcome outcome = reassembleSplitFiles(root, source, sectorSize);
    return {outcome.filesReassembled, outcome.elapsed};
}

// After the scan: tick the chosen types, then save the scan-info file and
// recover, as asked. The worst exit status of the steps; `saved` gets what a
// recovery wrote.
int keepResults(const ScanOptions& options, const SourceInfo& source, Source& reader, const DriveIdentity& identity,
                FoundNode& root, std::vector<uint8_t> first5, bool showProgress, SaveResult& saved) {
    if (options.saveInfo.empty() && options.recoverDir.empty()) return 0;
    SelectionTotals totals;
    std::string error;
    if (!tickSelection(root, options.select, totals, error)) return fail(error);
    int status = 0;
    if (!options.saveInfo.empty()) {
        ScanInfoHeader header;
        header.sectorSize = source.sectorSize;
        header.tickedFiles = totals.tickedFiles;
        header.sizeInBytes = source.sizeInBytes;
        header.sectorCount = source.sectorCount;
        header.tickedBytes = totals.tickedBytes;
        header.firstSectors = std::move(first5);
        header.identity = identity;
        status = std::max(status, saveInfoFile(options.saveInfo, header, root, showProgress));
    }
    if (!options.recoverDir.empty())
        status = std::max(status, recoverInto(root, reader, source, totals, options.recoverDir, showProgress,
                                              options.run, saved));
    return status;
}

int scan(const ScanOptions& options) {
    std::string error;
    auto ticked = parseTypes(options.types, error);
    if (!ticked) return fail(error);
    // 0 would read as "none given" below.
    if (options.sectorSize && !isValidSectorSize(*options.sectorSize))
        return fail(badSectorSizeMessage(*options.sectorSize));
    SourceCheck check = inspectSource(options.source, options.sectorSize.value_or(0));
    if (!check.info) return fail(check.error);
    SourceInfo source = *check.info;
    std::unique_ptr<Source> reader = std::move(check.source);
    DriveIdentity identity = sourceIdentity(source.path);
    // A listed drive gives its own sector size and identity, as choosing its row would.
    if (source.blockDevice)
        if (auto drive = listedDrive(source.path); drive && isValidSectorSize(drive->sectorSize)) {
            source.sectorSize = drive->sectorSize;
            source.sectorCount = drive->sectorCount;
            identity = {drive->name, drive->model, drive->serial, drive->revision};
            std::fprintf(stderr, "Drive: %s (serial %s)\n", drive->displayName.c_str(),
                         drive->serial.c_str());
        }

    // A range keeps the whole source's sector numbers.
    const uint64_t firstSector = options.firstSector.value_or(0);
    const uint64_t lastSector = options.lastSector.value_or(source.sectorCount - 1);
    if (lastSector >= source.sectorCount)
        return fail("--last-sector " + std::to_string(lastSector) + " is past the end of " + source.path +
                    " (its last sector is " + std::to_string(source.sectorCount - 1) + ")");
    if (firstSector > lastSector)
        return fail("--first-sector " + std::to_string(firstSector) + " is after the last sector to scan (" +
                    std::to_string(lastSector) + ")");

    ScanContext ctx;
    ctx.sourcePath = source.path;
    ctx.sectorSize = source.sectorSize;
    ctx.sectorCount = source.sectorCount;
    ctx.firstSector = firstSector;
    ctx.endSector = lastSector + 1;
    ctx.filesFound = 0;
    ctx.source = reader.get();
    const bool showProgress = !options.noProgress && ::isatty(STDERR_FILENO);
    CliController controller(ctx, *ticked, showProgress);
    // The first five sectors go into the scan-info file; a source that
    // cannot give them is not scanned.
    std::vector<uint8_t> first5(std::size_t{5} * source.sectorSize, 0);
    if (!readSector(*reader, source.sectorSize, first5, controller)) return kExitFailure;
    Scanning scanning(ctx, controller, registry());
    const bool stopped = controller.runScan(scanning);

    FoundNode* root = scanning.root();
    // A stopped scan is shown as it stopped.
    std::optional<Reassembled> reassembled;
    if (!options.noReassembly && !stopped) reassembled = reassemble(*root, *reader, source.sectorSize);
    std::printf("%s: %llu sectors of %u bytes%s\n", source.path.c_str(),
                static_cast<unsigned long long>(source.sectorCount), source.sectorSize,
                stopped ? " (scan stopped)" : "");
    printTree(stdout, *root, options.listFiles);
    if (reassembled) {
        // After the tree, as the other words on the scan, whichever way the two streams meet.
        std::fflush(stdout);
        std::fprintf(stderr, "Reassembled %u split %s in %.2f s\n", reassembled->files,
                     reassembled->files == 1 ? "file" : "files", reassembled->took.count());
    }
    if (!options.reportPath.empty() &&
        !writeReport(options.reportPath, source, *root, stopped, error, controller.unreadableSectors()))
        return fail(error);
    const bool scanAlert = controller.alertShown();
    // Where a later scan takes up a stopped one.
    if (stopped && controller.lastSector() + 1 <= lastSector)
        std::fprintf(stderr, "Scan stopped at sector %llu; --first-sector %llu takes it up\n",
                     static_cast<unsigned long long>(controller.lastSector()),
                     static_cast<unsigned long long>(controller.lastSector() + 1));
    else if (stopped)
        std::fprintf(stderr, "Scan stopped after its last sector, %llu\n", static_cast<unsigned long long>(lastSector));
    SaveResult saved;
    const int kept = keepResults(options, source, *reader, identity, *root, std::move(first5), showProgress, saved);
    // Written before recovering, so that a path that cannot take it stops the
    // run early, and again once the recovered files have their digests.
    if (!options.reportPath.empty() && !saved.savedFiles.empty() &&
        !writeReport(options.reportPath, source, *root, stopped, error, controller.unreadableSectors(),
                     saved.savedFiles))
        return fail(error);
    if (!options.dfxmlPath.empty() &&
        !writeDfxml(options.dfxmlPath, options.run, source, *root, saved.savedFiles, error))
        return fail(error);
    if (stopped) return kExitStopped;
    return std::max(kept, scanAlert ? kExitFailure : 0);
}

}  // namespace
}  // namespace pelorin::cli

int main(int argc, char** argv) {
    using namespace pelorin::cli;
    CLI::App app{"Pelorin finds lost photos, music and videos on a drive or disk image, by their content."};
    app.require_subcommand(1);
    app.set_version_flag("--version", "pelorin-cli " PELORIN_VERSION);

    ScanOptions scanOptions;
    auto* scanCommand = app.add_subcommand("scan", "Scan a block device or disk image for lost files");
    scanCommand->add_option("source", scanOptions.source, "Block device (/dev/sdb), disk image, split image (image.001, image.aa) or Expert Witness image (.E01)")->required();
    scanCommand->add_option("--types", scanOptions.types, "File types to look for: jpg,png,... or all")
        ->capture_default_str();
    scanCommand->add_option("--sector-size", scanOptions.sectorSize,
                            "Sector size of a disk image: 512, 1024, 2048 or 4096 (default 512)");
    scanCommand->add_option("--report", scanOptions.reportPath, "Write the found-file tree as JSON to this file");
    scanCommand->add_option("--dfxml", scanOptions.dfxmlPath,
                            "Write the found files as a Digital Forensics XML (DFXML) report to this file");
    scanCommand->add_option("--first-sector", scanOptions.firstSector,
                            "Scan from this sector on (default 0); sector numbers stay the whole source's");
    scanCommand->add_option("--last-sector", scanOptions.lastSector,
                            "Scan up to and including this sector (default the last)");
    scanCommand->add_flag("--files", scanOptions.listFiles, "List every found file, not only the folders");
    scanCommand->add_flag("--no-progress", scanOptions.noProgress, "Do not draw the progress bar");
    scanCommand->add_flag("--no-reassembly", scanOptions.noReassembly,
                          "Do not put split photos back together after the scan");

    scanCommand->add_option(
        "--recover", scanOptions.recoverDir, "Recover the ticked files into a new recovery folder inside this folder");
    scanCommand->add_option("--save-info", scanOptions.saveInfo,
                            "Save the scan information to this file (.rvx is added unless present)");
    scanCommand->add_option("--select", scanOptions.select, "Types to tick before saving: all or jpg,png,...,rawjpg")
        ->capture_default_str();

    OpenOptions openOptions;
    auto* openCommand = app.add_subcommand("open", "Open a scan information file (.rvx) and show its found files");
    openCommand->add_option("file", openOptions.file, "Scan information file")->required();
    openCommand->add_option("--source", openOptions.source,
                            "The scanned drive or disk image (raw, split or .E01) to read the files from");
    auto* openRecover = openCommand->add_option("--recover", openOptions.recoverDir,
                                                "Recover the ticked files into a new recovery folder inside this folder");
    openCommand->add_option("--select", openOptions.select,
                            "Tick these types instead of the file's ticks: all or jpg,png,...,rawjpg")
        ->needs(openRecover);
    openCommand->add_option("--report", openOptions.reportPath, "Write the found-file tree as JSON to this file");
    openCommand->add_option("--dfxml", openOptions.dfxmlPath,
                            "Write the found files as a Digital Forensics XML (DFXML) report to this file");
    openCommand->add_flag("--files", openOptions.listFiles, "List every found file, not only the folders");
    openCommand->add_flag("--no-progress", openOptions.noProgress, "Do not draw the progress bar");

    auto* typesCommand = app.add_subcommand("types", "List the file types Pelorin knows");
    DrivesOptions drivesOptions;
    auto* drivesCommand = addDrivesCommand(app, drivesOptions);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // --help and the like end well; a usage error gets CLI11's words, the
        // usage line of the command in hand, and the usual status 2.
        if (app.exit(e) == 0) return 0;
        const CLI::App* command = &app;
        std::string name = "pelorin-cli";
        for (const CLI::App* sub : app.get_subcommands()) command = sub, name += " " + sub->get_name();
        std::fputs(CLI::Formatter().make_usage(command, name).c_str(), stderr);
        return kExitUsage;
    }
    const CommandRun run{PELORIN_VERSION, commandLineOf(argc, argv), std::time(nullptr)};
    scanOptions.run = openOptions.run = run;
    if (*typesCommand) return listTypes();
    if (*openCommand) return openScanInfoFile(openOptions);
    if (*drivesCommand) return runDrives(drivesOptions);
    return scan(scanOptions);
}
