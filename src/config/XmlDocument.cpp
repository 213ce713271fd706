#include "config/XmlDocument.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <sstream>

#include "common/SafeFile.h"

namespace folvane {

namespace {

// Names cross pugixml (which wants NUL-terminated names) as std::string.
std::string z(std::string_view s) { return std::string(s); }

// Keeps the declaration node so that a save writes the declaration the text carried, and keeps
// comments and processing instructions so that a save does not lose them; otherwise pugixml's
// default: no validation, whitespace-only text between elements dropped.
constexpr unsigned kParseOptions =
    pugi::parse_default | pugi::parse_declaration | pugi::parse_comments | pugi::parse_pi;

std::string describeParseError(const std::string &source, const std::string &reason, int line,
                               const std::string &lineText)
{
    std::string text = source + ": " + reason + " at line " + std::to_string(line);
    if (!lineText.empty())
        text += ": " + lineText;
    return text;
}

} // namespace

TXmlParseError::TXmlParseError(std::string source, std::string reason, int line, std::string lineText)
    : TXmlError(describeParseError(source, reason, line, lineText)), source_(std::move(source)),
      reason_(std::move(reason)), line_(line), lineText_(std::move(lineText))
{
}

int LineOfOffset(std::string_view text, std::ptrdiff_t offset)
{
    auto end = std::size_t(std::clamp<std::ptrdiff_t>(offset, 0, std::ptrdiff_t(text.size())));
    return 1 + int(std::count(text.begin(), text.begin() + std::ptrdiff_t(end), '\n'));
}

std::string LineTextAt(std::string_view text, std::ptrdiff_t offset)
{
    auto at = std::size_t(std::clamp<std::ptrdiff_t>(offset, 0, std::ptrdiff_t(text.size())));
    std::size_t start = 0;
    if (at > 0)
        if (std::size_t nl = text.rfind('\n', at - 1); nl != std::string_view::npos)
            start = nl + 1;
    std::size_t stop = text.find('\n', start);
    std::string_view line = text.substr(start, stop == std::string_view::npos ? std::string_view::npos : stop - start);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return std::string(line.substr(0, 80));
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
    pugi::xml_parse_result result =
        doc_.load_buffer(source_.data(), source_.size(), kParseOptions, pugi::encoding_auto);
    if (!result) {
        doc_.reset();
        throw TXmlParseError(source, result.description(), LineOfOffset(source_, result.offset),
                             LineTextAt(source_, result.offset));
    }
    // pugixml accepts a sequence of top-level elements; a document has exactly one root element.
    // (Stray text at the top level is dropped by the parser and not reported.)
    bool haveRoot = false;
    for (pugi::xml_node n = doc_.first_child(); n; n = n.next_sibling()) {
        if (n.type() != pugi::node_element)
            continue;
        if (haveRoot) {
            std::ptrdiff_t offset = n.offset_debug();
            doc_.reset();
            throw TXmlParseError(source, "Multiple root elements", LineOfOffset(source_, offset),
                                 LineTextAt(source_, offset));
        }
        haveRoot = true;
    }
}

void TXmlDocument::LoadFromFile(const std::string &path)
{
    std::string text;
    {
        std::unique_ptr<std::FILE, int (*)(std::FILE *)> in(std::fopen(path.c_str(), "rb"), &std::fclose);
        if (!in)
            throw TXmlError("Cannot read \"" + path + "\": " + std::strerror(errno));
        char buffer[1 << 14];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, in.get())) > 0)
            text.append(buffer, n);
        if (std::ferror(in.get()))
            throw TXmlError("Cannot read \"" + path + "\": " + std::strerror(errno));
    }
    pending_.clear();
    active_ = true;
    parse(std::move(text), path);
}

std::shared_ptr<TXmlDocument> TXmlDocument::FromFile(const std::string &path)
{
    auto doc = std::make_shared<TXmlDocument>();
    doc->LoadFromFile(path);
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
