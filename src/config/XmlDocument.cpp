#include "config/XmlDocument.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sstream>

#include "common/SafeFile.h"
#include "common/Utf8.h"
#include "config/XmlWellFormed.h"

namespace folvane {

namespace {

// Names cross pugixml (which wants NUL-terminated names) as std::string.
std::string z(std::string_view s) { return std::string(s); }

// Keeps the declaration node so that a save writes the declaration the text carried, and keeps
// comments and processing instructions so that a save does not lose them; otherwise pugixml's
// default: no validation, whitespace-only text between elements dropped.
constexpr unsigned kParseOptions =
    pugi::parse_default | pugi::parse_declaration | pugi::parse_comments | pugi::parse_pi;

std::string describeParseError(const std::string &source, const std::string &reason, int line, int column,
                               const std::string &excerpt)
{
    std::string text = source + ": " + reason + " at line " + std::to_string(line) + ", column " +
                       std::to_string(column);
    if (!excerpt.empty())
        text += ": " + excerpt;
    return text;
}

// 1-based column, in characters, of a byte offset within its line.
int columnOfOffset(std::string_view text, std::size_t offset)
{
    offset = std::min(offset, text.size());
    std::size_t lineStart = offset == 0 ? std::string_view::npos : text.rfind('\n', offset - 1);
    lineStart = lineStart == std::string_view::npos ? 0 : lineStart + 1;
    return 1 + int(CodePointCount(text.substr(lineStart, offset - lineStart)));
}

std::string describeFileKind(mode_t mode)
{
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISFIFO(mode))
        return "a named pipe (FIFO)";
    if (S_ISCHR(mode))
        return "a character device";
    if (S_ISBLK(mode))
        return "a block device";
    if (S_ISSOCK(mode))
        return "a socket";
    return "a special file";
}

std::string describeSizeLimit(std::uint64_t maxBytes)
{
    constexpr std::uint64_t kMiB = 1 << 20;
    return maxBytes % kMiB == 0 ? std::to_string(maxBytes / kMiB) + " MiB" : std::to_string(maxBytes) + " bytes";
}

class FdCloser {
public:
    explicit FdCloser(int fd) : fd_(fd) {}
    ~FdCloser() { ::close(fd_); }
    FdCloser(const FdCloser &) = delete;
    FdCloser &operator=(const FdCloser &) = delete;

private:
    int fd_;
};

// The whole content of a regular file of at most `maxBytes`. The file is opened without blocking
// (a named pipe would otherwise wait for a writer for ever) and what was opened is checked before
// anything is read (a device such as /dev/zero never ends): only a regular file is read, and no
// more than `maxBytes` of it, however its size changes meanwhile.
std::string readRegularFile(const std::string &path, std::uint64_t maxBytes)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        throw TXmlFileError(path, std::strerror(errno));
    FdCloser closer(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        throw TXmlFileError(path, std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        throw TXmlFileError(path, describeFileKind(st.st_mode) + ", not a regular file");
    const std::string tooLarge = "larger than " + describeSizeLimit(maxBytes);
    if (std::uint64_t(st.st_size) > maxBytes)
        throw TXmlFileError(path, tooLarge + " (" + std::to_string(st.st_size) + " bytes)");

    std::string text;
    text.reserve(std::size_t(st.st_size));
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw TXmlFileError(path, std::strerror(errno));
        if (n == 0)
            return text;
        if (text.size() + std::size_t(n) > maxBytes)
            throw TXmlFileError(path, tooLarge); // it grew while being read
        text.append(buffer, std::size_t(n));
    }
}

} // namespace

TXmlParseError::TXmlParseError(std::string source, std::string reason, int line, int column, std::string excerpt)
    : TXmlError(describeParseError(source, reason, line, column, excerpt)), source_(std::move(source)),
      reason_(std::move(reason)), line_(line), column_(column), excerpt_(std::move(excerpt))
{
}

TXmlFileError::TXmlFileError(std::string source, std::string reason)
    : TXmlError("Cannot read \"" + source + "\": " + reason), source_(std::move(source)), reason_(std::move(reason))
{
}

int LineOfOffset(std::string_view text, std::ptrdiff_t offset)
{
    auto end = std::size_t(std::clamp<std::ptrdiff_t>(offset, 0, std::ptrdiff_t(text.size())));
    return 1 + int(std::count(text.begin(), text.begin() + std::ptrdiff_t(end), '\n'));
}

// --- TXmlElement ---------------------------------------------------------------------------------

pugi::xml_attribute TXmlElement::findAttribute(std::string_view name) const
{
    for (pugi::xml_attribute a = node_.first_attribute(); a; a = a.next_attribute())
        if (NameIs(a.name(), name))
            return a;
    return {};
}

TXmlElement TXmlElement::FindChild(std::string_view name) const
{
    for (pugi::xml_node n = node_.first_child(); n; n = n.next_sibling())
        if (n.type() == pugi::node_element && NameIs(n.name(), name))
            return TXmlElement(n);
    return {};
}

TXmlElement TXmlElement::ChildElement(std::string_view name) const
{
    if (TXmlElement found = FindChild(name))
        return found;
    return AppendChild(name);
}

int TXmlElement::ChildCount() const
{
    int count = 0;
    for (pugi::xml_node n = node_.first_child(); n; n = n.next_sibling())
        count += isElement(n);
    return count;
}

TXmlElement TXmlElement::ChildAt(int index) const
{
    if (index >= 0) {
        int i = 0;
        for (pugi::xml_node n = node_.first_child(); n; n = n.next_sibling())
            if (isElement(n) && i++ == index)
                return TXmlElement(n);
    }
    throw TXmlError("Child index " + std::to_string(index) + " out of range in element \"" + NodeName() + "\"");
}

TXmlElement TXmlElement::NextSibling() const
{
    for (pugi::xml_node n = node_.next_sibling(); n; n = n.next_sibling())
        if (isElement(n))
            return TXmlElement(n);
    return {};
}

void TXmlElement::RemoveAllChildren() const
{
    while (pugi::xml_node n = node_.first_child())
        node_.remove_child(n);
}

bool TXmlElement::RemoveChild(TXmlElement child) const
{
    if (!child || child.node_.parent() != node_)
        return false;
    return node_.remove_child(child.node_);
}

TXmlElement TXmlElement::AppendChild(std::string_view name) const
{
    pugi::xml_node n = node_.append_child(z(name).c_str());
    if (!n)
        throw TXmlError("Cannot add element \"" + z(name) + "\" to \"" + NodeName() + "\"");
    return TXmlElement(n);
}

TXmlElement TXmlElement::InsertChildBefore(std::string_view name, TXmlElement before) const
{
    pugi::xml_node n = before ? node_.insert_child_before(z(name).c_str(), before.node_)
                              : node_.append_child(z(name).c_str());
    if (!n)
        throw TXmlError("Cannot add element \"" + z(name) + "\" to \"" + NodeName() + "\"");
    return TXmlElement(n);
}

std::string TXmlElement::Attribute(std::string_view name) const
{
    return findAttribute(name).value();
}

const char *TXmlElement::AttributeText(std::string_view name) const
{
    return findAttribute(name).value();
}

std::string TXmlElement::ReadAttributeAddingMissing(std::string_view name) const
{
    if (pugi::xml_attribute a = findAttribute(name))
        return a.value();
    if (!node_.append_attribute(z(name).c_str()))
        throw TXmlError("Cannot add attribute \"" + z(name) + "\" to \"" + NodeName() + "\"");
    return {};
}

void TXmlElement::SetAttribute(std::string_view name, std::string_view value) const
{
    pugi::xml_attribute a = findAttribute(name);
    if (!a)
        a = node_.append_attribute(z(name).c_str());
    if (!a || !a.set_value(value.data(), value.size()))
        throw TXmlError("Cannot set attribute \"" + z(name) + "\" of \"" + NodeName() + "\"");
}

std::string TXmlElement::Serialize() const
{
    std::ostringstream out;
    node_.print(out, "", pugi::format_raw, pugi::encoding_utf8);
    return std::move(out).str();
}

// --- TXmlDocument --------------------------------------------------------------------------------

TXmlDocument::TXmlDocument() = default;

void TXmlDocument::parse(std::string text, const std::string &source)
{
    doc_.reset();
    source_ = std::move(text);
    // pugixml accepts much that is not XML (see XmlWellFormed.h); a strict check comes first, so
    // that nothing is loaded that a later save would silently drop or rewrite.
    if (std::optional<TXmlFault> fault = FindXmlFault(source_))
        throw TXmlParseError(source, fault->reason, fault->line, fault->column, fault->excerpt);
    pugi::xml_parse_result result =
        doc_.load_buffer(source_.data(), source_.size(), kParseOptions, pugi::encoding_auto);
    if (!result) {
        doc_.reset();
        const auto offset = std::size_t(std::max<std::ptrdiff_t>(result.offset, 0));
        throw TXmlParseError(source, result.description(), LineOfOffset(source_, result.offset),
                             columnOfOffset(source_, offset), ExcerptAround(source_, offset));
    }
}

void TXmlDocument::LoadFromFile(const std::string &path, std::uint64_t maxBytes)
{
    std::string text = readRegularFile(path, maxBytes);
    pending_.clear();
    active_ = true;
    parse(std::move(text), path);
}

std::shared_ptr<TXmlDocument> TXmlDocument::FromFile(const std::string &path, std::uint64_t maxBytes)
{
    auto doc = std::make_shared<TXmlDocument>();
    doc->LoadFromFile(path, maxBytes);
    return doc;
}

void TXmlDocument::SetXml(std::string text)
{
    doc_.reset();
    source_.clear();
    pending_ = std::move(text);
    active_ = false;
}

void TXmlDocument::activate()
{
    if (active_)
        return;
    parse(pending_, "XML text"); // throws and stays inactive when the text is not well-formed
    pending_.clear();
    active_ = true;
}

TXmlElement TXmlDocument::DocumentElement()
{
    activate();
    pugi::xml_node root = doc_.document_element();
    if (!root)
        throw TXmlError("The XML document has no root element");
    return TXmlElement(root);
}

std::string TXmlDocument::Xml()
{
    activate();
    std::ostringstream out;
    doc_.save(out, "", pugi::format_raw, pugi::encoding_utf8);
    return std::move(out).str();
}

void TXmlDocument::SaveToFile(const std::string &path)
{
    std::string text = Xml();
    try {
        WriteFileAtomically(path, text);
    } catch (const TXmlError &) {
        throw;
    } catch (const std::exception &e) {
        throw TXmlError(e.what());
    }
}

int TXmlDocument::LineOf(TXmlElement element) const
{
    std::ptrdiff_t offset = element.Node().offset_debug();
    if (offset < 0 || source_.empty())
        return 0;
    return LineOfOffset(source_, offset);
}

} // namespace folvane
