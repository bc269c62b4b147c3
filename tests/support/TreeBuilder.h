#pragma once
// Found-file trees built by hand, the way a scan builds them, and the
// temporary folders and file reading the tests of ticking, saving and
// scan-info files share.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <stdexcept>
#include <tuple>

#include "engine/CheckController.h"
#include "support/TestSupport.h"

namespace pelorin::test {

class TreeBuilder {
public:
    TreeBuilder() : controller(TypeSelection{}), scanning(ctx, controller, registry()) {
        auto root = std::make_unique<FoundNode>();
        root->setFileType(FoundNode::kFolder);
        root->setFileID(FoundNode::kRootID);
        root->setParentID(1);
        root->setFileName("ROOT");
        scanning.setRoot(std::move(root));
    }

    FoundNode* root() { return scanning.root(); }

    // A type folder attached to the root, as at the end of a scan.
    FoundNode* folder(const std::string& name, const std::string& extension) {
        auto node = std::make_unique<FoundNode>();
        node->setFileType(FoundNode::kFolder);
        node->setFileID(nextFolderId++);
        node->setParentID(FoundNode::kRootID);
        node->setFileName(name);
        node->setExtension(extension);
        node->setPathName("/" + root()->fileName());
        node->setParent(root());
        root()->addToChildrenCount(1);
        return root()->addChild(std::move(node));
    }
    FoundNode* file(FoundNode* folder, uint64_t size, uint64_t sector) {
        root()->addToFileSize(size);
        return scanning.addFoundFile(folder, size, sector);
    }
    FoundNode* preview(FoundNode* folder, uint64_t size, uint64_t sector, int32_t extraBytes) {
        root()->addToFileSize(size);
        return scanning.addRawPreview(folder, sector, size, extraBytes);
    }

private:
    ScanContext ctx;
    RecordingController controller;
    Scanning scanning;
    uint32_t nextFolderId = 1000;
};

// The ticked nodes below a node and the bytes of the ticked files among them,
// counted afresh; a node whose childrenCount is not positive counts nothing.
struct Recount {
    int32_t ticked = 0;
    uint64_t bytes = 0;
};
inline Recount recount(const FoundNode& node) {
    Recount sum;
    if (node.childrenCount() <= 0) return sum;
    for (const auto& child : node.children()) {
        const bool ticked = child->selected() == 1;
        const Recount below = recount(*child);
        sum.ticked += ticked + below.ticked;
        sum.bytes += (ticked && child->fileType() == FoundNode::kFoundFile ? child->fileSize() : 0) + below.bytes;
    }
    return sum;
}

// Checks the kept tallies, the check box and the links of every node against a
// recount of the tree.
inline void expectTalliesMatchRecount(const FoundNode& node) {
    const Recount fresh = recount(node);
    const int32_t count = node.childrenCount();
    const int mark = count == 0 ? node.selected() : fresh.ticked >= count ? 1 : fresh.ticked == 0 ? 0 : -1;
    EXPECT_EQ(std::tuple(node.childrenSelected(), node.tickedBytes(), CheckController::markState(node)),
              std::tuple(fresh.ticked, fresh.bytes, mark))
        << node.fileName() << " under " << node.pathName();
    for (int32_t row = 0; const auto& child : node.children()) {
        EXPECT_EQ(std::tuple(child->parent(), child->row()), std::tuple(&node, row++)) << child->fileName();
        expectTalliesMatchRecount(*child);
    }
}

// A temporary folder, removed with everything in it when the object goes.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "pelorin-test-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
        path_ = pattern;
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

inline Bytes readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

inline void writeBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

}  // namespace pelorin::test
