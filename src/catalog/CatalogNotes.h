#pragma once
// What a catalogue knows beyond its records: how it was made (the summary shown in the status
// bar), and side tables for the few entries that need more than a record, so that no record pays
// for what only some entries have.
//
// - the names of files with several names (hard links): device, inode and link count per name;
//   after a scan they are grouped by file, each group in the catalogue's own order (the order
//   the directories delivered, before any sort for display), so the first name of a group is
//   the one a "count once" choice counts, whichever thread met which name first;
// - the reason an entry is marked in its record (TFileNodeData::Unreadable, NotScanned): the
//   system's error, or the file system that was not walked.
//
// A catalogue owns its notes (TNodeTree::Notes), so they move with it; a record copied into a
// list brings its reason along as text.

#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

#include "catalog/NodeTree.h"
#include "catalog/ScanChoices.h"

namespace folvane {

// How a catalogue was made and what it holds less than the folder does. Plain data; SummaryText
// words it.
struct TScanSummary {
    std::string folder;                     // as the scan was given it
    SizeKind sizeKind = SizeKind::Apparent; // what FileSize holds now
    bool hardLinksOnce = false;             // as counted now
    bool oneFileSystem = false;
    std::uint64_t patterns = 0;             // exclusion patterns in force
    std::uint64_t foldersNotRead = 0;       // could not be opened, listed, or their entries examined
    std::uint64_t kernelFolders = 0;        // not walked: kernel file systems, automount points
    std::uint64_t otherFsFolders = 0;       // not walked: another file system (one file system)
    std::uint64_t excluded = 0;             // entries left out by the patterns
    std::uint64_t namesCountedElsewhere = 0; // names of a file counted under its first name

    // A catalogue read from a file rather than scanned: the file, and when it was made (the time
    // the file records, else its last write). Its paths may name other files on this machine, so
    // nothing that acts on the disk is offered for it (OpenedFromFile).
    std::string catalogueFile;
    LocalSeconds made = 0;
    bool sizeKindKnown = true;      // false: the file does not say which size FileSize holds
    std::uint64_t timesNotRead = 0; // times in the file that could not be read, left empty
};

// "/home · Disk usage · hard links once · one file system · 3 folders not read · 2 folders not
// scanned · 1,204 entries left out by 2 patterns": the folder, the size kind, the choices in
// force that are not the defaults, and what is missing; counts with the user's grouping. A
// catalogue read from a file starts with its source: "Catalogue /srv/week1.json, made 3/2/2025
// 4:05:06 PM · /srv · ...", says "size kind unknown" when the file does not record it, and how
// many times could not be read.
std::string SummaryText(const TScanSummary &summary);
// The start of SummaryText that names where the catalogue came from (the folder, or the
// catalogue file): the part that gives way first when the line is too long for its panel.
std::string SummaryLead(const TScanSummary &summary);

// True for a catalogue read from a file (see TScanSummary::catalogueFile).
bool OpenedFromFile(const TNodeTree &tree);

// One name of a file that has several: 20 bytes, all of 4-byte parts, since a tree of many hard
// links holds one per name.
struct TLinkName {
    NodeId node = kNoNode;
    std::uint32_t device = 0;    // major << 20 | minor: Linux devices have 12 and 20 bits
    std::uint32_t linkCount = 0; // the file's names on its file system
    std::uint32_t inodeLow = 0, inodeHigh = 0;

    static std::uint32_t Device(std::uint32_t major, std::uint32_t minor) { return major << 20 | (minor & 0xFFFFF); }
    std::uint64_t Inode() const { return std::uint64_t(inodeHigh) << 32 | inodeLow; }
};

enum class ReasonKind : std::uint8_t { NotRead, KernelFileSystem, Automount, OtherFileSystem, Text };

// The reason of a folder that a catalogue file says was not walked as a firmlink (a macOS link
// between volumes).
inline constexpr const char *kFirmlinkReason = "Not scanned: firmlink";

struct TEntryReason {
    ReasonKind kind = ReasonKind::Text;
    int error = 0;      // NotRead: the system's error number
    std::string detail; // the file system's type; for Text the whole line
};

class TCatalogNotes {
public:
    TScanSummary summary;
    std::deque<TLinkName> links; // grows without copying itself, so it never holds twice its size
    std::unordered_map<NodeId, TEntryReason> reasons;
    // Folders that had entries left out by the patterns, and how many: a change of the catalogue
    // in place takes out the counts of what it removes.
    std::unordered_map<NodeId, std::uint64_t> excludedIn;
    // The choices the catalogue was made with that the counting does not show: a refresh walks
    // with them (the size kind and hard links in force are in the summary).
    std::vector<std::string> exclude;
};

// The second line of a node's hint: why it was not read or not scanned, or under which name its
// file is counted; empty when there is nothing to say.
std::string ReasonText(const TNodeTree &tree, NodeId node);

// Groups the link table by file and orders each group in the catalogue's own order. Called once
// after a walk, before anything sorts the tree.
void OrderLinkNames(TNodeTree &tree);

// Makes FileSize hold `kind` for every scanned entry, counts each file with several names under
// every name or under its first name only, then rolls sizes, percentages and counts up again.
// For a scanned catalogue (which records both sizes of each entry), and its summary follows. A
// catalogue whose size kind is unknown (read from a file that records one size and no link
// names) keeps its sizes, folder totals and shares as the file gives them.
void ApplyCountingChoices(TNodeTree &tree, SizeKind kind, bool hardLinksOnce);

} // namespace folvane
