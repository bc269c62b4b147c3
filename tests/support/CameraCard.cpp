#include "support/CameraCard.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace pelorin::test {
namespace {

constexpr uint32_t kSectorSize = 512;
constexpr uint32_t kEndOfChain = 0x0FFFFFFF;
constexpr uint32_t kDirectoryEntrySize = 32;

void put16(std::vector<uint8_t>& bytes, uint64_t at, uint32_t value) {
    bytes[at] = uint8_t(value);
    bytes[at + 1] = uint8_t(value >> 8);
}

void put32(std::vector<uint8_t>& bytes, uint64_t at, uint32_t value) {
    put16(bytes, at, value & 0xFFFF);
    put16(bytes, at + 2, value >> 16);
}

void putText(std::vector<uint8_t>& bytes, uint64_t at, std::string_view text) {
    std::copy(text.begin(), text.end(), bytes.begin() + long(at));
}

// "DSC00001.JPG" as a directory entry spells it: eight and three characters, padded with spaces.
std::string shortName(const std::string& name) {
    const std::size_t dot = name.find('.');
    const std::string base = name.substr(0, dot);
    const std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
    if (base.empty() || base.size() > 8 || ext.size() > 3) throw std::invalid_argument("not an 8.3 name: " + name);
    std::string spelled = base + std::string(8 - base.size(), ' ') + ext + std::string(3 - ext.size(), ' ');
    std::transform(spelled.begin(), spelled.end(), spelled.begin(), [](char c) { return char(std::toupper(c)); });
    return spelled;
}

}  // namespace

CameraCard::CameraCard(uint64_t size, uint32_t clusterSize, FatType type)
    : type_(type),
      clusterSize_(clusterSize),
      sectorsPerCluster_(clusterSize / kSectorSize),
      reservedSectors_(type == FatType::Fat32 ? 32 : 1),
      rootEntries_(type == FatType::Fat32 ? 0 : 512),
      bytes_(size / kSectorSize * kSectorSize) {
    if (clusterSize < kSectorSize || clusterSize > 65536 || (clusterSize & (clusterSize - 1)) != 0)
        throw std::invalid_argument("cluster size");
    const uint64_t totalSectors = bytes_.size() / kSectorSize;
    const uint32_t rootSectors = rootEntries_ * kDirectoryEntrySize / kSectorSize;
    const uint32_t entryBytes = type == FatType::Fat32 ? 4 : 2;
    // The FATs' size and the clusters they describe depend on each other: settle them.
    for (int round = 0; round < 4; ++round) {
        const uint64_t dataSectors = totalSectors - reservedSectors_ - rootSectors - 2ull * fatSectors_;
        clusterCount_ = uint32_t(dataSectors / sectorsPerCluster_);
        fatSectors_ = uint32_t(((clusterCount_ + 2ull) * entryBytes + kSectorSize - 1) / kSectorSize);
    }
    clusterCount_ = uint32_t((totalSectors - reservedSectors_ - rootSectors - 2ull * fatSectors_) / sectorsPerCluster_);
    if (type == FatType::Fat16 && (clusterCount_ < 4085 || clusterCount_ >= 65525))
        throw std::invalid_argument("a FAT16 card holds 4085 to 65524 clusters");
    dataStart_ = uint64_t(reservedSectors_ + 2ull * fatSectors_ + rootSectors) * kSectorSize;
    quickFormat();
}

void CameraCard::quickFormat() {
    fat_.assign(clusterCount_ + 2, 0);
    fat_[0] = kEndOfChain;
    fat_[1] = kEndOfChain;
    directory_.assign(type_ == FatType::Fat32 ? clusterSize_ / kDirectoryEntrySize : rootEntries_, {});
    if (type_ == FatType::Fat32) fat_[rootDirectoryCluster()] = kEndOfChain;
    // The root directory starts empty; every other cluster keeps its data.
    const uint64_t rootStart = type_ == FatType::Fat32 ? clusterOffset(rootDirectoryCluster()) : dataStart_ - 32ull * rootEntries_;
    std::fill_n(bytes_.begin() + long(rootStart), type_ == FatType::Fat32 ? clusterSize_ : 32 * rootEntries_, 0);
}

std::vector<uint32_t> CameraCard::lowestFreeClusters(uint64_t count) const {
    std::vector<uint32_t> clusters;
    for (uint32_t cluster = 2; cluster < fat_.size() && clusters.size() < count; ++cluster)
        if (fat_[cluster] == 0) clusters.push_back(cluster);
    return clusters;
}

bool CameraCard::write(const std::string& name, std::span<const uint8_t> bytes) {
    const std::string spelled = shortName(name);
    if (file(name)) throw std::invalid_argument("already on the card: " + name);
    const auto slot = std::find_if(directory_.begin(), directory_.end(), [](const auto& s) { return !s.used || s.deleted; });
    const uint64_t needed = (bytes.size() + clusterSize_ - 1) / clusterSize_;
    std::vector<uint32_t> clusters = lowestFreeClusters(needed);
    if (slot == directory_.end() || clusters.size() < needed) return false;
    for (std::size_t i = 0; i < clusters.size(); ++i) {
        fat_[clusters[i]] = i + 1 < clusters.size() ? clusters[i + 1] : kEndOfChain;
        const std::size_t from = i * clusterSize_;
        const std::size_t length = std::min<std::size_t>(clusterSize_, bytes.size() - std::min(from, bytes.size()));
        // A camera writes whole clusters: the tail of the last one is whatever its buffer held, zeros here.
        uint8_t* at = bytes_.data() + clusterOffset(clusters[i]);
        std::memcpy(at, bytes.data() + from, length);
        std::memset(at + length, 0, clusterSize_ - length);
    }
    *slot = {{spelled, bytes.size(), std::move(clusters)}, true, false};
    return true;
}

void CameraCard::erase(const std::string& name) {
    const std::string spelled = shortName(name);
    for (auto& slot : directory_) {
        if (!slot.used || slot.deleted || slot.file.name != spelled) continue;
        for (uint32_t cluster : slot.file.clusters) fat_[cluster] = 0;
        slot.deleted = true;
        return;
    }
    throw std::invalid_argument("not on the card: " + name);
}

void CameraCard::overwrite(uint64_t offset, std::span<const uint8_t> bytes) {
    if (offset < dataStart_ || offset + bytes.size() > bytes_.size()) throw std::out_of_range("outside the data area");
    std::copy(bytes.begin(), bytes.end(), bytes_.begin() + long(offset));
}

std::vector<CameraCard::File> CameraCard::files() const {
    std::vector<File> live;
    for (const auto& slot : directory_)
        if (slot.used && !slot.deleted) live.push_back(slot.file);
    return live;
}

const CameraCard::File* CameraCard::file(const std::string& name) const {
    const std::string spelled = shortName(name);
    for (const auto& slot : directory_)
        if (slot.used && !slot.deleted && slot.file.name == spelled) return &slot.file;
    return nullptr;
}

std::vector<ByteRun> CameraCard::runsOf(const File& file) const {
    std::vector<ByteRun> runs;
    uint64_t left = file.size;
    for (uint32_t cluster : file.clusters) {
        const uint64_t length = std::min<uint64_t>(left, clusterSize_);
        if (length == 0) break;
        const uint64_t offset = clusterOffset(cluster);
        if (!runs.empty() && runs.back().offset + runs.back().length == offset)
            runs.back().length += length;
        else
            runs.push_back({offset, length});
        left -= length;
    }
    return runs;
}

std::vector<uint8_t> CameraCard::contentsOf(const File& file) const {
    std::vector<uint8_t> contents;
    contents.reserve(file.size);
    for (const ByteRun& run : runsOf(file))
        contents.insert(contents.end(), bytes_.begin() + long(run.offset), bytes_.begin() + long(run.offset + run.length));
    return contents;
}

uint32_t CameraCard::freeClusters() const { return uint32_t(std::count(fat_.begin() + 2, fat_.end(), 0u)); }

void CameraCard::writeBootSector() {
    const bool fat32 = type_ == FatType::Fat32;
    const uint64_t totalSectors = bytes_.size() / kSectorSize;
    std::fill_n(bytes_.begin(), kSectorSize, 0);
    putText(bytes_, 0, fat32 ? "\xEB\x58\x90" : "\xEB\x3C\x90");
    putText(bytes_, 3, "PELORIN ");
    put16(bytes_, 11, kSectorSize);
    bytes_[13] = uint8_t(sectorsPerCluster_);
    put16(bytes_, 14, reservedSectors_);
    bytes_[16] = 2;  // FATs
    put16(bytes_, 17, rootEntries_);
    put16(bytes_, 19, !fat32 && totalSectors < 65536 ? uint32_t(totalSectors) : 0);
    bytes_[21] = 0xF8;  // fixed medium
    put16(bytes_, 22, fat32 ? 0 : fatSectors_);
    put16(bytes_, 24, 63);   // sectors per track
    put16(bytes_, 26, 255);  // heads
    put32(bytes_, 32, !fat32 && totalSectors < 65536 ? 0 : uint32_t(totalSectors));
    const uint32_t extended = fat32 ? 64 : 36;
    if (fat32) {
        put32(bytes_, 36, fatSectors_);
        put32(bytes_, 44, rootDirectoryCluster());
        put16(bytes_, 48, 1);  // FSInfo sector
        put16(bytes_, 50, 6);  // backup boot sector
    }
    bytes_[extended] = 0x80;       // drive number
    bytes_[extended + 2] = 0x29;   // the volume ID, label and type follow
    put32(bytes_, extended + 3, 0x20261207);
    putText(bytes_, extended + 7, "NO NAME    ");
    putText(bytes_, extended + 18, fat32 ? "FAT32   " : "FAT16   ");
    put16(bytes_, 510, 0xAA55);
    if (!fat32) return;
    // FSInfo: the free count, and no hint where to look for a free cluster.
    const uint64_t info = kSectorSize;
    std::fill_n(bytes_.begin() + info, kSectorSize, 0);
    put32(bytes_, info, 0x41615252);
    put32(bytes_, info + 484, 0x61417272);
    put32(bytes_, info + 488, freeClusters());
    put32(bytes_, info + 492, 0xFFFFFFFF);
    put32(bytes_, info + 508, 0xAA550000);
    std::copy_n(bytes_.begin(), 2 * kSectorSize, bytes_.begin() + 6 * kSectorSize);
}

void CameraCard::writeFats() {
    const bool fat32 = type_ == FatType::Fat32;
    const uint64_t first = uint64_t(reservedSectors_) * kSectorSize;
    std::fill_n(bytes_.begin() + long(first), uint64_t(fatSectors_) * kSectorSize, 0);
    for (uint32_t cluster = 0; cluster < fat_.size(); ++cluster) {
        uint32_t entry = fat_[cluster];
        if (cluster == 0) entry = fat32 ? 0x0FFFFFF8 : 0xFFF8;
        if (fat32)
            put32(bytes_, first + 4ull * cluster, entry);
        else
            put16(bytes_, first + 2ull * cluster, entry == kEndOfChain ? 0xFFFF : entry);
    }
    std::copy_n(bytes_.begin() + long(first), uint64_t(fatSectors_) * kSectorSize,
                bytes_.begin() + long(first + uint64_t(fatSectors_) * kSectorSize));
}

void CameraCard::writeDirectory() {
    const uint64_t start = type_ == FatType::Fat32 ? clusterOffset(rootDirectoryCluster()) : dataStart_ - 32ull * rootEntries_;
    for (std::size_t i = 0; i < directory_.size(); ++i) {
        const DirectorySlot& slot = directory_[i];
        const uint64_t at = start + i * kDirectoryEntrySize;
        std::fill_n(bytes_.begin() + long(at), kDirectoryEntrySize, 0);
        if (!slot.used) continue;
        putText(bytes_, at, slot.file.name);
        if (slot.deleted) bytes_[at] = 0xE5;
        bytes_[at + 11] = 0x20;  // archive
        const uint32_t first = slot.file.clusters.empty() ? 0 : slot.file.clusters.front();
        const uint32_t date = (46u << 9) | (6u << 5) | 1u;  // 2026-06-01
        const uint32_t time = 10u << 11;                    // 10:00
        put16(bytes_, at + 14, time);
        put16(bytes_, at + 16, date);
        put16(bytes_, at + 18, date);
        put16(bytes_, at + 20, first >> 16);
        put16(bytes_, at + 22, time);
        put16(bytes_, at + 24, date);
        put16(bytes_, at + 26, first & 0xFFFF);
        put32(bytes_, at + 28, uint32_t(slot.file.size));
    }
}

const std::vector<uint8_t>& CameraCard::image() {
    writeBootSector();
    writeFats();
    writeDirectory();
    return bytes_;
}

void CameraCard::save(const std::filesystem::path& path) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const auto& bytes = image();
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace pelorin::test
