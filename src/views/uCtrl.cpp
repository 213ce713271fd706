#include "uCtrl.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

#include "catalog/RollUp.h"
#include "catalog/uFileReader.h"
#include "common/SafeFile.h"
#include "common/UiServices.h"
#include "common/Utf8.h"
#include "common/uFunction.h"
#include "config/ConfigStore.h"
#include "export/FileInfo.h"
#include "export/PromptSaveFile.h"
#include "views/TreeSort.h"

namespace folvane {

namespace {

constexpr Rgb kPaleBlue{239, 243, 255};

// --- The configuration's column entries and class items ----------------------------------------

TXMLNodesType columnEntries()
{
    return GetConfig().XMLConfig()->Nodes();
}

// The entry of a column, if the configuration has one for that number.
std::optional<TXMLNodeType> columnEntry(int column)
{
    TXMLNodesType entries = columnEntries();
    if (column < 0 || column >= entries.Count())
        return std::nullopt;
    return entries.Node(column);
}

// --- Record values, typed where the text would read back as the same value ---------------------

bool isAscii(std::string_view s)
{
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

// Bytes of a name as shown: themselves when they are UTF-8, else with U+FFFD (in `scratch`).
std::string_view shown(std::string_view bytes, std::string &scratch)
{
    if (isAscii(bytes) || IsValidUtf8(bytes))
        return bytes;
    scratch = ValidUtf8(bytes);
    return scratch;
}

const std::string *writtenText(const TNodeTree &tree, NodeId node, int field)
{
    return (tree.Data(node).flags & TFileNodeData::HasOverride) ? tree.Override(node, field) : nullptr;
}

// The text of a field, without building a string where the record holds it as bytes.
std::string_view fieldText(const TNodeTree &tree, NodeId node, int field, std::string &scratch)
{
    const TFileNodeData &d = tree.Data(node);
    if (!d.Has(field))
        return {};
    if (const std::string *written = writtenText(tree, node, field))
        return *written;
    switch (field) {
    case FileName:
    case DOSName: return shown(tree.NameBytes(node), scratch);
    case FileExt: return shown(ExtensionOf(tree.NameBytes(node)), scratch);
    default: scratch = tree.Field(node, field); return scratch;
    }
}

// The extension text of a file as counted and matched for the type classes.
std::string_view extText(const TNodeTree &tree, NodeId node, std::string &scratch)
{
    return fieldText(tree, node, FileExt, scratch);
}

// A numeric field as CompareNumericText reads its text: 0 when empty or not a number.
double numberOf(const TNodeTree &tree, NodeId node, int field)
{
    const TFileNodeData &d = tree.Data(node);
    if (!d.Has(field))
        return 0;
    if (const std::string *written = writtenText(tree, node, field))
        return ParseFloat(*written).value_or(0.0);
    switch (field) {
    case FileSize: return double(d.size);
    case FileCount: return double(d.count);
    case SizePercentage:
        if (d.percent == TFileNodeData::kZeroTotal)
            return 0;
        if (!Forms().decimal.empty())
            return double(d.percent) / 100.0; // what the text "0.00" of these hundredths reads as
        break;
    case FileNameLength: return double(CodePointCount(tree.NameBytes(node)));
    case PathNameLength: return double(CodePointCount(tree.PathBytes(node)));
    default: break;
    }
    return ParseFloat(tree.Field(node, field)).value_or(0.0);
}

// A time field as its text reads back.
DateKey dateKeyOf(const TNodeTree &tree, NodeId node, int field)
{
    const TFileNodeData &d = tree.Data(node);
    if (!d.Has(field))
        return {};
    if (const std::string *written = writtenText(tree, node, field))
        return DateKeyOf(*written);
    LocalSeconds t = d.times[field - CreateTime];
    if (DateTextRoundTrips(t))
        return {DateKey::Valid, t};
    return DateKeyOf(FormatDateTime(t));
}

std::optional<LocalSeconds> timeOf(const TNodeTree &tree, NodeId node, int field)
{
    DateKey key = dateKeyOf(tree, node, field);
    if (key.state != DateKey::Valid)
        return std::nullopt;
    return key.t;
}

// A size as the text reads: nothing when empty or not a number.
std::optional<double> sizeOf(const TNodeTree &tree, NodeId node)
{
    const TFileNodeData &d = tree.Data(node);
    if (!d.Has(FileSize))
        return std::nullopt;
    if (const std::string *written = writtenText(tree, node, FileSize))
        return ParseFloat(*written);
    return double(d.size);
}

// A class field read as an integer, an empty one as 0; nothing when the text is not an integer.
std::optional<int> classIndexOf(const TNodeTree &tree, NodeId node, int field)
{
    const TFileNodeData &d = tree.Data(node);
    if (!d.Has(field))
        return 0;
    if (const std::string *written = writtenText(tree, node, field)) {
        int value = 0;
        std::string_view s = *written;
        auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
        if (ec != std::errc() || ptr != s.data() + s.size())
            return std::nullopt;
        return value;
    }
    return d.classes[field - CreateAgeRange];
}

bool isFolder(const TNodeTree &tree, NodeId node)
{
    return tree.Data(node).Kind() == NodeKind::Folder;
}
bool isFile(const TNodeTree &tree, NodeId node)
{
    return tree.Data(node).Kind() == NodeKind::File;
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ')
        s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ')
        s.remove_suffix(1);
    return s;
}

// FileType with blanks trimmed, as the comparison looks at it.
std::string_view kindText(const TNodeTree &tree, NodeId node)
{
    if (const std::string *written = writtenText(tree, node, FileType))
        return trimmed(*written);
    switch (tree.Data(node).Kind()) {
    case NodeKind::Folder: return "folder";
    case NodeKind::File: return "file";
    default: return {};
    }
}

int compareField(const TNodeTree &tree, NodeId a, NodeId b, int field)
{
    switch (field) {
    case FileSize:
    case FileNameLength:
    case PathNameLength:
    case SizePercentage:
    case FileCount: return CompareNumbers(numberOf(tree, a, field), numberOf(tree, b, field));
    case CreateTime:
    case AccessTime:
    case WriteTime: return CompareDateKeys(dateKeyOf(tree, a, field), dateKeyOf(tree, b, field));
    case FileType: return 1;
    default: {
        std::string sa, sb;
        return CompareTextIgnoreAsciiCase(fieldText(tree, a, field, sa), fieldText(tree, b, field, sb));
    }
    }
}

// Adds `count` to a counter of the class a file is in; a class the counters do not have counts nowhere.
void bump(std::vector<std::uint64_t> &counts, std::optional<int> index)
{
    if (index && *index >= 0 && std::size_t(*index) < counts.size())
        ++counts[*index];
}

void setClassField(TNodeTree &tree, NodeId node, int field, int index)
{
    if (index < 0)
        tree.ClearField(node, field);
    else if (index <= 255)
        tree.SetClass(node, field, std::uint8_t(index));
    else
        tree.SetField(node, field, std::to_string(index));
}

// Clears a grid's nodes inside an update; the update ends on every way out.
struct UpdateGuard {
    explicit UpdateGuard(ITreeGrid &g) : grid(g) { grid.BeginUpdate(); }
    ~UpdateGuard() { grid.EndUpdate(); }
    ITreeGrid &grid;
};

void addCopy(const TNodeTree &from, NodeId node, TNodeTree &to)
{
    CopyNodeData(from, node, to, to.AddTopLevel());
}

void drawSeries(IChart &chart, const std::string &title, bool asBar, const std::vector<ChartPoint> &points,
                std::function<void(int)> onClick)
{
    chart.ClearTitle();
    chart.AddTitleLine(title);
    chart.RemoveAllSeries();
    chart.AddSeries(asBar ? SeriesKind::Bar : SeriesKind::Pie);
    chart.AddPoints(points);
    chart.SetPointClickHandler(std::move(onClick));
}

std::vector<ChartPoint> classPoints(TXMLItemCollection items, std::size_t boundCount,
                                    const std::vector<std::uint64_t> &counts)
{
    const int itemCount = items.Count();
    auto label = [&](std::size_t k) { return int(k) < itemCount ? items.Item(int(k)).Label() : std::string(); };
    std::vector<ChartPoint> points;
    for (std::size_t k = 0; k <= boundCount; ++k) {
        ChartPoint p;
        p.label = k < boundCount ? label(k) : boundCount > 0 ? "above " + label(boundCount - 1) : "above ";
        p.value = k < counts.size() ? double(counts[k]) : 0.0;
        points.push_back(std::move(p));
    }
    return points;
}

} // namespace

// --- Free routines ------------------------------------------------------------------------------

std::string FormatBytes(double bytes)
{
    struct Unit {
        double limit, divisor;
        const char *suffix;
    };
    static const Unit kUnits[] = {{1024.0, 1.0, " B"}, {1048576.0, 1024.0, " KB"}, {1073741824.0, 1048576.0, " MB"}};
    for (const Unit &u : kUnits)
        if (bytes < u.limit)
            return FormatFixed2(bytes / u.divisor, true) + u.suffix;
    return FormatFixed2(bytes / 1073741824.0, true) + " GB";
}

std::string FormatSize(std::uint8_t field, const TNodeTree *tree, NodeId node)
{
    if (!tree || !tree->IsValid(node))
        return {};
    try {
        if (field == FileSize) {
            auto x = sizeOf(*tree, node);
            if (!x)
                return {};
            return FormatBytes(*x);
        }
        if (field == SizePercentage) {
            std::string text = tree->Field(node, field);
            return text.empty() ? text : text + "%";
        }
        return tree->Field(node, field);
    } catch (const std::exception &) {
        return {}; // a cell that cannot be formatted shows empty
    }
}

void GetIconIndexes(IMainView &main, TNodeTree &tree, NodeId node)
{
    std::string path;
    if (const std::string *written = writtenText(tree, node, FullPath))
        path = *written;
    else if (tree.Data(node).Has(FullPath))
        path = tree.PathBytes(node);
    int index = main.IconIndexOf(path, isFolder(tree, node));
    TFileNodeData &d = tree.Data(node);
    d.IconIndex = index;
    d.ExpandedIconIndex = index;
}

// --- Construction -------------------------------------------------------------------------------

TFACtrl::TFACtrl(IMainView &main, Clock clock) : Main(&main), Now(std::move(clock))
{
    Tree = &main.Grid(GridId::VT);
    List = &main.Grid(GridId::VTList);
    wire();
    LoadRanges();
}

TFACtrl::~TFACtrl()
{
    Destroy();
}

void TFACtrl::wire()
{
    for (GridId id : {GridId::VT, GridId::VTList, GridId::VTAge, GridId::VTSize, GridId::VTType}) {
        ITreeGrid *grid = &Main->Grid(id);
        TreeGridEvents events;
        events.compare = [this, grid](NodeId a, NodeId b, int column) { return CompareNodes(*grid, a, b, column); };
        events.getText = [this, grid](NodeId node, int column) { return GetText(*grid, node, column); };
        events.getHint = [this, grid](NodeId node, int column) { return GetHint(*grid, node, column); };
        events.getImageIndex = [this, grid](NodeId node, int column) { return GetImageIndex(*grid, node, column); };
        events.headerClick = [this, grid](int column, MouseButton b) { HeaderClick(*grid, column, b); };
        events.headerMouseDown = [this, grid](int column, MouseButton b) { HeaderMouseDown(*grid, column, b); };
        if (id == GridId::VT)
            events.selectionChange = [this, grid](NodeId node) { TreeChange(*grid, node); };
        if (id == GridId::VTList)
            events.doubleClick = [this, grid] { ListDblClick(*grid); };
        grid->SetEvents(std::move(events));
    }
    wired_ = true;
}

void TFACtrl::Destroy()
{
    if (wired_ && Main) {
        for (GridId id : {GridId::VT, GridId::VTList, GridId::VTAge, GridId::VTSize, GridId::VTType})
            Main->Grid(id).SetEvents({});
        for (ChartId id : {ChartId::ChartFile, ChartId::AgeChart, ChartId::SizeChart, ChartId::TypeChart})
            Main->Chart(id).SetPointClickHandler(nullptr);
        wired_ = false;
    }
    Tree = nullptr;
    List = nullptr;
    AgeBounds.clear();
    SizeBounds.clear();
    SizeCounts.clear();
    CreateCounts.clear();
    AccessCounts.clear();
    WriteCounts.clear();
    TypeCounts.Clear();
}

// --- Columns, cells, layout ---------------------------------------------------------------------

void TFACtrl::SetupColumns(ITreeGrid &grid)
{
    grid.ClearColumns();
    TXMLNodesType entries = columnEntries();
    const int n = entries.Count();
    grid.BeginColumnUpdate();
    try {
        for (int i = 0; i < n; ++i) {
            TXMLNodeType entry = entries.Node(i);
            int column = grid.AddColumn();
            grid.SetColumnText(column, entry.Name());
            grid.SetColumnWidth(column, entry.Width());
            grid.SetColumnColor(column, entry.ReadOnly() ? ColumnColor{false, kPaleBlue} : ColumnColor{true, {}});
            std::string align = entry.Align();
            grid.SetColumnAlignment(column, align == "right"    ? Alignment::Right
                                            : align == "center" ? Alignment::Center
                                                                : Alignment::Left);
        }
    } catch (...) {
        grid.EndColumnUpdate();
        throw;
    }
    grid.EndColumnUpdate();
    // Display positions by Index, ties by column number, so a saved layout comes back exactly.
    std::vector<std::pair<int, int>> order; // (Index, column)
    for (int i = 0; i < n; ++i)
        order.emplace_back(entries.Node(i).Index(), i);
    std::stable_sort(order.begin(), order.end());
    for (int p = 0; p < n; ++p)
        grid.SetColumnPosition(order[p].second, p);
    for (int i = 0; i < n; ++i)
        grid.SetColumnVisible(i, entries.Node(i).Visible());
}

std::string TFACtrl::GetText(ITreeGrid &grid, NodeId node, int column)
{
    try {
        auto entry = columnEntry(column);
        if (!entry)
            return {};
        return FormatSize(FieldIndexOf(entry->Name()), &grid.Nodes(), node);
    } catch (const std::exception &) {
        return {};
    }
}

std::string TFACtrl::GetHint(ITreeGrid &grid, NodeId node, int column)
{
    return GetText(grid, node, column);
}

int TFACtrl::GetImageIndex(ITreeGrid &grid, NodeId node, int column)
{
    try {
        auto entry = columnEntry(column);
        if (!entry || FieldIndexOf(entry->Name()) != 0)
            return -1;
        TNodeTree &tree = grid.Nodes();
        if (!tree.IsValid(node))
            return -1;
        GetIconIndexes(*Main, tree, node);
        const TFileNodeData &d = tree.Data(node);
        return tree.Expanded(node) ? d.ExpandedIconIndex : d.IconIndex;
    } catch (const std::exception &) {
        return -1;
    }
}

void TFACtrl::HeaderMouseDown(ITreeGrid &, int, MouseButton button)
{
    if (button == MouseButton::Right)
        ShowColumnDialog();
}

void TFACtrl::ShowColumnDialog()
{
    if (!Ui().ShowColumnDialog() || !Tree)
        return;
    TXMLNodesType entries = columnEntries();
    const int n = std::min(entries.Count(), Tree->ColumnCount());
    for (int i = 0; i < n; ++i)
        Tree->SetColumnVisible(i, entries.Node(i).Visible());
}

void TFACtrl::SaveLayout()
{
    if (!Tree)
        return;
    TXMLNodesType entries = columnEntries();
    const int n = std::min(entries.Count(), Tree->ColumnCount());
    for (int i = 0; i < n; ++i) {
        TXMLNodeType entry = entries.Node(i);
        entry.SetWidth(Tree->ColumnWidth(i));
        entry.SetVisible(Tree->ColumnVisible(i));
        entry.SetIndex(Tree->ColumnPosition(i));
    }
    GetConfig().Save();
}

// --- Sorting ------------------------------------------------------------------------------------

int TFACtrl::fieldOfColumn(int column) const
{
    auto entry = columnEntry(column);
    return entry ? FieldIndexOf(entry->Name()) : 0;
}

void TFACtrl::HeaderClick(ITreeGrid &grid, int column, MouseButton button)
{
    if (button != MouseButton::Left)
        return;
    auto entry = columnEntry(column);
    if (!entry)
        return;
    if (grid.SortColumn() == -1) {
        grid.SetSortColumn(column);
        grid.SetSortDirection(SortDirection::Ascending);
    } else {
        grid.SetSortColumn(column);
        grid.SetSortDirection(grid.GetSortDirection() == SortDirection::Ascending ? SortDirection::Descending
                                                                                  : SortDirection::Ascending);
    }
    SortField = FieldIndexOf(entry->Name());
    SortGrid(grid);
}

void TFACtrl::SortGrid(ITreeGrid &grid)
{
    const int column = grid.SortColumn();
    struct Reset {
        int &field;
        ~Reset() { field = -1; }
    } reset{sortingField_};
    sortingField_ = fieldOfColumn(column);
    grid.Sort(column, grid.GetSortDirection());
}

int TFACtrl::CompareNodes(ITreeGrid &grid, NodeId a, NodeId b, int column)
{
    const TNodeTree &tree = grid.Nodes();
    if (!tree.IsValid(a) || !tree.IsValid(b))
        return 0;
    const bool ascending = grid.GetSortDirection() == SortDirection::Ascending;
    const TFileNodeData &da = tree.Data(a), &db = tree.Data(b);
    const bool typedKinds = !((da.flags | db.flags) & TFileNodeData::HasOverride) ||
                            (!writtenText(tree, a, FileType) && !writtenText(tree, b, FileType));
    if (typedKinds ? da.Kind() != db.Kind() : kindText(tree, a) != kindText(tree, b)) {
        bool firstIsFolder = typedKinds ? da.Kind() == NodeKind::Folder : kindText(tree, a) == "folder";
        return firstIsFolder == ascending ? -1 : 1;
    }
    const int field = sortingField_ >= 0 ? sortingField_ : fieldOfColumn(column);
    return compareField(tree, a, b, field);
}

// --- Navigation ---------------------------------------------------------------------------------

void TFACtrl::TreeChange(ITreeGrid &grid, NodeId node)
{
    if (&grid == Tree)
        ShowFolder(node);
}

void TFACtrl::ShowFolder(NodeId node)
{
    if (!Tree || node == kNoNode || node == TNodeTree::Root() || node == CurrentNode ||
        !Tree->Nodes().IsValid(node))
        return;
    CurrentNode = node;
    CurrentPath = Tree->Nodes().Field(node, FullPath);
    Main->SetPathLabel(CurrentPath);
    Main->SetUpEnabled(CurrentPath != RootPath);
    CountClasses();
    FillFileList(*List);
    drawCharts();
    if (FolderShown)
        FolderShown(node);
}

void TFACtrl::drawCharts()
{
    ShowFileChart(Main->Chart(ChartId::ChartFile), Main->IsDown(ButtonId::tbBarFile));
    ShowAgeChart(Main->Chart(ChartId::AgeChart), !Main->IsDown(ButtonId::tbPie), ageTimeKind());
    ShowSizeChart(Main->Chart(ChartId::SizeChart), !Main->IsDown(ButtonId::tbPieSize));
    ShowTypeChart(Main->Chart(ChartId::TypeChart), !Main->IsDown(ButtonId::tbPieType), !Main->IsDown(ButtonId::sbTop));
}

int TFACtrl::ageTimeKind() const
{
    return Main->IsDown(ButtonId::sbCreate) ? 0 : Main->IsDown(ButtonId::sbAccess) ? 1 : 2;
}

void TFACtrl::FillFileList(ITreeGrid &list)
{
    {
        UpdateGuard update(list);
        TNodeTree &to = list.Nodes();
        to.Clear();
        if (Tree && Tree->Nodes().IsValid(CurrentNode)) {
            const TNodeTree &from = Tree->Nodes();
            if (!isFolder(from, CurrentNode))
                addCopy(from, CurrentNode, to);
            else
                for (NodeId child = from.FirstChild(CurrentNode); child != kNoNode; child = from.NextSibling(child))
                    addCopy(from, child, to);
        }
    }
    UpdateListPercentages(list);
}

void TFACtrl::UpdateListPercentages(ITreeGrid &list)
{
    UpdateGuard update(list);
    TNodeTree &tree = list.Nodes();
    double total = 0;
    for (NodeId n = tree.First(); n != kNoNode; n = tree.Next(n))
        total += SizeOf(tree, n);
    for (NodeId n = tree.First(); n != kNoNode; n = tree.Next(n)) {
        if (!writtenText(tree, n, FileSize))
            tree.SetPercentage(n, tree.Data(n).size, total);
        else
            tree.SetField(n, SizePercentage, total == 0 ? std::string("0")
                                                         : FormatFixed2(SizeOf(tree, n) / total * 100.0, false));
    }
}

void TFACtrl::ListDblClick(ITreeGrid &sender)
{
    if (&sender != List)
        return;
    NodeId focused = sender.FocusedNode();
    if (sender.Nodes().IsValid(focused))
        SelectChild(sender.Nodes().Field(focused, FileName));
}

void TFACtrl::SelectChild(std::string_view name)
{
    if (!Tree || !Tree->Nodes().IsValid(CurrentNode))
        return;
    const TNodeTree &tree = Tree->Nodes();
    std::string scratch;
    for (NodeId child = tree.FirstChild(CurrentNode); child != kNoNode; child = tree.NextSibling(child)) {
        if (fieldText(tree, child, FileName, scratch) == name) {
            Tree->SelectNode(child);
            Tree->SetFocusedNode(child);
            return;
        }
    }
}

// --- Statistics ---------------------------------------------------------------------------------

void TFACtrl::LoadRanges()
{
    AgeBounds.clear();
    SizeBounds.clear();
    std::shared_ptr<TXMLConfigType> config = GetConfig().XMLConfig();
    TXMLAgerangeType ages = config->Agerange();
    for (int i = 0; i < ages.Count(); ++i)
        AgeBounds.push_back(ages.Item(i).Value());
    TXMLSizerangeType sizes = config->Sizerange();
    for (int i = 0; i < sizes.Count(); ++i)
        SizeBounds.push_back(sizes.Item(i).Value());
    ResetCounters();
}

void TFACtrl::ResetCounters()
{
    CreateCounts.assign(AgeBounds.size() + 1, 0);
    AccessCounts.assign(AgeBounds.size() + 1, 0);
    WriteCounts.assign(AgeBounds.size() + 1, 0);
    SizeCounts.assign(SizeBounds.size() + 1, 0);
    TypeCounts.Clear();
}

void TFACtrl::ClassifyFiles()
{
    if (!Tree)
        return;
    TNodeTree &tree = Tree->Nodes();
    const LocalMillis now = Now ? Now() : LocalNow();
    const NodeId last = tree.NodeCount();
    for (NodeId n = 1; n <= last; ++n) {
        if (!isFile(tree, n))
            continue;
        // A record whose size or times do not read as such is left as it is.
        auto size = sizeOf(tree, n);
        auto created = timeOf(tree, n, CreateTime);
        auto accessed = timeOf(tree, n, AccessTime);
        auto written = timeOf(tree, n, WriteTime);
        if (!size || !created || !accessed || !written)
            continue;
        setClassField(tree, n, SizeRange, SizeClassIndex(*size, SizeBounds));
        setClassField(tree, n, CreateAgeRange, AgeClassIndex(*created, now, AgeBounds));
        setClassField(tree, n, AccessAgeRange, AgeClassIndex(*accessed, now, AgeBounds));
        setClassField(tree, n, WriteAgeRange, AgeClassIndex(*written, now, AgeBounds));
    }
}

void TFACtrl::CountClasses()
{
    ResetCounters();
    if (!Tree || !Tree->Nodes().IsValid(CurrentNode))
        return;
    const TNodeTree &tree = Tree->Nodes();
    const std::uint32_t total = tree.TotalCount(CurrentNode);
    NodeId n = CurrentNode;
    for (std::uint32_t i = 0; i < total && n != kNoNode; ++i, n = tree.Next(n)) {
        if (!isFile(tree, n))
            continue;
        bump(SizeCounts, classIndexOf(tree, n, SizeRange));
        bump(CreateCounts, classIndexOf(tree, n, CreateAgeRange));
        bump(AccessCounts, classIndexOf(tree, n, AccessAgeRange));
        bump(WriteCounts, classIndexOf(tree, n, WriteAgeRange));
        const TFileNodeData &d = tree.Data(n);
        if (const std::string *written = writtenText(tree, n, FileExt))
            TypeCounts.AddText(*written);
        else if (!d.Has(FileExt))
            TypeCounts.AddText({});
        else
            TypeCounts.AddBytes(ExtensionOf(tree.NameBytes(n)));
    }
    SortTypeCounts(TypeCounts);
}

void TFACtrl::SortTypeCounts(TTypeCounts &typeCounts)
{
    typeCounts.Sort();
}

// --- Charts and drill-down lists ----------------------------------------------------------------

void TFACtrl::ShowFileChart(IChart &chart, bool asBar)
{
    std::vector<ChartPoint> points;
    if (List) {
        const TNodeTree &tree = List->Nodes();
        for (NodeId n = tree.First(); n != kNoNode; n = tree.NextSibling(n))
            points.push_back({tree.Field(n, FileName), sizeOf(tree, n).value_or(0.0)});
    }
    drawSeries(chart, CurrentPath, asBar, points, [this, &chart](int p) { SeriesClick(chart, p); });
}

void TFACtrl::ShowAgeChart(IChart &chart, bool asBar, int timeKind)
{
    const std::vector<std::uint64_t> &counts = timeKind == 0 ? CreateCounts : timeKind == 1 ? AccessCounts : WriteCounts;
    auto points = classPoints(GetConfig().XMLConfig()->Agerange(), AgeBounds.size(), counts);
    drawSeries(chart, "File Age Chart", asBar, points, [this, &chart](int p) { SeriesClick(chart, p); });
}

void TFACtrl::ShowSizeChart(IChart &chart, bool asBar)
{
    auto points = classPoints(GetConfig().XMLConfig()->Sizerange(), SizeBounds.size(), SizeCounts);
    drawSeries(chart, "File Size Chart", asBar, points, [this, &chart](int p) { SeriesClick(chart, p); });
}

void TFACtrl::ShowTypeChart(IChart &chart, bool asBar, bool showAll)
{
    const std::size_t m = TypeCounts.Size();
    const std::size_t shownCount = showAll || m <= 10 ? m : 10;
    std::vector<ChartPoint> points;
    for (std::size_t i = 0; i < shownCount; ++i)
        points.push_back({TypeCounts[i].ext, double(TypeCounts[i].count)});
    drawSeries(chart, "File Type Chart", asBar, points, [this, &chart](int p) { SeriesClick(chart, p); });
}

void TFACtrl::SeriesClick(IChart &chart, int point)
{
    std::vector<ChartPoint> points = chart.Points();
    if (point < 0 || std::size_t(point) >= points.size())
        return;
    const std::string label = points[point].label;
    const bool shown = Tree && Tree->Nodes().IsValid(CurrentNode);
    auto drill = [&](GridId grid, PageControlId pages, int keyKind, const std::string &key) {
        FillClassList(Main->Grid(grid), keyKind, key);
        if (shown) // before anything is shown the click only empties the list
            Main->ShowPage(pages, 1);
    };
    if (&chart == &Main->Chart(ChartId::ChartFile))
        SelectChild(label);
    else if (&chart == &Main->Chart(ChartId::AgeChart))
        drill(GridId::VTAge, PageControlId::pcAge, ageTimeKind(), std::to_string(point));
    else if (&chart == &Main->Chart(ChartId::SizeChart))
        drill(GridId::VTSize, PageControlId::pcSize, 3, std::to_string(point));
    else if (&chart == &Main->Chart(ChartId::TypeChart))
        drill(GridId::VTType, PageControlId::pcType, 4, label);
}

bool TFACtrl::matchesKey(const TNodeTree &tree, NodeId node, int keyKind, std::string_view key) const
{
    if (keyKind >= 0 && keyKind <= 3) {
        static const int kFields[] = {CreateAgeRange, AccessAgeRange, WriteAgeRange, SizeRange};
        int wanted = 0;
        auto [ptr, ec] = std::from_chars(key.data(), key.data() + key.size(), wanted);
        if (ec != std::errc() || ptr != key.data() + key.size())
            return false;
        auto index = classIndexOf(tree, node, kFields[keyKind]);
        return index && *index == wanted;
    }
    if (keyKind == 4) {
        std::string scratch;
        return EqualIgnoreCase(extText(tree, node, scratch), key);
    }
    return false;
}

void TFACtrl::FillClassList(ITreeGrid &list, int keyKind, std::string_view key)
{
    {
        UpdateGuard update(list);
        TNodeTree &to = list.Nodes();
        to.Clear();
        if (Tree && Tree->Nodes().IsValid(CurrentNode)) {
            const TNodeTree &from = Tree->Nodes();
            // The files counted in the point clicked, and only those: a shown file only under its own class.
            auto take = [&](NodeId n) {
                if (isFile(from, n) && matchesKey(from, n, keyKind, key))
                    addCopy(from, n, to);
            };
            if (!isFolder(from, CurrentNode)) {
                take(CurrentNode);
            } else {
                const std::uint32_t below = from.TotalCount(CurrentNode) - 1;
                NodeId n = from.Next(CurrentNode);
                for (std::uint32_t i = 0; i < below && n != kNoNode; ++i, n = from.Next(n))
                    take(n);
            }
        }
    }
    UpdateListPercentages(list);
}

void TFACtrl::SaveChart(IChart &chart)
{
    const std::string path = PromptSaveFile(".bmp", "BMP File|*.bmp", "");
    if (path.empty())
        return;
    // Render into a private temporary file, then replace the target in one step: the file chosen
    // is never left half-written, and a failure leaves it as it was and says nothing.
    namespace fs = std::filesystem;
    std::string temp;
    try {
        std::string pattern = (fs::temp_directory_path() / "folvane-chart-XXXXXX").string();
        int fd = ::mkstemp(pattern.data());
        if (fd < 0)
            return;
        ::close(fd);
        temp = pattern;
        chart.SaveBitmap(temp);
        std::ifstream in(temp, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!in.good() && !in.eof())
            throw std::runtime_error("cannot read the rendered chart");
        in.close();
        WriteFileAtomically(path, bytes);
    } catch (...) { // a chart that cannot be saved says nothing
        if (!temp.empty())
            ::unlink(temp.c_str());
        return;
    }
    ::unlink(temp.c_str());
    Ui().MessageBox("Export Finished", "Done", MsgButtons::Ok, MsgIcon::None);
}

// --- Exports and the file manager ---------------------------------------------------------------

void TFACtrl::GetVisibleColumns(std::vector<std::string> &list)
{
    TXMLNodesType entries = columnEntries();
    for (int i = 0; i < entries.Count(); ++i) {
        TXMLNodeType entry = entries.Node(i);
        if (entry.Visible())
            list.push_back(entry.Name());
    }
}

template <typename Run> void TFACtrl::runExport(Run run)
{
    TFileInfo info;
    info.Doc = &Main->XMLDoc();
    GetVisibleColumns(info.Columns);
    if (run(info))
        Ui().MessageBox("Export Finished", "Done", MsgButtons::Ok, MsgIcon::None);
}

void TFACtrl::ExportHtml(ITreeGrid &grid)
{
    runExport([&](TFileInfo &info) { return info.ExportHtml("", grid.Nodes()); });
}

void TFACtrl::ExportXml(ITreeGrid &grid)
{
    runExport([&](TFileInfo &info) {
        info.ResetDocument();
        info.BuildFromTree(grid.Nodes());
        return info.ExportXml("");
    });
}

void TFACtrl::ExportText(ITreeGrid &grid)
{
    runExport([&](TFileInfo &info) { return info.ExportText("", std::string(10, ' '), grid.Nodes()); });
}

void TFACtrl::ExportCsv(ITreeGrid &grid)
{
    runExport([&](TFileInfo &info) { return info.ExportCsv("", ",", grid.Nodes()); });
}

void TFACtrl::ExportExcel(ITreeGrid &grid)
{
    runExport([&](TFileInfo &info) {
        info.ResetDocument();
        info.BuildFromTree(grid.Nodes());
        return info.ExportExcel("");
    });
}

void TFACtrl::OpenExplorer(ITreeGrid &grid)
{
    // Always a folder: a folder entry itself, the folder holding a file entry.
    auto folderOf = [](const TNodeTree &tree, NodeId node) {
        std::string path;
        if (const std::string *written = writtenText(tree, node, FullPath))
            path = *written;
        else if (tree.Data(node).Has(FullPath))
            path = tree.PathBytes(node);
        return isFile(tree, node) ? FolderOf(path) : path;
    };
    std::string path;
    const TNodeTree &tree = grid.Nodes();
    if (tree.IsValid(grid.FocusedNode()))
        path = folderOf(tree, grid.FocusedNode());
    else if (Tree && Tree->Nodes().IsValid(CurrentNode))
        path = folderOf(Tree->Nodes(), CurrentNode);
    else
        path = CurrentPath;
    if (path.empty())
        return;
    if (path.front() != '/') {
        std::error_code ec;
        auto absolute = std::filesystem::absolute(path, ec);
        if (!ec)
            path = absolute.string();
    }
    Ui().OpenUrl(FileUrlOf(path));
}

} // namespace folvane
