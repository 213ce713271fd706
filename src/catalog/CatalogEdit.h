#pragma once
// Changing a catalogue in place, without a new scan: entries leave it (moved to the trash), or a
// folder is walked again and replaces what the catalogue held of it.
//
// Afterwards the catalogue is what a new scan would give: every folder above the change has its
// new size and entry count, and every percentage is the share of the new total. Its notes follow:
// the reasons of marked entries, what was left out, and the names of files with several names,
// among which the one that counts is decided again across the catalogue (the first in the
// catalogue's own order, when such a file counts once); the summary's counts are made again from
// those tables. The cost grows with the entries removed or walked and the depth of the change,
// plus one pass over the notes' tables (which hold only the entries that need more than a
// record) and one flat pass over all records for the percentages (each is a share of the whole
// total, so all of them change).

#include <span>
#include <string_view>
#include <unordered_map>

#include "catalog/NodeTree.h"
#include "catalog/ScanChoices.h"
#include "common/EntryPath.h"

namespace folvane {

// Removes the entries, each with everything below it; an entry below another one of the list
// goes with that one. Numbers that are not valid are passed over.
void RemoveEntries(TNodeTree &tree, std::span<const NodeId> nodes);

// Replaces the folder `folder` by `walked`, a catalogue of that same folder made by a scan with
// ScanOptions::below and the catalogue's choices (CatalogueChoices): the folder's record takes
// the walked values but keeps its name and its expanded state; its children become copies of
// the walked ones, in the walked order; entries that were expanded before and are still there
// stay expanded.
void ReplaceFolder(TNodeTree &tree, NodeId folder, const TNodeTree &walked);

// The choices a catalogue was made with, as a walk of one of its folders must use them: the size
// kind and hard links as the catalogue counts them now, one file system and the patterns as
// they were (the defaults for a catalogue that was not scanned).
ScanChoices CatalogueChoices(const TNodeTree &tree);

// The top-level node above (or at) `node`.
NodeId TopOf(const TNodeTree &tree, NodeId node);

// Whether `node` is `ancestor` or lies below it.
bool IsWithin(const TNodeTree &tree, NodeId node, NodeId ancestor);

// Whether `a` comes before `b` in depth-first pre-order (a folder before everything below it).
bool PrecedesInPreOrder(const TNodeTree &tree, NodeId a, NodeId b);

// The catalogue's folder (its top node's path, as named) and the names that lead down to `node`.
TEntryPath EntryPathOf(const TNodeTree &tree, NodeId node);

// Whether the path `path` is `ancestor` or lies below it (paths as bytes).
bool PathWithin(std::string_view path, std::string_view ancestor);

// Finds nodes by their full path (bytes, as PathBytes gives it). A folder's children are looked
// up through an index made the first time one of many is asked for, so that finding many entries
// of one big folder stays linear. The finder lives while the tree is unchanged.
class TPathFinder {
public:
    explicit TPathFinder(const TNodeTree &tree) : tree_(tree) {}
    NodeId Find(std::string_view path);

private:
    NodeId child(NodeId parent, std::string_view name);
    const TNodeTree &tree_;
    std::unordered_map<NodeId, std::unordered_map<std::string_view, NodeId>> index_;
};

} // namespace folvane
