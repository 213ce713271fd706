#include <gtest/gtest.h>
#include <sys/stat.h>

#include "ExportFixture.h"
#include "export/FileInfo.h"
#include "support/ScriptedUi.h"
#include "support/TempDir.h"
#include "support/TracingExcelApplication.h"

using namespace folvane;
using namespace folvane::test;

namespace {

const std::vector<std::string> kDefaultColumns = {"File Name",   "Full Path",   "File Size",  "Size Percentage",
                                                  "DOS Name",    "File Ext",    "Create Time", "Access Time",
                                                  "Write Time",  "File Count"};

// The stand-in, handing its record of member calls out when it is released.
class RecordingExcel : public TracingExcelApplication {
public:
    RecordingExcel(std::vector<std::string> &record, std::string failAt) : record_(record) { FailAt = std::move(failAt); }
    ~RecordingExcel() override { record_ = Trace; }

private:
    std::vector<std::string> &record_;
};

class ExcelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetForms(TextForms::EnUs());
        info.Doc = &doc;
        info.CreateExcel = [this] { return std::make_unique<RecordingExcel>(trace, failAt); };
    }
    // Builds the document from `tree` and exports it to `path`.
    bool exportTree(const TNodeTree &tree, const std::string &path)
    {
        info.ResetDocument();
        info.BuildFromTree(tree);
        ui.saveAnswers.push_back(path);
        return info.ExportExcel("");
    }

    TempDir dir;
    ScriptedUi ui;
    TXmlDocument doc;
    TFileInfo info;
    std::vector<std::string> trace;
    std::string failAt;
};

} // namespace

TEST(ExcelNames, ExcelColumnName)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"1", "A"},   {"26", "Z"},   {"27", "AA"}, {"52", "AZ"},  {"53", "BA"},     {"702", "ZZ"},
        {"703", "AAA"}, {"0", "0"},  {"-3", "-3"}, {"abc", "abc"}, {"", ""},        {"12x", "12x"},
        {"99999999999999999999", "99999999999999999999"},
    };
    for (const auto &[in, out] : cases)
        EXPECT_EQ(ExcelColumnName(in), out) << in;
}

TEST(ExcelNames, CatalogNameOf)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/out/report.final.htm", "report"}, {"/out/listing", "listing"}, {"disk.usage.xlsx", "disk"},
        {"/a.b/c", "c"},                     {"/out/.hidden.htm", ""},   {"/out/dir/", ""},
        {"back\\slash.txt", "back\\slash"},
    };
    for (const auto &[in, out] : cases)
        EXPECT_EQ(CatalogNameOf(in), out) << in;
}

TEST_F(ExcelTest, CallSequence)
{
    TNodeTree tree;
    BuildFlat(tree, 2); // three entries
    info.Columns = kDefaultColumns;
    std::string path = dir / "disk.usage.xlsx";
    ASSERT_TRUE(exportTree(tree, path));
    const std::vector<std::string> expected = {
        "ScreenUpdating=0", "Visible=0", "WorkBooks.Add",
        "Cells(1,1)", "Cells(1,1).Value=disk",
        "Cells(1,1)", "Cells(1,1).HorizontalAlignment=-4108",
        "Cells(1,1)", "Cells(1,1).VerticalAlignment=-4108",
        "Cells(1,1)", "Cells(1,1).Font", "Cells(1,1).Font.Bold=1",
        "Range(A1:K1)", "Range(A1:K1).Merge",
        "Range(A2:K5)", "Range(A2:K5).Value=grid(4x11)",
        "Range(A2:K5).Borders", "Range(A2:K5).Borders.LineStyle=1",
        "Range(A2:K5).Columns", "Range(A2:K5).Columns.AutoFit",
        "Range(A2:K5).Rows", "Range(A2:K5).Rows.AutoFit",
        "WorkBooks.SaveAs(" + path + ")", "ScreenUpdating=1", "WorkBooks.close",
    };
    EXPECT_EQ(trace, expected);
    EXPECT_TRUE(std::filesystem::exists(path));
    ASSERT_EQ(ui.saveRequests.size(), 1u);
    EXPECT_EQ(ui.saveRequests[0].defaultExtension, ".xlsx");
    EXPECT_EQ(ui.saveRequests[0].filter, "EXCEL File|*.xlsx");
    EXPECT_EQ(ui.waitLog, (std::vector<std::string>{"show", "text:Gathering info..", "hide", "show",
                                                    "text:Gathering info..", "hide", "show", "text:Export to file..",
                                                    "hide"}));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(ExcelTest, RangesOfEmptyTreeAndEmptyColumns)
{
    struct Case {
        std::size_t files; // -1: no nodes at all
        std::vector<std::string> columns;
        std::string merge, grid, value;
    };
    const std::vector<Case> cases = {
        {std::size_t(-1), kDefaultColumns, "Range(A1:K1)", "Range(A2:K2)", "Range(A2:K2).Value=grid(1x11)"},
        {2, {}, "Range(A1:A1)", "Range(A2:A5)", "Range(A2:A5).Value=grid(4x1)"},
    };
    for (const Case &c : cases) {
        TNodeTree tree;
        if (c.files != std::size_t(-1))
            BuildFlat(tree, c.files);
        info.Columns = c.columns;
        ASSERT_TRUE(exportTree(tree, dir / (c.merge + ".xlsx")));
        EXPECT_NE(std::find(trace.begin(), trace.end(), c.merge + ".Merge"), trace.end()) << c.merge;
        EXPECT_NE(std::find(trace.begin(), trace.end(), c.grid), trace.end()) << c.grid;
        EXPECT_NE(std::find(trace.begin(), trace.end(), c.value), trace.end()) << c.value;
    }
}

TEST_F(ExcelTest, RowLimit)
{
    info.Columns = {"File Name"};
    TNodeTree tree;
    BuildFlat(tree, kExcelMaxEntries - 1); // 65,534 entries: exported
    ASSERT_TRUE(exportTree(tree, dir / "max.xlsx"));
    EXPECT_NE(std::find(trace.begin(), trace.end(), "Range(A2:B65536).Value=grid(65535x2)"), trace.end());
    EXPECT_TRUE(ui.messages.empty());

    BuildFlat(tree, kExcelMaxEntries); // 65,535 entries: refused before the prompt
    trace.clear();
    info.ResetDocument();
    info.BuildFromTree(tree);
    std::size_t prompts = ui.saveRequests.size();
    EXPECT_FALSE(info.ExportExcel(""));
    EXPECT_EQ(ui.saveRequests.size(), prompts);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "The row count is out of excel range.");
    EXPECT_EQ(ui.messages[0].caption, "Warning");
    EXPECT_EQ(ui.messages[0].buttons, MsgButtons::Ok);
    EXPECT_EQ(ui.messages[0].icon, MsgIcon::Exclamation);
    EXPECT_TRUE(trace.empty());
    EXPECT_TRUE(info.Deferred()); // counting built no elements
}

TEST_F(ExcelTest, NoSpreadsheetProgram)
{
    TNodeTree tree;
    BuildFlat(tree, 2);
    info.Columns = kDefaultColumns;
    info.CreateExcel = []() -> std::unique_ptr<ExcelApplication> { throw ExcelError("class not registered"); };
    std::string path = dir / "old.xlsx";
    WriteFile(path, "old workbook");
    ui.messageAnswers.push_back(MsgResult::Yes); // overwrite
    EXPECT_FALSE(exportTree(tree, path));
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[1].text, "Excel is not installed.");
    EXPECT_EQ(ui.messages[1].caption, "Folvane");
    EXPECT_EQ(ui.messages[1].buttons, MsgButtons::Ok);
    EXPECT_EQ(ui.messages[1].icon, MsgIcon::Stop);
    EXPECT_FALSE(ui.waitVisible);
    EXPECT_EQ(ui.waitLog.back(), "hide");
    EXPECT_EQ(ReadFile(path), "old workbook"); // the old file is not lost
    EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{"old.xlsx"});
}

TEST_F(ExcelTest, FailureWhileFillingRunsTheClosingSteps)
{
    TNodeTree tree;
    BuildFlat(tree, 2);
    info.Columns = kDefaultColumns;
    failAt = "Range(A2:K5).Borders";
    std::string path = dir / "old.xlsx";
    WriteFile(path, "old workbook");
    ui.messageAnswers.push_back(MsgResult::Yes);
    EXPECT_THROW(exportTree(tree, path), ExcelError);
    ASSERT_GE(trace.size(), 2u);
    EXPECT_EQ(trace[trace.size() - 2], "ScreenUpdating=1");
    EXPECT_EQ(trace.back(), "WorkBooks.close");
    EXPECT_FALSE(ui.waitVisible);
    EXPECT_EQ(ui.messages.size(), 1u); // the overwrite question only
    // A workbook that could not be filled does not replace the old file.
    EXPECT_EQ(ReadFile(path), "old workbook");
    EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{"old.xlsx"});
}

// openpyxl reads the workbook: the merged bold title, the header, numbered rows, numeric cells
// where the text is a number, borders and fitted widths.
TEST_F(ExcelTest, OpenpyxlReadsTheWorkbook)
{
    TNodeTree tree;
    BuildFixture(tree);
    info.Columns = {"File Name", "File Size", "Size Percentage", "Bogus Col", "Create Time"};
    std::string path = dir / "disk.usage.xlsx";
    ASSERT_TRUE(exportTree(tree, path));

    std::string script =
        std::string("import sys, openpyxl\n") + kPythonHex +
        "ws = openpyxl.load_workbook(sys.argv[1]).worksheets[0]\n"
        "print('merged ' + ' '.join(sorted(str(r) for r in ws.merged_cells.ranges)))\n"
        "a1 = ws['A1']\n"
        "print('title', hx(str(a1.value)), a1.font.b, a1.alignment.horizontal, a1.alignment.vertical)\n"
        "print('border', ws['A2'].border.left.style, ws['F9'].border.bottom.style, ws['A1'].border.left.style)\n"
        "print('format', ws['C3'].number_format, ws['D4'].number_format)\n"
        "w = lambda c: ws.column_dimensions[c].width\n"
        "print('widths', int(w('B') > w('A')), int(w('F') > w('C')))\n"
        "print('size', ws.max_row, ws.max_column)\n"
        "def cell(v):\n"
        "    if v is None: return hx('e')\n"
        "    if isinstance(v, (int, float)): return hx('n' + repr(float(v)))\n"
        "    return hx('s' + v)\n"
        "for row in ws.iter_rows(min_row=2, values_only=True):\n"
        "    print('row\\t' + '\\t'.join(cell(v) for v in row))\n";
    std::string printed = RunPython(script, {path});
    EXPECT_NE(printed.find("merged A1:F1\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("title x6469736b True center center\n"), std::string::npos) << printed; // "disk"
    EXPECT_NE(printed.find("border thin thin None\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("format 0 0.00\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("widths 1 1\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("size 9 6\n"), std::string::npos) << printed;

    auto rows = DecodeRows(printed, "row\t");
    ASSERT_EQ(rows.size(), 1 + FixtureEntries().size());
    EXPECT_EQ(rows[0], (std::vector<std::string>{"sSerialNO", "sFile Name", "sFile Size", "sSize Percentage",
                                                 "sBogus Col", "sCreate Time"}));
    auto number = [](const std::string &text) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.17g", std::stod(text));
        return std::string(buffer);
    };
    for (std::size_t i = 0; i < FixtureEntries().size(); ++i) {
        const auto &r = rows[i + 1];
        ASSERT_EQ(r.size(), 6u) << "row " << i;
        EXPECT_EQ(r[0].substr(0, 1) + number(r[0].substr(1)), "n" + number(std::to_string(i + 1)));
        std::string name = FixtureValue(i, FileName), size = FixtureValue(i, FileSize),
                    percent = FixtureValue(i, SizePercentage), created = FixtureValue(i, CreateTime);
        EXPECT_EQ(r[1], name.empty() ? "e" : "s" + name) << "row " << i;
        if (size.empty())
            EXPECT_EQ(r[2], "e");
        else
            EXPECT_EQ(r[2].substr(0, 1) + number(r[2].substr(1)), "n" + number(size)) << "row " << i;
        if (percent.empty())
            EXPECT_EQ(r[3], "e");
        else
            EXPECT_EQ(r[3].substr(0, 1) + number(r[3].substr(1)), "n" + number(percent)) << "row " << i;
        EXPECT_EQ(r[4], "e"); // a column that matches no attribute stays empty
        EXPECT_EQ(r[5], created.empty() ? "e" : "s" + created) << "row " << i;
    }
}

TEST(ExcelNumbers, PlainDecimals)
{
    for (const char *yes : {"0", "7", "1234", "-5", "12.50", "0.5", "123456789012345"})
        EXPECT_TRUE(IsPlainDecimal(yes)) << yes;
    for (const char *no : {"", "-", "007", "1.", ".5", "1,5", "1e5", "12 ", "+3", "1.2.3", "1234567890123456", "abc"})
        EXPECT_FALSE(IsPlainDecimal(no)) << no;
}

TEST_F(ExcelTest, AReplacedWorkbookKeepsItsPermissions)
{
    TNodeTree tree;
    BuildFlat(tree, 2);
    info.Columns = {"File Name"};
    std::string path = dir / "shared.xlsx";
    WriteFile(path, "old workbook");
    ::chmod(path.c_str(), 0664);
    ui.messageAnswers.push_back(MsgResult::Yes);
    ASSERT_TRUE(exportTree(tree, path));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, mode_t(0664));
}

TEST_F(ExcelTest, AWorkbookSavedThroughALinkKeepsTheLink)
{
    TNodeTree tree;
    BuildFlat(tree, 2);
    info.Columns = {"File Name"};
    std::string file = dir / "real.xlsx";
    std::string link = dir / "latest.xlsx";
    WriteFile(file, "old workbook");
    std::filesystem::create_symlink(file, link);
    ui.messageAnswers.push_back(MsgResult::Yes);
    ASSERT_TRUE(exportTree(tree, link));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_NE(ReadFile(file), "old workbook");
}
