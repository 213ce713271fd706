// The controller's navigation, statistics, charts, drill-down lists, exports and file-manager command.

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <numeric>
#include <thread>

#include <gtest/gtest.h>

#include "Catalog.h"
#include "catalog/CatalogNotes.h"
#include "support/Files.h"
#include "support/WritesFail.h"

namespace folvane::test {
namespace {

constexpr LocalSeconds kDay = 86400;

// /data
//   docs/            a.TXT (100)  b.txt (300)  sub/ c.Txt (600)
//   empty/
//   pic.jpg (9999)   README (10000)   zero (0)
class Navigation : public ControllerFixture {
protected:
    Navigation()
    {
        CatalogBuilder b(Tree(), "/data");
        top = b.top;
        docs = b.Folder(top, "docs");
        a = b.File(docs, "a.TXT", 100, NowSeconds() - kDay / 2);
        bTxt = b.File(docs, "b.txt", 300, NowSeconds() - 2 * kDay);
        sub = b.Folder(docs, "sub");
        c = b.File(sub, "c.Txt", 600, NowSeconds() - 400 * kDay);
        empty = b.Folder(top, "empty");
        pic = b.File(top, "pic.jpg", 9999, NowSeconds() - 10 * kDay);
        readme = b.File(top, "README", 10000, NowSeconds() + kDay);
        zero = b.File(top, "zero", 0, NowSeconds() - kDay);
        b.Finish();
        ctrl->RootPath = "/data";
        AfterScan();
    }
    double PercentSum(ITreeGrid &g)
    {
        double sum = 0;
        for (const std::string &p : Listed(g, SizePercentage))
            sum += std::stod(p);
        return sum;
    }
    NodeId top, docs, a, bTxt, sub, c, empty, pic, readme, zero;
};

TEST_F(Navigation, TopNodeListsItsChildren)
{
    EXPECT_EQ(view.PathLabel(), "/data");
    EXPECT_FALSE(view.UpEnabled());
    EXPECT_EQ(ctrl->CurrentNode, top);
    EXPECT_EQ(Listed(VTList()), (std::vector<std::string>{"docs", "empty", "pic.jpg", "README", "zero"}));
    EXPECT_NEAR(PercentSum(VTList()), 100.0, 0.05);
    EXPECT_EQ(Listed(VTList(), SizePercentage)[0], "4.76");
    EXPECT_EQ(VTList().UpdateDepth(), 0);
    EXPECT_EQ(Chart(ChartId::ChartFile).TitleLines(), std::vector<std::string>{"/data"});
    ASSERT_EQ(Chart(ChartId::ChartFile).Points().size(), 5u);
    EXPECT_EQ(Chart(ChartId::ChartFile).Points()[0].label, "docs");
    EXPECT_EQ(Chart(ChartId::ChartFile).Points()[0].value, 1000);
    // The list is a copy: its percentages are its own.
    EXPECT_EQ(Tree().Field(docs, SizePercentage), "4.76");
    EXPECT_EQ(Tree().Field(pic, SizePercentage), "47.62");
}

TEST_F(Navigation, ListSharesAreTheRollUpsRoundingOfTheListsTotal)
{
    // docs holds sub (600 bytes), a.TXT (100) and b.txt (300): in the list, shares of 1000; and a
    // list of sizes 96, 23 and 41 gives the texts the roll-up gives for 96, 23 and 41 of 160.
    VT().SelectNode(docs);
    EXPECT_EQ(Listed(VTList(), SizePercentage), (std::vector<std::string>{"60.00", "10.00", "30.00"}));
    Tree().SetSize(a, 23);
    Tree().SetSize(bTxt, 41);
    Tree().SetSize(c, 96);
    Tree().SetSize(sub, 96);
    const std::uint64_t total = RollUpFolderSize(Tree(), top);
    FillPercentagesAndCounts(Tree(), 160); // shares as if docs were the whole catalogue
    VT().SelectNode(sub);
    VT().SelectNode(docs);
    EXPECT_EQ(total, 160u + 9999 + 10000);
    const std::vector<std::string> rolledUp = {Tree().Field(sub, SizePercentage), Tree().Field(a, SizePercentage),
                                               Tree().Field(bTxt, SizePercentage)};
    EXPECT_EQ(rolledUp, (std::vector<std::string>{"60.00", "14.38", "25.63"}));
    EXPECT_EQ(Listed(VTList(), SizePercentage), rolledUp);
    SetForms(TextForms::DeDe());
    EXPECT_EQ(Listed(VTList(), SizePercentage), (std::vector<std::string>{"60,00", "14,38", "25,63"}));
}

TEST_F(Navigation, AListEntryWhoseSizeIsNoNumberHasNoShareAndTheOthersStillGetTheirs)
{
    Tree().SetField(bTxt, FileSize, "300 bytes");
    Tree().SetField(a, FileSize, "99.5"); // counts as 100 bytes
    VT().SelectNode(docs);
    EXPECT_EQ(Listed(VTList(), SizePercentage), (std::vector<std::string>{"85.71", "14.29", ""}));
    EXPECT_EQ(Listed(VTList(), FileSize), (std::vector<std::string>{"600", "99.5", "300 bytes"}));
}

TEST_F(Navigation, FilesEmptyFoldersAndTheSameNodeTwice)
{
    VT().SelectNode(pic);
    EXPECT_EQ(view.PathLabel(), "/data/pic.jpg");
    EXPECT_TRUE(view.UpEnabled());
    EXPECT_EQ(Listed(VTList()), std::vector<std::string>{"pic.jpg"});
    EXPECT_EQ(Listed(VTList(), SizePercentage), std::vector<std::string>{"100.00"});
    VT().SelectNode(zero);
    EXPECT_EQ(Listed(VTList(), SizePercentage), std::vector<std::string>{"0"});
    VT().SelectNode(empty);
    EXPECT_TRUE(Listed(VTList()).empty());
    EXPECT_EQ(ctrl->SizeCounts, std::vector<std::uint64_t>(7, 0));
    EXPECT_TRUE(ctrl->TypeCounts.Empty());
    // Shown again: nothing is refreshed.
    VTList().Nodes().AddTopLevel();
    Chart(ChartId::AgeChart).RemoveAllSeries();
    VT().SelectNode(empty);
    EXPECT_EQ(VTList().Nodes().NodeCount(), 1u);
    EXPECT_EQ(Chart(ChartId::AgeChart).Kind(), SeriesKind::None);
    // No node and the invisible root change nothing.
    ctrl->ShowFolder(kNoNode);
    ctrl->ShowFolder(TNodeTree::Root());
    VT().SelectNode(kNoNode);
    EXPECT_EQ(ctrl->CurrentNode, empty);
}

TEST_F(Navigation, UpButtonAndDoubleClicks)
{
    VTList().DoubleClick(VTList().Nodes().Child(0, 0)); // docs
    EXPECT_EQ(ctrl->CurrentNode, docs);
    EXPECT_EQ(VT().FocusedNode(), docs);
    EXPECT_EQ(Listed(VTList()), (std::vector<std::string>{"sub", "a.TXT", "b.txt"}));
    EXPECT_TRUE(view.UpEnabled());
    ctrl->SelectChild("SUB"); // exact case only
    EXPECT_EQ(ctrl->CurrentNode, docs);
    ctrl->SelectChild("sub");
    EXPECT_EQ(ctrl->CurrentNode, sub);
    ctrl->SelectChild("c.Txt");
    EXPECT_EQ(ctrl->CurrentNode, c);
    ctrl->SelectChild("anything"); // a file has no children
    EXPECT_EQ(ctrl->CurrentNode, c);
    // The up button: the parent of the shown entry, disabled again at the opened folder.
    for (NodeId expected : {sub, docs, top}) {
        ctrl->ShowFolder(Tree().Parent(ctrl->CurrentNode));
        EXPECT_EQ(ctrl->CurrentNode, expected);
    }
    EXPECT_FALSE(view.UpEnabled());
    // A double click on a file shows the file alone; a click on a slice of the folder chart descends.
    VTList().DoubleClick(VTList().Nodes().Child(0, 2));
    EXPECT_EQ(ctrl->CurrentNode, pic);
    ctrl->ShowFolder(top);
    Chart(ChartId::ChartFile).ClickPoint(0);
    EXPECT_EQ(ctrl->CurrentNode, docs);
    EXPECT_EQ(view.PathLabel(), "/data/docs");
}

TEST_F(Navigation, ClassesOfTheDefaultConfiguration)
{
    struct Case {
        NodeId node;
        const char *write, *size;
    } cases[] = {
        {a, "0", "0"},     // half a day, 100 bytes
        {bTxt, "1", "0"},  // two days
        {c, "5", "0"},     // 400 days
        {pic, "3", "0"},   // ten days, 9999 bytes
        {readme, "0", "1"}, // in the future, 10000 bytes
        {zero, "1", "0"},  // exactly one day
    };
    for (const Case &k : cases) {
        EXPECT_EQ(Tree().Field(k.node, WriteAgeRange), k.write) << Tree().Field(k.node, FileName);
        EXPECT_EQ(Tree().Field(k.node, CreateAgeRange), k.write);
        EXPECT_EQ(Tree().Field(k.node, SizeRange), k.size);
    }
    EXPECT_EQ(Tree().Field(docs, SizeRange), ""); // folders keep empty class fields
    // Sizes past 4 GB, and a time 0.9 days old.
    Tree().SetSize(pic, 1000000000);
    Tree().SetSize(readme, 5000000000);
    Tree().Data(zero).times[2] = NowSeconds() - kDay * 9 / 10;
    ctrl->ClassifyFiles();
    EXPECT_EQ(Tree().Field(pic, SizeRange), "6");
    EXPECT_EQ(Tree().Field(readme, SizeRange), "6");
    EXPECT_EQ(Tree().Field(zero, WriteAgeRange), "0");
}

TEST_F(Navigation, ARecordThatCannotBeClassifiedIsSkipped)
{
    Tree().SetField(a, CreateTime, "yesterday");
    Tree().SetField(a, SizeRange, "");
    Tree().SetField(bTxt, WriteTime, "");
    Tree().SetField(bTxt, SizeRange, "");
    Tree().SetSize(c, 20000);
    ctrl->ClassifyFiles();
    EXPECT_EQ(Tree().Field(a, SizeRange), "");
    EXPECT_EQ(Tree().Field(bTxt, SizeRange), "");
    EXPECT_EQ(Tree().Field(c, SizeRange), "1"); // the pass went on
}

// An entry the scan could not examine has no times: it is in no age class (neither counted nor
// listed there), but in its size and type classes like any file; its hint says why.
TEST_F(Navigation, AnEntryWithoutTimesIsInNoAgeClassAndItsHintSaysWhy)
{
    // As a scan leaves it: no times, no class fields yet.
    TFileNodeData &d = Tree().Data(zero);
    d.present &= ~((1u << CreateTime) | (1u << AccessTime) | (1u << WriteTime));
    for (Field f : {CreateAgeRange, AccessAgeRange, WriteAgeRange, SizeRange})
        Tree().ClearField(zero, f);
    d.flags |= TFileNodeData::Unreadable;
    Tree().Notes().reasons[zero] = {ReasonKind::NotRead, EACCES, {}};
    ctrl->ClassifyFiles();
    ctrl->CurrentNode = kNoNode;
    ctrl->ShowFolder(top);
    auto sum = [](const std::vector<std::uint64_t> &counts) { return std::accumulate(counts.begin(), counts.end(), 0ull); };
    EXPECT_EQ(sum(ctrl->SizeCounts), 6u);
    for (const auto *ages : {&ctrl->CreateCounts, &ctrl->AccessCounts, &ctrl->WriteCounts})
        EXPECT_EQ(sum(*ages), 5u);
    std::uint64_t typed = 0;
    for (std::size_t i = 0; i < ctrl->TypeCounts.Size(); ++i)
        typed += ctrl->TypeCounts[i].count;
    EXPECT_EQ(typed, 6u);
    // Class 0 of the write times holds a.TXT and README; "zero" is listed under its size only.
    ctrl->FillClassList(Grid(GridId::VTAge), 2, "0");
    EXPECT_EQ(Listed(Grid(GridId::VTAge), FileName), (std::vector<std::string>{"a.TXT", "README"}));
    ctrl->FillClassList(Grid(GridId::VTSize), 3, "0");
    const auto bySize = Listed(Grid(GridId::VTSize), FileName);
    EXPECT_NE(std::find(bySize.begin(), bySize.end(), "zero"), bySize.end());

    const int name = Column("File Name");
    EXPECT_EQ(VT().CellHint(zero, name), "zero\nPermission denied");
    EXPECT_EQ(VT().CellHint(zero, Column("Write Time")), "Permission denied");
    EXPECT_EQ(VT().CellHint(pic, name), "pic.jpg");
    // The copy in the current-folder list says the same.
    NodeId copy = kNoNode;
    for (NodeId n = VTList().Nodes().First(); n != kNoNode; n = VTList().Nodes().NextSibling(n))
        copy = VTList().Nodes().Field(n, FileName) == "zero" ? n : copy;
    ASSERT_NE(copy, kNoNode);
    EXPECT_EQ(VTList().CellHint(copy, name), "zero\nPermission denied");
}

TEST_F(Navigation, TypesCountedAndListedWithoutRegardToCase)
{
    ctrl->ShowFolder(docs); // the folder sub sorts first: c.Txt is met first
    ASSERT_EQ(ctrl->TypeCounts.Size(), 1u);
    EXPECT_EQ(ctrl->TypeCounts[0].ext, "Txt");
    EXPECT_EQ(ctrl->TypeCounts[0].count, 3u);
    TPlainChart &types = Chart(ChartId::TypeChart);
    ASSERT_EQ(types.Points().size(), 1u);
    types.ClickPoint(0);
    EXPECT_EQ(Listed(Grid(GridId::VTType)), (std::vector<std::string>{"c.Txt", "a.TXT", "b.txt"}));
    EXPECT_EQ(view.Page(PageControlId::pcType), 1);
    EXPECT_NEAR(PercentSum(Grid(GridId::VTType)), 100.0, 0.05);
    // The top folder: files without an extension count under the empty one.
    ctrl->ShowFolder(top);
    EXPECT_EQ(ctrl->TypeCounts[0].ext, "Txt");
    EXPECT_EQ(ctrl->TypeCounts[1].ext, "");
    EXPECT_EQ(ctrl->TypeCounts[1].count, 2u);
    EXPECT_EQ(ctrl->TypeCounts[2].ext, "jpg");
}

TEST_F(Navigation, DefaultChartsLabelsAndValues)
{
    TPlainChart &age = Chart(ChartId::AgeChart), &size = Chart(ChartId::SizeChart);
    EXPECT_EQ(age.TitleLines(), std::vector<std::string>{"File Age Chart"});
    EXPECT_EQ(age.Kind(), SeriesKind::Pie);
    std::vector<std::string> labels;
    std::vector<double> values;
    for (const ChartPoint &p : age.Points()) {
        labels.push_back(p.label);
        values.push_back(p.value);
    }
    EXPECT_EQ(labels, (std::vector<std::string>{"one day", "three days", "one week", "one month", "one year",
                                                "above one year"}));
    EXPECT_EQ(values, (std::vector<double>{2, 2, 0, 1, 0, 1})); // by creation time
    labels.clear();
    for (const ChartPoint &p : size.Points())
        labels.push_back(p.label);
    EXPECT_EQ(labels, (std::vector<std::string>{"10KB", "100KB", "1MB", "10MB", "100MB", "1G", "above 1G"}));
    EXPECT_EQ(size.Points()[0].value, 5);
    EXPECT_EQ(size.Points()[1].value, 1);
    EXPECT_EQ(Chart(ChartId::TypeChart).TitleLines(), std::vector<std::string>{"File Type Chart"});
    // Redrawing replaces the one series; the buttons choose the form and the time kind.
    ctrl->ShowAgeChart(age, true, 1);
    EXPECT_EQ(age.Kind(), SeriesKind::Bar);
    EXPECT_EQ(age.SeriesCount(), 1);
    view.SetDown(ButtonId::tbBarFile, true);
    view.SetDown(ButtonId::tbPieSize, false);
    view.SetDown(ButtonId::sbCreate, false);
    view.SetDown(ButtonId::sbWrite, true);
    view.SetDown(ButtonId::sbTop, true);
    ctrl->ShowFolder(docs);
    EXPECT_EQ(Chart(ChartId::ChartFile).Kind(), SeriesKind::Bar);
    EXPECT_EQ(age.Kind(), SeriesKind::Pie);
    EXPECT_EQ(size.Kind(), SeriesKind::Bar);
    EXPECT_EQ(age.Points()[1].value, 1); // b.txt written two days ago
}

TEST_F(Navigation, EveryDrillDownListHoldsExactlyItsPointsFiles)
{
    Tree().SetField(bTxt, SizeRange, ""); // counted in class 0, and so listed there
    struct Kind {
        ChartId chart;
        GridId list;
        std::function<void()> choose;
    };
    std::vector<Kind> kinds = {
        {ChartId::AgeChart, GridId::VTAge, [&] { view.SetDown(ButtonId::sbCreate, true); }},
        {ChartId::AgeChart, GridId::VTAge,
         [&] { view.SetDown(ButtonId::sbCreate, false); view.SetDown(ButtonId::sbAccess, true); }},
        {ChartId::AgeChart, GridId::VTAge, [&] { view.SetDown(ButtonId::sbAccess, false); }},
        {ChartId::SizeChart, GridId::VTSize, [] {}},
        {ChartId::TypeChart, GridId::VTType, [] {}},
    };
    for (NodeId shown : {top, docs, sub, pic, empty}) {
        for (Kind &k : kinds) {
            k.choose();
            ctrl->CurrentNode = kNoNode;
            ctrl->ShowFolder(shown);
            TPlainChart &chart = Chart(k.chart);
            double total = 0;
            for (int p = 0; p < int(chart.Points().size()); ++p) {
                chart.ClickPoint(p);
                EXPECT_EQ(double(Grid(k.list).Nodes().NodeCount()), chart.Points()[p].value)
                    << Tree().Field(shown, FileName) << " " << chart.Name() << " point " << p;
                total += chart.Points()[p].value;
            }
            std::uint32_t files = 0;
            for (NodeId n = shown, i = 0; i < Tree().TotalCount(shown); ++i, n = Tree().Next(n))
                files += Tree().Field(n, FileType) == "file";
            EXPECT_EQ(total, files);
        }
    }
}

TEST_F(Navigation, AShownFileIsListedOnlyUnderItsOwnClass)
{
    ctrl->ShowFolder(bTxt);
    TPlainChart &age = Chart(ChartId::AgeChart);
    for (int p = 0; p < 6; ++p) {
        age.ClickPoint(p);
        EXPECT_EQ(Listed(Grid(GridId::VTAge)), p == 1 ? std::vector<std::string>{"b.txt"} : std::vector<std::string>{})
            << "point " << p;
    }
    EXPECT_EQ(view.Page(PageControlId::pcAge), 1);
}

TEST_F(Navigation, ClassIndexesTheCountersDoNotHaveCountNowhere)
{
    Tree().SetField(pic, SizeRange, "99");
    Tree().SetField(readme, SizeRange, "x");
    ctrl->CurrentNode = kNoNode;
    ctrl->ShowFolder(top);
    EXPECT_EQ(std::accumulate(ctrl->SizeCounts.begin(), ctrl->SizeCounts.end(), std::uint64_t(0)), 4u);
    Chart(ChartId::SizeChart).ClickPoint(0);
    EXPECT_EQ(Listed(Grid(GridId::VTSize)), (std::vector<std::string>{"c.Txt", "a.TXT", "b.txt", "zero"}));
}

TEST_F(Navigation, AClickOnMergedPointsReachesTheirEntries)
{
    // On the current-folder chart: the list page, with the first merged entry in list order selected.
    TPlainChart &files = Chart(ChartId::ChartFile);
    files.ClickMerged(2, 3); // pic.jpg, README, zero
    EXPECT_EQ(view.Page(PageControlId::pcTotal), 1);
    ASSERT_TRUE(VTList().Nodes().IsValid(VTList().SelectedNode()));
    EXPECT_EQ(VTList().Nodes().Field(VTList().SelectedNode(), FileName), "pic.jpg");
    EXPECT_EQ(VTList().FocusedNode(), VTList().SelectedNode());
    EXPECT_EQ(ctrl->CurrentNode, top); // the folder shown stays

    // On a class chart: the files of every merged point.
    Chart(ChartId::TypeChart).ClickMerged(1, 2); // "" and jpg
    EXPECT_EQ(Listed(Grid(GridId::VTType)), (std::vector<std::string>{"pic.jpg", "README", "zero"}));
    EXPECT_EQ(view.Page(PageControlId::pcType), 1);
    Chart(ChartId::SizeChart).ClickMerged(0, 2);
    EXPECT_EQ(Listed(Grid(GridId::VTSize)), (std::vector<std::string>{"c.Txt", "a.TXT", "b.txt", "pic.jpg", "README",
                                                                      "zero"}));
    Chart(ChartId::AgeChart).ClickMerged(4, 2); // "one year" and above: by creation time
    EXPECT_EQ(Listed(Grid(GridId::VTAge)), std::vector<std::string>{"c.Txt"});
}

class TypeTables : public ControllerFixture {};

TEST_F(TypeTables, BytesByTypeWithTheSameOrderRuleAndDrillDown)
{
    CatalogBuilder b(Tree(), "/t");
    for (auto [name, size] : std::vector<std::pair<const char *, int>>{{"a.txt", 10}, {"B.TXT", 20}, {"c.iso", 5000},
                                                                       {"d.log", 100}, {"e.LOG", 100}, {"f.log", 100},
                                                                       {"g.bin", 300}})
        b.File(b.top, name, std::uint64_t(size));
    b.Finish();
    auto shown = [&] {
        std::vector<std::string> labels;
        for (const ChartPoint &p : Chart(ChartId::TypeChart).Points())
            labels.push_back(p.label + "=" + std::to_string(std::int64_t(p.value)));
        return labels;
    };
    ctrl->ShowFolder(b.top);
    EXPECT_EQ(shown(), (std::vector<std::string>{"log=3", "txt=2", "iso=1", "bin=1"}));
    EXPECT_EQ(Chart(ChartId::TypeChart).Unit(), ValueUnit::Files);

    view.SetDown(ButtonId::sbFiles, false);
    view.SetDown(ButtonId::sbSize, true);
    ctrl->CurrentNode = kNoNode;
    ctrl->ShowFolder(b.top);
    // Met as txt, iso, log, bin; the exchange by bytes puts log before bin, which are equal.
    EXPECT_EQ(shown(), (std::vector<std::string>{"iso=5000", "log=300", "bin=300", "txt=30"}));
    EXPECT_EQ(Chart(ChartId::TypeChart).Unit(), ValueUnit::Bytes);
    EXPECT_EQ(Chart(ChartId::ChartFile).Unit(), ValueUnit::Bytes);
    EXPECT_EQ(Chart(ChartId::AgeChart).Unit(), ValueUnit::Files);
    Chart(ChartId::TypeChart).ClickPoint(1);
    EXPECT_EQ(Listed(Grid(GridId::VTType)), (std::vector<std::string>{"d.log", "e.LOG", "f.log"}));
    ctrl->ShowTypeChart(Chart(ChartId::TypeChart), true, false, true);
    EXPECT_EQ(shown().size(), 4u);
}


TEST_F(TypeTables, EqualCountsAndTheTopTen)
{
    CatalogBuilder b(Tree(), "/t");
    auto files = [&](const char *ext, int n) {
        for (int i = 0; i < n; ++i)
            b.File(b.top, std::string("f") + ext + std::to_string(i) + "." + ext, 1);
    };
    files("p", 5);
    files("q", 7);
    files("r", 7);
    files("s", 2);
    b.Finish();
    ctrl->ShowFolder(b.top);
    std::vector<std::string> labels;
    for (const ChartPoint &p : Chart(ChartId::TypeChart).Points())
        labels.push_back(p.label + "=" + std::to_string(int(p.value)));
    EXPECT_EQ(labels, (std::vector<std::string>{"q=7", "r=7", "p=5", "s=2"}));

    CatalogBuilder twelve(Tree(), "/t12");
    for (int e = 0; e < 12; ++e)
        for (int i = 0; i <= e; ++i)
            twelve.File(twelve.top, "x" + std::to_string(i) + ".e" + std::to_string(e), 1);
    twelve.Finish();
    ctrl->CurrentNode = kNoNode;
    ctrl->ShowFolder(twelve.top);
    EXPECT_EQ(Chart(ChartId::TypeChart).Points().size(), 12u);
    ctrl->ShowTypeChart(Chart(ChartId::TypeChart), false, false);
    ASSERT_EQ(Chart(ChartId::TypeChart).Points().size(), 10u);
    EXPECT_EQ(Chart(ChartId::TypeChart).Points()[0].label, "e11");
    EXPECT_EQ(Chart(ChartId::TypeChart).Points()[9].label, "e2");
    ctrl->TypeCounts.Assign({{"a", 1}, {"b", 2}, {"c", 3}, {"d", 4}, {"e", 5}, {"f", 6}, {"g", 7}});
    ctrl->ShowTypeChart(Chart(ChartId::TypeChart), false, false);
    EXPECT_EQ(Chart(ChartId::TypeChart).Points().size(), 7u);
}

TEST_F(TypeTables, ChartsBeforeAnythingIsShown)
{
    Grid(GridId::VTAge).Nodes().AddTopLevel();
    ctrl->ShowAgeChart(Chart(ChartId::AgeChart), true, 0);
    ctrl->ShowSizeChart(Chart(ChartId::SizeChart), false);
    ctrl->ShowTypeChart(Chart(ChartId::TypeChart), false, true);
    ctrl->ShowFileChart(Chart(ChartId::ChartFile), false);
    EXPECT_EQ(Chart(ChartId::AgeChart).Points().size(), 6u);
    EXPECT_EQ(Chart(ChartId::SizeChart).Points().size(), 7u);
    for (const ChartPoint &p : Chart(ChartId::AgeChart).Points())
        EXPECT_EQ(p.value, 0);
    EXPECT_TRUE(Chart(ChartId::TypeChart).Points().empty());
    EXPECT_TRUE(Chart(ChartId::ChartFile).Points().empty());
    Chart(ChartId::AgeChart).ClickPoint(2);
    EXPECT_EQ(Grid(GridId::VTAge).Nodes().NodeCount(), 0u); // only emptied
    EXPECT_EQ(view.Page(PageControlId::pcAge), 0);
    Chart(ChartId::SizeChart).ClickPoint(0);
    EXPECT_EQ(view.Page(PageControlId::pcSize), 0);
}

// --- Exports, the file manager and chart bitmaps -----------------------------------------------

std::string firstLine(const std::string &path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

TEST_F(Navigation, ExportsWriteTheConfiguredVisibleColumns)
{
    std::vector<std::string> columns;
    ctrl->GetVisibleColumns(columns);
    EXPECT_EQ(columns, (std::vector<std::string>{"File Name", "Full Path", "File Size", "Size Percentage", "DOS Name",
                                                 "File Ext", "Create Time", "Access Time", "Write Time",
                                                 "File Count"}));
    const std::string header = "File Name,Full Path,File Size,Size Percentage,DOS Name,File Ext,Create Time,"
                               "Access Time,Write Time,File Count,";
    VTList().SetColumnPosition(13, 0); // the screen's order plays no part
    VTList().SetColumnVisible(0, false);
    ui.saveAnswers = {dir / "list.csv"};
    ctrl->ExportCsv(VTList());
    EXPECT_EQ(firstLine(dir / "list.csv"), header);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Export Finished");
    EXPECT_EQ(ui.messages[0].caption, "Done");
    // The dialog's "Create Time" tick removes it from every export.
    GetConfig().XMLConfig()->Nodes().Node(11).SetVisible(false);
    ui.saveAnswers = {dir / "tree.txt"};
    ctrl->ExportText(VT());
    std::string line = firstLine(dir / "tree.txt");
    EXPECT_EQ(line.find("Create Time"), std::string::npos);
    EXPECT_EQ(line.substr(0, 19), "File Name          ");
    // Cancelled: no file, no message.
    ctrl->ExportHtml(VT());
    ctrl->ExportXml(VTList());
    EXPECT_EQ(ui.messages.size(), 2u);
    ui.saveAnswers = {dir / "tree.xml", dir / "list.htm", dir / "list.xlsx"};
    ctrl->ExportXml(VT());
    ctrl->ExportHtml(VTList());
    ctrl->ExportExcel(VTList());
    for (const char *name : {"tree.xml", "list.htm", "list.xlsx"})
        EXPECT_TRUE(std::filesystem::exists(dir / name)) << name;
    EXPECT_EQ(ui.messages.size(), 5u);
}

// A disk that is full: each export says which file and why, and the old file stays whole.
TEST_F(Navigation, AnExportThatCannotBeWrittenSaysWhichFileAndWhy)
{
    const std::pair<const char *, void (TFACtrl::*)(ITreeGrid &)> cases[] = {
        {"tree.htm", &TFACtrl::ExportHtml}, {"tree.xml", &TFACtrl::ExportXml}, {"tree.txt", &TFACtrl::ExportText},
        {"tree.csv", &TFACtrl::ExportCsv},  {"tree.xlsx", &TFACtrl::ExportExcel}, {"tree.json", &TFACtrl::ExportNcdu},
    };
    const std::string folder = dir / "out";
    std::filesystem::create_directories(folder);
    for (auto [name, command] : cases) {
        SCOPED_TRACE(name);
        const std::string path = folder + "/" + name;
        WriteFile(path, "old content");
        ui.messages.clear();
        ui.saveAnswers = {path};
        ui.messageAnswers = {MsgResult::Yes}; // overwrite
        std::string reason;
        {
            WritesFail fail(folder);
            reason = fail.Reason();
            (ctrl.get()->*command)(VT());
        }
        EXPECT_EQ(ReadFile(path), "old content");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1); // no temporary file left
        ASSERT_EQ(ui.messages.size(), 2u); // the overwrite question, then why
        const auto &said = ui.messages[1];
        EXPECT_NE(said.text.find(path), std::string::npos) << said.text;
        EXPECT_NE(said.text.find(reason), std::string::npos) << said.text;
        EXPECT_EQ(said.caption, "Warning");
        EXPECT_EQ(said.buttons, MsgButtons::Ok);
        EXPECT_FALSE(ui.waitVisible);
        std::filesystem::remove(path);
    }
}

// The writing step of an export reads what the first step gathered, not the configuration: a
// column hidden after the first step is still written, and the UI thread may read the
// configuration and paint the grid while a worker writes.
TEST_F(Navigation, TheWritingStepOfAnExportReadsOnlyWhatItWasHanded)
{
    for (auto format : {TFACtrl::ExportFormat::Csv, TFACtrl::ExportFormat::Xml}) {
        const bool csv = format == TFACtrl::ExportFormat::Csv;
        const std::string path = dir / (csv ? "tree.csv" : "tree.xml");
        ui.saveAnswers = {path};
        const std::function<void()> write = ctrl->PrepareExport(format, VT());
        GetConfig().XMLConfig()->Nodes().Node(0).SetVisible(false); // "File Name"
        std::thread worker(write);
        for (NodeId n = Tree().First(); n != kNoNode; n = Tree().Next(n))
            for (int column = 0; column < VT().ColumnCount(); ++column)
                ctrl->GetText(VT(), n, column);
        std::vector<std::string> columns;
        ctrl->GetVisibleColumns(columns);
        worker.join();
        GetConfig().XMLConfig()->Nodes().Node(0).SetVisible(true);
        if (csv)
            EXPECT_EQ(firstLine(path).rfind("File Name,Full Path,", 0), 0u) << firstLine(path);
        else
            EXPECT_NE(ReadFile(path).find("FileName=\"docs\""), std::string::npos);
        EXPECT_EQ(columns.front(), "Full Path");
    }
    EXPECT_EQ(ui.messages.size(), 2u); // "Export Finished" twice
}

// A new catalogue sorted and classified off the UI thread is what sorting and classifying VT gives.
TEST_F(Navigation, APreparedCatalogueIsWhatSortingAndClassifyingVTGives)
{
    auto build = [](TNodeTree &tree) {
        CatalogBuilder b(tree, "/new");
        NodeId z = b.Folder(b.top, "zeta");
        b.File(z, "b.log", 5000, NowSeconds() - 90 * kDay);
        b.File(z, "A.log", 5000, NowSeconds() - 2 * kDay);
        b.File(b.top, "m.txt", 12, NowSeconds() - 800 * kDay);
        NodeId a = b.Folder(b.top, "alpha");
        b.File(a, "y", 0);
        b.File(a, "X.TXT", 70000, NowSeconds() - 20 * kDay);
        b.File(b.top, "B.txt", 12, NowSeconds() - kDay);
        b.Finish();
    };
    const std::pair<const char *, SortDirection> sorts[] = {
        {nullptr, SortDirection::Ascending}, {"File Size", SortDirection::Descending}, {"Write Time", SortDirection::Ascending}};
    for (auto [column, direction] : sorts) {
        SCOPED_TRACE(column ? column : "no sort column");
        VT().SetSortColumn(column ? Column(column) : -1);
        VT().SetSortDirection(direction);
        build(Tree());
        ctrl->SortGrid(VT());
        ctrl->ClassifyFiles();
        TNodeTree prepared;
        build(prepared);
        TFACtrl::TClassCounts prepCounted = ctrl->PrepareCatalogue(prepared, ctrl->SortKeyOf(VT()), now, 3);
        NodeId x = Tree().First(), y = prepared.First();
        for (; x != kNoNode && y != kNoNode; x = Tree().Next(x), y = prepared.Next(y))
            for (int field = 0; field < kFieldCount; ++field)
                EXPECT_EQ(prepared.Field(y, field), Tree().Field(x, field)) << FieldNames[field];
        EXPECT_EQ(x, kNoNode);
        EXPECT_EQ(y, kNoNode);

        // Counted on three threads, as the preparation counts or apart from it, the top folder's
        // classes are what showing it counts, types in the order met ("TXT" met in alpha before
        // "txt" at the top), with their bytes and the file met first under each (both trees
        // number their nodes alike).
        TFACtrl::TClassCounts counted = ctrl->CountClassesOf(prepared, prepared.First(), 3);
        ctrl->CurrentNode = kNoNode;
        ctrl->ShowFolder(Tree().First());
        for (const TFACtrl::TClassCounts *c : {&counted, &prepCounted}) {
            EXPECT_EQ(c->SizeCounts, ctrl->SizeCounts);
            EXPECT_EQ(c->CreateCounts, ctrl->CreateCounts);
            EXPECT_EQ(c->AccessCounts, ctrl->AccessCounts);
            EXPECT_EQ(c->WriteCounts, ctrl->WriteCounts);
            ASSERT_EQ(c->TypeCounts.Size(), ctrl->TypeCounts.Size());
            for (std::size_t i = 0; i < c->TypeCounts.Size(); ++i) {
                EXPECT_EQ(c->TypeCounts[i].ext, ctrl->TypeCounts[i].ext);
                EXPECT_EQ(c->TypeCounts[i].count, ctrl->TypeCounts[i].count);
                EXPECT_EQ(c->TypeCounts[i].bytes, ctrl->TypeCounts[i].bytes);
                EXPECT_EQ(c->TypeCounts[i].first, ctrl->TypeCounts[i].first);
            }
        }
        if (!column) {
            ASSERT_EQ(counted.TypeCounts.Size(), 3u);
            EXPECT_EQ(counted.TypeCounts[0].ext, "TXT");
            EXPECT_EQ(counted.TypeCounts[0].count, 3u);
            EXPECT_EQ(counted.TypeCounts[0].bytes, 70024u);
        }
        // Shown with those counts, the window's views are what showing it without them gives.
        const std::vector<std::string> listed = Listed(VTList());
        ctrl->CurrentNode = kNoNode;
        ctrl->ShowFolder(Tree().First(), std::move(counted));
        EXPECT_EQ(Listed(VTList()), listed);
        EXPECT_EQ(ctrl->TypeCounts.Size(), 3u);
    }
}

TEST_F(Navigation, FileManagerAlwaysOpensAFolder)
{
    CatalogBuilder rootCat(Grid(GridId::VTSize).Nodes(), "/");
    NodeId inRoot = rootCat.File(rootCat.top, "a.txt", 1);
    struct Case {
        const char *what;
        std::function<void()> arrange;
        ITreeGrid *grid;
        const char *url; // nullptr: nothing opened
    } cases[] = {
        {"focused folder", [&] { VT().SetFocusedNode(docs); }, &VT(), "file:///data/docs"},
        {"focused file", [&] { VT().SetFocusedNode(bTxt); }, &VT(), "file:///data/docs"},
        {"focused top", [&] { VT().SetFocusedNode(top); }, &VT(), "file:///data"},
        {"file in /", [&] { Grid(GridId::VTSize).SetFocusedNode(inRoot); }, &Grid(GridId::VTSize), "file:///"},
        {"no focus: the shown folder", [&] { ctrl->ShowFolder(sub); }, &Grid(GridId::VTAge), "file:///data/docs/sub"},
        {"no focus, a file shown", [&] { ctrl->ShowFolder(c); }, &Grid(GridId::VTAge), "file:///data/docs/sub"},
        {"nothing shown",
         [&] {
             ctrl->CurrentNode = kNoNode;
             ctrl->CurrentPath.clear();
         },
         &Grid(GridId::VTAge), nullptr},
    };
    for (const Case &k : cases) {
        ui.opened.clear();
        k.arrange();
        ctrl->OpenExplorer(*k.grid);
        if (k.url)
            EXPECT_EQ(ui.opened, std::vector<std::string>{k.url}) << k.what;
        else
            EXPECT_TRUE(ui.opened.empty()) << k.what;
    }
}

TEST_F(Navigation, ChartBitmapsReplaceTheFileOnlyWhenComplete)
{
    TPlainChart &chart = Chart(ChartId::SizeChart);
    ctrl->SaveChart(chart); // cancelled
    ASSERT_EQ(ui.saveRequests.size(), 1u);
    EXPECT_EQ(ui.saveRequests[0].defaultExtension, ".bmp");
    EXPECT_EQ(ui.saveRequests[0].filter, "BMP File|*.bmp");
    EXPECT_EQ(ui.saveRequests[0].initialName, "");
    EXPECT_TRUE(ui.messages.empty());

    const std::string target = dir / "chart.bmp";
    { std::ofstream(target) << "old"; }
    ui.saveAnswers = {target};
    ui.messageAnswers = {MsgResult::Yes}; // overwrite
    ctrl->SaveChart(chart);
    std::ifstream in(target, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes.substr(0, 2), "BM");
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[1].text, "Export Finished");
    EXPECT_EQ(ui.messages[1].caption, "Done");

    ui.saveAnswers = {dir / "no/such/folder/chart.bmp"};
    ctrl->SaveChart(chart); // fails: nothing said
    EXPECT_EQ(ui.messages.size(), 2u);
    // Nothing of the render is left behind beside the target.
    int entries = 0;
    for ([[maybe_unused]] auto &e : std::filesystem::directory_iterator(dir.Path()))
        ++entries;
    EXPECT_EQ(entries, 2); // prog and chart.bmp
}

} // namespace
} // namespace folvane::test
