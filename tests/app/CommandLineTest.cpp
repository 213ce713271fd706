// The command line: what the arguments ask for, and the built program run without a window or a
// display, as a server's administrator runs it.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "catalog/CatalogFile.h"
#include "catalog/ScanFixtures.h"
#include "config/ConfigStore.h"
#include "config/FolvaneConfig.h"
#include "support/Files.h"
#include "support/TempDir.h"

using namespace folvane;

namespace {

TCommandLine parse(std::initializer_list<std::string_view> args)
{
    const std::vector<std::string_view> list(args);
    return ParseCommandLine(list);
}

} // namespace

TEST(CommandLine, ArgumentsSayWhatToDo)
{
    using A = TCommandLine::Action;
    const struct {
        std::vector<std::string_view> args;
        A action;
        const char *input, *output, *error;
    } cases[] = {
        {{}, A::Window, "", "", ""},
        {{"/srv"}, A::Window, "/srv", "", ""},
        {{"--", "-odd-name"}, A::Window, "-odd-name", "", ""},
        {{"--help"}, A::Help, "", "", ""},
        {{"/srv", "-h"}, A::Help, "", "", ""},
        {{"--version"}, A::Version, "", "", ""},
        {{"--output", "out.json", "/srv"}, A::Convert, "/srv", "out.json", ""},
        {{"-o", "out.XML", "--disk-usage", "--hardlinks-once", "week1.json"}, A::Convert, "week1.json", "out.XML", ""},
        {{"--output=out.json", "--exclude", "-weird-", "--one-file-system", "/srv"}, A::Convert, "/srv", "out.json", ""},
        {{"--exclude", "srv", "--output", "o.json", "srv"}, A::Convert, "srv", "o.json", ""},
        {{"--frobnicate"}, A::Usage, "", "", "unknown option --frobnicate"},
        {{"--output"}, A::Usage, "", "", "--output needs a file to write"},
        {{"--output", "o.json"}, A::Usage, "", "", "--output needs a FOLDER or CATALOGUE"},
        {{"--output", "o.txt", "/srv"}, A::Usage, "", "", "must end in .xml"},
        {{"--output", "o.json", "/a", "/b"}, A::Usage, "", "", "one FOLDER or CATALOGUE at most"},
        {{"--output", "o.json", "--exclude"}, A::Usage, "", "", "--exclude needs a pattern"},
        {{"--output", "o.json", "--exclude", "", "/srv"}, A::Usage, "", "", "--exclude \"\""},
        {{"--disk-usage", "/srv"}, A::Usage, "", "", "scan options go with --output"},
    };
    for (const auto &c : cases) {
        const TCommandLine line = ParseCommandLine(c.args);
        std::string shown;
        for (auto a : c.args)
            shown += std::string(a) + " ";
        EXPECT_EQ(line.action, c.action) << shown;
        EXPECT_EQ(line.input, c.input) << shown;
        EXPECT_EQ(line.output, c.output) << shown;
        EXPECT_NE(line.error.find(c.error), std::string::npos) << shown << ": " << line.error;
    }
    // The scan flags go over the configuration's choices when the run starts.
    const TCommandLine line = parse({"-o", "o.json", "--disk-usage", "--exclude", "srv", "srv"});
    const std::vector<std::string_view> flags(line.scanFlags.begin(), line.scanFlags.end());
    ScanChoices configured;
    configured.hardLinksOnce = true;
    const ScanChoices applied = ParseScanArguments(flags, configured).choices;
    EXPECT_EQ(applied.sizeKind, SizeKind::DiskUsage);
    EXPECT_TRUE(applied.hardLinksOnce);
    EXPECT_EQ(applied.exclude, std::vector<std::string>{"srv"});
}

namespace {

class ProgramCommandLineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        program = bin.Path() + "/folvane";
        std::filesystem::copy_file(FOLVANE_PROGRAM, program);
        data.File("tree/a.txt", 1000);
        data.File("tree/sub/b.bin", 1 << 20); // sparse: no blocks on disk
        test::WriteFile(data / "tree/sub/real.txt", std::string(5000, 'r'));
    }

    // Runs the program with no display at all and a home of its own; answers the exit status.
    int run(const std::string &args)
    {
        const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME=" + test::Quoted(home.Path()) +
                                    " XDG_CONFIG_HOME=" + test::Quoted(home / "config") + " " + test::Quoted(program) + " " +
                                    args + " >" + test::Quoted(data / "out") + " 2>" + test::Quoted(data / "err") +
                                    " </dev/null";
        const int status = std::system(command.c_str());
        out = test::ReadFile(data / "out");
        err = test::ReadFile(data / "err");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // No configuration was made anywhere.
    void expectNoConfiguration()
    {
        EXPECT_FALSE(std::filesystem::exists(bin / "FolvaneConfig.xml"));
        EXPECT_FALSE(std::filesystem::exists(home / "config/folvane"));
        EXPECT_FALSE(std::filesystem::exists(home / ".config"));
    }

    test::TempDir bin, home, data;
    std::string program, out, err;
};

} // namespace

TEST_F(ProgramCommandLineTest, HelpVersionAndMistakes)
{
    EXPECT_EQ(run("--help"), 0);
    EXPECT_EQ(out.rfind(UsageLine() + "\n", 0), 0u);
    EXPECT_NE(out.find("Exit status"), std::string::npos);
    EXPECT_EQ(err, "");
    EXPECT_EQ(run("--version"), 0);
    EXPECT_EQ(out, VersionText() + "\n");
    for (const char *wrong : {"--no-such-option", "--output", "--output x.json", "--output x.csv /tmp", "--disk-usage /tmp"}) {
        EXPECT_EQ(run(wrong), 2) << wrong;
        EXPECT_EQ(out, "") << wrong;
        EXPECT_EQ(err.rfind("folvane: ", 0), 0u) << wrong << ": " << err;
        EXPECT_NE(err.find("\n" + UsageLine() + "\n"), std::string::npos) << wrong << ": " << err;
    }
    expectNoConfiguration();
}

TEST_F(ProgramCommandLineTest, ScansAndConvertsWithoutADisplay)
{
    const std::string json = data / "tree.json", xml = data / "tree.xml", again = data / "again.json";
    ASSERT_EQ(run("--output " + test::Quoted(json) + " " + test::Quoted(data / "tree")), 0) << err;
    EXPECT_EQ(err, "") << "nothing said but to a terminal";
    TNodeTree fromJson;
    ReadCatalogFile(fromJson, json);
    EXPECT_EQ(fromJson.Field(fromJson.First(), FileName), data / "tree") << "the top folder as a full path";
    EXPECT_EQ(fromJson.Field(test::NodeAt(fromJson, "sub/b.bin"), FileSize), "1048576");

    // JSON to XML and back: the same catalogue.
    ASSERT_EQ(run("--output " + test::Quoted(xml) + " " + test::Quoted(json)), 0) << err;
    ASSERT_EQ(run("-o " + test::Quoted(again) + " " + test::Quoted(xml)), 0) << err;
    TNodeTree fromXml, back;
    ReadCatalogFile(fromXml, xml);
    ReadCatalogFile(back, again);
    for (const TNodeTree *t : {&fromXml, &back}) {
        ASSERT_EQ(t->NodeCount(), fromJson.NodeCount());
        for (NodeId m = fromJson.First(), n = t->First(); m != kNoNode; m = fromJson.Next(m), n = t->Next(n)) {
            EXPECT_EQ(t->PathBytes(n), fromJson.PathBytes(m));
            EXPECT_EQ(t->Field(n, FileSize), fromJson.Field(m, FileSize));
        }
    }
    // The scan options of the command line: disk usage, and what a pattern leaves out.
    ASSERT_EQ(run("--output " + test::Quoted(xml) + " --disk-usage --exclude 'real.*' " + test::Quoted(data / "tree")), 0) << err;
    ReadCatalogFile(fromXml, xml);
    EXPECT_EQ(fromXml.Field(test::NodeAt(fromXml, "sub/b.bin"), FileSize), "0");
    EXPECT_EQ(test::NodeAt(fromXml, "sub/real.txt"), kNoNode);
    expectNoConfiguration();
}

TEST_F(ProgramCommandLineTest, ProgressGoesToATerminalOnly)
{
    // script(1) gives the program a terminal: the progress line is written over, then cleared,
    // and the summary says what was written.
    const std::string json = data / "tree.json";
    const std::string command = "script -qefc " +
                                test::Quoted("env -u DISPLAY " + program + " --output " + json + " " + (data / "tree")) +
                                " /dev/null";
    const std::string seen = test::Output(command);
    EXPECT_NE(seen.find(" entries, "), std::string::npos) << seen;
    EXPECT_NE(seen.find("\r\x1b[K"), std::string::npos) << seen;
    EXPECT_NE(seen.find("4 entries written to " + json), std::string::npos) << seen;
    EXPECT_TRUE(std::filesystem::exists(json));
}

TEST_F(ProgramCommandLineTest, AFoundConfigurationIsReadAndLeftAsItIs)
{
    // Beside the program: disk usage chosen in Scan Options.
    auto config = ConfigFromText(std::string(kDefaultConfigText));
    ScanChoices choices;
    choices.sizeKind = SizeKind::DiskUsage;
    config->ScanOptions().SetChoices(choices);
    const std::string file = bin / "FolvaneConfig.xml";
    test::WriteFile(file, config->Xml());
    struct stat before {};
    ::stat(file.c_str(), &before);
    const std::string text = test::ReadFile(file);

    const std::string xml = data / "tree.xml";
    ASSERT_EQ(run("--output " + test::Quoted(xml) + " " + test::Quoted(data / "tree")), 0) << err;
    TNodeTree tree;
    ReadCatalogFile(tree, xml);
    EXPECT_EQ(tree.Field(test::NodeAt(tree, "sub/b.bin"), FileSize), "0") << "disk usage, as configured";
    ASSERT_EQ(run("--output " + test::Quoted(xml) + " --apparent-size " + test::Quoted(data / "tree")), 0) << err;
    ReadCatalogFile(tree, xml);
    EXPECT_EQ(tree.Field(test::NodeAt(tree, "sub/b.bin"), FileSize), "1048576") << "the flag over the configuration";

    struct stat after {};
    ::stat(file.c_str(), &after);
    EXPECT_EQ(test::ReadFile(file), text);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);

    // A configuration that cannot be used is said once; the built-in choices scan.
    test::WriteFile(file, "<config");
    ASSERT_EQ(run("--output " + test::Quoted(xml) + " " + test::Quoted(data / "tree")), 0) << err;
    EXPECT_NE(err.find("the configuration cannot be used"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);
    EXPECT_EQ(test::ReadFile(file), "<config");
}

TEST_F(ProgramCommandLineTest, AFailureSaysWhyInOneLineAndLeavesTheOutput)
{
    const std::string output = data / "keep.json";
    test::WriteFile(output, "the file that was there");
    const std::string bad = data / "bad.json";
    test::WriteFile(bad, "[1,2,{},\n[{\"name\":\"/x\"},{\"name\":\"a\",\"asize\":-1}]]");
    EXPECT_EQ(run("--output " + test::Quoted(output) + " " + test::Quoted(bad)), 1);
    EXPECT_EQ(err, "folvane: \"" + bad + "\", line 2, column 36: \"asize\" is negative\n");
    EXPECT_EQ(run("--output " + test::Quoted(output) + " " + test::Quoted(data / "missing")), 1);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);
    EXPECT_NE(err.find("missing"), std::string::npos);
    EXPECT_EQ(test::ReadFile(output), "the file that was there");
    // A folder that cannot be written to.
    EXPECT_EQ(run("--output " + test::Quoted(data / "no/such/folder/out.json") + " " + test::Quoted(data / "tree")), 1);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("no/such/folder"), std::string::npos) << err;
    expectNoConfiguration();
}
