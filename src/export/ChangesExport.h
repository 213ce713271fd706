#pragma once
// The Changes list of a comparison written as CSV and as an HTML page, with the list's own
// columns: "Path" (below the top folder), "Status" ("new", "gone", "grown", "shrunk"), "Size
// then", "Size now" and "Change" (whole bytes; the change signed). Rows in the order given.
//
// Like the other exports, each command asks for its file, shows the progress window while it
// writes, and replaces an existing file only once the new one is complete.

#include <functional>
#include <string>

#include "catalog/CatalogCompare.h"

namespace folvane {

// The bytes of each file (lines end in CR LF, as the text exports' do).
std::string ChangesCsv(const TComparison &comparison, const TNodeTree &then, const TNodeTree &now);
std::string ChangesPage(const TComparison &comparison, const TNodeTree &then, const TNodeTree &now,
                        const std::string &title);

enum class ChangesFormat { Csv, Html };

// An export command in two steps, as the catalogue's exports have them. This first one, on the
// UI thread, is handed a copy of the rows as shown and the title. It returns the writing step,
// which reads only those and the two catalogues (which must stay unchanged until it has run), so
// it may run on a worker: it asks for the file, writes it and reports its end ("Export Finished",
// or which file could not be written and why; an existing file keeps its old content).
std::function<void()> PrepareChangesExport(ChangesFormat format, TComparison shown, const TNodeTree &then,
                                           const TNodeTree &now, std::string title);

} // namespace folvane
