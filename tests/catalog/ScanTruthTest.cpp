// The scan's figures against the system's own tools and the file system's facts: disk usage and
// hard links against du and find, a chain too deep for any path, kernel file systems, exclusions,
// folders swapped for links, and what the catalogue says it could not read.

#include <gtest/gtest.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include "ScanFixtures.h"
#include "catalog/CatalogNotes.h"
#include "catalog/MountTable.h"
#include "catalog/uFileReader.h"
#include "support/TempDir.h"

using namespace folvane;
using test::NodeAt;
using test::Quoted;
using test::SumOfLines;
namespace fs = std::filesystem;

namespace {

class ScanTruthTest : public ::testing::Test {
protected:
    void SetUp() override { SetForms(TextForms::EnUs()); }
    void TearDown() override { detail::AllowOpenat2(true); }

    // A file with real content (its blocks are allocated), made by writing.
    std::string written(const std::string &relative, std::size_t bytes)
    {
        std::string p = dir.File(relative);
        std::ofstream(p, std::ios::binary) << std::string(bytes, 'x');
        return p;
    }

    ScanOptions with(SizeKind kind, bool once, unsigned threads = 0)
    {
        ScanOptions o;
        o.choices.sizeKind = kind;
        o.choices.hardLinksOnce = once;
        o.threads = threads;
        return o;
    }

    std::uint64_t total(const TNodeTree &t) { return t.Data(t.First()).size; }

    test::TempDir dir;
    TNodeTree tree;
};

// The first of `names` in the order the directory delivers its entries.
std::string firstListed(const std::string &folder, const std::set<std::string> &names)
{
    std::string first;
    if (DIR *d = ::opendir(folder.c_str())) {
        while (const dirent *e = ::readdir(d))
            if (names.count(e->d_name)) {
                first = e->d_name;
                break;
            }
        ::closedir(d);
    }
    return first;
}

// Makes a chain of `depth` folders "d" below `top`, each holding a one-byte file "f" and every
// tenth an empty folder "e" (which another thread, or the same one later, opens by its path from
// the top), by descriptors: no path of the chain is ever spelled out, most pass PATH_MAX.
void makeChain(const std::string &top, int depth)
{
    int fd = ::open(top.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    for (int i = 0; i < depth; ++i) {
        const int file = ::openat(fd, "f", O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(file, 0);
        ASSERT_EQ(::write(file, "x", 1), 1);
        ::close(file);
        ASSERT_EQ(::mkdirat(fd, "d", 0755), 0);
        if (i % 10 == 0)
            ASSERT_EQ(::mkdirat(fd, "e", 0755), 0);
        const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
        ASSERT_GE(next, 0);
        ::close(fd);
        fd = next;
    }
    ::close(fd);
}

// Removes such a chain from the bottom up, again by descriptors.
void removeChain(const std::string &top, int depth)
{
    int fd = ::open(top.c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < depth && fd >= 0; ++i) {
        const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
    }
    for (int i = 0; i < depth && fd >= 0; ++i) {
        const int up = ::openat(fd, "..", O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = up;
        ::unlinkat(fd, "d", AT_REMOVEDIR);
        ::unlinkat(fd, "e", AT_REMOVEDIR);
        ::unlinkat(fd, "f", 0);
    }
    if (fd >= 0)
        ::close(fd);
}

int highestOpenDescriptor()
{
    int highest = 2;
    for (const auto &entry : fs::directory_iterator("/proc/self/fd"))
        highest = std::max(highest, std::atoi(entry.path().filename().c_str()));
    return highest;
}

} // namespace

// Files only: a folder's own blocks never count in a scan (du counts them, so they are taken off).
TEST_F(ScanTruthTest, DiskUsageOfSparseAndOrdinaryFilesIsTheSumOfTheirBlocks)
{
    written("plain.bin", 10000);
    written("sub/one.txt", 1);
    dir.File("sub/empty");
    const std::string sparse = dir.File("sub/sparse.img", 5ull << 30);
    {
        std::fstream f(sparse, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(1ll << 30);
        f << std::string(8192, 's');
    }
    fs::create_symlink("plain.bin", dir / "link");
    const std::string d = Quoted(dir.Path());
    const std::uint64_t fileBlocks = 512 * SumOfLines("find " + d + " ! -type d -printf '%b\\n'");
    const std::uint64_t folderBlocks = 512 * SumOfLines("find " + d + " -type d -printf '%b\\n'");
    const std::uint64_t du = SumOfLines("du -s -l -B1 " + d);
    const std::uint64_t apparent = SumOfLines("find " + d + " ! -type d -printf '%s\\n'");
    ASSERT_GT(fileBlocks, 0u);
    ASSERT_LT(fileBlocks, 1ull << 20) << "the sparse file should occupy almost nothing";

    ScanFolder(tree, dir.Path(), with(SizeKind::DiskUsage, false));
    EXPECT_EQ(total(tree), fileBlocks);
    EXPECT_EQ(total(tree), du - folderBlocks);
    for (const char *name : {"plain.bin", "sub/one.txt", "sub/empty", "sub/sparse.img", "link"}) {
        const std::uint64_t blocks = 512 * SumOfLines("find " + Quoted(dir / name) + " -printf '%b\\n'");
        EXPECT_EQ(tree.Field(NodeAt(tree, name), FileSize), std::to_string(blocks)) << name;
    }
    EXPECT_EQ(tree.Notes().summary.sizeKind, SizeKind::DiskUsage);

    ScanFolder(tree, dir.Path());
    EXPECT_EQ(total(tree), apparent);
    EXPECT_EQ(tree.Field(NodeAt(tree, "sub/sparse.img"), FileSize), std::to_string((5ull << 30)));
}

TEST_F(ScanTruthTest, HardLinksOnceCountsEachFileOnceUnderTheNameThatComesFirst)
{
    // One file with several names: deep in a folder "a", in a folder "b", and right in the top
    // folder. The catalogue's own order is the order the directories deliver, depth first; a
    // name in the top folder listed after "a" comes later than the deep one, although the walk
    // meets it first. Top names are added until the listing has one after "a".
    written("a/d1/d2/name", 5000);
    written("b/plain", 300);
    fs::create_hard_link(dir / "a/d1/d2/name", dir / "b/name");
    std::vector<std::string> names = {"a/d1/d2/name", "b/name"};
    auto listing = [&] {
        std::vector<std::string> order;
        if (DIR *d = ::opendir(dir.Path().c_str())) {
            while (const dirent *e = ::readdir(d))
                order.emplace_back(e->d_name);
            ::closedir(d);
        }
        return order;
    };
    for (int k = 0;; ++k) {
        ASSERT_LT(k, 50);
        const std::string top = "t" + std::to_string(k);
        fs::create_hard_link(dir / "b/name", dir / top);
        names.push_back(top);
        const auto order = listing();
        if (std::find(std::find(order.begin(), order.end(), "a"), order.end(), top) != order.end())
            break;
    }
    // The name that counts: the first in the catalogue's order.
    std::string counted;
    for (const std::string &entry : listing()) {
        if (entry == "a" || entry == "b")
            counted = entry == "a" ? "a/d1/d2/name" : "b/name";
        else if (entry[0] == 't')
            counted = entry;
        if (!counted.empty())
            break;
    }
    const std::string d = Quoted(dir.Path());
    const std::uint64_t distinct = SumOfLines("find " + d + " ! -type d -printf '%i %s\\n' | sort -u | cut -d' ' -f2");
    const std::uint64_t everyName = SumOfLines("find " + d + " ! -type d -printf '%s\\n'");
    const std::uint64_t duOnce = SumOfLines("du -s -b " + d) - SumOfLines("find " + d + " -type d -printf '%s\\n'");
    ASSERT_EQ(distinct, 5300u);
    ASSERT_EQ(everyName, 300 + 5000 * names.size());
    ASSERT_EQ(duOnce, distinct);

    for (unsigned threads : {1u, 2u, 3u, 4u, 8u, 8u, 8u, 8u}) {
        ScanFolder(tree, dir.Path(), with(SizeKind::Apparent, true, threads));
        SCOPED_TRACE(threads);
        EXPECT_EQ(total(tree), distinct);
        EXPECT_EQ(tree.Notes().summary.namesCountedElsewhere, names.size() - 1);
        for (const std::string &name : names) {
            const NodeId n = NodeAt(tree, name);
            const bool uncounted = tree.Data(n).flags & TFileNodeData::Uncounted;
            EXPECT_EQ(uncounted, name != counted) << name;
            // Every name keeps its own size in its row; the others say where the file counts.
            EXPECT_EQ(tree.Field(n, FileSize), "5000");
            EXPECT_EQ(ReasonText(tree, n), uncounted ? "Counted as " + dir / counted : "") << name;
        }
        // A further name adds nothing to the folders above it.
        EXPECT_EQ(tree.Data(NodeAt(tree, "a")).size, counted[0] == 'a' ? 5000u : 0u);
        EXPECT_EQ(tree.Data(NodeAt(tree, "b")).size, counted[0] == 'b' ? 5300u : 300u);
        // Every name still counts as an entry.
        EXPECT_EQ(tree.Field(tree.First(), FileCount), std::to_string(names.size() + 5));
    }
    ScanFolder(tree, dir.Path());
    EXPECT_EQ(total(tree), everyName);
    EXPECT_EQ(tree.Notes().summary.namesCountedElsewhere, 0u);
    EXPECT_EQ(tree.Notes().links.size(), names.size());
}

// Switching the size kind or the hard links of a shown catalogue gives what a new scan gives.
TEST_F(ScanTruthTest, SwitchingChoicesOnACatalogueEqualsScanningWithThem)
{
    written("a/one", 5000);
    written("b/plain", 3000);
    dir.File("b/sparse", 1 << 20);
    fs::create_hard_link(dir / "a/one", dir / "b/two");
    const std::pair<SizeKind, bool> combos[] = {
        {SizeKind::Apparent, false}, {SizeKind::DiskUsage, false}, {SizeKind::Apparent, true}, {SizeKind::DiskUsage, true}};
    for (auto [kind, once] : combos) {
        TNodeTree fresh;
        ScanFolder(fresh, dir.Path(), with(kind, once, 1));
        for (auto [fromKind, fromOnce] : combos) {
            ScanFolder(tree, dir.Path(), with(fromKind, fromOnce, 1));
            ApplyCountingChoices(tree, kind, once);
            EXPECT_EQ(SummaryText(tree.Notes().summary), SummaryText(fresh.Notes().summary));
            for (NodeId a = fresh.First(), b = tree.First(); a != kNoNode || b != kNoNode; a = fresh.Next(a), b = tree.Next(b)) {
                ASSERT_NE(a, kNoNode);
                ASSERT_NE(b, kNoNode);
                for (Field f : {FileName, FileSize, SizePercentage, FileCount})
                    EXPECT_EQ(fresh.Field(a, f), tree.Field(b, f)) << FieldNames[f] << " of " << fresh.PathBytes(a);
                EXPECT_EQ(fresh.Data(a).flags, tree.Data(b).flags);
            }
        }
    }
}

TEST_F(ScanTruthTest, AChainDeeperThanAnyPathCountsWholeWithFewDescriptors)
{
    constexpr int kDepth = 3000;
    // Memory is much quicker than a disk at making and removing 6,000 entries one by one.
    std::error_code ec;
    const bool shm = fs::is_directory("/dev/shm", ec) && ::access("/dev/shm", W_OK) == 0;
    test::TempDir place(shm ? fs::path("/dev/shm") : fs::temp_directory_path());
    const std::string chain = place / "chain";
    place.Folder("chain");
    makeChain(chain, kDepth);
    struct RemoveChain {
        std::string path;
        ~RemoveChain() { removeChain(path, kDepth); }
    } removeAtEnd{chain};
    const std::uint64_t found = SumOfLines("find " + Quoted(chain) + " -mindepth 1 -printf '1\\n'");
    const std::uint64_t bytes = SumOfLines("find " + Quoted(chain) + " -type f -printf '%s\\n'");
    ASSERT_EQ(found, 2u * kDepth + kDepth / 10);
    ASSERT_EQ(bytes, std::uint64_t(kDepth));

    // The soft limit leaves room for the chosen folder and two descriptors per thread, no more.
    constexpr unsigned kThreads = 2;
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    for (bool openat2 : {true, false}) {
        SCOPED_TRACE(openat2 ? "openat2" : "one name at a time");
        detail::AllowOpenat2(openat2);
        rlimit tight = saved;
        tight.rlim_cur = rlim_t(highestOpenDescriptor() + 1 + 1 + 2 * kThreads);
        ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
        ScanOutcome outcome = ScanFolder(tree, chain, {.threads = kThreads});
        ::setrlimit(RLIMIT_NOFILE, &saved);
        EXPECT_EQ(outcome.entries, found);
        EXPECT_EQ(total(tree), bytes);
        EXPECT_EQ(tree.Notes().summary.foldersNotRead, 0u);
        NodeId deepest = tree.First();
        for (int i = 0; i < kDepth; ++i)
            deepest = test::ChildNamed(tree, deepest, "d");
        ASSERT_NE(deepest, kNoNode);
        EXPECT_EQ(tree.ChildCount(deepest), 0u);
        const std::string path = tree.Field(test::ChildNamed(tree, tree.Parent(deepest), "f"), FullPath);
        EXPECT_GT(path.size(), std::size_t(PATH_MAX));
        EXPECT_EQ(path.size(), chain.size() + 2 * (kDepth - 1) + 2);
    }
}

// Nothing behind the link is ever read: the folder swapped is marked and childless, and a folder
// below a swapped one is reached, if at all, only as the real folder it was when listed.
TEST_F(ScanTruthTest, AFolderSwappedForALinkBeforeItIsOpenedIsNotWalked)
{
    dir.File("decoy/b/secret", 1000);
    dir.File("decoy/x/secret", 1000);
    const std::string top = dir / "top";
    for (bool openat2 : {true, false}) {
        SCOPED_TRACE(openat2 ? "openat2" : "one name at a time");
        detail::AllowOpenat2(openat2);
        for (const char *swap : {"a/b", "a"}) {
            SCOPED_TRACE(swap);
            fs::remove_all(top);
            dir.File("top/a/b/inside", 7);
            dir.File("top/a/x/kept", 3);
            bool swapped = false;
            ScanOptions options;
            options.threads = 1;
            options.denyFolder = [&](std::string_view folder) {
                if (folder == top + "/a/b/" && !swapped) {
                    fs::rename(top + "/" + swap, top + "/" + swap + ".moved");
                    fs::create_directory_symlink(std::string(swap) == "a" ? dir / "decoy" : dir / "decoy/b",
                                                 top + "/" + swap);
                    swapped = true;
                }
                return false;
            };
            ScanFolder(tree, top, options);
            ASSERT_TRUE(swapped);
            for (NodeId n = tree.First(); n != kNoNode; n = tree.Next(n))
                EXPECT_NE(tree.NameBytes(n), "secret") << tree.PathBytes(n);
            if (std::string(swap) == "a/b") {
                const NodeId b = NodeAt(tree, "a/b");
                EXPECT_EQ(tree.ChildCount(b), 0u);
                EXPECT_TRUE(tree.Data(b).flags & TFileNodeData::Unreadable);
                // O_NOFOLLOW answers ENOTDIR for a link where a folder is asked for, openat2 ELOOP.
                const std::string reason = ReasonText(tree, b);
                EXPECT_TRUE(reason == std::generic_category().message(ELOOP) ||
                            reason == std::generic_category().message(ENOTDIR))
                    << reason;
                EXPECT_EQ(tree.Field(tree.First(), FileSize), "3");
            } else {
                // a/x is opened by its path from the top, which now passes the link: refused.
                EXPECT_TRUE(tree.Data(NodeAt(tree, "a/x")).flags & TFileNodeData::Unreadable);
                EXPECT_LE(tree.Data(tree.First()).size, 7u);
            }
        }
    }
}

TEST_F(ScanTruthTest, WhatCouldNotBeReadIsMarkedWithItsReasonAndCounted)
{
    dir.File("locked/secret", 50);
    dir.File("open/visible", 7);
    const std::string locked = dir / "locked/";
    std::uint64_t notRead = 0;
    ScanOptions options;
    options.denyFolder = [&](std::string_view p) { return p == locked; };
    options.progress = [&](std::uint64_t, std::uint64_t, std::uint64_t folders) { notRead = folders; };
    ScanFolder(tree, dir.Path(), options);
    const NodeId l = NodeAt(tree, "locked");
    EXPECT_TRUE(tree.Data(l).flags & TFileNodeData::Unreadable);
    EXPECT_EQ(ReasonText(tree, l), "Permission denied");
    EXPECT_EQ(ReasonText(tree, NodeAt(tree, "open")), "");
    EXPECT_EQ(notRead, 1u);
    EXPECT_EQ(tree.Notes().summary.foldersNotRead, 1u);

    // A copy in a list keeps the mark and says the same.
    TNodeTree list;
    CopyNodeData(tree, l, list, list.AddTopLevel());
    EXPECT_EQ(ReasonText(list, list.First()), "Permission denied");

    // A chosen folder that does not exist is a marked top node.
    ScanFolder(tree, dir / "missing");
    EXPECT_TRUE(tree.Data(tree.First()).flags & TFileNodeData::Unreadable);
    EXPECT_EQ(ReasonText(tree, tree.First()), "No such file or directory");
    EXPECT_EQ(tree.Notes().summary.foldersNotRead, 1u);
}

TEST_F(ScanTruthTest, ExcludedEntriesAreLeftOutAndCountedNowhere)
{
    dir.File("keep.txt", 1);
    dir.File("a.o", 100);
    dir.File("build/x", 100);
    dir.File("src/build", 2);     // a file: "build/" leaves out folders only
    dir.File("src/m.c", 100);
    dir.File("src/sub/n.c", 100); // "*" of a path pattern reaches below
    dir.File("lib/m.c", 4);
    dir.File("docs/readme", 100); // "/docs" is the top-level docs only
    dir.File("lib/docs/guide", 8);
    dir.File(".cache/blob", 100);
    ScanOptions options;
    options.choices.exclude = {"*.o", "build/", "src/*.c", "/docs", ".cache/"};
    ScanFolder(tree, dir.Path(), options);
    std::set<std::string> listed;
    for (NodeId n = tree.Next(tree.First()); n != kNoNode; n = tree.Next(n))
        listed.insert(tree.PathBytes(n).substr(dir.Path().size() + 1));
    EXPECT_EQ(listed, (std::set<std::string>{"keep.txt", "src", "src/build", "src/sub", "lib", "lib/m.c", "lib/docs",
                                             "lib/docs/guide"}));
    EXPECT_EQ(tree.Field(tree.First(), FileSize), "15");
    EXPECT_EQ(tree.Field(tree.First(), FileCount), "8");
    EXPECT_EQ(tree.Notes().summary.excluded, 6u); // a.o, build, src/m.c, src/sub/n.c, docs, .cache
    EXPECT_EQ(tree.Notes().summary.patterns, 5u);
    EXPECT_NE(SummaryText(tree.Notes().summary).find("6 entries left out by 5 patterns"), std::string::npos);
}

TEST_F(ScanTruthTest, KernelFileSystemsAreNotWalkedNotEvenAsTheChosenFolder)
{
    const TMountTable mounts = TMountTable::OfThisProcess();
    std::vector<std::string> kernelBelowRoot; // mount points right below "/" of kernel file systems
    bool procMounted = false;
    for (const TMount &m : mounts.Mounts()) {
        static const std::set<std::string> kKernel = {"proc", "sysfs", "devtmpfs", "devpts", "debugfs", "tracefs",
                                                      "securityfs", "cgroup", "cgroup2", "pstore", "bpf", "configfs",
                                                      "fusectl", "efivarfs", "mqueue", "hugetlbfs", "binfmt_misc"};
        if (m.mountPoint.size() > 1 && m.mountPoint.find('/', 1) == std::string::npos && kKernel.count(m.type))
            kernelBelowRoot.push_back(m.mountPoint.substr(1));
        procMounted = procMounted || (m.mountPoint == "/proc" && m.type == "proc");
    }
    if (!procMounted)
        GTEST_SKIP() << "no proc file system at /proc here";

    ScanFolder(tree, "/proc");
    const NodeId top = tree.First();
    EXPECT_EQ(tree.ChildCount(top), 0u);
    EXPECT_TRUE(tree.Data(top).flags & TFileNodeData::NotScanned);
    EXPECT_EQ(ReasonText(tree, top), "Not scanned: kernel file system (proc)");
    EXPECT_EQ(tree.Field(top, FileSize), "0");
    EXPECT_EQ(tree.Notes().summary.kernelFolders, 1u);
    EXPECT_NE(SummaryText(tree.Notes().summary).find("1 folder not scanned"), std::string::npos);

    // "/" itself is read (and nothing below it, so the test does not walk the machine).
    ScanFolder(tree, "/", {.denyFolder = [](std::string_view p) { return p != "/"; }});
    ASSERT_FALSE(kernelBelowRoot.empty());
    for (const std::string &name : kernelBelowRoot) {
        const NodeId n = NodeAt(tree, name);
        ASSERT_NE(n, kNoNode) << name;
        EXPECT_TRUE(tree.Data(n).flags & TFileNodeData::NotScanned) << name;
        EXPECT_FALSE(tree.Data(n).flags & TFileNodeData::Unreadable) << name; // never even opened
        EXPECT_EQ(tree.ChildCount(n), 0u) << name;
    }
    EXPECT_EQ(tree.Notes().summary.kernelFolders, kernelBelowRoot.size());
}
