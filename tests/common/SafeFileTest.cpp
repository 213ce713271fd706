#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/SafeFile.h"
#include "support/Files.h"
#include "support/TempDir.h"

using namespace folvane;


TEST(SafeFile, ReplacesTheOldFileOnlyOnCommit)
{
    test::TempDir dir;
    std::string path = dir / "out.txt";
    WriteFileAtomically(path, "old");
    {
        AtomicFile file(path);
        file.Write("new content");
        EXPECT_EQ(test::ReadFile(path), "old"); // not yet
        file.Commit();
    }
    EXPECT_EQ(test::ReadFile(path), "new content");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1); // no temporary left
}

TEST(SafeFile, AnAbandonedWriteLeavesTheOldFileWholeAndNoTemporary)
{
    test::TempDir dir;
    std::string path = dir / "out.txt";
    WriteFileAtomically(path, "old");
    {
        AtomicFile file(path);
        file.Write(std::string(3 << 20, 'x')); // beyond the buffer: really written to disk
    }
    EXPECT_EQ(test::ReadFile(path), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST(SafeFile, AFolderThatCannotBeWrittenIsAnErrorNamingThePath)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    test::TempDir dir;
    std::string folder = dir.Folder("ro");
    WriteFileAtomically(folder + "/keep.txt", "old");
    ::chmod(folder.c_str(), 0555);
    try {
        WriteFileAtomically(folder + "/keep.txt", "new");
        FAIL() << "no error";
    } catch (const std::runtime_error &e) {
        EXPECT_NE(std::string(e.what()).find(folder + "/keep.txt"), std::string::npos);
    }
    EXPECT_EQ(test::ReadFile(folder + "/keep.txt"), "old");
}

TEST(SafeFile, AMissingFolderIsAnError)
{
    test::TempDir dir;
    EXPECT_THROW(WriteFileAtomically(dir / "no/such/folder/x.txt", "x"), std::runtime_error);
}

TEST(SafeFile, AReplacedFileKeepsItsPermissionsAndANewOneFollowsTheUmask)
{
    test::TempDir dir;
    std::string kept = dir / "kept.txt";
    WriteFileAtomically(kept, "old");
    for (mode_t mode : {mode_t(0600), mode_t(0664), mode_t(0640)}) {
        ::chmod(kept.c_str(), mode);
        WriteFileAtomically(kept, "new");
        struct stat st {};
        ASSERT_EQ(::stat(kept.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode);
    }

    const mode_t old = ::umask(077);
    std::string fresh = dir / "fresh.txt";
    WriteFileAtomically(fresh, "x");
    ::umask(old);
    struct stat st {};
    ASSERT_EQ(::stat(fresh.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, mode_t(0600));
}

TEST(SafeFile, ALinkStaysALinkAndItsFileGetsTheNewContent)
{
    test::TempDir dir;
    std::string file = dir.Folder("real") + "/data.csv";
    std::string link = dir / "latest.csv";
    WriteFileAtomically(file, "old");
    std::filesystem::create_symlink(file, link);
    WriteFileAtomically(link, "new");
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(test::ReadFile(file), "new");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2); // real/, latest.csv
}
