// The treemap in the real main window: tiles and rows linked both ways, zoom and Up, a redraw
// after a new scan, saving the picture, the tile menu and the hover text.

#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QToolTip>

#include "GuiTestSupport.h"
#include "app/CurrentPathLabel.h"
#include "app/uMain.h"
#include "app/uWaitForm.h"
#include "catalog/RollUp.h"
#include "common/uFunction.h"
#include "config/ConfigStore.h"
#include "support/Files.h"
#include "support/ScriptedUi.h"
#include "support/TempDir.h"
#include "views/QtTreeGrid.h"
#include "views/QtTreemap.h"
#include "views/TreemapLink.h"
#include "views/uCtrl.h"

using namespace folvane;
using folvane::test::GuiApp;
using folvane::test::Settle;
using folvane::test::WaitUntil;

namespace {

// Disk/
//   big/     video.mp4 (600,000)  clip.mp4 (200,000)  deep/inner/note.txt (100,000)
//   photos/  a.jpg (150,000)  b.jpg (120,000)
//   many/    400 files of 10 bytes: too small to draw
//   notes.txt (80,000)
class TreemapWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        GuiApp();
        SetForms(TextForms::EnUs());
        ResetConfig(TConfigPlaces{program.Path(), user.Path(), TConfigPlaces::CanCreateFileIn});
        root = data.Folder("Disk");
        data.File("Disk/big/video.mp4", 600000);
        data.File("Disk/big/clip.mp4", 200000);
        data.File("Disk/big/deep/inner/note.txt", 100000);
        data.File("Disk/photos/a.jpg", 150000);
        data.File("Disk/photos/b.jpg", 120000);
        for (int i = 0; i < 400; ++i)
            data.File("Disk/many/m" + std::to_string(i), 10);
        data.File("Disk/notes.txt", 80000);

        window = std::make_unique<TFMMain>();
        window->SetWaitForm(new TWaitForm(window.get()));
        window->resize(1000, 700);
        window->show();
        Settle();
        ui.folderAnswers.push_back(root);
        window->btnOpen->click();
        Settle();
        window->pcTotal->setCurrentWidget(window->Treemap->parentWidget());
        ASSERT_TRUE(drawn());
    }
    void TearDown() override
    {
        window.reset();
        ResetConfig();
    }

    // Waits for the picture of the tree, root and size as they are now.
    bool drawn() { return WaitUntil([&] { return map().Current(); }, 20000); }
    QtTreemap &map() { return *window->Treemap; }
    const TNodeTree &tree() { return window->VT->Nodes(); }
    NodeId node(const std::string &relative) { return NodeOfPath(tree(), root + (relative.empty() ? "" : "/" + relative)); }
    // The centre of a node's own tile (the test fails when it has none).
    QPoint tileCentre(NodeId n)
    {
        const QRect r = map().TileRect(n);
        EXPECT_FALSE(r.isEmpty());
        EXPECT_EQ(map().NodeAt(r.center()), n) << "the entry has no tile of its own";
        return r.center();
    }

    test::TempDir program, user, data;
    std::string root;
    test::ScriptedUi ui;
    std::unique_ptr<TFMMain> window;
};

} // namespace

TEST_F(TreemapWindowTest, TheTabFollowsTheSixAndMapsTheCatalogue)
{
    EXPECT_EQ(window->pcTotal->tabText(6), QStringLiteral("Treemap"));
    EXPECT_FALSE(window->pcTotal->tabIcon(6).isNull());
    EXPECT_EQ(map().Root(), node(""));
    const TTreemap *drawnMap = map().Map();
    ASSERT_NE(drawnMap, nullptr);
    EXPECT_EQ(drawnMap->entries, tree().TotalCount(node("")));
    for (const char *entry : {"big/video.mp4", "big/clip.mp4", "big/deep/inner/note.txt", "photos/a.jpg",
                              "photos/b.jpg", "notes.txt"})
        tileCentre(node(entry));
    for (const char *folder : {"big", "big/deep", "photos", "many"}) {
        const std::uint32_t tile = TreemapTileOf(*drawnMap, tree(), node(folder));
        ASSERT_NE(tile, kNoTile);
        EXPECT_EQ(drawnMap->items[tile].node, node(folder)) << folder << " has a tile of its own";
    }
    // The 400 small files are drawn as their folder's own area.
    EXPECT_EQ(map().NodeAt(map().TileRect(node("many/m7")).center()), node("many"));
}

TEST_F(TreemapWindowTest, AClickOnATileSelectsItsEntryInTotalTreeWithItsFoldersExpanded)
{
    const NodeId note = node("big/deep/inner/note.txt");
    for (const char *folder : {"big", "big/deep", "big/deep/inner"})
        window->VT->collapse(window->VT->IndexOf(node(folder)));
    QSignalSpy clicked(&map(), &QtTreemap::TileClicked);
    QTest::mouseClick(&map(), Qt::LeftButton, {}, tileCentre(note));
    Settle();
    ASSERT_EQ(clicked.count(), 1);
    EXPECT_EQ(window->VT->SelectedNode(), note);
    EXPECT_EQ(window->VT->FocusedNode(), note);
    for (const char *folder : {"big", "big/deep", "big/deep/inner"})
        EXPECT_TRUE(window->VT->isExpanded(window->VT->IndexOf(node(folder)))) << folder;
    // The same as a click on its row: the entry is shown everywhere, the map stays where it was.
    EXPECT_EQ(window->Ctrl()->CurrentNode, note);
    EXPECT_EQ(window->lbPath->text().toStdString(), root + "/big/deep/inner/note.txt");
    EXPECT_EQ(window->VTList->Nodes().NodeCount(), 1u);
    EXPECT_EQ(map().Root(), node(""));
    EXPECT_EQ(map().Highlight(), note);
}

TEST_F(TreemapWindowTest, ARowChosenInAGridLightsUpItsTile)
{
    const NodeId b = node("photos/b.jpg");
    window->VT->SelectNode(b);
    Settle();
    EXPECT_EQ(map().Highlight(), b);
    const QRect r = map().TileRect(b);
    const QImage shot = map().grab().toImage();
    EXPECT_EQ(shot.pixelColor(r.left() + 2, r.center().y()), map().palette().color(QPalette::Highlight))
        << "the ring is drawn round the tile";

    // A row of the current-folder list: the entries of the top folder, shown there again.
    window->VT->SelectNode(node(""));
    Settle();
    const TNodeTree &list = window->VTList->Nodes();
    NodeId photosRow = kNoNode;
    for (NodeId n = list.First(); n != kNoNode; n = list.NextSibling(n))
        if (list.Field(n, FileName) == "photos")
            photosRow = n;
    ASSERT_NE(photosRow, kNoNode);
    window->VTList->SelectNode(photosRow);
    Settle();
    EXPECT_EQ(map().Highlight(), node("photos"));
    EXPECT_EQ(window->Ctrl()->CurrentNode, node("")) << "a list row only lights up its tile";
}

TEST_F(TreemapWindowTest, ADoubleClickZoomsIntoAFolderAndUpZoomsOut)
{
    const NodeId big = node("big");
    QTest::mouseDClick(&map(), Qt::LeftButton, {}, tileCentre(node("big/video.mp4")));
    Settle();
    EXPECT_EQ(map().Root(), big);
    EXPECT_EQ(window->Ctrl()->CurrentNode, big) << "the release that ends the double click selects nothing";
    EXPECT_EQ(window->lbPath->text().toStdString(), root + "/big");
    EXPECT_TRUE(window->btnUp->isEnabled());
    ASSERT_TRUE(drawn());
    EXPECT_EQ(map().Map()->items[0].node, big);
    EXPECT_EQ(map().Map()->items[0].Rect().w, map().width());
    tileCentre(node("big/deep/inner/note.txt"));

    // Deeper still, then back out one level at a time.
    QTest::mouseDClick(&map(), Qt::LeftButton, {}, tileCentre(node("big/deep/inner/note.txt")));
    Settle();
    EXPECT_EQ(map().Root(), node("big/deep/inner"));
    window->btnUp->click();
    Settle();
    EXPECT_EQ(map().Root(), node("big/deep"));
    EXPECT_EQ(window->lbPath->text().toStdString(), root + "/big/deep");
    window->btnUp->click();
    window->btnUp->click();
    Settle();
    EXPECT_EQ(map().Root(), node(""));
    EXPECT_FALSE(window->btnUp->isEnabled());
    ASSERT_TRUE(drawn());

    // A file straight below the root is no folder to zoom into.
    QTest::mouseDClick(&map(), Qt::LeftButton, {}, tileCentre(node("notes.txt")));
    Settle();
    EXPECT_EQ(map().Root(), node(""));
}

TEST_F(TreemapWindowTest, ANewScanDrawsTheNewCatalogue)
{
    QSignalSpy ready(&map(), &QtTreemap::PictureReady);
    data.File("Disk/photos/huge.iso", 5000000);
    ui.folderAnswers.push_back(root);
    window->btnOpen->click();
    ASSERT_TRUE(drawn());
    EXPECT_GE(ready.count(), 1);
    EXPECT_EQ(map().Root(), node(""));
    const NodeId huge = node("photos/huge.iso");
    ASSERT_NE(huge, kNoNode);
    tileCentre(huge);
    EXPECT_EQ(map().Map()->total, TreemapSizeOf(tree(), node("")));

    // Sorting Total Tree changes no tile, but the map is made again for the tree as it is.
    const int before = ready.count();
    window->VT->Sort(3, SortDirection::Descending);
    EXPECT_FALSE(map().Current());
    ASSERT_TRUE(drawn());
    EXPECT_GT(ready.count(), before);
    tileCentre(huge);

    // A resized window gets a picture of its new size.
    window->resize(800, 600);
    ASSERT_TRUE(drawn());
    const QImage shot = map().grab().toImage();
    EXPECT_EQ(shot.size(), map().size());
}

// A catalogue made by hand: `folders` folders of `files` files of 1,000 bytes each below `path`.
TNodeTree Synthetic(const std::string &path, int folders, int files)
{
    TNodeTree tree;
    constexpr std::uint32_t kFields = (1u << FileName) | (1u << FullPath) | (1u << FileType) | (1u << FileSize);
    auto entry = [&](NodeId n, bool folder, std::uint64_t size) {
        TFileNodeData &d = tree.Data(n);
        d.flags |= folder ? TFileNodeData::Folder : TFileNodeData::File;
        d.present |= kFields;
        d.size = size;
    };
    const NodeId top = tree.AddTopLevel();
    tree.SetExplicitPath(top, path, path.size());
    entry(top, true, 0);
    for (int f = 0; f < folders; ++f) {
        const NodeId folder = tree.AddChild(top);
        tree.SetName(folder, "d" + std::to_string(f));
        entry(folder, true, 0);
        for (int i = 0; i < files; ++i) {
            const NodeId file = tree.AddChild(folder);
            tree.SetName(file, "f" + std::to_string(i) + ".dat");
            entry(file, false, 1000);
        }
    }
    tree.SetSize(top, RollUpFolderSize(tree, top));
    return tree;
}

TEST_F(TreemapWindowTest, ACatalogueReplacedWhileTheMapIsMadeIsDrawnAnew)
{
    // The first catalogue takes many turns of the event loop to gather; it is replaced (and its
    // storage freed) after the first turn, and the map that comes is the second one's.
    auto replace = [&](TNodeTree tree) {
        window->Ctrl()->CurrentNode = kNoNode;
        window->VT->ReplaceNodes(std::move(tree));
        window->Ctrl()->ShowFolder(window->VT->Nodes().First());
    };
    QSignalSpy ready(&map(), &QtTreemap::PictureReady);
    replace(Synthetic("/first", 400, 500));
    QApplication::processEvents();
    EXPECT_FALSE(map().Current());
    replace(Synthetic("/second", 3, 5));
    ASSERT_TRUE(drawn());
    ASSERT_NE(map().Map(), nullptr);
    EXPECT_EQ(map().Map()->entries, 1u + 3u + 15u);
    EXPECT_EQ(map().Root(), window->VT->Nodes().First());
    EXPECT_EQ(window->VT->Nodes().PathBytes(map().Map()->items[0].node), "/second");
    EXPECT_EQ(ready.count(), 1) << "no picture of the first catalogue was ever shown";
}

TEST_F(TreemapWindowTest, ThePictureIsSavedAsPngOrBmp)
{
    const std::string png = data / "map.png", bmp = data / "map.bmp";
    ui.saveAnswers = {png, bmp};
    QToolButton *save = window->Button(QStringLiteral("tbSaveTreemap"));
    ASSERT_NE(save, nullptr);
    EXPECT_EQ(save->toolTip(), QStringLiteral("Save to file"));
    save->click();
    save->click();
    Settle();
    EXPECT_EQ(test::ReadFile(png).substr(0, 4), "\x89PNG");
    EXPECT_EQ(test::ReadFile(bmp).substr(0, 2), "BM");
    for (const std::string &file : {png, bmp}) {
        const QImage image(QString::fromStdString(file));
        EXPECT_EQ(image.size(), map().size()) << file;
    }
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[1].text, "Export Finished");
}

TEST_F(TreemapWindowTest, ATileMenuActsOnTheTileUnderTheMouse)
{
    QSignalSpy asked(&map(), &QtTreemap::ContextMenuRequested);
    const NodeId clip = node("big/clip.mp4");
    const QPoint at = tileCentre(clip);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, map().mapToGlobal(at));
    QApplication::sendEvent(&map(), &event);
    Settle();
    ASSERT_EQ(asked.count(), 1);
    EXPECT_EQ(asked[0][0].value<NodeId>(), clip);
    EXPECT_EQ(window->VT->SelectedNode(), clip) << "as a right click selects a row";

    // The tile's menu is the one of its entry's row.
    auto *menu = window->findChild<QMenu *>(QStringLiteral("TreemapMenu"));
    ASSERT_NE(menu, nullptr);
    QStringList texts;
    QAction *open = nullptr;
    for (QAction *action : menu->actions()) {
        if (action->isSeparator())
            continue;
        texts << action->text();
        if (action->text() == QStringLiteral("Open in File Manager"))
            open = action;
    }
    EXPECT_EQ(texts, (QStringList{"Refresh", "Move to Trash", "Open in File Manager", "Open Terminal Here", "Copy Path"}));
    ASSERT_NE(open, nullptr);
    open->trigger();
    menu->close();
    Settle();
    ASSERT_EQ(ui.opened.size(), 1u);
    EXPECT_EQ(ui.opened[0], FileUrlOf(root + "/big")) << "a file's folder is opened, never the file";
}

TEST_F(TreemapWindowTest, HoveringATileNamesItsEntryAndShare)
{
    const NodeId video = node("big/video.mp4");
    QTest::mouseMove(&map(), tileCentre(video));
    Settle();
    const std::string expected = "video.mp4\n" + FormatSize(FileSize, &tree(), video) + "  (" +
                                 TreemapShareText(600000, TreemapSizeOf(tree(), node(""))) + ")\n" + root +
                                 "/big/video.mp4";
    EXPECT_EQ(QToolTip::text().toStdString(), expected);
}
