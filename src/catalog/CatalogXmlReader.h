#pragma once
// Folvane's own XML catalogue, read back (see CatalogFile.h for the whole).
//
// The document is what the XML export writes: a `fileinfo` root (with its `generated`
// attribute), one nested `file` element per entry, one attribute per field that has a value,
// named after the field. Anything else in it (another element, an attribute of no field, text
// between the elements, a document type) makes it no catalogue.
//
// Each field reads as the catalogue would hold it: a value that is what the record renders is
// held typed, another one is kept as written, as a field written with text keeps it. Sizes are
// whole numbers of bytes; a floating form written by older files ("1.5E+15") is taken rounded to
// the byte. Times are read in this machine's forms, the file not saying whose it is: a time that
// cannot be read leaves its field empty and is counted in the summary. Sizes, shares and counts
// stay as written (a list's folder keeps its total without its content), and the file records
// no size kind.
//
// A file whose root holds several entries, or one file (an export of a list), opens under one
// top folder named after the file.
//
// expat is the slowest part of reading; a large document is therefore cut in two (XmlSplit.h)
// and each part parsed and built on a thread of its own, the second part's entries joined below
// the folders the first part left open at the cut. expat keeps the nesting on its own stack (it
// does not recurse per element), and so does the building: no depth of folders exhausts a
// thread's stack.

#include <cstdint>
#include <optional>

#include "catalog/CatalogFile.h"
#include "catalog/CatalogSource.h"

namespace folvane::detail {

// Reads a Folvane XML catalogue from `source` into the empty `tree`. Answers nothing for the time
// it was made: the document does not record it. Throws TCatalogFileError.
std::optional<std::int64_t> ReadCatalogXml(TNodeTree &tree, TCatalogSource &source, const CatalogReadOptions &options,
                                           CatalogReadOutcome &outcome);

// From which size a document is read in two parts at once (32 MiB); tests lower it to read
// small documents that way too.
void SetXmlSplitThreshold(std::uint64_t bytes);

} // namespace folvane::detail
