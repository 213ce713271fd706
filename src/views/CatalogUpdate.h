#pragma once
// Changing the catalogue shown in VT in place (a folder walked again, entries moved to the
// trash) and bringing every view up to date, so that each shows what it would show after a new
// scan: the folders above with their new sizes, counts and shares; the touched levels in their
// sort order; the new files classified; the statistics and charts of the entry shown; the
// current-folder list; and the drill-down lists that held entries of the change, filled again
// (or emptied, when the folder they were filled from is gone).
//
// The entry shown stays shown. When it is itself part of the change it is found again by its
// path, or else its nearest remaining folder is shown (and selected in VT, as a click would).
//
// Cost: the entries changed, the depth of the change and the sibling lists it touches, plus one
// flat pass over all records for the shares (each is a share of the whole total). The statistics
// of the entry shown are brought up to date from what left and what came in, when the change
// lies below it; they are counted anew (a walk below the entry shown) only where that cannot
// give the count a fresh one gives: when a re-sorted level below it changed order, or when a
// file type first met in what left is still met after it (where, only a walk would tell).

#include <span>
#include <string>
#include <vector>

#include "views/uCtrl.h"

namespace folvane {

class TCatalogUpdate {
public:
    explicit TCatalogUpdate(TFACtrl &ctrl) : ctrl_(ctrl) {}

    // Replaces the folder `folder` of VT by `walked`, a walk of that same folder (ReplaceFolder).
    void RefreshFolder(NodeId folder, const TNodeTree &walked);
    // Removes the entries of VT, each with everything below it (RemoveEntries).
    void RemoveEntries(std::span<const NodeId> nodes);

    // Whether the last update could bring the statistics up to date in place (for tests and the
    // benchmark: a false one counted the entry shown anew).
    bool CountedInPlace() const { return countedInPlace_; }

private:
    struct Shown;
    Shown before(std::span<const NodeId> changed);
    void sortAbove(NodeId node, Shown &shown, bool within);
    void after(Shown &shown, const std::vector<std::string> &changedPaths, NodeId added);
    bool countInPlace(const Shown &shown, NodeId added);
    void refillDrillDowns(const std::vector<std::string> &changedPaths);

    TFACtrl &ctrl_;
    bool countedInPlace_ = false;
};

} // namespace folvane
