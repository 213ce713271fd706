#include "uCtrl.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <numeric>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <unordered_set>
#include <unistd.h>

#include "catalog/FieldReaders.h"
#include "catalog/CatalogNotes.h"
#include "catalog/uFileReader.h"
#include "common/SafeFile.h"
#include "common/UiServices.h"
#include "common/uFunction.h"
#include "config/ConfigStore.h"
#include "export/ExportEnd.h"
#include "export/FileInfo.h"
#include "export/NcduJsonWriter.h"
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

// What the cells of a column need of its entry. The alignment text is compared case-sensitively:
// "Right" left-aligns.
ColumnSpec specOf(TXMLNodeType entry)
{
    ColumnSpec spec;
    spec.field = FieldIndexOf(entry.Name());
    spec.readOnly = entry.ReadOnly();
    const std::string align = entry.Align();
    spec.alignment = align == "right" ? Alignment::Right : align == "center" ? Alignment::Center : Alignment::Left;
    return spec;
}

// Whether a file has the time an age class field is measured from: one whose status could not be
// read has none, and is in no age class of it (the size field has no time and always counts).
bool hasTimeOf(const TNodeTree &tree, NodeId node, int classField)
{
    return classField == SizeRange || tree.Data(node).Has(CreateTime + (classField - CreateAgeRange));
}

// Adds `count` to a counter of the class a file is in; a class the counters do not have counts nowhere.
void bump(std::vector<std::uint64_t> &counts, std::optional<int> index)
{
    if (index && *index >= 0 && std::size_t(*index) < counts.size())
        ++counts[*index];
}

// Adds the class counters of `from` to those of `to` (the type counts are the caller's).
void addClassCounts(TFACtrl::TClassCounts &to, const TFACtrl::TClassCounts &from)
{
    auto add = [](std::vector<std::uint64_t> &sum, const std::vector<std::uint64_t> &more) {
        for (std::size_t i = 0; i < sum.size() && i < more.size(); ++i)
            sum[i] += more[i];
    };
    add(to.SizeCounts, from.SizeCounts);
    add(to.CreateCounts, from.CreateCounts);
    add(to.AccessCounts, from.AccessCounts);
    add(to.WriteCounts, from.WriteCounts);
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

std::vector<ChartPoint> classPoints(TXMLItemCollection items, std::size_t boundCount,
                                    const std::vector<std::uint64_t> &counts)
{
    const int itemCount = items.Count();
    auto label = [&](std::size_t k) { return int(k) < itemCount ? items.Item(int(k)).Label() : std::string(); };
    std::vector<ChartPoint> points;
    for (std::size_t k = 0; k <= boundCount; ++k) {
        ChartPoint p;
        p.label = k < boundCount ? label(k) : boundCount > 0 ? "above " + label(boundCount - 1) : "above ";
        p.value = k < counts.size() ? counts[k] : 0;
        points.push_back(std::move(p));
    }
    return points;
}

// The files a drill-down list takes: those whose class or extension is one of the keys.
class KeyMatcher {
public:
    KeyMatcher(int keyKind, std::span<const std::string> keys) : kind_(keyKind)
    {
        for (const std::string &key : keys) {
            if (kind_ == 4) {
                extensions_.insert(FoldCase(key));
            } else if (kind_ >= 0 && kind_ <= 3) {
                int index = 0;
                auto [ptr, ec] = std::from_chars(key.data(), key.data() + key.size(), index);
                if (ec == std::errc() && ptr == key.data() + key.size())
                    classes_.insert(index);
            }
        }
    }
    bool operator()(const TNodeTree &tree, NodeId node)
    {
        if (kind_ >= 0 && kind_ <= 3) {
            static const int kFields[] = {CreateAgeRange, AccessAgeRange, WriteAgeRange, SizeRange};
            auto index = ClassIndexOf(tree, node, kFields[kind_]);
            return index && classes_.count(*index) && hasTimeOf(tree, node, kFields[kind_]);
        }
        if (kind_ == 4) {
            // By the same case-insensitive key that counted the file.
            FoldCaseInto(FieldText(tree, node, FileExt, scratch_), folded_);
            return extensions_.count(folded_) > 0;
        }
        return false;
    }

private:
    int kind_;
    std::unordered_set<int> classes_;
    std::unordered_set<std::string> extensions_;
    std::string scratch_, folded_;
};

} // namespace

// --- Free routines ------------------------------------------------------------------------------

namespace {

// A size in B, KB, MB or GB: the first unit whose limit the size is below, the last for any size.
struct SizeUnit {
    double limit, divisor;
    const char *suffix;
};
constexpr SizeUnit kSizeUnits[] = {
    {1024.0, 1.0, " B"}, {1048576.0, 1024.0, " KB"}, {1073741824.0, 1048576.0, " MB"}, {0, 1073741824.0, " GB"}};

const SizeUnit &unitOf(double size)
{
    for (const SizeUnit &u : kSizeUnits)
        if (u.limit != 0 && size < u.limit)
            return u;
    return kSizeUnits[std::size(kSizeUnits) - 1];
}

std::string sizeText(const SizeNumber &size)
{
    if (size.whole)
        return FormatBytes(size.bytes);
    // A written size that is not a whole number of bytes, as the number it reads as.
    const SizeUnit &u = unitOf(size.value);
    return FormatFixed2(size.value / u.divisor, true) + u.suffix;
}

} // namespace

std::string FormatBytes(std::uint64_t bytes)
{
    // Whole bytes are shown exactly.
    const SizeUnit &u = unitOf(double(bytes));
    const auto hundredths = RoundedQuotient(static_cast<unsigned __int128>(bytes) * 100, std::uint64_t(u.divisor));
    return FormatHundredths(Hundredths(hundredths), true) + u.suffix;
}

std::string FormatSize(std::uint8_t field, const TNodeTree *tree, NodeId node)
{
    if (!tree || !tree->IsValid(node))
        return {};
    try {
        if (field == FileSize) {
            auto size = SizeOf(*tree, node);
            return size ? sizeText(*size) : std::string();
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

// Icons are asked for while cells are painted, so they come from the record alone: asking the file
// system about the path there would stall scrolling on a slow or dead mount. An icon follows a
// change on disk at the next scan or refresh of the entry.
//
// The record's two icon words are not written: GetImageIndex, the only caller, runs while cells
// are painted, and cells are painted while an export worker may be reading the same records, so
// a write here would race with it. The words are left as they are; the one cache of icons (per
// type, in the icon list behind IMainView) belongs to the UI thread. An open folder shows the
// same icon as a closed one, so the expanded state plays no part.
int GetIconIndexes(IMainView &main, const TNodeTree &tree, NodeId node)
{
    const TFileNodeData &d = tree.Data(node);
    if (!d.Has(FullPath))
        return -1;
    if (d.Kind() == NodeKind::Folder)
        return main.IconIndexOf(true, {});
    return main.IconIndexOf(false, ExtensionOf(tree.NameBytes(node)));
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
        for (ChartId id : {ChartId::ChartFile, ChartId::AgeChart, ChartId::SizeChart, ChartId::TypeChart}) {
            Main->Chart(id).SetPointClickHandler(nullptr);
            Main->Chart(id).SetMergedClickHandler(nullptr);
        }
        wired_ = false;
    }
    Tree = nullptr;
    List = nullptr;
    columns_.clear();
    AgeBounds.clear();
    SizeBounds.clear();
    SizeCounts.clear();
    CreateCounts.clear();
    AccessCounts.clear();
    WriteCounts.clear();
    TypeCounts.Clear();
}

// --- Columns, cells, layout ---------------------------------------------------------------------

std::vector<ColumnSpec> &TFACtrl::columnsOf(const ITreeGrid &grid)
{
    for (GridColumns &g : columns_)
        if (g.grid == &grid)
            return g.columns;
    return columns_.emplace_back(GridColumns{&grid, {}}).columns;
}

const ColumnSpec *TFACtrl::columnSpec(const ITreeGrid &grid, int column) const
{
    for (const GridColumns &g : columns_)
        if (g.grid == &grid)
            return column >= 0 && std::size_t(column) < g.columns.size() ? &g.columns[std::size_t(column)] : nullptr;
    return nullptr;
}

void TFACtrl::SetupColumns(ITreeGrid &grid)
{
    grid.ClearColumns();
    std::vector<ColumnSpec> &table = columnsOf(grid);
    table.clear();
    TXMLNodesType entries = columnEntries();
    const int n = entries.Count();
    grid.BeginColumnUpdate();
    try {
        for (int i = 0; i < n; ++i) {
            TXMLNodeType entry = entries.Node(i);
            const std::string name = entry.Name();
            const int width = entry.Width();
            const ColumnSpec spec = specOf(entry);
            int column = grid.AddColumn();
            grid.SetColumnText(column, name);
            grid.SetColumnWidth(column, width);
            grid.SetColumnColor(column, spec.readOnly ? ColumnColor{false, kPaleBlue} : ColumnColor{true, {}});
            grid.SetColumnAlignment(column, spec.alignment);
            table.push_back(spec);
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
    const ColumnSpec *spec = columnSpec(grid, column);
    if (!spec)
        return {};
    try {
        return FormatSize(spec->field, &grid.Nodes(), node);
    } catch (const std::exception &) {
        return {};
    }
}

std::string TFACtrl::GetHint(ITreeGrid &grid, NodeId node, int column)
{
    std::string text = GetText(grid, node, column);
    // A marked entry says why on a second line: not read, not scanned, or counted under another name.
    const std::string reason = ReasonText(grid.Nodes(), node);
    if (reason.empty())
        return text;
    return text.empty() ? reason : text + "\n" + reason;
}

int TFACtrl::GetImageIndex(ITreeGrid &grid, NodeId node, int column)
{
    const ColumnSpec *spec = columnSpec(grid, column);
    if (!spec || spec->field != FileName)
        return -1;
    const TNodeTree &tree = grid.Nodes();
    if (!tree.IsValid(node))
        return -1;
    try {
        return GetIconIndexes(*Main, tree, node);
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
    // The entries may have changed: VT's table is resolved again, with the visibility.
    std::vector<ColumnSpec> &table = columnsOf(*Tree);
    TXMLNodesType entries = columnEntries();
    const int n = std::min(entries.Count(), Tree->ColumnCount());
    table.resize(std::size_t(n));
    for (int i = 0; i < n; ++i) {
        TXMLNodeType entry = entries.Node(i);
        table[std::size_t(i)] = specOf(entry);
        Tree->SetColumnVisible(i, entry.Visible());
    }
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

namespace {

// Folders before files in both directions, then the field.
int compareKeyed(const FieldKey &a, const FieldKey &b, int field, bool ascending)
{
    if (KindsDiffer(a, b))
        return (a.kind == NodeKind::Folder) == ascending ? -1 : 1;
    return CompareKeys(a, b, field);
}

// The comparison of a sort by one field and direction, with the keys of the sibling list the sort
// is at, each node's read once for the whole list rather than at every comparison. A list's keys
// are read in the order of the nodes' numbers, which is their order in memory. One sort uses it
// at a time: a sort shared among threads gives each thread its own.
class SiblingKeys {
public:
    SiblingKeys(const TNodeTree &tree, int field, bool ascending) : tree_(&tree), field_(field), ascending_(ascending) {}

    int Compare(NodeId a, NodeId b)
    {
        const FieldKey *ka = find(a), *kb = find(b);
        if ((!ka || !kb) && tree_->IsValid(a) && tree_->Parent(a) == tree_->Parent(b)) {
            load(tree_->Parent(a)); // the sort is at the next list
            ka = find(a);
            kb = find(b);
        }
        if (ka && kb)
            return compareKeyed(*ka, *kb, field_, ascending_);
        if (!tree_->IsValid(a) || !tree_->IsValid(b))
            return 0;
        return compareKeyed(KeyOf(*tree_, a, field_), KeyOf(*tree_, b, field_), field_, ascending_);
    }

    // Sorts the children of `parent`, given in `nodes`, reading their keys once and comparing
    // them as Compare does, without a call through NodeCompare at each comparison.
    void Sort(NodeId parent, std::vector<NodeId> &nodes, std::vector<NodeId> &buffer)
    {
        load(parent);
        auto key = [this](NodeId n) -> const FieldKey & { return *find(n); };
        if (ascending_)
            MergeSortNodes(nodes, buffer, [&](NodeId r, NodeId l) { return compareKeyed(key(r), key(l), field_, true) < 0; });
        else
            MergeSortNodes(nodes, buffer, [&](NodeId r, NodeId l) { return compareKeyed(key(r), key(l), field_, false) > 0; });
    }

private:
    const FieldKey *find(NodeId node) const
    {
        if (ids_.empty())
            return nullptr;
        if (consecutive_)
            return node - ids_.front() < ids_.size() ? &keys_[node - ids_.front()] : nullptr;
        auto at = std::lower_bound(ids_.begin(), ids_.end(), node);
        return at != ids_.end() && *at == node ? &keys_[std::size_t(at - ids_.begin())] : nullptr;
    }

    void load(NodeId parent)
    {
        const std::uint32_t n = tree_->ChildCount(parent);
        ids_.resize(n);
        NodeId low = kNoNode, high = 0;
        for (std::uint32_t r = 0; r < n; ++r) {
            ids_[r] = tree_->Child(parent, r);
            low = std::min(low, ids_[r]);
            high = std::max(high, ids_[r]);
        }
        consecutive_ = n > 0 && high - low == n - 1;
        if (consecutive_) // distinct numbers spanning exactly n: no need to sort them
            std::iota(ids_.begin(), ids_.end(), low);
        else
            std::sort(ids_.begin(), ids_.end());
        keys_.clear();
        keys_.reserve(n);
        for (NodeId id : ids_)
            keys_.push_back(KeyOf(*tree_, id, field_));
    }

    const TNodeTree *tree_;
    int field_;
    bool ascending_;
    std::vector<NodeId> ids_;     // the list's nodes, ascending
    std::vector<FieldKey> keys_;  // keys_[i] is the key of ids_[i]
    bool consecutive_ = false;    // ids_ are first, first + 1, ... (a list added in one block)
};

} // namespace

// While SortGrid runs: the grid it sorts and the comparison it sorts by.
struct TFACtrl::SortContext {
    const ITreeGrid *grid;
    SiblingKeys keys;
};

void TFACtrl::SortGrid(ITreeGrid &grid)
{
    sortWith(grid, [&](const NodeCompare &, SortDirection direction) { grid.Sort(grid.SortColumn(), direction); });
}

void TFACtrl::sortWith(ITreeGrid &grid, const std::function<void(const NodeCompare &, SortDirection)> &sort)
{
    const int column = grid.SortColumn();
    struct Reset {
        std::unique_ptr<SortContext> &context;
        ~Reset() { context.reset(); }
    } reset{sorting_};
    sorting_ = std::make_unique<SortContext>(SortContext{
        &grid, SiblingKeys(grid.Nodes(), fieldOfColumn(column), grid.GetSortDirection() == SortDirection::Ascending)});
    sort([&](NodeId a, NodeId b) { return CompareNodes(grid, a, b, column); }, grid.GetSortDirection());
}

TFACtrl::TSortKey TFACtrl::SortKeyOf(ITreeGrid &grid) const
{
    return {fieldOfColumn(grid.SortColumn()), grid.GetSortDirection()};
}

int TFACtrl::CompareNodes(ITreeGrid &grid, NodeId a, NodeId b, int column)
{
    if (sorting_ && &grid == sorting_->grid)
        return sorting_->keys.Compare(a, b); // inside SortGrid: as the sort found the grid
    const TNodeTree &tree = grid.Nodes();
    if (!tree.IsValid(a) || !tree.IsValid(b))
        return 0;
    const int field = fieldOfColumn(column);
    return compareKeyed(KeyOf(tree, a, field), KeyOf(tree, b, field), field,
                        grid.GetSortDirection() == SortDirection::Ascending);
}

int TFACtrl::CompareNodes(const TNodeTree &tree, NodeId a, NodeId b, const TSortKey &key)
{
    if (!tree.IsValid(a) || !tree.IsValid(b))
        return 0;
    return compareKeyed(KeyOf(tree, a, key.field), KeyOf(tree, b, key.field), key.field,
                        key.direction == SortDirection::Ascending);
}

// --- Navigation ---------------------------------------------------------------------------------

void TFACtrl::TreeChange(ITreeGrid &grid, NodeId node)
{
    if (&grid == Tree)
        ShowFolder(node);
}

void TFACtrl::ShowFolder(NodeId node)
{
    showFolder(node, nullptr);
}

void TFACtrl::ShowFolder(NodeId node, TClassCounts counted)
{
    showFolder(node, &counted);
}

void TFACtrl::showFolder(NodeId node, TClassCounts *counted)
{
    if (!Tree || node == kNoNode || node == TNodeTree::Root() || node == CurrentNode ||
        !Tree->Nodes().IsValid(node))
        return;
    CurrentNode = node;
    CurrentPath = Tree->Nodes().Field(node, FullPath);
    Main->SetPathLabel(CurrentPath);
    Main->SetUpEnabled(CurrentPath != RootPath);
    if (counted)
        takeCounts(std::move(*counted));
    else
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
    ShowTypeChart(Main->Chart(ChartId::TypeChart), !Main->IsDown(ButtonId::tbPieType), !Main->IsDown(ButtonId::sbTop),
                  Main->IsDown(ButtonId::sbSize));
}

int TFACtrl::ageTimeKind() const
{
    return Main->IsDown(ButtonId::sbCreate) ? 0 : Main->IsDown(ButtonId::sbAccess) ? 1 : 2;
}

void TFACtrl::FillFileList(ITreeGrid &list)
{
    // One update for the entries and their shares: the grid is reset once.
    UpdateGuard update(list);
    TNodeTree &to = list.Nodes();
    to.Clear();
    if (Tree && Tree->Nodes().IsValid(CurrentNode)) {
        const TNodeTree &from = Tree->Nodes();
        if (!IsFolder(from, CurrentNode))
            addCopy(from, CurrentNode, to);
        else
            for (NodeId child = from.FirstChild(CurrentNode); child != kNoNode; child = from.NextSibling(child))
                addCopy(from, child, to);
    }
    UpdateListPercentages(list);
}

void TFACtrl::UpdateListPercentages(ITreeGrid &list)
{
    UpdateGuard update(list);
    TNodeTree &tree = list.Nodes();
    // An entry whose size is not a number adds nothing to the total and has no share, rather
    // than stopping the pass with the list's percentages half recomputed.
    std::uint64_t total = 0;
    for (NodeId n = tree.First(); n != kNoNode; n = tree.Next(n))
        if (auto size = SizeOf(tree, n))
            total = AddBytes(total, size->bytes);
    for (NodeId n = tree.First(); n != kNoNode; n = tree.Next(n)) {
        if (auto size = SizeOf(tree, n))
            tree.SetPercentage(n, size->bytes, total);
        else
            tree.ClearField(n, SizePercentage);
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
        if (FieldText(tree, child, FileName, scratch) == name) {
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
    for (NodeId n = 1; n < tree.IdLimit(); ++n)
        if (tree.IsValid(n))
            classifyFile(tree, n, now);
}

bool TFACtrl::classifyFile(TNodeTree &tree, NodeId n, LocalMillis now, Classified *classified) const
{
    if (!IsFile(tree, n))
        return false;
    // A record whose size or times do not read as such is left as it is.
    auto size = SizeOf(tree, n);
    auto created = TimeOf(tree, n, CreateTime);
    auto accessed = TimeOf(tree, n, AccessTime);
    auto written = TimeOf(tree, n, WriteTime);
    if (!size || !created || !accessed || !written)
        return false;
    Classified c;
    c.bytes = size->bytes;
    c.index[SizeRange - CreateAgeRange] = SizeClassIndex(size->value, SizeBounds);
    c.index[CreateAgeRange - CreateAgeRange] = AgeClassIndex(*created, now, AgeBounds);
    c.index[AccessAgeRange - CreateAgeRange] = AgeClassIndex(*accessed, now, AgeBounds);
    c.index[WriteAgeRange - CreateAgeRange] = AgeClassIndex(*written, now, AgeBounds);
    for (int field = CreateAgeRange; field <= SizeRange; ++field)
        setClassField(tree, n, field, c.index[field - CreateAgeRange]);
    if (classified)
        *classified = c;
    return true;
}

void TFACtrl::classifyAndCount(TNodeTree &tree, NodeId n, LocalMillis now, TClassCounts &counts) const
{
    Classified c;
    if (!classifyFile(tree, n, now, &c)) {
        countFile(tree, n, counts); // as it stands
        return;
    }
    // What countFile would read back: each class as set, a class field left empty (no class) as
    // class 0; the file has all three times, or it would not have been classified.
    auto read = [](int index) { return std::optional<int>(std::max(index, 0)); };
    bump(counts.SizeCounts, read(c.index[SizeRange - CreateAgeRange]));
    bump(counts.CreateCounts, read(c.index[CreateAgeRange - CreateAgeRange]));
    bump(counts.AccessCounts, read(c.index[AccessAgeRange - CreateAgeRange]));
    bump(counts.WriteCounts, read(c.index[WriteAgeRange - CreateAgeRange]));
    addType(tree, n, counts.TypeCounts, c.bytes);
}

TFACtrl::TClassCounts TFACtrl::PrepareCatalogue(TNodeTree &tree, const TSortKey &key, LocalMillis now,
                                                unsigned threads) const
{
    threads = std::max(threads, 1u);
    // A class index above 255 is kept as written text, in a table the whole tree shares: then
    // only one thread may classify.
    if (AgeBounds.size() >= 255 || SizeBounds.size() >= 255)
        threads = 1;
    // Each file is counted by the thread that classified it, while its record is at hand: the
    // classes and the files and bytes of each type, per thread.
    std::vector<TClassCounts> parts(threads);
    for (TClassCounts &part : parts)
        part = emptyCounts();
    // Each thread reads the keys of the sibling list it sorts once, as SortGrid does.
    const bool ascending = key.direction == SortDirection::Ascending;
    SortTreeInParallel(
        tree,
        [&]() -> SiblingSort {
            auto keys = std::make_shared<SiblingKeys>(tree, key.field, ascending);
            auto buffer = std::make_shared<std::vector<NodeId>>();
            return [keys, buffer](NodeId parent, std::vector<NodeId> &nodes) { keys->Sort(parent, nodes, *buffer); };
        },
        threads, [&](NodeId n, unsigned thread) { classifyAndCount(tree, n, now, parts[thread]); });
    const NodeId top = tree.First();
    if (top == kNoNode || tree.NextSibling(top) != kNoNode)
        return CountClassesOf(tree, top, threads); // the counts are those of the first top-level node alone
    return joinCounts(tree, top, std::move(parts), threads);
}

TFACtrl::TClassCounts TFACtrl::joinCounts(const TNodeTree &tree, NodeId top, std::vector<TClassCounts> parts,
                                          unsigned threads) const
{
    TClassCounts counts = emptyCounts();
    TTypeCounts all; // every type, to know when each part has met them all
    for (const TClassCounts &part : parts) {
        addClassCounts(counts, part);
        all.Merge(part.TypeCounts);
    }
    // The threads met the types in the order they took the folders. The order of one walk in
    // depth-first order, and the file met first under each type, come from walking the tree in
    // parts as CountClassesOf does, each part only until it has met every type.
    const std::size_t types = all.Size();
    std::vector<TTypeCounts> met = inParts<TTypeCounts>(tree, top, threads, [&](TTypeCounts &found, NodeId n) {
        if (IsFile(tree, n))
            addType(tree, n, found, 0);
        return found.Size() < types;
    });
    TTypeCounts order;
    for (const TTypeCounts &part : met)
        order.Merge(part);
    std::vector<TTypeCounts::Entry> entries = order.Entries();
    for (TTypeCounts::Entry &entry : entries)
        entry.count = entry.bytes = 0;
    counts.TypeCounts.Assign(std::move(entries));
    for (const TClassCounts &part : parts)
        counts.TypeCounts.Merge(part.TypeCounts);
    SortTypeCounts(counts.TypeCounts);
    return counts;
}

void TFACtrl::CountClasses()
{
    ResetCounters();
    if (!Tree || !Tree->Nodes().IsValid(CurrentNode))
        return;
    takeCounts(CountClassesOf(Tree->Nodes(), CurrentNode, 1));
}

void TFACtrl::takeCounts(TClassCounts &&counted)
{
    SizeCounts = std::move(counted.SizeCounts);
    CreateCounts = std::move(counted.CreateCounts);
    AccessCounts = std::move(counted.AccessCounts);
    WriteCounts = std::move(counted.WriteCounts);
    TypeCounts = std::move(counted.TypeCounts);
}

TFACtrl::TClassCounts TFACtrl::emptyCounts() const
{
    TClassCounts counts;
    counts.SizeCounts.assign(SizeBounds.size() + 1, 0);
    counts.CreateCounts.assign(AgeBounds.size() + 1, 0);
    counts.AccessCounts.assign(AgeBounds.size() + 1, 0);
    counts.WriteCounts.assign(AgeBounds.size() + 1, 0);
    return counts;
}

void TFACtrl::countFile(const TNodeTree &tree, NodeId n, TClassCounts &counts) const
{
    if (!IsFile(tree, n))
        return;
    bump(counts.SizeCounts, ClassIndexOf(tree, n, SizeRange));
    if (hasTimeOf(tree, n, CreateAgeRange))
        bump(counts.CreateCounts, ClassIndexOf(tree, n, CreateAgeRange));
    if (hasTimeOf(tree, n, AccessAgeRange))
        bump(counts.AccessCounts, ClassIndexOf(tree, n, AccessAgeRange));
    if (hasTimeOf(tree, n, WriteAgeRange))
        bump(counts.WriteCounts, ClassIndexOf(tree, n, WriteAgeRange));
    addType(tree, n, counts.TypeCounts, SizeOf(tree, n).value_or(SizeNumber{}).bytes);
}

void TFACtrl::addType(const TNodeTree &tree, NodeId n, TTypeCounts &types, std::uint64_t bytes)
{
    const std::size_t known = types.Size();
    std::size_t at;
    if (const std::string *written = tree.Override(n, FileExt))
        at = types.AddText(*written, bytes);
    else if (!tree.Data(n).Has(FileExt))
        at = types.AddText({}, bytes);
    else
        at = types.AddBytes(ExtensionOf(tree.NameBytes(n)), bytes);
    if (types.Size() > known)
        types.SetFirst(at, n);
}

template <typename Part, typename Visit>
std::vector<Part> TFACtrl::inParts(const TNodeTree &tree, NodeId node, unsigned threads, Visit visit)
{
    // The node, then the subtrees of its children in row order: the nodes of each part follow
    // one another in depth-first order, so each part is walked on from its first node. The node
    // itself goes with the first part.
    struct Range {
        NodeId first = kNoNode;
        std::uint64_t nodes = 0;
    };
    threads = std::max(threads, 1u);
    const std::uint64_t below = tree.TotalCount(node) - 1;
    const std::uint64_t share = below / threads + 1;
    std::vector<Range> ranges{{node, 1}};
    for (NodeId child = tree.FirstChild(node); child != kNoNode; child = tree.NextSibling(child)) {
        if (ranges.size() == 1 || (ranges.back().nodes >= share && ranges.size() < threads))
            ranges.push_back({child, 0});
        ranges.back().nodes += tree.TotalCount(child);
    }
    // The node and the first range of children are one part.
    if (ranges.size() > 1) {
        ranges[0].nodes += ranges[1].nodes;
        ranges.erase(ranges.begin() + 1);
    }
    std::vector<Part> parts(ranges.size());
    auto walkPart = [&](std::size_t k) {
        NodeId n = ranges[k].first;
        for (std::uint64_t i = 0; i < ranges[k].nodes && n != kNoNode; ++i, n = tree.Next(n))
            if (!visit(parts[k], n))
                return;
    };
    std::vector<std::thread> helpers;
    std::size_t onThisThread = 0;
    for (std::size_t k = 1; k < ranges.size(); ++k) {
        try {
            helpers.emplace_back(walkPart, k);
        } catch (const std::system_error &) {
            onThisThread = k; // no thread to be had: this one walks the parts left
            break;
        }
    }
    walkPart(0);
    for (std::size_t k = onThisThread; onThisThread && k < ranges.size(); ++k)
        walkPart(k);
    for (std::thread &helper : helpers)
        helper.join();
    return parts;
}

TFACtrl::TClassCounts TFACtrl::CountClassesOf(const TNodeTree &tree, NodeId node, unsigned threads) const
{
    TClassCounts counts = emptyCounts();
    if (!tree.IsValid(node))
        return counts;
    std::vector<TClassCounts> counted = inParts<TClassCounts>(tree, node, threads, [&](TClassCounts &part, NodeId n) {
        if (part.SizeCounts.empty())
            part = emptyCounts();
        countFile(tree, n, part);
        return true;
    });
    for (const TClassCounts &part : counted) {
        addClassCounts(counts, part);
        counts.TypeCounts.Merge(part.TypeCounts);
    }
    SortTypeCounts(counts.TypeCounts);
    return counts;
}

void TFACtrl::SortTypeCounts(TTypeCounts &typeCounts)
{
    typeCounts.Sort();
}

// --- Charts and drill-down lists ----------------------------------------------------------------

void TFACtrl::drawSeries(IChart &chart, const std::string &title, bool asBar, ValueUnit unit,
                         const std::vector<ChartPoint> &points)
{
    chart.ClearTitle();
    chart.AddTitleLine(title);
    chart.RemoveAllSeries();
    chart.AddSeries(asBar ? SeriesKind::Bar : SeriesKind::Pie);
    chart.SetValueUnit(unit);
    chart.AddPoints(points);
    chart.SetPointClickHandler([this, &chart](int point) { SeriesClick(chart, point); });
    chart.SetMergedClickHandler([this, &chart](int first, int count) { MergedPointsClick(chart, first, count); });
}

void TFACtrl::ShowFileChart(IChart &chart, bool asBar)
{
    std::vector<ChartPoint> points;
    if (List) {
        const TNodeTree &tree = List->Nodes();
        for (NodeId n = tree.First(); n != kNoNode; n = tree.NextSibling(n))
            points.push_back({tree.Field(n, FileName), SizeOf(tree, n).value_or(SizeNumber{}).bytes});
    }
    drawSeries(chart, CurrentPath, asBar, ValueUnit::Bytes, points);
}

void TFACtrl::ShowAgeChart(IChart &chart, bool asBar, int timeKind)
{
    const std::vector<std::uint64_t> &counts = timeKind == 0 ? CreateCounts : timeKind == 1 ? AccessCounts : WriteCounts;
    auto points = classPoints(GetConfig().XMLConfig()->Agerange(), AgeBounds.size(), counts);
    drawSeries(chart, "File Age Chart", asBar, ValueUnit::Files, points);
}

void TFACtrl::ShowSizeChart(IChart &chart, bool asBar)
{
    auto points = classPoints(GetConfig().XMLConfig()->Sizerange(), SizeBounds.size(), SizeCounts);
    drawSeries(chart, "File Size Chart", asBar, ValueUnit::Files, points);
}

void TFACtrl::ShowTypeChart(IChart &chart, bool asBar, bool showAll, bool bySize)
{
    const std::size_t m = TypeCounts.Size();
    const std::size_t shownCount = showAll || m <= 10 ? m : 10;
    std::vector<std::uint32_t> order;
    if (bySize)
        order = TypeCounts.OrderByBytes();
    std::vector<ChartPoint> points;
    for (std::size_t i = 0; i < shownCount; ++i) {
        const TTypeCounts::Entry &entry = TypeCounts[bySize ? order[i] : i];
        points.push_back({entry.ext, bySize ? entry.bytes : entry.count});
    }
    drawSeries(chart, "File Type Chart", asBar, bySize ? ValueUnit::Bytes : ValueUnit::Files, points);
}

void TFACtrl::drill(GridId grid, PageControlId pages, int keyKind, std::span<const std::string> keys)
{
    FillClassList(Main->Grid(grid), keyKind, keys);
    if (Tree && Tree->Nodes().IsValid(CurrentNode)) // before anything is shown the click only empties the list
        Main->ShowPage(pages, 1);
}

void TFACtrl::SeriesClick(IChart &chart, int point)
{
    std::vector<ChartPoint> points = chart.Points();
    if (point < 0 || std::size_t(point) >= points.size())
        return;
    const std::string label = points[point].label;
    const std::string index[] = {std::to_string(point)}, extension[] = {label};
    if (&chart == &Main->Chart(ChartId::ChartFile))
        SelectChild(label);
    else if (&chart == &Main->Chart(ChartId::AgeChart))
        drill(GridId::VTAge, PageControlId::pcAge, ageTimeKind(), index);
    else if (&chart == &Main->Chart(ChartId::SizeChart))
        drill(GridId::VTSize, PageControlId::pcSize, 3, index);
    else if (&chart == &Main->Chart(ChartId::TypeChart))
        drill(GridId::VTType, PageControlId::pcType, 4, extension);
}

void TFACtrl::MergedPointsClick(IChart &chart, int first, int count)
{
    const std::vector<ChartPoint> points = chart.Points();
    if (first < 0 || count < 1 || std::size_t(first) + std::size_t(count) > points.size())
        return;
    if (&chart == &Main->Chart(ChartId::ChartFile)) {
        // The entries by name, so the list may have been sorted since the chart was drawn.
        if (!List)
            return;
        std::unordered_set<std::string_view> names;
        for (int i = first; i < first + count; ++i)
            names.insert(points[std::size_t(i)].label);
        const TNodeTree &tree = List->Nodes();
        std::string scratch;
        for (NodeId n = tree.First(); n != kNoNode; n = tree.NextSibling(n)) {
            if (names.count(FieldText(tree, n, FileName, scratch))) {
                Main->ShowPage(PageControlId::pcTotal, 1);
                List->SelectNode(n);
                List->SetFocusedNode(n);
                return;
            }
        }
        return;
    }
    // A class chart: the files of every merged point, keyed as a click on each would key them.
    const bool byExtension = &chart == &Main->Chart(ChartId::TypeChart);
    std::vector<std::string> keys;
    for (int i = first; i < first + count; ++i)
        keys.push_back(byExtension ? points[std::size_t(i)].label : std::to_string(i));
    if (byExtension)
        drill(GridId::VTType, PageControlId::pcType, 4, keys);
    else if (&chart == &Main->Chart(ChartId::AgeChart))
        drill(GridId::VTAge, PageControlId::pcAge, ageTimeKind(), keys);
    else if (&chart == &Main->Chart(ChartId::SizeChart))
        drill(GridId::VTSize, PageControlId::pcSize, 3, keys);
}

void TFACtrl::FillClassList(ITreeGrid &list, int keyKind, std::string_view key)
{
    const std::string keys[] = {std::string(key)};
    FillClassList(list, keyKind, keys);
}

void TFACtrl::FillClassList(ITreeGrid &list, int keyKind, std::span<const std::string> keys)
{
    const bool shown = Tree && Tree->Nodes().IsValid(CurrentNode);
    fillClassList(list, shown ? CurrentNode : kNoNode, keyKind, keys);
    auto known = std::find_if(drillDowns_.begin(), drillDowns_.end(), [&](const DrillDown &d) { return d.list == &list; });
    if (known == drillDowns_.end())
        known = drillDowns_.insert(drillDowns_.end(), DrillDown{&list});
    known->keyKind = keyKind;
    known->keys.assign(keys.begin(), keys.end());
    known->folderPath = shown ? Tree->Nodes().PathBytes(CurrentNode) : std::string();
}

void TFACtrl::fillClassList(ITreeGrid &list, NodeId folder, int keyKind, std::span<const std::string> keys)
{
    UpdateGuard update(list); // the entries and their shares in one update, as FillFileList
    TNodeTree &to = list.Nodes();
    to.Clear();
    if (Tree && Tree->Nodes().IsValid(folder)) {
        const TNodeTree &from = Tree->Nodes();
        KeyMatcher matches(keyKind, keys);
        // The files counted in the points clicked, and only those: a shown file only under its own class.
        auto take = [&](NodeId n) {
            if (IsFile(from, n) && matches(from, n))
                addCopy(from, n, to);
        };
        if (!IsFolder(from, folder)) {
            take(folder);
        } else {
            const std::uint32_t below = from.TotalCount(folder) - 1;
            NodeId n = from.Next(folder);
            for (std::uint32_t i = 0; i < below && n != kNoNode; ++i, n = from.Next(n))
                take(n);
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

std::function<void()> TFACtrl::PrepareExport(ExportFormat format, ITreeGrid &grid)
{
    if (format == ExportFormat::Ncdu)
        return prepareNcduExport(grid);
    auto info = std::make_shared<TFileInfo>();
    info->Doc = &Main->XMLDoc();
    GetVisibleColumns(info->Columns);
    const TNodeTree *tree = &grid.Nodes();
    return [format, info, tree] {
        WriteAndReport([&] {
            switch (format) {
            case ExportFormat::Html: return info->ExportHtml("", *tree);
            case ExportFormat::Xml:
                info->ResetDocument();
                info->BuildFromTree(*tree);
                return info->ExportXml("");
            case ExportFormat::Text: return info->ExportText("", std::string(10, ' '), *tree);
            case ExportFormat::Csv: return info->ExportCsv("", ",", *tree);
            case ExportFormat::Excel:
                info->ResetDocument();
                info->BuildFromTree(*tree);
                return info->ExportExcel("");
            case ExportFormat::Ncdu: break; // prepared above
            }
            return false;
        });
    };
}

std::function<void()> TFACtrl::prepareNcduExport(ITreeGrid &grid)
{
    if (!Tree || Tree->Nodes().First() == kNoNode)
        return [] {}; // no catalogue: nothing to write
    // The catalogue and, from a list, the list: the list's entries are found in the catalogue by
    // the writing step, which reads these two trees and nothing else.
    const TNodeTree *catalogue = &Tree->Nodes();
    const TNodeTree *list = &grid == Tree ? nullptr : &grid.Nodes();
    return [catalogue, list] {
        WriteAndReport([&] {
            const std::string name = PromptSaveFile(".json", "ncdu JSON File|*.json", "");
            if (name.empty())
                return false;
            WaitFormGuard wait("Export to file..");
            if (!list) {
                WriteNcduJson(*catalogue, name);
            } else {
                const NcduSelection selection = SelectionOfList(*catalogue, *list);
                WriteNcduJson(*catalogue, name, &selection);
            }
            return true;
        });
    };
}

void TFACtrl::ExportHtml(ITreeGrid &grid)
{
    PrepareExport(ExportFormat::Html, grid)();
}

void TFACtrl::ExportXml(ITreeGrid &grid)
{
    PrepareExport(ExportFormat::Xml, grid)();
}

void TFACtrl::ExportText(ITreeGrid &grid)
{
    PrepareExport(ExportFormat::Text, grid)();
}

void TFACtrl::ExportCsv(ITreeGrid &grid)
{
    PrepareExport(ExportFormat::Csv, grid)();
}

void TFACtrl::ExportExcel(ITreeGrid &grid)
{
    PrepareExport(ExportFormat::Excel, grid)();
}

void TFACtrl::ExportNcdu(ITreeGrid &grid)
{
    PrepareExport(ExportFormat::Ncdu, grid)();
}

void TFACtrl::OpenExplorer(ITreeGrid &grid)
{
    // Always a folder: a folder entry itself, the folder holding a file entry.
    auto folderOf = [](const TNodeTree &tree, NodeId node) {
        std::string path = PathBytesOf(tree, node);
        return IsFile(tree, node) ? FolderOf(path) : path;
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
