#include <gtest/gtest.h>

#include "catalog/RollUp.h"

using namespace folvane;

namespace {
NodeId add(TNodeTree &tree, NodeId parent, const char *type, const char *size)
{
    NodeId n = parent == TNodeTree::Root() ? tree.AddTopLevel() : tree.AddChild(parent);
    tree.SetField(n, FileType, type);
    tree.SetField(n, FileSize, size);
    return n;
}
} // namespace

TEST(RollUp, FolderSizesReplaceTheirOwnAndAreSummedBottomUp)
{
    TNodeTree tree;
    NodeId top = add(tree, TNodeTree::Root(), "folder", "0");
    add(tree, top, "file", "100");
    NodeId sub = add(tree, top, "folder", "999"); // a folder's own size is replaced, never added
    add(tree, sub, "file", "600");
    add(tree, top, "file", "300");
    EXPECT_EQ(RollUpFolderSize(tree, top), 1000u);
    EXPECT_EQ(tree.Field(sub, FileSize), "600");
    EXPECT_EQ(tree.Field(top, FileSize), "0"); // the caller writes the node's own size
    EXPECT_EQ(RollUpFolderSize(tree, kNoNode), 0u);
}

TEST(RollUp, ASizeThatIsNoNumberFails)
{
    TNodeTree tree;
    NodeId top = add(tree, TNodeTree::Root(), "folder", "0");
    add(tree, top, "file", "12 KB");
    EXPECT_THROW(RollUpFolderSize(tree, top), std::runtime_error);
}

TEST(RollUp, ADeepChainOfFoldersRollsUpToTheTop)
{
    TNodeTree tree;
    NodeId n = add(tree, TNodeTree::Root(), "folder", "0");
    NodeId top = n;
    for (int i = 0; i < 3000; ++i)
        n = add(tree, n, "folder", "0");
    add(tree, n, "file", "7");
    EXPECT_EQ(RollUpFolderSize(tree, top), 7u);
    FillPercentagesAndCounts(tree, 7);
    EXPECT_EQ(tree.Field(top, FileCount), "3001");
    EXPECT_EQ(tree.Field(n, SizePercentage), "100.00");
}
