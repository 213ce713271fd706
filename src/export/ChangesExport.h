#pragma once
// The Changes list of a comparison written as CSV and as an HTML page, with the list's own
// columns: "Path" (below the top folder), "Status" ("new", "gone", "grown", "shrunk"), "Size
// then", "Size now" and "Change" (whole bytes; the change signed). Rows in the order given.
//
// Like the other exports, each command asks for its file, shows the progress window while it
// writes, and replaces an existing file only once the new one is complete.

#include <string>

#include "catalog/CatalogCompare.h"

namespace folvane {

// The bytes of each file (lines end in CR LF, as the text exports' do).
std::string ChangesCsv(const TComparison &comparison, const TNodeTree &then, const TNodeTree &now);
std::string ChangesPage(const TComparison &comparison, const TNodeTree &then, const TNodeTree &now,
                        const std::string &title);

// The export commands: false when the file prompt was cancelled. Throws when the file cannot be written.
bool ExportChangesCsv(const TComparison &comparison, const TNodeTree &then, const TNodeTree &now);
bool ExportChangesHtml(const TComparison &comparison, const TNodeTree &then, const TNodeTree &now,
                       const std::string &title);

} // namespace folvane
