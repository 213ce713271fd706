// The context menu of the tree-grids and its keys, in the real main window.

#include <gtest/gtest.h>

#include <QContextMenuEvent>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <filesystem>

#include "GuiTestSupport.h"
#include "app/CurrentPathLabel.h"
#include "app/uMain.h"
#include "app/uWaitForm.h"
#include "catalog/CatalogEdit.h"
#include "config/ConfigStore.h"
#include "export/NcduJsonWriter.h"
#include "support/Gate.h"
#include "support/ScriptedUi.h"
#include "support/TempDir.h"
#include "views/QtTreeGrid.h"
#include "views/QtTreemap.h"

using namespace folvane;
using folvane::test::GuiApp;
using folvane::test::Settle;
using folvane::test::WaitUntil;

namespace {

namespace fs = std::filesystem;

class EntryMenuTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        GuiApp();
        SetForms(TextForms::EnUs());
        ResetConfig(TConfigPlaces{program.Path(), user.Path(), TConfigPlaces::CanCreateFileIn});
        root = data.Folder("Photos");
        data.File("Photos/sub1/a.txt", 100);
        data.File("Photos/sub1/b.txt", 2000);
        data.File("Photos/sub2/c.jpg", 50000);
        data.File("Photos/d.txt", 10);
        data.File("Photos/e.log", 300000);
        window = std::make_unique<TFMMain>();
        wait = new TWaitForm(window.get());
        window->SetWaitForm(wait);
        window->show();
        Settle();
        window->Actions()->Places = {data / "home/.local/share/Trash", 0};
        ui.folderAnswers.push_back(root);
        window->btnOpen->click();
        Settle();
    }
    void TearDown() override
    {
        window.reset();
        ResetConfig();
    }

    NodeId node(const std::string &relative)
    {
        return TPathFinder(window->VT->Nodes()).Find(root + (relative.empty() ? "" : "/" + relative));
    }
    NodeId row(QtTreeGrid *grid, const std::string &name)
    {
        for (NodeId n = grid->Nodes().First(); n != kNoNode; n = grid->Nodes().NextSibling(n))
            if (grid->Nodes().NameBytes(n) == name)
                return n;
        return kNoNode;
    }
    std::vector<std::string> names(QtTreeGrid *grid)
    {
        std::vector<std::string> out;
        for (NodeId n = grid->Nodes().First(); n != kNoNode; n = grid->Nodes().NextSibling(n))
            out.emplace_back(grid->Nodes().NameBytes(n));
        return out;
    }
    // Keys go to the focused widget of the active window (a closed menu leaves none on some platforms).
    void focusOn(QWidget *widget)
    {
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        widget->setFocus();
        Settle();
    }
    void showPage(int page)
    {
        window->pcTotal->setCurrentIndex(page);
        Settle();
    }
    void selectRows(QtTreeGrid *grid, const std::vector<NodeId> &rows)
    {
        grid->selectionModel()->clearSelection();
        for (NodeId n : rows)
            grid->selectionModel()->select(grid->IndexOf(n), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        grid->selectionModel()->setCurrentIndex(grid->IndexOf(rows.front()), QItemSelectionModel::NoUpdate);
    }
    // Asks for the context menu the way the menu key does, and answers the menu that opens.
    QMenu *menuFor(QtTreeGrid *grid, QContextMenuEvent::Reason reason, QPoint at = {})
    {
        // A click's menu comes to the rows' area, a key's to the grid, as the platform sends them.
        QWidget *to = reason == QContextMenuEvent::Mouse ? grid->viewport() : static_cast<QWidget *>(grid);
        QContextMenuEvent event(reason, at, grid->viewport()->mapToGlobal(at));
        QApplication::sendEvent(to, &event);
        QMenu *menu = nullptr;
        WaitUntil([&] { return (menu = window->findChild<QMenu *>(QStringLiteral("EntryMenu"))) && menu->isVisible(); });
        return menu;
    }
    // The texts of a menu's items.
    static QStringList texts(const QMenu *menu)
    {
        QStringList out;
        for (QAction *a : menu->actions())
            if (!a->isSeparator())
                out << a->text();
        return out;
    }
    QAction *item(QMenu *menu, const QString &text)
    {
        for (QAction *a : menu->actions())
            if (a->text() == text)
                return a;
        return nullptr;
    }

    test::TempDir program, user, data;
    std::string root;
    test::ScriptedUi ui;
    std::unique_ptr<TFMMain> window;
    TWaitForm *wait = nullptr;
};

} // namespace

TEST_F(EntryMenuTest, ARightClickOnARowOffersTheActionsWithTheirKeys)
{
    const NodeId sub1 = node("sub1");
    const QPoint at = window->VT->visualRect(window->VT->IndexOf(sub1, 1)).center();
    QTest::mouseClick(window->VT->viewport(), Qt::RightButton, {}, at); // selects the row, as a click does
    QMenu *menu = menuFor(window->VT, QContextMenuEvent::Mouse, at);
    ASSERT_NE(menu, nullptr);
    std::vector<std::pair<std::string, std::string>> shown;
    for (QAction *a : menu->actions())
        if (!a->isSeparator())
            shown.emplace_back(a->text().toStdString(), a->shortcut().toString().toStdString());
    EXPECT_EQ(shown, (std::vector<std::pair<std::string, std::string>>{{"Refresh", "F5"},
                                                                       {"Move to Trash", "Del"},
                                                                       {"Open in File Manager", ""},
                                                                       {"Open Terminal Here", ""},
                                                                       {"Copy Path", "Ctrl+C"}}));
    EXPECT_EQ(window->lbPath->text().toStdString(), root + "/sub1");
    item(menu, QStringLiteral("Copy Path"))->trigger();
    menu->close();
    EXPECT_EQ(ui.copied, std::vector<std::vector<std::string>>{{root + "/sub1"}});
    // No row under the pointer: no menu.
    const QPoint empty(5, window->VT->viewport()->height() - 3);
    QContextMenuEvent nowhere(QContextMenuEvent::Mouse, empty, window->VT->viewport()->mapToGlobal(empty));
    QApplication::sendEvent(window->VT->viewport(), &nowhere);
    Settle();
    EXPECT_FALSE(window->findChild<QMenu *>(QStringLiteral("EntryMenu")));
}

TEST_F(EntryMenuTest, TheMenuKeyAndTheKeysActOnTheSelectedRowsOfAList)
{
    showPage(1);
    QtTreeGrid *list = window->VTList;
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(window->VT->selectionMode(), QAbstractItemView::SingleSelection);
    selectRows(list, {row(list, "e.log"), row(list, "d.txt")});
    QMenu *menu = menuFor(list, QContextMenuEvent::Keyboard);
    ASSERT_NE(menu, nullptr);
    item(menu, QStringLiteral("Copy Path"))->trigger();
    menu->close();
    EXPECT_EQ(ui.copied.back(), (std::vector<std::string>{root + "/e.log", root + "/d.txt"}));

    focusOn(list);
    QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(ui.copied.size(), 2u);

    ui.messageAnswers = {MsgResult::Yes};
    QTest::keyClick(list, Qt::Key_Delete);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(ui.messages[0].text.starts_with("Move these 2 entries to the trash?"));
    EXPECT_EQ(names(list), (std::vector<std::string>{"sub1", "sub2"}));
    EXPECT_TRUE(fs::exists(data / "home/.local/share/Trash/files/e.log"));
    EXPECT_EQ(window->VT->Nodes().Data(node("")).size, 52100u);

    // F5 on a row of the tree: its folder walked again, on the worker.
    data.File("Photos/sub2/new.png", 900);
    showPage(0);
    window->VT->SelectNode(node("sub2"));
    focusOn(window->VT);
    QTest::keyClick(window->VT, Qt::Key_F5);
    ASSERT_TRUE(WaitUntil([&] { return node("sub2/new.png") != kNoNode; }));
    EXPECT_EQ(window->VT->SelectedNode(), node("sub2"));
    EXPECT_EQ(window->VT->Nodes().Data(node("")).size, 53000u);
}

TEST_F(EntryMenuTest, ARefreshShowsItsProgressAndItsCancelChangesNothing)
{
    for (int i = 0; i < 200; ++i)
        data.File("Photos/sub1/d" + std::to_string(i) + "/f.txt", 1);
    // The walk is held at its first folder until the progress has been looked at and Cancel pressed.
    test::Gate gate;
    window->SetScanHook([&](ScanOptions &options) { options.beforeFolder = [&](std::string_view) { gate.Arrive(); }; });
    const std::uint32_t before = window->VT->Nodes().NodeCount();
    bool sawProgress = false;
    QTimer::singleShot(0, [&] {
        sawProgress = WaitUntil([&] { return gate.Arrived(); }) && window->Busy() && wait->isVisible() &&
                      wait->SpeedButton1()->isVisible() && wait->WaitText() == QStringLiteral("Loading info..");
        QTest::mouseClick(wait->SpeedButton1(), Qt::LeftButton);
        gate.Open();
    });
    window->Actions()->Run(EntryAction::Refresh, *window->VT, std::vector<NodeId>{node("sub1")});
    EXPECT_TRUE(sawProgress);
    EXPECT_FALSE(window->Busy());
    EXPECT_FALSE(wait->isVisible());
    EXPECT_EQ(window->VT->Nodes().NodeCount(), before);
    window->SetScanHook(nullptr);
    window->Actions()->Run(EntryAction::Refresh, *window->VT, std::vector<NodeId>{node("sub1")});
    EXPECT_EQ(window->VT->Nodes().NodeCount(), before + 400);
}

TEST_F(EntryMenuTest, TheTreeStaysWhereItWasAfterARefresh)
{
    for (int i = 0; i < 60; ++i)
        data.File("Photos/sub2/f" + std::to_string(100 + i) + ".jpg", 10);
    window->Actions()->Run(EntryAction::Refresh, *window->VT, std::vector<NodeId>{node("sub2")});
    QtTreeGrid *vt = window->VT;
    vt->SetExpanded(node("sub2"), true);
    Settle();
    vt->scrollTo(vt->IndexOf(node("sub2/f130.jpg")), QAbstractItemView::PositionAtTop);
    Settle();
    const int scrolled = vt->verticalScrollBar()->value();
    ASSERT_GT(scrolled, 0);
    vt->SelectNode(node("sub2/f130.jpg"));
    data.File("Photos/sub2/f999.jpg", 10);
    window->Actions()->Run(EntryAction::Refresh, *vt, std::vector<NodeId>{node("sub2/f130.jpg")});
    Settle();
    EXPECT_NE(node("sub2/f999.jpg"), kNoNode);
    EXPECT_EQ(vt->NodeOf(vt->indexAt(QPoint(0, 0))), node("sub2/f130.jpg"));
    EXPECT_EQ(vt->SelectedNode(), node("sub2/f130.jpg"));
    EXPECT_TRUE(vt->isExpanded(vt->IndexOf(node("sub2"))));
}

// The paths of a catalogue opened from a file may name other files on this machine: its rows and
// tiles offer "Copy Path" alone, and the keys of the other actions do nothing. A scan offers them
// all again.
TEST_F(EntryMenuTest, ACatalogueFromAFileOffersOnlyCopyPath)
{
    const std::string file = data / "photos.json";
    WriteNcduJson(window->VT->Nodes(), file);
    ASSERT_TRUE(window->OpenCatalogue(file));
    const QStringList onlyCopy{QStringLiteral("Copy Path")};

    window->VT->SelectNode(node("sub1")); // the list then holds a.txt and b.txt
    Settle();
    QMenu *menu = menuFor(window->VT, QContextMenuEvent::Keyboard);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(texts(menu), onlyCopy);
    menu->close();
    Settle();

    showPage(1);
    QtTreeGrid *list = window->VTList;
    selectRows(list, {row(list, "a.txt")});
    menu = menuFor(list, QContextMenuEvent::Keyboard);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(texts(menu), onlyCopy);
    item(menu, QStringLiteral("Copy Path"))->trigger();
    menu->close();
    Settle();
    EXPECT_EQ(ui.copied, std::vector<std::vector<std::string>>{{root + "/sub1/a.txt"}});
    focusOn(list);
    QTest::keyClick(list, Qt::Key_Delete);
    QTest::keyClick(list, Qt::Key_F5);
    Settle();
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(fs::exists(root + "/sub1/a.txt"));
    EXPECT_NE(row(list, "a.txt"), kNoNode);

    emit window->Treemap->ContextMenuRequested(node("sub1/a.txt"), window->mapToGlobal(QPoint(10, 10)));
    WaitUntil([&] { return (menu = window->findChild<QMenu *>(QStringLiteral("TreemapMenu"))) && menu->isVisible(); });
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(texts(menu), onlyCopy);
    menu->close();
    Settle();

    ui.folderAnswers.push_back(root);
    window->btnOpen->click();
    Settle();
    showPage(0);
    window->VT->SelectNode(node("sub1"));
    Settle();
    menu = menuFor(window->VT, QContextMenuEvent::Keyboard);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(texts(menu).size(), 5);
    menu->close();
}
