#include "cli/SaveCommands.h"

#include <atomic>
#include <csignal>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "cli/CliPrompts.h"
#include "engine/CheckController.h"
#include "engine/Ownership.h"
#include "recognisers/Registry.h"
#include "recovery/SaveRecoveredFiles.h"

namespace pelorin::cli {
namespace {

std::atomic<SaveRecoveredFiles*> activeSave{nullptr};

extern "C" void onSaveInterrupt(int) {
    // Only an atomic store: the saving loop notices it and asks.
    if (SaveRecoveredFiles* save = activeSave.load()) save->stopSaving();
}

std::string lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

FoundNode* childNamed(FoundNode& root, std::string_view name) {
    for (const auto& child : root.children())
        if (child->fileName() == name) return child.get();
    return nullptr;
}

}  // namespace

bool tickSelection(FoundNode& root, const std::string& list, SelectionTotals& totals, std::string& error) {
    CheckController(&root, false, totals).run();
    std::stringstream items(list);
    for (std::string item; std::getline(items, item, ',');) {
        std::erase_if(item, [](unsigned char c) { return std::isspace(c); });
        if (item.empty()) continue;
        std::string folderName;
        if (lowered(item) == "all") {
            CheckController(&root, true, totals).run();
            continue;
        }
        if (lowered(item) == "rawjpg") {
            folderName = kRawJpgFolderName;
        } else if (auto type = findFileType(item)) {
            folderName = info(*type).folderName;
        } else {
            error = "unknown file type '" + item + "' (see 'pelorin-cli types'; 'rawjpg' names the previews)";
            return false;
        }
        if (FoundNode* folder = childNamed(root, folderName)) CheckController(folder, true, totals).run();
    }
    totals.tickedFiles = CheckController::countTickedFiles(root);
    return true;
}

int saveInfoFile(const std::string& file, const ScanInfoHeader& header, const FoundNode& root, bool showProgress) {
    // The writer always adds the extension, as a save panel's name has none.
    // A folder gets the name the save panel offers, inside it.
    std::string chosen = file;
    if (std::error_code error; std::filesystem::is_directory(file, error))
        chosen = (std::filesystem::path(file) / defaultScanInfoName(std::time(nullptr))).string();
    else if (chosen.size() > 4 && chosen.ends_with(".rvx"))
        chosen.resize(chosen.size() - 4);
    CliPrompts prompts(showProgress);
    return saveScanInfo(chosen, header, root, prompts) ? kExitOK : kExitFailed;
}

int recoverInto(const FoundNode& root, Source& source, const SourceInfo& sourceInfo, const SelectionTotals& totals,
                const std::string& destination, bool showProgress, const CommandRun& run, SaveResult& saved) {
    std::error_code error;
    std::filesystem::create_directories(destination, error);
    if (!std::filesystem::is_directory(destination)) {
        std::fprintf(stderr, "pelorin-cli: cannot use %s as the destination folder\n", destination.c_str());
        return kExitFailed;
    }
    if (totals.tickedFiles == 0) std::fprintf(stderr, "pelorin-cli: no file is ticked; nothing to recover\n");
    CliPrompts prompts(showProgress);
    SaveRecoveredFiles saver(source, sourceInfo.sectorSize, totals, prompts);
    activeSave.store(&saver);
    auto previous = std::signal(SIGINT, onSaveInterrupt);
    saved = saver.save(root, destination);
    const SaveResult& result = saved;
    std::signal(SIGINT, previous);
    activeSave.store(nullptr);
    prompts.finishProgress();

    if (result.outcome == SaveOutcome::Refused) return kExitFailed;
    std::printf("Recovered %d %s (%s) into %s\n", result.filesSaved, result.filesSaved == 1 ? "file" : "files",
                savedSizeText(result.savedData).c_str(), result.recoveryFolder.c_str());
    // The report stays with the files, for whoever receives the folder.
    bool reportWritten = true;
    if (!result.recoveryFolder.empty()) {
        std::string error;
        const std::string report = result.recoveryFolder + "/report.xml";
        reportWritten = writeDfxml(report, run, sourceInfo, root, result.savedFiles, error);
        if (reportWritten)
            handOver(invokingUser(), report);  // like every file of the folder
        else
            std::fprintf(stderr, "pelorin-cli: %s\n", error.c_str());
    }
    if (result.outcome == SaveOutcome::Aborted) return kExitInterrupted;
    return result.filesFailed > 0 || result.recoveryFolder.empty() || !reportWritten ? kExitFailed : kExitOK;
}

}  // namespace pelorin::cli
