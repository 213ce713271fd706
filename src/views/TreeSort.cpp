#include "TreeSort.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

namespace folvane {

namespace {

void sortWith(std::vector<NodeId> &nodes, std::vector<NodeId> &buffer, const NodeCompare &compare,
              SortDirection direction)
{
    if (direction == SortDirection::Ascending)
        MergeSortNodes(nodes, buffer, [&](NodeId r, NodeId l) { return compare(r, l) < 0; });
    else
        MergeSortNodes(nodes, buffer, [&](NodeId r, NodeId l) { return compare(r, l) > 0; });
}

} // namespace

void SortSiblings(std::vector<NodeId> &nodes, const NodeCompare &compare, SortDirection direction)
{
    std::vector<NodeId> buffer;
    sortWith(nodes, buffer, compare, direction);
}

bool SortChildren(TNodeTree &tree, NodeId parent, const NodeCompare &compare, SortDirection direction)
{
    if (tree.ChildCount(parent) < 2)
        return false;
    std::vector<NodeId> nodes = tree.Children(parent), buffer;
    sortWith(nodes, buffer, compare, direction);
    bool changed = false;
    for (std::uint32_t row = 0; row < nodes.size() && !changed; ++row)
        changed = tree.Child(parent, row) != nodes[row];
    if (changed)
        tree.ReorderChildren(parent, nodes);
    return changed;
}

void SortSubtree(TNodeTree &tree, NodeId node, const NodeCompare &compare, SortDirection direction)
{
    std::vector<NodeId> folders{node};
    while (!folders.empty()) {
        const NodeId folder = folders.back();
        folders.pop_back();
        SortChildren(tree, folder, compare, direction);
        for (NodeId child = tree.FirstChild(folder); child != kNoNode; child = tree.NextSibling(child))
            if (tree.ChildCount(child) > 0)
                folders.push_back(child);
    }
}

void SortTree(TNodeTree &tree, const NodeCompare &compare, SortDirection direction)
{
    std::vector<NodeId> nodes, buffer;
    // Nodes are numbered from 0 (the invisible root) to below IdLimit(): every parent is among
    // them, and a number no longer in use has no children.
    for (NodeId parent = 0; parent < tree.IdLimit(); ++parent) {
        if (tree.ChildCount(parent) < 2)
            continue;
        nodes = tree.Children(parent);
        sortWith(nodes, buffer, compare, direction);
        tree.ReorderChildren(parent, nodes);
    }
}

void SortTreeInParallel(TNodeTree &tree, const std::function<NodeCompare()> &newCompare, SortDirection direction,
                        unsigned threads, const std::function<void(NodeId node, unsigned thread)> &visit)
{
    auto newSort = [&]() -> SiblingSort {
        return [compare = newCompare(), direction, buffer = std::vector<NodeId>()](NodeId, std::vector<NodeId> &nodes) mutable {
            sortWith(nodes, buffer, compare, direction);
        };
    };
    SortTreeInParallel(tree, newSort, threads, visit);
}

void SortTreeInParallel(TNodeTree &tree, const std::function<SiblingSort()> &newSort, unsigned threads,
                        const std::function<void(NodeId node, unsigned thread)> &visit)
{
    // The folders are listed first, so that no thread reads the records of nodes that another
    // is writing while it looks for folders. They are then taken in runs from a shared counter:
    // a thread that meets large folders simply takes fewer runs. (As in SortTree, a number no
    // longer in use has no children.)
    std::vector<NodeId> folders;
    for (NodeId node = 0; node < tree.IdLimit(); ++node)
        if (tree.ChildCount(node) > 0)
            folders.push_back(node);
    constexpr std::size_t kRun = 64;
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    std::mutex failureMutex;
    std::exception_ptr failure;
    threads = std::max(threads, 1u);
    auto work = [&](unsigned thread) {
        std::vector<NodeId> nodes;
        try {
            SiblingSort sort = newSort();
            for (std::size_t begin = next.fetch_add(kRun); begin < folders.size() && !failed.load();
                 begin = next.fetch_add(kRun)) {
                const std::size_t end = std::min(begin + kRun, folders.size());
                for (std::size_t i = begin; i < end; ++i) {
                    const NodeId parent = folders[i];
                    nodes = tree.Children(parent);
                    if (nodes.size() > 1) {
                        sort(parent, nodes);
                        tree.ReorderChildren(parent, nodes);
                    }
                    for (NodeId child : nodes)
                        visit(child, thread);
                }
            }
        } catch (...) {
            std::lock_guard lock(failureMutex);
            if (!failure)
                failure = std::current_exception();
            failed.store(true);
        }
    };
    std::vector<std::thread> helpers;
    for (unsigned i = 1; i < threads; ++i) {
        try {
            helpers.emplace_back(work, i);
        } catch (const std::system_error &) {
            break; // no more threads to be had: the ones running do the work
        }
    }
    work(0);
    for (std::thread &helper : helpers)
        helper.join();
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace folvane
