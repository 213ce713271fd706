#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "common/Terminal.h"
#include "support/Files.h"
#include "support/TempDir.h"

using namespace folvane;

namespace {

// An executable script at `path`.
void script(const std::string &path, const std::string &body)
{
    test::WriteFile(path, "#!/bin/sh\n" + body);
    ::chmod(path.c_str(), 0755);
}

// Sets an environment variable for the lifetime of the guard (null: unset).
struct EnvGuard {
    std::string name;
    std::optional<std::string> saved;
    EnvGuard(std::string n, const char *value) : name(std::move(n))
    {
        if (const char *old = std::getenv(name.c_str()))
            saved = old;
        if (value)
            ::setenv(name.c_str(), value, 1);
        else
            ::unsetenv(name.c_str());
    }
    ~EnvGuard()
    {
        if (saved)
            ::setenv(name.c_str(), saved->c_str(), 1);
        else
            ::unsetenv(name.c_str());
    }
};

} // namespace

TEST(Terminal, TheUsersChoiceComesFirstThenTheSystemsThenTheCommonOnes)
{
    test::TempDir dir;
    const std::string bin = dir.Folder("bin"), other = dir.Folder("other");
    script(bin + "/my-term", "");
    script(bin + "/x-terminal-emulator", "");
    script(other + "/xterm", "");
    script(other + "/konsole", "");
    test::WriteFile(other + "/foot", ""); // not executable: not a terminal
    const std::string both = bin + ":" + other;

    struct Case {
        std::optional<std::string> terminal;
        std::string path;
        std::string program;
        std::vector<std::string> args;
    };
    const Case cases[] = {
        {"my-term --hold", both, bin + "/my-term", {"my-term", "--hold"}},
        {bin + "/my-term", other, bin + "/my-term", {bin + "/my-term"}},
        {"not-installed", both, bin + "/x-terminal-emulator", {"x-terminal-emulator"}},
        {std::nullopt, both, bin + "/x-terminal-emulator", {"x-terminal-emulator"}},
        {"   ", other, other + "/konsole", {"konsole"}}, // konsole comes before xterm
        {std::nullopt, "relative:" + dir / "none", "", {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.terminal.value_or("(unset)"));
        const std::optional<TerminalCommand> found = FindTerminal(c.terminal ? c.terminal->c_str() : nullptr, c.path.c_str());
        if (c.program.empty()) {
            EXPECT_FALSE(found);
            continue;
        }
        ASSERT_TRUE(found);
        EXPECT_EQ(found->program, c.program);
        EXPECT_EQ(found->args, c.args);
    }
}

TEST(Terminal, StartsDetachedInTheFolder)
{
    test::TempDir dir;
    const std::string bin = dir.Folder("bin");
    const std::string folder = dir.Folder("projects/with space");
    const std::string fifo = dir / "report";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // The stub says where it runs and who its parent is.
    script(bin + "/x-terminal-emulator", "printf '%s\\n%s\\n' \"$(pwd -P)\" \"$PPID\" > '" + fifo + "'\n");
    EnvGuard path("PATH", (bin + ":/usr/bin:/bin").c_str());
    EnvGuard terminal("TERMINAL", nullptr);

    const TerminalStart start = StartTerminalIn(TEntryPath::Below(dir.Path(), "projects/with space"));
    ASSERT_TRUE(start.started) << start.error;
    EXPECT_EQ(start.program, bin + "/x-terminal-emulator");
    std::ifstream report(fifo); // waits for the stub to write
    std::string where, parent;
    std::getline(report, where);
    std::getline(report, parent);
    EXPECT_EQ(where, std::filesystem::canonical(folder).string());
    EXPECT_NE(parent, std::to_string(::getpid())); // not a child of the program
}

TEST(Terminal, SaysWhyItCouldNotStart)
{
    test::TempDir dir;
    const std::string bin = dir.Folder("bin");
    {
        EnvGuard path("PATH", bin.c_str());
        EnvGuard terminal("TERMINAL", nullptr);
        const TerminalStart none = StartTerminalIn(TEntryPath::Below(dir.Path(), ""));
        EXPECT_FALSE(none.started);
        EXPECT_NE(none.error.find("no terminal was found"), std::string::npos);
    }
    script(bin + "/x-terminal-emulator", "exit 0\n");
    EnvGuard path("PATH", bin.c_str());
    const TerminalStart gone = StartTerminalIn(TEntryPath::Below(dir.Path(), "missing"));
    EXPECT_FALSE(gone.started);
    EXPECT_EQ(gone.error, "No such file or directory");
    // A program that cannot be run is said as the system says it.
    test::WriteFile(bin + "/x-terminal-emulator", "\x7f" "ELF garbage");
    const TerminalStart broken = StartTerminalIn(TEntryPath::Below(dir.Path(), ""));
    EXPECT_FALSE(broken.started);
    EXPECT_EQ(broken.error, "Exec format error");
}
