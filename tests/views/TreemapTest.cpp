// The treemap's layout and its links to the tree: geometry of the tiles (nesting, no overlap,
// areas by size, squarified shapes, small entries merged), hit tests, gathering in steps, the
// root the map follows, share texts, type colours, selecting in the tree and saving a picture.

#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>

#include <gtest/gtest.h>

#include "Catalog.h"
#include "support/Files.h"
#include "views/TreemapLayout.h"
#include "views/TreemapLink.h"
#include "views/TypeColour.h"

namespace folvane::test {
namespace {

TTreemap MapOf(const TNodeTree &tree, NodeId root, const TTreemapOptions &options)
{
    TTreemapGather gather(tree, root, options);
    while (!gather.Step(1000)) {
    }
    TTreemap map = gather.Take();
    EXPECT_TRUE(LayOutTreemap(map, options));
    return map;
}

// Where a placed folder's children may go (the layout's rule, restated for the checks).
TTileRect InnerOf(const TTreemap &map, std::uint32_t i, const TTreemapOptions &o)
{
    TTileRect r = map.items[i].Rect();
    if (i == 0)
        return r;
    r = {std::int16_t(r.x + o.frame), std::int16_t(r.y + o.frame), std::int16_t(r.w - 2 * o.frame),
         std::int16_t(r.h - 2 * o.frame)};
    if (map.items[i].Is(TTreemapItem::Labelled))
        r = {r.x, std::int16_t(r.y + o.labelHeight), r.w, std::int16_t(r.h - o.labelHeight)};
    return r;
}

bool Inside(const TTileRect &in, const TTileRect &out)
{
    return in.x >= out.x && in.y >= out.y && in.x + in.w <= out.x + out.w && in.y + in.h <= out.y + out.h;
}

bool Overlap(const TTileRect &a, const TTileRect &b)
{
    return a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h;
}

std::vector<std::uint32_t> PlacedChildren(const TTreemap &map, std::uint32_t i)
{
    std::vector<std::uint32_t> children;
    for (std::uint32_t c = i + 1; c < map.items[i].end; c = map.items[c].end)
        if (map.items[c].Is(TTreemapItem::Placed))
            children.push_back(c);
    return children;
}

// Every placed tile lies inside its folder's inner area, siblings do not overlap, each child's
// area is its share of that area, and what no child covers is the share of the entries merged
// into the folder (all within the rounding of each edge to a whole pixel).
void ExpectSoundGeometry(const TNodeTree &tree, const TTreemap &map, const TTreemapOptions &o)
{
    ASSERT_FALSE(map.items.empty());
    ASSERT_TRUE(map.items[0].Is(TTreemapItem::Placed));
    EXPECT_EQ(map.items[0].Rect(), (TTileRect{0, 0, std::int16_t(o.width), std::int16_t(o.height)}));
    for (std::uint32_t i = 0; i < map.items.size(); ++i) {
        const TTreemapItem &item = map.items[i];
        if (!item.Is(TTreemapItem::Placed))
            continue;
        const std::vector<std::uint32_t> children = PlacedChildren(map, i);
        if (children.empty())
            continue;
        const TTileRect inner = InnerOf(map, i, o);
        const double size = double(TreemapSizeOf(tree, item.node));
        double covered = 0, coveredBytes = 0, slack = 0;
        for (std::size_t a = 0; a < children.size(); ++a) {
            const TTileRect r = map.items[children[a]].Rect();
            EXPECT_TRUE(Inside(r, inner)) << "item " << children[a] << " leaves its folder " << i;
            for (std::size_t b = a + 1; b < children.size(); ++b)
                EXPECT_FALSE(Overlap(r, map.items[children[b]].Rect()))
                    << "items " << children[a] << " and " << children[b] << " overlap";
            const double bytes = double(TreemapSizeOf(tree, map.items[children[a]].node));
            const double expected = double(inner.Area()) * bytes / size;
            EXPECT_NEAR(double(r.Area()), expected, r.w + r.h + 1.0) << "item " << children[a];
            covered += double(r.Area());
            coveredBytes += bytes;
            slack += r.w + r.h + 1.0;
        }
        const double merged = double(inner.Area()) * (size - coveredBytes) / size;
        EXPECT_NEAR(double(inner.Area()) - covered, merged, slack) << "folder " << i;
    }
}

// A pseudo-random catalogue: folders four deep, most sizes within three orders of magnitude, a
// tenth of them tiny and a tenth empty, some empty folders.
struct RandomCatalog {
    explicit RandomCatalog(unsigned seed, int files = 25)
    {
        CatalogBuilder b(tree, "/random");
        top = b.top;
        std::mt19937 rng(seed);
        grow(b, top, 0, rng, files);
        b.Finish();
    }
    void grow(CatalogBuilder &b, NodeId parent, int depth, std::mt19937 &rng, int files)
    {
        static const char *kExts[] = {".jpg", ".TXT", ".txt", ".so", ".gz", "", ".mp4", ".cpp"};
        std::uniform_real_distribution<double> exponent(10, 20);
        const int n = int(rng() % unsigned(files));
        for (int i = 0; i < n; ++i) {
            const unsigned kind = rng() % 10;
            const std::uint64_t size = kind == 0 ? 0 : kind == 1 ? rng() % 100 : std::uint64_t(std::pow(2.0, exponent(rng)));
            b.File(parent, "f" + std::to_string(i) + kExts[rng() % 8], size);
        }
        if (depth < 4)
            for (int k = int(rng() % 3) + (depth < 2 ? 2 : 0); k > 0; --k)
                grow(b, b.Folder(parent, "d" + std::to_string(k)), depth + 1, rng, files);
    }
    TNodeTree tree;
    NodeId top;
};

TEST(TreemapLayout, TilesNestDoNotOverlapAndTakeTheirShare)
{
    struct Case {
        const char *name;
        TTreemapOptions options;
    };
    const Case cases[] = {
        {"unframed", {640, 400, 1, 0, 0, 48}},
        {"framed", {800, 500, 12, 1, 0, 48}},
        {"framed and named", {1280, 800, 12, 1, 16, 48}},
        {"thin", {1000, 37, 4, 1, 0, 48}},
    };
    for (unsigned seed : {1u, 2u, 3u}) {
        const RandomCatalog catalog(seed);
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(c.name) + ", seed " + std::to_string(seed));
            const TTreemap map = MapOf(catalog.tree, catalog.top, c.options);
            EXPECT_GT(map.PlacedCount(), 20u);
            EXPECT_EQ(map.PlacedCount(), map.items.size()) << "the map keeps what it draws";
            ExpectSoundGeometry(catalog.tree, map, c.options);
            for (const TTreemapLabel &label : map.labels) {
                EXPECT_TRUE(map.items[label.item].Is(TTreemapItem::Labelled)) << "a name kept is shown";
                EXPECT_EQ(label.text, catalog.tree.Field(map.items[label.item].node, FileName));
            }
            if (c.options.labelHeight > 0) {
                EXPECT_FALSE(map.labels.empty());
            }
        }
    }
}

TEST(TreemapLayout, EqualSizesInASquareAreNoLongerThanThreeTimesTheirWidth)
{
    const TTreemapOptions options{600, 600, 1, 0, 0, 48};
    for (int n = 2; n <= 100; ++n) {
        TNodeTree tree;
        CatalogBuilder b(tree, "/equal");
        for (int i = 0; i < n; ++i)
            b.File(b.top, "f" + std::to_string(i), 1000);
        b.Finish();
        const TTreemap map = MapOf(tree, b.top, options);
        const std::vector<std::uint32_t> tiles = PlacedChildren(map, 0);
        ASSERT_EQ(tiles.size(), std::size_t(n));
        for (std::uint32_t t : tiles) {
            const TTileRect r = map.items[t].Rect();
            EXPECT_LE(std::max(r.w, r.h), 3 * std::min(r.w, r.h)) << n << " tiles: " << r.w << " x " << r.h;
        }
    }
}

TEST(TreemapLayout, EntriesTooSmallToSeeAreMergedIntoTheirFolder)
{
    // big/ holds one file of 500,000 bytes and 2,000 of 100 bytes: 2/7 of its area is theirs,
    // and at 200 x 100 pixels each would be under 3 pixels.
    TNodeTree tree;
    CatalogBuilder b(tree, "/m");
    const NodeId big = b.Folder(b.top, "big");
    const NodeId large = b.File(big, "large.iso", 500000);
    for (int i = 0; i < 2000; ++i)
        b.File(big, "s" + std::to_string(i) + ".txt", 100);
    const NodeId empty = b.File(b.top, "empty.txt", 0);
    const NodeId emptyFolder = b.Folder(b.top, "nothing");
    b.File(emptyFolder, "zero", 0);
    b.Finish();
    const TTreemapOptions options{200, 100, 12, 1, 0, 48};
    TTreemapGather gather(tree, b.top, options);
    ASSERT_TRUE(gather.Step(UINT32_MAX));
    // Nothing of the small ones, nor of what is empty, is even gathered.
    std::vector<NodeId> nodes;
    for (const TTreemapItem &item : gather.Take().items)
        nodes.push_back(item.node);
    EXPECT_EQ(nodes, (std::vector<NodeId>{b.top, big, large}));

    const TTreemap map = MapOf(tree, b.top, options);
    ASSERT_EQ(map.items.size(), 3u);
    EXPECT_EQ(map.entries, tree.TotalCount(b.top));
    ExpectSoundGeometry(tree, map, options);
    (void)empty;

    const TTileRect inner = InnerOf(map, 1, options);
    const double uncovered = double(inner.Area() - map.items[2].Rect().Area());
    EXPECT_NEAR(uncovered / double(inner.Area()), 2.0 / 7.0, 0.02);
    EXPECT_EQ(TreemapTileOf(map, tree, tree.Child(big, 5)), 1u) << "a merged entry is found in its folder";
}

TEST(TreemapLayout, EveryTileIsFoundAtItsCentre)
{
    const RandomCatalog catalog(7, 40);
    const TTreemapOptions options{900, 600, 12, 1, 16, 48};
    const TTreemap map = MapOf(catalog.tree, catalog.top, options);
    std::size_t leaves = 0;
    for (std::uint32_t i = 0; i < map.items.size(); ++i) {
        const TTreemapItem &item = map.items[i];
        if (!item.Is(TTreemapItem::Placed))
            continue;
        const TTileRect r = item.Rect();
        const int cx = r.x + r.w / 2, cy = r.y + r.h / 2;
        const std::vector<std::uint32_t> path = TreemapPathAt(map, cx, cy);
        EXPECT_NE(std::find(path.begin(), path.end(), i), path.end()) << "item " << i;
        if (PlacedChildren(map, i).empty()) {
            ++leaves;
            EXPECT_EQ(TreemapTileAt(map, cx, cy), i);
        }
        EXPECT_EQ(TreemapTileOf(map, catalog.tree, item.node), i);
    }
    EXPECT_GT(leaves, 50u);
    EXPECT_EQ(TreemapTileAt(map, -1, 0), kNoTile);
    EXPECT_EQ(TreemapTileAt(map, 900, 10), kNoTile);

    // An entry without a tile of its own is found in the nearest folder above it that has one.
    std::vector<NodeId> placed;
    for (const TTreemapItem &item : map.items)
        if (item.Is(TTreemapItem::Placed))
            placed.push_back(item.node);
    std::sort(placed.begin(), placed.end());
    int merged = 0;
    for (NodeId n = catalog.tree.First(); n != kNoNode; n = catalog.tree.Next(n)) {
        if (std::binary_search(placed.begin(), placed.end(), n))
            continue;
        ++merged;
        NodeId up = catalog.tree.Parent(n);
        while (!std::binary_search(placed.begin(), placed.end(), up))
            up = catalog.tree.Parent(up);
        const std::uint32_t tile = TreemapTileOf(map, catalog.tree, n);
        ASSERT_NE(tile, kNoTile);
        EXPECT_EQ(map.items[tile].node, up);
    }
    EXPECT_GT(merged, 0);
}

TEST(TreemapLayout, GatheringInSmallStepsGathersTheSame)
{
    const RandomCatalog catalog(11);
    const TTreemapOptions options{1280, 800, 12, 1, 16, 48};
    TTreemapGather once(catalog.tree, catalog.top, options);
    ASSERT_TRUE(once.Step(UINT32_MAX));
    TTreemapGather stepped(catalog.tree, catalog.top, options);
    int steps = 1;
    while (!stepped.Step(3))
        ++steps;
    EXPECT_GT(steps, 10);
    const TTreemap a = once.Take(), b = stepped.Take();
    ASSERT_EQ(a.items.size(), b.items.size());
    for (std::size_t i = 0; i < a.items.size(); ++i) {
        EXPECT_EQ(a.items[i].node, b.items[i].node);
        EXPECT_EQ(a.items[i].end, b.items[i].end);
        EXPECT_EQ(a.items[i].Size(), b.items[i].Size());
        EXPECT_EQ(a.items[i].type, b.items[i].type);
        EXPECT_EQ(a.items[i].flags, b.items[i].flags);
    }
    EXPECT_EQ(a.labels.size(), b.labels.size());
    // Pre-order, each folder's children largest first.
    for (std::uint32_t i = 0; i < a.items.size(); ++i) {
        std::uint64_t previous = UINT64_MAX;
        for (std::uint32_t c = i + 1; c < a.items[i].end; c = a.items[c].end) {
            EXPECT_EQ(catalog.tree.Parent(a.items[c].node), a.items[i].node);
            EXPECT_LE(a.items[c].Size(), previous);
            previous = a.items[c].Size();
        }
    }
}

TEST(TreemapLayout, TypesFoldLetterCaseAndTheLegendOrdersThemByArea)
{
    TNodeTree tree;
    CatalogBuilder b(tree, "/t");
    b.File(b.top, "a.TXT", 3000);
    b.File(b.top, "b.txt", 3000);
    b.File(b.top, "c.jpg", 5000);
    b.File(b.top, "d", 1000);
    b.Finish();
    const TTreemap map = MapOf(tree, b.top, {300, 300, 12, 1, 0, 48});
    ASSERT_EQ(map.types.size(), 3u);
    ASSERT_EQ(map.legend.size(), 3u);
    const TTreemapType &text = map.types[map.legend[0]];
    EXPECT_EQ(text.ext, "TXT") << "named as met first";
    EXPECT_EQ(text.bytes, 6000u);
    EXPECT_EQ(text.colour, TypeColour("txt"));
    EXPECT_EQ(map.types[map.legend[1]].ext, "jpg");
    EXPECT_EQ(map.types[map.legend[2]].ext, "");
}

TEST(TreemapLayout, AMapOfAFileOrOfNothing)
{
    TNodeTree tree;
    CatalogBuilder b(tree, "/f");
    const NodeId file = b.File(b.top, "only.bin", 42);
    const NodeId empty = b.Folder(b.top, "empty");
    b.Finish();
    const TTreemap one = MapOf(tree, file, {100, 50, 12, 1, 0, 48});
    ASSERT_EQ(one.items.size(), 1u);
    EXPECT_EQ(one.items[0].Rect(), (TTileRect{0, 0, 100, 50}));
    const TTreemap none = MapOf(tree, empty, {100, 50, 12, 1, 0, 48});
    ASSERT_EQ(none.items.size(), 1u);
    EXPECT_EQ(none.total, 0u);
    const TTreemap invalid = MapOf(tree, 9999, {100, 50, 12, 1, 0, 48});
    EXPECT_TRUE(invalid.items.empty());
    const TTreemap tiny = MapOf(tree, b.top, {0, 0, 12, 1, 0, 48});
    EXPECT_EQ(tiny.PlacedCount(), 0u);
}

// /data
//   docs/  a.txt (100)  sub/ c.txt (600)
//   pic.jpg (9999)
class TreemapLinkTest : public ::testing::Test {
protected:
    TreemapLinkTest()
    {
        SetForms(TextForms::EnUs());
        CatalogBuilder b(tree, "/data");
        top = b.top;
        docs = b.Folder(top, "docs");
        a = b.File(docs, "a.txt", 100);
        sub = b.Folder(docs, "sub");
        c = b.File(sub, "c.txt", 600);
        pic = b.File(top, "pic.jpg", 9999);
        b.Finish();
    }
    TNodeTree tree;
    NodeId top, docs, a, sub, c, pic;
};

TEST_F(TreemapLinkTest, TheRootFollowsTheEntryShownOnlyOutsideIt)
{
    struct Case {
        NodeId root, shown, expected;
        const char *what;
    };
    const Case cases[] = {
        {docs, c, docs, "an entry inside keeps the root"},
        {docs, docs, docs, "the root itself keeps it"},
        {sub, docs, docs, "Up from the root zooms out one level"},
        {sub, top, top, "further up"},
        {sub, pic, top, "elsewhere: the nearest folder holding both"},
        {kNoNode, c, sub, "no root yet: a file's folder"},
        {kNoNode, top, top, "no root yet: a folder itself"},
        {docs, kNoNode, docs, "nothing shown changes nothing"},
        {9999, a, docs, "a root from another tree"},
    };
    for (const Case &k : cases)
        EXPECT_EQ(TreemapRootFor(tree, k.root, k.shown), k.expected) << k.what;
}

TEST_F(TreemapLinkTest, NodesAreFoundByTheirPaths)
{
    EXPECT_EQ(NodeOfPath(tree, "/data"), top);
    EXPECT_EQ(NodeOfPath(tree, "/data/docs/sub/c.txt"), c);
    EXPECT_EQ(NodeOfPath(tree, "/data/pic.jpg"), pic);
    EXPECT_EQ(NodeOfPath(tree, "/data/docs/nothing"), kNoNode);
    EXPECT_EQ(NodeOfPath(tree, "/datadocs"), kNoNode);
    EXPECT_EQ(NodeOfPath(tree, "/other"), kNoNode);

    TNodeTree system;
    CatalogBuilder b(system, "/");
    const NodeId usr = b.Folder(b.top, "usr");
    const NodeId lib = b.Folder(usr, "lib");
    b.Finish();
    EXPECT_EQ(NodeOfPath(system, "/"), b.top);
    EXPECT_EQ(NodeOfPath(system, "/usr/lib"), lib);
}

TEST_F(TreemapLinkTest, SelectingInTheTreeExpandsEveryFolderAbove)
{
    TPlainTreeGrid grid("VT");
    CatalogBuilder b(grid.Nodes(), "/data");
    const NodeId d = b.Folder(b.top, "docs");
    const NodeId s = b.Folder(d, "sub");
    const NodeId file = b.File(s, "c.txt", 600);
    b.Finish();
    std::vector<NodeId> changes;
    TreeGridEvents events;
    events.selectionChange = [&](NodeId n) { changes.push_back(n); };
    grid.SetEvents(events);

    SelectInTree(grid, file);
    EXPECT_TRUE(grid.Nodes().Expanded(b.top));
    EXPECT_TRUE(grid.Nodes().Expanded(d));
    EXPECT_TRUE(grid.Nodes().Expanded(s));
    EXPECT_FALSE(grid.Nodes().Expanded(file));
    EXPECT_EQ(grid.SelectedNode(), file);
    EXPECT_EQ(grid.FocusedNode(), file);
    EXPECT_EQ(changes, std::vector<NodeId>{file});
    SelectInTree(grid, 9999);
    EXPECT_EQ(grid.SelectedNode(), file);
}

class FolderShownTest : public ControllerFixture {};

TEST_F(FolderShownTest, TheControllerSaysWhichEntryItMadeCurrent)
{
    CatalogBuilder b(Tree(), "/data");
    const NodeId docs = b.Folder(b.top, "docs");
    const NodeId a = b.File(docs, "a.txt", 100);
    b.Finish();
    std::vector<NodeId> shown;
    ctrl->FolderShown = [&](NodeId n) {
        shown.push_back(n);
        EXPECT_EQ(ctrl->CurrentNode, n);
        EXPECT_EQ(Chart(ChartId::ChartFile).TitleLines(), std::vector<std::string>{Tree().Field(n, FullPath)})
            << "told once everything shows the entry";
    };
    AfterScan();
    ctrl->ShowFolder(b.top); // already shown: nothing happens
    VT().SelectNode(a);
    ctrl->ShowFolder(docs);
    EXPECT_EQ(shown, (std::vector<NodeId>{b.top, a, docs}));
}

TEST(TreemapShareText, RoundsHalfAwayFromZeroInIntegers)
{
    SetForms(TextForms::EnUs());
    struct Case {
        std::uint64_t part, total;
        const char *text;
    };
    const Case cases[] = {
        {23, 160, "14.38%"},           {41, 160, "25.63%"}, {137, 160, "85.63%"}, {1, 800, "0.13%"},
        {1, 3, "33.33%"},              {2, 3, "66.67%"},    {5, 5, "100.00%"},    {0, 7, "0.00%"},
        {1ull << 62, 1ull << 63, "50.00%"}, {UINT64_MAX, UINT64_MAX, "100.00%"},  {5, 0, "0%"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(TreemapShareText(c.part, c.total), c.text) << c.part << " of " << c.total;
}

TEST_F(TreemapLinkTest, HoverTextsNameTheEntryItsShareAndWhatIsMerged)
{
    TNodeTree many;
    CatalogBuilder b(many, "/h");
    const NodeId folder = b.Folder(b.top, "many");
    const NodeId large = b.File(folder, "large.iso", 3 * 1048576);
    for (int i = 0; i < 300; ++i)
        b.File(folder, "s" + std::to_string(i), 1024);
    b.Finish();
    const TTreemap map = MapOf(many, b.top, {200, 200, 12, 1, 0, 48});
    const std::uint32_t largeTile = TreemapTileOf(map, many, large);
    ASSERT_NE(largeTile, kNoTile);
    EXPECT_EQ(TreemapHoverText(many, map, largeTile), "large.iso\n3.00 MB  (91.10%)\n/h/many/large.iso");
    const std::uint32_t folderTile = TreemapTileOf(map, many, folder);
    EXPECT_EQ(TreemapHoverText(many, map, folderTile),
              "many\n3.29 MB  (100.00%)\n/h/many\n300 entries too small to draw: 300.00 KB");
}

TEST(TypeColour, OneColourPerTypeWhateverItsLetterCaseAndTheFirstOnesApart)
{
    // The types asked for first in a run get the colours farthest apart.
    ResetTypeColours();
    std::vector<std::string> first;
    for (int i = 0; i < 18; ++i)
        first.push_back("first-type-" + std::to_string(i));
    std::vector<Rgb> colours;
    for (const std::string &ext : first)
        colours.push_back(TypeColour(ext));
    for (std::size_t a = 0; a < colours.size(); ++a)
        for (std::size_t b = a + 1; b < colours.size(); ++b) {
            const int distance = std::abs(colours[a].r - colours[b].r) + std::abs(colours[a].g - colours[b].g) +
                                 std::abs(colours[a].b - colours[b].b);
            EXPECT_GT(distance, 60) << first[a] << " and " << first[b];
        }
    for (const Rgb &c : colours) {
        const int distance = std::abs(c.r - kNoTypeColour.r) + std::abs(c.g - kNoTypeColour.g) +
                             std::abs(c.b - kNoTypeColour.b);
        EXPECT_GT(distance, 60) << "far from the grey of entries without an extension";
    }
    // Asked again, in any letter case, a type keeps its colour, however many came in between.
    for (int i = 0; i < 500; ++i)
        TypeColour("later-" + std::to_string(i));
    EXPECT_EQ(TypeColour("FIRST-TYPE-3"), colours[3]);
    EXPECT_NE(TypeColour("later-1"), TypeColour("later-2"));
    EXPECT_EQ(TypeColour("First-Type-0"), colours[0]);
    EXPECT_EQ(TypeColour("ÄRGER"), TypeColour("ärger")) << "letters beyond ASCII fold as the type counts fold them";
    EXPECT_EQ(TypeColour(""), kNoTypeColour);
}

TEST(SaveTreemapImage, WritesTheChosenFormatAndSaysWhyWhenItCannot)
{
    TempDir dir;
    ScriptedUi ui;
    std::vector<std::string> formats;
    auto encode = [&](const std::string &format) {
        formats.push_back(format);
        return "picture:" + format;
    };
    const std::string png = dir / "map.png", bmp = dir / "map.BMP";
    ui.saveAnswers = {png, bmp, ""};
    SaveTreemapImage(encode);
    SaveTreemapImage(encode);
    SaveTreemapImage(encode); // cancelled
    EXPECT_EQ(formats, (std::vector<std::string>{"PNG", "BMP"}));
    EXPECT_EQ(ReadFile(png), "picture:PNG");
    EXPECT_EQ(ReadFile(bmp), "picture:BMP");
    ASSERT_EQ(ui.saveRequests.size(), 3u);
    EXPECT_EQ(ui.saveRequests[0].defaultExtension, ".png");
    EXPECT_EQ(ui.saveRequests[0].filter, "PNG File|*.png|BMP File|*.bmp");
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].text, "Export Finished");

    // Over an existing file, into a folder that is not there: the reason names the file.
    ui.messages.clear();
    ui.saveAnswers = {png};
    ui.messageAnswers = {MsgResult::Yes};
    SaveTreemapImage([](const std::string &) { return std::string("new"); });
    EXPECT_EQ(ReadFile(png), "new");
    const std::string nowhere = dir / "missing/map.png";
    ui.messages.clear();
    ui.saveAnswers = {nowhere};
    SaveTreemapImage(encode);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].caption, "Error");
    EXPECT_NE(ui.messages[0].text.find(nowhere), std::string::npos) << ui.messages[0].text;
    EXPECT_FALSE(std::filesystem::exists(nowhere));
}

} // namespace
} // namespace folvane::test
