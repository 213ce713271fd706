// The node tree's storage: blocks that never move, nothing allocated before the first node, and
// blocks of nodes added from several threads at once.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <set>
#include <thread>
#include <vector>

#include "catalog/BlockStore.h"
#include "catalog/NodeTree.h"

// Every allocation of this test binary is counted, so a test can see what an operation allocated.
// (The compiler cannot see that these replace the global pair and warns of malloc against delete.)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
namespace {
std::atomic<std::size_t> gAllocations{0};
std::atomic<std::size_t> gAllocatedBytes{0};
} // namespace

void *operator new(std::size_t size)
{
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    gAllocatedBytes.fetch_add(size, std::memory_order_relaxed);
    if (void *p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
// The form that answers null instead of throwing (std::stable_sort asks for its buffer so) must
// come from malloc as well, since the deletes below free.
void *operator new(std::size_t size, const std::nothrow_t &) noexcept
{
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    gAllocatedBytes.fetch_add(size, std::memory_order_relaxed);
    return std::malloc(size ? size : 1);
}
void operator delete(void *p) noexcept
{
    std::free(p);
}
void operator delete(void *p, std::size_t) noexcept
{
    std::free(p);
}

using namespace folvane;

namespace {

// What the code run inside it allocated.
struct AllocationCount {
    std::size_t calls0 = gAllocations.load(), bytes0 = gAllocatedBytes.load();
    std::size_t Calls() const { return gAllocations.load() - calls0; }
    std::size_t Bytes() const { return gAllocatedBytes.load() - bytes0; }
};

void addNamed(TNodeTree &tree, NodeId parent, int count)
{
    for (int i = 0; i < count; ++i)
        tree.SetName(tree.AddChild(parent), "entry" + std::to_string(i) + ".txt");
}

} // namespace

TEST(BlockStore, ElementsKeepTheirPlaceAndValueAcrossBlocks)
{
    TBlockStore<std::uint64_t, 2> store; // blocks of 4, 8, 16, ... elements
    std::vector<std::uint64_t *> places;
    for (std::uint32_t count : {1u, 3u, 1u, 7u, 20u, 100u, 1u, 500u}) {
        std::uint32_t first = store.Append(count);
        EXPECT_EQ(first, places.size());
        for (std::uint32_t i = first; i < first + count; ++i) {
            EXPECT_EQ(store[i], 0u) << i; // new elements are value-initialised
            store[i] = i * 3 + 1;
            places.push_back(&store[i]);
        }
    }
    ASSERT_EQ(store.Size(), places.size());
    std::set<std::uint64_t *> distinct(places.begin(), places.end());
    EXPECT_EQ(distinct.size(), places.size());
    for (std::uint32_t i = 0; i < store.Size(); ++i) {
        EXPECT_EQ(&store[i], places[i]) << i;
        EXPECT_EQ(store[i], i * 3 + 1) << i;
    }
}

TEST(BlockStore, MovingHandsOverTheBlocksAndDestroysWhatItHeld)
{
    auto tracked = std::make_shared<int>(7);
    TBlockStore<std::shared_ptr<int>, 1> store;
    store.Append(40);
    for (std::uint32_t i = 0; i < store.Size(); ++i)
        store[i] = tracked;
    std::shared_ptr<int> *first = &store[0];
    EXPECT_EQ(tracked.use_count(), 41);

    AllocationCount moves;
    TBlockStore<std::shared_ptr<int>, 1> moved(std::move(store));
    TBlockStore<std::shared_ptr<int>, 1> assigned;
    assigned = std::move(moved);
    EXPECT_EQ(moves.Calls(), 0u);
    EXPECT_EQ(store.Size(), 0u);
    EXPECT_EQ(moved.Size(), 0u);
    ASSERT_EQ(assigned.Size(), 40u);
    EXPECT_EQ(&assigned[0], first);
    EXPECT_EQ(tracked.use_count(), 41);

    assigned.Clear();
    EXPECT_EQ(tracked.use_count(), 1);
    EXPECT_EQ(assigned.Append(2), 0u); // usable again
}

TEST(NodeTreeStorage, EmptyClearedAndMovedTreesAllocateNothing)
{
    TNodeTree full;
    NodeId top = full.AddTopLevel();
    addNamed(full, top, 5000);
    full.SetField(top, Description, "written");

    AllocationCount count;
    {
        TNodeTree empty;
        EXPECT_EQ(empty.NodeCount(), 0u);
        EXPECT_EQ(empty.First(), kNoNode);
        EXPECT_EQ(empty.ChildCount(TNodeTree::Root()), 0u);
        EXPECT_EQ(empty.TotalCount(TNodeTree::Root()), 1u);
        TNodeTree moved(std::move(full));
        EXPECT_EQ(moved.NodeCount(), 5001u);
        EXPECT_EQ(moved.Field(top, Description), "written");
        EXPECT_EQ(full.NodeCount(), 0u);
        empty = std::move(moved);
        EXPECT_EQ(empty.Field(empty.Child(top, 4999), FileName), "entry4999.txt");
        empty.Clear();
        full.Clear();
        empty = std::move(full);
        EXPECT_EQ(empty.NodeCount(), 0u);
    }
    EXPECT_EQ(count.Calls(), 0u);
    EXPECT_EQ(count.Bytes(), 0u);
}

TEST(NodeTreeStorage, ASmallListCostsLittleAndACleanedTreeIsUsable)
{
    TNodeTree list;
    NodeId first = list.AddTopLevel();
    list.Clear(); // also after a clear, and in a moved-from tree, the first use starts small
    TNodeTree other(std::move(list));
    AllocationCount count;
    for (TNodeTree *tree : {&list, &other}) {
        NodeId top = tree->AddTopLevel();
        EXPECT_EQ(top, first);
        addNamed(*tree, TNodeTree::Root(), 40);
        EXPECT_EQ(tree->NodeCount(), 41u);
        EXPECT_EQ(tree->Field(tree->Child(TNodeTree::Root(), 40), FileName), "entry39.txt");
    }
    // Two lists of 41 entries: their nodes, names and child slots, well under the old 4 MiB each.
    EXPECT_LT(count.Bytes(), 64u * 1024u);
}

TEST(NodeTreeStorage, BlocksAddedFromSeveralThreadsStayWhereTheyWere)
{
    // Each thread adds its own subtrees in blocks, crossing many block boundaries of the store,
    // and checks the nodes it made earlier while the others keep adding.
    TNodeTree tree;
    NodeId top = tree.AddTopLevel();
    tree.SetName(top, "top");
    tree.BeginBulk();
    constexpr int kThreads = 4, kFolders = 200, kPerFolder = 37;
    NodeId heads = tree.AddChildBlock(top, kThreads);
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            TNodeTree::TextWriter writer(tree);
            std::vector<NodeId> made;
            NodeId parent = heads + NodeId(t);
            for (int f = 0; f < kFolders; ++f) {
                NodeId first = tree.AddChildBlock(parent, kPerFolder);
                for (int i = 0; i < kPerFolder; ++i) {
                    std::string name = std::to_string(t) + "-" + std::to_string(f) + "-" + std::to_string(i);
                    TFileNodeData &d = tree.Data(first + NodeId(i));
                    d.textRef = writer.Append(name);
                    d.textLen = d.nameLen = std::uint16_t(name.size());
                    d.size = std::uint64_t(t * 1000000 + f * 100 + i);
                    d.present = 1u << FileName;
                }
                made.push_back(first);
                parent = first; // the next block goes one level deeper
            }
            for (int f = 0; f < kFolders; ++f) {
                const TFileNodeData &d = tree.Data(made[f]);
                std::string name = std::to_string(t) + "-" + std::to_string(f) + "-0";
                if (tree.NameBytes(made[f]) != name || d.size != std::uint64_t(t * 1000000 + f * 100) ||
                    tree.Parent(made[f]) != (f == 0 ? heads + NodeId(t) : made[f - 1]))
                    ++failures;
            }
        });
    }
    for (auto &thread : threads)
        thread.join();
    tree.FinishBulk();
    EXPECT_EQ(failures.load(), 0);
    const std::uint32_t below = kFolders * kPerFolder;
    EXPECT_EQ(tree.NodeCount(), 1u + kThreads + kThreads * below);
    EXPECT_EQ(tree.TotalCount(top), 1u + kThreads + kThreads * below);
    for (int t = 0; t < kThreads; ++t) {
        NodeId n = tree.Child(heads + NodeId(t), 0);
        for (int f = 0; f < kFolders; ++f) {
            ASSERT_EQ(tree.ChildCount(tree.Parent(n)), std::uint32_t(kPerFolder));
            ASSERT_EQ(tree.Field(tree.Child(tree.Parent(n), kPerFolder - 1), FileName),
                      std::to_string(t) + "-" + std::to_string(f) + "-" + std::to_string(kPerFolder - 1));
            n = tree.FirstChild(n);
        }
        EXPECT_EQ(n, kNoNode);
    }
}
