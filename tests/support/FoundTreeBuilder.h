#pragma once
// Found-file trees built in code the way a scan builds them: a root named
// "ROOT", type folders attached to it, numbered files filed by the scan's own
// code. Shared by the engine's tests and the desktop application's (so it
// needs nothing of GoogleTest).

#include <memory>
#include <string>

#include "engine/Scanning.h"
#include "recognisers/Registry.h"

namespace pelorin::test {

class FoundTreeBuilder {
public:
    FoundTreeBuilder() : scanning(ctx, controller, registry()) {
        auto root = std::make_unique<FoundNode>();
        root->setFileType(FoundNode::kFolder);
        root->setFileID(FoundNode::kRootID);
        root->setParentID(1);
        root->setFileName("ROOT");
        scanning.setRoot(std::move(root));
    }

    FoundNode* root() const { return scanning.root(); }

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
    // Nothing is scanned: the scan object only files what the tests add.
    struct Silent final : ScanController {
        bool isTicked(FileType) const override { return false; }
        void progressChanged() override {}
        void finished(const ScanOutcome&) override {}
        void notify(const Notice&) override {}
    };
    ScanContext ctx;
    Silent controller;
    Scanning scanning;
    uint32_t nextFolderId = 1000;
};

}  // namespace pelorin::test
