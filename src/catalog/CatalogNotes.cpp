#include "catalog/CatalogNotes.h"

#include <algorithm>
#include <exception>
#include <system_error>
#include <tuple>

#include "catalog/RollUp.h"
#include "common/TextForms.h"
#include "common/Utf8.h"

namespace folvane {

namespace {

std::string grouped(std::uint64_t n)
{
    const std::string digits = std::to_string(n);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += Forms().group;
        out += digits[i];
    }
    return out;
}

std::string counted(std::uint64_t n, const char *one, const char *many)
{
    return grouped(n) + " " + (n == 1 ? one : many);
}

// " (ext4)"; nothing for a file system a catalogue file does not name.
std::string inParentheses(const std::string &detail)
{
    return detail.empty() ? std::string() : " (" + detail + ")";
}

auto identity(const TLinkName &l) { return std::tie(l.device, l.inodeHigh, l.inodeLow); }

// The rows from the top of the tree down to the node: comparing two of them tells which node
// comes first in the tree's order.
void rowsOf(const TNodeTree &tree, NodeId node, std::vector<std::uint32_t> &rows)
{
    rows.clear();
    for (NodeId n = node; n != TNodeTree::Root() && n != kNoNode; n = tree.Parent(n))
        rows.push_back(tree.Row(n));
    std::reverse(rows.begin(), rows.end());
}

} // namespace

std::string SummaryLead(const TScanSummary &s)
{
    return s.catalogueFile.empty() ? ValidUtf8(s.folder) : "Catalogue " + ValidUtf8(s.catalogueFile);
}

bool OpenedFromFile(const TNodeTree &tree)
{
    const TCatalogNotes *notes = tree.FindNotes();
    return notes && !notes->summary.catalogueFile.empty();
}

std::string SummaryText(const TScanSummary &s)
{
    constexpr const char *kDot = " \xC2\xB7 "; // " · "
    std::string text = SummaryLead(s);
    if (!s.catalogueFile.empty())
        text += ", made " + FormatDateTime(s.made) + kDot + ValidUtf8(s.folder);
    text += kDot;
    if (!s.sizeKindKnown)
        text += "size kind unknown";
    else
        text += s.sizeKind == SizeKind::DiskUsage ? "Disk usage" : "Apparent size";
    if (s.hardLinksOnce)
        text += std::string(kDot) + "hard links once";
    if (s.oneFileSystem)
        text += std::string(kDot) + "one file system";
    if (s.foldersNotRead)
        text += kDot + counted(s.foldersNotRead, "folder not read", "folders not read");
    if (const std::uint64_t notScanned = s.kernelFolders + s.otherFsFolders)
        text += kDot + counted(notScanned, "folder not scanned", "folders not scanned");
    if (s.patterns)
        text += kDot + counted(s.excluded, "entry", "entries") + " left out by " +
                counted(s.patterns, "pattern", "patterns");
    else if (s.excluded) // read from a file that names no patterns
        text += kDot + counted(s.excluded, "entry", "entries") + " left out by patterns";
    if (s.timesNotRead)
        text += kDot + counted(s.timesNotRead, "time", "times") + " could not be read";
    return text;
}

std::string ReasonText(const TNodeTree &tree, NodeId node)
{
    if (!tree.IsValid(node))
        return {};
    const TFileNodeData &d = tree.Data(node);
    const TCatalogNotes *notes = tree.FindNotes();
    if (!notes || !(d.flags & (TFileNodeData::Unreadable | TFileNodeData::NotScanned | TFileNodeData::Uncounted)))
        return {};
    if (auto found = notes->reasons.find(node); found != notes->reasons.end()) {
        const TEntryReason &r = found->second;
        switch (r.kind) {
        case ReasonKind::NotRead: return std::generic_category().message(r.error);
        case ReasonKind::KernelFileSystem: return "Not scanned: kernel file system" + inParentheses(r.detail);
        case ReasonKind::Automount: return "Not scanned: automount point" + inParentheses(r.detail);
        case ReasonKind::OtherFileSystem: return "Not scanned: another file system" + inParentheses(r.detail);
        case ReasonKind::Text: return r.detail;
        }
    }
    if (d.flags & TFileNodeData::Uncounted) {
        // The first name of the group this name belongs to.
        const auto &links = notes->links;
        auto at = std::find_if(links.begin(), links.end(), [&](const TLinkName &l) { return l.node == node; });
        if (at != links.end()) {
            while (at != links.begin() && identity(*(at - 1)) == identity(*at))
                --at;
            return "Counted as " + ValidUtf8(tree.PathBytes(at->node));
        }
    }
    return {};
}

void OrderLinkNames(TNodeTree &tree)
{
    TCatalogNotes &notes = tree.Notes();
    auto &links = notes.links;
    std::sort(links.begin(), links.end(), [](const TLinkName &a, const TLinkName &b) {
        return std::tie(a.device, a.inodeHigh, a.inodeLow, a.node) < std::tie(b.device, b.inodeHigh, b.inodeLow, b.node);
    });
    std::vector<std::uint32_t> rowsA, rowsB;
    for (auto group = links.begin(); group != links.end();) {
        auto end = std::find_if(group, links.end(), [&](const TLinkName &l) { return identity(l) != identity(*group); });
        std::stable_sort(group, end, [&](const TLinkName &a, const TLinkName &b) {
            rowsOf(tree, a.node, rowsA);
            rowsOf(tree, b.node, rowsB);
            return rowsA < rowsB;
        });
        group = end;
    }
}

void ApplyCountingChoices(TNodeTree &tree, SizeKind kind, bool hardLinksOnce)
{
    TCatalogNotes &notes = tree.Notes();
    if (!notes.summary.sizeKindKnown) {
        // One size per entry and no link names: nothing to count again. Rolling up would even
        // lose what the file gives, such as the totals of a list's folders, written without
        // their contents.
        notes.summary.hardLinksOnce = hardLinksOnce;
        return;
    }
    if (notes.summary.sizeKind != kind) {
        // Every scanned entry holds both sizes; a folder's own is never counted, its size is the roll-up.
        for (NodeId id = 1; id < tree.IdLimit(); ++id) {
            if (!tree.IsValid(id))
                continue; // a number a removed entry left
            TFileNodeData &d = tree.Data(id);
            if (d.Kind() != NodeKind::Folder)
                std::swap(d.size, d.otherSize);
        }
        notes.summary.sizeKind = kind;
    }
    std::uint64_t elsewhere = 0;
    const auto &links = notes.links;
    for (std::size_t i = 0; i < links.size(); ++i) {
        const bool first = i == 0 || identity(links[i - 1]) != identity(links[i]);
        std::uint16_t &flags = tree.Data(links[i].node).flags;
        if (first || !hardLinksOnce) {
            flags &= ~TFileNodeData::Uncounted;
        } else {
            flags |= TFileNodeData::Uncounted;
            ++elsewhere;
        }
    }
    notes.summary.hardLinksOnce = hardLinksOnce;
    notes.summary.namesCountedElsewhere = elsewhere;

    const NodeId top = tree.First();
    if (top == kNoNode)
        return;
    try {
        const std::uint64_t total = RollUpFolderSize(tree, top);
        tree.SetSize(top, total);
        FillPercentagesAndCounts(tree, total);
        tree.SetCount(top, tree.NodeCount() - 1);
    } catch (const std::exception &) {
        // A size that is not a number leaves the top node's totals unset; the walk stands.
    }
}

} // namespace folvane
