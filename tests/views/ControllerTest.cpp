// The controller's columns, cells, icons, header clicks, column dialog, layout and sorting.

#include <algorithm>
#include <cstring>
#include <fstream>

#include <gtest/gtest.h>

#include "Catalog.h"
#include "common/uFunction.h"
#include "config/FolvaneConfig.h"
#include "views/TreeSort.h"

namespace folvane::test {
namespace {

const std::vector<std::string> kDefaultNames = {
    "File Name",        "Full Path",        "File Size",    "Size Percentage", "DOS Name",
    "File Ext",         "File Type",        "Description",  "File Name Length", "Path Name Length",
    "Catalog Name",     "Create Time",      "Access Time",  "Write Time",       "File Count"};

using ControllerColumns = ControllerFixture;

TEST_F(ControllerColumns, DefaultFifteenColumnsInEveryGrid)
{
    const ColumnColor tooltip{true, {}}, pale{false, {239, 243, 255}};
    for (GridId id : {GridId::VT, GridId::VTList, GridId::VTAge, GridId::VTSize, GridId::VTType}) {
        TPlainTreeGrid &g = Grid(id);
        ASSERT_EQ(g.ColumnCount(), 15) << g.Name();
        EXPECT_EQ(g.ColumnUpdateDepth(), 0);
        for (int i = 0; i < 15; ++i) {
            const std::string &name = kDefaultNames[i];
            SCOPED_TRACE(g.Name() + " " + name);
            EXPECT_EQ(g.ColumnText(i), name);
            EXPECT_EQ(g.ColumnPosition(i), i);
            bool hidden = name == "File Type" || name == "Description" || name == "File Name Length" ||
                          name == "Path Name Length" || name == "Catalog Name";
            EXPECT_EQ(g.ColumnVisible(i), !hidden);
            bool sizeColumn = name == "File Size" || name == "Size Percentage";
            EXPECT_EQ(g.GetColumnColor(i), sizeColumn ? tooltip : pale);
            bool right = sizeColumn || name == "File Ext" || name == "File Name Length" || name == "Path Name Length";
            EXPECT_EQ(g.GetColumnAlignment(i), right ? Alignment::Right : Alignment::Left);
        }
        EXPECT_EQ(g.ColumnWidth(0), 172);
        EXPECT_EQ(g.ColumnWidth(2), 84);
    }
}

// A configuration of four columns with unusual alignments, positions that are not in column
// order (a tie included) and one hidden column.
const std::string kFourColumns =
    "<config versionNo=\"2\"><nodes>"
    "<node Name=\"File Size\" Visible=\"True\" Index=\"2\" DefaultExport=\"True\" Width=\"90\" ReadOnly=\"False\" Align=\"Right\"/>"
    "<node Name=\"No Such Field\" Visible=\"True\" Index=\"0\" DefaultExport=\"True\" Width=\"91\" ReadOnly=\"True\" Align=\"center\"/>"
    "<node Name=\"Write Time\" Visible=\"False\" Index=\"2\" DefaultExport=\"True\" Width=\"92\" ReadOnly=\"True\" Align=\"right\"/>"
    "<node Name=\"File Name\" Visible=\"True\" Index=\"1\" DefaultExport=\"True\" Width=\"93\" ReadOnly=\"True\" Align=\"left\"/>"
    "</nodes><agerange><item label=\"one day\" value=\"1\"/></agerange>"
    "<sizerange><item label=\"10KB\" value=\"10000\"/></sizerange></config>";

class FourColumns : public ControllerFixture {
protected:
    FourColumns() : ControllerFixture(kFourColumns) {}
};

TEST_F(FourColumns, AlignmentPositionsAndNamesThatAreNotFields)
{
    TPlainTreeGrid &g = VT();
    ASSERT_EQ(g.ColumnCount(), 4);
    EXPECT_EQ(g.GetColumnAlignment(0), Alignment::Left); // "Right" is not "right"
    EXPECT_EQ(g.GetColumnAlignment(1), Alignment::Center);
    EXPECT_EQ(g.GetColumnAlignment(2), Alignment::Right);
    // By Index, ties by column number: column 1, column 3, column 0, column 2.
    EXPECT_EQ(g.ColumnPosition(1), 0);
    EXPECT_EQ(g.ColumnPosition(3), 1);
    EXPECT_EQ(g.ColumnPosition(0), 2);
    EXPECT_EQ(g.ColumnPosition(2), 3);
    EXPECT_FALSE(g.ColumnVisible(2));
    // The column whose name is no field shows the file name, with its icon.
    CatalogBuilder b(Tree(), dir.Path());
    NodeId f = b.File(b.top, "a.txt", 1536);
    EXPECT_EQ(g.CellText(f, 1), "a.txt");
    EXPECT_EQ(g.CellText(f, 0), "1.50 KB");
    EXPECT_EQ(g.CellImage(f, 0), -1);
    EXPECT_EQ(g.CellImage(b.top, 1), 0); // the folder icon
    EXPECT_EQ(g.CellText(f, 4), "");     // a column without an entry stays empty
    EXPECT_EQ(g.CellImage(f, 4), -1);
}

TEST(FormatSize, UnitsGroupingAndEmptyFields)
{
    struct Case {
        const char *size, *enUs, *deDe;
    } cases[] = {
        {"0", "0.00 B", "0,00 B"},
        {"1023", "1,023.00 B", "1.023,00 B"},
        {"1024", "1.00 KB", "1,00 KB"},
        {"1536", "1.50 KB", "1,50 KB"},
        {"1048575", "1,024.00 KB", "1.024,00 KB"},
        {"1048576", "1.00 MB", "1,00 MB"},
        {"1073741824", "1.00 GB", "1,00 GB"},
        {"5368709120", "5.00 GB", "5,00 GB"},
        {"2199023255552", "2,048.00 GB", "2.048,00 GB"},
        {"1152", "1.13 KB", "1,13 KB"}, // 1.125 KB: a tie goes away from zero
        // 2^54 + 2^27 - 1 bytes are 16,777,216.124999999... GB; as a double they would be the tie.
        {"18014398643699711", "16,777,216.12 GB", "16.777.216,12 GB"},
        {"18446744073709551615", "17,179,869,184.00 GB", "17.179.869.184,00 GB"},
    };
    TNodeTree tree;
    NodeId n = tree.AddTopLevel();
    for (const Case &c : cases) {
        tree.SetField(n, FileSize, c.size);
        SetForms(TextForms::EnUs());
        EXPECT_EQ(FormatSize(FileSize, &tree, n), c.enUs);
        SetForms(TextForms::DeDe());
        EXPECT_EQ(FormatSize(FileSize, &tree, n), c.deDe);
    }
    SetForms(TextForms::EnUs());
    tree.SetField(n, FileSize, "");
    EXPECT_EQ(FormatSize(FileSize, &tree, n), "");
    tree.SetField(n, FileSize, "12 KB");
    EXPECT_EQ(FormatSize(FileSize, &tree, n), "");
    tree.SetField(n, FileSize, "1536.0"); // a written size reads as a number
    EXPECT_EQ(FormatSize(FileSize, &tree, n), "1.50 KB");
    tree.SetField(n, FileSize, "12.345"); // one that is not whole shows as the number it is
    EXPECT_EQ(FormatSize(FileSize, &tree, n), "12.35 B");
    tree.SetField(n, FileSize, "-3");
    EXPECT_EQ(FormatSize(FileSize, &tree, n), "-3.00 B");
    EXPECT_EQ(FormatSize(SizePercentage, &tree, n), "");
    tree.SetField(n, SizePercentage, "12.35");
    EXPECT_EQ(FormatSize(SizePercentage, &tree, n), "12.35%");
    tree.SetField(n, FileExt, "txt");
    EXPECT_EQ(FormatSize(FileExt, &tree, n), "txt");
    EXPECT_EQ(FormatSize(FileSize, nullptr, n), "");
    EXPECT_EQ(FormatSize(FileSize, &tree, 99), "");
}

TEST_F(ControllerColumns, CellTextHintAndIconsOnlyInTheNameColumn)
{
    CatalogBuilder b(Tree(), "/data");
    NodeId a = b.File(b.top, "a.txt", 2048);
    b.File(b.top, "b.txt", 10);
    b.Finish();
    EXPECT_EQ(VT().CellText(a, Column("File Size")), "2.00 KB");
    EXPECT_EQ(VT().CellText(a, Column("Size Percentage")), "99.51%");
    EXPECT_EQ(VT().CellHint(a, Column("Full Path")), "/data/a.txt");
    EXPECT_EQ(VT().CellText(a, 15), "");
    EXPECT_EQ(VT().CellImage(a, 0), 1);
    EXPECT_EQ(VT().CellImage(a, Column("Full Path")), -1);
    EXPECT_EQ(VT().CellImage(a, 15), -1);
}

// Nothing of this catalogue exists on disk: every icon comes from the kind and name the records
// hold, and painting writes nothing into a record (a worker may be reading it meanwhile).
TEST_F(ControllerColumns, IconsComeFromTheRecordedKindAndExtension)
{
    const std::string gone = dir / "gone";
    CatalogBuilder b(Tree(), gone);
    NodeId sub = b.Folder(b.top, "sub");
    NodeId txt = b.File(b.top, "a.txt", 1);
    NodeId upper = b.File(sub, "B.TXT", 1);
    NodeId jpg = b.File(b.top, "c.jpg", 1);
    NodeId bare = b.File(b.top, "README", 1);
    NodeId dotted = b.File(b.top, "archive.tar.gz", 1);
    b.Finish();
    ASSERT_FALSE(std::filesystem::exists(gone));

    const int folder = VT().CellImage(b.top, 0);
    EXPECT_EQ(folder, 0);
    EXPECT_EQ(VT().CellImage(sub, 0), folder);
    VT().SetExpanded(sub, true);
    EXPECT_EQ(VT().CellImage(sub, 0), folder); // an open folder keeps the folder icon
    const int text = VT().CellImage(txt, 0);
    EXPECT_GE(text, 1);
    EXPECT_EQ(VT().CellImage(upper, 0), text); // the same type in any letter case
    for (NodeId other : {jpg, bare, dotted}) {
        const int icon = VT().CellImage(other, 0);
        EXPECT_GE(icon, 1) << Tree().Field(other, FileName);
        EXPECT_NE(icon, text) << Tree().Field(other, FileName);
    }
    EXPECT_EQ(VT().CellImage(dotted, 0), VT().CellImage(b.File(b.top, "x.gz", 1), 0)); // the last extension
    for (NodeId n : {b.top, sub, txt, upper, jpg}) {
        EXPECT_EQ(Tree().Data(n).IconIndex, 0);
        EXPECT_EQ(Tree().Data(n).ExpandedIconIndex, 0);
    }
    // A record that holds no path says nothing of what it is: no icon.
    EXPECT_EQ(VT().CellImage(Tree().AddTopLevel(), 0), -1);
}

// The cells read the table resolved when the columns were set up, not the configuration: entries
// renamed behind the grids' backs change no cell until the column dialog's OK resolves VT's table
// again; the other grids keep theirs.
TEST_F(ControllerColumns, CellsReadTheColumnTableNotTheConfiguration)
{
    CatalogBuilder b(Tree(), "/data");
    NodeId a = b.File(b.top, "a.txt", 2048);
    b.Finish();
    ctrl->ShowFolder(b.top);
    const NodeId listed = VTList().Nodes().First();
    const int name = Column("File Name"), size = Column("File Size");
    TXMLNodesType entries = GetConfig().XMLConfig()->Nodes();
    for (int i = 0; i < entries.Count(); ++i)
        entries.Node(i).SetName("Full Path");

    for (TPlainTreeGrid *grid : {&VT(), &VTList()}) {
        const NodeId n = grid == &VT() ? a : listed;
        EXPECT_EQ(grid->CellText(n, size), "2.00 KB") << grid->Name();
        EXPECT_EQ(grid->CellHint(n, name), "a.txt") << grid->Name();
        EXPECT_EQ(grid->CellImage(n, name), 1) << grid->Name();
    }

    ui.columnDialogAnswers = {true};
    ctrl->ShowColumnDialog();
    EXPECT_EQ(VT().CellText(a, size), "/data/a.txt");
    EXPECT_EQ(VT().CellImage(a, name), -1);
    EXPECT_EQ(VTList().CellText(listed, size), "2.00 KB");
    EXPECT_EQ(VTList().CellImage(listed, name), 1);
}

TEST_F(ControllerColumns, HeaderClicksToggleAndOnlyTheLeftButtonSorts)
{
    CatalogBuilder b(Tree(), "/data");
    for (const char *name : {"b", "c", "a"})
        b.File(b.top, name, 1);
    const int name = Column("File Name"), size = Column("File Size");
    VT().ClickHeader(size, MouseButton::Middle);
    EXPECT_EQ(VT().SortColumn(), -1);
    EXPECT_EQ(VT().SortCount(), 0);
    VT().ClickHeader(size, MouseButton::Right);
    EXPECT_EQ(ui.columnDialogs, 1);
    EXPECT_EQ(VT().SortCount(), 0);
    VT().ClickHeader(name, MouseButton::Middle);
    EXPECT_EQ(ui.columnDialogs, 1);

    struct Step {
        int column;
        SortDirection direction;
        std::vector<std::string> order;
    } steps[] = {
        {name, SortDirection::Ascending, {"a", "b", "c"}},
        {size, SortDirection::Descending, {"c", "b", "a"}}, // equal sizes: the -1 answers reverse runs
        {size, SortDirection::Ascending, {"a", "b", "c"}},
        {name, SortDirection::Descending, {"c", "b", "a"}},
    };
    for (const Step &s : steps) {
        VT().ClickHeader(s.column, MouseButton::Left);
        EXPECT_EQ(VT().SortColumn(), s.column);
        EXPECT_EQ(VT().GetSortDirection(), s.direction);
        EXPECT_EQ(ctrl->SortField, FieldIndexOf(VT().ColumnText(s.column)));
        std::vector<std::string> names;
        for (NodeId c : Tree().Children(b.top))
            names.push_back(Tree().Field(c, FileName));
        if (s.column == name) {
            EXPECT_EQ(names, s.order);
        }
    }
    EXPECT_EQ(VT().SortCount(), 4);
}

TEST_F(ControllerColumns, FoldersLeadInBothDirectionsForEveryColumn)
{
    CatalogBuilder b(Tree(), "/data");
    b.File(b.top, "a.txt", 5, NowSeconds() - 50);
    b.Folder(b.top, "z");
    b.File(b.top, "M.doc", 500, NowSeconds() - 5000);
    b.Folder(b.top, "b");
    b.File(b.top, "c", 0, NowSeconds() - 5);
    b.Finish();
    for (int column = 0; column < VT().ColumnCount(); ++column) {
        for (int click = 0; click < 2; ++click) {
            VT().ClickHeader(column, MouseButton::Left);
            std::vector<std::string> kinds;
            for (NodeId c : Tree().Children(b.top))
                kinds.push_back(Tree().Field(c, FileType));
            EXPECT_EQ(kinds, (std::vector<std::string>{"folder", "folder", "file", "file", "file"}))
                << VT().ColumnText(column) << " click " << click;
        }
    }
}

TEST_F(ControllerColumns, NumbersAndTimesSortByValue)
{
    SetForms(TextForms::DeDe());
    CatalogBuilder b(Tree(), "/data");
    b.File(b.top, "s20000", 20000, FromCivil({2024, 1, 2, 0, 0, 0}));
    b.File(b.top, "s9", 9, FromCivil({2023, 12, 31, 23, 59, 59}));
    b.File(b.top, "s1000", 1000, FromCivil({2024, 2, 1, 8, 0, 0}));
    b.File(b.top, "s10", 10, FromCivil({2024, 1, 10, 0, 0, 0}));
    auto order = [&] {
        std::vector<std::string> names;
        for (NodeId c : Tree().Children(b.top))
            names.push_back(Tree().Field(c, FileName));
        return names;
    };
    VT().ClickHeader(Column("File Size"), MouseButton::Left);
    EXPECT_EQ(order(), (std::vector<std::string>{"s9", "s10", "s1000", "s20000"}));
    VT().ClickHeader(Column("Write Time"), MouseButton::Left); // descending now
    EXPECT_EQ(order(), (std::vector<std::string>{"s1000", "s10", "s20000", "s9"}));
    VT().ClickHeader(Column("Write Time"), MouseButton::Left);
    EXPECT_EQ(order(), (std::vector<std::string>{"s9", "s20000", "s10", "s1000"}));
}

TEST_F(ControllerColumns, EachGridSortsByItsOwnColumn)
{
    CatalogBuilder b(Tree(), "/data");
    b.File(b.top, "b", 1, NowSeconds() - 10);
    b.File(b.top, "a", 2, NowSeconds() - 5);
    b.File(b.top, "c", 3, NowSeconds() - 1);
    b.Finish();
    auto names = [&](ITreeGrid &g, NodeId parent) {
        std::vector<std::string> out;
        for (NodeId c : g.Nodes().Children(parent))
            out.push_back(g.Nodes().Field(c, FileName));
        return out;
    };
    // With no sort column yet a grid sorts ascending by file name.
    ctrl->SortGrid(VT());
    EXPECT_EQ(names(VT(), b.top), (std::vector<std::string>{"a", "b", "c"}));
    VT().ClickHeader(Column("File Name"), MouseButton::Left); // ascending by name
    ctrl->ShowFolder(b.top);
    // The list sorts by its own column, creation time...
    VTList().ClickHeader(Column("Create Time"), MouseButton::Left);
    EXPECT_EQ(Listed(VTList()), (std::vector<std::string>{"b", "a", "c"}));
    EXPECT_EQ(ctrl->SortField, CreateTime);
    // ...and a new scan still sorts VT by file name.
    TNodeTree rescanned;
    CatalogBuilder r(rescanned, "/data");
    r.File(r.top, "z", 1, NowSeconds() - 100);
    r.File(r.top, "y", 2, NowSeconds() - 1);
    VT().ReplaceNodes(std::move(rescanned));
    AfterScan();
    EXPECT_EQ(names(VT(), Tree().First()), (std::vector<std::string>{"y", "z"}));
}

// The typed comparisons answer what the text rules answer, for every field, whatever the record holds.
class TypedComparisons : public ControllerFixture {
protected:
    // Records with typed values and with written texts of every kind.
    void Build()
    {
        CatalogBuilder b(Tree(), "/cat");
        const LocalSeconds base = FromCivil({2024, 3, 9, 17, 5, 42});
        nodes = {b.File(b.top, "alpha.TXT", 10, base),
                 b.File(b.top, "Alpha.txt", 10, base + 30),
                 b.File(b.top, "beta", 9, base - 86400),
                 b.File(b.top, "_under", 1u << 20, base + 59),
                 b.File(b.top, "\xC3\xA4rger.doc", 123456789, FromCivil({1925, 1, 2, 0, 0, 0})),
                 b.File(b.top, "bad\xFF.bin", 0, FromCivil({12000, 1, 1, 0, 0, 0})),
                 b.Folder(b.top, "folder"),
                 b.File(b.top, "x", 5, base),
                 b.File(b.top, "edge", 1, NowSeconds() - 86400 + 30)}; // a day old once seconds are dropped
        b.Finish();
        TNodeTree &t = Tree();
        t.SetField(nodes[0], FileSize, "10.0");
        t.SetField(nodes[1], WriteTime, "not a time");
        t.SetField(nodes[2], SizePercentage, "abc");
        t.SetField(nodes[3], FileType, " file ");
        t.SetField(nodes[4], FileCount, "7");
        t.SetField(nodes[5], FileName, "renamed");
        t.SetField(nodes[6], CreateTime, "");
        t.SetField(nodes[7], FileExt, "TXT");
        t.SetField(nodes[7], SizeRange, "12");
        t.SetClass(nodes[0], SizeRange, 9);
        ctrl->ClassifyFiles();
    }
    // The rules, from the texts alone.
    int TextRule(ITreeGrid &g, NodeId a, NodeId b, int field)
    {
        auto trim = [](std::string s) {
            while (!s.empty() && s.front() == ' ')
                s.erase(0, 1);
            while (!s.empty() && s.back() == ' ')
                s.pop_back();
            return s;
        };
        const TNodeTree &t = g.Nodes();
        std::string ka = trim(t.Field(a, FileType)), kb = trim(t.Field(b, FileType));
        bool asc = g.GetSortDirection() == SortDirection::Ascending;
        if (ka != kb)
            return ka == "folder" ? (asc ? -1 : 1) : (asc ? 1 : -1);
        std::string ta = t.Field(a, field), tb = t.Field(b, field);
        switch (field) {
        case 2: case 6: case 7: case 8: case 14: return CompareNumericText(ta, tb);
        case 10: case 11: case 12: return CompareDateText(ta, tb);
        case 4: return 1;
        default: return CompareTextIgnoreAsciiCase(ta, tb);
        }
    }
    std::vector<NodeId> nodes;
};

TEST_F(TypedComparisons, AgreeWithTheTextRulesInEveryFormAndField)
{
    TextForms noSeconds = TextForms::DeDe();
    noSeconds.longTime = "HH:mm";
    for (const TextForms &forms : {TextForms::EnUs(), TextForms::DeDe(), noSeconds}) {
        SetForms(forms);
        Build();
        for (int column = 0; column < 15; ++column) {
            int field = FieldIndexOf(VT().ColumnText(column));
            for (SortDirection dir : {SortDirection::Ascending, SortDirection::Descending}) {
                VT().SetSortDirection(dir);
                for (NodeId a : nodes)
                    for (NodeId b : nodes)
                        ASSERT_EQ(ctrl->CompareNodes(VT(), a, b, column), TextRule(VT(), a, b, field))
                            << forms.longTime << " " << FieldNames[field] << " " << Tree().Field(a, FileName)
                            << " vs " << Tree().Field(b, FileName);
            }
        }
    }
}

TEST_F(TypedComparisons, SortsPutEveryListInTheOrderOfTheTextRules)
{
    // A sort reads each node's key once per list; the order must be the one the text rules give,
    // for every field and direction, in lists added in one block and in lists that were not.
    Build();
    TNodeTree &t = Tree();
    CatalogBuilder more(t, "/data", CatalogBuilder::Keep);
    NodeId top = t.First();
    NodeId folder = more.Folder(top, "abcdefghijklmnop-folder");
    for (const char *name : {"abcdefghijklmnopq", "ABCDEFGHIJKLMNOP", "abcdefghijklmno", "abcdefghijklmnoP",
                             "abcdefghijklmnopQ", "abcdefghijklmno\xC3\xA4", "zx", "_x", "[x", "ZX", "A", ""})
        more.File(folder, name, std::strlen(name) * 7 % 5);
    more.Folder(folder, "abcdefghijklmnopQ"); // the folder's entries are numbered in one run
    for (const char *name : {"abcdefghijklmnop-late", "Abcdefghijklmnop-late2"})
        more.File(top, name, 3); // numbered after the folder's entries: top's are not one run
    t.SetField(t.Child(folder, 2), FileName, "abcdefghijklmno");
    t.SetField(t.Child(folder, 3), FileType, "folder");
    for (int column = 0; column < 15; ++column) {
        for (SortDirection dir : {SortDirection::Ascending, SortDirection::Descending}) {
            VT().SetSortColumn(column);
            VT().SetSortDirection(dir);
            const int field = FieldIndexOf(VT().ColumnText(column));
            std::vector<std::vector<NodeId>> expected;
            for (NodeId parent : {TNodeTree::Root(), top, folder}) {
                std::vector<NodeId> children = t.Children(parent);
                SortSiblings(children, [&](NodeId a, NodeId b) { return TextRule(VT(), a, b, field); }, dir);
                expected.push_back(children);
            }
            ctrl->SortGrid(VT());
            EXPECT_EQ(t.Children(TNodeTree::Root()), expected[0]);
            EXPECT_EQ(t.Children(top), expected[1]) << FieldNames[field];
            EXPECT_EQ(t.Children(folder), expected[2]) << FieldNames[field];
        }
    }
}

TEST_F(TypedComparisons, ClassesAgreeWithTheTextRules)
{
    TextForms noSeconds = TextForms::DeDe();
    noSeconds.longTime = "HH:mm";
    for (const TextForms &forms : {TextForms::EnUs(), noSeconds}) {
        SetForms(forms);
        Build();
        for (NodeId n : nodes)
            for (int f = CreateAgeRange; f <= SizeRange; ++f)
                Tree().ClearField(n, f);
        ctrl->ClassifyFiles();
        for (NodeId n : nodes) {
            std::vector<std::string> expected(4), got;
            if (Tree().Field(n, FileType) == "file") {
                try {
                    expected = {AgeClassOf(Tree().Field(n, CreateTime), ctrl->AgeBounds, now),
                                AgeClassOf(Tree().Field(n, AccessTime), ctrl->AgeBounds, now),
                                AgeClassOf(Tree().Field(n, WriteTime), ctrl->AgeBounds, now),
                                SizeClassOf(Tree().Field(n, FileSize), ctrl->SizeBounds)};
                } catch (const std::invalid_argument &) {
                    expected.assign(4, ""); // skipped
                }
            }
            for (int f = CreateAgeRange; f <= SizeRange; ++f)
                got.push_back(Tree().Field(n, f));
            EXPECT_EQ(got, expected) << forms.longTime << " " << Tree().Field(n, FileName);
        }
        EXPECT_EQ(Tree().Field(nodes.back(), WriteAgeRange), forms.longTime == "HH:mm" ? "1" : "0");
    }
}

TEST_F(ControllerColumns, DestroyUnwiresGridsAndCharts)
{
    CatalogBuilder b(Tree(), "/data");
    NodeId f = b.File(b.top, "a", 1);
    b.Finish();
    ctrl->ShowFolder(b.top);
    ctrl.reset();
    EXPECT_EQ(VT().CellText(f, 0), "");
    VT().ClickHeader(0, MouseButton::Right);
    VT().SelectNode(f);
    Chart(ChartId::ChartFile).ClickPoint(0);
    EXPECT_EQ(ui.columnDialogs, 0);
    EXPECT_EQ(view.PathLabel(), "/data");
}

TEST_F(ControllerColumns, ColumnDialogOkChangesOnlyTheTree)
{
    ui.columnDialogAnswers = {false, true};
    TXMLNodesType entries = GetConfig().XMLConfig()->Nodes();
    entries.Node(11).SetVisible(false); // the dialog untick "Create Time"
    entries.Node(6).SetVisible(true);
    ctrl->ShowColumnDialog(); // Cancel
    EXPECT_TRUE(VT().ColumnVisible(11));
    ctrl->ShowColumnDialog(); // OK
    EXPECT_FALSE(VT().ColumnVisible(11));
    EXPECT_TRUE(VT().ColumnVisible(6));
    EXPECT_TRUE(VTList().ColumnVisible(11));
    EXPECT_FALSE(Grid(GridId::VTType).ColumnVisible(6));
}

TEST_F(ControllerColumns, LayoutSavedAtCloseComesBackAtTheNextStart)
{
    VT().SetColumnWidth(2, 150);
    VT().SetColumnPosition(2, 0);
    VT().SetColumnVisible(13, false);
    VTList().SetColumnWidth(0, 33); // other grids' changes are not kept
    ctrl->SaveLayout();
    std::string saved;
    {
        std::ifstream in(GetConfig().ConfigFileName());
        saved.assign(std::istreambuf_iterator<char>(in), {});
    }
    EXPECT_NE(saved.find("Name=\"File Size\" Visible=\"True\" Index=\"0\""), std::string::npos) << saved;
    ctrl.reset();
    TConfigPlaces places;
    places.programFolder = dir / "prog";
    places.userFolder = dir / "user";
    ResetConfig(places);
    TPlainMainView again;
    TFACtrl second(again, [] { return NowSeconds() * 1000; });
    for (GridId id : {GridId::VT, GridId::VTList}) {
        second.SetupColumns(again.Grid(id));
        ITreeGrid &g = again.Grid(id);
        EXPECT_EQ(g.ColumnWidth(2), 150);
        EXPECT_EQ(g.ColumnPosition(2), 0);
        EXPECT_EQ(g.ColumnPosition(0), 1);
        EXPECT_EQ(g.ColumnPosition(1), 2);
        EXPECT_EQ(g.ColumnPosition(3), 3);
        EXPECT_FALSE(g.ColumnVisible(13));
        EXPECT_EQ(g.ColumnWidth(0), 172);
    }
}

} // namespace
} // namespace folvane::test
