#pragma once
// The ncdu JSON export format, written: major version 1, minor version 2, as the terminal
// analysers read it (ncdu -f, gdu -f).
//
// Each file carries both its sizes (asize, dsize), the identity of a file with several names
// (dev, ino, nlink, hlnkc) where the catalogue knows it, and its last write (mtime) where it has
// one; a folder not read carries read_error, a folder not walked the reason ncdu gives such a
// folder (excluded). Names keep their bytes, as the format allows: the one place where Folvane
// writes a name that is not UTF-8 as it is. A folder's own size is not written (a catalogue
// does not count it), so its total is its content's.

#include <cstdint>
#include <string>
#include <vector>

#include "catalog/NodeTree.h"

namespace folvane {

// Which nodes of a catalogue an export writes, by node number: 0 leaves a node out (with all
// below it), kAncestor writes a folder only as the way to what is selected below it, kWhole
// writes a node with everything below it. No selection writes the whole catalogue.
using NcduSelection = std::vector<std::uint8_t>;
inline constexpr std::uint8_t kAncestor = 1;
inline constexpr std::uint8_t kWhole = 2;

// The selection that holds the entries of a list (copies of catalogue entries, known by their
// paths) inside their ancestor folders: each entry found in `catalogue` with all below it. An
// entry that the catalogue no longer holds is left out.
NcduSelection SelectionOfList(const TNodeTree &catalogue, const TNodeTree &list);

// Writes the catalogue's first top-level node and what is below it (or the selection of it) to
// `path`, replacing the file only once the new one is complete. `timestamp` is the time the file
// says it was made (UTC seconds; now when not given). Throws std::runtime_error with the file and
// the reason, std::invalid_argument for a tree without nodes.
void WriteNcduJson(const TNodeTree &tree, const std::string &path, const NcduSelection *selection = nullptr,
                   std::int64_t timestamp = -1);

} // namespace folvane
