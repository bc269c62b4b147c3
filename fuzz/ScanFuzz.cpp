// Scans arbitrary bytes as a disk image, every type ticked: the scan must end
// cleanly on any input and keep what it promises about the tree it builds.
// The first byte chooses the sector size (odd: 4,096, else 512); the rest is
// the image.

#include <cstdint>
#include <cstdlib>
#include <set>

#include "engine/Scanning.h"
#include "engine/Source.h"
#include "recognisers/Registry.h"

namespace {

using pelorin::FoundNode;

class Controller final : public pelorin::ScanController {
public:
    bool isTicked(pelorin::FileType) const override { return true; }
    void progressChanged() override {}
    void finished(const pelorin::ScanOutcome& how) override { outcome = how; }
    // Bytes in memory can always be read: any alert is a fault.
    void notify(const pelorin::Notice&) override { std::abort(); }

    pelorin::ScanOutcome outcome{pelorin::ScanOutcome::Stopped};
};

void check(bool promise) {
    if (!promise) std::abort();
}

// Root, type folders, files; every file inside the source; every id once; each
// folder's count and size those of its files, the root's those of its folders.
void checkTree(const FoundNode& root, uint64_t sourceSize, uint32_t sectorSize) {
    std::set<uint32_t> ids{root.fileID()};
    uint64_t files = 0, bytes = 0;
    for (const auto& folder : root.children()) {
        check(folder->isFolder() && folder->parent() == &root && !folder->children().empty());
        check(ids.insert(folder->fileID()).second);
        uint64_t folderBytes = 0;
        for (const auto& file : folder->children()) {
            check(!file->isFolder() && file->parent() == folder.get() && file->children().empty());
            check(ids.insert(file->fileID()).second);
            check(file->extraBytesToMove() >= 0 && file->sectorNumber() < sourceSize / sectorSize + 1);
            const uint64_t start = file->sectorNumber() * sectorSize + uint64_t(file->extraBytesToMove());
            check(start < sourceSize && file->fileSize() > 0 && file->fileSize() <= sourceSize - start);
            folderBytes += file->fileSize();
        }
        check(folder->fileCount() == folder->children().size() && folder->fileSize() == folderBytes);
        files += folder->fileCount();
        bytes += folderBytes;
    }
    check(root.fileCount() == files && root.fileSize() == bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const uint32_t sectorSize = (data[0] & 1) ? 4096 : 512;
    pelorin::MemorySource source({data + 1, size - 1}, sectorSize, "fuzz");
    pelorin::ScanContext ctx;
    ctx.sourcePath = "fuzz";
    ctx.sectorSize = sectorSize;
    ctx.sectorCount = source.sectorCount();
    ctx.source = &source;
    Controller controller;
    pelorin::Scanning scanning(ctx, controller, pelorin::registry());
    scanning.run();
    check(controller.outcome.how == pelorin::ScanOutcome::Completed && controller.outcome.unreadableSectors == 0);
    checkTree(*scanning.root(), source.size(), sectorSize);
    return 0;
}
