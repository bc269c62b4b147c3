#pragma once
// A FAT16 or FAT32 memory card filled the way a camera fills one: every file
// takes the lowest free clusters, so a new file fills the holes that deleted
// ones left and ends up in pieces around the files still on the card. A
// delete frees the clusters and marks the directory entry, leaving the data;
// a quick format clears the FATs and the root directory, leaving the data.
//
// The card keeps where every file lies, so that a test can compare what a
// scan recovers with what was written.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "engine/FoundNode.h"

namespace pelorin::test {

enum class FatType { Fat16, Fat32 };

class CameraCard {
public:
    struct File {
        std::string name;  // 8.3, as written
        uint64_t size = 0;
        std::vector<uint32_t> clusters;  // in file order
    };

    // A freshly formatted card of `size` bytes (512-byte sectors) whose
    // clusters hold `clusterSize` bytes, a power of two from 512 to 64 KiB.
    // FAT16 must come to 4,085 to 65,524 clusters; FAT32 is written as asked
    // even below its usual minimum of 65,525 (a 1 GiB card with 32 KiB
    // clusters has 32,759), which Linux and fsck.fat read but mtools refuses.
    CameraCard(uint64_t size, uint32_t clusterSize, FatType type = FatType::Fat16);

    // Writes a file in the lowest free clusters. False, with nothing
    // written, when the card has no room for it or no free directory entry.
    bool write(const std::string& name, std::span<const uint8_t> bytes);
    // Deletes a live file as a camera does. Throws when there is none.
    void erase(const std::string& name);
    void quickFormat();
    // Bytes put straight into the data area, past the file system: what a
    // card reader or another device left there.
    void overwrite(uint64_t offset, std::span<const uint8_t> bytes);

    // The live files, in directory order, and one by name (null when none).
    std::vector<File> files() const;
    const File* file(const std::string& name) const;
    // Where a file's bytes lie on the card, in file order, adjacent clusters
    // merged and the last run cut at the file's end.
    std::vector<ByteRun> runsOf(const File& file) const;
    // A file's bytes read back from the card through its clusters.
    std::vector<uint8_t> contentsOf(const File& file) const;

    uint64_t clusterOffset(uint32_t cluster) const { return dataStart_ + uint64_t(cluster - 2) * clusterSize_; }
    uint32_t clusterSize() const { return clusterSize_; }
    uint32_t clusterCount() const { return clusterCount_; }
    uint32_t freeClusters() const;
    uint64_t size() const { return bytes_.size(); }

    // The whole card as it stands, boot sector, FATs and directory included.
    const std::vector<uint8_t>& image();
    void save(const std::filesystem::path& path);

private:
    struct DirectorySlot {
        File file;
        bool used = false;     // ever written: a deleted entry keeps its 0xE5 mark
        bool deleted = false;
    };

    uint32_t rootDirectoryCluster() const { return 2; }
    void writeBootSector();
    void writeFats();
    void writeDirectory();
    std::vector<uint32_t> lowestFreeClusters(uint64_t count) const;

    FatType type_;
    uint32_t clusterSize_;
    uint32_t sectorsPerCluster_;
    uint32_t reservedSectors_;
    uint32_t fatSectors_ = 0;
    uint32_t rootEntries_;  // the fixed root directory of FAT16; FAT32's lives in a cluster
    uint32_t clusterCount_ = 0;
    uint64_t dataStart_ = 0;
    std::vector<uint32_t> fat_;  // 0 free, otherwise the next cluster or kEndOfChain
    std::vector<DirectorySlot> directory_;
    std::vector<uint8_t> bytes_;
};

}  // namespace pelorin::test
