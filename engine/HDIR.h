#pragma once
// A node of the found-file tree: the root, a type folder or a found file.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pelorin {

class HDIR {
public:
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
    void setFileType(uint32_t type) { fileType_ = type; }
    uint32_t fileID() const { return fileID_; }
    void setFileID(uint32_t id) { fileID_ = id; }
    uint32_t parentID() const { return parentID_; }
    void setParentID(uint32_t id) { parentID_ = id; }

    uint32_t fileCount() const { return fileCount_; }
    void setFileCount(uint32_t count) { fileCount_ = count; }
    void addToFileCount(uint32_t amount) { fileCount_ += amount; }
    uint64_t fileSize() const { return fileSize_; }
    void setFileSize(uint64_t size) { fileSize_ = size; }
    void addToFileSize(uint64_t amount) { fileSize_ += amount; }
    uint64_t sectorNumber() const { return sectorNumber_; }
    void setSectorNumber(uint64_t sector) { sectorNumber_ = sector; }
    int32_t extraBytesToMove() const { return extraBytesToMove_; }
    void setExtraBytesToMove(int32_t bytes) { extraBytesToMove_ = bytes; }
    uint8_t selected() const { return selected_; }
    void setSelected(uint8_t value) { selected_ = value; }

    int32_t childrenCount() const { return childrenCount_; }
    void setChildrenCount(int32_t count) { childrenCount_ = count; }
    void addToChildrenCount(uint32_t amount) { childrenCount_ += static_cast<int32_t>(amount); }
    // The ticked-descendant count stored in a scan-info file; childrenSelected() counts afresh.
    int32_t storedChildrenSelected() const { return storedChildrenSelected_; }
    void setChildrenSelected(int32_t count) { storedChildrenSelected_ = count; }

    HDIR* parent() const { return parent_; }
    void setParent(HDIR* node) { parent_ = node; }
    const std::vector<std::unique_ptr<HDIR>>& children() const { return children_; }

    // Appends without touching any count or the child's parent.
    HDIR* addChild(std::unique_ptr<HDIR> child);
    HDIR* childAtIndex(int32_t i) const { return children_.at(static_cast<std::size_t>(i)).get(); }
    bool expandable() const { return childrenCount_ > 0; }

    // Ticked nodes among all descendants, counted afresh on every call.
    int32_t childrenSelected() const;

private:
    static void countChildrenSelectedInArray(const std::vector<std::unique_ptr<HDIR>>& nodes, int32_t& counter);

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
    std::vector<std::unique_ptr<HDIR>> children_;
    HDIR* parent_ = nullptr;
};

}  // namespace pelorin
