#include "views/TreeSort.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <random>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

namespace folvane {
namespace {

// A tree whose nodes carry their key in FileSize: a top level of `n`, each with `n / 4` children.
TNodeTree makeTree(int n, std::mt19937 &rng)
{
    TNodeTree tree;
    std::uniform_int_distribution<int> key(0, 20);
    for (int i = 0; i < n; ++i) {
        NodeId top = tree.AddTopLevel();
        tree.SetSize(top, key(rng));
        for (int j = 0; j < n / 4; ++j)
            tree.SetSize(tree.AddChild(top), key(rng));
    }
    return tree;
}

std::vector<std::uint64_t> keysOf(const TNodeTree &tree, NodeId parent)
{
    std::vector<std::uint64_t> keys;
    for (NodeId c : tree.Children(parent))
        keys.push_back(tree.Data(c).size);
    return keys;
}

TEST(SortTree, EveryLevelInBothDirections)
{
    std::mt19937 rng(7);
    TNodeTree tree = makeTree(40, rng);
    auto byKey = [&](NodeId a, NodeId b) {
        auto x = tree.Data(a).size, y = tree.Data(b).size;
        return x < y ? -1 : x > y ? 1 : 0;
    };
    for (SortDirection dir : {SortDirection::Ascending, SortDirection::Descending}) {
        SortTree(tree, byKey, dir);
        for (NodeId parent = 0; parent <= tree.NodeCount(); ++parent) {
            auto keys = keysOf(tree, parent);
            if (dir == SortDirection::Ascending)
                EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
            else
                EXPECT_TRUE(std::is_sorted(keys.rbegin(), keys.rend()));
            for (NodeId c : tree.Children(parent)) // rows follow the new order
                EXPECT_EQ(tree.Child(parent, tree.Row(c)), c);
        }
    }
}

TEST(SortTree, EqualKeysKeepTheirOrderWithAnOrder)
{
    TNodeTree tree;
    for (int i = 0; i < 9; ++i)
        tree.SetSize(tree.AddTopLevel(), i % 3);
    std::vector<NodeId> before = tree.Children(0);
    SortTree(tree, [&](NodeId a, NodeId b) { return int(tree.Data(a).size) - int(tree.Data(b).size); },
             SortDirection::Ascending);
    std::vector<NodeId> after = tree.Children(0);
    EXPECT_EQ(after, (std::vector<NodeId>{before[0], before[3], before[6], before[1], before[4], before[7],
                                          before[2], before[5], before[8]}));
}

// Comparisons that are not orders: the sort must finish, in bounds, with every node still there once,
// and ask no more than n log n questions per level.
TEST(SortTree, TerminatesWithComparisonsThatAreNotOrders)
{
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> coin(-1, 1);
    struct Case {
        const char *name;
        std::function<int(NodeId, NodeId)> compare;
    };
    std::vector<Case> cases = {
        {"always -1", [](NodeId, NodeId) { return -1; }},
        {"always 1", [](NodeId, NodeId) { return 1; }},
        {"always 0", [](NodeId, NodeId) { return 0; }},
        {"random", [&](NodeId, NodeId) { return coin(rng); }},
        {"cyclic", [](NodeId a, NodeId b) { return (a + 1) % 3 == b % 3 ? -1 : 1; }},
    };
    for (const Case &c : cases) {
        for (int n : {0, 1, 2, 3, 17, 1000}) {
            TNodeTree tree;
            for (int i = 0; i < n; ++i)
                tree.AddTopLevel();
            std::vector<NodeId> before = tree.Children(0);
            long asked = 0;
            for (SortDirection dir : {SortDirection::Ascending, SortDirection::Descending}) {
                SortTree(tree, [&](NodeId a, NodeId b) { ++asked; return c.compare(a, b); }, dir);
                std::vector<NodeId> after = tree.Children(0);
                std::sort(after.begin(), after.end());
                EXPECT_EQ(after, before) << c.name << " n=" << n;
            }
            EXPECT_LE(asked, 2L * n * 11) << c.name << " n=" << n;
        }
    }
}

// Thousands of folders shared among threads, trees of other shapes too: the same order as one
// thread gives, every node handed to the visit exactly once, each comparison used by the thread
// that made it alone, and an error in a comparison or a visit comes back to the caller.
TEST(SortTree, InParallelAsOnOneThreadEachNodeVisitedOnce)
{
    using Build = std::function<void(TNodeTree &, const std::function<int()> &key)>;
    const std::pair<const char *, Build> shapes[] = {
        // 1,500 top-level folders of three folders of two files: 7,501 parents.
        {"wide",
         [](TNodeTree &tree, const std::function<int()> &key) {
             for (int i = 0; i < 1500; ++i) {
                 NodeId top = tree.AddTopLevel();
                 tree.SetSize(top, key());
                 for (int j = 0; j < 3; ++j) {
                     NodeId folder = tree.AddChild(top);
                     tree.SetSize(folder, key());
                     for (int k = 0; k < 2; ++k)
                         tree.SetSize(tree.AddChild(folder), key());
                 }
             }
         }},
        // 300 folders each inside the one before, each with two files: one folder to do at a time.
        {"deep",
         [](TNodeTree &tree, const std::function<int()> &key) {
             NodeId folder = TNodeTree::Root();
             for (int i = 0; i < 300; ++i) {
                 for (int k = 0; k < 2; ++k)
                     tree.SetSize(tree.AddChild(folder), key());
                 folder = tree.AddChild(folder);
                 tree.SetSize(folder, key());
             }
         }},
        {"top level only",
         [](TNodeTree &tree, const std::function<int()> &key) {
             for (int i = 0; i < 50; ++i)
                 tree.SetSize(tree.AddTopLevel(), key());
         }},
        {"empty", [](TNodeTree &, const std::function<int()> &) {}},
    };
    auto byKey = [](const TNodeTree &tree) {
        return [&tree](NodeId a, NodeId b) { return int(tree.Data(a).size) - int(tree.Data(b).size); };
    };
    for (const auto &[shape, make] : shapes) {
        SCOPED_TRACE(shape);
        auto build = [&make](TNodeTree &tree) {
            std::mt19937 rng(5);
            std::uniform_int_distribution<int> key(0, 9);
            tree.Clear();
            make(tree, [&] { return key(rng); });
        };
        for (SortDirection dir : {SortDirection::Ascending, SortDirection::Descending}) {
            TNodeTree one, shared;
            build(one);
            build(shared);
            SortTree(one, byKey(one), dir);
            std::vector<int> visits(shared.NodeCount() + 1, 0);
            std::atomic<int> made{0}, strays{0};
            auto ownCompare = [&]() -> NodeCompare {
                ++made;
                return [compare = byKey(shared), owner = std::this_thread::get_id(), &strays](NodeId a, NodeId b) {
                    if (std::this_thread::get_id() != owner)
                        ++strays;
                    return compare(a, b);
                };
            };
            std::vector<std::thread::id> visitors(4);
            std::atomic<int> mixed{0};
            SortTreeInParallel(shared, ownCompare, dir, 4, [&](NodeId n, unsigned thread) {
                ++visits[n];
                // Each thread visits under a number of its own.
                if (visitors[thread] == std::thread::id())
                    visitors[thread] = std::this_thread::get_id();
                else if (visitors[thread] != std::this_thread::get_id())
                    ++mixed;
            });
            for (NodeId parent = 0; parent <= one.NodeCount(); ++parent)
                ASSERT_EQ(shared.Children(parent), one.Children(parent)) << "folder " << parent;
            EXPECT_GE(made.load(), 1);
            EXPECT_LE(made.load(), 4);
            EXPECT_EQ(strays.load(), 0);
            EXPECT_EQ(mixed.load(), 0);
            EXPECT_EQ(visits[0], 0); // the invisible root is nobody's child
            EXPECT_TRUE(std::all_of(visits.begin() + 1, visits.end(), [](int v) { return v == 1; }));
        }
    }

    TNodeTree tree;
    std::mt19937 rng(5);
    shapes[0].second(tree, [&] { return int(rng() % 10); });
    const NodeId bad = tree.NodeCount() / 2;
    auto throwsAt = [&](NodeId a, unsigned = 0) {
        if (a == bad)
            throw std::runtime_error("unreadable");
    };
    auto throwing = [&]() -> NodeCompare {
        return [&](NodeId a, NodeId) {
            throwsAt(a);
            return 0;
        };
    };
    auto even = []() -> NodeCompare { return [](NodeId, NodeId) { return 0; }; };
    EXPECT_THROW(SortTreeInParallel(tree, throwing, SortDirection::Ascending, 4, [](NodeId, unsigned) {}),
                 std::runtime_error);
    EXPECT_THROW(SortTreeInParallel(tree, even, SortDirection::Ascending, 4, throwsAt), std::runtime_error);
}

} // namespace
} // namespace folvane
