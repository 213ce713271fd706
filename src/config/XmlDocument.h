#pragma once
// The XML document layer shared by the configuration file and the catalogue document.
//
// A TXmlDocument owns one parsed document; a TXmlElement is a light handle to one element of it,
// valid while its document lives (copying a handle never copies the element). Text is UTF-8
// throughout. Every failure (a parse error, a file that cannot be read or written, a missing
// root element, an item index out of range) is thrown as a TXmlError.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include <pugixml.hpp>

namespace folvane {

class TXmlError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A text that is not well-formed XML. what() reads
// "<source>: <reason> at line <n>, column <c>: <excerpt>".
class TXmlParseError : public TXmlError {
public:
    TXmlParseError(std::string source, std::string reason, int line, int column, std::string excerpt);

    const std::string &Source() const { return source_; }   // the file path, or "XML text"
    const std::string &Reason() const { return reason_; }   // the parser's own words
    int Line() const { return line_; }                       // 1-based
    int Column() const { return column_; }                   // 1-based, in characters
    const std::string &Excerpt() const { return excerpt_; } // the text around the fault

private:
    std::string source_, reason_;
    int line_, column_;
    std::string excerpt_;
};

// A file that cannot be read, or is not a regular file of an acceptable size. what() reads
// "Cannot read \"<source>\": <reason>".
class TXmlFileError : public TXmlError {
public:
    TXmlFileError(std::string source, std::string reason);

    const std::string &Source() const { return source_; }
    const std::string &Reason() const { return reason_; } // the system's reason, or what the file is

private:
    std::string source_, reason_;
};

class TXmlElement {
public:
    TXmlElement() = default;
    explicit TXmlElement(pugi::xml_node node) : node_(node) {}

    explicit operator bool() const { return bool(node_); }
    bool operator==(const TXmlElement &other) const { return node_ == other.node_; }

    std::string NodeName() const { return node_.name(); }

    // The first child element named `name`; when there is none, a new empty element of that name
    // is appended as the last child and returned.
    TXmlElement ChildElement(std::string_view name) const;
    // The first child element named `name`, or a null handle; never changes the document.
    TXmlElement FindChild(std::string_view name) const;

    // Child elements in document order (comments, text and other nodes are not counted).
    // ChildAt walks from the first child: to visit all children use FirstChild/NextSibling.
    int ChildCount() const;
    TXmlElement ChildAt(int index) const; // throws TXmlError when out of range
    std::string ChildName(int index) const { return ChildAt(index).NodeName(); }
    TXmlElement FirstChild() const { return TXmlElement(node_.find_child(isElement)); }
    TXmlElement NextSibling() const;
    void RemoveAllChildren() const;
    // Removes one child element; false when `child` is not a child of this element.
    bool RemoveChild(TXmlElement child) const;

    // True when the element has any child node at all (element, text, comment, ...).
    bool HasChildNodes() const { return bool(node_.first_child()); }

    // A new empty element added as the last child, or inserted before `before`.
    TXmlElement AppendChild(std::string_view name) const;
    TXmlElement InsertChildBefore(std::string_view name, TXmlElement before) const;

    bool HasAttribute(std::string_view name) const { return bool(findAttribute(name)); }
    // The attribute's text; "" when it is missing (the document is not changed).
    std::string Attribute(std::string_view name) const;
    // The same without a copy: valid until the attribute or its element is changed or freed.
    const char *AttributeText(std::string_view name) const;
    // The attribute's text; a missing attribute is first added with an empty value. This is how
    // the configuration binding reads, so that a later save writes the attribute out.
    std::string ReadAttributeAddingMissing(std::string_view name) const;
    // Adds the attribute when missing, else replaces its text. Markup is escaped on output.
    void SetAttribute(std::string_view name, std::string_view value) const;

    // The element and everything below it as text: no XML declaration, no indentation added.
    std::string Serialize() const;

    pugi::xml_node Node() const { return node_; }

private:
    static bool isElement(pugi::xml_node n) { return n.type() == pugi::node_element; }
    pugi::xml_attribute findAttribute(std::string_view name) const;

    // A handle: changing the element through a const handle is fine, the handle itself never changes.
    mutable pugi::xml_node node_;
};

class TXmlDocument {
public:
    TXmlDocument();
    TXmlDocument(const TXmlDocument &) = delete;
    TXmlDocument &operator=(const TXmlDocument &) = delete;

    // Parses the whole file at once, without validation; whitespace-only text between elements is
    // dropped. Only a regular file (or a link to one) of at most `maxBytes` is read: the file is
    // opened without blocking and what was opened is checked before anything is read, so that a
    // named pipe, a device such as /dev/zero or a folder is refused at once. Throws TXmlFileError
    // when the file cannot be read or is refused, TXmlParseError when it is not well-formed
    // (checked strictly, see XmlWellFormed.h). The document is then active.
    void LoadFromFile(const std::string &path, std::uint64_t maxBytes);
    static std::shared_ptr<TXmlDocument> FromFile(const std::string &path, std::uint64_t maxBytes);

    // Replaces the document's text; nothing of the previous content survives. The document is
    // inactive until its next use (DocumentElement, Xml, SaveToFile), which parses the new text
    // and throws TXmlParseError when it is not well-formed (checked as for a file).
    void SetXml(std::string text);
    bool Active() const { return active_; }

    // The document element; throws TXmlError when the document has none.
    TXmlElement DocumentElement();

    // The whole document as text, beginning with the declaration its text carried (pugixml's
    // default declaration when it carried none); no indentation is added.
    std::string Xml();
    // Writes Xml() to `path` in UTF-8. The file is replaced only once the new text is completely
    // written; a failure leaves any old file whole.
    void SaveToFile(const std::string &path);

    // 1-based line of the element's start tag in the text the document was parsed from; 0 when
    // unknown (the element was added after parsing).
    int LineOf(TXmlElement element) const;

private:
    void activate();
    void parse(std::string text, const std::string &source);

    pugi::xml_document doc_;
    std::string pending_; // text set but not parsed yet
    bool active_ = true;  // false while pending_ waits to be parsed
    std::string source_;  // text the document was parsed from, for line numbers
};

// Whether a NUL-terminated name equals `name`, without measuring it first.
inline bool NameIs(const char *text, std::string_view name)
{
    for (char c : name)
        if (*text++ != c)
            return false;
    return *text == 0;
}

// The 1-based line of a byte offset in a text.
int LineOfOffset(std::string_view text, std::ptrdiff_t offset);

} // namespace folvane
