#pragma once
// The folder scan: turns one folder of the file system into a catalogue tree.
//
// Every folder is reached whatever its depth or path length, and never through a link: a folder
// is opened relative to the chosen folder's descriptor with no component followed as a link
// (openat2 with RESOLVE_NO_SYMLINKS, continuing from an intermediate folder where the relative
// path grows long; one name at a time with O_NOFOLLOW where the kernel has no openat2). A folder
// swapped for a link during the scan is therefore not walked.
//
// Descriptors: each walking thread holds at most two at once, whatever the depth of the tree. It
// keeps the folder it read last open, since the next folder it takes is usually a child of it and
// is then opened by name from it (two open); otherwise it lets that one go and opens the folder
// from the chosen folder's descriptor, holding at most the folder reached so far and the next one.
// The chosen folder's descriptor is held once for the whole scan: at most 2 x threads + 1.
//
// Nothing examined is lost: an entry whose status cannot be read (other than because it is gone)
// keeps its node with its name, its kind as the directory gives it (a file when unknown), size 0
// and no times; a folder that cannot be opened or read keeps its node with no children. Both are
// marked (TFileNodeData::Unreadable) with the reason in the catalogue's notes. Kernel file
// systems and automount points are not walked, nor other file systems when the choices say so:
// such a folder, the chosen one included, keeps its node with no children, marked NotScanned.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "catalog/NodeTree.h"
#include "catalog/ScanChoices.h"
#include "common/EntryPath.h"

namespace folvane {

struct ScanOptions {
    // Called with the entries and bytes found so far and the folders that could not be read, at
    // most a few times a second, from a scan thread.
    std::function<void(std::uint64_t entries, std::uint64_t bytes, std::uint64_t foldersNotRead)> progress;
    // When set during the scan, the walk stops as soon as it can and the scan reports it was cancelled.
    const std::atomic<bool> *cancel = nullptr;
    // Walking threads; 0 picks one per processor (at least two, since the walk also waits on the disk).
    unsigned threads = 0;
    // Lets tests make the enumeration of a folder fail as an unreadable folder does. It is asked
    // with the folder's full path (ending in "/") right before the folder is opened.
    std::function<bool(std::string_view folderPath)> denyFolder;
    // Lets tests hold the walk or stop it part-way: called on a walking thread before each folder
    // is read, it may wait on a latch the test releases, or set `cancel` after some folders (the
    // folder is then not read).
    std::function<void(std::string_view folderPath)> beforeFolder;
    // What the scan counts and leaves out; the catalogue's notes record them (CatalogNotes.h).
    ScanChoices choices;
    // A folder below the chosen one, as "/"-separated names: only that folder is walked, as part
    // of a catalogue of the chosen folder (to refresh it there): reached from the chosen folder
    // by descriptors, with the chosen folder's device for "one file system" and exclusion paths
    // below the chosen folder. Its top node is then filled as the entry it is in that catalogue:
    // its name, its own status and times, its mark.
    std::string below;
};

struct ScanOutcome {
    bool cancelled = false;
    std::uint64_t entries = 0; // nodes below the top node
};

// Rebuilds `tree` from the folder `path` (with or without a trailing "/"): one top node for the
// folder itself, one node per entry below it, sizes rolled up, percentages and counts filled in,
// and the catalogue's notes (summary, link names, reasons). A folder that cannot be read is a
// marked folder without children; nothing is reported as an error. A cancelled scan leaves a
// partial tree; callers keep their previous catalogue instead.
ScanOutcome ScanFolder(TNodeTree &tree, std::string_view path, const ScanOptions &options = {});

// Reads the times of the entry at `path` into its record again, as a scan records them, after
// something changed it on disk (a folder whose entries were moved away has a new write time).
// A record without times (the chosen folder, an entry that could not be read) keeps none; false
// when nothing was read.
bool RereadTimes(const TEntryPath &path, TFileNodeData &data);

// The extension of `path` without the dot: what follows the last ".", when no "/" comes after it
// (a dot in a folder name is never an extension; ":" is an ordinary character here).
std::string_view ExtensionOf(std::string_view path);

namespace detail {
// Whether folders may be opened with openat2; tests switch it off to run the one-name-at-a-time
// way that kernels without openat2 get.
void AllowOpenat2(bool allowed);
} // namespace detail

} // namespace folvane
