#pragma once
// Found-file trees built by hand, the way a scan builds them, for the tests
// of ticking, saving and scan-info files.

#include <memory>
#include <string>

#include "engine/HDIR.h"
#include "engine/Registry.h"
#include "engine/Scanning.h"
#include "support/TestSupport.h"

namespace pelorin::test {

class TreeBuilder {
public:
    TreeBuilder() : controller(TypeSelection{}), scanning(ctx, controller) {
        auto root = std::make_unique<HDIR>();
        root->setFileType(HDIR::kFolder);
        root->setFileID(HDIR::kRootID);
        root->setParentID(1);
        root->setFileName("ROOT");
        scanning.setDirRoot(std::move(root));
    }

    HDIR* root() { return scanning.dirRoot(); }
    std::unique_ptr<HDIR> take() { return scanning.takeDirRoot(); }

    // A type folder attached to the root, as at the end of a scan.
    HDIR* folder(const std::string& name, const std::string& extension) {
        auto node = std::make_unique<HDIR>();
        node->setFileType(HDIR::kFolder);
        node->setFileID(nextFolderId++);
        node->setParentID(HDIR::kRootID);
        node->setFileName(name);
        node->setExtension(extension);
        node->setPathName("/" + root()->fileName());
        node->setParent(root());
        root()->addToChildrenCount(1);
        return root()->addChild(std::move(node));
    }

    HDIR* file(HDIR* folder, uint64_t size, uint64_t sector) {
        HDIR* node = scanning.addDetailsToHdir(folder, size, sector);
        root()->addToFileSize(size);
        return node;
    }
    HDIR* preview(HDIR* folder, uint64_t size, uint64_t sector, int32_t extraBytes) {
        HDIR* node = scanning.addDetailsOfRawJpgFile(folder, sector, size, extraBytes);
        root()->addToFileSize(size);
        return node;
    }

private:
    ScanContext ctx;
    RecordingController controller;
    Scanning scanning;
    uint32_t nextFolderId = 1000;
};

}  // namespace pelorin::test
