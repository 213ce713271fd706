#pragma once
// The record every tree-grid node carries: one file or folder of a catalogue.
//
// The nineteen fields are read and written by index as text, in the form in which they are shown,
// sorted, classified and exported. A node stores typed values and renders each field's text on
// demand (see TNodeTree::Field); a text written into a field that is not that field's rendered
// form is kept as written.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/TextForms.h"

namespace folvane {

enum Field : std::uint8_t {
    FileName = 0,
    FullPath = 1,
    FileSize = 2,
    FileExt = 3,
    FileType = 4,
    Description = 5,
    FileNameLength = 6,
    PathNameLength = 7,
    SizePercentage = 8,
    CatalogName = 9,
    CreateTime = 10,
    AccessTime = 11,
    WriteTime = 12,
    DOSName = 13,
    FileCount = 14,
    CreateAgeRange = 15,
    AccessAgeRange = 16,
    WriteAgeRange = 17,
    SizeRange = 18,
};
constexpr int kFieldCount = 19;

// The field names, in field order: the names under which columns are configured, shown and exported.
extern const std::array<std::string_view, kFieldCount> FieldNames;

// The attribute names of the fields in an XML catalogue: the field names without their blanks.
const std::array<std::string, kFieldCount> &FieldAttributeNames();

// The index of a field name (exact, case-sensitive); 0 when the name is not a field name.
std::uint8_t FieldIndexOf(std::string_view name);

// What FileType says of an entry: exactly "folder", exactly "file", or any other text (or none).
enum class NodeKind : std::uint8_t { Other, Folder, File };

// The typed record. Its text lives in the owning tree's name store; TNodeTree renders and parses it.
struct TFileNodeData {
    std::int32_t ExpandedIconIndex = 0;
    std::int32_t IconIndex = 0;

    std::uint64_t textRef = 0;   // the name (or, with ExplicitPath, the full path) in the name store
    std::uint32_t textLen = 0;   // bytes of that text
    std::uint16_t nameLen = 0;   // the name is the last nameLen bytes of the text
    std::uint16_t flags = 0;     // Flag bits below
    std::uint64_t size = 0;      // FileSize in bytes
    // A scanned entry's size of the other kind: its disk usage while FileSize holds its apparent
    // size, and the reverse (see ApplyCountingChoices). 0 for folders, whose own blocks never count.
    std::uint64_t otherSize = 0;
    LocalSeconds times[3] = {0, 0, 0}; // CreateTime, AccessTime, WriteTime
    std::uint32_t count = 0;     // FileCount
    std::int32_t percent = 0;    // SizePercentage in hundredths; kZeroTotal for the text "0"
    std::uint8_t classes[4] = {0, 0, 0, 0}; // CreateAgeRange, AccessAgeRange, WriteAgeRange, SizeRange
    std::uint32_t present = 0;   // bit i: field i has a value (typed or written text)

    enum Flag : std::uint16_t {
        Folder = 1,        // FileType "folder"
        File = 2,          // FileType "file"
        ExplicitPath = 4,  // the text is the full path, not derived from the parent's
        Expanded = 8,      // the node is expanded in its tree-grid
        HasOverride = 16,  // some field holds a written text (kept in the tree's override table)
        // Marks whose reason is kept in the catalogue's notes (CatalogNotes.h):
        Unreadable = 32,   // its status, or a folder's content, could not be read
        NotScanned = 64,   // a folder the scan did not walk (kernel or other file system, automount point)
        Uncounted = 128,   // a further name of a file counted under its first name: adds nothing above it
    };
    static constexpr std::int32_t kZeroTotal = INT32_MIN;

    bool Has(int field) const { return (present >> field) & 1u; }
    NodeKind Kind() const
    {
        return (flags & Folder) ? NodeKind::Folder : (flags & File) ? NodeKind::File : NodeKind::Other;
    }
};

} // namespace folvane
