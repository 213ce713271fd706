#pragma once
// The ncdu JSON export format, read as a catalogue (see CatalogFile.h for the whole).
//
// The file is one array: major version (1), minor version (0, 1 and 2 are known; a later minor
// version only adds keys), an object of metadata, then the top folder. A folder is an array
// whose first element is the folder's own object, followed by its entries: objects for files,
// arrays for folders. An entry's keys:
//   name        the entry's one name (the top folder's is a full path); bytes, not necessarily UTF-8
//   asize dsize apparent size and disk usage; the two sizes of a file (a folder's own is not
//               counted, as in a scan)
//   dev         device, inherited by the entries below a folder that gives none
//   ino nlink hlnkc  the identity of a file with several names, for the hard-link rule
//   read_error  a folder that could not be listed, or an entry whose status could not be read
//   excluded    "pattern" (left out, as the scan leaves out what its patterns match), "otherfs",
//               "kernfs", "frmlnk" (a folder not walked)
//   notreg      not a regular file: a file of the size given
//   mtime       the last write (only with the extended mode); without it the times stay empty
// Keys the format does not know are ignored, as the format asks of readers.
//
// The walk over the nesting keeps its own stack, so no depth of folders can exhaust the
// thread's stack; each folder's entries are handed to it in one step once its array closes
// (TNodeTree::AdoptChildren).

#include <cstdint>
#include <optional>

#include "catalog/CatalogFile.h"
#include "catalog/CatalogSource.h"

namespace folvane::detail {

// Reads an ncdu JSON export from `source` into the empty `tree`, and fills in sizes, shares and
// counts with the size kind and hard-link choice of `options`. Answers the time the file says it
// was made (its metadata's "timestamp", UTC seconds), if it says. Throws TCatalogFileError.
std::optional<std::int64_t> ReadNcduJson(TNodeTree &tree, TCatalogSource &source, const CatalogReadOptions &options,
                                         CatalogReadOutcome &outcome);

} // namespace folvane::detail
