#include "views/TreemapLink.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <stdexcept>

#include "catalog/CatalogEdit.h"
#include "common/SafeFile.h"
#include "common/TextForms.h"
#include "common/UiServices.h"
#include "common/uFunction.h"
#include "export/PromptSaveFile.h"
#include "views/uCtrl.h"

namespace folvane {

namespace {

bool isFolder(const TNodeTree &tree, NodeId node)
{
    return tree.Data(node).Kind() == NodeKind::Folder;
}

// The folder an entry is shown in: a folder itself, a file's folder (a top-level file itself).
NodeId folderOf(const TNodeTree &tree, NodeId node)
{
    if (isFolder(tree, node) || tree.Parent(node) == TNodeTree::Root())
        return node;
    return tree.Parent(node);
}

} // namespace

NodeId TreemapRootFor(const TNodeTree &tree, NodeId root, NodeId shown)
{
    if (!tree.IsValid(shown))
        return root;
    if (!tree.IsValid(root))
        return folderOf(tree, shown);
    std::vector<NodeId> line; // `shown` and every folder above it
    for (NodeId n = shown; n != TNodeTree::Root() && n != kNoNode; n = tree.Parent(n)) {
        if (n == root)
            return root;
        line.push_back(n);
    }
    std::sort(line.begin(), line.end());
    for (NodeId up = tree.Parent(root); up != TNodeTree::Root() && up != kNoNode; up = tree.Parent(up))
        if (std::binary_search(line.begin(), line.end(), up))
            return up;
    return folderOf(tree, shown); // another top-level entry
}

std::uint32_t TreemapZoomTarget(const TTreemap &map, const std::vector<std::uint32_t> &path)
{
    for (auto it = path.rbegin(); it != path.rend(); ++it)
        if (*it != 0 && map.items[*it].Is(TTreemapItem::Folder))
            return *it;
    return kNoTile;
}

void SelectInTree(ITreeGrid &grid, NodeId node)
{
    const TNodeTree &tree = grid.Nodes();
    if (!tree.IsValid(node))
        return;
    std::vector<NodeId> above;
    for (NodeId n = tree.Parent(node); n != TNodeTree::Root() && n != kNoNode; n = tree.Parent(n))
        above.push_back(n);
    for (auto it = above.rbegin(); it != above.rend(); ++it)
        grid.SetExpanded(*it, true);
    grid.SelectNode(node);
    grid.SetFocusedNode(node);
}

NodeId NodeOfPath(const TNodeTree &tree, std::string_view path)
{
    return TPathFinder(tree).Find(path);
}

std::string TreemapShareText(std::uint64_t part, std::uint64_t total)
{
    return PercentText(part, total) + "%";
}

std::string TreemapHoverText(const TNodeTree &tree, const TTreemap &map, std::uint32_t item)
{
    if (item >= map.items.size() || !tree.IsValid(map.items[item].node))
        return {};
    const TTreemapItem &tile = map.items[item];
    const NodeId node = tile.node;
    const std::uint64_t size = TreemapSizeOf(tree, node);
    std::string text = tree.Field(node, FileName);
    text += "\n" + FormatBytes(size) + "  (" + TreemapShareText(size, map.total) + ")";
    text += "\n" + tree.Field(node, FullPath);
    if (!tile.Is(TTreemapItem::Folder))
        return text;
    // What the folder's own area stands for: the entries with bytes that have no tile of their own.
    std::vector<NodeId> drawn;
    for (std::uint32_t c = item + 1; c < tile.end; c = map.items[c].end)
        if (map.items[c].Is(TTreemapItem::Placed))
            drawn.push_back(map.items[c].node);
    std::sort(drawn.begin(), drawn.end());
    std::uint64_t count = 0, bytes = 0;
    for (NodeId child = tree.FirstChild(node); child != kNoNode; child = tree.NextSibling(child)) {
        const std::uint64_t childSize = TreemapSizeOf(tree, child);
        if (childSize > 0 && !std::binary_search(drawn.begin(), drawn.end(), child)) {
            ++count;
            bytes += childSize;
        }
    }
    if (count > 0)
        text += "\n" + std::to_string(count) + (count == 1 ? " entry" : " entries") + " too small to draw: " +
                FormatBytes(bytes);
    return text;
}

void SaveTreemapImage(const std::function<std::string(const std::string &format)> &encode)
{
    const std::string path = PromptSaveFile(".png", "PNG File|*.png|BMP File|*.bmp", "");
    if (path.empty())
        return;
    const std::size_t dot = path.find_last_of("./");
    std::string ext = dot != std::string::npos && path[dot] == '.' ? path.substr(dot + 1) : std::string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    const std::string format = ext == "bmp" ? "BMP" : "PNG";
    try {
        const std::string bytes = encode(format);
        if (bytes.empty())
            throw std::runtime_error("the picture could not be encoded as " + format);
        WriteFileAtomically(path, bytes);
    } catch (const std::exception &failure) {
        Ui().MessageBox("The treemap could not be saved.\n\n" + std::string(failure.what()), "Error", MsgButtons::Ok,
                        MsgIcon::Stop);
        return;
    }
    Ui().MessageBox("Export Finished", "Done", MsgButtons::Ok, MsgIcon::None);
}

} // namespace folvane
