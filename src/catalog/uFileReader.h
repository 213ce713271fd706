#pragma once
// The folder scan: turns one folder of the file system into a catalogue tree.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "catalog/NodeTree.h"

namespace folvane {

struct ScanOptions {
    // Called with the entries and bytes found so far, at most a few times a second, from a scan thread.
    std::function<void(std::uint64_t entries, std::uint64_t bytes)> progress;
    // When set during the scan, the walk stops as soon as it can and the scan reports it was cancelled.
    const std::atomic<bool> *cancel = nullptr;
    // Walking threads; 0 picks one per processor (at least two, since the walk also waits on the disk).
    unsigned threads = 0;
    // Lets tests make the enumeration of a folder fail as an unreadable folder does.
    std::function<bool(std::string_view folderPath)> denyFolder;
    // A folder below the chosen one, as "/"-separated names: only that folder is walked, as part
    // of a catalogue of the chosen folder (to refresh it there). Its top node is then filled as
    // an entry of that catalogue: its name and its own status, times included.
    std::string below;
};

struct ScanOutcome {
    bool cancelled = false;
    std::uint64_t entries = 0; // nodes below the top node
};

// Rebuilds `tree` from the folder `path` (with or without a trailing "/"): one top node for the
// folder itself, one node per entry below it, sizes rolled up, percentages and counts filled in.
// A folder that cannot be read is a folder without children; nothing is reported as an error.
// A cancelled scan leaves a partial tree; callers keep their previous catalogue instead.
ScanOutcome ScanFolder(TNodeTree &tree, std::string_view path, const ScanOptions &options = {});

// The extension of `path` without the dot: what follows the last ".", when no "/" comes after it
// (a dot in a folder name is never an extension; ":" is an ordinary character here).
std::string_view ExtensionOf(std::string_view path);

} // namespace folvane
