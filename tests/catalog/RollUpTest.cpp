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

TEST(RollUp, SharesOfTheTotalRoundTiesAwayFromZeroInWholeBytes)
{
    // 23, 41 and 96 of 160 bytes are 14.375, 25.625 and 60 %. A written size that is not a whole
    // number of bytes counts as its nearest whole number, in the folder's size and in the shares.
    TNodeTree tree;
    NodeId top = add(tree, TNodeTree::Root(), "folder", "0");
    NodeId a = add(tree, top, "file", "23");
    NodeId sub = add(tree, top, "folder", "0");
    NodeId b = add(tree, sub, "file", "41");
    NodeId c = add(tree, sub, "file", "95.5");
    std::uint64_t total = RollUpFolderSize(tree, top);
    EXPECT_EQ(total, 160u);
    EXPECT_EQ(tree.Field(sub, FileSize), "137");
    tree.SetSize(top, total);
    FillPercentagesAndCounts(tree, total);
    EXPECT_EQ(tree.Field(a, SizePercentage), "14.38");
    EXPECT_EQ(tree.Field(b, SizePercentage), "25.63");
    EXPECT_EQ(tree.Field(c, SizePercentage), "60.00");
    EXPECT_EQ(tree.Field(sub, SizePercentage), "85.63");
    EXPECT_EQ(tree.Field(top, SizePercentage), "100.00");
    EXPECT_EQ(tree.Field(c, FileSize), "95.5"); // kept as written
    // Sizes beyond what 64-bit arithmetic can scale by 10,000, and a total below a size.
    tree.SetSize(a, std::uint64_t(1) << 62);
    tree.SetSize(c, UINT64_MAX);
    FillPercentagesAndCounts(tree, std::uint64_t(1) << 63);
    EXPECT_EQ(tree.Field(a, SizePercentage), "50.00");
    EXPECT_EQ(tree.Field(c, SizePercentage), "200.00");
    FillPercentagesAndCounts(tree, 1);
    EXPECT_EQ(tree.Field(c, SizePercentage), "1844674407370955161500.00");
}
