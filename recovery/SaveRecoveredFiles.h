#pragma once
// Saving the ticked found files: checks the destination, creates a new
// recovery folder in it and copies every ticked file byte for byte from the
// source, following the found-file tree. Folders and files are created with
// the user's umask, and belong to the user Pelorin runs for.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>

#include "engine/FoundNode.h"
#include "engine/SelectionTotals.h"
#include "engine/Prompts.h"
#include "engine/Source.h"
#include "engine/Ownership.h"
#include "recovery/Sha256.h"

namespace pelorin {

// The parts of the outside world a save consults, replaceable for tests.
struct SaveEnvironment {
    // Free bytes on the destination's volume; nullopt when unknown.
    std::function<std::optional<uint64_t>(const std::string& folder)> freeSpace;
    // Whether the destination's volume takes writes; nullopt when unknown.
    std::function<std::optional<bool>(const std::string& folder)> volumeWritable;
    // Fills the buffer with count sectors from the first sector, or as much of
    // them as the source holds: the bytes read. Nothing after the user has
    // been told the source cannot be read.
    std::function<std::optional<std::size_t>(uint64_t firstSector, uint32_t count, std::span<uint8_t> buffer,
                                             Notices& notices)>
        readSaveSector;
    std::function<std::time_t()> wallClock;
    std::function<std::chrono::steady_clock::time_point()> steadyClock;
};

// Free space and writability of a folder's volume from statvfs.
std::optional<uint64_t> volumeFreeSpace(const std::string& folder);
std::optional<bool> isVolumeWritable(const std::string& folder);

// "Pelorin <date>" for the given time.
std::string recoveryFolderName(std::time_t when);

// A byte count as saving shows it: "%.2f" KB, MB or GB, divided in single precision.
std::string savedSizeText(uint64_t bytes);

// What a save of this tree would write: the ticked files in ticked folders
// under a ticked root, and their bytes. Worked out from the nodes alone, so it
// holds for a tree from a scan-info file whatever its header says.
SelectionTotals filesToSave(const FoundNode& root);

enum class SaveOutcome { Refused, Completed, Aborted };

// A file the save wrote: where, and the SHA-256 of the bytes written, taken
// as they were copied.
struct SavedFile {
    std::string path;  // inside the recovery folder
    Sha256Digest sha256{};
};

struct SaveResult {
    SaveOutcome outcome = SaveOutcome::Refused;
    std::string recoveryFolder;  // empty when none was created
    int32_t filesSaved = 0;
    int32_t filesFailed = 0;
    uint64_t savedData = 0;
    // Every file written, by its node; a file cut short by Stop has the digest
    // of what it holds. Failed files and empty ones (nothing is written) are absent.
    std::map<const FoundNode*, SavedFile> savedFiles;
};

class SaveRecoveredFiles {
public:
    // `source` is what the scan read; it outlives the save.
    SaveRecoveredFiles(Source& source, uint32_t sectorSize, const SelectionTotals& totals, Prompts& prompts);

    SaveEnvironment& environment() { return env; }

    // The checks before a save: free space and writability of the
    // destination's volume. False after telling the user why not.
    bool checkDestination(const std::string& destination);

    // The saving thread: creates the recovery folder in the destination,
    // saves the ticked part of the tree and tells the user how it ended.
    SaveResult saveFilesAndFolders(const FoundNode& root, const std::string& destination);

    // Both of the above, in order.
    SaveResult save(const FoundNode& root, const std::string& destination);

    // The Stop button; safe from any thread. The saving thread asks the question.
    void stopSaving() { abortSaving.store(true); }

    // The progress gate, set once a second; the saving thread also sets it
    // from its own clock, so no timer is required.
    void setUpdateStatus(bool value) { updateStatus.store(value); }

    uint64_t savedData() const { return savedData_.load(); }
    int32_t filesSaved() const { return filesSaved_.load(); }

private:
    // SourceEnded: the source ends before the file does (it is shorter than
    // the tree says); what it held is kept.
    enum class CopyResult { Done, Stopped, WriteFailed, ReadFailed, SourceEnded };

    void saveDir(const FoundNode& node, const std::string& recoveryFolder);
    CopyResult copyFile(const FoundNode& file, int fd);
    CopyResult copyPieces(const FoundNode& file, int fd);
    bool writeChunk(int fd, const uint8_t* data, std::size_t length);
    bool stopCheck();
    void reportProgressIfDue();
    void post(const SaveProgressUpdate& update);
    std::string folderOf(const FoundNode& node, const std::string& recoveryFolder) const;
    std::string createRecoveryFolder(const std::string& destination);

    Source& source;
    uint32_t sectorSize;
    const SelectionTotals& totals;
    Prompts& prompts;
    SaveEnvironment env;

    std::atomic<bool> abortSaving{false};
    std::atomic<bool> stopMessageShown_{false};
    std::atomic<bool> updateStatus{false};
    std::atomic<uint64_t> savedData_{0};
    std::atomic<int32_t> filesSaved_{0};
    int32_t filesFailed = 0;
    bool firstWriteOfFile = false;
    int32_t skipBytes = 0;
    std::chrono::steady_clock::time_point lastGate;
    std::vector<uint8_t> buffer;
    Sha256 digest;  // of the file being copied
    std::map<const FoundNode*, SavedFile> savedFiles;
    std::optional<Owner> owner;  // who gets what this save creates, when not the process's user
};

}  // namespace pelorin
