#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <thread>

#include "catalog/RollUp.h"
#include "catalog/uFileReader.h"
#include "common/Utf8.h"
#include "ScanFixtures.h"
#include "support/TempDir.h"

using namespace folvane;
namespace fs = std::filesystem;

namespace {

class ScanTest : public ::testing::Test {
protected:
    void SetUp() override { SetForms(TextForms::EnUs()); }
    test::TempDir dir;
    TNodeTree tree;
};

NodeId find(const TNodeTree &tree, const std::string &relative)
{
    return test::NodeAt(tree, relative);
}

void setWriteTime(const std::string &path, LocalSeconds local)
{
    // Turn a local wall-clock time into the UTC time whose local form it is.
    CivilTime c = ToCivil(local);
    std::tm tm{};
    tm.tm_year = c.year - 1900;
    tm.tm_mon = c.month - 1;
    tm.tm_mday = c.day;
    tm.tm_hour = c.hour;
    tm.tm_min = c.minute;
    tm.tm_sec = c.second;
    tm.tm_isdst = -1;
    struct timespec times[2] = {{std::mktime(&tm), 0}, {std::mktime(&tm), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}

} // namespace

TEST_F(ScanTest, TopNodeStandsForTheFolderAsNamed)
{
    dir.File("a.txt", 5);
    ScanFolder(tree, dir.Path());
    ASSERT_EQ(tree.ChildCount(TNodeTree::Root()), 1u);
    NodeId top = tree.First();
    EXPECT_EQ(tree.Field(top, FileName), dir.Path());
    EXPECT_EQ(tree.Field(top, FullPath), dir.Path());
    EXPECT_EQ(tree.Field(top, FileType), "folder");
    EXPECT_EQ(tree.Field(top, FileSize), "5");
    EXPECT_EQ(tree.Field(top, SizePercentage), "100.00");
    EXPECT_EQ(tree.Field(top, FileCount), "1");
    for (Field f : {FileExt, Description, FileNameLength, PathNameLength, CatalogName, CreateTime, AccessTime,
                    WriteTime, DOSName, CreateAgeRange, SizeRange})
        EXPECT_EQ(tree.Field(top, f), "") << FieldNames[f];
    EXPECT_TRUE(tree.Expanded(top));
}

TEST_F(ScanTest, EntryFieldsExtensionsAndLengths)
{
    dir.File("archive.tar.gz", 10);
    dir.File("README", 1);
    dir.Folder("release.2");
    dir.File(".hidden", 3);
    dir.Folder(".cache");
    dir.File("K\xC3\xA4se.Txt", 2);
    ScanFolder(tree, dir.Path());
    struct Case {
        const char *name, *ext, *type, *size;
    } cases[] = {
        {"archive.tar.gz", "gz", "file", "10"}, {"README", "", "file", "1"},
        {"release.2", "", "folder", "0"},       {".hidden", "hidden", "file", "3"},
        {".cache", "", "folder", "0"},          {"K\xC3\xA4se.Txt", "Txt", "file", "2"},
    };
    for (const Case &c : cases) {
        NodeId n = find(tree, c.name);
        ASSERT_NE(n, kNoNode) << c.name;
        std::string path = dir.Path() + "/" + c.name;
        EXPECT_EQ(tree.Field(n, FileName), c.name);
        EXPECT_EQ(tree.Field(n, FullPath), path);
        EXPECT_EQ(tree.Field(n, FileExt), c.ext) << c.name;
        EXPECT_EQ(tree.Field(n, FileType), c.type);
        EXPECT_EQ(tree.Field(n, FileSize), c.size);
        EXPECT_EQ(tree.Field(n, DOSName), c.name);
        EXPECT_EQ(tree.Field(n, FileNameLength), std::to_string(CodePointCount(c.name)));
        EXPECT_EQ(tree.Field(n, PathNameLength), std::to_string(CodePointCount(path)));
        EXPECT_EQ(tree.Field(n, CatalogName), "");
        EXPECT_FALSE(tree.Field(n, WriteTime).empty());
    }
    EXPECT_EQ(tree.Field(find(tree, "K\xC3\xA4se.Txt"), FileNameLength), "8");
}

TEST_F(ScanTest, ExtensionOfLooksOnlyAtTheLastPathComponent)
{
    struct Case {
        const char *path, *ext;
    } cases[] = {{"/a/b.txt", "txt"}, {"/a.d/b", ""}, {"/a/b.", ""}, {"/a/.profile", "profile"},
                 {"c:b.TXT", "TXT"},  {"a:b", ""},    {"x.tar.gz", "gz"}, {"", ""}};
    for (const Case &c : cases)
        EXPECT_EQ(ExtensionOf(c.path), c.ext) << c.path;
}

TEST_F(ScanTest, TimesAreLocalAndMidnightShowsOnlyTheDate)
{
    std::string midnight = dir.File("midnight.txt");
    std::string afternoon = dir.File("afternoon.txt");
    setWriteTime(midnight, FromCivil({2024, 5, 17, 0, 0, 0}));
    setWriteTime(afternoon, FromCivil({2024, 5, 17, 15, 4, 5}));
    ScanFolder(tree, dir.Path());
    EXPECT_EQ(tree.Field(find(tree, "midnight.txt"), WriteTime), "5/17/2024");
    EXPECT_EQ(tree.Field(find(tree, "afternoon.txt"), WriteTime), "5/17/2024 3:04:05 PM");
    SetForms(TextForms::DeDe());
    EXPECT_EQ(tree.Field(find(tree, "afternoon.txt"), WriteTime), "17.05.2024 15:04:05");
}

TEST_F(ScanTest, SizesPercentagesAndCountsOfNestedFolders)
{
    dir.File("folder/a", 100);
    dir.File("folder/b", 300);
    dir.File("folder/sub/c", 600);
    dir.Folder("folder/empty");
    ScanFolder(tree, dir / "folder");
    struct Case {
        const char *path, *size, *percent, *count;
    } cases[] = {
        {"a", "100", "10.00", "1"},     {"b", "300", "30.00", "1"},   {"sub", "600", "60.00", "1"},
        {"sub/c", "600", "60.00", "1"}, {"empty", "0", "0.00", "0"},
    };
    for (const Case &c : cases) {
        NodeId n = find(tree, c.path);
        ASSERT_NE(n, kNoNode) << c.path;
        EXPECT_EQ(tree.Field(n, FileSize), c.size) << c.path;
        EXPECT_EQ(tree.Field(n, SizePercentage), c.percent) << c.path;
        EXPECT_EQ(tree.Field(n, FileCount), c.count) << c.path;
    }
    EXPECT_EQ(tree.Field(tree.First(), FileSize), "1000");
    EXPECT_EQ(tree.Field(tree.First(), SizePercentage), "100.00");
    EXPECT_EQ(tree.Field(tree.First(), FileCount), "5");
    SetForms(TextForms::DeDe());
    EXPECT_EQ(tree.Field(find(tree, "a"), SizePercentage), "10,00");
}

TEST_F(ScanTest, ThirdsRoundToTwoDecimals)
{
    dir.File("one", 1);
    dir.File("two", 2);
    ScanFolder(tree, dir.Path());
    EXPECT_EQ(tree.Field(find(tree, "one"), SizePercentage), "33.33");
    EXPECT_EQ(tree.Field(find(tree, "two"), SizePercentage), "66.67");
}

TEST_F(ScanTest, AnAllEmptyTreeHasZeroPercentagesEverywhere)
{
    dir.File("x/a");
    dir.File("b");
    dir.Folder("c");
    ScanFolder(tree, dir.Path());
    for (NodeId n = tree.First(); n != kNoNode; n = tree.Next(n)) {
        EXPECT_EQ(tree.Field(n, SizePercentage), "0");
        EXPECT_EQ(tree.Field(n, FileSize), "0");
    }
    EXPECT_EQ(tree.Field(tree.First(), FileCount), "4");
}

TEST_F(ScanTest, AnEmptyFolderGivesAChildlessTopNode)
{
    ScanFolder(tree, dir.Path());
    NodeId top = tree.First();
    EXPECT_EQ(tree.NodeCount(), 1u);
    EXPECT_EQ(tree.Field(top, FileSize), "0");
    EXPECT_EQ(tree.Field(top, FileCount), "0");
    EXPECT_EQ(tree.Field(top, SizePercentage), "0");
}

TEST_F(ScanTest, LinksAreListedAsFilesAndNeverWalked)
{
    dir.File("real/inside.bin", 1000);
    fs::create_directory_symlink(dir / "real", dir / "link");
    fs::create_directory_symlink(dir.Path(), dir / "real/loop"); // a loop back to the top
    ScanOutcome outcome = ScanFolder(tree, dir.Path());
    NodeId link = find(tree, "link");
    ASSERT_NE(link, kNoNode);
    EXPECT_EQ(tree.Field(link, FileType), "file");
    EXPECT_EQ(tree.ChildCount(link), 0u);
    NodeId loop = find(tree, "real/loop");
    ASSERT_NE(loop, kNoNode);
    EXPECT_EQ(tree.ChildCount(loop), 0u);
    EXPECT_EQ(outcome.entries, 4u); // real, real/inside.bin, real/loop, link
    // A link's size is its own (the length of its target), never the target's content.
    std::uint64_t linkSizes = fs::read_symlink(dir / "link").string().size() + dir.Path().size();
    EXPECT_EQ(tree.Field(tree.First(), FileSize), std::to_string(1000 + linkSizes));
}

TEST_F(ScanTest, ANameThatIsNotUtf8KeepsItsBytesAndShowsReplacementCharacters)
{
    std::string name = "bad\xFFname.txt";
    dir.File(name, 4);
    ScanFolder(tree, dir.Path());
    ASSERT_EQ(tree.ChildCount(tree.First()), 1u);
    NodeId n = tree.FirstChild(tree.First());
    EXPECT_EQ(tree.NameBytes(n), name);
    EXPECT_EQ(tree.PathBytes(n), dir.Path() + "/" + name);
    EXPECT_TRUE(fs::exists(tree.PathBytes(n)));
    EXPECT_EQ(tree.Field(n, FileName), "bad\xEF\xBF\xBDname.txt");
    EXPECT_EQ(tree.Field(n, FileNameLength), "12");
    EXPECT_EQ(tree.Field(n, FileSize), "4");
}

TEST_F(ScanTest, AFileOver4GiBCountsInFullInEveryEnclosingFolder)
{
    const std::uint64_t big = 5ull << 30;
    dir.File("a/b/huge.img", big);
    ScanFolder(tree, dir.Path());
    EXPECT_EQ(tree.Field(find(tree, "a/b/huge.img"), FileSize), std::to_string(big));
    EXPECT_EQ(tree.Field(find(tree, "a/b"), FileSize), std::to_string(big));
    EXPECT_EQ(tree.Field(find(tree, "a"), FileSize), std::to_string(big));
    EXPECT_EQ(tree.Field(tree.First(), FileSize), "5368709120");
}

TEST_F(ScanTest, ASecondScanLeavesNothingOfTheFirst)
{
    dir.File("first/one", 1);
    dir.File("first/two", 2);
    dir.File("second/three", 3);
    ScanFolder(tree, dir / "first");
    ScanFolder(tree, dir / "second");
    EXPECT_EQ(tree.NodeCount(), 2u);
    EXPECT_EQ(tree.ChildCount(TNodeTree::Root()), 1u);
    EXPECT_EQ(tree.Field(tree.First(), FileName), dir / "second");
    EXPECT_EQ(tree.Field(tree.FirstChild(tree.First()), FileName), "three");
}

TEST_F(ScanTest, ATrailingSeparatorIsNotDoubled)
{
    dir.File("sub/x", 1);
    ScanFolder(tree, dir.Path() + "/");
    EXPECT_EQ(tree.Field(tree.First(), FileName), dir.Path() + "/");
    EXPECT_EQ(tree.Field(find(tree, "sub"), FullPath), dir.Path() + "/sub");
    EXPECT_EQ(tree.Field(find(tree, "sub/x"), FullPath), dir.Path() + "/sub/x");

    ScanFolder(tree, "/", {.denyFolder = [](std::string_view p) { return p != "/"; }});
    NodeId child = tree.FirstChild(tree.First());
    ASSERT_NE(child, kNoNode);
    EXPECT_EQ(tree.Field(child, FullPath), "/" + tree.Field(child, FileName));
}

TEST_F(ScanTest, AFolderThatCannotBeReadIsAChildlessFolderAndItsSiblingsAreComplete)
{
    dir.File("locked/secret", 50);
    dir.File("open/visible", 7);
    std::string locked = dir / "locked/";
    ScanFolder(tree, dir.Path(), {.denyFolder = [&](std::string_view p) { return p == locked; }});
    NodeId l = find(tree, "locked");
    ASSERT_NE(l, kNoNode);
    EXPECT_EQ(tree.Field(l, FileType), "folder");
    EXPECT_EQ(tree.ChildCount(l), 0u);
    EXPECT_EQ(tree.Field(l, FileSize), "0");
    EXPECT_EQ(tree.Field(find(tree, "open/visible"), FileSize), "7");
    EXPECT_EQ(tree.Field(tree.First(), FileSize), "7");
}

TEST_F(ScanTest, AnErrorWhileReadingOneFolderLeavesItChildlessAndTheWalkGoesOn)
{
    dir.File("broken/inner", 50);
    dir.File("open/visible", 7);
    std::string broken = dir / "broken/";
    for (unsigned threads : {1u, 3u}) {
        ScanOptions options;
        options.threads = threads;
        options.denyFolder = [&](std::string_view p) -> bool {
            if (p == broken)
                throw std::runtime_error("read error");
            return false;
        };
        ScanOutcome outcome = ScanFolder(tree, dir.Path(), options);
        EXPECT_FALSE(outcome.cancelled);
        NodeId b = find(tree, "broken");
        ASSERT_NE(b, kNoNode);
        EXPECT_EQ(tree.ChildCount(b), 0u);
        EXPECT_EQ(tree.Field(find(tree, "open/visible"), FileSize), "7");
        EXPECT_EQ(tree.Field(tree.First(), FileSize), "7");
    }
}

TEST_F(ScanTest, ACancelledScanSaysSo)
{
    for (int i = 0; i < 30; ++i)
        dir.File("d" + std::to_string(i) + "/f", 1);
    std::atomic<bool> cancel{true};
    ScanOutcome outcome = ScanFolder(tree, dir.Path(), {.cancel = &cancel});
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_EQ(outcome.entries, 0u);

    cancel = false;
    outcome = ScanFolder(tree, dir.Path(), {.cancel = &cancel});
    EXPECT_FALSE(outcome.cancelled);
    EXPECT_EQ(outcome.entries, 60u);
}

// The threads of this process.
std::size_t threadCount()
{
    return std::size_t(std::distance(fs::directory_iterator("/proc/self/task"), fs::directory_iterator()));
}

// Cancelled after a few folders: the walk stops there, with fewer entries than the folder holds,
// says it was cancelled, and leaves no thread behind.
TEST_F(ScanTest, ACancelInTheMiddleOfAWalkStopsItThere)
{
    for (int i = 0; i < 30; ++i)
        dir.File("d" + std::to_string(i) + "/f", 1);
    const std::uint64_t total = 60;
    // A thread started and joined first, so that a runtime's helper thread that comes with the
    // first thread (the thread sanitizer's) is there before the count.
    std::thread([] {}).join();
    for (unsigned threads : {1u, 3u}) {
        SCOPED_TRACE(threads);
        const std::size_t before = threadCount();
        std::atomic<bool> cancel{false};
        std::atomic<int> folders{0};
        ScanOptions options;
        options.threads = threads;
        options.cancel = &cancel;
        options.beforeFolder = [&](std::string_view) {
            if (++folders > 5)
                cancel = true;
        };
        ScanOutcome outcome = ScanFolder(tree, dir.Path(), options);
        EXPECT_TRUE(outcome.cancelled);
        // The top folder's 30 entries and, at most, one file from each folder read after it.
        EXPECT_GE(outcome.entries, 30u);
        EXPECT_LT(outcome.entries, total);
        EXPECT_EQ(outcome.entries, tree.NodeCount() - 1);
        EXPECT_EQ(threadCount(), before);
    }
}

TEST_F(ScanTest, ProgressEndsWithTheTotals)
{
    dir.File("a/b", 10);
    dir.File("c", 5);
    std::uint64_t entries = 0, bytes = 0;
    int calls = 0;
    ScanFolder(tree, dir.Path(), {.progress = [&](std::uint64_t e, std::uint64_t b, std::uint64_t) {
                                      entries = e;
                                      bytes = b;
                                      ++calls;
                                  }});
    EXPECT_GE(calls, 1);
    EXPECT_EQ(entries, 3u);
    EXPECT_EQ(bytes, 15u);
}

// The walk on several threads gives exactly what one thread gives, and what the file system says.
TEST_F(ScanTest, AGeneratedTreeEqualsAnIndependentWalkOnAnyNumberOfThreads)
{
    const char *shared = std::getenv("FOLVANE_TEST_SHARED");
    std::string makeTree = std::string(shared ? shared : "../shared") + "/bench/make-tree";
    if (!fs::exists(makeTree))
        GTEST_SKIP() << "make-tree not found at " << makeTree;
    std::string root = dir / "gen";
    std::string cmd = "python3 '" + makeTree + "' '" + root + "' 3000 --fanout 4 --files-per-dir 12 >/dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0);

    // Independent walk: every entry's size, folders summed bottom-up.
    std::map<std::string, std::uint64_t> expected;
    std::uint64_t count = 0;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        ++count;
        if (!it->is_directory() || it->is_symlink()) {
            std::uint64_t size = it->is_symlink() ? fs::read_symlink(it->path()).string().size() : it->file_size();
            expected[it->path().string()] += size;
            for (fs::path p = it->path().parent_path(); p.string().size() >= root.size(); p = p.parent_path())
                expected[p.string()] += size;
        } else {
            expected.try_emplace(it->path().string(), 0);
        }
    }
    expected.try_emplace(root, 0);

    TNodeTree single;
    ScanFolder(single, root, {.threads = 1});
    ScanFolder(tree, root, {.threads = 4});
    ASSERT_EQ(tree.NodeCount(), count + 1);
    ASSERT_EQ(single.NodeCount(), tree.NodeCount());
    std::size_t checked = 0;
    for (NodeId a = single.First(), b = tree.First(); a != kNoNode || b != kNoNode;
         a = single.Next(a), b = tree.Next(b)) {
        ASSERT_NE(a, kNoNode);
        ASSERT_NE(b, kNoNode);
        for (int f = 0; f < kFieldCount; ++f)
            ASSERT_EQ(single.Field(a, f), tree.Field(b, f)) << FieldNames[f];
        std::string path = tree.PathBytes(b);
        ASSERT_TRUE(expected.count(path)) << path;
        EXPECT_EQ(tree.Data(b).size, expected[path]) << path;
        ++checked;
    }
    EXPECT_EQ(checked, count + 1);
}
