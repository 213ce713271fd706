// Two catalogues compared folder by folder.

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "ScanFixtures.h"
#include "catalog/CatalogCompare.h"
#include "catalog/RollUp.h"

using namespace folvane;
using folvane::test::NodeAt;

namespace {

// A catalogue from lines "path size" ("path/" for a folder), below a top folder.
void build(TNodeTree &tree, const std::string &top, std::initializer_list<std::pair<std::string, std::uint64_t>> entries)
{
    tree.Clear();
    const NodeId root = tree.AddTopLevel();
    tree.SetExplicitPath(root, top, top.size());
    tree.SetField(root, FileType, "folder");
    for (const auto &[path, size] : entries) {
        const bool folder = path.ends_with('/');
        const std::string clean = folder ? path.substr(0, path.size() - 1) : path;
        const std::size_t slash = clean.rfind('/');
        const NodeId parent = slash == std::string::npos ? root : NodeAt(tree, clean.substr(0, slash));
        const NodeId n = tree.AddChild(parent);
        tree.SetName(n, slash == std::string::npos ? clean : clean.substr(slash + 1));
        tree.SetField(n, FileType, folder ? "folder" : "file");
        tree.SetSize(n, size);
    }
    tree.SetSize(root, RollUpFolderSize(tree, root));
}

std::map<std::string, std::string> rows(const TComparison &c, const TNodeTree &then, const TNodeTree &now)
{
    std::map<std::string, std::string> out;
    for (const TChange &change : c.changes)
        out[ChangePath(then, now, change)] = std::string(ChangeStatus(change)) + " " + std::to_string(change.sizeThen) + " " +
                                             std::to_string(change.sizeNow);
    return out;
}

} // namespace

TEST(CatalogCompare, ListsWhatChangedByPathBelowTheTop)
{
    TNodeTree then, now;
    build(then, "/srv", {{"same.txt", 5},
                         {"grows.log", 100},
                         {"shrinks.bin", 50},
                         {"gone.tmp", 7},
                         {"old/", 0},
                         {"old/a", 1},
                         {"old/b", 2},
                         {"kind", 3},
                         {"docs/", 0},
                         {"docs/keep", 10},
                         {"docs/more", 20}});
    build(now, "/srv", {{"same.txt", 5},
                        {"grows.log", 1100},
                        {"shrinks.bin", 40},
                        {"new/", 0},
                        {"new/x", 4},
                        {"kind/", 0},
                        {"kind/inner", 9},
                        {"docs/", 0},
                        {"docs/keep", 10},
                        {"docs/more", 20}});
    const TComparison c = CompareCatalogues(then, now);
    EXPECT_TRUE(c.sameTop);
    const std::map<std::string, std::string> expected = {
        {".", "grown 198 1188"},      {"grows.log", "grown 100 1100"}, {"shrinks.bin", "shrunk 50 40"},
        {"gone.tmp", "gone 7 0"},     {"old", "gone 3 0"},             {"old/a", "gone 1 0"},
        {"old/b", "gone 2 0"},        {"new", "new 0 4"},              {"new/x", "new 0 4"},
        {"kind", "gone 3 0"},         {"kind/inner", "new 0 9"},
    };
    auto got = rows(c, then, now);
    // "kind" is a file then and a folder now: gone as the one, new as the other.
    EXPECT_EQ(got.erase("kind"), 1u);
    auto want = expected;
    want.erase("kind");
    EXPECT_EQ(got, want);
    std::size_t kinds = 0;
    for (const TChange &change : c.changes)
        if (ChangePath(then, now, change) == "kind")
            ++kinds;
    EXPECT_EQ(kinds, 2u);

    // Largest growth first, largest shrinking last.
    ASSERT_FALSE(c.changes.empty());
    EXPECT_EQ(ChangePath(then, now, c.changes.front()), "grows.log");
    EXPECT_EQ(ChangePath(then, now, c.changes.back()), "shrinks.bin");
    for (std::size_t i = 1; i < c.changes.size(); ++i)
        EXPECT_GE(c.changes[i - 1].Change(), c.changes[i].Change());
}

TEST(CatalogCompare, CataloguesOfTwoFoldersAreComparedByRelativePath)
{
    TNodeTree then, now;
    build(then, "/backup/2024", {{"a", 1}, {"b", 2}});
    build(now, "/srv", {{"a", 1}, {"b", 5}});
    const TComparison c = CompareCatalogues(then, now);
    EXPECT_FALSE(c.sameTop);
    EXPECT_EQ(c.topThen, "/backup/2024");
    EXPECT_EQ(c.topNow, "/srv");
    EXPECT_EQ(rows(c, then, now), (std::map<std::string, std::string>{{".", "grown 3 6"}, {"b", "grown 2 5"}}));

    TNodeTree empty;
    EXPECT_EQ(rows(CompareCatalogues(empty, now), empty, now).size(), 3u) << "all new";
    EXPECT_EQ(rows(CompareCatalogues(then, then), then, then).size(), 0u) << "nothing changed";
}

TEST(CatalogCompare, SortsByEachColumn)
{
    TNodeTree then, now;
    build(then, "/t", {{"b", 10}, {"A", 30}, {"c", 5}});
    build(now, "/t", {{"b", 40}, {"A", 20}, {"d", 1}});
    TComparison c = CompareCatalogues(then, now);
    auto order = [&] {
        std::string s;
        for (const TChange &change : c.changes)
            s += ChangePath(then, now, change) + " ";
        return s;
    };
    const struct {
        ChangeColumn column;
        bool descending;
        const char *expected;
    } cases[] = {
        {ChangeColumn::Path, false, ". A b c d "},       {ChangeColumn::Path, true, "d c b A . "},
        {ChangeColumn::SizeThen, false, "d c b A . "},   {ChangeColumn::SizeNow, true, ". b A d c "},
        {ChangeColumn::Change, true, "b . d c A "},      {ChangeColumn::Change, false, "A c d . b "},
        {ChangeColumn::Status, false, "c . b d A "},
    };
    for (const auto &k : cases) {
        SortChanges(c.changes, then, now, k.column, k.descending);
        EXPECT_EQ(order(), k.expected) << int(k.column) << " " << k.descending;
    }
}

TEST(CatalogCompare, AnEntryFindsItsNearestCounterpart)
{
    TNodeTree then, now;
    build(then, "/t", {{"keep/", 0}, {"keep/gone/", 0}, {"keep/gone/x", 1}, {"keep/y", 2}});
    build(now, "/u", {{"keep/", 0}, {"keep/y", 3}});
    EXPECT_EQ(NearestCounterpart(then, NodeAt(then, "keep/gone/x"), now), NodeAt(now, "keep"));
    EXPECT_EQ(NearestCounterpart(then, NodeAt(then, "keep/y"), now), NodeAt(now, "keep/y"));
    EXPECT_EQ(NearestCounterpart(then, then.First(), now), now.First());
    TNodeTree empty;
    EXPECT_EQ(NearestCounterpart(then, NodeAt(then, "keep"), empty), kNoNode);
}
