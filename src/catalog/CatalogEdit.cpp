#include "CatalogEdit.h"

#include <algorithm>
#include <deque>
#include <iterator>
#include <string>
#include <tuple>
#include <unordered_set>
#include <vector>

#include "catalog/CatalogNotes.h"
#include "catalog/FieldReaders.h"
#include "catalog/RollUp.h"

namespace folvane {

namespace {

// The bytes a node adds to the folders above it: none for a further name of a file that is
// counted under its first name.
std::uint64_t bytesOf(const TNodeTree &tree, NodeId node)
{
    if (tree.Data(node).flags & TFileNodeData::Uncounted)
        return 0;
    const std::optional<SizeNumber> size = SizeOf(tree, node);
    return size ? size->bytes : 0;
}

// Adds `delta` (a difference in two's complement) to the size of every folder above `node`.
void addAbove(TNodeTree &tree, NodeId node, std::uint64_t delta)
{
    if (delta == 0)
        return;
    for (NodeId up = tree.Parent(node); up != TNodeTree::Root() && up != kNoNode; up = tree.Parent(up))
        if (!tree.Override(up, FileSize))
            tree.SetSize(up, tree.Data(up).size + delta);
}

void fillShares(TNodeTree &tree, NodeId anyNode)
{
    const NodeId top = TopOf(tree, anyNode);
    FillPercentagesAndCounts(tree, tree.IsValid(top) ? bytesOf(tree, top) : 0);
}

NodeId childNamed(const TNodeTree &tree, NodeId parent, std::string_view name)
{
    for (NodeId child = tree.FirstChild(parent); child != kNoNode; child = tree.NextSibling(child))
        if (tree.NameBytes(child) == name)
            return child;
    return kNoNode;
}

// The names leading from `folder` down to each expanded node below it.
std::vector<std::vector<std::string>> expandedBelow(const TNodeTree &tree, NodeId folder)
{
    std::vector<std::vector<std::string>> found;
    std::vector<std::pair<NodeId, std::size_t>> stack; // node, depth below folder
    std::vector<std::string_view> chain;
    for (NodeId child = tree.FirstChild(folder); child != kNoNode; child = tree.NextSibling(child))
        stack.emplace_back(child, 0);
    while (!stack.empty()) {
        const auto [node, depth] = stack.back();
        stack.pop_back();
        chain.resize(depth);
        chain.push_back(tree.NameBytes(node));
        if (tree.Expanded(node))
            found.emplace_back(chain.begin(), chain.end());
        for (NodeId child = tree.FirstChild(node); child != kNoNode; child = tree.NextSibling(child))
            stack.emplace_back(child, depth + 1);
    }
    return found;
}

auto identity(const TLinkName &l)
{
    return std::tie(l.device, l.inodeHigh, l.inodeLow);
}

// Whether `a` comes before `b` in the catalogue's own order, the order the directories delivered
// their entries in, whatever the display has sorted since: where their paths part, the entry
// numbered first (a folder's entries are numbered in the order they were delivered).
bool inCatalogueOrder(const TNodeTree &tree, NodeId a, NodeId b)
{
    auto chain = [&](NodeId n) {
        std::vector<NodeId> up;
        for (; n != TNodeTree::Root() && n != kNoNode; n = tree.Parent(n))
            up.push_back(n);
        return std::vector<NodeId>(up.rbegin(), up.rend());
    };
    const std::vector<NodeId> ca = chain(a), cb = chain(b);
    std::size_t i = 0;
    while (i < ca.size() && i < cb.size() && ca[i] == cb[i])
        ++i;
    if (i == ca.size() || i == cb.size())
        return ca.size() < cb.size();
    return ca[i] < cb[i];
}

// Puts the names of files with several names that a walk found into the catalogue's table: each
// joins the names of its file, in the catalogue's own order. `copies` gives each walked name's node.
void mergeLinkNames(TNodeTree &tree, const TCatalogNotes &walked, const std::unordered_map<NodeId, NodeId> &copies)
{
    std::vector<TLinkName> fresh;
    for (const TLinkName &name : walked.links) {
        auto copy = copies.find(name.node);
        if (copy == copies.end())
            continue;
        fresh.push_back(name);
        fresh.back().node = copy->second;
    }
    if (fresh.empty())
        return;
    auto byFile = [](const TLinkName &a, const TLinkName &b) { return identity(a) < identity(b); };
    std::stable_sort(fresh.begin(), fresh.end(), byFile);
    std::deque<TLinkName> &links = tree.Notes().links;
    std::deque<TLinkName> merged;
    std::merge(links.begin(), links.end(), fresh.begin(), fresh.end(), std::back_inserter(merged), byFile);
    for (auto at = fresh.begin(); at != fresh.end();) {
        auto [first, last] = std::equal_range(merged.begin(), merged.end(), *at, byFile);
        std::stable_sort(first, last, [&](const TLinkName &a, const TLinkName &b) { return inCatalogueOrder(tree, a.node, b.node); });
        at = std::upper_bound(at, fresh.end(), *at, byFile);
    }
    links.swap(merged);
}

// After entries left the catalogue or came into it: the summary's counts again from the notes'
// tables, and which name of each file with several names counts. When the catalogue counts such
// a file once, it is the name that comes first in the catalogue's own order; a name that starts
// or stops counting changes the sizes of the folders above it. The cost is that of the tables,
// which hold the few entries that need more than a record, not that of the catalogue.
void settleNotes(TNodeTree &tree)
{
    if (!tree.FindNotes())
        return;
    TCatalogNotes &notes = tree.Notes();
    TScanSummary &summary = notes.summary;
    summary.foldersNotRead = summary.kernelFolders = summary.otherFsFolders = summary.excluded = 0;
    for (const auto &[node, reason] : notes.reasons) {
        if (!tree.IsValid(node))
            continue;
        switch (reason.kind) {
        case ReasonKind::NotRead: summary.foldersNotRead += IsFolder(tree, node) ? 1 : 0; break;
        case ReasonKind::KernelFileSystem:
        case ReasonKind::Automount: ++summary.kernelFolders; break;
        case ReasonKind::OtherFileSystem: ++summary.otherFsFolders; break;
        case ReasonKind::Text: break;
        }
    }
    for (const auto &[node, count] : notes.excludedIn)
        summary.excluded += count;

    std::uint64_t elsewhere = 0;
    const std::deque<TLinkName> &links = notes.links;
    for (std::size_t i = 0; i < links.size(); ++i) {
        const NodeId node = links[i].node;
        const bool counted = !summary.hardLinksOnce || i == 0 || identity(links[i - 1]) != identity(links[i]);
        std::uint16_t &flags = tree.Data(node).flags;
        const bool wasCounted = !(flags & TFileNodeData::Uncounted);
        elsewhere += counted ? 0 : 1;
        if (counted == wasCounted)
            continue;
        flags ^= TFileNodeData::Uncounted;
        const std::optional<SizeNumber> size = SizeOf(tree, node);
        const std::uint64_t bytes = size ? size->bytes : 0;
        addAbove(tree, node, counted ? bytes : std::uint64_t(0) - bytes);
    }
    summary.namesCountedElsewhere = elsewhere;
}

} // namespace

ScanChoices CatalogueChoices(const TNodeTree &tree)
{
    ScanChoices choices;
    if (const TCatalogNotes *notes = tree.FindNotes()) {
        choices.sizeKind = notes->summary.sizeKind;
        choices.hardLinksOnce = notes->summary.hardLinksOnce;
        choices.oneFileSystem = notes->summary.oneFileSystem;
        choices.exclude = notes->exclude;
    }
    return choices;
}

NodeId TopOf(const TNodeTree &tree, NodeId node)
{
    if (!tree.IsValid(node))
        return kNoNode;
    while (tree.Parent(node) != TNodeTree::Root())
        node = tree.Parent(node);
    return node;
}

bool IsWithin(const TNodeTree &tree, NodeId node, NodeId ancestor)
{
    if (!tree.IsValid(node) || !tree.IsValid(ancestor))
        return false;
    for (NodeId at = node; at != TNodeTree::Root() && at != kNoNode; at = tree.Parent(at))
        if (at == ancestor)
            return true;
    return false;
}

bool PrecedesInPreOrder(const TNodeTree &tree, NodeId a, NodeId b)
{
    if (a == b || !tree.IsValid(a) || !tree.IsValid(b))
        return false;
    auto chain = [&](NodeId n) {
        std::vector<NodeId> up;
        for (; n != TNodeTree::Root() && n != kNoNode; n = tree.Parent(n))
            up.push_back(n);
        return std::vector<NodeId>(up.rbegin(), up.rend()); // from the top level down
    };
    const std::vector<NodeId> ca = chain(a), cb = chain(b);
    std::size_t i = 0;
    while (i < ca.size() && i < cb.size() && ca[i] == cb[i])
        ++i;
    if (i == ca.size())
        return true; // a is above b
    if (i == cb.size())
        return false; // b is above a
    return tree.Row(ca[i]) < tree.Row(cb[i]);
}

TEntryPath EntryPathOf(const TNodeTree &tree, NodeId node)
{
    TEntryPath path;
    if (!tree.IsValid(node))
        return path;
    std::vector<std::string_view> names;
    NodeId at = node;
    for (; tree.Parent(at) != TNodeTree::Root(); at = tree.Parent(at))
        names.push_back(tree.NameBytes(at));
    path.top = tree.PathBytes(at);
    path.names.assign(names.rbegin(), names.rend());
    return path;
}

bool PathWithin(std::string_view path, std::string_view ancestor)
{
    if (!path.starts_with(ancestor))
        return false;
    return path.size() == ancestor.size() || ancestor.ends_with('/') || path[ancestor.size()] == '/';
}

NodeId TPathFinder::child(NodeId parent, std::string_view name)
{
    constexpr std::uint32_t kIndexFrom = 32;
    if (tree_.ChildCount(parent) < kIndexFrom) {
        for (NodeId c = tree_.FirstChild(parent); c != kNoNode; c = tree_.NextSibling(c))
            if (tree_.NameBytes(c) == name)
                return c;
        return kNoNode;
    }
    auto [it, made] = index_.try_emplace(parent);
    if (made)
        for (NodeId c = tree_.FirstChild(parent); c != kNoNode; c = tree_.NextSibling(c))
            it->second.emplace(tree_.NameBytes(c), c);
    auto found = it->second.find(name);
    return found == it->second.end() ? kNoNode : found->second;
}

NodeId TPathFinder::Find(std::string_view path)
{
    for (NodeId top = tree_.First(); top != kNoNode; top = tree_.NextSibling(top)) {
        const std::string topPath = tree_.PathBytes(top);
        if (!PathWithin(path, topPath))
            continue;
        std::string_view rest = path.substr(topPath.size());
        NodeId at = top;
        while (at != kNoNode && !rest.empty()) {
            const std::size_t start = rest.find_first_not_of('/');
            if (start == std::string_view::npos)
                break;
            rest.remove_prefix(start);
            const std::size_t end = std::min(rest.find('/'), rest.size());
            at = child(at, rest.substr(0, end));
            rest.remove_prefix(end);
        }
        if (at != kNoNode)
            return at;
    }
    return kNoNode;
}

void RemoveEntries(TNodeTree &tree, std::span<const NodeId> nodes)
{
    const std::unordered_set<NodeId> listed(nodes.begin(), nodes.end());
    std::vector<NodeId> outermost;
    for (NodeId node : nodes) {
        if (!tree.IsValid(node))
            continue;
        bool below = false;
        for (NodeId up = tree.Parent(node); up != TNodeTree::Root() && !below; up = tree.Parent(up))
            below = listed.count(up) > 0;
        if (!below && std::find(outermost.begin(), outermost.end(), node) == outermost.end())
            outermost.push_back(node);
    }
    if (outermost.empty())
        return;
    const NodeId top = TopOf(tree, outermost.front());
    for (NodeId node : outermost)
        addAbove(tree, node, std::uint64_t(0) - bytesOf(tree, node));
    tree.RemoveSubtrees(outermost);
    settleNotes(tree);
    fillShares(tree, tree.IsValid(top) ? top : tree.First());
}

void ReplaceFolder(TNodeTree &tree, NodeId folder, const TNodeTree &walked)
{
    const NodeId source = walked.First();
    if (!tree.IsValid(folder) || !walked.IsValid(source))
        return;
    const std::uint64_t before = bytesOf(tree, folder);
    const std::vector<std::vector<std::string>> expanded = expandedBelow(tree, folder);

    // The folder's own record: what the walk found, under the name it has here.
    const std::string name(tree.NameBytes(folder));
    const bool wasExpanded = tree.Expanded(folder);
    const bool explicitPath = tree.Data(folder).flags & TFileNodeData::ExplicitPath;
    const std::string path = explicitPath ? tree.PathBytes(folder) : std::string();
    tree.CopyRecord(folder, walked, source);
    if (explicitPath)
        tree.SetExplicitPath(folder, path, name.size());
    else
        tree.SetName(folder, name);
    tree.SetExpanded(folder, wasExpanded);

    // What it held, and what the walk found in its place; the walk's notes come along.
    tree.RemoveSubtrees(tree.Children(folder));
    const TCatalogNotes *notes = walked.FindNotes();
    std::unordered_map<NodeId, NodeId> linkCopies;
    std::unordered_set<NodeId> linked;
    if (notes) {
        for (const TLinkName &l : notes->links)
            linked.insert(l.node);
        TCatalogNotes &mine = tree.Notes();
        mine.reasons.erase(folder);
        mine.excludedIn.erase(folder);
    }
    auto carry = [&](NodeId from, NodeId copy) {
        if (!notes)
            return;
        if (auto reason = notes->reasons.find(from); reason != notes->reasons.end())
            tree.Notes().reasons[copy] = reason->second;
        if (auto left = notes->excludedIn.find(from); left != notes->excludedIn.end())
            tree.Notes().excludedIn[copy] = left->second;
        if (linked.count(from))
            linkCopies.emplace(from, copy);
    };
    carry(source, folder);
    tree.CopyChildren(folder, walked, source, carry);
    if (notes)
        mergeLinkNames(tree, *notes, linkCopies);
    for (const std::vector<std::string> &chain : expanded) {
        NodeId at = folder;
        for (const std::string &step : chain)
            if (at != kNoNode)
                at = childNamed(tree, at, step);
        if (at != kNoNode)
            tree.SetExpanded(at, true);
    }

    addAbove(tree, folder, bytesOf(tree, folder) - before);
    settleNotes(tree);
    fillShares(tree, folder);
}

} // namespace folvane
