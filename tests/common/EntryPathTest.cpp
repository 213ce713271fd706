#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "common/EntryPath.h"
#include "support/TempDir.h"

using namespace folvane;

TEST(EntryPath, StepsNameTheFoldersOnTheWay)
{
    struct Case {
        std::string top, below;
        std::string full;
        std::vector<std::string> atSteps;   // PathAtStep(0..)
        std::vector<std::string> fromSteps; // RelativeFromStep(0..)
    };
    const Case cases[] = {
        {"/home/u/", "a/b", "/home/u/a/b", {"/", "/home", "/home/u", "/home/u/a", "/home/u/a/b"},
         {"home/u/a/b", "u/a/b", "a/b", "b", ""}},
        {"/", "x", "/x", {"/", "/x"}, {"x", ""}},
        {"data", "y", "data/y", {".", "data", "data/y"}, {"data/y", "y", ""}},
        {"/m//n/./", "", "/m//n/./", {"/", "/m", "/m/n"}, {"m/n", "n", ""}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.top + " + " + c.below);
        const TEntryPath path = TEntryPath::Below(c.top, c.below);
        EXPECT_EQ(path.Full(), c.full);
        ASSERT_EQ(path.Steps(), c.atSteps.size());
        for (std::size_t step = 0; step < path.Steps(); ++step) {
            EXPECT_EQ(path.PathAtStep(step), c.atSteps[step]) << step;
            EXPECT_EQ(path.RelativeFromStep(step), c.fromSteps[step]) << step;
        }
    }
}

TEST(EntryPath, OpensFollowingLinksOnlyInTheTopsOwnPath)
{
    test::TempDir dir;
    dir.Folder("real/inner");
    std::filesystem::create_directory_symlink(dir / "real", dir / "top-link");
    std::filesystem::create_directory_symlink(dir / "real/inner", dir / "real/inner-link");
    int error = 0;
    std::vector<std::size_t> steps;
    TUniqueFd fd = OpenFolderAt(TEntryPath::Below(dir / "top-link", "inner"), 1, error,
                                [&](std::size_t step, int) { steps.push_back(step); });
    ASSERT_TRUE(fd.Valid()) << ErrorText(error);
    struct stat a {}, b {};
    ::fstat(fd.Get(), &a);
    ::stat((dir / "real/inner").c_str(), &b);
    EXPECT_EQ(a.st_ino, b.st_ino);
    EXPECT_EQ(steps.size(), TEntryPath::Below(dir / "top-link", "inner").Steps());

    fd = OpenFolderAt(TEntryPath::Below(dir / "top-link", "inner-link"), 1, error);
    EXPECT_FALSE(fd.Valid());
    EXPECT_TRUE(error == ELOOP || error == ENOTDIR) << ErrorText(error);
    fd = OpenFolderAt(TEntryPath::Below(dir.Path(), "real/gone"), 2, error);
    EXPECT_EQ(error, ENOENT);
}
