#pragma once
// What a user can do with the entries found, from the context menu of every tree-grid row (and
// of every treemap tile) and its keys: refresh a folder, move entries to the desktop's trash, open
// the file manager or a terminal there, copy their paths.
//
// The rows of a list are copies of catalogue entries: each acts on the entry of VT with the
// same path. Refreshing walks the folder again (a file's folder) and changes the catalogue in
// place; refreshing the top folder is a new scan. Moving to the trash asks once, moves what it
// can and says what it could not; the entries moved leave the catalogue. Nothing runs while other
// work runs, and for a catalogue opened from a file only copying paths is offered (its paths may
// name other files on this machine). Everything that asks or tells the user goes through the UI
// services; the walk runs where the host runs work (a worker, with the progress window).

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/Terminal.h"
#include "common/Trash.h"
#include "views/CatalogUpdate.h"
#include "views/uCtrl.h"

namespace folvane {

enum class EntryAction { Refresh, MoveToTrash, OpenFileManager, OpenTerminal, CopyPath };

struct EntryActionText {
    EntryAction action;
    const char *text; // the menu's text
    const char *key;  // its key, in the notation of key sequences; empty for none
};
// The actions in the order of the menu.
std::span<const EntryActionText> EntryActionTexts();

// What the actions need of the program around them.
class IEntryActionHost {
public:
    virtual ~IEntryActionHost() = default;
    // Whether other work runs now.
    virtual bool Busy() const = 0;
    // Walks the folders (below the catalogue's folder, ScanOptions::below) with the choices the
    // catalogue was made with (CatalogueChoices), while the progress window shows with its
    // Cancel; one catalogue per folder, in order. Nothing when the user cancelled.
    virtual std::optional<std::vector<TNodeTree>> WalkFolders(const std::vector<TEntryPath> &folders) = 0;
    // Scans the catalogue's folder anew, as opening it does.
    virtual void ScanAgain() = 0;
    // The catalogue changed in place (the views have followed): what else shows it follows too.
    virtual void CatalogueChanged() = 0;
};

class TEntryActions {
public:
    TEntryActions(TFACtrl &ctrl, IEntryActionHost &host) : ctrl_(ctrl), host_(host), update_(ctrl) {}

    // Whether the action is offered for the catalogue VT shows: for a catalogue opened from a
    // file (OpenedFromFile) only "Copy Path" is.
    bool Offered(EntryAction action) const;
    // Whether the action can be taken now on these rows of the grid.
    bool Enabled(EntryAction action, ITreeGrid &grid, std::span<const NodeId> rows) const;
    // Takes the action on the rows. Actions on one entry (opening the file manager or a
    // terminal) take the first row: the one the menu was opened on.
    void Run(EntryAction action, ITreeGrid &grid, std::span<const NodeId> rows);

    // Where trashed entries go and how a terminal starts; tests set their own.
    TrashPlaces Places = TrashPlacesOfEnvironment();
    std::function<TerminalStart(const TEntryPath &)> StartTerminal = StartTerminalIn;

    const TCatalogUpdate &Update() const { return update_; }

private:
    std::vector<NodeId> catalogueNodes(ITreeGrid &grid, std::span<const NodeId> rows) const;
    NodeId folderOf(NodeId node) const;
    void refresh(std::vector<NodeId> nodes);
    void moveToTrash(std::vector<NodeId> nodes);
    void rereadParentTimes(const std::vector<NodeId> &moved);
    void openFileManager(NodeId node);
    void openTerminal(NodeId node);
    void copyPath(const std::vector<NodeId> &nodes);
    // When the entry acted on is gone from the disk: says so and offers to refresh its folder.
    // True when it was gone.
    bool goneFromDisk(NodeId entry, const std::string &caption);
    bool offerRefresh(const std::string &text, const std::string &caption, NodeId folder);

    TFACtrl &ctrl_;
    IEntryActionHost &host_;
    TCatalogUpdate update_;
};

} // namespace folvane
