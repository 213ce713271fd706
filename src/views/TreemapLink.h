#pragma once
// How the treemap and the catalogue tree follow each other, and what the map says of a tile.
//
// The map shows the catalogue below one folder, its root. The root changes only when the user
// zooms (a double click on a folder's tile, or Up to a folder above the root) or when the entry
// shown moves outside it; a click on a tile selects that entry in the tree without moving the
// root, so the picture stays put while the rest of the window follows the click.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/NodeTree.h"
#include "views/TreemapLayout.h"
#include "views/ViewInterfaces.h"

namespace folvane {

// The root of the map once `shown` has become the entry shown: `root` while `shown` lies at or
// below it; else the nearest folder above `root` that holds `shown` (so Up from the root zooms
// out one level, and a new catalogue's top replaces a root of the one before); `shown`'s own
// folder when `root` is not a node of the tree.
NodeId TreemapRootFor(const TNodeTree &tree, NodeId root, NodeId shown);

// The item a double click zooms into, given the items under the pointer from the root down
// (TreemapPathAt): the deepest folder below the root on that line, or kNoTile.
std::uint32_t TreemapZoomTarget(const TTreemap &map, const std::vector<std::uint32_t> &path);

// Selects `node` in the grid as a click on its row does (the grid raises its selection change),
// with every folder above it expanded first so that the row can be seen.
void SelectInTree(ITreeGrid &grid, NodeId node);

// The node whose full path is `path` (bytes, as the file system knows it), or kNoNode.
NodeId NodeOfPath(const TNodeTree &tree, std::string_view path);

// A share of a total in hundredths of a percent, rounded half away from zero, followed by "%";
// "0%" of a total of 0.
std::string TreemapShareText(std::uint64_t part, std::uint64_t total);

// What hovering a tile shows, one item per line: the name, the size and its share of the whole
// map, the path; for a folder, the entries too small to draw that its own area stands for.
std::string TreemapHoverText(const TNodeTree &tree, const TTreemap &map, std::uint32_t item);

// Saves a picture of the map as the charts are saved: asks for the file (PNG by default, or BMP),
// writes the bytes `encode` gives for the format chosen ("PNG" or "BMP") beside the target and
// renames them over it, and says "Export Finished". A write that fails says which file and why,
// and leaves the file that was there as it was.
void SaveTreemapImage(const std::function<std::string(const std::string &format)> &encode);

} // namespace folvane
