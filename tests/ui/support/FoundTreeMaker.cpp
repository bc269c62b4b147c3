#include "support/FoundTreeMaker.h"

#include "recognisers/Registry.h"

namespace pelorin::ui::testing {

class FoundTreeMaker::SilentController final : public ScanController {
public:
    bool isTicked(FileType) const override { return false; }
    void progressChanged() override {}
    void finished(const ScanOutcome&) override {}
    void notify(const Notice&) override {}
};

FoundTreeMaker::FoundTreeMaker()
    : controller_(std::make_unique<SilentController>()),
      scanning_(std::make_unique<Scanning>(context_, *controller_, registry())) {
    auto root = std::make_unique<FoundNode>();
    root->setFileType(FoundNode::kFolder);
    root->setFileID(FoundNode::kRootID);
    root->setParentID(1);
    root->setFileName("ROOT");
    scanning_->setRoot(std::move(root));
}

FoundTreeMaker::~FoundTreeMaker() = default;

FoundNode* FoundTreeMaker::folder(const std::string& name, const std::string& extension) {
    auto node = std::make_unique<FoundNode>();
    node->setFileType(FoundNode::kFolder);
    node->setFileID(nextFolderId_++);
    node->setParentID(FoundNode::kRootID);
    node->setFileName(name);
    node->setExtension(extension);
    node->setPathName("/" + root()->fileName());
    node->setParent(root());
    root()->addToChildrenCount(1);
    return root()->addChild(std::move(node));
}

FoundNode* FoundTreeMaker::file(FoundNode* folder, uint64_t size) {
    root()->addToFileSize(size);
    return scanning_->addFoundFile(folder, size, nextSector_++);
}

}  // namespace pelorin::ui::testing
