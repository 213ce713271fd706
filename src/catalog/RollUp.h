#pragma once
// Completes a catalogue after the walk: folder sizes, percentages of the total and entry counts.

#include <cstdint>

#include "catalog/NodeTree.h"

namespace folvane {

// Writes FileSize of every folder below `node` (the sum of everything below it) and returns the
// sum over `node`'s children; `node`'s own FileSize is left to the caller. No node gives 0.
// Sizes are summed as whole bytes (SizeOf in FieldReaders.h); a sum stops at 2^64 - 1. A name
// marked Uncounted (a file counted under another name) adds nothing.
// Throws std::runtime_error when a size below the node is empty or a text that is not a number.
std::uint64_t RollUpFolderSize(TNodeTree &tree, NodeId node);

// Writes SizePercentage (share of `total` bytes, "0.00", or "0" when total is 0) and FileCount
// (entries below a folder, 1 for a file) of every node of the tree. Throws as RollUpFolderSize.
void FillPercentagesAndCounts(TNodeTree &tree, std::uint64_t total);

} // namespace folvane
