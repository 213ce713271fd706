#include "TreeSort.h"

#include <algorithm>

namespace folvane {

namespace {

// Bottom-up merge sort with one buffer: runs of width 1, 2, 4, ... are merged alternately from
// `a` into `b` and back. `goesFirst(r, l)` decides whether the right run's head precedes the left's.
template <typename GoesFirst>
void mergeSort(std::vector<NodeId> &a, std::vector<NodeId> &b, GoesFirst goesFirst)
{
    const size_t n = a.size();
    if (n < 2)
        return;
    b.resize(n);
    std::vector<NodeId> *from = &a, *to = &b;
    for (size_t width = 1; width < n; width *= 2) {
        for (size_t lo = 0; lo < n; lo += 2 * width) {
            size_t mid = std::min(lo + width, n), hi = std::min(lo + 2 * width, n);
            size_t i = lo, j = mid, k = lo;
            while (i < mid && j < hi)
                (*to)[k++] = goesFirst((*from)[j], (*from)[i]) ? (*from)[j++] : (*from)[i++];
            while (i < mid)
                (*to)[k++] = (*from)[i++];
            while (j < hi)
                (*to)[k++] = (*from)[j++];
        }
        std::swap(from, to);
    }
    if (from != &a)
        a.swap(*from);
}

void sortWith(std::vector<NodeId> &nodes, std::vector<NodeId> &buffer, const NodeCompare &compare,
              SortDirection direction)
{
    if (direction == SortDirection::Ascending)
        mergeSort(nodes, buffer, [&](NodeId r, NodeId l) { return compare(r, l) < 0; });
    else
        mergeSort(nodes, buffer, [&](NodeId r, NodeId l) { return compare(r, l) > 0; });
}

} // namespace

void SortSiblings(std::vector<NodeId> &nodes, const NodeCompare &compare, SortDirection direction)
{
    std::vector<NodeId> buffer;
    sortWith(nodes, buffer, compare, direction);
}

bool SortChildren(TNodeTree &tree, NodeId parent, const NodeCompare &compare, SortDirection direction)
{
    if (tree.ChildCount(parent) < 2)
        return false;
    std::vector<NodeId> nodes = tree.Children(parent), buffer;
    sortWith(nodes, buffer, compare, direction);
    bool changed = false;
    for (std::uint32_t row = 0; row < nodes.size() && !changed; ++row)
        changed = tree.Child(parent, row) != nodes[row];
    if (changed)
        tree.ReorderChildren(parent, nodes);
    return changed;
}

void SortSubtree(TNodeTree &tree, NodeId node, const NodeCompare &compare, SortDirection direction)
{
    std::vector<NodeId> folders{node};
    while (!folders.empty()) {
        const NodeId folder = folders.back();
        folders.pop_back();
        SortChildren(tree, folder, compare, direction);
        for (NodeId child = tree.FirstChild(folder); child != kNoNode; child = tree.NextSibling(child))
            if (tree.ChildCount(child) > 0)
                folders.push_back(child);
    }
}

void SortTree(TNodeTree &tree, const NodeCompare &compare, SortDirection direction)
{
    std::vector<NodeId> nodes, buffer;
    // Nodes are numbered from 0 (the invisible root) to below IdLimit(): every parent is among
    // them, and a number no longer in use has no children.
    for (NodeId parent = 0; parent < tree.IdLimit(); ++parent) {
        if (tree.ChildCount(parent) < 2)
            continue;
        nodes = tree.Children(parent);
        sortWith(nodes, buffer, compare, direction);
        tree.ReorderChildren(parent, nodes);
    }
}

} // namespace folvane
