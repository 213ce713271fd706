#pragma once
// Sorting a whole node tree, every level, by a comparison of sibling nodes.
//
// The comparison need not be an order: it may answer -1 both ways for equal values or always 1.
// A merge sort only ever asks "does the right-hand node go first?" and moves each node once per
// pass, so it stays in bounds and finishes in n log n steps whatever the answers.

#include <algorithm>
#include <functional>
#include <vector>

#include "catalog/NodeTree.h"
#include "views/ViewInterfaces.h"

namespace folvane {

// Negative when `a` belongs before `b` in ascending order, positive when after, 0 when equal.
using NodeCompare = std::function<int(NodeId a, NodeId b)>;

// Sorts the children of every node of the tree (the top level included). Ascending puts a node
// first when the comparison answers negative; descending reverses the sense of the answer.
void SortTree(TNodeTree &tree, const NodeCompare &compare, SortDirection direction);

// The merge sort every sort here runs, for a caller that compares with a type of its own rather
// than through NodeCompare (a call through std::function at every comparison): runs of width 1, 2,
// 4, ... are merged alternately from `nodes` into `buffer` and back, and `goesFirst(r, l)` decides
// whether the right run's head r precedes the left's head l.
template <typename GoesFirst>
void MergeSortNodes(std::vector<NodeId> &nodes, std::vector<NodeId> &buffer, GoesFirst goesFirst)
{
    const std::size_t n = nodes.size();
    if (n < 2)
        return;
    buffer.resize(n);
    std::vector<NodeId> *from = &nodes, *to = &buffer;
    for (std::size_t width = 1; width < n; width *= 2) {
        for (std::size_t lo = 0; lo < n; lo += 2 * width) {
            const std::size_t mid = std::min(lo + width, n), hi = std::min(lo + 2 * width, n);
            std::size_t i = lo, j = mid, k = lo;
            while (i < mid && j < hi)
                (*to)[k++] = goesFirst((*from)[j], (*from)[i]) ? (*from)[j++] : (*from)[i++];
            while (i < mid)
                (*to)[k++] = (*from)[i++];
            while (j < hi)
                (*to)[k++] = (*from)[j++];
        }
        std::swap(from, to);
    }
    if (from != &nodes)
        nodes.swap(*from);
}

// Sorts one sibling list, the children of `parent`, in place.
using SiblingSort = std::function<void(NodeId parent, std::vector<NodeId> &children)>;

// Sorts like SortTree with the folders shared among `threads` threads (the calling one included):
// each folder's children are sorted by one thread, which then hands each of them, in their new
// order, to `visit` with its own number (0 to threads - 1), so that a visit may keep what it
// gathers per thread. Each thread sorts with a comparison of its own, made by `newCompare`, which
// may keep what it reads of the lists it sorts. A node is compared and visited by one thread only,
// so the comparisons may read and `visit` may change the records of the nodes they are given
// without locks, as long as nothing else of the tree changes. What they throw ends the sort and
// is rethrown once every thread has stopped.
void SortTreeInParallel(TNodeTree &tree, const std::function<NodeCompare()> &newCompare, SortDirection direction,
                        unsigned threads, const std::function<void(NodeId node, unsigned thread)> &visit);
// The same with each thread's sort of a whole sibling list made by `newSort`.
void SortTreeInParallel(TNodeTree &tree, const std::function<SiblingSort()> &newSort, unsigned threads,
                        const std::function<void(NodeId node, unsigned thread)> &visit);

// Sorts the children of `parent` alone; true when their order changed.
bool SortChildren(TNodeTree &tree, NodeId parent, const NodeCompare &compare, SortDirection direction);
// Sorts the children of `node` and of every node below it.
void SortSubtree(TNodeTree &tree, NodeId node, const NodeCompare &compare, SortDirection direction);

// Sorts one sibling list in place the same way.
void SortSiblings(std::vector<NodeId> &nodes, const NodeCompare &compare, SortDirection direction);

} // namespace folvane
