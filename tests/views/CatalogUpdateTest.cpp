// The statistics of the entry shown, brought up to date in place after a change below it, equal
// a count made anew: the counters, and the types with their labels in the order a count gives.

#include <random>

#include <gtest/gtest.h>
#include <tuple>

#include "Catalog.h"
#include "catalog/CatalogEdit.h"
#include "views/CatalogUpdate.h"

namespace folvane::test {
namespace {

class CatalogUpdateTest : public ControllerFixture {
protected:
    // Extensions that differ in case only share a type; the first form met labels it.
    const std::vector<std::string> names{"a.txt", "B.TXT", "c.Txt", "d.c", "e.h", "f", "g.md", "h.C", "i.jpg", "j.JPG"};

    // A folder with random files and subfolders, `depth` levels down.
    void fill(CatalogBuilder &b, NodeId folder, int depth)
    {
        const int files = int(random() % 5);
        for (int i = 0; i < files; ++i)
            b.File(folder, std::to_string(serial++) + names[random() % names.size()], random() % 200000,
                   NowSeconds() - LocalSeconds(random() % (800 * 86400)));
        if (depth > 0)
            for (int i = 0, n = int(random() % 4); i < n; ++i)
                fill(b, b.Folder(folder, "d" + std::to_string(serial++)), depth - 1);
    }
    // A random folder of VT at or below `within`.
    NodeId someFolder(NodeId within)
    {
        std::vector<NodeId> folders;
        const std::uint32_t total = Tree().TotalCount(within);
        NodeId n = within;
        for (std::uint32_t i = 0; i < total; ++i, n = Tree().Next(n))
            if (Tree().Data(n).Kind() == NodeKind::Folder)
                folders.push_back(n);
        return folders[random() % folders.size()];
    }
    std::vector<std::tuple<std::string, std::uint64_t, std::uint64_t>> types()
    {
        std::vector<std::tuple<std::string, std::uint64_t, std::uint64_t>> out;
        for (const auto &e : ctrl->TypeCounts.Entries())
            out.emplace_back(e.ext, e.count, e.bytes);
        return out;
    }
    void expectAsCountedAnew(const std::string &what)
    {
        SCOPED_TRACE(what);
        const auto size = ctrl->SizeCounts, access = ctrl->AccessCounts;
        const auto kinds = types();
        ctrl->CountClasses();
        EXPECT_EQ(size, ctrl->SizeCounts);
        EXPECT_EQ(access, ctrl->AccessCounts);
        EXPECT_EQ(kinds, types());
    }

    std::mt19937 random{20240615};
    int serial = 0;
};

TEST_F(CatalogUpdateTest, CountsInPlaceEqualCountsMadeAnew)
{
    CatalogBuilder b(Tree(), "/r");
    fill(b, b.top, 4);
    b.Finish();
    AfterScan();
    TCatalogUpdate update(*ctrl);
    int inPlace = 0, rounds = 0;
    for (int round = 0; round < 150; ++round) {
        // Shown: the top or a folder holding the change; the change somewhere below it.
        if (random() % 3 == 0)
            VT().SelectNode(someFolder(Tree().First()));
        const NodeId shown = ctrl->CurrentNode;
        NodeId target = someFolder(shown);
        if (target == shown || Tree().Parent(target) == TNodeTree::Root())
            continue;
        ++rounds;
        if (random() % 2 == 0) {
            std::vector<NodeId> gone{target};
            if (Tree().ChildCount(target) > 0)
                gone = {Tree().Child(target, std::uint32_t(random() % Tree().ChildCount(target)))};
            update.RemoveEntries(gone);
            expectAsCountedAnew("removal in round " + std::to_string(round));
        } else {
            TNodeTree walked;
            CatalogBuilder w(walked, Tree().PathBytes(target));
            fill(w, w.top, 2);
            w.Finish();
            update.RefreshFolder(target, walked);
            expectAsCountedAnew("refresh in round " + std::to_string(round));
        }
        inPlace += update.CountedInPlace();
        if (Tree().TotalCount(Tree().First()) < 40) { // worn down: a new catalogue
            CatalogBuilder again(Tree(), "/r");
            fill(again, again.top, 4);
            again.Finish();
            AfterScan();
        }
    }
    // Most changes are counted in place; the rest are the cases only a count can settle.
    EXPECT_GT(inPlace, rounds / 2);
}

} // namespace
} // namespace folvane::test
