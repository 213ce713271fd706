#pragma once
// A strict check that a text is well-formed XML, fed in pieces so that a file can be checked as
// it is read.
//
// The document layer parses with pugixml, which is lenient by design: it accepts content after
// the root element, text before it, duplicate attributes, a bare "&" or "<", undefined entities
// and a declaration in the wrong place, and a later save silently drops or rewrites what it did
// not understand. This check runs expat first: a conforming, strict, streaming parser that says
// where it stopped by line and column. A document type declaration is refused as well: none of
// our files carries one, and pugixml would ignore the entities it declares, so a document that
// used them would load with other text than it holds.
//
// A fault carries expat's reason, the 1-based line and column (in characters) and a short
// excerpt of the text around it; the files this checks are often one long line, where the line
// number alone points nowhere.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct XML_ParserStruct; // expat's parser; its header stays out of ours

namespace folvane {

struct TXmlFault {
    std::string reason;  // the parser's own words
    int line = 0;        // 1-based
    int column = 0;      // 1-based, counted in characters
    std::string excerpt; // the text around the fault, within its line (see ExcerptAround)
};

class TXmlWellFormedCheck {
public:
    TXmlWellFormedCheck();
    ~TXmlWellFormedCheck();
    TXmlWellFormedCheck(const TXmlWellFormedCheck &) = delete;
    TXmlWellFormedCheck &operator=(const TXmlWellFormedCheck &) = delete;

    // Checks the next piece of the text; `last` marks the final piece (which may be empty).
    // Returns false once the text is known not to be well-formed; Fault() then says where and
    // why, and later pieces are ignored. A text is well-formed when every piece up to the last
    // returned true.
    bool Feed(std::string_view piece, bool last);
    const std::optional<TXmlFault> &Fault() const { return fault_; }

private:
    struct ParserFree {
        void operator()(XML_ParserStruct *parser) const;
    };
    void recordFault();

    std::unique_ptr<XML_ParserStruct, ParserFree> parser_;
    std::optional<TXmlFault> fault_;
};

// The fault of a whole text held in memory, or nothing when it is well-formed.
std::optional<TXmlFault> FindXmlFault(std::string_view text);

// A short excerpt of `text` around the byte at `at`, for a message: up to 30 bytes on each side,
// within the line that holds `at`, never cutting a character in two, with "..." where the line
// goes on. Control characters show as blanks and invalid UTF-8 as U+FFFD.
std::string ExcerptAround(std::string_view text, std::size_t at);

} // namespace folvane
