#include "catalog/CatalogCompare.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "catalog/FieldReaders.h"
#include "common/Utf8.h"
#include "common/uFunction.h"

namespace folvane {

namespace {

std::uint64_t bytesOf(const TNodeTree &tree, NodeId node)
{
    return SizeOf(tree, node).value_or(SizeNumber{}).bytes;
}

using Named = std::pair<std::string_view, NodeId>;

// The children of a folder by name; equal names keep their order.
void childrenByName(const TNodeTree &tree, NodeId folder, std::vector<Named> &into)
{
    into.clear();
    for (NodeId c = tree.FirstChild(folder); c != kNoNode; c = tree.NextSibling(c))
        into.emplace_back(tree.NameBytes(c), c);
    std::stable_sort(into.begin(), into.end(), [](const Named &a, const Named &b) { return a.first < b.first; });
}

class Comparer {
public:
    Comparer(const TNodeTree &then, const TNodeTree &now, TComparison &out, const std::atomic<bool> *cancel)
        : then_(then), now_(now), out_(out), cancel_(cancel)
    {
    }

    void Run(NodeId a, NodeId b)
    {
        if (a == kNoNode || b == kNoNode) {
            if (a != kNoNode)
                everything(then_, a, TChange::Kind::Gone);
            if (b != kNoNode)
                everything(now_, b, TChange::Kind::New);
            return;
        }
        match(a, b);
        std::vector<Named> left, right;
        std::size_t steps = 0;
        while (!pairs_.empty()) {
            if (cancel_ && (++steps & 1023) == 0 && cancel_->load(std::memory_order_relaxed)) {
                out_.cancelled = true;
                return;
            }
            const auto [x, y] = pairs_.back();
            pairs_.pop_back();
            childrenByName(then_, x, left);
            childrenByName(now_, y, right);
            std::size_t i = 0, j = 0;
            while (i < left.size() || j < right.size()) {
                if (j == right.size() || (i < left.size() && left[i].first < right[j].first))
                    everything(then_, left[i++].second, TChange::Kind::Gone);
                else if (i == left.size() || right[j].first < left[i].first)
                    everything(now_, right[j++].second, TChange::Kind::New);
                else
                    match(left[i++].second, right[j++].second);
            }
        }
    }

private:
    // Two entries of one path: compared, and their contents in their turn when both are folders.
    void match(NodeId a, NodeId b)
    {
        const bool folderThen = IsFolder(then_, a), folderNow = IsFolder(now_, b);
        if (folderThen != folderNow) {
            everything(then_, a, TChange::Kind::Gone);
            everything(now_, b, TChange::Kind::New);
            return;
        }
        const std::uint64_t sizeThen = bytesOf(then_, a), sizeNow = bytesOf(now_, b);
        if (sizeThen != sizeNow)
            out_.changes.push_back({a, b, sizeThen, sizeNow, TChange::Kind::Changed, folderNow});
        if (folderNow)
            pairs_.emplace_back(a, b);
    }

    // An entry that only one catalogue has, and everything below it.
    void everything(const TNodeTree &tree, NodeId node, TChange::Kind kind)
    {
        const bool gone = kind == TChange::Kind::Gone;
        const std::uint32_t count = tree.TotalCount(node);
        NodeId n = node;
        for (std::uint32_t i = 0; i < count && n != kNoNode; ++i, n = tree.Next(n)) {
            const std::uint64_t size = bytesOf(tree, n);
            out_.changes.push_back({gone ? n : kNoNode, gone ? kNoNode : n, gone ? size : 0, gone ? 0 : size, kind,
                                    IsFolder(tree, n)});
        }
    }

    const TNodeTree &then_, &now_;
    TComparison &out_;
    const std::atomic<bool> *cancel_;
    std::vector<std::pair<NodeId, NodeId>> pairs_; // folders of one path whose contents are still to compare
};

} // namespace

TComparison CompareCatalogues(const TNodeTree &then, const TNodeTree &now, const std::atomic<bool> *cancel)
{
    TComparison out;
    const NodeId a = then.First(), b = now.First();
    if (a != kNoNode)
        out.topThen = then.PathBytes(a);
    if (b != kNoNode)
        out.topNow = now.PathBytes(b);
    out.sameTop = out.topThen == out.topNow;
    Comparer(then, now, out, cancel).Run(a, b);
    if (!out.cancelled)
        SortChanges(out.changes, then, now, ChangeColumn::Change, true);
    return out;
}

std::string ChangePath(const TNodeTree &then, const TNodeTree &now, const TChange &change)
{
    const bool inNow = change.now != kNoNode;
    const TNodeTree &tree = inNow ? now : then;
    NodeId n = inNow ? change.now : change.then;
    std::vector<std::string_view> names;
    for (; tree.IsValid(n) && tree.Parent(n) != TNodeTree::Root(); n = tree.Parent(n))
        names.push_back(tree.NameBytes(n));
    if (names.empty())
        return ".";
    std::string path;
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        if (!path.empty())
            path += '/';
        path += *it;
    }
    return ValidUtf8(path);
}

const char *ChangeStatus(const TChange &change)
{
    switch (change.kind) {
    case TChange::Kind::New: return "new";
    case TChange::Kind::Gone: return "gone";
    case TChange::Kind::Changed: break;
    }
    return change.sizeNow > change.sizeThen ? "grown" : "shrunk";
}

void SortChanges(std::vector<TChange> &changes, const TNodeTree &then, const TNodeTree &now, ChangeColumn column,
                 bool descending)
{
    auto order = [&](auto key) {
        std::stable_sort(changes.begin(), changes.end(), [&](const TChange &a, const TChange &b) {
            return descending ? key(b) < key(a) : key(a) < key(b);
        });
    };
    switch (column) {
    case ChangeColumn::SizeThen: order([](const TChange &c) { return c.sizeThen; }); return;
    case ChangeColumn::SizeNow: order([](const TChange &c) { return c.sizeNow; }); return;
    case ChangeColumn::Change: order([](const TChange &c) { return c.Change(); }); return;
    case ChangeColumn::Status:
    case ChangeColumn::Path: break;
    }
    // Texts: each row's text made once, then the rows put in the order of their texts.
    std::vector<std::string> texts;
    texts.reserve(changes.size());
    for (const TChange &c : changes)
        texts.push_back(column == ChangeColumn::Path ? ChangePath(then, now, c) : ChangeStatus(c));
    std::vector<std::uint32_t> index(changes.size());
    for (std::uint32_t i = 0; i < index.size(); ++i)
        index[i] = i;
    std::stable_sort(index.begin(), index.end(), [&](std::uint32_t a, std::uint32_t b) {
        const int c = CompareTextIgnoreAsciiCase(texts[a], texts[b]);
        return descending ? c > 0 : c < 0;
    });
    std::vector<TChange> sorted;
    sorted.reserve(changes.size());
    for (std::uint32_t i : index)
        sorted.push_back(changes[i]);
    changes = std::move(sorted);
}

NodeId NearestCounterpart(const TNodeTree &from, NodeId node, const TNodeTree &to)
{
    std::vector<std::string_view> names;
    for (NodeId n = node; from.IsValid(n) && from.Parent(n) != TNodeTree::Root(); n = from.Parent(n))
        names.push_back(from.NameBytes(n));
    NodeId at = to.First();
    for (auto it = names.rbegin(); it != names.rend() && at != kNoNode; ++it) {
        NodeId found = kNoNode;
        for (NodeId c = to.FirstChild(at); c != kNoNode && found == kNoNode; c = to.NextSibling(c))
            if (to.NameBytes(c) == *it)
                found = c;
        if (found == kNoNode)
            break;
        at = found;
    }
    return at;
}

} // namespace folvane
