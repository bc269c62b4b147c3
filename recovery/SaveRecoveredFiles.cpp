#include "recovery/SaveRecoveredFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "engine/ControllerReaders.h"
#include "engine/DateName.h"
#include "recovery/SafeNames.h"

namespace pelorin {
namespace {

// The modes asked for; the user's umask takes away from them as usual.
constexpr mode_t kFolderMode = 0777;
constexpr mode_t kFileMode = 0755;
constexpr int32_t kFilesPerSubFolder = 900;
constexpr uint32_t kSectorsPerBlock = 8;
constexpr uint32_t kSectorsPerChunk = 64;

// Creates the folder and any missing parents, handing those it made to the owner.
void makeFolders(const std::string& path, const std::optional<Owner>& owner) {
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string prefix = slash == std::string::npos ? path : path.substr(0, slash);
        if (!prefix.empty() && ::mkdir(prefix.c_str(), kFolderMode) == 0) handOver(owner, prefix);
        if (slash == std::string::npos) break;
    }
}

bool isTickedFile(const FoundNode& node) { return node.fileType() == FoundNode::kFoundFile && node.selected() == 1; }

int32_t tickedFilesAfter(const FoundNode& node, std::size_t position) {
    const auto& children = node.children();
    return static_cast<int32_t>(std::count_if(children.begin() + static_cast<std::ptrdiff_t>(position), children.end(),
                                              [](const auto& child) { return isTickedFile(*child); }));
}


// Ticked found files that a walk from this node would try to save, and their bytes.
void addTickedFilesBelow(const FoundNode& node, SelectionTotals& totals) {
    if (node.selected() != 1) return;
    for (const auto& child : node.children()) {
        if (isTickedFile(*child)) {
            ++totals.tickedFiles;
            totals.tickedBytes += child->fileSize();
        }
        if (!child->children().empty()) addTickedFilesBelow(*child, totals);
    }
}

}  // namespace

std::optional<uint64_t> volumeFreeSpace(const std::string& folder) {
    struct statvfs info {};
    if (::statvfs(folder.c_str(), &info) != 0) return std::nullopt;
    return uint64_t{info.f_bavail} * info.f_frsize;
}

std::optional<bool> isVolumeWritable(const std::string& folder) {
    struct statvfs info {};
    if (::statvfs(folder.c_str(), &info) != 0) return std::nullopt;
    return (info.f_flag & ST_RDONLY) == 0;
}

SelectionTotals filesToSave(const FoundNode& root) {
    SelectionTotals totals;
    addTickedFilesBelow(root, totals);
    return totals;
}

std::string recoveryFolderName(std::time_t when) { return "Pelorin " + dateForGeneratedName(when); }

std::string savedSizeText(uint64_t bytes) {
    char text[64];
    const float value = static_cast<float>(bytes);
    if (bytes < 1048576ULL)
        std::snprintf(text, sizeof text, "%.2f KB", double(value / 1024.0f));
    else if (bytes < 1073741824ULL)
        std::snprintf(text, sizeof text, "%.2f MB", double(value / 1048576.0f));
    else
        std::snprintf(text, sizeof text, "%.2f GB", double(value / 1073741824.0f));
    return text;
}

SaveRecoveredFiles::SaveRecoveredFiles(Source& source_, uint32_t sectorSize_, const SelectionTotals& totals_,
                                       Prompts& prompts_)
    : source(source_), sectorSize(sectorSize_), totals(totals_), prompts(prompts_) {
    env.freeSpace = volumeFreeSpace;
    env.volumeWritable = isVolumeWritable;
    env.readSaveSector = [this](uint64_t first, uint32_t count, std::span<uint8_t> out,
                                Notices& notices) -> std::optional<std::size_t> {
        std::size_t bytesRead = 0;
        if (!readSaveSector(source, sectorSize, first, count, out, notices, &bytesRead)) return std::nullopt;
        return bytesRead;
    };
    env.wallClock = [] { return std::time(nullptr); };
    env.steadyClock = [] { return std::chrono::steady_clock::now(); };
}

bool SaveRecoveredFiles::checkDestination(const std::string& destination) {
    // A volume whose free space cannot be read is given the benefit of the
    // doubt, as is one whose writability cannot be read.
    if (auto free = env.freeSpace(destination); free && *free < totals.tickedBytes) {
        prompts.notify({NoticeKind::NotEnoughFreeSpace, destination});
        return false;
    }
    if (auto writable = env.volumeWritable(destination); writable && !*writable) {
        prompts.notify({NoticeKind::DestinationNotWritable, destination});
        return false;
    }
    return true;
}

SaveResult SaveRecoveredFiles::save(const FoundNode& root, const std::string& destination) {
    if (!checkDestination(destination)) return {};
    return saveFilesAndFolders(root, destination);
}

void SaveRecoveredFiles::post(const SaveProgressUpdate& update) {
    SaveProgressUpdate withCount = update;
    withCount.filesSaved = filesSaved_.load();
    prompts.updateTreeProgress(withCount);
}

std::string SaveRecoveredFiles::createRecoveryFolder(const std::string& destination) {
    makeFolders(destination, owner);
    const std::string base = recoveryFolderName(env.wallClock());
    // A second save within the same second gets a folder of its own rather
    // than overwriting the first one's files.
    for (int attempt = 1; attempt < 10000; ++attempt) {
        std::string name = base;
        if (attempt > 1) name += (name.ends_with(' ') ? "(" : " (") + std::to_string(attempt) + ")";
        const std::string path = destination + "/" + name;
        if (::mkdir(path.c_str(), kFolderMode) == 0) {
            handOver(owner, path);
            return path;
        }
        if (errno != EEXIST) return {};
    }
    return {};
}

SaveResult SaveRecoveredFiles::saveFilesAndFolders(const FoundNode& root, const std::string& destination) {
    abortSaving.store(false);
    stopMessageShown_.store(false);
    updateStatus.store(false);
    savedData_.store(0);
    filesSaved_.store(0);
    filesFailed = 0;
    savedFiles.clear();
    lastGate = env.steadyClock();
    owner = invokingUser();

    post({.barMinimumValue = 0, .barMaximumValue = totals.tickedBytes});
    SaveResult result;
    result.recoveryFolder = createRecoveryFolder(destination);
    if (result.recoveryFolder.empty())
        filesFailed = filesToSave(root).tickedFiles;
    else
        saveDir(root, result.recoveryFolder);
    post({.savedData = savedData_.load(), .barIncrement = 1});
    post({.barDoubleValue = 0});

    result.filesSaved = filesSaved_.load();
    result.filesFailed = filesFailed;
    result.savedData = savedData_.load();
    result.savedFiles = std::move(savedFiles);
    savedFiles.clear();
    if (abortSaving.load()) {
        result.outcome = SaveOutcome::Aborted;
        prompts.notify({NoticeKind::SavingAborted, destination});
    } else {
        result.outcome = SaveOutcome::Completed;
        prompts.notify({NoticeKind::SavingCompleted, destination, filesFailed});
    }
    return result;
}

bool SaveRecoveredFiles::stopCheck() {
    if (!abortSaving.load()) return false;
    if (stopMessageShown_.load()) return true;
    if (prompts.ask(Question::StopSaving)) {
        stopMessageShown_.store(true);
        return true;
    }
    abortSaving.store(false);
    stopMessageShown_.store(false);
    return false;
}

std::string SaveRecoveredFiles::folderOf(const FoundNode& node, const std::string& recoveryFolder) const {
    const std::string relative = safeRelativePath(node.pathName());
    return recoveryFolder + (relative.empty() ? "" : "/" + relative) + "/" + safeFileName(node.fileName());
}

void SaveRecoveredFiles::saveDir(const FoundNode& node, const std::string& recoveryFolder) {
    if (node.selected() != 1) return;
    const std::string folder = folderOf(node, recoveryFolder);
    makeFolders(folder, owner);

    const bool spread = node.childrenSelected() > kFilesPerSubFolder;
    int32_t tickedIndex = 0;
    int32_t subFolderMade = -1;
    const auto& children = node.children();
    for (std::size_t k = 0; k < children.size(); ++k) {
        if (stopCheck()) break;
        const FoundNode& child = *children[k];
        if (child.fileType() == FoundNode::kFolder && child.selected() == 1)
            makeFolders(folder + "/" + safeFileName(child.fileName()), owner);
        if (child.fileType() != FoundNode::kFoundFile || child.selected() != 1) continue;
        const int32_t index = tickedIndex++;
        // Nothing of a file that starts past the source's end can be read.
        if (byteOffsetOf(child, sectorSize).value_or(UINT64_MAX) >= source.size()) {
            ++filesFailed;
            continue;
        }
        if (child.fileSize() == 0) {
            filesSaved_.fetch_add(1);
            continue;
        }
        std::string target = folder;
        if (spread) {
            const int32_t group = index / kFilesPerSubFolder;
            target = folder + "/" + safeFileName(node.fileName() + std::to_string(group));
            // Made on the group's first file that is written, so a group
            // whose first file is empty still gets its folder.
            if (group != subFolderMade) {
                makeFolders(target, owner);
                subFolderMade = group;
            }
        }
        // The offset into the first sector is below the sector size for every
        // file a scan finds; anything else cannot be copied faithfully.
        if (child.extraBytesToMove() < 0 || uint32_t(child.extraBytesToMove()) >= sectorSize) {
            ++filesFailed;
            continue;
        }
        const std::string path = target + "/" + safeFileName(child.fileName());
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, kFileMode);
        if (fd < 0) {
            ++filesFailed;
            continue;
        }
        handOver(owner, fd);
        digest.restart();
        CopyResult copied = child.pieces().empty() ? copyFile(child, fd) : copyPieces(child, fd);
        if (::close(fd) != 0 && copied == CopyResult::Done) copied = CopyResult::WriteFailed;
        switch (copied) {
            case CopyResult::Done:
            case CopyResult::Stopped:
                filesSaved_.fetch_add(1);
                savedFiles[&child] = {path.substr(recoveryFolder.size() + 1), digest.finish()};
                break;
            case CopyResult::WriteFailed:
            case CopyResult::SourceEnded:
                ++filesFailed;
                break;
            case CopyResult::ReadFailed:
                // The source has gone or cannot be read here: this folder ends,
                // and its files not yet saved are counted as failed.
                filesFailed += 1 + tickedFilesAfter(node, k + 1);
                return;
        }
    }
    for (const auto& child : children) {
        if (stopCheck()) return;
        if (!child->children().empty() && child->selected() == 1) saveDir(*child, recoveryFolder);
    }
}

bool SaveRecoveredFiles::writeChunk(int fd, const uint8_t* data, std::size_t length) {
    if (firstWriteOfFile) {
        // The file starts this far into its first sector.
        firstWriteOfFile = false;
        const auto skip = std::min<std::size_t>(static_cast<std::size_t>(skipBytes), length);
        data += skip;
        length -= skip;
    }
    digest.add({data, length});
    while (length > 0) {
        const ssize_t written = ::write(fd, data, length);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        length -= static_cast<std::size_t>(written);
    }
    return true;
}

void SaveRecoveredFiles::reportProgressIfDue() {
    const auto now = env.steadyClock();
    if (now - lastGate >= std::chrono::seconds(1)) {
        lastGate = now;
        updateStatus.store(true);
    }
    if (!updateStatus.load()) return;
    post({.savedData = savedData_.load(), .barDoubleValue = savedData_.load()});
    updateStatus.store(false);
}

SaveRecoveredFiles::CopyResult SaveRecoveredFiles::copyFile(const FoundNode& file, int fd) {
    const uint64_t S = sectorSize;
    const uint64_t blockBytes = kSectorsPerBlock * S;
    const uint64_t L = file.fileSize() + static_cast<uint64_t>(file.extraBytesToMove());
    const uint64_t B = (L + blockBytes - 1) / blockBytes;
    const uint64_t Q = B / 8;
    const uint64_t R = B % 8;
    const uint64_t T = L - (B - 1) * blockBytes;
    const uint64_t first = file.sectorNumber();
    firstWriteOfFile = true;
    skipBytes = file.extraBytesToMove();

    // Only bytes that were read are written: where the source ends early the
    // file keeps what it held and no zeros stand in for the rest.
    auto readAndWrite = [&](uint64_t sector, uint32_t count, uint64_t bytesToWrite) {
        buffer.assign(std::size_t{count} * S, 0);
        const std::optional<std::size_t> bytesRead = env.readSaveSector(sector, count, buffer, prompts);
        if (!bytesRead) return CopyResult::ReadFailed;
        const uint64_t bytesHeld = std::min<uint64_t>(bytesToWrite, *bytesRead);
        if (!writeChunk(fd, buffer.data(), static_cast<std::size_t>(bytesHeld))) return CopyResult::WriteFailed;
        savedData_.fetch_add(bytesHeld);
        reportProgressIfDue();
        return bytesHeld == bytesToWrite ? CopyResult::Done : CopyResult::SourceEnded;
    };

    for (uint64_t c = 0; c < Q; ++c) {
        if (stopCheck()) return CopyResult::Stopped;
        if (R > 0 || c < Q - 1) {
            if (auto r = readAndWrite(first + kSectorsPerChunk * c, kSectorsPerChunk, kSectorsPerChunk * S);
                r != CopyResult::Done)
                return r;
            continue;
        }
        for (uint64_t b = 0; b < 8; ++b) {
            if (auto r = readAndWrite(first + kSectorsPerBlock * (8 * c + b), kSectorsPerBlock, b == 7 ? T : blockBytes);
                r != CopyResult::Done)
                return r;
        }
    }
    for (uint64_t b = 0; b < R; ++b) {
        if (stopCheck()) return CopyResult::Stopped;
        if (auto r = readAndWrite(first + kSectorsPerBlock * (8 * Q + b), kSectorsPerBlock, b == R - 1 ? T : blockBytes);
            r != CopyResult::Done)
            return r;
    }
    return CopyResult::Done;
}

// A file put back together: each piece in turn, read in whole sectors of up to
// a chunk at a time (a piece may start and end anywhere in a sector).
SaveRecoveredFiles::CopyResult SaveRecoveredFiles::copyPieces(const FoundNode& file, int fd) {
    const uint64_t S = sectorSize;
    firstWriteOfFile = false;  // each read below drops its own lead-in bytes
    for (const ByteRun& piece : file.pieces()) {
        // Nothing of a piece that starts past the source's end can be read
        // (nor of one whose end lies beyond what 64 bits hold).
        if (piece.offset >= source.size() || piece.length > UINT64_MAX - piece.offset) return CopyResult::SourceEnded;
        const uint64_t end = piece.offset + piece.length;
        for (uint64_t position = piece.offset; position < end;) {
            if (stopCheck()) return CopyResult::Stopped;
            const uint64_t skip = position % S;
            const uint64_t wanted = std::min<uint64_t>(end - position, kSectorsPerChunk * S - skip);
            const auto count = static_cast<uint32_t>((skip + wanted + S - 1) / S);
            buffer.assign(std::size_t{count} * S, 0);
            const std::optional<std::size_t> bytesRead = env.readSaveSector(position / S, count, buffer, prompts);
            if (!bytesRead) return CopyResult::ReadFailed;
            const uint64_t bytesHeld = *bytesRead > skip ? std::min<uint64_t>(wanted, *bytesRead - skip) : 0;
            if (!writeChunk(fd, buffer.data() + skip, static_cast<std::size_t>(bytesHeld)))
                return CopyResult::WriteFailed;
            savedData_.fetch_add(bytesHeld);
            reportProgressIfDue();
            if (bytesHeld < wanted) return CopyResult::SourceEnded;
            position += wanted;
        }
    }
    return CopyResult::Done;
}

}  // namespace pelorin
