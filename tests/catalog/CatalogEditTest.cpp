#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "catalog/CatalogEdit.h"
#include "catalog/uFileReader.h"
#include "support/Files.h"
#include "support/TempDir.h"

using namespace folvane;
namespace fs = std::filesystem;

namespace {

class CatalogEditTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetForms(TextForms::EnUs());
        dir.File("top.bin", 1000);
        dir.File("proj/readme.md", 120);
        dir.File("proj/src/main.cpp", 3000);
        dir.File("proj/src/util.cpp", 700);
        dir.File("proj/src/old/legacy.c", 50);
        dir.File("proj/build/out.o", 9000);
        dir.File("proj/caf\xE9.txt", 33);
        dir.File("other/keep.txt", 400);
        dir.File("other/deep/er/est.txt", 5);
        dir.Folder("empty");
    }

    TNodeTree scan(const std::string &below = {})
    {
        TNodeTree tree;
        ScanOptions options;
        options.below = below;
        ScanFolder(tree, dir.Path(), options);
        return tree;
    }

    test::TempDir dir;
};

NodeId find(const TNodeTree &tree, const std::string &relative)
{
    NodeId n = tree.First();
    for (auto &part : fs::path(relative)) {
        NodeId found = kNoNode;
        for (NodeId c = tree.FirstChild(n); c != kNoNode && found == kNoNode; c = tree.NextSibling(c))
            if (tree.NameBytes(c) == part.string())
                found = c;
        n = found;
        if (n == kNoNode)
            break;
    }
    return n;
}

// Every field of every node, in pre-order, is the same in both catalogues; a folder's access time
// is not compared, since reading a folder changes it.
void expectSameCatalogue(const TNodeTree &edited, const TNodeTree &scanned)
{
    EXPECT_EQ(edited.NodeCount(), scanned.NodeCount());
    NodeId a = edited.First(), b = scanned.First();
    for (; a != kNoNode && b != kNoNode; a = edited.Next(a), b = scanned.Next(b)) {
        SCOPED_TRACE(scanned.Field(b, FullPath));
        EXPECT_EQ(edited.ChildCount(a), scanned.ChildCount(b));
        EXPECT_EQ(edited.Data(a).flags & ~TFileNodeData::Expanded, scanned.Data(b).flags & ~TFileNodeData::Expanded);
        for (int field = 0; field < kFieldCount; ++field)
            if (field != AccessTime || scanned.Data(b).Kind() != NodeKind::Folder) {
                EXPECT_EQ(edited.Field(a, field), scanned.Field(b, field)) << FieldNames[field];
            }
    }
    EXPECT_EQ(a, kNoNode);
    EXPECT_EQ(b, kNoNode);
}

} // namespace

TEST_F(CatalogEditTest, AFolderWalkedAgainGivesWhatANewScanGives)
{
    TNodeTree tree = scan();
    tree.SetExpanded(find(tree, "proj/src"), true);
    tree.SetExpanded(find(tree, "proj/src/old"), true);

    // Added, removed and grown, at two depths, with a folder gone and one new.
    dir.File("proj/src/new.h", 250);
    fs::remove(dir / "proj/src/util.cpp");
    fs::resize_file(dir / "proj/readme.md", 4096);
    fs::remove_all(dir / "proj/build");
    dir.File("proj/docs/guide.txt", 77);
    dir.File("proj/docs/img/a.png", 12345);

    const NodeId proj = find(tree, "proj");
    ReplaceFolder(tree, proj, scan("proj"));
    expectSameCatalogue(tree, scan());
    EXPECT_EQ(find(tree, "proj"), proj); // the folder keeps its node
    EXPECT_TRUE(tree.Expanded(find(tree, "proj/src")));
    EXPECT_TRUE(tree.Expanded(find(tree, "proj/src/old")));
    EXPECT_FALSE(tree.Expanded(find(tree, "proj/docs")));

    // Deeper down, after a file grew: every folder above follows.
    fs::resize_file(dir / "other/deep/er/est.txt", 50000);
    ReplaceFolder(tree, find(tree, "other/deep/er"), scan("other/deep/er"));
    expectSameCatalogue(tree, scan());
}

TEST_F(CatalogEditTest, RemovedEntriesGiveWhatANewScanGives)
{
    TNodeTree tree = scan();
    const NodeId gone[] = {find(tree, "proj/src/main.cpp"), find(tree, "proj/src"), find(tree, "other/deep"),
                           find(tree, "empty"), find(tree, "proj/caf\xE9.txt")};
    fs::remove_all(dir / "proj/src");
    fs::remove_all(dir / "other/deep");
    fs::remove_all(dir / "empty");
    fs::remove(dir / "proj/caf\xE9.txt");
    RemoveEntries(tree, gone);
    expectSameCatalogue(tree, scan());

    // Everything below the top: an empty catalogue of a folder with nothing left.
    std::vector<NodeId> all = tree.Children(tree.First());
    for (const auto &entry : fs::directory_iterator(dir.Path()))
        fs::remove_all(entry.path());
    RemoveEntries(tree, all);
    expectSameCatalogue(tree, scan());
    EXPECT_EQ(tree.Field(tree.First(), SizePercentage), "0");
}
