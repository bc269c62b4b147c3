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
#include "support/FoundTreeBuilder.h"
#include "support/TestSupport.h"

namespace pelorin::test {

using TreeBuilder = FoundTreeBuilder;

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
