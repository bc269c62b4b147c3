#include "reassembly/ClusterGeometry.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <unordered_map>

#include "engine/Source.h"

namespace pelorin {
namespace {

uint32_t le16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t le32(const uint8_t* p) { return le16(p) | le16(p + 2) << 16; }
uint64_t le64(const uint8_t* p) { return uint64_t(le32(p)) | uint64_t(le32(p + 4)) << 32; }

bool readAt(Source& source, uint64_t offset, std::span<uint8_t> out) {
    const SourceRead read = source.read(offset, out);
    return read.bytes == out.size();
}

ClusterGeometry make(uint64_t dataStart, uint64_t size) { return {size, dataStart % size}; }

std::optional<ClusterGeometry> volumeGeometry(Source& source, uint64_t volume) {
    std::array<uint8_t, 512> boot{};
    if (!readAt(source, volume, boot) || boot[510] != 0x55 || boot[511] != 0xAA) return std::nullopt;
    if (std::memcmp(&boot[3], "EXFAT   ", 8) == 0) {
        const unsigned sectorShift = boot[108], clusterShift = boot[109];
        if (sectorShift < 9 || sectorShift > 12 || sectorShift + clusterShift > 25) return std::nullopt;
        return make(volume + (uint64_t(le32(&boot[88])) << sectorShift), uint64_t{1} << (sectorShift + clusterShift));
    }
    const uint32_t bytesPerSector = le16(&boot[11]);
    if (bytesPerSector < 512 || bytesPerSector > 4096 || !std::has_single_bit(bytesPerSector)) return std::nullopt;
    if (std::memcmp(&boot[3], "NTFS    ", 8) == 0) {
        const uint8_t code = boot[13];
        const uint64_t sectors = code <= 0x80 ? code : uint64_t{1} << (256 - code);
        if (sectors == 0 || !std::has_single_bit(sectors) || sectors * bytesPerSector > (1u << 21)) return std::nullopt;
        return make(volume, sectors * bytesPerSector);
    }
    // FAT12/16/32: a jump, then a sane parameter block.
    if (boot[0] != 0xEB && boot[0] != 0xE9) return std::nullopt;
    const uint32_t sectorsPerCluster = boot[13], reserved = le16(&boot[14]), fats = boot[16];
    const uint32_t rootEntries = le16(&boot[17]);
    const uint32_t fatSectors = le16(&boot[22]) != 0 ? le16(&boot[22]) : le32(&boot[36]);
    if (sectorsPerCluster == 0 || !std::has_single_bit(sectorsPerCluster) || reserved == 0 || fats == 0 || fats > 2 ||
        fatSectors == 0)
        return std::nullopt;
    const uint64_t rootSectors = (uint64_t{rootEntries} * 32 + bytesPerSector - 1) / bytesPerSector;
    const uint64_t dataSector = reserved + uint64_t{fats} * fatSectors + rootSectors;
    return make(volume + dataSector * bytesPerSector, uint64_t{sectorsPerCluster} * bytesPerSector);
}

}  // namespace

std::optional<ClusterGeometry> geometryFromBootSectors(Source& source, uint32_t sectorSize) {
    if (auto whole = volumeGeometry(source, 0)) return whole;
    std::array<uint8_t, 512> mbr{};
    if (!readAt(source, 0, mbr) || mbr[510] != 0x55 || mbr[511] != 0xAA) return std::nullopt;
    for (int entry = 0; entry < 4; ++entry) {
        const uint8_t* e = &mbr[446 + 16 * entry];
        const uint8_t type = e[4];
        const uint64_t first = le32(e + 8);
        if (type == 0 || first == 0) continue;
        if (type == 0xEE) {
            // A protective MBR: the GPT's first partition.
            std::array<uint8_t, 512> header{}, partition{};
            if (!readAt(source, sectorSize, header) || std::memcmp(header.data(), "EFI PART", 8) != 0) return std::nullopt;
            const uint64_t entries = le64(&header[72]);
            if (entries > source.size() / sectorSize || !readAt(source, entries * sectorSize, std::span(partition).first(128)))
                return std::nullopt;
            const uint64_t start = le64(&partition[32]);
            if (start == 0 || start > source.size() / sectorSize) return std::nullopt;
            return volumeGeometry(source, start * sectorSize);
        }
        if (first > source.size() / sectorSize) continue;
        if (auto volume = volumeGeometry(source, first * sectorSize)) return volume;
    }
    return std::nullopt;
}

ClusterGeometry geometryFromFileStarts(std::span<const uint64_t> starts, uint32_t sectorSize) {
    constexpr std::size_t kFewestFiles = 4;
    if (starts.size() >= kFewestFiles) {
        for (uint64_t size = uint64_t{1} << 20; size > sectorSize; size /= 2) {
            std::unordered_map<uint64_t, std::size_t> residues;
            for (uint64_t start : starts) ++residues[start % size];
            const auto best = std::max_element(residues.begin(), residues.end(),
                                               [](const auto& a, const auto& b) { return a.second < b.second; });
            // Most files share one alignment: files inside other files (a
            // thumbnail, a false start) are the exceptions.
            if (best->second >= kFewestFiles && best->second * 5 >= starts.size() * 4) return {size, best->first};
        }
    }
    return {sectorSize, 0};
}

}  // namespace pelorin
