#pragma once
// Found-file trees built in code the way a scan builds them (a root named
// "ROOT", type folders, numbered files), for the tests and the benchmark of
// the results page.

#include <memory>
#include <string>

#include "engine/FoundNode.h"
#include "engine/ScanContext.h"
#include "engine/Scanning.h"

namespace pelorin::ui::testing {

class FoundTreeMaker {
public:
    FoundTreeMaker();
    ~FoundTreeMaker();

    FoundNode* root() const { return scanning_->root(); }
    // A type folder attached to the root, as at the end of a scan.
    FoundNode* folder(const std::string& name, const std::string& extension);
    FoundNode* file(FoundNode* folder, uint64_t size);

private:
    class SilentController;
    ScanContext context_;
    std::unique_ptr<SilentController> controller_;
    std::unique_ptr<Scanning> scanning_;
    uint32_t nextFolderId_ = 1000;
    uint64_t nextSector_ = 0;
};

}  // namespace pelorin::ui::testing
