#pragma once
// Completes a catalogue after the walk: folder sizes, percentages of the total and entry counts.

#include <cstdint>

#include "catalog/NodeTree.h"

namespace folvane {

// Writes FileSize of every folder below `node` (the sum of everything below it) and returns the
// sum over `node`'s children; `node`'s own FileSize is left to the caller. No node gives 0.
// A name marked Uncounted (a file counted under another name) adds nothing.
// Throws std::runtime_error when a size below the node is a text that is not a number.
std::uint64_t RollUpFolderSize(TNodeTree &tree, NodeId node);

// Writes SizePercentage (share of `total`, "0.00", or "0" when total is 0) and FileCount (entries
// below a folder, 1 for a file) of every node of the tree.
void FillPercentagesAndCounts(TNodeTree &tree, double total);

// The FileSize of a node as a number: the typed size, or a written text read with the user's forms.
// Throws std::runtime_error when the field is empty or not a number.
double SizeOf(const TNodeTree &tree, NodeId node);

} // namespace folvane
