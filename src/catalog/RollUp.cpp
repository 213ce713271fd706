#include "RollUp.h"

#include <stdexcept>
#include <vector>

namespace folvane {

double SizeOf(const TNodeTree &tree, NodeId node)
{
    const TFileNodeData &d = tree.Data(node);
    if (d.Has(FileSize)) {
        const std::string *written = tree.Override(node, FileSize);
        if (!written)
            return double(d.size);
        if (auto v = ParseFloat(*written))
            return *v;
    }
    throw std::runtime_error("the size of \"" + tree.Field(node, FullPath) + "\" is not a number");
}

namespace {

std::uint64_t exactSizeOf(const TNodeTree &tree, NodeId node)
{
    const TFileNodeData &d = tree.Data(node);
    if (d.Has(FileSize) && !tree.Override(node, FileSize))
        return d.size;
    double v = SizeOf(tree, node);
    return v <= 0 ? 0 : std::uint64_t(v);
}

} // namespace

std::uint64_t RollUpFolderSize(TNodeTree &tree, NodeId node)
{
    if (node == kNoNode || node >= tree.NodeCount() + 1)
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
            stack.back().sum += sum;
            continue;
        }
        NodeId child = top.next;
        top.next = tree.NextSibling(child);
        const TFileNodeData &d = tree.Data(child);
        if (d.Kind() == NodeKind::Folder)
            stack.push_back({child, tree.FirstChild(child), 0});
        else if (!(d.flags & TFileNodeData::Uncounted)) // a further name of a file counted elsewhere
            top.sum += exactSizeOf(tree, child);
    }
}

void FillPercentagesAndCounts(TNodeTree &tree, double total)
{
    // Every node once, in storage order: the order does not change any result.
    NodeId last = tree.NodeCount();
    for (NodeId id = 1; id <= last; ++id) {
        const TFileNodeData &d = tree.Data(id);
        std::uint64_t size = exactSizeOf(tree, id);
        tree.SetPercentage(id, size, total);
        std::uint32_t below = tree.TotalCount(id);
        tree.SetCount(id, d.Kind() == NodeKind::Folder ? below - 1 : below);
    }
}

} // namespace folvane
