#pragma once
// Where a large XML document can be cut in two, so that two parsers can read it at once.
//
// A quick pass over the document's first part follows its markup (tags, with quoted attribute
// values, comments, processing instructions, CDATA sections), not its meaning, and stops at the
// first start tag at or after a target offset that lies inside the root element. The second
// parser then reads from there, preceded by the start tags of the elements open at that point,
// copied from the document: it sees the same nesting and names as the first one, and reports
// the end tags of those elements when they come.
//
// The pass only finds the place; both parsers still check every byte of their part, so a
// document that is not well-formed is refused either way. It declines (no cut) where a cut would
// change the meaning: a document type declaration, an encoding other than UTF-8, or markup it
// cannot follow within a bounded length.

#include <cstdint>
#include <string>

namespace folvane {

struct TXmlCut {
    std::uint64_t at = 0; // the offset of the start tag the second part begins with; 0: no cut
    std::string openTags; // the start tags open at that point, outermost first, as written
};

// Looks for a cut at or after `target` in the file at `path`; no cut when the file cannot be read.
TXmlCut FindXmlCut(const std::string &path, std::uint64_t target);

} // namespace folvane
