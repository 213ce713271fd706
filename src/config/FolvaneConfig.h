#pragma once
// The configuration file FolvaneConfig.xml and its typed binding.
//
//   config (versionNo)
//     frame (max, left, top, height, width)  - carried, never interpreted
//       plLeft (width, col1, col2, col3)
//       plHint (height, col1, col2)
//     nodes                                  - one node per tree-grid column, in column order
//       node (Name, Visible, Index, DefaultExport, Width, ReadOnly, Align)
//     agerange                               - age class boundaries in days, ascending
//       item (label, value)
//     sizerange                              - size class boundaries in bytes, ascending
//       item (label, value)
//     scanoptions (DiskUsage, HardLinksOnce, OneFileSystem)  - the scan's choices; not in the
//       exclude (pattern)                    default text, added when missing; one exclude per pattern
//
// Bindings are light handles on elements of one document. The root binding (TXMLConfigType)
// shares ownership of the document; every other binding is valid only while a root binding of
// its document lives. Reads never fail on a missing piece: a missing child element is appended
// empty and a missing attribute is added empty (both are written by the next save). An empty or
// unconvertible integer or boolean fails its read with TConvertError; a text reads as it is.

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "catalog/ScanChoices.h"
#include "config/XmlDocument.h"

namespace folvane {

// The built-in configuration: written byte for byte when no file exists (one line, no line
// break at the end).
extern const std::string_view kDefaultConfigText;

// An integer or boolean attribute whose text cannot be read as its type.
class TConvertError : public std::runtime_error {
public:
    TConvertError(std::string element, std::string attribute, std::string text, const char *type);

    const std::string &ElementName() const { return element_; }
    const std::string &AttributeName() const { return attribute_; }
    const std::string &Text() const { return text_; }

private:
    std::string element_, attribute_, text_;
};

// Text conversions of the file. An integer is a decimal number (surrounding blanks allowed) that
// rounds to a 32-bit signed value: "1.0" reads as 1. A boolean is "True" or "False" in any case,
// or a number (zero is false). Empty text is neither.
std::optional<int> ParseConfigInt(std::string_view text);
std::optional<bool> ParseConfigBool(std::string_view text);
std::string FormatConfigBool(bool value); // "True" or "False"

// Base of the element bindings: typed access to the element's attributes and children.
class TXMLElementBinding {
public:
    TXMLElementBinding() = default;
    explicit TXMLElementBinding(TXmlElement element) : element_(element) {}

    TXmlElement Element() const { return element_; }

protected:
    std::string ReadText(std::string_view name) const;
    int ReadInt(std::string_view name) const;
    bool ReadBool(std::string_view name) const;
    void WriteText(std::string_view name, std::string_view value) const;
    void WriteInt(std::string_view name, int value) const;
    void WriteBool(std::string_view name, bool value) const;
    // The first child element of that name, appended empty when missing.
    TXmlElement Child(std::string_view name) const { return element_.ChildElement(name); }

    TXmlElement element_;
};

// Base of the collection bindings: the items are the child elements named by the item tag, in
// document order; any other child (a comment, a foreign element) is not an item.
class TXMLCollectionBinding : public TXMLElementBinding {
public:
    TXMLCollectionBinding(TXmlElement element, const char *itemTag)
        : TXMLElementBinding(element), itemTag_(itemTag)
    {
    }

    int Count() const;
    // Removes every item (other children stay).
    void Clear() const;
    // Removes the item at `index`; throws TXmlError when out of range.
    void Delete(int index) const;
    // Removes `item`; returns its former index, or -1 when it is not an item of this collection.
    int Remove(TXmlElement item) const;

protected:
    TXmlElement ItemElement(int index) const; // throws TXmlError when out of range
    TXmlElement AddItem() const;
    TXmlElement InsertItem(int index) const;  // index == Count() appends

private:
    const char *itemTag_;
};

class TXMLPlLeftType : public TXMLElementBinding {
public:
    using TXMLElementBinding::TXMLElementBinding;
    int Width() const { return ReadInt("width"); }
    int Col1() const { return ReadInt("col1"); }
    int Col2() const { return ReadInt("col2"); }
    int Col3() const { return ReadInt("col3"); }
    void SetWidth(int v) const { WriteInt("width", v); }
    void SetCol1(int v) const { WriteInt("col1", v); }
    void SetCol2(int v) const { WriteInt("col2", v); }
    void SetCol3(int v) const { WriteInt("col3", v); }
};

class TXMLPlHintType : public TXMLElementBinding {
public:
    using TXMLElementBinding::TXMLElementBinding;
    int Height() const { return ReadInt("height"); }
    int Col1() const { return ReadInt("col1"); }
    int Col2() const { return ReadInt("col2"); }
    void SetHeight(int v) const { WriteInt("height", v); }
    void SetCol1(int v) const { WriteInt("col1", v); }
    void SetCol2(int v) const { WriteInt("col2", v); }
};

class TXMLFrameType : public TXMLElementBinding {
public:
    using TXMLElementBinding::TXMLElementBinding;
    std::string Left() const { return ReadText("left"); }
    std::string Top() const { return ReadText("top"); }
    int Height() const { return ReadInt("height"); }
    int Width() const { return ReadInt("width"); }
    bool Max() const { return ReadBool("max"); }
    TXMLPlLeftType PlLeft() const { return TXMLPlLeftType(Child("plLeft")); }
    TXMLPlHintType PlHint() const { return TXMLPlHintType(Child("plHint")); }
    void SetLeft(std::string_view v) const { WriteText("left", v); }
    void SetTop(std::string_view v) const { WriteText("top", v); }
    void SetHeight(int v) const { WriteInt("height", v); }
    void SetWidth(int v) const { WriteInt("width", v); }
    void SetMax(bool v) const { WriteBool("max", v); }
};

// One tree-grid column: entry i of `nodes` is column i of every tree-grid.
class TXMLNodeType : public TXMLElementBinding {
public:
    using TXMLElementBinding::TXMLElementBinding;
    std::string Name() const { return ReadText("Name"); }
    bool DefaultExport() const { return ReadBool("DefaultExport"); }
    bool ReadOnly() const { return ReadBool("ReadOnly"); }
    std::string Align() const { return ReadText("Align"); }
    int Width() const { return ReadInt("Width"); }
    bool Visible() const { return ReadBool("Visible"); }
    int Index() const { return ReadInt("Index"); }
    void SetName(std::string_view v) const { WriteText("Name", v); }
    void SetDefaultExport(bool v) const { WriteBool("DefaultExport", v); }
    void SetReadOnly(bool v) const { WriteBool("ReadOnly", v); }
    void SetAlign(std::string_view v) const { WriteText("Align", v); }
    void SetWidth(int v) const { WriteInt("Width", v); }
    void SetVisible(bool v) const { WriteBool("Visible", v); }
    void SetIndex(int v) const { WriteInt("Index", v); }
};

class TXMLNodesType : public TXMLCollectionBinding {
public:
    explicit TXMLNodesType(TXmlElement element) : TXMLCollectionBinding(element, "node") {}
    TXMLNodeType Node(int index) const { return TXMLNodeType(ItemElement(index)); }
    TXMLNodeType Add() const { return TXMLNodeType(AddItem()); }
    TXMLNodeType Insert(int index) const { return TXMLNodeType(InsertItem(index)); }
};

// One class boundary: `value` (days or bytes) and the chart label of the class ending there.
class TXMLItemType : public TXMLElementBinding {
public:
    using TXMLElementBinding::TXMLElementBinding;
    std::string Label() const { return ReadText("label"); }
    int Value() const { return ReadInt("value"); }
    void SetLabel(std::string_view v) const { WriteText("label", v); }
    void SetValue(int v) const { WriteInt("value", v); }
};

// The items of `agerange` and `sizerange`.
class TXMLItemCollection : public TXMLCollectionBinding {
public:
    explicit TXMLItemCollection(TXmlElement element) : TXMLCollectionBinding(element, "item") {}
    TXMLItemType Item(int index) const { return TXMLItemType(ItemElement(index)); }
    TXMLItemType Add() const { return TXMLItemType(AddItem()); }
    TXMLItemType Insert(int index) const { return TXMLItemType(InsertItem(index)); }
};

class TXMLAgerangeType : public TXMLItemCollection {
public:
    using TXMLItemCollection::TXMLItemCollection;
};

class TXMLSizerangeType : public TXMLItemCollection {
public:
    using TXMLItemCollection::TXMLItemCollection;
};

// The scan's choices. Each flag reads as False while it is missing or empty, and is then written
// so; a flag that holds anything else but a boolean fails its read like any boolean.
class TXMLScanOptionsType : public TXMLCollectionBinding {
public:
    explicit TXMLScanOptionsType(TXmlElement element) : TXMLCollectionBinding(element, "exclude") {}
    bool DiskUsage() const { return readFlag("DiskUsage"); }
    bool HardLinksOnce() const { return readFlag("HardLinksOnce"); }
    bool OneFileSystem() const { return readFlag("OneFileSystem"); }
    std::string Pattern(int index) const { return ItemElement(index).Attribute("pattern"); }

    ScanChoices Choices() const;
    // Writes every choice; the exclude items are replaced by the choices' patterns, in order.
    void SetChoices(const ScanChoices &choices) const;

private:
    bool readFlag(std::string_view name) const;
};

// The root binding; it shares ownership of the document.
class TXMLConfigType : public TXMLElementBinding {
public:
    // Binds the document element, which must be `config`; throws TXmlError otherwise.
    explicit TXMLConfigType(std::shared_ptr<TXmlDocument> document);

    int VersionNo() const { return ReadInt("versionNo"); }
    TXMLFrameType Frame() const { return TXMLFrameType(Child("frame")); }
    TXMLNodesType Nodes() const { return TXMLNodesType(Child("nodes")); }
    TXMLAgerangeType Agerange() const { return TXMLAgerangeType(Child("agerange")); }
    TXMLSizerangeType Sizerange() const { return TXMLSizerangeType(Child("sizerange")); }
    TXMLScanOptionsType ScanOptions() const { return TXMLScanOptionsType(Child("scanoptions")); }
    void SetVersionNo(int v) const { WriteInt("versionNo", v); }

    // The saved form: the `config` element alone, no declaration, one line.
    std::string Xml() const { return element_.Serialize(); }

    TXmlDocument &Document() const { return *document_; }

private:
    std::shared_ptr<TXmlDocument> document_;
};

// The largest configuration file that is read: far above any real configuration (the default
// text is 2547 bytes), and small enough that a file which is not one is refused before it fills
// memory.
inline constexpr std::uint64_t kMaxConfigFileBytes = std::uint64_t(16) << 20;

// Parses the file at `path` and binds its root. Throws TXmlFileError when the file cannot be read
// or is not a regular file of at most kMaxConfigFileBytes, TXmlParseError when it is not
// well-formed, TXmlError when its root is not `config`.
std::shared_ptr<TXMLConfigType> LoadConfig(const std::string &path);
// The same from a text held in memory.
std::shared_ptr<TXMLConfigType> ConfigFromText(std::string text);

} // namespace folvane
