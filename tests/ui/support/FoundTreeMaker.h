#pragma once
// Found-file trees for the tests and the benchmark of the results page: the
// engine tests' builder, with files filed one sector after another.

#include "support/FoundTreeBuilder.h"

namespace pelorin::ui::testing {

class FoundTreeMaker : public test::FoundTreeBuilder {
public:
    using FoundTreeBuilder::file;
    FoundNode* file(FoundNode* folder, uint64_t size) { return file(folder, size, nextSector++); }

private:
    uint64_t nextSector = 0;
};

}  // namespace pelorin::ui::testing
