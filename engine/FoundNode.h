#pragma once
// A node of the found-file tree: the root, a type folder or a found file.
//
// Every node keeps the tally of ticked nodes below it (and the bytes of the
// ticked found files among them), updated along its ancestors whenever a tick,
// a child or a count changes, so that its check box state is answered without
// walking the tree.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pelorin {

// A stretch of the source, in bytes from its start.
struct ByteRun {
    uint64_t offset = 0;
    uint64_t length = 0;
    friend bool operator==(const ByteRun&, const ByteRun&) = default;
};

enum class NodeKind { Folder, File };
enum class TickState { Off, On, Mixed };

class FoundNode {
public:
    // The kind as a scan-info file stores it.
    static constexpr uint32_t kFolder = 1;
    static constexpr uint32_t kFoundFile = 2;
    static constexpr uint32_t kRootID = 2;

    const std::string& fileName() const { return fileName_; }
    void setFileName(std::string name) { fileName_ = std::move(name); }
    const std::string& pathName() const { return pathName_; }
    void setPathName(std::string path) { pathName_ = std::move(path); }
    const std::string& extension() const { return extension_; }
    void setExtension(std::string ext) { extension_ = std::move(ext); }

    uint32_t fileType() const { return fileType_; }
    void setFileType(uint32_t type);
    NodeKind kind() const { return fileType_ == kFoundFile ? NodeKind::File : NodeKind::Folder; }
    bool isFolder() const { return kind() == NodeKind::Folder; }
    uint32_t fileID() const { return fileID_; }
    void setFileID(uint32_t id) { fileID_ = id; }
    uint32_t parentID() const { return parentID_; }
    void setParentID(uint32_t id) { parentID_ = id; }

    uint32_t fileCount() const { return fileCount_; }
    void setFileCount(uint32_t count) { fileCount_ = count; }
    void addToFileCount(uint32_t amount) { fileCount_ += amount; }
    uint64_t fileSize() const { return fileSize_; }
    void setFileSize(uint64_t size);
    void addToFileSize(uint64_t amount) { setFileSize(fileSize_ + amount); }
    uint64_t sectorNumber() const { return sectorNumber_; }
    void setSectorNumber(uint64_t sector) { sectorNumber_ = sector; }
    int32_t extraBytesToMove() const { return extraBytesToMove_; }
    void setExtraBytesToMove(int32_t bytes) { extraBytesToMove_ = bytes; }
    uint8_t selected() const { return selected_; }
    void setSelected(uint8_t value);

    // A file put back together from pieces: its runs of the source, in file
    // order, the first starting where sectorNumber and extraBytesToMove say,
    // their lengths adding up to fileSize. Empty for a file found as one run.
    const std::vector<ByteRun>& pieces() const { return pieces_; }
    void setPieces(std::vector<ByteRun> pieces) { pieces_ = std::move(pieces); }
    bool isReassembled() const { return pieces_.size() > 1; }

    // The number of nodes below, as the scan counted them (the root counts its
    // folders and every found file). A node whose count is not positive shows
    // as a leaf: nothing below it is counted as ticked.
    int32_t childrenCount() const { return childrenCount_; }
    void setChildrenCount(int32_t count);
    void addToChildrenCount(uint32_t amount) { setChildrenCount(childrenCount_ + static_cast<int32_t>(amount)); }
    // The ticked-descendant count stored in a scan-info file, kept as read.
    int32_t storedChildrenSelected() const { return storedChildrenSelected_; }
    void setChildrenSelected(int32_t count) { storedChildrenSelected_ = count; }

    // Ticked nodes among all descendants (folders included).
    int32_t childrenSelected() const { return childrenCount_ > 0 ? below_.count : 0; }
    // Bytes of the ticked found files among all descendants.
    uint64_t tickedBytes() const { return childrenCount_ > 0 ? below_.bytes : 0; }
    // On when every counted node below is ticked, off when none is; a node
    // with nothing below shows its own tick.
    TickState tickState() const;

    // Set by addChild; a type folder names the root before the scan attaches it.
    FoundNode* parent() const { return parent_; }
    void setParent(FoundNode* node) { parent_ = node; }
    // The position in the parent's children, or -1 before addChild.
    int32_t row() const { return row_; }
    const std::vector<std::unique_ptr<FoundNode>>& children() const { return children_; }

    // Appends, links the child to this node (parent and row) and adds its
    // ticks to the tallies above; childrenCount is left to the caller.
    FoundNode* addChild(std::unique_ptr<FoundNode> child);
    FoundNode* childAtIndex(int32_t i) const { return children_.at(static_cast<std::size_t>(i)).get(); }
    bool expandable() const { return childrenCount_ > 0; }

private:
    struct Tally {
        int32_t count = 0;
        uint64_t bytes = 0;  // changes are added modulo 2^64, so a fall is the addition of its complement

        bool empty() const { return count == 0 && bytes == 0; }
        Tally& operator+=(const Tally& other) {
            count += other.count;
            bytes += other.bytes;
            return *this;
        }
        friend Tally operator-(const Tally& a, const Tally& b) { return {a.count - b.count, a.bytes - b.bytes}; }
    };

    // What this node alone adds to the tallies above it.
    Tally ownTally() const;
    // What this node and everything counted below it add to its parent's tally.
    Tally tallyForParent() const {
        Tally share = ownTally();
        if (childrenCount_ > 0) share += below_;
        return share;
    }
    // This node's share in its parent changed by delta: carries it up.
    void passUp(Tally delta);

    std::string fileName_;
    std::string pathName_;
    std::string extension_;
    uint32_t fileType_ = 0;
    uint32_t fileID_ = 0;
    uint32_t parentID_ = 0;
    uint32_t fileCount_ = 0;
    uint64_t fileSize_ = 0;
    uint64_t sectorNumber_ = 0;
    int32_t extraBytesToMove_ = 0;
    uint8_t selected_ = 0;
    int32_t childrenCount_ = 0;
    int32_t storedChildrenSelected_ = 0;
    int32_t row_ = -1;
    std::vector<ByteRun> pieces_;
    Tally below_;  // ticked nodes among the children, and what their counted descendants hold
    std::vector<std::unique_ptr<FoundNode>> children_;
    FoundNode* parent_ = nullptr;
};

// Where the file's first byte lies in the source: its sector's first byte
// plus its offset into that sector. None when it lies beyond what 64 bits
// hold (a sector number read from a scan-info file may).
std::optional<uint64_t> byteOffsetOf(const FoundNode& file, uint32_t sectorSize);

// The runs a found file's bytes are read from: its pieces, or the one run
// from its first byte for fileSize bytes.
std::vector<ByteRun> byteRunsOf(const FoundNode& file, uint32_t sectorSize);

}  // namespace pelorin
