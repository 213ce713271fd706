// The interchange format against the terminal analysers themselves (the Debian packages ncdu and
// gdu, which scripts/install-deps.sh installs): their exports open with the sizes find gives,
// and they read Folvane's export as it is.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "catalog/CatalogFile.h"
#include "catalog/CatalogNotes.h"
#include "catalog/ScanFixtures.h"
#include "catalog/uFileReader.h"
#include "export/NcduJsonWriter.h"
#include "support/Files.h"
#include "support/TempDir.h"

using namespace folvane;

namespace {

bool onPath(const std::string &program)
{
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a shell command with its output and errors in files; answers its exit status.
int run(const std::string &command, const std::string &out, const std::string &err)
{
    const int status = std::system((command + " >" + test::Quoted(out) + " 2>" + test::Quoted(err) + " </dev/null").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Found {
    std::uint64_t apparent = 0, blocks = 0;
    std::int64_t written = 0;
};

// Every entry below `root` but folders, by its path below it, as find sees it.
std::map<std::string, Found> findEntries(const std::string &root)
{
    const std::string out = test::Output("find " + test::Quoted(root) + " -mindepth 1 ! -type d -printf '%P\\0%s\\0%b\\0%T@\\0'");
    std::map<std::string, Found> entries;
    std::size_t at = 0;
    auto next = [&] {
        const std::size_t end = out.find('\0', at);
        std::string part = out.substr(at, end - at);
        at = end + 1;
        return part;
    };
    while (at < out.size()) {
        const std::string path = next();
        Found f;
        f.apparent = std::stoull(next());
        f.blocks = std::stoull(next());
        f.written = std::stoll(next());
        entries[path] = f;
    }
    return entries;
}

class NcduInterchangeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetForms(TextForms::EnUs());
        if (!onPath("ncdu") || !onPath("gdu"))
            GTEST_SKIP() << "ncdu and gdu are not installed (scripts/install-deps.sh installs them)";
        root = dir.Folder("root");
        dir.File("root/a.txt", 100);
        test::WriteFile(dir / "root/real.bin", std::string(10000, 'x')); // blocks on disk, not sparse
        dir.File("root/sub/deep/x.bin", 5000);
        dir.File("root/sub/with space & \"quotes\".txt", 3);
        dir.Folder("root/empty");
        ASSERT_EQ(::link((dir / "root/real.bin").c_str(), (dir / "root/sub/second-name").c_str()), 0);
        ASSERT_EQ(::symlink("a.txt", (dir / "root/link").c_str()), 0);
        ASSERT_EQ(::mkfifo((dir / "root/sub/fifo").c_str(), 0644), 0);
    }

    CatalogReadOutcome open(TNodeTree &tree, const std::string &file, SizeKind kind)
    {
        CatalogReadOptions options;
        options.choices.sizeKind = kind;
        return ReadCatalogFile(tree, file, options);
    }

    test::TempDir dir;
    std::string root;
};

} // namespace

TEST_F(NcduInterchangeTest, TheirExportsOpenWithTheSizesFindGives)
{
    const std::map<std::string, Found> found = findEntries(root);
    ASSERT_GE(found.size(), 7u);
    const struct {
        const char *command;
        bool times; // ncdu 1.18 writes mtime only in its extended mode (-e)
    } exporters[] = {
        {"ncdu -o OUT ROOT", false},
        {"ncdu -e -o OUT ROOT", true},
        {"gdu -n -p -o OUT ROOT", true},
    };
    for (const auto &e : exporters) {
        SCOPED_TRACE(e.command);
        const std::string file = dir / "export.json";
        std::string command = e.command;
        command.replace(command.find("OUT"), 3, test::Quoted(file));
        command.replace(command.find("ROOT"), 4, test::Quoted(root));
        ASSERT_EQ(run(command, dir / "out", dir / "err"), 0) << test::ReadFile(dir / "err");

        for (SizeKind kind : {SizeKind::Apparent, SizeKind::DiskUsage}) {
            TNodeTree tree;
            open(tree, file, kind);
            EXPECT_EQ(tree.Field(tree.First(), FileName), root);
            std::uint64_t total = 0;
            for (const auto &[path, f] : found) {
                const NodeId n = test::NodeAt(tree, path);
                ASSERT_NE(n, kNoNode) << path;
                EXPECT_EQ(tree.Field(n, FileType), "file") << path;
                const std::uint64_t size = kind == SizeKind::Apparent ? f.apparent : f.blocks * 512;
                EXPECT_EQ(tree.Field(n, FileSize), std::to_string(size)) << path;
                EXPECT_EQ(tree.Field(n, WriteTime), e.times ? FormatDateTime(ToLocalSeconds(f.written)) : "") << path;
                total += size;
            }
            // A folder's own size is not counted, as in a scan: the top holds its files' sizes.
            EXPECT_EQ(tree.Field(tree.First(), FileSize), std::to_string(total));
            EXPECT_EQ(tree.Field(test::NodeAt(tree, "empty"), FileType), "folder");
            EXPECT_EQ(tree.Field(test::NodeAt(tree, "empty"), FileSize), "0");
        }
    }
}

TEST_F(NcduInterchangeTest, NcduReadsOurExportWithTheSameNamesAndSizes)
{
    dir.File("root/raw\xff.bin", 7); // a name that is not UTF-8 keeps its bytes through both programs
    TNodeTree scanned;
    ScanFolder(scanned, root);
    const std::string ours = dir / "ours.json", back = dir / "back.json";
    WriteNcduJson(scanned, ours);
    ASSERT_EQ(run("ncdu -f " + test::Quoted(ours) + " -o " + test::Quoted(back), dir / "out", dir / "err"), 0)
        << test::ReadFile(dir / "err");
    for (SizeKind kind : {SizeKind::Apparent, SizeKind::DiskUsage}) {
        ApplyCountingChoices(scanned, kind, false);
        TNodeTree again;
        open(again, back, kind);
        ASSERT_EQ(again.NodeCount(), scanned.NodeCount());
        for (NodeId n = scanned.First(); n != kNoNode; n = scanned.Next(n)) {
            const std::string path = scanned.PathBytes(n);
            const NodeId m = n == scanned.First() ? again.First() : test::NodeAt(again, path.substr(root.size() + 1));
            ASSERT_NE(m, kNoNode) << path;
            EXPECT_EQ(again.Field(m, FileType), scanned.Field(n, FileType)) << path;
            EXPECT_EQ(again.Field(m, FileSize), scanned.Field(n, FileSize)) << path;
        }
    }
}

TEST_F(NcduInterchangeTest, GduReadsOurExportWithoutError)
{
    TNodeTree scanned;
    ScanFolder(scanned, root);
    const std::string ours = dir / "ours.json";
    WriteNcduJson(scanned, ours);
    // Non-interactive, apparent sizes as plain numbers: one line per top-level entry.
    ASSERT_EQ(run("gdu -f " + test::Quoted(ours) + " -n -p -a --no-prefix", dir / "out", dir / "err"), 0)
        << test::ReadFile(dir / "err");
    EXPECT_EQ(test::ReadFile(dir / "err"), "");
    // gdu gives a folder a size of its own where the file names none; files are as written.
    const std::string listed = test::ReadFile(dir / "out");
    EXPECT_NE(listed.find(" /sub\n"), std::string::npos) << listed;
    EXPECT_NE(listed.find(" 10000 real.bin\n"), std::string::npos) << listed;
    EXPECT_NE(listed.find(" 100 a.txt\n"), std::string::npos) << listed;
}
