#include <gtest/gtest.h>

#include "ExportFixture.h"
#include "export/FileInfo.h"
#include "export/PromptSaveFile.h"
#include "support/ScriptedUi.h"
#include "support/TempDir.h"

using namespace folvane;
using namespace folvane::test;

namespace {

const char *kQuestion = "Catalog with the same name already exists,overwrite?";

struct PromptCase {
    const char *label;
    bool cancel;       // the dialog is cancelled
    bool exists;       // the chosen file exists
    MsgResult answer;  // to the overwrite question
    bool returnsName;
};

void PrintTo(const PromptCase &c, std::ostream *out)
{
    *out << c.label;
}

class PromptSaveFileTest : public ::testing::TestWithParam<PromptCase> {};

} // namespace

TEST_P(PromptSaveFileTest, AnswersAndTheOldFile)
{
    const PromptCase &c = GetParam();
    TempDir dir;
    ScriptedUi ui;
    std::string path = dir / "out.csv";
    if (c.exists)
        WriteFile(path, "old");
    ui.saveAnswers.push_back(c.cancel ? "" : path);
    ui.messageAnswers.push_back(c.answer);

    std::string result = PromptSaveFile(".csv", "CSV File|*.csv", "start.csv");

    EXPECT_EQ(result, c.returnsName ? path : "");
    ASSERT_EQ(ui.saveRequests.size(), 1u);
    EXPECT_EQ(ui.saveRequests[0].defaultExtension, ".csv");
    EXPECT_EQ(ui.saveRequests[0].filter, "CSV File|*.csv");
    EXPECT_EQ(ui.saveRequests[0].initialName, "start.csv");
    if (c.exists && !c.cancel) {
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].text, kQuestion);
        EXPECT_EQ(ui.messages[0].caption, "Warning");
        EXPECT_EQ(ui.messages[0].buttons, MsgButtons::YesNo);
        EXPECT_EQ(ui.messages[0].icon, MsgIcon::Question);
    } else {
        EXPECT_TRUE(ui.messages.empty());
    }
    // The prompt never removes anything: the writer replaces the file once its new one is complete.
    if (c.exists) {
        EXPECT_EQ(ReadFile(path), "old");
    }
    EXPECT_TRUE(ui.waitLog.empty());
}

INSTANTIATE_TEST_SUITE_P(Paths, PromptSaveFileTest,
                         ::testing::Values(PromptCase{"NewName", false, false, MsgResult::No, true},
                                           PromptCase{"Cancel", true, false, MsgResult::Yes, false},
                                           PromptCase{"CancelOverExisting", true, true, MsgResult::Yes, false},
                                           PromptCase{"ExistingYes", false, true, MsgResult::Yes, true},
                                           PromptCase{"ExistingNo", false, true, MsgResult::No, false}),
                         [](const auto &info) { return std::string(info.param.label); });

// Through a writer: "No" keeps the old file and does nothing else; "Yes" replaces it.
TEST(PromptThroughWriter, NoKeepsTheOldFileYesReplacesIt)
{
    SetForms(TextForms::EnUs());
    TempDir dir;
    TNodeTree tree;
    BuildFixture(tree);
    TFileInfo info;
    info.Columns = {"File Name"};
    std::string path = dir / "list.txt";
    WriteFile(path, "old content");
    {
        ScriptedUi ui;
        ui.saveAnswers.push_back(path);
        ui.messageAnswers.push_back(MsgResult::No);
        EXPECT_FALSE(info.ExportText("", "          ", tree));
        EXPECT_EQ(ReadFile(path), "old content");
        EXPECT_TRUE(ui.waitLog.empty());
        EXPECT_EQ(ui.saveRequests.at(0).filter, "Text File|*.txt");
        EXPECT_EQ(ui.saveRequests.at(0).defaultExtension, ".txt");
    }
    {
        ScriptedUi ui;
        ui.saveAnswers.push_back(path);
        ui.messageAnswers.push_back(MsgResult::Yes);
        EXPECT_TRUE(info.ExportText("", "          ", tree));
        EXPECT_EQ(ReadFile(path), info.BuildLines("          ", tree, false));
        EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{"list.txt"}); // no temporary left
    }
}
