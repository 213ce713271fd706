#pragma once
// Two catalogues compared folder by folder: what grew, shrank, came or went between an earlier
// catalogue ("then") and the one shown ("now").
//
// Entries are matched by their path below the top folder, whatever the two top folders are: two
// catalogues of different folders are compared by relative path (TComparison::sameTop says
// whether they were of one folder). Names are matched as bytes. An entry that is a file in one
// and a folder in the other is gone as the one and new as the other.
//
// Every folder and file whose size differs is listed, and every entry that is new or gone, at
// any depth (a new folder and each entry in it). The walk keeps its own stack of folder pairs, so
// no depth exhausts a thread's stack; each folder's entries are matched by sorting both lists of
// names once.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "catalog/NodeTree.h"

namespace folvane {

struct TChange {
    enum class Kind : std::uint8_t { Changed, New, Gone };
    NodeId then = kNoNode; // the entry in the earlier catalogue; kNoNode when it is new
    NodeId now = kNoNode;  // the entry in the catalogue shown; kNoNode when it is gone
    std::uint64_t sizeThen = 0, sizeNow = 0;
    Kind kind = Kind::Changed;
    bool folder = false;

    // Size now less size then, in bytes: positive for growth.
    __int128 Change() const { return __int128(sizeNow) - __int128(sizeThen); }
};

enum class ChangeColumn { Path, Status, SizeThen, SizeNow, Change };

struct TComparison {
    std::vector<TChange> changes; // largest growth first
    bool sameTop = true;          // both catalogues are of the same top folder
    std::string topThen, topNow;  // the top folders' paths (bytes)
    bool cancelled = false;
};

// Compares the first top-level node of `then` with that of `now` and everything below them.
// Stops early, with `cancelled` set, when `cancel` is set.
TComparison CompareCatalogues(const TNodeTree &then, const TNodeTree &now, const std::atomic<bool> *cancel = nullptr);

// The path of a change's entry below its top folder ("docs/a.txt"; "." for the top folder), as
// shown: U+FFFD in place of bytes that are not UTF-8.
std::string ChangePath(const TNodeTree &then, const TNodeTree &now, const TChange &change);

// "new", "gone", "grown" or "shrunk".
const char *ChangeStatus(const TChange &change);

// Sorts the changes by one column, ascending or not; entries that are equal in it keep their
// order. Texts compare as the lists compare them (letters a to z as A to Z).
void SortChanges(std::vector<TChange> &changes, const TNodeTree &then, const TNodeTree &now, ChangeColumn column,
                 bool descending);

// The entry of `to` at the path below its top folder that `node` has below the top folder of
// `from`, or the nearest folder above that path that `to` holds; kNoNode for an empty `to`.
NodeId NearestCounterpart(const TNodeTree &from, NodeId node, const TNodeTree &to);

} // namespace folvane
