#include <gtest/gtest.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>
#include <sstream>

#include "common/Trash.h"
#include "support/Files.h"
#include "support/TempDir.h"

using namespace folvane;
namespace fs = std::filesystem;

namespace {

// A home trash inside a test's own folder, on the fixture's file system.
struct Sandbox {
    test::TempDir dir;
    TrashPlaces places{dir / "data/Trash", unsigned(::getuid())};

    TEntryPath entry(const std::string &below) const { return TEntryPath::Below(dir.Path(), below); }
    std::string trash(const std::string &relative) const { return places.homeTrash + "/" + relative; }
    std::size_t infoFiles() const
    {
        std::error_code ec;
        return fs::is_directory(trash("info"), ec) ? std::size_t(std::distance(fs::directory_iterator(trash("info")), {})) : 0;
    }
};

struct MoveToTrashTest : ::testing::Test, Sandbox {};

// The key=value lines of an info file after its "[Trash Info]" head.
std::map<std::string, std::string> infoOf(const std::string &path)
{
    std::map<std::string, std::string> values;
    std::istringstream in(test::ReadFile(path));
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "[Trash Info]");
    while (std::getline(in, line))
        if (auto eq = line.find('='); eq != std::string::npos)
            values[line.substr(0, eq)] = line.substr(eq + 1);
    return values;
}

} // namespace

TEST_F(MoveToTrashTest, AFileAndAFolderGoToTheHomeTrashWithTheirOriginalPaths)
{
    test::WriteFile(dir.File("docs/report.txt"), "content");
    dir.File("photos/2024/a.jpg", 10);
    dir.File("photos/b.jpg", 20);

    const TrashResult file = MoveToTrash(entry("docs/report.txt"), ExpectedKind::NotFolder, places);
    ASSERT_EQ(file.outcome, TrashOutcome::Moved) << file.reason;
    EXPECT_EQ(file.trashed, trash("files/report.txt"));
    EXPECT_EQ(test::ReadFile(file.trashed), "content");
    EXPECT_FALSE(fs::exists(dir / "docs/report.txt"));
    const auto info = infoOf(trash("info/report.txt.trashinfo"));
    EXPECT_EQ(info.at("Path"), dir / "docs/report.txt");
    EXPECT_TRUE(std::regex_match(info.at("DeletionDate"), std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d)")));

    const TrashResult folder = MoveToTrash(entry("photos"), ExpectedKind::Folder, places);
    ASSERT_EQ(folder.outcome, TrashOutcome::Moved) << folder.reason;
    EXPECT_TRUE(fs::exists(trash("files/photos/2024/a.jpg")));
    EXPECT_EQ(infoOf(folder.info).at("Path"), dir / "photos");
    EXPECT_FALSE(fs::exists(dir / "photos"));
    // The trash is this user's alone.
    struct stat st {};
    ASSERT_EQ(::stat(places.homeTrash.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(MoveToTrashTest, TheDeletionDateIsTheLocalTimeGiven)
{
    dir.File("a");
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    const TrashResult r = MoveToTrash(entry("a"), ExpectedKind::Any, places, std::time_t(1700000000));
    ::unsetenv("TZ");
    ::tzset();
    ASSERT_EQ(r.outcome, TrashOutcome::Moved);
    EXPECT_EQ(infoOf(r.info).at("DeletionDate"), "2023-11-14T22:13:20");
}

TEST_F(MoveToTrashTest, NamesThatClashGetTheirOwnSlotAndPathsKeepTheirBytes)
{
    dir.File("one/same.txt", 1);
    dir.File("two/same.txt", 2);
    const std::string latin1 = "caf\xE9 100%.txt"; // not UTF-8
    dir.File("two/" + latin1, 3);
    // A leftover in files/ without an info file is not overwritten either.
    fs::create_directories(trash("files"));
    test::WriteFile(trash("files/same.txt.2"), "leftover");

    ASSERT_EQ(MoveToTrash(entry("one/same.txt"), ExpectedKind::Any, places).outcome, TrashOutcome::Moved);
    const TrashResult second = MoveToTrash(entry("two/same.txt"), ExpectedKind::Any, places);
    ASSERT_EQ(second.outcome, TrashOutcome::Moved) << second.reason;
    EXPECT_EQ(second.trashed, trash("files/same.txt.3"));
    EXPECT_EQ(fs::file_size(second.trashed), 2u);
    EXPECT_EQ(test::ReadFile(trash("files/same.txt.2")), "leftover");
    EXPECT_EQ(infoOf(second.info).at("Path"), dir / "two/same.txt");

    const TrashResult odd = MoveToTrash(entry("two/" + latin1), ExpectedKind::Any, places);
    ASSERT_EQ(odd.outcome, TrashOutcome::Moved) << odd.reason;
    EXPECT_EQ(odd.trashed, trash("files/" + latin1));
    EXPECT_EQ(fs::file_size(odd.trashed), 3u);
    EXPECT_EQ(infoOf(odd.info).at("Path"), dir / "two/caf%E9%20100%25.txt");
}

// Failures that hold for root too: each leaves the disk as it was and no info file behind.
TEST_F(MoveToTrashTest, FailuresSayWhyAndLeaveNothingHalfDone)
{
    struct Case {
        const char *name;
        std::function<void(Sandbox &)> arrange;
        std::string below;
        ExpectedKind expected;
        TrashOutcome outcome;
        std::string reasonHas;
    };
    const Case cases[] = {
        {"an entry already gone", [](Sandbox &) {}, "missing.txt", ExpectedKind::Any, TrashOutcome::Gone,
         "no longer there"},
        {"its folder already gone", [](Sandbox &) {}, "nowhere/missing.txt", ExpectedKind::Any,
         TrashOutcome::Gone, "no longer there"},
        {"a trash that is a regular file",
         [](Sandbox &f) {
             fs::create_directories(f.dir / "data");
             test::WriteFile(f.places.homeTrash, "not a folder");
         },
         "keep.txt", ExpectedKind::Any, TrashOutcome::Failed, "is not a folder"},
        {"a trash whose info is a regular file",
         [](Sandbox &f) {
             fs::create_directories(f.trash("files"));
             test::WriteFile(f.trash("info"), "not a folder");
         },
         "keep.txt", ExpectedKind::Any, TrashOutcome::Failed, "info\u201D is not a folder"},
        {"a folder now where the catalogue had a file",
         [](Sandbox &f) { f.dir.Folder("swapped"); }, "swapped", ExpectedKind::NotFolder,
         TrashOutcome::Failed, "replaced"},
        {"a folder on its path replaced by a link",
         [](Sandbox &f) {
             f.dir.File("elsewhere/keep.txt", 5);
             fs::create_directory_symlink(f.dir / "elsewhere", f.dir / "linked");
         },
         "linked/keep.txt", ExpectedKind::Any, TrashOutcome::Failed, "replaced"},
        {"a folder that holds the trash itself",
         [](Sandbox &f) { fs::create_directories(f.trash("files")); }, "data", ExpectedKind::Folder,
         TrashOutcome::Failed, "holds the trash folder"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Sandbox f;
        f.dir.File("keep.txt", 7);
        c.arrange(f);
        const auto before = [&] {
            std::vector<std::string> all;
            for (auto &e : fs::recursive_directory_iterator(f.dir.Path()))
                all.push_back(e.path().string());
            std::sort(all.begin(), all.end());
            return all;
        };
        const std::vector<std::string> was = before();
        const TrashResult r = MoveToTrash(f.entry(c.below), c.expected, f.places);
        EXPECT_EQ(r.outcome, c.outcome);
        EXPECT_NE(r.reason.find(c.reasonHas), std::string::npos) << r.reason;
        // Trash folders made on the way may stay; nothing else changed, and no info file is left.
        std::vector<std::string> now = before();
        std::erase_if(now, [&](const std::string &p) {
            return p.starts_with(f.places.homeTrash) && std::find(was.begin(), was.end(), p) == was.end();
        });
        EXPECT_EQ(now, was);
        EXPECT_EQ(f.infoFiles(), 0u);
    }
}

TEST_F(MoveToTrashTest, AnEntryPastThePathLimitIsReachedAndRestorable)
{
    // Folders of 200-byte names, 30 deep: a path of over 6,000 bytes.
    const std::string name(200, 'd');
    std::string below;
    int fd = ::open(dir.Path().c_str(), O_PATH | O_DIRECTORY);
    for (int i = 0; i < 30; ++i) {
        ASSERT_EQ(::mkdirat(fd, name.c_str(), 0755), 0);
        int next = ::openat(fd, name.c_str(), O_PATH | O_DIRECTORY);
        ::close(fd);
        fd = next;
        below += (below.empty() ? "" : "/") + name;
    }
    int file = ::openat(fd, "deep.txt", O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(file, 0);
    ::close(file);
    ::close(fd);

    const TrashResult r = MoveToTrash(entry(below + "/deep.txt"), ExpectedKind::NotFolder, places);
    ASSERT_EQ(r.outcome, TrashOutcome::Moved) << r.reason;
    EXPECT_EQ(infoOf(r.info).at("Path"), dir / below + "/deep.txt");
    EXPECT_TRUE(fs::exists(trash("files/deep.txt")));
}

TEST_F(MoveToTrashTest, ThePlacesComeFromTheEnvironment)
{
    const char *home = std::getenv("HOME");
    const char *data = std::getenv("XDG_DATA_HOME");
    const std::string savedHome = home ? home : "", savedData = data ? data : "";
    ::setenv("HOME", (dir / "home").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (dir / "xdg/").c_str(), 1);
    EXPECT_EQ(TrashPlacesOfEnvironment().homeTrash, dir / "xdg/Trash");
    ::setenv("XDG_DATA_HOME", "relative/data", 1); // not absolute: ignored
    EXPECT_EQ(TrashPlacesOfEnvironment().homeTrash, dir / "home/.local/share/Trash");
    ::unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(TrashPlacesOfEnvironment().homeTrash, dir / "home/.local/share/Trash");
    EXPECT_EQ(TrashPlacesOfEnvironment().uid, unsigned(::getuid()));

    // A fresh account: the data folder is made with the trash.
    dir.File("x.txt");
    const TrashResult r = MoveToTrash(entry("x.txt"), ExpectedKind::Any, TrashPlacesOfEnvironment());
    EXPECT_EQ(r.outcome, TrashOutcome::Moved) << r.reason;
    EXPECT_TRUE(fs::exists(dir / "home/.local/share/Trash/files/x.txt"));

    if (home)
        ::setenv("HOME", savedHome.c_str(), 1);
    else
        ::unsetenv("HOME");
    if (data)
        ::setenv("XDG_DATA_HOME", savedData.c_str(), 1);
}

namespace {

// Runs `body` in a child process with mounts of its own; its answer is "" for success, a text
// starting with "skip:" when the machine cannot give it a mount, else what went wrong.
std::string inOwnMounts(const std::function<std::string()> &body)
{
    int pipe[2];
    if (::pipe(pipe) != 0)
        return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipe[0]);
        std::string answer;
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            answer = "skip: no mount namespace of its own here";
        else
            answer = body();
        [[maybe_unused]] ssize_t n = ::write(pipe[1], answer.data(), answer.size());
        ::_exit(0);
    }
    ::close(pipe[1]);
    std::string answer;
    char buffer[512];
    for (ssize_t n; (n = ::read(pipe[0], buffer, sizeof buffer)) > 0;)
        answer.append(buffer, std::size_t(n));
    ::close(pipe[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return answer;
}

} // namespace

TEST_F(MoveToTrashTest, AnEntryOnAnotherMountGoesToThatMountsTrash)
{
    const std::string answer = inOwnMounts([&]() -> std::string {
        const std::string mnt = dir.Folder("mnt");
        if (::mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=1m") != 0)
            return "skip: a tmpfs cannot be mounted here";
        std::string problems;
        auto check = [&](bool ok, const std::string &what) {
            if (!ok)
                problems += what + "; ";
        };
        // Without a shared .Trash: the user's own .Trash-UID at the mount's top.
        ::mkdir((mnt + "/music").c_str(), 0755);
        test::WriteFile(mnt + "/music/song.ogg", "la");
        TrashResult r = MoveToTrash(TEntryPath::Below(dir.Path(), "mnt/music/song.ogg"), ExpectedKind::Any, places);
        const std::string own = mnt + "/.Trash-" + std::to_string(places.uid);
        check(r.outcome == TrashOutcome::Moved, "not moved: " + r.reason);
        check(r.trashed == own + "/files/song.ogg", "trashed at " + r.trashed);
        check(test::ReadFile(own + "/info/song.ogg.trashinfo").find("\nPath=music/song.ogg\n") != std::string::npos,
              "info: " + test::ReadFile(own + "/info/song.ogg.trashinfo"));
        check(!fs::exists(places.homeTrash), "the home trash was made");

        // A shared .Trash with the sticky bit: the user's folder in it.
        ::mkdir((mnt + "/.Trash").c_str(), 01777);
        ::chmod((mnt + "/.Trash").c_str(), 01777);
        test::WriteFile(mnt + "/b.txt", "b");
        r = MoveToTrash(TEntryPath::Below(mnt, "b.txt"), ExpectedKind::Any, places);
        const std::string shared = mnt + "/.Trash/" + std::to_string(places.uid);
        check(r.trashed == shared + "/files/b.txt", "shared: trashed at " + r.trashed + " " + r.reason);

        // Without the sticky bit the shared one is not used.
        ::chmod((mnt + "/.Trash").c_str(), 0777);
        test::WriteFile(mnt + "/c.txt", "c");
        r = MoveToTrash(TEntryPath::Below(mnt, "c.txt"), ExpectedKind::Any, places);
        check(r.trashed == own + "/files/c.txt", "not sticky: trashed at " + r.trashed + " " + r.reason);

        // A mount point itself is not moved.
        const std::string inner = mnt + "/inner";
        ::mkdir(inner.c_str(), 0755);
        if (::mount("tmpfs", inner.c_str(), "tmpfs", 0, "size=1m") == 0) {
            r = MoveToTrash(TEntryPath::Below(mnt, "inner"), ExpectedKind::Folder, places);
            check(r.outcome == TrashOutcome::Failed && r.reason.find("mounted") != std::string::npos,
                  "mount point: " + r.reason);
            ::umount(inner.c_str());
        }
        ::umount(mnt.c_str());
        return problems;
    });
    if (answer.starts_with("skip:"))
        GTEST_SKIP() << answer;
    EXPECT_EQ(answer, "");
}
