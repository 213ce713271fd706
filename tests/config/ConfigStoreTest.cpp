#include "config/ConfigStore.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>

#include <gtest/gtest.h>

#include "ConfigTestFiles.h"
#include "RunGuarded.h"
#include "support/TempDir.h"

namespace folvane {
namespace {

namespace fs = std::filesystem;
using testing::ReadText;
using TestDir = test::TempDir;
using testing::WriteText;

// A program folder and a user configuration folder (not created) inside one temporary folder.
class ConfigStoreTest : public ::testing::Test {
protected:
    ConfigStoreTest()
    {
        fs::create_directory(fs::path(dir / "prog"));
        places.programFolder = fs::path(dir / "prog");
        places.userFolder = fs::path(dir / "home/.config/folvane");
    }
    ~ConfigStoreTest() override { ResetConfig(); }

    // Makes the program folder read-only. Permission bits do not stop root, so the store's
    // probe is made to answer as it would for anyone else.
    void MakeProgramFolderReadOnly()
    {
        fs::permissions(places.programFolder, fs::perms::owner_read | fs::perms::owner_exec);
        places.canCreateFileIn = [real = places.programFolder](const fs::path &folder) {
            return folder != real && TConfigPlaces::CanCreateFileIn(folder);
        };
    }

    std::string ProgramFile() const { return (places.programFolder / "FolvaneConfig.xml").string(); }
    std::string UserFile() const { return (places.userFolder / "FolvaneConfig.xml").string(); }

    TestDir dir;
    TConfigPlaces places;
};

TEST_F(ConfigStoreTest, MissingFileIsCreatedWithTheDefaultTextAndLoaded)
{
    TConfig store(places);
    EXPECT_EQ(store.ConfigFileName(), ProgramFile());
    EXPECT_EQ(ReadText(ProgramFile()), kDefaultConfigText);
    EXPECT_FALSE(store.OnDefaults());
    EXPECT_TRUE(store.CanSave());
    EXPECT_EQ(store.XMLConfig()->Nodes().Count(), 15);
    EXPECT_EQ(store.XMLConfig()->Agerange().Item(1).Value(), 3);
    EXPECT_FALSE(fs::exists(places.userFolder.parent_path()));
}

TEST_F(ConfigStoreTest, ExistingFileIsReadAndNotWritten)
{
    const std::string text = "<config versionNo=\"1\"><nodes><node Name=\"File Size\" Visible=\"0\" Index=\"0\" "
                             "Width=\"55\" ReadOnly=\"false\"/></nodes><agerange><item label=\"d\" value=\"2\"/>"
                             "</agerange><sizerange><item label=\"s\" value=\"9\"/></sizerange></config>";
    WriteText(ProgramFile(), text);
    const auto stamp = fs::last_write_time(ProgramFile()) - std::chrono::hours(1);
    fs::last_write_time(ProgramFile(), stamp);

    TConfig store(places);
    EXPECT_FALSE(store.OnDefaults());
    TXMLNodesType nodes = store.XMLConfig()->Nodes();
    ASSERT_EQ(nodes.Count(), 1);
    EXPECT_EQ(nodes.Node(0).Width(), 55);
    EXPECT_FALSE(nodes.Node(0).Visible());
    EXPECT_EQ(ReadText(ProgramFile()), text);
    EXPECT_EQ(fs::last_write_time(ProgramFile()), stamp);
}

TEST_F(ConfigStoreTest, SaveWritesTheConfigElementAloneAndReloadsAlike)
{
    std::string first;
    {
        TConfig store(places);
        TXMLNodeType node = store.XMLConfig()->Nodes().Node(4);
        node.SetVisible(false);
        node.SetWidth(33);
        node.SetIndex(9);
        store.XMLConfig()->Frame().SetLeft("Größe ✓ <&>"); // text outside ASCII, and markup
        store.Save();
        first = ReadText(ProgramFile());
        store.Save();
        EXPECT_EQ(ReadText(ProgramFile()), first) << "two saves write the same text";
    }
    EXPECT_TRUE(first.starts_with("<config versionNo=\"2\">"));
    EXPECT_EQ(first.find_first_of("\r\n"), std::string::npos);
    EXPECT_NE(first.find("<node Name=\"DOS Name\" Visible=\"False\" Index=\"9\" DefaultExport=\"True\" Width=\"33\""),
              std::string::npos);

    TConfig again(places);
    EXPECT_FALSE(again.OnDefaults());
    TXMLNodeType node = again.XMLConfig()->Nodes().Node(4);
    EXPECT_FALSE(node.Visible());
    EXPECT_EQ(node.Width(), 33);
    EXPECT_EQ(node.Index(), 9);
    EXPECT_EQ(again.XMLConfig()->Nodes().Node(5).Width(), 66);
    EXPECT_EQ(again.XMLConfig()->Frame().Left(), "Größe ✓ <&>");
    EXPECT_EQ(again.XMLConfig()->Xml(), first);
}

TEST_F(ConfigStoreTest, UnusableFileIsKeptAndTheDefaultsServed)
{
    const std::string good = "<node Name=\"a\" Visible=\"True\" Index=\"0\" Width=\"10\" ReadOnly=\"True\"/>";
    struct Case {
        const char *name;
        std::string text;
        int line; // 0: the problem has no line
        std::string inMessage;
    } cases[] = {
        {"empty file", "", 1, "no element found"},
        {"not XML", "FolvaneConfig", 1, "syntax error"},
        {"content after the root", std::string(kDefaultConfigText) + "<config/>", 1, "junk after document element"},
        {"bare ampersand", "<config><frame left=\"&\"/></config>", 1, "not well-formed"},
        {"broken XML", "<config>\n<nodes>\n<node Name=\"a\">\n</nodes>\n</config>", 4, "mismatch"},
        {"other root", "<fileinfo><nodes/></fileinfo>", 0, "fileinfo"},
        {"Width not a number", "<config>\n<nodes>" + good + "\n<node Name=\"b\" Visible=\"True\" Index=\"1\" Width=\"wide\" ReadOnly=\"True\"/></nodes></config>", 3, "column 2 (\"b\"): Attribute Width"},
        {"Visible missing", "<config><nodes><node Name=\"a\" Index=\"0\" Width=\"10\" ReadOnly=\"True\"/></nodes></config>", 1, "Visible"},
        {"Index empty", "<config><nodes><node Name=\"a\" Visible=\"1\" Index=\"\" Width=\"10\" ReadOnly=\"True\"/></nodes></config>", 1, "Index"},
        {"ReadOnly not a boolean", "<config><nodes><node Name=\"a\" Visible=\"1\" Index=\"0\" Width=\"10\" ReadOnly=\"maybe\"/></nodes></config>", 1, "ReadOnly"},
        {"age boundary not a number", "<config><nodes>" + good + "</nodes><agerange>\n\n<item label=\"x\" value=\"ten\"/></agerange></config>", 3, "agerange item 1"},
        {"size boundary out of range", "<config><sizerange><item label=\"1\" value=\"10\"/><item label=\"3G\" value=\"3000000000\"/></sizerange></config>", 1, "sizerange item 2"},
        {"scan option not a boolean", "<config>\n<scanoptions DiskUsage=\"sometimes\"/></config>", 2, "scanoptions: Attribute DiskUsage"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        WriteText(ProgramFile(), c.text);
        TConfig store(places);
        ASSERT_TRUE(store.OnDefaults());
        EXPECT_FALSE(store.CanSave());
        const TConfigProblem &problem = *store.Problem();
        EXPECT_EQ(problem.path, ProgramFile());
        EXPECT_EQ(problem.line, c.line);
        EXPECT_NE(problem.message.find(c.inMessage), std::string::npos) << problem.message;
        EXPECT_NE(problem.Text().find(ProgramFile()), std::string::npos) << problem.Text();
        EXPECT_EQ(problem.savesTo, "") << "the program folder can be written: nothing is saved elsewhere";

        // The defaults serve, and nothing reaches the file.
        EXPECT_EQ(store.XMLConfig()->Nodes().Count(), 15);
        store.XMLConfig()->Nodes().Node(0).SetVisible(false);
        store.Save();
        EXPECT_EQ(ReadText(ProgramFile()), c.text);
        EXPECT_FALSE(fs::exists(UserFile()));
    }
}

TEST_F(ConfigStoreTest, NotWellFormedFileIsReportedWithColumnAndTheTextThere)
{
    // The default text, one line, with a second Width in the third column's entry.
    std::string text(kDefaultConfigText);
    const std::string entry = "Width=\"84\" ";
    const std::size_t at = text.find(entry) + entry.size();
    text.insert(at, "Width=\"85\" ");
    WriteText(ProgramFile(), text);

    TConfig store(places);
    ASSERT_TRUE(store.OnDefaults());
    const TConfigProblem &problem = *store.Problem();
    EXPECT_EQ(problem.line, 1);
    EXPECT_EQ(problem.column, int(at) + 1); // plain ASCII: one byte, one column
    EXPECT_EQ(problem.excerpt, "...faultExport=\"True\" Width=\"84\" Width=\"85\" ReadOnly=\"False\" Al...");
    EXPECT_EQ(problem.Text(), "\"" + ProgramFile() + "\", line 1, column " + std::to_string(at + 1) +
                                  ": duplicate attribute (at \"" + problem.excerpt + "\")");
    store.Save();
    EXPECT_EQ(ReadText(ProgramFile()), text);
}

// What the store makes of the file, said from inside a guarded child; then a changed width is
// saved (or not).
std::string LoadAndSave(const TConfigPlaces &places)
{
    TConfig store(places);
    std::string said = store.OnDefaults() ? "defaults: " + store.Problem()->Text()
                                          : "loaded " + std::to_string(store.XMLConfig()->Nodes().Count());
    store.XMLConfig()->Nodes().Node(0).SetWidth(12);
    store.Save();
    return said;
}

// Type, link target, size and time of what is at `path`, to see that nothing changed it.
std::string Fingerprint(const fs::path &path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return "missing";
    std::string print = std::to_string(st.st_mode) + " " + std::to_string(st.st_size) + " " +
                        std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
    if (S_ISLNK(st.st_mode))
        print += " -> " + fs::read_symlink(path).string();
    return print;
}

TEST_F(ConfigStoreTest, OnlyARegularFileOfAtMost16MiBIsRead)
{
    const fs::path pipe = dir / "pipe", good = dir / "good.xml";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
    WriteText(good, kDefaultConfigText);
    auto sized = [](std::uintmax_t bytes) {
        return [bytes](const fs::path &p) {
            WriteText(p, "");
            fs::resize_file(p, bytes); // sparse: no 16 MiB written
        };
    };
    auto linkTo = [](fs::path target) { return [target](const fs::path &p) { fs::create_symlink(target, p); }; };
    const std::string refused = "defaults: \"" + ProgramFile() + "\": Cannot read the file: ";
    struct Case {
        const char *name;
        std::function<void(const fs::path &)> make;
        std::string said; // the start of what the store says
    } cases[] = {
        {"named pipe", [](const fs::path &p) { ::mkfifo(p.c_str(), 0644); }, refused + "a named pipe (FIFO), not a regular file"},
        {"link to /dev/zero", linkTo("/dev/zero"), refused + "a character device, not a regular file"},
        {"link to a named pipe", linkTo(pipe), refused + "a named pipe (FIFO), not a regular file"},
        {"folder", [](const fs::path &p) { fs::create_directory(p); }, refused + "a folder, not a regular file"},
        {"one byte over 16 MiB", sized((16u << 20) + 1), refused + "larger than 16 MiB (16777217 bytes)"},
        // Read, and then refused for what it holds.
        {"exactly 16 MiB", sized(16u << 20), "defaults: \"" + ProgramFile() + "\", line 1, column 1: not well-formed"},
        {"link to a regular file", linkTo(good), "loaded 15"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(ProgramFile());
        c.make(ProgramFile());
        const std::string before = Fingerprint(ProgramFile());

        testing::GuardedResult result = testing::RunGuarded([&] { return LoadAndSave(places); });
        EXPECT_TRUE(result.finished) << result.text;
        EXPECT_TRUE(result.text.starts_with(c.said)) << result.text;
        EXPECT_EQ(result.text.find(ProgramFile()), result.text.rfind(ProgramFile())) << "the path is said once";

        EXPECT_EQ(Fingerprint(ProgramFile()), before) << "what is there stays as it is";
        EXPECT_EQ(std::distance(fs::directory_iterator(places.programFolder), {}), 1) << "nothing written beside it";
        EXPECT_FALSE(fs::exists(places.userFolder));
    }
    EXPECT_NE(ReadText(good).find("Width=\"12\""), std::string::npos) << "the linked file was saved through the link";
}

TEST_F(ConfigStoreTest, UnusableFileInReadOnlyProgramFolderIsLeftAndTheSettingsGoToTheUserFile)
{
    struct Case {
        const char *name;
        std::function<void(const fs::path &)> make;
    } cases[] = {
        {"not well-formed", [](const fs::path &p) { WriteText(p, "<config><nodes/></config>trailing"); }},
        {"a value that does not read",
         [](const fs::path &p) {
             WriteText(p, "<config><nodes><node Name=\"File Name\" Visible=\"True\" Index=\"0\" Width=\"wide\" "
                          "ReadOnly=\"True\"/></nodes></config>");
         }},
        {"not a regular file", [](const fs::path &p) { fs::create_directory(p); }},
    };
    MakeProgramFolderReadOnly();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        fs::permissions(places.programFolder, fs::perms::owner_all); // the test itself sets it up
        fs::remove_all(ProgramFile());
        c.make(ProgramFile());
        fs::permissions(places.programFolder, fs::perms::owner_read | fs::perms::owner_exec);
        fs::remove_all(places.userFolder);
        const std::string before = Fingerprint(ProgramFile());
        const std::string bytes = fs::is_regular_file(ProgramFile()) ? ReadText(ProgramFile()) : "";
        {
            TConfig store(places);
            ASSERT_TRUE(store.OnDefaults());
            EXPECT_TRUE(store.CanSave());
            EXPECT_EQ(store.ConfigFileName(), UserFile());
            const TConfigProblem &problem = *store.Problem();
            EXPECT_EQ(problem.path, ProgramFile());
            EXPECT_EQ(problem.savesTo, UserFile());
            EXPECT_TRUE(problem.Text().ends_with("\n\nThe settings will be kept in \"" + UserFile() + "\" from now on."))
                << problem.Text();
            EXPECT_FALSE(fs::exists(UserFile())) << "nothing is written before a save";
            EXPECT_EQ(store.XMLConfig()->Nodes().Count(), 15);
            store.XMLConfig()->Nodes().Node(0).SetWidth(99);
            store.Save();
        }
        EXPECT_EQ(Fingerprint(ProgramFile()), before);
        if (!bytes.empty()) {
            EXPECT_EQ(ReadText(ProgramFile()), bytes);
        }

        TConfig again(places); // the next start reads the user's file, without a word
        EXPECT_FALSE(again.OnDefaults()) << again.Problem()->Text();
        EXPECT_EQ(again.ConfigFileName(), UserFile());
        EXPECT_EQ(again.XMLConfig()->Nodes().Count(), 15);
        EXPECT_EQ(again.XMLConfig()->Nodes().Node(0).Width(), 99);
    }
}

TEST_F(ConfigStoreTest, LoadableOddFilesAreUsedAsTheyAre)
{
    const std::string node = "<node Name=\"File Size\" Visible=\"TRUE\" Index=\"0\" Width=\"1.0\" ReadOnly=\"0\"/>";
    struct Case {
        const char *name;
        std::string text;
        int columns;
    } cases[] = {
        {"no frame", "<config versionNo=\"2\"><nodes>" + node + "</nodes></config>", 1},
        {"no nodes", "<config versionNo=\"2\"><frame/></config>", 0},
        {"node without Name", "<config><nodes><node Visible=\"1\" Index=\"0\" Width=\"5\" ReadOnly=\"1\"/></nodes></config>", 1},
        {"comment and foreign element in nodes", "<config><nodes><!--x--><col/>" + node + "<column/>" + node + "</nodes></config>", 2},
        {"versionNo 1", "<config versionNo=\"1\"><nodes>" + node + "</nodes></config>", 1},
        {"indented with a declaration", "<?xml version=\"1.0\"?>\n<config>\n  <nodes>\n    " + node + "\n  </nodes>\n</config>\n", 1},
        {"scan options with flags missing", "<config><nodes>" + node + "</nodes><scanoptions><exclude pattern=\"*.o\"/></scanoptions></config>", 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        WriteText(ProgramFile(), c.text);
        std::string saved;
        {
            TConfig store(places);
            ASSERT_FALSE(store.OnDefaults()) << store.Problem()->Text();
            EXPECT_EQ(store.XMLConfig()->Nodes().Count(), c.columns);
            store.Save();
            saved = ReadText(ProgramFile());
        }
        EXPECT_TRUE(saved.starts_with("<config")) << saved;
        EXPECT_NE(saved.find("<nodes"), std::string::npos) << "a missing nodes element is written";
        TConfig again(places);
        ASSERT_FALSE(again.OnDefaults());
        EXPECT_EQ(again.XMLConfig()->Nodes().Count(), c.columns);
        EXPECT_EQ(again.XMLConfig()->Xml(), saved);
    }
}

TEST_F(ConfigStoreTest, ReadOnlyProgramFolderPutsTheFileInTheUserFolder)
{
    MakeProgramFolderReadOnly();
    {
        TConfig store(places);
        EXPECT_FALSE(store.OnDefaults());
        EXPECT_EQ(store.ConfigFileName(), UserFile());
        EXPECT_EQ(ReadText(UserFile()), kDefaultConfigText);
        store.XMLConfig()->Nodes().Node(0).SetWidth(99);
        store.Save();
    }
    EXPECT_FALSE(fs::exists(ProgramFile()));
    TConfig again(places);
    EXPECT_EQ(again.XMLConfig()->Nodes().Node(0).Width(), 99);
}

TEST_F(ConfigStoreTest, FileInReadOnlyProgramFolderIsReadAndSavedToTheUserFolder)
{
    const std::string shipped = "<config><nodes><node Name=\"File Name\" Visible=\"True\" Index=\"0\" "
                                "Width=\"40\" ReadOnly=\"True\"/></nodes></config>";
    WriteText(ProgramFile(), shipped);
    MakeProgramFolderReadOnly();
    {
        TConfig store(places);
        EXPECT_FALSE(store.OnDefaults());
        EXPECT_EQ(store.ConfigFileName(), UserFile());
        EXPECT_EQ(store.XMLConfig()->Nodes().Node(0).Width(), 40);
        EXPECT_FALSE(fs::exists(UserFile())) << "reading writes nothing";
        store.XMLConfig()->Nodes().Node(0).SetWidth(41);
        store.Save();
    }
    EXPECT_EQ(ReadText(ProgramFile()), shipped);
    TConfig again(places); // the user's copy now comes first
    EXPECT_EQ(again.XMLConfig()->Nodes().Node(0).Width(), 41);
}

TEST_F(ConfigStoreTest, NoPlaceToCreateTheFileServesTheDefaults)
{
    MakeProgramFolderReadOnly();
    WriteText(dir / "home", "a file where the home folder should be");
    TConfig store(places);
    ASSERT_TRUE(store.OnDefaults());
    EXPECT_FALSE(store.CanSave());
    EXPECT_EQ(store.Problem()->path, UserFile());
    EXPECT_NE(store.Problem()->message.find("Cannot create"), std::string::npos);
    EXPECT_EQ(store.XMLConfig()->Nodes().Count(), 15);
    EXPECT_NO_THROW(store.Save());
    EXPECT_FALSE(fs::exists(ProgramFile()));
}

// Makes every write beyond `bytes` of a file fail (EFBIG), whatever the user's privileges.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        ::signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit old_{};
    sighandler_t oldHandler_;
};

TEST_F(ConfigStoreTest, FailedSaveKeepsTheOldFileAndTheChanges)
{
    TConfig store(places);
    store.XMLConfig()->Nodes().Node(2).SetWidth(77);
    {
        FileSizeLimit limit(1000); // the saved text is about 2.4 KB
        try {
            store.Save();
            ADD_FAILURE() << "the save did not fail";
        } catch (const std::exception &e) {
            EXPECT_NE(std::string(e.what()).find(ProgramFile()), std::string::npos) << e.what();
        }
    }
    EXPECT_EQ(ReadText(ProgramFile()), kDefaultConfigText);
    EXPECT_EQ(std::distance(fs::directory_iterator(places.programFolder), {}), 1) << "no temporary file left";
    EXPECT_EQ(store.XMLConfig()->Nodes().Node(2).Width(), 77);

    store.Save();
    EXPECT_NE(ReadText(ProgramFile()).find("Width=\"77\""), std::string::npos);
}

TEST_F(ConfigStoreTest, SaveKeepsALinkAndRespectsAReadOnlyFile)
{
    const std::string real = dir / "dotfiles/FolvaneConfig.xml";
    fs::create_directories(fs::path(real).parent_path());
    WriteText(real, kDefaultConfigText);
    fs::create_symlink(real, ProgramFile());
    {
        TConfig store(places);
        store.XMLConfig()->Nodes().Node(1).SetWidth(5);
        store.Save();
    }
    EXPECT_TRUE(fs::is_symlink(ProgramFile()));
    EXPECT_NE(ReadText(real).find("<node Name=\"Full Path\" Visible=\"True\" Index=\"1\" DefaultExport=\"True\" Width=\"5\""),
              std::string::npos);

    fs::permissions(real, fs::perms::owner_read | fs::perms::group_read);
    TConfig store(places);
    store.XMLConfig()->Nodes().Node(1).SetWidth(6);
    const std::string before = ReadText(real);
    EXPECT_THROW(store.Save(), std::runtime_error);
    EXPECT_EQ(ReadText(real), before);
    EXPECT_EQ(store.XMLConfig()->Nodes().Node(1).Width(), 6);
}

TEST_F(ConfigStoreTest, RemovedFileComesBackWithTheNextSave)
{
    TConfig store(places);
    store.XMLConfig()->Nodes().Node(0).SetIndex(3);
    fs::remove(ProgramFile());
    EXPECT_EQ(store.XMLConfig()->Nodes().Node(0).Index(), 3);
    EXPECT_FALSE(fs::exists(ProgramFile()));
    store.Save();
    EXPECT_NE(ReadText(ProgramFile()).find("Index=\"3\""), std::string::npos);
}

TEST_F(ConfigStoreTest, GetConfigCreatesOnceAndThenOnlyReturns)
{
    ResetConfig(places);
    TConfig &first = GetConfig();
    EXPECT_EQ(first.ConfigFileName(), ProgramFile());
    const TXMLConfigType *root = first.XMLConfig().get();
    fs::remove(ProgramFile());
    EXPECT_EQ(&GetConfig(), &first);
    EXPECT_EQ(GetConfig().XMLConfig().get(), root);
    EXPECT_FALSE(fs::exists(ProgramFile())) << "later calls do not touch the file";

    WriteText(ProgramFile(), "broken");
    ResetConfig(places);
    EXPECT_TRUE(GetConfig().OnDefaults());
}

TEST(ConfigPlaces, ProgramAndUserFolders)
{
    struct Env {
        const char *name;
        std::optional<std::string> saved;
        explicit Env(const char *n) : name(n)
        {
            if (const char *v = std::getenv(n))
                saved = v;
        }
        ~Env() { saved ? ::setenv(name, saved->c_str(), 1) : ::unsetenv(name); }
    } xdg("XDG_CONFIG_HOME"), home("HOME");

    ::setenv("HOME", "/home/someone", 1);
    ::setenv("XDG_CONFIG_HOME", "/etc/xdg-someone", 1);
    EXPECT_EQ(TConfigPlaces::ForThisProgram().userFolder, fs::path("/etc/xdg-someone/folvane"));
    ::setenv("XDG_CONFIG_HOME", "relative/not/used", 1);
    EXPECT_EQ(TConfigPlaces::ForThisProgram().userFolder, fs::path("/home/someone/.config/folvane"));
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(TConfigPlaces::ForThisProgram().userFolder, fs::path("/home/someone/.config/folvane"));

    EXPECT_EQ(TConfigPlaces::ForThisProgram().programFolder, fs::read_symlink("/proc/self/exe").parent_path());
}

} // namespace
} // namespace folvane
