#include "TreeSort.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
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
    // The folders are found as the sort goes: a thread that has sorted a folder's children goes
    // on with those that have children of their own, and hands some to the threads that wait for
    // work. So a folder's children are looked at (their child counts, which no thread changes)
    // while the thread that sorts them has them at hand, rather than in a walk over every node
    // beforehand, and no thread reads the records of nodes that another is writing.
    std::mutex mutex;
    std::condition_variable wake;
    std::vector<NodeId> shared;           // folders any thread may take
    std::atomic<std::size_t> pending{0};  // folders found and not yet done
    std::atomic<unsigned> waiting{0};     // threads waiting for work
    std::atomic<bool> failed{false};
    std::exception_ptr failure;
    if (tree.ChildCount(TNodeTree::Root()) > 0) {
        shared.push_back(TNodeTree::Root());
        pending = 1;
    }
    threads = std::max(threads, 1u);
    auto work = [&](unsigned thread) {
        std::vector<NodeId> mine, nodes;
        try {
            SiblingSort sort = newSort();
            while (!failed.load()) {
                NodeId parent;
                if (!mine.empty()) {
                    parent = mine.back();
                    mine.pop_back();
                } else {
                    std::unique_lock lock(mutex);
                    ++waiting;
                    wake.wait(lock, [&] { return !shared.empty() || pending.load() == 0 || failed.load(); });
                    --waiting;
                    if (shared.empty() || failed.load())
                        return;
                    parent = shared.back();
                    shared.pop_back();
                }
                nodes = tree.Children(parent);
                if (nodes.size() > 1) {
                    sort(parent, nodes);
                    tree.ReorderChildren(parent, nodes);
                }
                std::size_t found = 0;
                for (NodeId child : nodes) {
                    visit(child, thread);
                    if (tree.ChildCount(child) > 0) {
                        mine.push_back(child);
                        ++found;
                    }
                }
                // This folder is done and its subfolders are to do (a wrapping sum when there are none).
                if (pending.fetch_add(found - 1) + (found - 1) == 0) {
                    std::lock_guard lock(mutex); // the last folder: the waiting threads are done
                    wake.notify_all();
                } else if (waiting.load() > 0 && mine.size() > 1) {
                    // The folders found first lie nearest the top, with the most below them.
                    std::lock_guard lock(mutex);
                    const std::size_t half = mine.size() / 2;
                    shared.insert(shared.end(), mine.begin(), mine.begin() + std::ptrdiff_t(half));
                    mine.erase(mine.begin(), mine.begin() + std::ptrdiff_t(half));
                    wake.notify_all();
                }
            }
        } catch (...) {
            std::lock_guard lock(mutex);
            if (!failure)
                failure = std::current_exception();
            failed.store(true);
            wake.notify_all();
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
