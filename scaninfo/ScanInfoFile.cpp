#include "scaninfo/ScanInfoFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "engine/DateName.h"
#include "engine/Ownership.h"

namespace pelorin {
namespace {

constexpr std::string_view kIncompleteMarker = "UnComple";
constexpr std::string_view kCompleteMarker = "Complete";

void putBE(uint8_t* out, uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) {
        out[i] = static_cast<uint8_t>(value);
        value >>= 8;
    }
}

uint64_t getBE(const uint8_t* in, int bytes) {
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value = (value << 8) | in[i];
    return value;
}

// Collects the file in memory-sized pieces and writes them in order,
// remembering whether any write fell short.
class FileWriter {
public:
    explicit FileWriter(int fd) : fd(fd) {}
    void put(const void* data, std::size_t length) {
        if (length == 0) return;
        const std::size_t end = pending.size();
        pending.resize(end + length);
        std::memcpy(pending.data() + end, data, length);
        if (pending.size() >= (1u << 16)) flush();
    }
    void put(std::string_view text) { put(text.data(), text.size()); }
    bool flush() {
        std::size_t done = 0;
        while (ok && done < pending.size()) {
            const ssize_t n = ::write(fd, pending.data() + done, pending.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) ok = false;
            else done += static_cast<std::size_t>(n);
        }
        pending.clear();
        return ok;
    }

private:
    int fd;
    bool ok = true;
    std::vector<uint8_t> pending;
};

// The files with pieces, each with its record's place in pre-order.
void collectPieces(const FoundNode& node, uint32_t& place, std::vector<std::pair<uint32_t, const FoundNode*>>& files) {
    if (node.isReassembled()) files.emplace_back(place, &node);
    ++place;
    for (const auto& child : node.children()) collectPieces(*child, place, files);
}

void writePieces(FileWriter& out, const std::vector<std::pair<uint32_t, const FoundNode*>>& files) {
    uint8_t field[16];
    putBE(field, files.size(), 4);
    out.put(field, 4);
    for (const auto& [place, file] : files) {
        putBE(&field[0], place, 4);
        putBE(&field[4], file->pieces().size(), 4);
        out.put(field, 8);
        for (const ByteRun& piece : file->pieces()) {
            putBE(&field[0], piece.offset, 8);
            putBE(&field[8], piece.length, 8);
            out.put(field, 16);
        }
    }
}

void writeDir(FileWriter& out, const FoundNode& node) {
    const auto record = packNodeRecord(node);
    out.put(record.data(), record.size());
    const std::size_t nameLength = std::min<std::size_t>(node.fileName().size(), 0xFFFF);
    const std::size_t pathLength = std::min<std::size_t>(node.pathName().size(), 0xFFFF);
    out.put(node.fileName().data(), nameLength);
    out.put(node.pathName().data(), pathLength);
    for (const auto& child : node.children()) writeDir(out, *child);
}

// Sequential reading of a scan-info body that never asks for more than the
// input holds. The records are small, so the input is read a block at a time.
class Cursor {
public:
    explicit Cursor(Source& input) : input(input) {}
    uint64_t remaining() const { return input.size() > position ? input.size() - position : 0; }
    bool take(std::span<uint8_t> out) {
        const std::size_t n = copyAt(position, out);
        position += n;
        return n == out.size();
    }
    bool peek(std::span<uint8_t> out) { return copyAt(position, out) == out.size(); }
    std::optional<std::string> takeString(uint64_t length) {
        if (length > remaining()) return std::nullopt;
        std::string text(static_cast<std::size_t>(length), '\0');
        if (!take({reinterpret_cast<uint8_t*>(text.data()), text.size()})) return std::nullopt;
        return text;
    }

private:
    // Up to out.size() bytes at the offset; fewer where the input ends or cannot be read.
    std::size_t copyAt(uint64_t offset, std::span<uint8_t> out) {
        std::size_t done = 0;
        while (done < out.size()) {
            const uint64_t at = offset + done;
            if (at < blockStart || at >= blockStart + blockLength) {
                blockStart = at;
                blockLength = input.read(at, block).bytes;
                if (blockLength == 0) break;
            }
            const std::size_t from = static_cast<std::size_t>(at - blockStart);
            const std::size_t n = std::min(out.size() - done, blockLength - from);
            std::memcpy(out.data() + done, block.data() + from, n);
            done += n;
        }
        return done;
    }

    Source& input;
    uint64_t position = 0;
    std::vector<uint8_t> block = std::vector<uint8_t>(1 << 16);
    uint64_t blockStart = 0;
    std::size_t blockLength = 0;
};

// A node from its record, followed by its name and path; nullopt when the
// input ends inside it.
std::unique_ptr<FoundNode> takeNode(Cursor& cursor, const std::array<uint8_t, kNodeRecordSize>& record) {
    auto node = std::make_unique<FoundNode>();
    node->setFileType(static_cast<uint32_t>(getBE(&record[48], 2)));
    node->setParentID(static_cast<uint32_t>(getBE(&record[32], 4)));
    node->setFileID(static_cast<uint32_t>(getBE(&record[36], 4)));
    node->setFileSize(getBE(&record[8], 8));
    node->setFileCount(static_cast<uint32_t>(getBE(&record[40], 4)));
    node->setSelected(record[50] != 0 ? 1 : 0);
    node->setChildrenCount(static_cast<int32_t>(getBE(&record[51], 4)));
    node->setChildrenSelected(static_cast<int32_t>(getBE(&record[55], 4)));
    node->setSectorNumber(getBE(&record[24], 8));
    node->setExtraBytesToMove(static_cast<int32_t>(getBE(&record[59], 4)));
    const uint64_t nameLength = getBE(&record[44], 2);
    const uint64_t pathLength = getBE(&record[46], 2);
    if (nameLength > 0) {
        auto name = cursor.takeString(nameLength);
        if (!name) return nullptr;
        node->setFileName(std::move(*name));
    }
    if (pathLength > 0) {
        auto path = cursor.takeString(pathLength);
        if (!path) return nullptr;
        node->setPathName(std::move(*path));
    }
    return node;
}

// The file's first byte on the source; the largest value when it lies beyond
// what 64 bits hold.
uint64_t firstByteOf(const FoundNode& file, uint32_t sectorSize) {
    return byteOffsetOf(file, sectorSize).value_or(UINT64_MAX);
}

// Pieces a file can be given: at least two, the first where the file starts,
// none empty or ending beyond what 64 bits hold, adding up to the file's size.
bool arePiecesOf(const FoundNode& file, const std::vector<ByteRun>& pieces, uint32_t sectorSize) {
    if (pieces.size() < 2 || pieces.front().offset != firstByteOf(file, sectorSize)) return false;
    uint64_t total = 0;
    for (const ByteRun& piece : pieces) {
        if (piece.length == 0 || piece.length > UINT64_MAX - piece.offset || piece.length > UINT64_MAX - total)
            return false;
        total += piece.length;
    }
    return total == file.fileSize();
}

// The pieces after the end record, given to the files they name (by the
// place of their record). An entry that does not fit its file is passed
// over, leaving the file as one run; the reading ends where the input does.
void takePieces(Cursor& cursor, const std::vector<std::pair<uint32_t, FoundNode*>>& files, uint32_t sectorSize) {
    uint8_t field[16];
    if (!cursor.take({field, 4})) return;
    const uint64_t entries = getBE(field, 4);
    for (uint64_t entry = 0; entry < entries; ++entry) {
        if (!cursor.take({field, 8})) return;
        const auto place = static_cast<uint32_t>(getBE(&field[0], 4));
        const uint64_t count = getBE(&field[4], 4);
        if (count > cursor.remaining() / 16) return;  // more pieces than the input holds
        std::vector<ByteRun> pieces(static_cast<std::size_t>(count));
        for (ByteRun& piece : pieces) {
            if (!cursor.take(field)) return;
            piece = {getBE(&field[0], 8), getBE(&field[8], 8)};
        }
        const auto named = std::lower_bound(files.begin(), files.end(), place,
                                            [](const auto& file, uint32_t value) { return file.first < value; });
        if (named == files.end() || named->first != place) continue;
        FoundNode& file = *named->second;
        if (!file.pieces().empty() || !arePiecesOf(file, pieces, sectorSize)) continue;
        file.setPieces(std::move(pieces));
    }
}

bool isUsableSectorSize(uint32_t size) {
    return size != 0 && size <= kLargestSectorSize && (size & (size - 1)) == 0;
}

// Keeps the part of a file in pieces that lies before the source's end: the
// pieces up to the first that runs past it, that one cut short. A file left
// with one piece is one run again.
void cutPiecesAt(FoundNode& file, uint64_t end) {
    std::vector<ByteRun> kept;
    for (const ByteRun& piece : file.pieces()) {
        if (piece.offset >= end) break;
        kept.push_back({piece.offset, std::min(piece.length, end - piece.offset)});
        if (kept.back().length != piece.length) break;
    }
    uint64_t size = 0;
    for (const ByteRun& piece : kept) size += piece.length;
    file.setFileSize(size);
    if (kept.size() < 2) kept.clear();
    file.setPieces(std::move(kept));
}

void refuseAsIncomplete(Notices& prompts, const std::string& path) {
    prompts.notify({NoticeKind::ScanInfoIncomplete, path});
}

}  // namespace

std::string defaultScanInfoName(std::time_t when) { return "Pelorin Scan Info " + dateForGeneratedName(when); }

std::array<uint8_t, kNodeRecordSize> packNodeRecord(const FoundNode& node) {
    std::array<uint8_t, kNodeRecordSize> record{};
    putBE(&record[8], node.fileSize(), 8);
    putBE(&record[24], node.sectorNumber(), 8);
    putBE(&record[32], node.parentID(), 4);
    putBE(&record[36], node.fileID(), 4);
    putBE(&record[40], node.fileCount(), 4);
    putBE(&record[44], std::min<std::size_t>(node.fileName().size(), 0xFFFF), 2);
    putBE(&record[46], std::min<std::size_t>(node.pathName().size(), 0xFFFF), 2);
    putBE(&record[48], node.fileType(), 2);
    record[50] = node.selected();
    putBE(&record[51], static_cast<uint32_t>(node.childrenCount()), 4);
    putBE(&record[55], static_cast<uint32_t>(node.childrenSelected()), 4);
    putBE(&record[59], static_cast<uint32_t>(node.extraBytesToMove()), 4);
    return record;
}

bool saveScanInfo(const std::string& chosenPath, const ScanInfoHeader& header, const FoundNode& root,
                  Prompts& prompts) {
    const std::string fileName = chosenPath + ".rvx";
    const int fd = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        prompts.notify({NoticeKind::ScanInfoCannotCreate, fileName});
        return false;
    }
    handOver(invokingUser(), fd);
    prompts.startActivity(Activity::WritingScanInfo);
    FileWriter out(fd);
    out.put(kIncompleteMarker);

    const DriveIdentity& id = header.identity;
    uint8_t block[kDriveBlockSize] = {};
    std::vector<std::pair<uint32_t, const FoundNode*>> withPieces;
    uint32_t place = 0;
    collectPieces(root, place, withPieces);
    putBE(&block[0], header.sectorSize | (withPieces.empty() ? 0 : kPiecesFlag), 4);
    putBE(&block[4], static_cast<uint32_t>(header.tickedFiles), 4);
    putBE(&block[8], id.displayName.size(), 4);
    putBE(&block[12], id.model.size(), 4);
    putBE(&block[16], id.revision.size(), 4);
    putBE(&block[20], id.serial.size(), 4);
    putBE(&block[24], header.sizeInBytes, 8);
    putBE(&block[32], header.sectorCount, 8);
    putBE(&block[40], header.tickedBytes, 8);
    out.put(block, sizeof block);

    // Exactly five sectors, whatever was read (a tiny source gives fewer bytes).
    std::vector<uint8_t> first5 = header.firstSectors;
    first5.resize(std::size_t{5} * header.sectorSize, 0);
    out.put(first5.data(), first5.size());
    out.put(id.displayName);
    out.put(id.serial);
    out.put(id.model);
    out.put(id.revision);

    writeDir(out, root);
    const std::array<uint8_t, kNodeRecordSize> endRecord{};
    out.put(endRecord.data(), endRecord.size());
    if (!withPieces.empty()) writePieces(out, withPieces);

    // "Complete" goes in only once everything before it is on disk, so a
    // failed or interrupted write leaves a file the reader refuses.
    bool written = out.flush() && ::fsync(fd) == 0;
    if (written) written = ::pwrite(fd, kCompleteMarker.data(), kMarkerSize, 0) == ssize_t(kMarkerSize);
    if (::close(fd) != 0) written = false;
    prompts.stopActivity();
    if (!written) {
        prompts.notify({NoticeKind::ScanInfoCannotWrite, fileName});
        return false;
    }
    prompts.notify({NoticeKind::ScanInfoSaved, chosenPath});
    return true;
}

std::optional<ScanInfo> readScanInfo(Source& input) {
    Cursor cursor(input);
    uint8_t marker[kMarkerSize];
    if (!cursor.take(marker) || std::memcmp(marker, kCompleteMarker.data(), kMarkerSize) != 0) return std::nullopt;

    uint8_t block[kDriveBlockSize];
    if (!cursor.take(block)) return std::nullopt;
    ScanInfo info;
    ScanInfoHeader& header = info.header;
    const auto sectorSizeField = static_cast<uint32_t>(getBE(&block[0], 4));
    const bool withPieces = (sectorSizeField & kPiecesFlag) != 0;
    header.sectorSize = sectorSizeField & ~kPiecesFlag;
    if (!isUsableSectorSize(header.sectorSize)) return std::nullopt;
    header.tickedFiles = static_cast<int32_t>(getBE(&block[4], 4));
    const uint64_t displayNameLength = getBE(&block[8], 4);
    const uint64_t modelLength = getBE(&block[12], 4);
    const uint64_t revisionLength = getBE(&block[16], 4);
    const uint64_t serialLength = getBE(&block[20], 4);
    header.sizeInBytes = getBE(&block[24], 8);
    header.sectorCount = getBE(&block[32], 8);
    header.tickedBytes = getBE(&block[40], 8);

    header.firstSectors.resize(std::size_t{5} * header.sectorSize);
    if (!cursor.take(header.firstSectors)) return std::nullopt;
    auto displayName = cursor.takeString(displayNameLength);
    auto serial = displayName ? cursor.takeString(serialLength) : std::nullopt;
    auto model = serial ? cursor.takeString(modelLength) : std::nullopt;
    auto revision = model ? cursor.takeString(revisionLength) : std::nullopt;
    if (!revision) return std::nullopt;
    header.identity = {std::move(*displayName), std::move(*model), std::move(*serial), std::move(*revision)};

    std::array<uint8_t, kNodeRecordSize> record;
    if (!cursor.take(record)) return std::nullopt;
    info.root = takeNode(cursor, record);
    if (!info.root) return std::nullopt;

    // The links come only from the order of the records: folders under the
    // root, found files under the folder before them. Each addChild adds the
    // node's tick to the tallies above it; the stored ticked counts are not
    // trusted for that.
    FoundNode* currentFolder = nullptr;
    std::vector<std::pair<uint32_t, FoundNode*>> files;  // each with its record's place in pre-order
    uint32_t place = 0;
    uint8_t nextParent[36];
    if (!cursor.peek(nextParent)) return info;
    uint32_t lastParentID = static_cast<uint32_t>(getBE(&nextParent[32], 4));
    while (lastParentID != 0) {
        if (!cursor.take(record)) break;  // the tree ends with its last complete node
        lastParentID = static_cast<uint32_t>(getBE(&record[32], 4));
        if (lastParentID == 0) {
            info.endRecordSeen = true;
            break;
        }
        auto node = takeNode(cursor, record);
        if (!node) break;
        ++place;
        if (node->fileType() == FoundNode::kFolder) {
            node->setParent(info.root.get());
            currentFolder = info.root->addChild(std::move(node));
        } else if (node->fileType() == FoundNode::kFoundFile && currentFolder) {
            node->setParent(currentFolder);
            files.emplace_back(place, currentFolder->addChild(std::move(node)));
        }
    }
    if (withPieces && info.endRecordSeen) takePieces(cursor, files, header.sectorSize);
    return info;
}

std::optional<ScanInfo> openScanInfo(const std::string& path, Prompts& prompts) {
    const auto dot = path.rfind('.');
    const std::string_view lastPiece = dot == std::string::npos ? std::string_view(path)
                                                                 : std::string_view(path).substr(dot + 1);
    if (lastPiece != "rvx") {
        prompts.notify({NoticeKind::ScanInfoNotScanInfo, path});
        return std::nullopt;
    }
    auto input = FileSource::open(path);
    if (!input) {
        prompts.notify({NoticeKind::ScanInfoCannotOpen, path});
        return std::nullopt;
    }
    uint8_t marker[kMarkerSize];
    if (input->read(0, marker).bytes != kMarkerSize ||
        std::memcmp(marker, kCompleteMarker.data(), kMarkerSize) != 0) {
        refuseAsIncomplete(prompts, path);
        return std::nullopt;
    }
    prompts.startActivity(Activity::ReadingScanInfo);
    auto info = readScanInfo(*input);
    prompts.stopActivity();
    if (!info) refuseAsIncomplete(prompts, path);
    return info;
}

bool fitToSource(ScanInfo& info, const Source& source, const std::string& path, Notices& notices) {
    if (info.header.sectorCount > source.sectorCount()) {
        refuseAsIncomplete(notices, path);
        return false;
    }
    // Cut as a scan of this source files them: nothing past its last byte.
    // Folder and root sizes are then the sums a scan gives them.
    const uint64_t end = source.size();
    uint64_t total = 0;
    for (const auto& folder : info.root->children()) {
        uint64_t folderSize = 0;
        for (const auto& file : folder->children()) {
            if (!file->pieces().empty()) {
                cutPiecesAt(*file, end);
            } else {
                const uint64_t first = firstByteOf(*file, info.header.sectorSize);
                const uint64_t room = first < end ? end - first : 0;
                if (file->fileSize() > room) file->setFileSize(room);
            }
            folderSize += file->fileSize();
        }
        folder->setFileSize(folderSize);
        total += folderSize;
    }
    info.root->setFileSize(total);
    return true;
}

}  // namespace pelorin
