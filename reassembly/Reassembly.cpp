#include "reassembly/Reassembly.h"

#include <algorithm>
#include <thread>

#include "engine/FileTypes.h"
#include "engine/Source.h"
#include "reassembly/ClusterGeometry.h"
#include "reassembly/ClusterMap.h"
#include "reassembly/JpegContinuationSearch.h"

namespace pelorin {
namespace {

struct FoundFile {
    FoundNode* node;
    uint64_t start;
    bool isJpeg;
};

void collectFiles(FoundNode& node, uint32_t sectorSize, bool inJpegFolder, std::vector<FoundFile>& out) {
    for (const auto& child : node.children()) {
        if (child->isFolder()) {
            const bool jpegFolder = child->extension() == ".jpg" && child->fileName() != kRawJpgFolderName;
            collectFiles(*child, sectorSize, jpegFolder, out);
        } else if (child->extraBytesToMove() == 0 && child->pieces().empty() && child->fileSize() > 0) {
            out.push_back({child.get(), byteOffsetOf(*child, sectorSize).value_or(UINT64_MAX), inJpegFolder});
        }
    }
}

void giveNewSize(FoundNode& file, std::vector<ByteRun> pieces) {
    uint64_t size = 0;
    for (const ByteRun& piece : pieces) size += piece.length;
    const uint64_t change = size - file.fileSize();  // modulo 2^64: a fall is added as its complement
    file.setPieces(std::move(pieces));
    file.setFileSize(size);
    for (FoundNode* folder = file.parent(); folder; folder = folder->parent()) folder->addToFileSize(change);
}

// Whether each picture that starts on a unit boundary decodes whole as it
// lies: most of the pass's time, so spread over two threads.
std::vector<JpegContinuationSearch::Check> checkPictures(const std::vector<FoundFile>& files,
                                                         const ClusterGeometry& geometry, Source& source,
                                                         const ClusterMap& clusters, const std::atomic<bool>* cancelled) {
    std::vector<JpegContinuationSearch::Check> checks(files.size(),
                                                      {JpegContinuationSearch::Verdict::NotDecodable, 0});
    const auto checkEvery = [&](std::size_t first, std::size_t step) {
        JpegContinuationSearch search(source, clusters);
        for (std::size_t i = first; i < files.size(); i += step) {
            if (cancelled && cancelled->load(std::memory_order_relaxed)) return;
            if (files[i].isJpeg && geometry.isBoundary(files[i].start)) checks[i] = search.check(files[i].start);
        }
    };
    const std::size_t threads = std::thread::hardware_concurrency() > 1 ? 2 : 1;
    std::vector<std::thread> helpers;
    for (std::size_t t = 1; t < threads; ++t) helpers.emplace_back(checkEvery, t, threads);
    checkEvery(0, threads);
    for (std::thread& helper : helpers) helper.join();
    return checks;
}

}  // namespace

ReassemblyOutcome reassembleSplitFiles(FoundNode& root, Source& source, uint32_t sectorSize,
                                       const std::atomic<bool>* cancelled) {
    const auto began = std::chrono::steady_clock::now();
    ReassemblyOutcome outcome;
    std::vector<FoundFile> files;
    collectFiles(root, sectorSize, false, files);
    std::sort(files.begin(), files.end(), [](const FoundFile& a, const FoundFile& b) { return a.start < b.start; });

    std::vector<uint64_t> starts;
    for (const FoundFile& file : files) starts.push_back(file.start);
    const ClusterGeometry geometry =
        geometryFromBootSectors(source, sectorSize).value_or(geometryFromFileStarts(starts, sectorSize));
    outcome.clusterSize = static_cast<uint32_t>(geometry.size);

    // What belongs to files as found: no piece of another file is looked for
    // there. A picture that decodes whole has exactly its bytes; any other
    // file has its first unit only: the size of one as found may run past its
    // end (slack, or a split video measured as one run), and a picture that
    // breaks off may have decoded on through another picture's piece. A wrong
    // candidate inside them fails to decode anyway. Files that do not start
    // on a unit boundary lie inside other files.
    ClusterMap clusters(geometry);
    const std::vector<JpegContinuationSearch::Check> checks = checkPictures(files, geometry, source, clusters, cancelled);
    std::vector<std::size_t> broken;
    const auto ownerOf = [](std::size_t index) { return static_cast<ClusterMap::Owner>(index + 1); };
    for (std::size_t i = 0; i < files.size(); ++i) {
        const FoundFile& file = files[i];
        if (!geometry.isBoundary(file.start)) continue;
        clusters.take(file.start, 1, ownerOf(i));
        if (checks[i].verdict == JpegContinuationSearch::Verdict::Whole) {
            clusters.take(file.start, checks[i].length, ownerOf(i));
        } else if (checks[i].verdict == JpegContinuationSearch::Verdict::Broken) {
            broken.push_back(i);
        }
    }
    outcome.filesBroken = static_cast<uint32_t>(broken.size());

    JpegContinuationSearch search(source, clusters);
    search.setCancel(cancelled);
    for (const std::size_t i : broken) {
        if (cancelled && cancelled->load()) break;
        const FoundFile& file = files[i];
        std::optional<std::vector<ByteRun>> pieces = search.reassemble(file.start, ownerOf(i));
        if (!pieces || pieces->size() < 2) continue;
        // Never a unit for two files.
        const bool free = std::all_of(pieces->begin(), pieces->end(), [&](const ByteRun& piece) {
            for (uint64_t at = piece.offset; at < piece.offset + piece.length; at = geometry.boundaryAtOrAfter(at + 1))
                if (clusters.isTaken(at, ownerOf(i))) return false;
            return true;
        });
        if (!free) continue;
        for (const ByteRun& piece : *pieces) clusters.take(piece.offset, piece.length, ownerOf(i));
        giveNewSize(*file.node, std::move(*pieces));
        ++outcome.filesReassembled;
    }
    outcome.elapsed = std::chrono::steady_clock::now() - began;
    return outcome;
}

}  // namespace pelorin
