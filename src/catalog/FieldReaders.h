#pragma once
// Typed readers of a record's fields: what a field's text stands for, read from the typed record.
//
// A node stores typed values and renders each field's text on demand; a text written into a
// field that is not its rendered form is kept as written (FileNodeData.h). The rules that read a
// field's text (CompareNumericText, CompareDateText, the size and age classes, the roll-up's size
// parsing) are stated on texts. Each reader here gives the value that rule would read from
// TNodeTree::Field, without formatting a typed value only to parse it back, and each has one
// behaviour for a field that is empty or holds a written text that does not read as its kind.
// The sort, the statistics, the roll-up, the lists, the charts and the cells read through here.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "catalog/NodeTree.h"
#include "common/uFunction.h"

namespace folvane {

// The text of a field as TNodeTree::Field gives it, without building a string where the record
// holds it as bytes. The view lives while the tree is unchanged and `scratch` is untouched. Empty
// when the field is.
std::string_view FieldText(const TNodeTree &tree, NodeId node, int field, std::string &scratch);

// FullPath as the file system knows it: a written text as written, else the path's bytes (not
// necessarily UTF-8); empty when the field is.
std::string PathBytesOf(const TNodeTree &tree, NodeId node);

// FileType as the sort looks at it: its text with leading and trailing blanks removed.
std::string_view KindText(const TNodeTree &tree, NodeId node);
// FileType exactly "folder", exactly "file".
inline bool IsFolder(const TNodeTree &tree, NodeId node) { return tree.Data(node).Kind() == NodeKind::Folder; }
inline bool IsFile(const TNodeTree &tree, NodeId node) { return tree.Data(node).Kind() == NodeKind::File; }

// A numeric field (FileSize, FileNameLength, PathNameLength, SizePercentage, FileCount) as
// CompareNumericText reads its text: 0 when the field is empty or its text is not a number.
double NumberOf(const TNodeTree &tree, NodeId node, int field);

// A time field (CreateTime, AccessTime, WriteTime) as CompareDateText reads its text.
DateKey DateKeyOf(const TNodeTree &tree, NodeId node, int field);
// The time a time field reads as; nothing when it is empty or not a date-time.
std::optional<LocalSeconds> TimeOf(const TNodeTree &tree, NodeId node, int field);

// FileSize as a number. Sizes are whole bytes: a size the scan wrote, and any written text that
// reads as a whole number of bytes, is `whole` and exact. A written text that reads as another
// number ("12.5", "-3") keeps that number in `value`, which the size cell shows and the size
// classes compare; its `bytes`, which every sum and share uses, is the nearest whole number
// (halves away from zero), 0 for a negative number and 2^64 - 1 beyond that. So "12.5" counts
// as 13 bytes in a folder's total and in a list's, and its share is that of 13 bytes: every
// percentage is worked from whole numbers and rounds exactly.
struct SizeNumber {
    std::uint64_t bytes = 0;
    double value = 0;
    bool whole = true;
};
// Nothing when the field is empty or its text is not a number.
std::optional<SizeNumber> SizeOf(const TNodeTree &tree, NodeId node);

// A class field (CreateAgeRange to SizeRange) as the class counting reads it: its text as a
// whole number, an empty field as 0; nothing when the text is not a whole number.
std::optional<int> ClassIndexOf(const TNodeTree &tree, NodeId node, int field);

// One node's field reduced to what the sort compares: its kind (FileType) and the field as a
// number, a date-time or a text by the field's kind. A sort reads each node's key once instead
// of reading both records at every comparison. A key lives while the tree is unchanged.
struct FieldKey {
    NodeKind kind = NodeKind::Other;
    std::string_view kindText;  // trimmed FileType when `kind` is Other
    double number = 0;
    DateKey date;
    std::uint64_t prefix[2] = {0, 0}; // the text's first 16 bytes, a to z as A to Z, big-endian
    std::size_t length = 0;           // of the text

    std::string_view Text() const { return ownsText_ ? std::string_view(owned_) : text_; }

private:
    friend FieldKey KeyOf(const TNodeTree &, NodeId, int);
    std::string_view text_; // into the tree, when it holds the text as it is shown
    std::string owned_;     // else the text, built for the key
    bool ownsText_ = false;
};
FieldKey KeyOf(const TNodeTree &tree, NodeId node, int field);

// The comparisons below are inline: a sort asks them several times per entry.

// True when two keys' kinds differ, as the sort compares FileType texts.
inline bool KindsDiffer(const FieldKey &a, const FieldKey &b)
{
    return a.kind != b.kind || (a.kind == NodeKind::Other && a.kindText != b.kindText);
}

// How the sort compares a field's texts.
enum class Compared { Number, Date, Always, Text };
inline Compared ComparedAs(int field)
{
    switch (field) {
    case FileSize:
    case FileNameLength:
    case PathNameLength:
    case SizePercentage:
    case FileCount: return Compared::Number;
    case CreateTime:
    case AccessTime:
    case WriteTime: return Compared::Date;
    case FileType: return Compared::Always;
    default: return Compared::Text;
    }
}

// Two keys of a field compared as text, with a to z taken as A to Z.
inline int CompareTextKeys(const FieldKey &a, const FieldKey &b)
{
    // Different prefixes decide as the first differing byte would. Equal prefixes with a text of
    // at most 16 bytes mean that text is a prefix of the other (any byte it lacks is a zero in
    // the other's prefix), so the shorter comes first. Else the rest decides.
    for (int w = 0; w < 2; ++w)
        if (a.prefix[w] != b.prefix[w])
            return a.prefix[w] < b.prefix[w] ? -1 : 1;
    if (a.length <= 16 || b.length <= 16)
        return a.length == b.length ? 0 : a.length < b.length ? -1 : 1;
    return CompareTextIgnoreAsciiCase(a.Text().substr(16), b.Text().substr(16));
}

// Compares the field of two entries of the same kind by the field's kind: numbers as
// CompareNumericText, date-times as CompareDateText, FileType always 1, any other field as text
// with a to z taken as A to Z (CompareTextIgnoreAsciiCase).
inline int CompareKeys(const FieldKey &a, const FieldKey &b, int field)
{
    switch (ComparedAs(field)) {
    case Compared::Number: return CompareNumbers(a.number, b.number);
    case Compared::Date: return CompareDateKeys(a.date, b.date);
    case Compared::Always: return 1;
    case Compared::Text: return CompareTextKeys(a, b);
    }
    return 1;
}

} // namespace folvane
