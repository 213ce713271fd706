// The built program, run as a person runs it: from its own folder, with its configuration beside it.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>
#include <vector>

#include "GuiTestSupport.h"
#include "config/FolvaneConfig.h"
#include "support/Files.h"
#include "support/TempDir.h"

using namespace folvane;

namespace {

class ProgramRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::GuiApp();
        program = folder / "folvane";
        std::filesystem::copy_file(FOLVANE_PROGRAM, program);
        config = folder / "FolvaneConfig.xml";
    }

    // Starts the program, waits until it says its window is up and set up, and asks it to end as a
    // session end does. Answers whether it ended normally.
    //
    // It is started by posix_spawn rather than QProcess: QProcess starts a program through a clone
    // that shares this process's memory until the exec, and the calls its child makes there change
    // the thread sanitizer's record of this process (it then reports races on locks it no longer
    // sees taken, or ends the process at its next thread). posix_spawn's child makes none it sees.
    bool runAndClose()
    {
        std::vector<std::string> env;
        for (char **e = environ; *e; ++e) {
            const std::string_view var(*e);
            if (!var.starts_with("QT_QPA_PLATFORM=") && !var.starts_with("FOLVANE_REPORT_READY="))
                env.emplace_back(var);
        }
        env.emplace_back("QT_QPA_PLATFORM=offscreen");
        env.emplace_back("FOLVANE_REPORT_READY=1");
        std::vector<char *> envp;
        for (std::string &var : env)
            envp.push_back(var.data());
        envp.push_back(nullptr);
        std::string path = program;
        char *argv[] = {path.data(), nullptr};

        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0)
            return false;
        posix_spawn_file_actions_t actions;
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        ::posix_spawn_file_actions_addchdir_np(&actions, folder.Path().c_str());
        pid_t pid = -1;
        const int spawned = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, envp.data());
        ::posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        if (spawned != 0) {
            ::close(out[0]);
            ADD_FAILURE() << "the program could not be started: " << std::strerror(spawned);
            return false;
        }

        // Its output up to the line "ready", or its end (a minute at most, should it hang).
        bool ready = false;
        std::string output;
        pollfd readable{out[0], POLLIN, 0};
        while (!ready && ::poll(&readable, 1, 60000) > 0) {
            char buffer[256];
            const ssize_t got = ::read(out[0], buffer, sizeof buffer);
            if (got <= 0)
                break;
            output.append(buffer, std::size_t(got));
            for (std::size_t end; !ready && (end = output.find('\n')) != std::string::npos; output.erase(0, end + 1))
                ready = output.compare(0, end, "ready") == 0;
        }
        EXPECT_TRUE(ready) << "the program did not say it was ready";
        ::kill(pid, SIGTERM);
        int status = 0;
        bool ended = false;
        for (int i = 0; i < 6000 && !ended; ++i) { // a minute at most, then it is killed
            ended = ::waitpid(pid, &status, WNOHANG) == pid;
            if (!ended)
                ::usleep(10000);
        }
        if (!ended) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
        }
        ::close(out[0]);
        return ready && ended && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

    test::TempDir folder;
    std::string program, config;
};

struct Column {
    int width, index;
    bool visible;
    bool operator==(const Column &) const = default;
};

std::vector<Column> columnsOf(const std::string &file)
{
    std::vector<Column> columns;
    const auto root = LoadConfig(file);
    const TXMLNodesType nodes = root->Nodes();
    for (int i = 0; i < nodes.Count(); ++i)
        columns.push_back({nodes.Node(i).Width(), nodes.Node(i).Index(), nodes.Node(i).Visible()});
    return columns;
}

} // namespace

TEST_F(ProgramRunTest, TheTreesLayoutComesBackExactlyAtTheNextStart)
{
    // The first run creates the configuration beside the program.
    ASSERT_TRUE(runAndClose());
    ASSERT_TRUE(std::filesystem::exists(config));

    // The layout a person leaves behind after many drags (the columns in reverse but for "File
    // Size" dragged to the front), widths changed, a column hidden after it was widened, a hidden
    // one shown.
    {
        const auto root = LoadConfig(config);
        const TXMLNodesType nodes = root->Nodes();
        const int n = nodes.Count();
        for (int i = 0; i < n; ++i)
            nodes.Node(i).SetIndex(i == 2 ? 0 : i < 2 ? n - 1 - i : n - i);
        nodes.Node(3).SetWidth(141);
        nodes.Node(5).SetWidth(77);
        nodes.Node(5).SetVisible(false);
        nodes.Node(6).SetVisible(true);
        // With a declaration, which the program's own save leaves out: so the next run's save shows.
        std::ofstream(config, std::ios::binary | std::ios::trunc) << "<?xml version=\"1.0\"?>\n" << root->Xml();
    }
    const std::vector<Column> left = columnsOf(config);

    // The next run shows it, and saves at its close what it shows: the same layout.
    ASSERT_TRUE(runAndClose());
    EXPECT_EQ(test::ReadFile(config).rfind("<?xml", 0), std::string::npos) << "the layout was not saved at close";
    EXPECT_EQ(columnsOf(config), left);
}

TEST_F(ProgramRunTest, AnUnusableConfigurationIsLeftAsItIs)
{
    const std::string broken = "<config versionNo=\"1\"><nodes><node Name=\"File Name\" Width=\"wide\"";
    std::ofstream(config) << broken;
    EXPECT_TRUE(runAndClose());
    EXPECT_EQ(test::ReadFile(config), broken);
}
