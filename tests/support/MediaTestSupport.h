#pragma once
// Building media files byte by byte, sizing them on a disk image and reading
// back where a scan found them and how long it made them.

#include <gtest/gtest.h>

#include <ostream>
#include <random>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/FoundNode.h"
#include "support/TestSupport.h"

namespace pelorin::test {

// Appends values and text to a byte string, in the byte order named.
struct ByteWriter {
    ByteWriter& text(std::string_view characters) { return append(Bytes(characters.begin(), characters.end())); }
    ByteWriter& u8(uint8_t value) { return fill(1, value); }
    ByteWriter& be16(uint32_t value) { return u8(uint8_t(value >> 8)).u8(uint8_t(value)); }
    ByteWriter& be32(uint32_t value) { return be16(value >> 16).be16(value & 0xFFFF); }
    ByteWriter& be64(uint64_t value) { return be32(uint32_t(value >> 32)).be32(uint32_t(value)); }
    ByteWriter& le32(uint32_t v) { return u8(uint8_t(v)).u8(uint8_t(v >> 8)).u8(uint8_t(v >> 16)).u8(uint8_t(v >> 24)); }
    ByteWriter& fill(std::size_t count, uint8_t value = 0) { return append(Bytes(count, value)); }
    ByteWriter& append(const Bytes& more) {
        bytes.insert(bytes.end(), more.begin(), more.end());
        return *this;
    }
    std::size_t size() const { return bytes.size(); }

    Bytes bytes;
};

inline Bytes concat(std::initializer_list<Bytes> parts) {
    ByteWriter all;
    for (const Bytes& part : parts) all.append(part);
    return all.bytes;
}

// The bytes with one of them changed.
inline Bytes with(Bytes bytes, std::size_t at, uint8_t value) {
    bytes[at] = value;
    return bytes;
}

// A found file as the tree holds it.
struct Leaf {
    uint64_t sector;
    uint64_t size;
    bool operator==(const Leaf&) const = default;
};
using Leaves = std::vector<Leaf>;
inline void PrintTo(const Leaf& leaf, std::ostream* out) {
    *out << "{sector " << leaf.sector << ", size " << leaf.size << "}";
}

// The files of one type folder, in the order found; empty when no file of the type was found.
inline Leaves leavesIn(const FoundNode& root, std::string_view folderName) {
    Leaves leaves;
    if (const FoundNode* folder = folderNamed(root, folderName))
        for (const auto& child : folder->children()) leaves.push_back({child->sectorNumber(), child->fileSize()});
    return leaves;
}

// Scans an image holding each file at its sector (zeros elsewhere).
inline ScanResult scanPlaced(std::initializer_list<std::pair<uint64_t, Bytes>> files, TypeSelection ticked,
                             uint32_t sectorSize = 512, uint64_t imageSize = 0) {
    TempImage image(imageSize);
    for (const auto& [sector, bytes] : files) image.write(sector * sectorSize, bytes);
    return scanImage(image.path(), ticked, sectorSize);
}

// A file sized the way the loop sizes it: its size (0 when the recogniser
// found nothing), and whether the loop is to skip the file. With `cancel` the
// stop request is made before: the measuring sees it, the header tests of
// these types do not look at it.
struct Sized {
    uint64_t size;
    bool skip;
    bool operator==(const Sized&) const = default;
};
inline Sized sizeOn(Recogniser& check, ScanContext& ctx, const std::string& path, uint64_t sector,
                    bool cancel = false) {
    ctx.cancelRequested = cancel;
    const std::optional<Match> match = recogniseAt(check, path, sector, ctx.sectorSize);
    if (!match) return {0, false};
    return {match->size, std::min(match->skipPast, match->size) != 0};
}

// The same for a file written at a sector of an image that ends where it ends.
template <class Check>
Sized sized(const Bytes& file, uint64_t sector = 2, uint32_t sectorSize = 512, bool cancel = false) {
    TempImage image;
    image.write(sector * sectorSize, file);
    auto ctx = contextFor(image.path(), sectorSize);
    const std::unique_ptr<Recogniser> check = makeRecogniser<Check>(*ctx, TypeSelection{});
    return sizeOn(*check, *ctx, image.path(), sector, cancel);
}
template <class Check>
uint64_t sizeOf(const Bytes& file, uint64_t sector = 2, uint32_t sectorSize = 512, bool cancel = false) {
    return sized<Check>(file, sector, sectorSize, cancel).size;
}

// Bytes from a seeded generator: what follows a file on a used disk.
inline Bytes randomBytes(std::size_t count, unsigned seed) {
    std::mt19937 random(seed);
    Bytes bytes(count);
    for (auto& b : bytes) b = static_cast<uint8_t>(random());
    return bytes;
}

}  // namespace pelorin::test
