// The built program, run as a person runs it: from its own folder, with its configuration beside it.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>

#include <filesystem>
#include <fstream>
#include <sstream>

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
    bool runAndClose()
    {
        QProcess run;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("FOLVANE_REPORT_READY"), QStringLiteral("1"));
        run.setProcessEnvironment(env);
        run.setWorkingDirectory(QString::fromStdString(folder.Path()));
        run.setReadChannel(QProcess::StandardOutput);
        run.start(QString::fromStdString(program), {});
        if (!run.waitForStarted(30000))
            return false;
        bool ready = false;
        while (!ready && run.waitForReadyRead(60000))
            while (!ready && run.canReadLine())
                ready = run.readLine().trimmed() == "ready";
        EXPECT_TRUE(ready) << "the program did not say it was ready";
        run.terminate();
        const bool ended = run.waitForFinished(60000);
        if (!ended)
            run.kill();
        return ready && ended && run.exitStatus() == QProcess::NormalExit && run.exitCode() == 0;
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
