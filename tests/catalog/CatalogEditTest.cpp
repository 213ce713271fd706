#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include <fcntl.h>
#include <unistd.h>

#include "catalog/CatalogEdit.h"
#include "catalog/CatalogNotes.h"
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

    // A scan of the whole folder, or a walk of a folder below it, with the same options.
    TNodeTree scan(const std::string &below = {})
    {
        TNodeTree tree;
        ScanOptions walk = options;
        walk.below = below;
        ScanFolder(tree, dir.Path(), walk);
        return tree;
    }

    test::TempDir dir;
    ScanOptions options;
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

// Every field of every node, in pre-order, is the same in both catalogues, and so are the marks,
// the reasons, the other size kind, the name a file with several names is counted under and the
// summary; a folder's access time is not compared, since reading a folder changes it.
void expectSameCatalogue(const TNodeTree &edited, const TNodeTree &scanned)
{
    EXPECT_EQ(edited.NodeCount(), scanned.NodeCount());
    if (scanned.FindNotes() && edited.FindNotes())
        EXPECT_EQ(SummaryText(edited.FindNotes()->summary), SummaryText(scanned.FindNotes()->summary));
    NodeId a = edited.First(), b = scanned.First();
    for (; a != kNoNode && b != kNoNode; a = edited.Next(a), b = scanned.Next(b)) {
        SCOPED_TRACE(scanned.Field(b, FullPath));
        EXPECT_EQ(edited.ChildCount(a), scanned.ChildCount(b));
        EXPECT_EQ(edited.Data(a).flags & ~TFileNodeData::Expanded, scanned.Data(b).flags & ~TFileNodeData::Expanded);
        EXPECT_EQ(edited.Data(a).otherSize, scanned.Data(b).otherSize);
        EXPECT_EQ(ReasonText(edited, a), ReasonText(scanned, b));
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

TEST_F(CatalogEditTest, TheChoicesMarksAndNamesOfAFileWithSeveralNamesFollowARefresh)
{
    // Disk usage, a file counted once under its first name, two patterns, a folder not read.
    options.choices.sizeKind = SizeKind::DiskUsage;
    options.choices.hardLinksOnce = true;
    options.choices.exclude = {"*.o", "proj/src/old"};
    options.denyFolder = [this](std::string_view folder) { return folder == dir / "proj/secret/"; };
    dir.File("proj/secret/hidden.txt", 10);
    test::WriteFile(dir / "other/shared.bin", std::string(20000, 's'));
    ASSERT_EQ(::link((dir / "other/shared.bin").c_str(), (dir / "proj/src/twin.bin").c_str()), 0);
    ASSERT_EQ(::link((dir / "other/shared.bin").c_str(), (dir / "proj/twin2.bin").c_str()), 0);
    TNodeTree tree = scan();
    ASSERT_EQ(CatalogueChoices(tree), options.choices);

    // A name gone from the folder, one come into it, an entry now left out, a denied folder kept.
    fs::remove(dir / "proj/src/twin.bin");
    dir.Folder("proj/docs");
    ASSERT_EQ(::link((dir / "other/shared.bin").c_str(), (dir / "proj/docs/twin3.bin").c_str()), 0);
    dir.File("proj/extra.o", 5);
    dir.File("proj/src/old/more.c", 7);
    test::WriteFile(dir / "proj/notes.txt", std::string(9000, 'n'));
    ReplaceFolder(tree, find(tree, "proj"), scan("proj"));
    expectSameCatalogue(tree, scan());

    // The name counted goes: the next in the catalogue's order counts, and the folders above it grow.
    fs::remove(dir / "other/shared.bin");
    const NodeId gone[] = {find(tree, "other/shared.bin")};
    RemoveEntries(tree, gone);
    expectSameCatalogue(tree, scan());
}

TEST_F(CatalogEditTest, AFolderPastThePathLimitIsRefreshedLikeAnyOther)
{
    // Folders of 200-byte names, 25 deep below "deep": a path of over 5,000 bytes.
    const std::string name(200, 'd');
    std::string below = "deep";
    int fd = ::open(dir.Folder("deep").c_str(), O_PATH | O_DIRECTORY);
    for (int i = 0; i < 25; ++i) {
        ASSERT_EQ(::mkdirat(fd, name.c_str(), 0755), 0);
        const int next = ::openat(fd, name.c_str(), O_PATH | O_DIRECTORY);
        ::close(fd);
        fd = next;
        below += "/" + name;
    }
    TNodeTree tree = scan();
    const int file = ::openat(fd, "found.txt", O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(file, 0);
    ASSERT_EQ(::write(file, "12345", 5), 5);
    ::close(file);
    ::close(fd);
    NodeId deepest = find(tree, "deep");
    while (tree.ChildCount(deepest) > 0)
        deepest = tree.FirstChild(deepest);
    ReplaceFolder(tree, deepest, scan(below));
    EXPECT_EQ(tree.ChildCount(deepest), 1u);
    expectSameCatalogue(tree, scan());
}
