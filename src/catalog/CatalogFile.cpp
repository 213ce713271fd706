#include "catalog/CatalogFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <optional>

#include "catalog/CatalogNotes.h"
#include "catalog/CatalogSource.h"
#include "catalog/CatalogXmlReader.h"
#include "catalog/NcduJsonReader.h"

namespace folvane {

namespace {

std::string errorText(const std::string &file, const std::string &reason, std::uint64_t line, std::uint64_t column)
{
    std::string text = "\"" + file + "\"";
    if (line > 0) {
        text += ", line " + std::to_string(line);
        if (column > 0)
            text += ", column " + std::to_string(column);
    }
    return text + ": " + reason;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string_view skipBlanks(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    return s;
}

std::string_view withoutByteOrderMark(std::string_view s)
{
    return s.starts_with("\xEF\xBB\xBF") ? s.substr(3) : s;
}

// "[1," after blanks: a JSON array that starts with major version 1.
bool startsWithMajorVersionOne(std::string_view s)
{
    s = skipBlanks(s);
    if (!s.starts_with('['))
        return false;
    s = skipBlanks(s.substr(1));
    if (!s.starts_with('1'))
        return false;
    s = skipBlanks(s.substr(1));
    return s.starts_with(',');
}

// The name of the first element after the prolog (declaration, comments, processing
// instructions, blanks); empty when there is none within `s` or a document type comes first.
std::string_view rootElementName(std::string_view s)
{
    for (;;) {
        s = skipBlanks(s);
        if (s.starts_with("<?") || s.starts_with("<!--")) {
            const std::string_view close = s.starts_with("<?") ? "?>" : "-->";
            const std::size_t end = s.find(close);
            if (end == std::string_view::npos)
                return {};
            s.remove_prefix(end + close.size());
            continue;
        }
        if (!s.starts_with('<') || s.size() < 2 || s[1] == '!')
            return {};
        s.remove_prefix(1);
        const std::size_t end = s.find_first_of(" \t\r\n/>");
        return end == std::string_view::npos ? std::string_view() : s.substr(0, end);
    }
}

} // namespace

TCatalogFileError::TCatalogFileError(std::string file, std::string reason, std::uint64_t line, std::uint64_t column)
    : std::runtime_error(errorText(file, reason, line, column)), file_(std::move(file)), reason_(std::move(reason)),
      line_(line), column_(column)
{
}

CatalogFormat RecognizeCatalogue(std::string_view head)
{
    head = withoutByteOrderMark(head);
    if (startsWithMajorVersionOne(head))
        return CatalogFormat::NcduJson;
    if (rootElementName(head) == "fileinfo")
        return CatalogFormat::Xml;
    return CatalogFormat::None;
}

CatalogFormat RecognizeCatalogueFile(const std::string &path)
{
    // Without blocking: a named pipe dropped on the window must not hang it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return CatalogFormat::None;
    struct stat st {};
    char head[8192];
    ssize_t got = -1;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        got = ::read(fd, head, sizeof head);
    ::close(fd);
    return got > 0 ? RecognizeCatalogue(std::string_view(head, std::size_t(got))) : CatalogFormat::None;
}

CatalogReadOutcome ReadCatalogFile(TNodeTree &tree, const std::string &path, const CatalogReadOptions &options)
{
    tree.Clear();
    TCatalogSource source(path);
    const std::string_view start = skipBlanks(withoutByteOrderMark(source.Head()));
    CatalogReadOutcome outcome;
    std::optional<std::int64_t> madeUtc; // when the file says it was made
    try {
        // The first character tells the format; each reader then holds the file to all of its rules.
        if (start.starts_with('[')) {
            outcome.format = CatalogFormat::NcduJson;
            madeUtc = detail::ReadNcduJson(tree, source, options, outcome);
        } else if (start.starts_with('<') || source.Head().starts_with("\xFF\xFE") ||
                   source.Head().starts_with("\xFE\xFF")) {
            outcome.format = CatalogFormat::Xml;
            madeUtc = detail::ReadCatalogXml(tree, source, options, outcome);
        } else {
            throw TCatalogFileError(path, source.Head().empty()
                                              ? "the file is empty"
                                              : "not a catalogue: neither a Folvane XML catalogue nor an ncdu JSON "
                                                "export");
        }
    } catch (...) {
        tree.Clear();
        throw;
    }
    if (outcome.cancelled) {
        tree.Clear();
        return outcome;
    }
    TScanSummary &summary = tree.Notes().summary;
    summary.catalogueFile = path;
    summary.made = ToLocalSeconds(madeUtc.value_or(source.ModifiedUtc()));
    outcome.entries = tree.NodeCount() ? tree.NodeCount() - 1 : 0;
    if (NodeId top = tree.First(); top != kNoNode)
        tree.SetExpanded(top, true);
    return outcome;
}

} // namespace folvane
