// Feeds arbitrary bytes to the scan-info reader: it must end cleanly on any
// input, and every name it restores must be safe to save under.

#include <cstdint>
#include <cstdlib>

#include "recovery/SafeNames.h"
#include "scaninfo/ScanInfoFile.h"

namespace {

void checkSafe(const std::string& name) {
    const std::string safe = pelorin::safeFileName(name);
    if (safe.empty() || safe == "." || safe == ".." || safe.find('/') != std::string::npos ||
        safe.find('\0') != std::string::npos)
        std::abort();
    const std::string path = pelorin::safeRelativePath(name);
    for (std::size_t start = 0;;) {
        const auto end = path.find('/', start);
        const std::string part = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (part == ".." || part == ".") std::abort();
        if (end == std::string::npos) break;
        start = end + 1;
    }
}

void walk(const pelorin::FoundNode& node, int depth) {
    if (depth > 2) std::abort();  // root, folders, files: nothing deeper is ever built
    checkSafe(node.fileName());
    checkSafe(node.pathName());
    (void)pelorin::packNodeRecord(node);
    // Pieces are only ever given whole: at least two, adding up to the file's size.
    if (!node.pieces().empty()) {
        if (node.pieces().size() < 2 || node.isFolder()) std::abort();
        uint64_t total = 0;
        for (const auto& piece : node.pieces()) total += piece.length;
        if (total != node.fileSize()) std::abort();
    }
    for (const auto& child : node.children()) {
        if (child->parent() != &node) std::abort();
        walk(*child, depth + 1);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    pelorin::MemorySource input({data, size});
    auto info = pelorin::readScanInfo(input);
    if (info) {
        const uint32_t sectorSize = info->header.sectorSize;
        if (sectorSize == 0 || sectorSize > 4096 || (sectorSize & (sectorSize - 1)) != 0) std::abort();
        if (info->header.firstSectors.size() != 5u * sectorSize) std::abort();
        walk(*info->root, 0);
    }
    return 0;
}
