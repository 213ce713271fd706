#include "CatalogUpdate.h"

#include <algorithm>

#include "catalog/CatalogEdit.h"
#include "views/TreeSort.h"

namespace folvane {

struct TCatalogUpdate::Shown {
    enum Relation { Nothing, CurrentChanged, ChangeBelow, Apart };
    Relation relation = Nothing;
    NodeId current = kNoNode;
    std::string currentPath;
    bool wasSelected = false;   // VT's selection was the entry shown
    NodeId fallback = kNoNode;  // the nearest folder above the entry shown that stays
    TFACtrl::TClassCounts left; // what leaves, below the entry shown, as counted there
    std::vector<bool> firstLeft; // per type entry: the file that starts it leaves
    bool orderKept = true;       // no level below the entry shown changed its order
};

namespace {

// Brackets a change of a grid's nodes in place: the grid shows the tree as it is once the guard
// goes, still showing the rows it showed.
struct UpdateGuard {
    explicit UpdateGuard(ITreeGrid &g) : grid(g) { grid.BeginChangeInPlace(); }
    ~UpdateGuard() { grid.EndUpdate(); }
    ITreeGrid &grid;
};

// Calls `visit` for `node` and everything below it, in pre-order.
template <typename Visit> void forSubtree(const TNodeTree &tree, NodeId node, Visit visit)
{
    const std::uint32_t total = tree.TotalCount(node);
    NodeId n = node;
    for (std::uint32_t i = 0; i < total && n != kNoNode; ++i, n = tree.Next(n))
        visit(n);
}

// The files of a type in a count, and their bytes.
TTypeCounts::Entry tallyOf(const TTypeCounts &types, std::string_view ext)
{
    const std::ptrdiff_t at = types.Find(ext);
    return at < 0 ? TTypeCounts::Entry{} : types[std::size_t(at)];
}

} // namespace

TCatalogUpdate::Shown TCatalogUpdate::before(std::span<const NodeId> changed)
{
    Shown shown;
    const TNodeTree &tree = ctrl_.Tree->Nodes();
    const NodeId current = ctrl_.CurrentNode;
    if (!tree.IsValid(current))
        return shown;
    shown.current = current;
    shown.currentPath = tree.PathBytes(current);
    shown.wasSelected = ctrl_.Tree->SelectedNode() == current;

    // The entry shown is itself changed: the outermost change holding it decides what stays.
    std::uint32_t outermost = UINT32_MAX;
    for (NodeId node : changed) {
        if (IsWithin(tree, current, node) && tree.Level(node) < outermost) {
            outermost = tree.Level(node);
            shown.fallback = tree.Parent(node);
            shown.relation = Shown::CurrentChanged;
        }
    }
    if (shown.relation == Shown::CurrentChanged)
        return shown;

    std::vector<NodeId> below;
    for (NodeId node : changed) {
        if (!IsWithin(tree, node, current))
            continue;
        bool inner = false; // below another change that is counted already
        for (NodeId other : changed)
            inner = inner || (other != node && IsWithin(tree, node, other));
        if (!inner)
            below.push_back(node);
    }
    if (below.empty()) {
        shown.relation = Shown::Apart;
        return shown;
    }
    shown.relation = Shown::ChangeBelow;
    shown.left = ctrl_.emptyCounts();
    for (NodeId node : below)
        forSubtree(tree, node, [&](NodeId n) { ctrl_.countFile(tree, n, shown.left); });
    for (const TTypeCounts::Entry &entry : ctrl_.TypeCounts.Entries()) {
        bool left = false;
        if (!tree.IsValid(entry.first))
            shown.orderKept = false; // not known where it starts: counted anew
        for (NodeId node : below)
            left = left || IsWithin(tree, entry.first, node);
        shown.firstLeft.push_back(left);
    }
    return shown;
}

// Sorts as VT is sorted: every level below `node` when `within`, and the levels that hold `node`
// and each folder above it.
void TCatalogUpdate::sortAbove(NodeId node, Shown &shown, bool within)
{
    TNodeTree &tree = ctrl_.Tree->Nodes();
    ctrl_.sortWith(*ctrl_.Tree, [&](const NodeCompare &compare, SortDirection direction) {
        if (within)
            SortSubtree(tree, node, compare, direction);
        for (NodeId at = node; at != TNodeTree::Root() && tree.IsValid(at); at = tree.Parent(at)) {
            const NodeId parent = tree.Parent(at);
            if (SortChildren(tree, parent, compare, direction) && shown.relation == Shown::ChangeBelow &&
                IsWithin(tree, parent, shown.current))
                shown.orderKept = false;
        }
    });
}

void TCatalogUpdate::RefreshFolder(NodeId folder, const TNodeTree &walked)
{
    if (!ctrl_.Tree || !ctrl_.Tree->Nodes().IsValid(folder))
        return;
    TNodeTree &tree = ctrl_.Tree->Nodes();
    const std::vector<std::string> paths{tree.PathBytes(folder)};
    const NodeId changed[] = {folder};
    Shown shown = before(changed);
    {
        UpdateGuard update(*ctrl_.Tree);
        ReplaceFolder(tree, folder, walked);
        const LocalMillis now = ctrl_.Now ? ctrl_.Now() : LocalNow();
        forSubtree(tree, folder, [&](NodeId n) { ctrl_.classifyFile(tree, n, now); });
        sortAbove(folder, shown, true);
    }
    after(shown, paths, folder);
}

void TCatalogUpdate::RemoveEntries(std::span<const NodeId> nodes)
{
    if (!ctrl_.Tree)
        return;
    TNodeTree &tree = ctrl_.Tree->Nodes();
    std::vector<NodeId> valid;
    std::vector<std::string> paths;
    for (NodeId node : nodes) {
        if (tree.IsValid(node)) {
            valid.push_back(node);
            paths.push_back(tree.PathBytes(node));
        }
    }
    if (valid.empty())
        return;
    Shown shown = before(valid);
    {
        UpdateGuard update(*ctrl_.Tree);
        std::vector<NodeId> parents;
        for (NodeId node : valid)
            parents.push_back(tree.Parent(node));
        folvane::RemoveEntries(tree, valid);
        // A folder that lost entries is smaller: its level, and each level above, sorts again.
        std::sort(parents.begin(), parents.end());
        parents.erase(std::unique(parents.begin(), parents.end()), parents.end());
        for (NodeId parent : parents)
            if (tree.IsValid(parent))
                sortAbove(parent, shown, false);
    }
    after(shown, paths, kNoNode);
}

void TCatalogUpdate::after(Shown &shown, const std::vector<std::string> &changedPaths, NodeId added)
{
    countedInPlace_ = false;
    const TNodeTree &tree = ctrl_.Tree->Nodes();
    switch (shown.relation) {
    case Shown::CurrentChanged: {
        // The same entry where it is still there, else the nearest folder above it that is.
        TPathFinder finder(tree);
        NodeId show = finder.Find(shown.currentPath);
        if (show == kNoNode && tree.IsValid(shown.fallback))
            show = shown.fallback;
        for (std::string path = shown.currentPath; show == kNoNode && !path.empty();) {
            const std::size_t slash = path.find_last_of('/');
            path = slash == std::string::npos || slash == 0 ? std::string() : path.substr(0, slash);
            show = path.empty() ? tree.First() : finder.Find(path);
        }
        ctrl_.CurrentNode = kNoNode;
        if (shown.wasSelected && ctrl_.Tree->SelectedNode() != show)
            ctrl_.Tree->SelectNode(show); // as a click on its row: it is shown
        if (ctrl_.CurrentNode != show)
            ctrl_.ShowFolder(show);
        break;
    }
    case Shown::ChangeBelow:
        countedInPlace_ = countInPlace(shown, added);
        if (!countedInPlace_)
            ctrl_.CountClasses();
        ctrl_.FillFileList(*ctrl_.List);
        ctrl_.drawCharts();
        break;
    case Shown::Apart:
    case Shown::Nothing:
        break;
    }
    refillDrillDowns(changedPaths);
}

bool TCatalogUpdate::countInPlace(const Shown &shown, NodeId added)
{
    if (!shown.orderKept)
        return false;
    const TNodeTree &tree = ctrl_.Tree->Nodes();
    TFACtrl::TClassCounts in = ctrl_.emptyCounts();
    if (tree.IsValid(added))
        forSubtree(tree, added, [&](NodeId n) { ctrl_.countFile(tree, n, in); });

    // Types: each keeps the file met first, unless that one left or one that came in is met
    // before it. A type that lost its first file but is still met elsewhere cannot say where.
    std::vector<TTypeCounts::Entry> types;
    const std::vector<TTypeCounts::Entry> &old = ctrl_.TypeCounts.Entries();
    for (std::size_t i = 0; i < old.size(); ++i) {
        TTypeCounts::Entry entry = old[i];
        const TTypeCounts::Entry left = tallyOf(shown.left.TypeCounts, entry.ext), came = tallyOf(in.TypeCounts, entry.ext);
        entry.count = entry.count - left.count + came.count;
        entry.bytes = entry.bytes - left.bytes + came.bytes;
        const bool takeNew = came.count > 0 && (shown.firstLeft[i] || PrecedesInPreOrder(tree, came.first, entry.first));
        if (takeNew) {
            entry.first = came.first;
            entry.ext = came.ext;
        } else if (shown.firstLeft[i] && entry.count > 0) {
            return false;
        }
        if (entry.count > 0)
            types.push_back(std::move(entry));
    }
    for (const TTypeCounts::Entry &entry : in.TypeCounts.Entries())
        if (ctrl_.TypeCounts.Find(entry.ext) < 0)
            types.push_back(entry);
    // Met in the order of their first files, then ordered by count as a count orders them.
    std::stable_sort(types.begin(), types.end(), [&](const TTypeCounts::Entry &a, const TTypeCounts::Entry &b) {
        return PrecedesInPreOrder(tree, a.first, b.first);
    });

    auto apply = [](std::vector<std::uint64_t> &to, const std::vector<std::uint64_t> &minus,
                    const std::vector<std::uint64_t> &plus) {
        for (std::size_t k = 0; k < to.size() && k < minus.size() && k < plus.size(); ++k)
            to[k] = to[k] - minus[k] + plus[k];
    };
    apply(ctrl_.SizeCounts, shown.left.SizeCounts, in.SizeCounts);
    apply(ctrl_.CreateCounts, shown.left.CreateCounts, in.CreateCounts);
    apply(ctrl_.AccessCounts, shown.left.AccessCounts, in.AccessCounts);
    apply(ctrl_.WriteCounts, shown.left.WriteCounts, in.WriteCounts);
    ctrl_.TypeCounts.Assign(std::move(types));
    TFACtrl::SortTypeCounts(ctrl_.TypeCounts);
    return true;
}

void TCatalogUpdate::refillDrillDowns(const std::vector<std::string> &changedPaths)
{
    std::optional<TPathFinder> finder;
    for (const TFACtrl::DrillDown &drill : ctrl_.drillDowns_) {
        const bool touched = std::any_of(changedPaths.begin(), changedPaths.end(), [&](const std::string &path) {
            return PathWithin(path, drill.folderPath) || PathWithin(drill.folderPath, path);
        });
        if (!touched || drill.folderPath.empty())
            continue;
        if (!finder)
            finder.emplace(ctrl_.Tree->Nodes());
        // From the folder it was filled from, when that is still there; else it is emptied.
        ctrl_.fillClassList(*drill.list, finder->Find(drill.folderPath), drill.keyKind, drill.keys);
    }
}

} // namespace folvane
