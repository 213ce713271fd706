#include <gtest/gtest.h>

#include <vector>

#include "catalog/NodeTree.h"

using namespace folvane;

namespace {

class NodeTreeTest : public ::testing::Test {
protected:
    void SetUp() override { SetForms(TextForms::EnUs()); }
    void TearDown() override { SetForms(TextForms::EnUs()); }
};

std::vector<std::string> preOrderNames(const TNodeTree &tree)
{
    std::vector<std::string> names;
    for (NodeId n = tree.First(); n != kNoNode; n = tree.Next(n))
        names.push_back(tree.Field(n, FileName));
    return names;
}

} // namespace

TEST_F(NodeTreeTest, FieldIndexOfIsExactAndDefaultsToTheName)
{
    EXPECT_EQ(FieldIndexOf("SizeRange"), 18);
    EXPECT_EQ(FieldIndexOf("File Name"), 0);
    EXPECT_EQ(FieldIndexOf("Write Time"), 12);
    EXPECT_EQ(FieldIndexOf("size range"), 0);
    EXPECT_EQ(FieldIndexOf("file size"), 0);
    EXPECT_EQ(FieldIndexOf(""), 0);
    for (int i = 0; i < kFieldCount; ++i)
        EXPECT_EQ(FieldIndexOf(FieldNames[i]), i);
}

TEST_F(NodeTreeTest, NavigationAndMaintainedCounts)
{
    TNodeTree tree;
    NodeId top = tree.AddTopLevel();
    NodeId a = tree.AddChild(top);
    NodeId a1 = tree.AddChild(a);
    NodeId b = tree.AddChild(top); // the top node's children are no longer last in storage
    NodeId a2 = tree.AddChild(a);
    NodeId c = tree.AddChild(top);
    NodeId second = tree.AddTopLevel();
    const char *names[] = {"top", "a", "a1", "b", "a2", "c", "second"};
    NodeId ids[] = {top, a, a1, b, a2, c, second};
    for (int i = 0; i < 7; ++i)
        tree.SetField(ids[i], FileName, names[i]);

    EXPECT_EQ(tree.NodeCount(), 7u);
    EXPECT_EQ(tree.ChildCount(top), 3u);
    EXPECT_EQ(tree.Child(top, 0), a);
    EXPECT_EQ(tree.Child(top, 1), b);
    EXPECT_EQ(tree.Child(top, 2), c);
    EXPECT_EQ(tree.Child(top, 3), kNoNode);
    EXPECT_EQ(tree.Row(c), 2u);
    EXPECT_EQ(tree.Child(a, 1), a2);
    EXPECT_EQ(tree.NextSibling(a1), a2);
    EXPECT_EQ(tree.NextSibling(a2), kNoNode);
    EXPECT_EQ(tree.PrevSibling(b), a);
    EXPECT_EQ(tree.Parent(a2), a);
    EXPECT_EQ(tree.Parent(top), TNodeTree::Root());
    EXPECT_EQ(tree.NextSibling(top), second);
    EXPECT_EQ(tree.Level(top), 0u);
    EXPECT_EQ(tree.Level(a2), 2u);
    EXPECT_EQ(tree.Level(kNoNode), 0u);
    EXPECT_EQ(tree.TotalCount(top), 6u);
    EXPECT_EQ(tree.TotalCount(a), 3u);
    EXPECT_EQ(tree.TotalCount(a1), 1u);
    EXPECT_EQ(tree.TotalCount(TNodeTree::Root()), 8u);
    EXPECT_EQ(preOrderNames(tree), (std::vector<std::string>{"top", "a", "a1", "a2", "b", "c", "second"}));
}

TEST_F(NodeTreeTest, ReorderingChildrenKeepsRowsAndPreOrderInStep)
{
    TNodeTree tree;
    NodeId top = tree.AddTopLevel();
    std::vector<NodeId> kids;
    for (const char *n : {"x", "y", "z"}) {
        kids.push_back(tree.AddChild(top));
        tree.SetField(kids.back(), FileName, n);
    }
    NodeId under = tree.AddChild(kids[0]);
    tree.SetField(under, FileName, "x1");
    tree.SetField(top, FileName, "top");

    std::vector<NodeId> order{kids[2], kids[0], kids[1]};
    tree.ReorderChildren(top, order);
    EXPECT_EQ(tree.Row(kids[2]), 0u);
    EXPECT_EQ(tree.Child(top, 1), kids[0]);
    EXPECT_EQ(preOrderNames(tree), (std::vector<std::string>{"top", "z", "x", "x1", "y"}));
    std::vector<NodeId> notChildren{kids[0], kids[1], under};
    EXPECT_THROW(tree.ReorderChildren(top, notChildren), std::invalid_argument);
}

TEST_F(NodeTreeTest, FieldsRenderTheirTypedValuesAndKeepOtherTextsAsWritten)
{
    TNodeTree tree;
    NodeId n = tree.AddTopLevel();
    struct Case {
        Field field;
        const char *text;
    } asWritten[] = {
        {FileName, "docs"},
        {FileSize, "1234"},           {FileSize, "0012"},      {FileSize, "12 KB"},
        {SizePercentage, "12.35"},    {SizePercentage, "0"},   {SizePercentage, "12.3"},
        {SizePercentage, "abc"},      {FileType, "folder"},    {FileType, "Folder"},
        {WriteTime, "3/7/2025 2:05:09 PM"}, {WriteTime, "3/7/2025"}, {WriteTime, "03/07/2025"},
        {WriteTime, "yesterday"},     {FileCount, "3"},        {FileCount, "-1"},
        {SizeRange, "6"},             {SizeRange, "x"},        {Description, "anything"},
        {CatalogName, ""},            {FileExt, ""},
    };
    for (const Case &c : asWritten) {
        tree.SetField(n, c.field, c.text);
        EXPECT_EQ(tree.Field(n, c.field), c.text) << FieldNames[c.field] << " " << c.text;
    }
    tree.SetField(n, FileSize, "4294967296000");
    EXPECT_EQ(tree.Data(n).size, 4294967296000u);
    EXPECT_EQ(tree.Override(n, FileSize), nullptr);
    tree.SetField(n, FileType, "file");
    EXPECT_EQ(tree.Data(n).Kind(), NodeKind::File);
    tree.SetField(n, FileType, "directory");
    EXPECT_EQ(tree.Data(n).Kind(), NodeKind::Other);
    tree.SetField(n, FileSize, "");
    EXPECT_TRUE(tree.FieldEmpty(n, FileSize));
    EXPECT_EQ(tree.Field(n, FileSize), "");
}

TEST_F(NodeTreeTest, NewRecordIsEmpty)
{
    TNodeTree tree;
    NodeId n = tree.AddTopLevel();
    for (int f = 0; f < kFieldCount; ++f)
        EXPECT_EQ(tree.Field(n, f), "") << FieldNames[f];
    EXPECT_EQ(tree.Data(n).IconIndex, 0);
    EXPECT_EQ(tree.Data(n).ExpandedIconIndex, 0);
}

TEST_F(NodeTreeTest, PercentageTextFollowsTheUsersDecimalSeparator)
{
    TNodeTree tree;
    NodeId n = tree.AddTopLevel();
    tree.SetPercentage(n, 1, 3);
    EXPECT_EQ(tree.Field(n, SizePercentage), "33.33");
    SetForms(TextForms::DeDe());
    EXPECT_EQ(tree.Field(n, SizePercentage), "33,33");
    tree.SetPercentage(n, 5, 0);
    EXPECT_EQ(tree.Field(n, SizePercentage), "0");
}

TEST_F(NodeTreeTest, ACopyIsIndependentAndOutlivesItsSourceTree)
{
    TNodeTree source;
    NodeId top = source.AddTopLevel();
    source.SetExplicitPath(top, "/data", 5);
    source.SetField(top, FileType, "folder");
    NodeId file = source.AddChild(top);
    source.SetName(file, "report.TXT");
    source.SetField(file, FullPath, "/data/report.TXT");
    source.SetField(file, FileType, "file");
    source.SetField(file, FileExt, "TXT");
    source.SetSize(file, 600);
    source.SetPercentage(file, 600, 1000);
    source.SetField(file, Description, "kept");
    source.SetField(file, WriteTime, "3/7/2025 2:05:09 PM");
    source.Data(file).IconIndex = 7;

    TNodeTree list;
    NodeId copy = list.AddTopLevel();
    CopyNodeData(source, file, list, copy);
    list.SetPercentage(copy, 600, 600);
    EXPECT_EQ(source.Field(file, SizePercentage), "60.00");
    EXPECT_EQ(list.Field(copy, SizePercentage), "100.00");

    std::vector<std::string> before;
    for (int f = 0; f < kFieldCount; ++f)
        before.push_back(f == SizePercentage ? "100.00" : source.Field(file, f));
    source.Clear();
    NodeId other = source.AddTopLevel();
    source.SetName(other, "overwritten");
    for (int f = 0; f < kFieldCount; ++f)
        EXPECT_EQ(list.Field(copy, f), before[f]) << FieldNames[f];
    EXPECT_EQ(list.Field(copy, FullPath), "/data/report.TXT");
    EXPECT_EQ(list.Data(copy).IconIndex, 7);
}

TEST_F(NodeTreeTest, ClearLeavesAnEmptyTree)
{
    TNodeTree tree;
    NodeId a = tree.AddTopLevel();
    tree.AddChild(a);
    tree.Clear();
    EXPECT_EQ(tree.NodeCount(), 0u);
    EXPECT_EQ(tree.First(), kNoNode);
    EXPECT_EQ(tree.TotalCount(TNodeTree::Root()), 1u);
}

namespace {

// A folder `name` under `parent` holding `files` files named f0, f1... of `nameBytes` bytes each.
NodeId folderOfFiles(TNodeTree &tree, NodeId parent, const std::string &name, int files, std::size_t nameBytes = 8)
{
    NodeId folder = tree.AddChild(parent);
    tree.SetName(folder, name);
    tree.SetField(folder, FileType, "folder");
    for (int i = 0; i < files; ++i) {
        NodeId file = tree.AddChild(folder);
        std::string fileName = "f" + std::to_string(i);
        fileName.resize(std::max(nameBytes, fileName.size()), 'x');
        tree.SetName(file, fileName);
        tree.SetField(file, FileType, "file");
        tree.SetSize(file, std::uint64_t(i));
    }
    return folder;
}

} // namespace

TEST_F(NodeTreeTest, RemovedSubtreesLeaveTheRestInOrderAndTheirNumbersAreReused)
{
    TNodeTree tree;
    NodeId top = tree.AddTopLevel();
    tree.SetName(top, "top");
    NodeId a = folderOfFiles(tree, top, "a", 2);
    NodeId b = folderOfFiles(tree, top, "b", 0);
    NodeId c = folderOfFiles(tree, top, "c", 1);
    NodeId d = folderOfFiles(tree, top, "d", 3);
    NodeId second = tree.AddTopLevel();
    tree.SetName(second, "second");
    const NodeId a0 = tree.Child(a, 0), c0 = tree.Child(c, 0);
    ASSERT_EQ(tree.NodeCount(), 12u);

    // A child listed before its parent, a child of a folder that stays, and a whole folder.
    const NodeId gone[] = {c0, c, tree.Child(d, 1), b};
    tree.RemoveSubtrees(gone);
    EXPECT_EQ(tree.NodeCount(), 8u);
    EXPECT_EQ(preOrderNames(tree),
              (std::vector<std::string>{"top", "a", "f0xxxxxx", "f1xxxxxx", "d", "f0xxxxxx", "f2xxxxxx", "second"}));
    EXPECT_EQ(tree.TotalCount(top), 7u);
    EXPECT_EQ(tree.TotalCount(d), 3u);
    EXPECT_EQ(tree.TotalCount(TNodeTree::Root()), 9u);
    EXPECT_EQ(tree.Row(d), 1u);
    EXPECT_EQ(tree.Row(tree.Child(d, 1)), 1u);
    EXPECT_EQ(tree.NextSibling(a), d);
    for (NodeId n : {c0, c, b})
        EXPECT_FALSE(tree.IsValid(n));
    EXPECT_TRUE(tree.IsValid(a0));

    // New nodes take the numbers of removed ones before new numbers.
    const NodeId limit = tree.IdLimit();
    NodeId e = tree.AddChild(top);
    tree.SetName(e, "e");
    EXPECT_LT(e, limit);
    EXPECT_EQ(tree.IdLimit(), limit);
    EXPECT_EQ(tree.Field(e, FileType), ""); // nothing of the removed node's record
    EXPECT_EQ(tree.Row(e), 2u);
    EXPECT_EQ(tree.TotalCount(top), 8u);
}

TEST_F(NodeTreeTest, ACopiedSubtreeIsWholeAndIndependentOfItsSource)
{
    TNodeTree source;
    NodeId top = source.AddTopLevel();
    source.SetExplicitPath(top, "/walked/folder", 6);
    NodeId inner = folderOfFiles(source, top, "inner", 2);
    NodeId odd = source.AddChild(inner);
    source.SetName(odd, "caf\xE9.txt"); // not UTF-8
    source.SetField(odd, FileType, "file");
    source.SetField(odd, Description, "written");
    source.SetExpanded(inner, true);

    TNodeTree tree;
    NodeId root = tree.AddTopLevel();
    tree.SetExplicitPath(root, "/catalogue", 10);
    folderOfFiles(tree, root, "before", 1);
    NodeId copy = tree.CopySubtree(root, source, inner);
    source.Clear();

    EXPECT_EQ(tree.TotalCount(root), 2u + 1u + 4u);
    EXPECT_EQ(tree.TotalCount(copy), 4u);
    EXPECT_TRUE(tree.Expanded(copy));
    EXPECT_EQ(tree.Row(copy), 1u);
    NodeId third = tree.Child(copy, 2);
    EXPECT_EQ(tree.NameBytes(third), "caf\xE9.txt");
    EXPECT_EQ(tree.PathBytes(third), "/catalogue/inner/caf\xE9.txt");
    EXPECT_EQ(tree.Field(third, Description), "written");
    EXPECT_EQ(tree.Field(tree.Child(copy, 1), FileSize), "1");
    EXPECT_EQ(tree.Parent(third), copy);
    EXPECT_EQ(tree.Row(third), 2u);
}

TEST_F(NodeTreeTest, RepeatedRemovalsAndCopiesDoNotMakeTheTreeGrow)
{
    TNodeTree tree;
    NodeId top = tree.AddTopLevel();
    tree.SetExplicitPath(top, "/top", 4);
    for (int i = 0; i < 40; ++i)
        folderOfFiles(tree, top, "kept" + std::to_string(i), 100, 64);
    TNodeTree walked;
    NodeId walkedTop = walked.AddTopLevel();
    NodeId fresh = folderOfFiles(walked, walkedTop, "changing", 1000, 120);

    NodeId changing = tree.CopySubtree(top, walked, fresh);
    const std::uint64_t first = tree.StorageBytes();
    const NodeId firstLimit = tree.IdLimit();
    for (int round = 0; round < 300; ++round) {
        const NodeId gone[] = {changing};
        tree.RemoveSubtrees(gone);
        changing = tree.CopySubtree(top, walked, fresh);
    }
    // Numbers are reused; names and child lists left behind are compacted as they pile up.
    EXPECT_LE(tree.IdLimit(), firstLimit);
    EXPECT_LE(tree.StorageBytes(), 2 * first + (2u << 20));
    EXPECT_EQ(tree.NodeCount(), 1u + 40u * 101u + 1001u);
    EXPECT_EQ(tree.TotalCount(top), tree.NodeCount());
    EXPECT_EQ(tree.NameBytes(tree.Child(changing, 999)).substr(0, 4), "f999");
    EXPECT_EQ(tree.PathBytes(tree.Child(tree.Child(top, 39), 99)).substr(0, 16), "/top/kept39/f99x");
    EXPECT_EQ(tree.Field(tree.Child(changing, 7), FileSize), "7");
}
