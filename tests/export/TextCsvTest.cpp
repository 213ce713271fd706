#include <gtest/gtest.h>

#include "ExportFixture.h"
#include "export/FileInfo.h"
#include "export/LineOutput.h"
#include "support/ScriptedUi.h"
#include "support/TempDir.h"

using namespace folvane;
using namespace folvane::test;

namespace {

const std::string kTen = "          ";

class TextCsvTest : public FixtureTreeTest {};

} // namespace

// How a text becomes lines: every break (CR, LF, CR LF) is CR LF; a last line gets one.
TEST(LineOutputTest, LineBreaksBecomeCrLf)
{
    struct Case {
        std::vector<std::string> pieces;
        std::string bytes;
    };
    const std::vector<Case> cases = {
        {{}, ""},
        {{""}, ""},
        {{"a"}, "a\r\n"},
        {{"a\n"}, "a\r\n"},
        {{"a\r"}, "a\r\n"},
        {{"a\r\nb"}, "a\r\nb\r\n"},
        {{"a\rb\nc"}, "a\r\nb\r\nc\r\n"},
        {{"a\n\n"}, "a\r\n\r\n"},
        {{"a\r\r\n"}, "a\r\n\r\n"},
        {{"\n"}, "\r\n"},
        {{"a\r", "\nb"}, "a\r\nb\r\n"},   // CR and LF in two pieces are still one break
        {{"a\r", "\r", "\n"}, "a\r\n\r\n"},
    };
    for (const Case &c : cases) {
        LineOutput out;
        for (const std::string &p : c.pieces)
            out.Text(p);
        out.Finish();
        EXPECT_EQ(out.Bytes(), c.bytes) << ::testing::PrintToString(c.pieces);
    }
    LineOutput out;
    out.Text("a\r");
    out.Verbatim("\"x\ny\"");
    out.Finish();
    EXPECT_EQ(out.Bytes(), "a\r\n\"x\ny\"\r\n");
}

TEST_F(TextCsvTest, TextBytes)
{
    info.Columns = {"File Name", "File Size", "Create Time"};
    std::string s = kTen;
    std::string expected = "File Name" + s + "File Size" + s + "Create Time" + s + "\r\n" +
                           "docs" + s + "3584" + s + "1/2/2024 3:04:05 PM\r\n" +
                           "a<b&c>.txt" + s + "1024" + s + "1/3/2024\r\n" +
                           "sub, \"q\"" + s + "2048" + s + "\r\n" +
                           "line\r\nbreak.txt" + s + "2048" + s + "\r\n" + // the line break splits the line
                           "Grüße.dat" + s + "512" + s + "\r\n" +
                           s + s + "\r\n" +
                           "orphan" + s + s + "\r\n";
    EXPECT_EQ(info.BuildLines(kTen, tree, false), expected);
}

TEST_F(TextCsvTest, CsvBytesQuoteWhatWouldSplitAValue)
{
    info.Columns = {"File Name", "File Size", "File Type"};
    std::string expected = "File Name,File Size,File Type,\r\n"
                           "docs,3584,folder\r\n"
                           "a<b&c>.txt,1024,file\r\n"
                           "\"sub, \"\"q\"\"\",2048,folder\r\n"
                           "\"line\nbreak.txt\",2048,file\r\n" // quoted: the value keeps its own break
                           "Grüße.dat,512,file\r\n"
                           ",,\r\n"
                           "orphan,,\r\n";
    EXPECT_EQ(info.BuildLines(",", tree, true), expected);
}

TEST_F(TextCsvTest, ColumnEdgeCases)
{
    // One column: the header is the name and a separator, each line the bare value.
    info.Columns = {"File Size"};
    EXPECT_EQ(info.BuildLines(",", tree, true), "File Size,\r\n3584\r\n1024\r\n2048\r\n2048\r\n512\r\n\r\n\r\n");
    // A name that is no field name reads the file name.
    info.Columns = {"Nonsense", "File Size"};
    EXPECT_EQ(info.BuildLines(";", tree, false), "Nonsense;File Size;\r\ndocs;3584\r\na<b&c>.txt;1024\r\nsub, \"q\";2048\r\n"
                                                 "line\r\nbreak.txt;2048\r\nGrüße.dat;512\r\n;\r\norphan;\r\n");
    // No columns: an empty header line and an empty line per node.
    info.Columns = {};
    EXPECT_EQ(info.BuildLines(",", tree, true), "\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n");
    // No nodes: no header line either.
    TNodeTree empty;
    info.Columns = {"File Name"};
    EXPECT_EQ(info.BuildLines(",", empty, true), "");
    EXPECT_EQ(info.BuildLines(kTen, empty, false), "");
}

TEST_F(TextCsvTest, ExportWritesTheLinesBehindTheProgressWindow)
{
    TempDir dir;
    info.Columns = {"File Name", "Full Path", "File Size"};
    struct Case {
        bool csv;
        std::string extension, filter, separator;
    };
    for (const Case &c : {Case{true, ".csv", "CSV File|*.csv", ","}, Case{false, ".txt", "Text File|*.txt", kTen}}) {
        ScriptedUi ui;
        std::string path = dir / ("out" + c.extension);
        ui.saveAnswers.push_back(path);
        bool done = c.csv ? info.ExportCsv("", c.separator, tree) : info.ExportText("", c.separator, tree);
        EXPECT_TRUE(done);
        EXPECT_EQ(ReadFile(path), info.BuildLines(c.separator, tree, c.csv));
        ASSERT_EQ(ui.saveRequests.size(), 1u);
        EXPECT_EQ(ui.saveRequests[0].defaultExtension, c.extension);
        EXPECT_EQ(ui.saveRequests[0].filter, c.filter);
        EXPECT_EQ(ui.saveRequests[0].initialName, "");
        EXPECT_EQ(ui.waitLog, (std::vector<std::string>{"show", "text:Export to file..", "hide"}));
        EXPECT_FALSE(ui.cancelVisible);
        EXPECT_TRUE(ui.messages.empty());
    }
    // An empty tree-grid gives an empty file, and the export counts as done.
    ScriptedUi ui;
    TNodeTree empty;
    ui.saveAnswers.push_back(dir / "empty.csv");
    EXPECT_TRUE(info.ExportCsv("", ",", empty));
    EXPECT_TRUE(std::filesystem::exists(dir / "empty.csv"));
    EXPECT_EQ(ReadFile(dir / "empty.csv"), "");
    // Cancel: nothing at all.
    EXPECT_FALSE(info.ExportCsv("", ",", tree));
    EXPECT_EQ(ui.waitLog.size(), 3u);
}

// A CSV reader gets every value back as it is, the quoted ones included.
TEST_F(TextCsvTest, PythonCsvReaderReadsTheValues)
{
    TempDir dir;
    ScriptedUi ui;
    info.Columns = {"File Name", "Full Path", "File Size", "File Type", "Create Time"};
    std::string path = dir / "fixture.csv";
    ui.saveAnswers.push_back(path);
    ASSERT_TRUE(info.ExportCsv("", ",", tree));
    std::string script = std::string("import csv, sys\n") + kPythonHex +
                         "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
                         "    for row in csv.reader(f):\n"
                         "        print('\\t'.join(hx(c) for c in row))\n";
    auto rows = DecodeRows(RunPython(script, {path}));
    ASSERT_EQ(rows.size(), 1 + FixtureEntries().size());
    EXPECT_EQ(rows[0], (std::vector<std::string>{"File Name", "Full Path", "File Size", "File Type", "Create Time", ""}));
    for (std::size_t i = 0; i < FixtureEntries().size(); ++i)
        EXPECT_EQ(rows[i + 1], (std::vector<std::string>{FixtureValue(i, FileName), FixtureValue(i, FullPath),
                                                         FixtureValue(i, FileSize), FixtureValue(i, FileType),
                                                         FixtureValue(i, CreateTime)}))
            << "row " << i + 1;
}
