#include <gtest/gtest.h>

#include "engine/HDIR.h"

namespace pelorin::test {
namespace {

TEST(HDIR, ChildrenSelectedCountsTickedDescendantsAfresh) {
    HDIR root;
    root.setChildrenCount(5);
    auto folder = std::make_unique<HDIR>();
    folder->setChildrenCount(3);
    for (int i = 0; i < 3; ++i) {
        auto leaf = std::make_unique<HDIR>();
        leaf->setSelected(i != 1);
        folder->addChild(std::move(leaf));
    }
    folder->setSelected(1);
    HDIR* f = root.addChild(std::move(folder));
    root.setChildrenSelected(42);  // the stored count is not what the operation answers
    EXPECT_EQ(root.childrenSelected(), 3);
    EXPECT_EQ(f->childrenSelected(), 2);
    f->childAtIndex(1)->setSelected(1);
    EXPECT_EQ(root.childrenSelected(), 4);
    EXPECT_EQ(root.storedChildrenSelected(), 42);
    EXPECT_TRUE(root.expandable());
    EXPECT_FALSE(f->childAtIndex(0)->expandable());
}

}  // namespace
}  // namespace pelorin::test
