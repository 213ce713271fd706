#include "RollUp.h"

#include <stdexcept>
#include <vector>

#include "catalog/FieldReaders.h"

namespace folvane {

namespace {

// The whole bytes a node adds to a total; a size that is not a number stops the roll-up.
std::uint64_t bytesOf(const TNodeTree &tree, NodeId node)
{
    if (auto size = SizeOf(tree, node))
        return size->bytes;
    throw std::runtime_error("the size of \"" + tree.Field(node, FullPath) + "\" is not a number");
}

} // namespace

std::uint64_t RollUpFolderSize(TNodeTree &tree, NodeId node)
{
    if (node != TNodeTree::Root() && !tree.IsValid(node))
        return 0;
    // Post-order without recursion, so that no folder depth can exhaust the stack: a folder's sum
    // is complete, and written, before it is added to its parent's.
    struct Frame {
        NodeId folder;
        NodeId next; // next child to look at
        std::uint64_t sum;
    };
    std::vector<Frame> stack{{node, tree.FirstChild(node), 0}};
    for (;;) {
        Frame &top = stack.back();
        if (top.next == kNoNode) {
            std::uint64_t sum = top.sum;
            NodeId folder = top.folder;
            stack.pop_back();
            if (stack.empty())
                return sum;
            tree.SetSize(folder, sum);
            stack.back().sum = AddBytes(stack.back().sum, sum);
            continue;
        }
        NodeId child = top.next;
        top.next = tree.NextSibling(child);
        if (IsFolder(tree, child))
            stack.push_back({child, tree.FirstChild(child), 0});
        else if (!(tree.Data(child).flags & TFileNodeData::Uncounted)) // a further name of a file counted elsewhere
            top.sum = AddBytes(top.sum, bytesOf(tree, child));
    }
}

void FillPercentagesAndCounts(TNodeTree &tree, std::uint64_t total)
{
    // Every node once, in storage order: the order does not change any result.
    for (NodeId id = 1; id < tree.IdLimit(); ++id) {
        if (!tree.IsValid(id))
            continue; // a number a removed node left
        tree.SetPercentage(id, bytesOf(tree, id), total);
        std::uint32_t below = tree.TotalCount(id);
        tree.SetCount(id, IsFolder(tree, id) ? below - 1 : below);
    }
}

} // namespace folvane
