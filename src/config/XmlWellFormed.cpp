#include "config/XmlWellFormed.h"

#include <expat.h>

#include <algorithm>
#include <climits>
#include <new>

#include "common/Utf8.h"

namespace folvane {

namespace {

// Stops the parse at a document type declaration (see the header). Stopping is the only way this
// check aborts a parse, so an aborted parse means a declaration was met.
void XMLCALL refuseDoctype(void *parser, const XML_Char *, const XML_Char *, const XML_Char *, int)
{
    XML_StopParser(static_cast<XML_Parser>(parser), XML_FALSE);
}

bool isContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

} // namespace

void TXmlWellFormedCheck::ParserFree::operator()(XML_ParserStruct *parser) const { XML_ParserFree(parser); }

TXmlWellFormedCheck::TXmlWellFormedCheck() : parser_(XML_ParserCreate(nullptr))
{
    if (!parser_)
        throw std::bad_alloc();
    XML_UseParserAsHandlerArg(parser_.get());
    XML_SetStartDoctypeDeclHandler(parser_.get(), &refuseDoctype);
}

TXmlWellFormedCheck::~TXmlWellFormedCheck() = default;

bool TXmlWellFormedCheck::Feed(std::string_view piece, bool last)
{
    if (fault_)
        return false;
    // expat takes an int length: a longer piece goes in slices.
    constexpr std::size_t kSlice = INT_MAX / 2;
    do {
        const std::size_t n = std::min(piece.size(), kSlice);
        const bool final = last && n == piece.size();
        if (XML_Parse(parser_.get(), piece.data(), int(n), final) != XML_STATUS_OK) {
            recordFault();
            return false;
        }
        piece.remove_prefix(n);
    } while (!piece.empty());
    return true;
}

void TXmlWellFormedCheck::recordFault()
{
    XML_Parser parser = parser_.get();
    const XML_Error code = XML_GetErrorCode(parser);
    TXmlFault fault;
    fault.reason = code == XML_ERROR_ABORTED ? "document type declaration not supported" : XML_ErrorString(code);
    fault.line = int(XML_GetCurrentLineNumber(parser));
    fault.column = int(XML_GetCurrentColumnNumber(parser)) + 1;
    // expat keeps some of the text before the current position (XML_CONTEXT_BYTES), so the
    // excerpt is there even when the fault lies at the start of a piece.
    int offset = 0, size = 0;
    if (const char *context = XML_GetInputContext(parser, &offset, &size); context && offset >= 0 && size >= 0)
        fault.excerpt = ExcerptAround(std::string_view(context, std::size_t(size)), std::size_t(offset));
    fault_ = std::move(fault);
}

std::optional<TXmlFault> FindXmlFault(std::string_view text)
{
    TXmlWellFormedCheck check;
    check.Feed(text, true);
    return check.Fault();
}

std::string ExcerptAround(std::string_view text, std::size_t at)
{
    constexpr std::size_t kSide = 30;
    at = std::min(at, text.size());
    std::size_t lineStart = 0;
    if (at > 0)
        if (std::size_t nl = text.rfind('\n', at - 1); nl != std::string_view::npos)
            lineStart = nl + 1;
    std::size_t lineEnd = std::min(text.find_first_of("\r\n", at), text.size());

    std::size_t start = std::max(lineStart, at > kSide ? at - kSide : 0);
    std::size_t end = std::min(lineEnd, at + kSide);
    // Cut between characters: drop the tail of a character begun before the start and the head
    // of one that the end would split.
    while (start > lineStart && start < end && isContinuationByte(text[start]))
        ++start;
    while (end < lineEnd && end > start && isContinuationByte(text[end]))
        --end;

    std::string excerpt = ValidUtf8(text.substr(start, end - start));
    for (char &c : excerpt)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    return (start > lineStart ? "..." : "") + excerpt + (end < lineEnd ? "..." : "");
}

} // namespace folvane
