// The Changes list written as CSV and HTML: its own columns, and names that need quoting or escaping.

#include <gtest/gtest.h>

#include "catalog/RollUp.h"
#include "export/ChangesExport.h"
#include "support/Files.h"
#include "support/ScriptedUi.h"
#include "support/TempDir.h"
#include "support/WritesFail.h"

using namespace folvane;

namespace {

void build(TNodeTree &tree, std::initializer_list<std::pair<const char *, std::uint64_t>> files)
{
    const NodeId top = tree.AddTopLevel();
    tree.SetExplicitPath(top, "/t", 2);
    tree.SetField(top, FileType, "folder");
    for (const auto &[name, size] : files) {
        const NodeId n = tree.AddChild(top);
        tree.SetName(n, name);
        tree.SetField(n, FileType, "file");
        tree.SetSize(n, size);
    }
    tree.SetSize(top, RollUpFolderSize(tree, top));
}

} // namespace

TEST(ChangesExport, WritesItsOwnColumnsWithNamesQuotedAndEscaped)
{
    TNodeTree then, now;
    build(then, {{"a, \"b\".txt", 10}, {"<gone>", 18446744073709551615ull}});
    build(now, {{"a, \"b\".txt", 25}, {"line\nbreak", 1}});
    const TComparison c = CompareCatalogues(then, now);
    EXPECT_EQ(ChangesCsv(c, then, now), "Path,Status,Size then,Size now,Change\r\n"
                                        "\"a, \"\"b\"\".txt\",grown,10,25,15\r\n"
                                        "\"line\nbreak\",new,0,1,1\r\n"
                                        ".,shrunk,18446744073709551615,26,-18446744073709551589\r\n" // a total stops at 2^64 - 1
                                        "<gone>,gone,18446744073709551615,0,-18446744073709551615\r\n");
    const std::string page = ChangesPage(c, then, now, "Changes since <old>.json");
    EXPECT_EQ(page.rfind("\xEF\xBB\xBF<HTML>", 0), 0u);
    EXPECT_NE(page.find("<Title>Changes since &lt;old&gt;.json</Title>"), std::string::npos);
    EXPECT_NE(page.find("<tr class=\"Gone\"><td>&lt;gone&gt;</td><td>gone</td>"), std::string::npos) << page;
    EXPECT_NE(page.find("<td class=\"Num\">-18446744073709551615</td>"), std::string::npos);
}

// The writing step, which may run on a worker, writes the rows it was handed, whatever the list
// shown does meanwhile, and says how it ended: a write that fails names the file and why, and the
// file written before stays whole.
TEST(ChangesExport, TheWritingStepWritesTheRowsItWasHandedAndSaysHowItEnded)
{
    TNodeTree then, now;
    build(then, {{"a.txt", 10}});
    build(now, {{"a.txt", 25}, {"b.txt", 1}});
    for (ChangesFormat format : {ChangesFormat::Csv, ChangesFormat::Html}) {
        const bool csv = format == ChangesFormat::Csv;
        SCOPED_TRACE(csv ? "CSV" : "HTML");
        test::TempDir dir;
        const std::string path = dir / (csv ? "changes.csv" : "changes.htm");
        test::ScriptedUi ui;
        ui.saveAnswers = {path};
        TComparison shown = CompareCatalogues(then, now);
        const std::function<void()> write = PrepareChangesExport(format, shown, then, now, "Changes since week1.json");
        shown.changes.clear(); // the list shown changes after the command was given
        write();
        const std::string written = test::ReadFile(path);
        EXPECT_NE(written.find(csv ? "b.txt,new,0,1,1" : "<td>b.txt</td><td>new</td>"), std::string::npos) << written;
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].text, "Export Finished");

        ui.messages.clear();
        ui.saveAnswers = {path};
        ui.messageAnswers = {MsgResult::Yes}; // overwrite
        std::string reason;
        {
            test::WritesFail fail(dir.Path());
            reason = fail.Reason();
            PrepareChangesExport(format, CompareCatalogues(then, now), then, now, "Changes since week1.json")();
        }
        EXPECT_EQ(test::ReadFile(path), written);
        ASSERT_EQ(ui.messages.size(), 2u); // the overwrite question, then why
        EXPECT_NE(ui.messages[1].text.find(path), std::string::npos) << ui.messages[1].text;
        EXPECT_NE(ui.messages[1].text.find(reason), std::string::npos) << ui.messages[1].text;
        EXPECT_EQ(ui.messages[1].caption, "Warning");
        EXPECT_FALSE(ui.waitVisible);
    }
}
