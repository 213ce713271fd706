#include "EntryActions.h"

#include <sys/stat.h>

#include <algorithm>

#include "catalog/CatalogEdit.h"
#include "catalog/CatalogNotes.h"
#include "catalog/FieldReaders.h"
#include "catalog/uFileReader.h"
#include "common/UiServices.h"
#include "common/Utf8.h"
#include "common/uFunction.h"

namespace folvane {

namespace {

constexpr const char *kTrashCaption = "Move to Trash";
constexpr std::size_t kListedAtMost = 15; // failures named one by one in a message

std::string quoted(std::string_view bytes)
{
    return "\u201C" + ValidUtf8(bytes) + "\u201D";
}

// A count with the user's digit grouping.
std::string grouped(std::uint64_t n)
{
    std::string digits = std::to_string(n), out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += Forms().group;
        out += digits[i];
    }
    return out;
}

std::string entries(std::uint64_t n)
{
    return n == 0 ? "no entries" : grouped(n) + (n == 1 ? " entry" : " entries");
}

// Keeps the nodes that no other node of the list holds, in their order, each once.
std::vector<NodeId> outermost(const TNodeTree &tree, const std::vector<NodeId> &nodes)
{
    std::vector<NodeId> kept;
    for (NodeId node : nodes) {
        const bool held = std::any_of(nodes.begin(), nodes.end(),
                                      [&](NodeId other) { return other != node && IsWithin(tree, node, other); });
        if (!held && std::find(kept.begin(), kept.end(), node) == kept.end())
            kept.push_back(node);
    }
    return kept;
}

// The deepest folder that holds every one of the nodes.
NodeId commonFolder(const TNodeTree &tree, const std::vector<NodeId> &nodes)
{
    NodeId folder = nodes.empty() ? kNoNode : tree.Parent(nodes.front());
    for (NodeId node : nodes)
        while (tree.IsValid(folder) && !IsWithin(tree, node, folder))
            folder = tree.Parent(folder);
    return tree.IsValid(folder) ? folder : tree.First();
}

bool isGone(int error)
{
    return error == ENOENT || error == ENOTDIR || error == ELOOP;
}

} // namespace

std::span<const EntryActionText> EntryActionTexts()
{
    static const EntryActionText kTexts[] = {
        {EntryAction::Refresh, "Refresh", "F5"},
        {EntryAction::MoveToTrash, "Move to Trash", "Delete"},
        {EntryAction::OpenFileManager, "Open in File Manager", ""},
        {EntryAction::OpenTerminal, "Open Terminal Here", ""},
        {EntryAction::CopyPath, "Copy Path", "Ctrl+C"},
    };
    return kTexts;
}

bool TEntryActions::Offered(EntryAction action) const
{
    // A catalogue read from a file may name other files on this machine by its paths.
    return action == EntryAction::CopyPath || !ctrl_.Tree || !OpenedFromFile(ctrl_.Tree->Nodes());
}

bool TEntryActions::Enabled(EntryAction action, ITreeGrid &grid, std::span<const NodeId> rows) const
{
    if (!Offered(action) || host_.Busy() || !ctrl_.Tree || rows.empty())
        return false;
    return std::any_of(rows.begin(), rows.end(), [&](NodeId row) { return grid.Nodes().IsValid(row); });
}

void TEntryActions::Run(EntryAction action, ITreeGrid &grid, std::span<const NodeId> rows)
{
    if (!Enabled(action, grid, rows))
        return;
    std::vector<NodeId> nodes = catalogueNodes(grid, rows);
    if (nodes.empty())
        return;
    switch (action) {
    case EntryAction::Refresh: refresh(std::move(nodes)); break;
    case EntryAction::MoveToTrash: moveToTrash(std::move(nodes)); break;
    case EntryAction::OpenFileManager: openFileManager(nodes.front()); break;
    case EntryAction::OpenTerminal: openTerminal(nodes.front()); break;
    case EntryAction::CopyPath: copyPath(nodes); break;
    }
}

// The entries of VT the rows stand for: VT's own rows, or the entries a list's copies were made from.
std::vector<NodeId> TEntryActions::catalogueNodes(ITreeGrid &grid, std::span<const NodeId> rows) const
{
    const TNodeTree &tree = ctrl_.Tree->Nodes();
    std::vector<NodeId> nodes;
    std::optional<TPathFinder> finder;
    for (NodeId row : rows) {
        if (!grid.Nodes().IsValid(row))
            continue;
        NodeId node = row;
        if (&grid != ctrl_.Tree) {
            if (!finder)
                finder.emplace(tree);
            node = finder->Find(grid.Nodes().PathBytes(row));
        }
        if (tree.IsValid(node) && std::find(nodes.begin(), nodes.end(), node) == nodes.end())
            nodes.push_back(node);
    }
    return nodes;
}

NodeId TEntryActions::folderOf(NodeId node) const
{
    const TNodeTree &tree = ctrl_.Tree->Nodes();
    return tree.Data(node).Kind() == NodeKind::Folder ? node : tree.Parent(node);
}

// --- Refresh ------------------------------------------------------------------------------------

void TEntryActions::refresh(std::vector<NodeId> nodes)
{
    const TNodeTree &tree = ctrl_.Tree->Nodes();
    std::vector<NodeId> folders;
    for (NodeId node : nodes) {
        NodeId folder = folderOf(node);
        // A folder gone from the disk is refreshed from the nearest folder above it still there.
        for (; tree.IsValid(folder) && tree.Parent(folder) != TNodeTree::Root(); folder = tree.Parent(folder)) {
            const TEntryPath path = EntryPathOf(tree, folder);
            int error = 0;
            if (OpenFolderAt(path, path.names.size(), error).Valid() || !isGone(error))
                break;
        }
        if (!tree.IsValid(folder))
            continue;
        if (tree.Parent(folder) == TNodeTree::Root()) {
            host_.ScanAgain(); // the whole catalogue: a new scan
            return;
        }
        folders.push_back(folder);
    }
    folders = outermost(tree, folders);
    if (folders.empty())
        return;
    std::vector<TEntryPath> paths;
    for (NodeId folder : folders)
        paths.push_back(EntryPathOf(tree, folder));
    std::optional<std::vector<TNodeTree>> walked = host_.WalkFolders(paths);
    if (!walked || walked->size() != folders.size())
        return; // cancelled: the catalogue stays as it was
    for (std::size_t i = 0; i < folders.size(); ++i)
        update_.RefreshFolder(folders[i], (*walked)[i]);
    host_.CatalogueChanged();
}

// --- Move to Trash ------------------------------------------------------------------------------

void TEntryActions::moveToTrash(std::vector<NodeId> nodes)
{
    const TNodeTree &tree = ctrl_.Tree->Nodes();
    for (NodeId node : nodes) {
        if (tree.Parent(node) == TNodeTree::Root()) {
            Ui().MessageBox("The folder " + quoted(tree.PathBytes(node)) +
                                " cannot be moved to the trash: it is the folder this catalogue was made of. Choose "
                                "the entries inside it instead.",
                            kTrashCaption, MsgButtons::Ok, MsgIcon::Information);
            return;
        }
    }
    nodes = outermost(tree, nodes);

    // One question, naming the entry (or how many), what it takes and what comes back.
    std::uint64_t bytes = 0, inFolders = 0, folders = 0, linked = 0;
    for (NodeId node : nodes) {
        bytes += SizeOf(tree, node).value_or(SizeNumber{}).bytes;
        if (tree.Data(node).Kind() == NodeKind::Folder) {
            ++folders;
            inFolders += tree.TotalCount(node) - 1;
            continue;
        }
        struct stat st {};
        int error = 0;
        if (StatEntry(EntryPathOf(tree, node), st, error) && !S_ISDIR(st.st_mode) && st.st_nlink > 1)
            ++linked;
    }
    const std::string back = "The space comes back when the trash is emptied.";
    std::string question;
    if (nodes.size() == 1) {
        const NodeId node = nodes.front();
        const std::string where = quoted(FolderOf(tree.PathBytes(node)));
        if (folders == 1)
            question = "Move the folder " + quoted(tree.NameBytes(node)) + " from " + where + " to the trash?\n\nIt holds " +
                       entries(inFolders) + " and takes " + FormatBytes(bytes) + ". " + back;
        else if (linked == 1)
            question = "Move " + quoted(tree.NameBytes(node)) + " from " + where + " to the trash?\n\nIt takes " +
                       FormatBytes(bytes) +
                       ", but the file has other names (hard links), so no space comes back, not even when the trash "
                       "is emptied.";
        else
            question = "Move " + quoted(tree.NameBytes(node)) + " from " + where + " to the trash?\n\nIt takes " +
                       FormatBytes(bytes) + ". " + back;
    } else {
        question = "Move these " + grouped(nodes.size()) + " entries to the trash?\n\nThey take " + FormatBytes(bytes);
        if (folders > 0)
            question += ", and the " + (folders == 1 ? std::string("folder") : grouped(folders) + " folders") +
                        " among them " + (folders == 1 ? "holds " : "hold ") + entries(inFolders);
        question += ". " + back;
        if (linked > 0)
            question += "\n\n" + grouped(linked) + (linked == 1 ? " of them is a file" : " of them are files") +
                        " with other names (hard links): no space comes back for " +
                        (linked == 1 ? "it." : "them.");
    }
    if (Ui().MessageBox(question, kTrashCaption, MsgButtons::YesNo, MsgIcon::Question) != MsgResult::Yes)
        return;

    std::vector<NodeId> moved, gone;
    std::vector<std::pair<NodeId, std::string>> failed; // gone ones too, with why
    for (NodeId node : nodes) {
        const NodeKind kind = tree.Data(node).Kind();
        const ExpectedKind expected = kind == NodeKind::Folder ? ExpectedKind::Folder
                                      : kind == NodeKind::File ? ExpectedKind::NotFolder
                                                               : ExpectedKind::Any;
        const TrashResult result = MoveToTrash(EntryPathOf(tree, node), expected, Places);
        if (result.outcome == TrashOutcome::Moved) {
            moved.push_back(node);
            continue;
        }
        if (result.outcome == TrashOutcome::Gone)
            gone.push_back(node);
        failed.emplace_back(node, result.reason);
    }
    // The folders the moved entries left have new write times on disk; then what could not be
    // moved, gone entries included, stays in the catalogue, and the rest leaves it.
    rereadParentTimes(moved);
    update_.RemoveEntries(moved);
    if (!moved.empty())
        host_.CatalogueChanged();
    if (failed.empty())
        return;

    std::string text;
    if (nodes.size() == 1) {
        const NodeId node = failed.front().first;
        text = gone.empty() ? quoted(tree.NameBytes(node)) + " could not be moved to the trash: " + failed.front().second + "."
                            : quoted(tree.NameBytes(node)) + " is no longer on the disk.";
    } else {
        text = grouped(failed.size()) + " of " + grouped(nodes.size()) + " entries could not be moved to the trash:\n";
        for (std::size_t i = 0; i < failed.size() && i < kListedAtMost; ++i)
            text += "\n" + quoted(tree.PathBytes(failed[i].first)) + ": " + failed[i].second;
        if (failed.size() > kListedAtMost)
            text += "\n\u2026 and " + grouped(failed.size() - kListedAtMost) + " more";
    }
    if (gone.empty())
        Ui().MessageBox(text, kTrashCaption, MsgButtons::Ok, MsgIcon::Exclamation);
    else
        offerRefresh(text, kTrashCaption, commonFolder(tree, gone));
}

void TEntryActions::rereadParentTimes(const std::vector<NodeId> &moved)
{
    TNodeTree &tree = ctrl_.Tree->Nodes();
    std::vector<NodeId> parents;
    for (NodeId node : moved)
        parents.push_back(tree.Parent(node));
    std::sort(parents.begin(), parents.end());
    parents.erase(std::unique(parents.begin(), parents.end()), parents.end());
    for (NodeId parent : parents)
        if (parent != TNodeTree::Root())
            RereadTimes(EntryPathOf(tree, parent), tree.Data(parent));
}

// --- The file manager, a terminal, paths --------------------------------------------------------

bool TEntryActions::offerRefresh(const std::string &text, const std::string &caption, NodeId folder)
{
    const TNodeTree &tree = ctrl_.Tree->Nodes();
    if (!tree.IsValid(folder))
        return false;
    const std::string question = text + "\n\nRefresh the folder " + quoted(tree.PathBytes(folder)) + " now?";
    if (Ui().MessageBox(question, caption, MsgButtons::YesNo, MsgIcon::Question) != MsgResult::Yes)
        return false;
    refresh({folder});
    return true;
}

bool TEntryActions::goneFromDisk(NodeId entry, const std::string &caption)
{
    const TNodeTree &tree = ctrl_.Tree->Nodes();
    struct stat st {};
    int error = 0;
    if (StatEntry(EntryPathOf(tree, entry), st, error) || !isGone(error))
        return false; // there, or not known to be gone: the action itself says what goes wrong
    const NodeId parent = tree.Parent(entry);
    offerRefresh(quoted(tree.NameBytes(entry)) + " is no longer on the disk.", caption,
                 parent == TNodeTree::Root() ? entry : parent);
    return true;
}

void TEntryActions::openFileManager(NodeId node)
{
    const NodeId folder = folderOf(node);
    if (goneFromDisk(node, "Open in File Manager"))
        return;
    Ui().OpenUrl(FileUrlOf(EntryPathOf(ctrl_.Tree->Nodes(), folder).Full()));
}

void TEntryActions::openTerminal(NodeId node)
{
    const NodeId folder = folderOf(node);
    const std::string caption = "Open Terminal Here";
    if (goneFromDisk(node, caption))
        return;
    const TEntryPath path = EntryPathOf(ctrl_.Tree->Nodes(), folder);
    const TerminalStart start = StartTerminal(path);
    if (start.started)
        return;
    const std::string text =
        start.program.empty()
            ? "No terminal was found. Set the TERMINAL environment variable to the terminal you use."
            : "The terminal " + quoted(start.program) + " could not be started in " + quoted(path.Full()) + ": " +
                  start.error + ".";
    Ui().MessageBox(text, caption, MsgButtons::Ok, MsgIcon::Exclamation);
}

void TEntryActions::copyPath(const std::vector<NodeId> &nodes)
{
    std::vector<std::string> paths;
    for (NodeId node : nodes)
        paths.push_back(EntryPathOf(ctrl_.Tree->Nodes(), node).Full());
    Ui().CopyPaths(paths);
}

} // namespace folvane
