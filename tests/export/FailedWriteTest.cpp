#include <gtest/gtest.h>

#include <functional>

#include "ExportFixture.h"
#include "export/FileInfo.h"
#include "support/ScriptedUi.h"
#include "support/TempDir.h"

using namespace folvane;
using namespace folvane::test;

// A write that fails: every writer throws an error that names the file and the reason, the old
// file stays whole, no temporary file is left, the progress window is hidden and nothing but the
// overwrite question was shown.
TEST(FailedWrite, OldFileWholeAndProgressHidden)
{
    SetForms(TextForms::EnUs());
    TNodeTree tree;
    BuildFixture(tree);
    struct Case {
        const char *name;
        std::function<bool(TFileInfo &)> run;
    };
    const std::vector<Case> cases = {
        {"old.htm", [&](TFileInfo &i) { return i.ExportHtml("", tree); }},
        {"old.txt", [&](TFileInfo &i) { return i.ExportText("", "          ", tree); }},
        {"old.csv", [&](TFileInfo &i) { return i.ExportCsv("", ",", tree); }},
        {"old.xml", [&](TFileInfo &i) {
             i.ResetDocument();
             i.BuildFromTree(tree);
             return i.ExportXml("");
         }},
        {"built.xml", [&](TFileInfo &i) { // through the XML layer, elements built
             i.ResetDocument();
             i.BuildFromTree(tree);
             i.DocumentRoot();
             return i.ExportXml("");
         }},
        {"old.xlsx", [&](TFileInfo &i) {
             i.ResetDocument();
             i.BuildFromTree(tree);
             return i.ExportExcel("");
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        std::string path = dir / c.name;
        WriteFile(path, "old content");
        ScriptedUi ui;
        ui.saveAnswers.push_back(path);
        ui.messageAnswers.push_back(MsgResult::Yes);
        TXmlDocument doc;
        TFileInfo info;
        info.Doc = &doc;
        info.Columns = {"File Name", "Full Path", "File Size"};
        std::string why, reason;
        {
            WritesFail fail(dir.Path());
            reason = fail.Reason();
            try {
                c.run(info);
                ADD_FAILURE() << "the write did not fail";
            } catch (const std::exception &error) {
                why = error.what();
            }
        }
        // The error says which file and why, for the message the command shows.
        EXPECT_NE(why.find(path), std::string::npos) << why;
        EXPECT_NE(why.find(reason), std::string::npos) << why;
        EXPECT_EQ(ReadFile(path), "old content");
        EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{c.name});
        EXPECT_FALSE(ui.waitVisible);
        ASSERT_FALSE(ui.waitLog.empty());
        EXPECT_EQ(ui.waitLog.back(), "hide");
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].caption, "Warning");
        EXPECT_EQ(ui.messages[0].buttons, MsgButtons::YesNo);
    }
}
