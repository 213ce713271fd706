// Scans that need another user or another mount: as root every folder is readable and mounts are
// the machine's, so each case runs in a forked child that drops to the user nobody, or that takes
// a private mount namespace for a tmpfs of its own. The child answers through a pipe.
//
// These tests fork and then start the scan's threads in the child; the thread sanitizer does not
// follow a forked child that starts threads, so they live in their own test binary, which a
// thread-sanitizer run leaves out.

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>

#include "ScanFixtures.h"
#include "catalog/CatalogNotes.h"
#include "catalog/MountTable.h"
#include "catalog/uFileReader.h"
#include "support/TempDir.h"

using namespace folvane;
using test::NodeAt;

namespace {

// Runs `work` in a forked child and returns what it answers: empty when all is well, else what
// went wrong (or "skip: ..." when the case cannot be set up here).
std::string inChild(const std::function<std::string()> &work)
{
    int pipe[2];
    if (::pipe(pipe) != 0)
        return "no pipe";
    const pid_t pid = ::fork();
    if (pid < 0)
        return "no fork";
    if (pid == 0) {
        ::close(pipe[0]);
        std::string answer;
        try {
            answer = work();
        } catch (const std::exception &e) {
            answer = std::string("exception: ") + e.what();
        }
        [[maybe_unused]] const auto written = ::write(pipe[1], answer.data(), answer.size());
        ::_exit(0);
    }
    ::close(pipe[1]);
    std::string answer;
    char buffer[512];
    for (ssize_t got; (got = ::read(pipe[0], buffer, sizeof buffer)) > 0;)
        answer.append(buffer, std::size_t(got));
    ::close(pipe[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status))
        return "the child did not end normally";
    return answer;
}

// Collects what a check found wrong.
struct Findings {
    std::string text;
    void Expect(bool ok, const std::string &what)
    {
        if (!ok)
            text += what + "\n";
    }
};

class ScanAsUserTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetForms(TextForms::EnUs());
        ::chmod(dir.Path().c_str(), 0755);
    }
    test::TempDir dir;
};

} // namespace

TEST_F(ScanAsUserTest, AFolderTheUserMayNotReadIsChildlessForThatUser)
{
    dir.File("locked/secret", 50);
    dir.File("open/visible", 7);
    ::chmod((dir / "locked").c_str(), 0);
    const std::string answer = inChild([&]() -> std::string {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            return "could not become nobody";
        TNodeTree t;
        ScanFolder(t, dir.Path());
        Findings f;
        const NodeId l = NodeAt(t, "locked");
        f.Expect(l != kNoNode && t.ChildCount(l) == 0 && t.Field(l, FileSize) == "0",
                 "the locked folder is not childless with size 0");
        f.Expect(t.Field(NodeAt(t, "open/visible"), FileSize) == "7", "open/visible is not complete");
        f.Expect(t.Field(t.First(), FileSize) == "7", "the total is " + t.Field(t.First(), FileSize));
        return f.text;
    });
    EXPECT_EQ(answer, "");
}

TEST_F(ScanAsUserTest, FoldersTheUserCannotSearchOrReadKeepTheirEntriesMarkedAndCounted)
{
    dir.File("listable/a.txt", 10);
    dir.File("listable/sub/inner", 20);
    dir.File("closed/secret", 50);
    dir.File("open/visible", 7);
    ::chmod((dir / "listable").c_str(), 0444); // may be listed, not searched: no entry can be looked at
    ::chmod((dir / "closed").c_str(), 0);      // may not even be listed
    const std::string answer = inChild([&]() -> std::string {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            return "could not become nobody";
        TNodeTree t;
        ScanFolder(t, dir.Path(), {.threads = 3});
        Findings f;
        auto marked = [&](const char *path) {
            const NodeId n = NodeAt(t, path);
            return n != kNoNode && (t.Data(n).flags & TFileNodeData::Unreadable) &&
                   ReasonText(t, n) == "Permission denied";
        };
        for (const char *path : {"listable", "listable/a.txt", "listable/sub", "closed"})
            f.Expect(marked(path), std::string(path) + " is not marked \"Permission denied\"");
        const NodeId a = NodeAt(t, "listable/a.txt"), sub = NodeAt(t, "listable/sub");
        f.Expect(a != kNoNode && t.Field(a, FileType) == "file" && t.Field(a, FileSize) == "0" &&
                     t.Field(a, WriteTime).empty() && t.Field(a, CreateTime).empty() && t.Field(a, FileExt) == "txt",
                 "the file known by name only is not a timeless file of size 0");
        f.Expect(sub != kNoNode && t.Field(sub, FileType) == "folder" && t.ChildCount(sub) == 0,
                 "the folder known by name only is not a childless folder");
        f.Expect(t.ChildCount(NodeAt(t, "closed")) == 0, "closed has children");
        f.Expect(t.Field(NodeAt(t, "open/visible"), FileSize) == "7", "open/visible is not complete");
        f.Expect(t.Field(t.First(), FileSize) == "7", "the total is " + t.Field(t.First(), FileSize));
        f.Expect(t.Field(t.First(), FileCount) == "6", "the count is " + t.Field(t.First(), FileCount));
        f.Expect(t.Notes().summary.foldersNotRead == 3,
                 "folders not read: " + std::to_string(t.Notes().summary.foldersNotRead));
        f.Expect(SummaryText(t.Notes().summary).find("3 folders not read") != std::string::npos,
                 "summary: " + SummaryText(t.Notes().summary));
        return f.text;
    });
    EXPECT_EQ(answer, "");
}

// A tmpfs of the test's own in a private mount namespace where root may make one; else /dev/shm
// below /dev where /dev is an ordinary file system; else the case is skipped, saying why.
TEST_F(ScanAsUserTest, OneFileSystemDoesNotEnterAMountPointOfAnotherDevice)
{
    dir.File("here/file", 5);
    dir.Folder("mnt");
    const std::string mnt = dir / "mnt";
    const std::string answer = inChild([&]() -> std::string {
        if (::unshare(CLONE_NEWNS) != 0)
            return std::string("skip: no private mount namespace (") + std::strerror(errno) + ")";
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=1m") != 0)
            return std::string("skip: cannot mount a tmpfs (") + std::strerror(errno) + ")";
        dir.File("mnt/inside", 1000);
        TNodeTree t;
        ScanOptions options;
        options.choices.oneFileSystem = true;
        ScanFolder(t, dir.Path(), options);
        Findings f;
        const NodeId m = NodeAt(t, "mnt");
        f.Expect(m != kNoNode && t.ChildCount(m) == 0, "the mount point was entered");
        f.Expect(m != kNoNode && (t.Data(m).flags & TFileNodeData::NotScanned), "the mount point is not marked");
        f.Expect(ReasonText(t, m) == "Not scanned: another file system (tmpfs)", "reason: " + ReasonText(t, m));
        f.Expect(t.Field(t.First(), FileSize) == "5", "total " + t.Field(t.First(), FileSize));
        f.Expect(t.Notes().summary.otherFsFolders == 1, "otherfs count");
        f.Expect(SummaryText(t.Notes().summary).find("one file system") != std::string::npos, "summary");
        ScanFolder(t, dir.Path()); // across file systems, the default
        f.Expect(t.Field(NodeAt(t, "mnt/inside"), FileSize) == "1000", "the tmpfs is not walked by default");
        f.Expect(t.Field(t.First(), FileSize) == "1005", "total across " + t.Field(t.First(), FileSize));
        ::umount(mnt.c_str());
        return f.text;
    });
    if (answer.rfind("skip: ", 0) != 0) {
        EXPECT_EQ(answer, "");
        return;
    }
    // The fallback: an existing mount point of another device below an ordinary folder.
    const TMountTable mounts = TMountTable::OfThisProcess();
    const TMount *dev = nullptr, *shm = nullptr;
    for (const TMount &m : mounts.Mounts()) {
        dev = m.mountPoint == "/dev" ? &m : dev;
        shm = m.mountPoint == "/dev/shm" ? &m : shm;
    }
    if (!dev || !shm || IsKernelFileSystem(dev->type) || (dev->major == shm->major && dev->minor == shm->minor))
        GTEST_SKIP() << answer.substr(6) << "; and /dev/shm is not another device below an ordinary /dev";
    TNodeTree t;
    ScanOptions options;
    options.choices.oneFileSystem = true;
    options.denyFolder = [](std::string_view p) { return p != "/dev/"; };
    ScanFolder(t, "/dev", options);
    const NodeId m = NodeAt(t, "shm");
    ASSERT_NE(m, kNoNode);
    EXPECT_TRUE(t.Data(m).flags & TFileNodeData::NotScanned);
    EXPECT_EQ(t.ChildCount(m), 0u);
}
