#pragma once
// Sorting a whole node tree, every level, by a comparison of sibling nodes.
//
// The comparison need not be an order: it may answer -1 both ways for equal values or always 1.
// A merge sort only ever asks "does the right-hand node go first?" and moves each node once per
// pass, so it stays in bounds and finishes in n log n steps whatever the answers.

#include <functional>

#include "catalog/NodeTree.h"
#include "views/ViewInterfaces.h"

namespace folvane {

// Negative when `a` belongs before `b` in ascending order, positive when after, 0 when equal.
using NodeCompare = std::function<int(NodeId a, NodeId b)>;

// Sorts the children of every node of the tree (the top level included). Ascending puts a node
// first when the comparison answers negative; descending reverses the sense of the answer.
void SortTree(TNodeTree &tree, const NodeCompare &compare, SortDirection direction);

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

// Sorts the children of `parent` alone; true when their order changed.
bool SortChildren(TNodeTree &tree, NodeId parent, const NodeCompare &compare, SortDirection direction);
// Sorts the children of `node` and of every node below it.
void SortSubtree(TNodeTree &tree, NodeId node, const NodeCompare &compare, SortDirection direction);

// Sorts one sibling list in place the same way.
void SortSiblings(std::vector<NodeId> &nodes, const NodeCompare &compare, SortDirection direction);

} // namespace folvane
