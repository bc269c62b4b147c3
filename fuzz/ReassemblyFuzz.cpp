// Puts a split photo back together from arbitrary bytes: the image holds a
// found JPEG at its start (the scan's verdict, sized to the image's end) and a
// second found file where the input's first byte says. The pass must end
// cleanly and, when it gives the photo pieces, keep what it promises of them.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "engine/FoundNode.h"
#include "engine/Source.h"
#include "reassembly/Reassembly.h"

namespace {

using pelorin::ByteRun;
using pelorin::FoundNode;

void check(bool promise) {
    if (!promise) std::abort();
}

FoundNode* addFile(FoundNode& folder, uint64_t sector, uint64_t size) {
    auto file = std::make_unique<FoundNode>();
    file->setFileType(FoundNode::kFoundFile);
    file->setSectorNumber(sector);
    file->setFileSize(size);
    folder.addToFileSize(size);
    folder.addToChildrenCount(1);
    return folder.addChild(std::move(file));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    constexpr uint32_t kSectorSize = 512;
    if (size < 2) return 0;
    const std::span<const uint8_t> image(data + 1, size - 1);
    pelorin::MemorySource source(image, kSectorSize, "fuzz");

    FoundNode root;
    root.setFileType(FoundNode::kFolder);
    auto jpegs = std::make_unique<FoundNode>();
    jpegs->setFileType(FoundNode::kFolder);
    jpegs->setFileName("JPG Files");
    jpegs->setExtension(".jpg");
    FoundNode* folder = root.addChild(std::move(jpegs));
    root.addToChildrenCount(1);
    FoundNode* photo = addFile(*folder, 0, image.size());
    const uint64_t otherSector = data[0];
    if (otherSector > 0 && otherSector * kSectorSize < image.size())
        addFile(*folder, otherSector, image.size() - otherSector * kSectorSize);
    const uint64_t folderBytes = folder->fileSize();

    pelorin::reassembleSplitFiles(root, source, kSectorSize);

    if (photo->pieces().empty()) {
        check(photo->fileSize() == image.size());
        return 0;
    }
    // Pieces in the source, the first where the photo starts, their lengths
    // its size, none overlapping another, and the folder's size following.
    std::vector<ByteRun> pieces = photo->pieces();
    check(pieces.size() >= 2 && pieces.front().offset == 0);
    uint64_t total = 0;
    for (const ByteRun& piece : pieces) {
        check(piece.length > 0 && piece.offset < image.size() && piece.length <= image.size() - piece.offset);
        total += piece.length;
    }
    check(total == photo->fileSize());
    check(folder->fileSize() == folderBytes - image.size() + total);
    std::sort(pieces.begin(), pieces.end(), [](const ByteRun& a, const ByteRun& b) { return a.offset < b.offset; });
    for (std::size_t i = 1; i < pieces.size(); ++i) check(pieces[i - 1].offset + pieces[i - 1].length <= pieces[i].offset);
    return 0;
}
