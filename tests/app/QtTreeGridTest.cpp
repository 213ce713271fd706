#include <gtest/gtest.h>

#include <QHeaderView>
#include <QHoverEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QTest>

#include <stdexcept>

#include "GuiTestSupport.h"
#include "views/QtIconList.h"
#include "views/QtTreeGrid.h"

using namespace folvane;
using folvane::test::GuiApp;
using folvane::test::Settle;

namespace {

// top (folder) with a (folder: a1, a2), b, c; a second top-level node "other".
struct Fixture {
    TNodeTree tree;
    NodeId top, a, a1, a2, b, c, other;
    Fixture()
    {
        top = tree.AddTopLevel();
        tree.SetExplicitPath(top, "/data/top", 3);
        a = tree.AddChild(top);
        a1 = tree.AddChild(a);
        a2 = tree.AddChild(a);
        b = tree.AddChild(top);
        c = tree.AddChild(top);
        other = tree.AddTopLevel();
        tree.SetExplicitPath(other, "/data/other", 5);
        for (auto [node, name] : {std::pair{a, "a"}, {a1, "a1"}, {a2, "a2"}, {b, "b"}, {c, "c"}})
            tree.SetName(node, name);
    }
};

class QtTreeGridTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        GuiApp();
        grid = std::make_unique<QtTreeGrid>("VT");
        for (int i = 0; i < 3; ++i) {
            const int column = grid->AddColumn();
            grid->SetColumnText(column, "Column " + std::to_string(column));
            grid->SetColumnWidth(column, 80 + 10 * column);
        }
        events.getText = [this](NodeId node, int column) {
            ++textCalls;
            return grid->Nodes().Field(node, FileName) + "/" + std::to_string(column);
        };
        events.getHint = [this](NodeId node, int) { return "hint " + grid->Nodes().Field(node, FileName); };
        events.getImageIndex = [](NodeId, int column) {
            return column == 0 ? QtIconList::Instance().IndexOfType(true, "") : -1;
        };
        events.selectionChange = [this](NodeId node) { selections.push_back(node); };
        events.headerClick = [this](int column, MouseButton) { clicks.push_back(column); };
        events.headerMouseDown = [this](int column, MouseButton button) { downs.push_back({column, button}); };
        grid->SetEvents(events);
        Fixture f;
        ids = {f.top, f.a, f.a1, f.a2, f.b, f.c, f.other};
        grid->ReplaceNodes(std::move(f.tree));
        grid->resize(500, 300);
        grid->show();
        Settle();
    }

    QAbstractItemModel &model() { return *grid->model(); }
    QPoint headerPoint(int column)
    {
        QHeaderView *h = grid->header();
        return QPoint(h->sectionViewportPosition(column) + h->sectionSize(column) / 2, h->height() / 2);
    }

    std::unique_ptr<QtTreeGrid> grid;
    TreeGridEvents events;
    std::vector<NodeId> ids; // top, a, a1, a2, b, c, other
    std::vector<NodeId> selections;
    std::vector<int> clicks;
    std::vector<std::pair<int, MouseButton>> downs;
    int textCalls = 0;
};

} // namespace

TEST_F(QtTreeGridTest, ModelWalksTheNodeTreeBothWays)
{
    const auto [top, a, a1, a2, b, c, other] = std::tuple{ids[0], ids[1], ids[2], ids[3], ids[4], ids[5], ids[6]};
    EXPECT_EQ(model().rowCount(QModelIndex()), 2);
    EXPECT_EQ(model().columnCount(QModelIndex()), 3);
    const QModelIndex topIndex = model().index(0, 0, QModelIndex());
    EXPECT_EQ(QtTreeGrid::NodeOf(topIndex), top);
    EXPECT_EQ(model().rowCount(topIndex), 3);
    EXPECT_EQ(QtTreeGrid::NodeOf(model().index(1, 0, QModelIndex())), other);
    // Every node's index leads back to the node, and its parent index to its parent.
    for (NodeId node : {a, a1, a2, b, c}) {
        const QModelIndex index = grid->IndexOf(node, 2);
        ASSERT_TRUE(index.isValid());
        EXPECT_EQ(QtTreeGrid::NodeOf(index), node);
        EXPECT_EQ(index.column(), 2);
        EXPECT_EQ(QtTreeGrid::NodeOf(index.parent()), grid->Nodes().Parent(node));
        EXPECT_EQ(index.parent().column(), 0);
    }
    EXPECT_EQ(grid->IndexOf(a2).row(), 1);
    EXPECT_FALSE(model().index(3, 0, topIndex).isValid());
    EXPECT_FALSE(model().index(0, 3, topIndex).isValid());
    EXPECT_EQ(model().rowCount(grid->IndexOf(a, 1)), 0); // only column 0 has children
}

TEST_F(QtTreeGridTest, CellsComeFromTheEventsWithTheColumnsLook)
{
    const NodeId b = ids[4];
    grid->SetColumnColor(0, ColumnColor{false, Rgb{239, 243, 255}});
    grid->SetColumnColor(1, ColumnColor{true, {}});
    grid->SetColumnColor(2, ColumnColor{false, Rgb{20, 20, 60}});
    grid->SetColumnAlignment(1, Alignment::Right);
    grid->SetColumnAlignment(2, Alignment::Center);

    EXPECT_EQ(grid->IndexOf(b, 1).data(Qt::DisplayRole).toString(), QStringLiteral("b/1"));
    EXPECT_EQ(grid->IndexOf(b, 2).data(Qt::ToolTipRole).toString(), QStringLiteral("hint b"));
    EXPECT_EQ(grid->IndexOf(b, 0).data(Qt::BackgroundRole).value<QBrush>().color(), QColor(239, 243, 255));
    EXPECT_EQ(grid->IndexOf(b, 1).data(Qt::BackgroundRole).value<QBrush>().color(), QtTreeGrid::TooltipColor());
    EXPECT_NE(QtTreeGrid::ReadOnlyColor(), QtTreeGrid::TooltipColor());
    // The text stays readable on a dark column as on a light one.
    EXPECT_EQ(grid->IndexOf(b, 0).data(Qt::ForegroundRole).value<QBrush>().color(), QColor(Qt::black));
    EXPECT_EQ(grid->IndexOf(b, 2).data(Qt::ForegroundRole).value<QBrush>().color(), QColor(Qt::white));
    EXPECT_EQ(grid->IndexOf(b, 0).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignHorizontal_Mask,
              Qt::AlignLeft);
    EXPECT_EQ(grid->IndexOf(b, 1).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignHorizontal_Mask,
              Qt::AlignRight);
    EXPECT_EQ(grid->IndexOf(b, 2).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignHorizontal_Mask,
              Qt::AlignHCenter);
    EXPECT_FALSE(grid->IndexOf(b, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
    EXPECT_FALSE(grid->IndexOf(b, 1).data(Qt::DecorationRole).isValid());
    EXPECT_EQ(model().headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("Column 2"));
    EXPECT_EQ(grid->GetColumnColor(1), (ColumnColor{true, {}}));
    EXPECT_EQ(grid->GetColumnAlignment(2), Alignment::Center);
}

TEST_F(QtTreeGridTest, AFailingCellIsEmptyAndPaintingGoesOn)
{
    events.getText = [](NodeId, int) -> std::string { throw std::runtime_error("no text"); };
    events.getImageIndex = [](NodeId, int) -> int { throw std::runtime_error("no icon"); };
    grid->SetEvents(events);
    EXPECT_FALSE(grid->IndexOf(ids[4], 1).data(Qt::DisplayRole).isValid());
    EXPECT_FALSE(grid->IndexOf(ids[4], 0).data(Qt::DecorationRole).isValid());
    QPixmap target(grid->size());
    QPainter painter(&target);
    grid->render(&painter); // must not throw
}

// Texts are drawn on one line inside their cell: one too long for the last column is cut at its
// edge, whichever way it runs, and one that fits sits where its column's alignment puts it.
TEST_F(QtTreeGridTest, TextsStayInsideTheirCellsAndFollowTheAlignment)
{
    const NodeId b = ids[4], c = ids[5];
    const std::string hebrew = "\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d "; // a word running right to left
    events.getText = [&](NodeId node, int column) -> std::string {
        if (column == 0)
            return {};
        if (column == 1)
            return "12";
        std::string text;
        for (int i = 0; i < 40; ++i)
            text += node == c ? hebrew : "Wide ";
        return text;
    };
    events.getImageIndex = [](NodeId, int) { return -1; };
    grid->SetEvents(events);
    for (int column = 0; column < 3; ++column)
        grid->SetColumnColor(column, ColumnColor{false, Rgb{255, 255, 255}});
    grid->SetColumnAlignment(1, Alignment::Right);
    grid->SetExpanded(ids[0], true);
    grid->selectionModel()->clear();
    Settle();

    QImage shot(grid->viewport()->size(), QImage::Format_RGB32);
    grid->viewport()->render(&shot);
    // The x offsets from `from` of the pixel columns between `from` and `to` that hold ink (dark
    // pixels) in the row of `node`.
    auto ink = [&](NodeId node, int from, int to) {
        const QRect row = grid->visualRect(grid->IndexOf(node, 0));
        std::vector<int> xs;
        for (int x = from; x <= to; ++x)
            for (int y = row.top(); y < row.bottom(); ++y)
                if (qGray(shot.pixel(x, y)) < 128) {
                    xs.push_back(x - from);
                    break;
                }
        return xs;
    };
    for (NodeId node : {b, c}) {
        SCOPED_TRACE(node == b ? "left to right" : "right to left");
        const QRect last = grid->visualRect(grid->IndexOf(node, 2));
        EXPECT_FALSE(ink(node, last.left(), last.right()).empty());
        ASSERT_LT(last.right() + 1, shot.width());
        EXPECT_TRUE(ink(node, last.right() + 1, shot.width() - 1).empty()); // nothing beyond the cell
        const QRect number = grid->visualRect(grid->IndexOf(node, 1));
        const std::vector<int> xs = ink(node, number.left(), number.right());
        ASSERT_FALSE(xs.empty());
        EXPECT_GT(xs.front(), number.width() / 2); // "12" on the right
        EXPECT_LT(xs.back(), number.width() - 1);
    }
}

// The rows paint the whole viewport, which is not filled beneath them: their cells, the space
// beside the columns and below the last row. A selected row is highlighted from its branches to
// its last cell, the row under the mouse is tinted, the others keep their columns' colours; each
// column's line runs down its right edge in the colour of each row.
TEST_F(QtTreeGridTest, RowsPaintTheWholeViewportWithTheSelectionAndTheRowUnderTheMouse)
{
    const NodeId top = ids[0], a = ids[1], b = ids[4], c = ids[5];
    events.getText = [](NodeId, int) { return std::string(); }; // backgrounds only
    events.getImageIndex = [](NodeId, int) { return -1; };
    grid->SetEvents(events);
    const QColor columns[] = {QColor(250, 240, 200), QColor(200, 240, 250), QColor(30, 30, 70)};
    for (int column = 0; column < 3; ++column)
        grid->SetColumnColor(column, ColumnColor{false, Rgb{std::uint8_t(columns[column].red()),
                                                            std::uint8_t(columns[column].green()),
                                                            std::uint8_t(columns[column].blue())}});
    grid->SetExpanded(top, true);
    grid->SelectNode(b);
    const QPoint onC = grid->visualRect(grid->IndexOf(c, 1)).center();
    QHoverEvent hover(QEvent::HoverMove, QPointF(onC), QPointF(grid->viewport()->mapToGlobal(onC)), QPointF(-1, -1));
    QApplication::sendEvent(grid->viewport(), &hover);
    grid->clearFocus(); // no focus frame over the selected row
    Settle();

    QImage shot(grid->viewport()->size(), QImage::Format_RGB32);
    shot.fill(Qt::magenta);
    grid->viewport()->render(&shot);
    int unpainted = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            unpainted += shot.pixelColor(x, y) == QColor(Qt::magenta);
    EXPECT_EQ(unpainted, 0);

    const QPalette::ColorGroup group = grid->isActiveWindow() ? QPalette::Active : QPalette::Inactive;
    const QColor highlight = grid->palette().color(group, QPalette::Highlight);
    const QColor base = grid->palette().color(group, QPalette::Base);
    auto at = [&](NodeId node, int column) { return shot.pixelColor(grid->visualRect(grid->IndexOf(node, column)).center()); };
    for (int column = 0; column < 3; ++column) {
        SCOPED_TRACE(column);
        EXPECT_EQ(at(b, column), highlight);
        EXPECT_EQ(at(a, column), columns[column]);
        EXPECT_NE(at(c, column), columns[column]);
        EXPECT_NE(at(c, column), highlight);
    }
    // Each cell's right edge is its column's line, drawn for the selected and the tinted row in
    // their own colours, not in those of the other rows.
    auto edge = [&](NodeId node, int column) {
        const QRect cell = grid->visualRect(grid->IndexOf(node, column));
        return shot.pixelColor(cell.right(), cell.center().y());
    };
    for (int column = 0; column < 3; ++column) {
        SCOPED_TRACE(column);
        EXPECT_NE(edge(a, column), columns[column]);
        EXPECT_EQ(edge(ids[6], column), edge(a, column));
        EXPECT_NE(edge(b, column), highlight);
        EXPECT_NE(edge(b, column), edge(a, column));
        EXPECT_NE(edge(c, column), at(c, column));
        EXPECT_NE(edge(c, column), edge(a, column));
    }
    const QRect rowB = grid->visualRect(grid->IndexOf(b, 0));
    EXPECT_EQ(shot.pixelColor(1, rowB.center().y()), highlight) << "the selected row's branches";
    const QRect last = grid->visualRect(grid->IndexOf(ids[6], 2));
    EXPECT_EQ(shot.pixelColor(last.right() + 5, rowB.center().y()), base) << "beside the columns";
    EXPECT_EQ(shot.pixelColor(5, shot.height() - 2), base) << "below the last row";
}

// A row's branches show its own place in the tree, however many rows drew theirs before it: a
// folder's box as it is expanded or not, a line going on below a child with siblings after it.
TEST_F(QtTreeGridTest, BranchesShowEachRowsPlaceAsItChanges)
{
    const NodeId top = ids[0], a = ids[1], a1 = ids[2], a2 = ids[3];
    grid->SetExpanded(top, true);
    grid->SetExpanded(a, true);
    grid->selectionModel()->clear();
    auto branches = [&](NodeId node) {
        Settle();
        QImage shot(grid->viewport()->size(), QImage::Format_RGB32);
        grid->viewport()->render(&shot);
        const QRect row = grid->visualRect(grid->IndexOf(node, 0));
        return shot.copy(0, row.top(), row.left(), row.height());
    };
    const QImage expanded = branches(a);
    EXPECT_NE(branches(a1), branches(a2)) << "a line goes on below a1, not below a2";
    grid->SetExpanded(a, false);
    const QImage collapsed = branches(a);
    EXPECT_NE(collapsed, expanded);
    grid->SetExpanded(a, true);
    EXPECT_EQ(branches(a), expanded);
}

TEST_F(QtTreeGridTest, HiddenColumnsKeepTheirWidthAndPositionsMove)
{
    EXPECT_EQ(grid->ColumnWidth(1), 90);
    grid->SetColumnVisible(1, false);
    EXPECT_FALSE(grid->ColumnVisible(1));
    EXPECT_EQ(grid->ColumnWidth(1), 90);
    grid->SetColumnWidth(1, 133); // set while hidden, seen when shown
    EXPECT_EQ(grid->ColumnWidth(1), 133);
    grid->SetColumnVisible(1, true);
    EXPECT_EQ(grid->header()->sectionSize(1), 133);
    EXPECT_EQ(grid->ColumnWidth(1), 133);

    // A drag on screen is a section move; positions are read back per column number.
    grid->header()->moveSection(0, 2);
    EXPECT_EQ(grid->ColumnPosition(0), 2);
    EXPECT_EQ(grid->ColumnPosition(1), 0);
    grid->SetColumnPosition(0, 0);
    EXPECT_EQ(grid->ColumnPosition(0), 0);
    EXPECT_EQ(grid->ColumnPosition(2), 2);
    // A width dragged on screen is what the grid reports.
    grid->header()->resizeSection(2, 61);
    EXPECT_EQ(grid->ColumnWidth(2), 61);
    // Narrowed to nothing on screen, the column is still shown, at no width.
    grid->header()->resizeSection(2, 0);
    EXPECT_TRUE(grid->ColumnVisible(2));
    EXPECT_EQ(grid->ColumnWidth(2), 0);
}

TEST_F(QtTreeGridTest, SortArrowShowsTheGridsOwnSortState)
{
    QHeaderView *h = grid->header();
    EXPECT_EQ(grid->SortColumn(), -1);
    EXPECT_EQ(h->sortIndicatorSection(), -1);
    EXPECT_FALSE(grid->isSortingEnabled());

    // A click is reported; the arrow follows the state the handler leaves, not Qt's own flip.
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, headerPoint(1));
    ASSERT_EQ(clicks, std::vector<int>{1});
    EXPECT_EQ(h->sortIndicatorSection(), -1);

    events.headerClick = [this](int column, MouseButton) {
        grid->SetSortDirection(grid->SortColumn() == column && grid->GetSortDirection() == SortDirection::Ascending
                                   ? SortDirection::Descending
                                   : SortDirection::Ascending);
        grid->SetSortColumn(column);
    };
    grid->SetEvents(events);
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, headerPoint(2));
    EXPECT_EQ(h->sortIndicatorSection(), 2);
    EXPECT_EQ(h->sortIndicatorOrder(), Qt::AscendingOrder);
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, headerPoint(2));
    EXPECT_EQ(h->sortIndicatorOrder(), Qt::DescendingOrder);
    EXPECT_EQ(grid->GetSortDirection(), SortDirection::Descending);
}

TEST_F(QtTreeGridTest, RightButtonOnTheHeaderIsAMouseDownNotAClick)
{
    QTest::mouseClick(grid->header()->viewport(), Qt::RightButton, {}, headerPoint(2));
    ASSERT_EQ(downs.size(), 1u);
    EXPECT_EQ(downs[0].first, 2);
    EXPECT_EQ(downs[0].second, MouseButton::Right);
    EXPECT_TRUE(clicks.empty());
}

TEST_F(QtTreeGridTest, ExpansionLivesInTheRecordsAndSurvivesAReset)
{
    const NodeId top = ids[0], a = ids[1];
    grid->SetExpanded(top, true);
    grid->expand(grid->IndexOf(a)); // as a click on the expand button does
    EXPECT_TRUE(grid->Nodes().Expanded(a));
    grid->BeginUpdate();
    grid->EndUpdate();
    EXPECT_TRUE(grid->isExpanded(grid->IndexOf(top)));
    EXPECT_TRUE(grid->isExpanded(grid->IndexOf(a)));
    grid->collapse(grid->IndexOf(a));
    EXPECT_FALSE(grid->Nodes().Expanded(a));

    // A new tree comes with its own expanded nodes.
    Fixture fresh;
    fresh.tree.SetExpanded(fresh.top, true);
    grid->ReplaceNodes(std::move(fresh.tree));
    EXPECT_TRUE(grid->isExpanded(grid->IndexOf(fresh.top)));
    EXPECT_FALSE(grid->isExpanded(grid->IndexOf(fresh.a)));
}

TEST_F(QtTreeGridTest, SelectingRaisesTheEventButARestoreDoesNot)
{
    const NodeId a2 = ids[3], b = ids[4];
    grid->SelectNode(a2);
    EXPECT_EQ(selections, std::vector<NodeId>{a2});
    EXPECT_EQ(grid->SelectedNode(), a2);
    EXPECT_EQ(grid->FocusedNode(), a2);
    EXPECT_TRUE(grid->isExpanded(grid->IndexOf(ids[1]))); // shown: its folder opened

    // An update that keeps the entries (a sort) keeps the selection, silently.
    grid->BeginUpdate();
    grid->EndUpdate();
    EXPECT_EQ(grid->SelectedNode(), a2);
    EXPECT_EQ(selections.size(), 1u);

    // A refill that reuses the numbers for other entries does not select a stranger.
    grid->SetFocusedNode(b);
    grid->BeginUpdate();
    TNodeTree &nodes = grid->Nodes();
    nodes.Clear();
    for (int i = 0; i < 8; ++i) {
        const NodeId n = nodes.AddTopLevel();
        nodes.SetExplicitPath(n, "/elsewhere/n" + std::to_string(i), 2);
    }
    grid->EndUpdate();
    EXPECT_EQ(grid->SelectedNode(), kNoNode);
    EXPECT_EQ(grid->FocusedNode(), kNoNode);
    EXPECT_EQ(selections.size(), 1u);

    // A click selects the row and reports it.
    const QRect row = grid->visualRect(grid->IndexOf(nodes.Child(TNodeTree::Root(), 3), 1));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, row.center());
    ASSERT_EQ(selections.size(), 2u);
    EXPECT_EQ(selections.back(), nodes.Child(TNodeTree::Root(), 3));
}

TEST_F(QtTreeGridTest, DoubleClickIsReportedAndTogglesExpansion)
{
    int doubles = 0;
    events.doubleClick = [&] { ++doubles; };
    grid->SetEvents(events);
    const QRect row = grid->visualRect(grid->IndexOf(ids[0], 1));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, row.center());
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, row.center());
    EXPECT_EQ(doubles, 1);
    EXPECT_TRUE(grid->Nodes().Expanded(ids[0]));
}

TEST_F(QtTreeGridTest, PaintingAsksOnlyForTheRowsOnScreen)
{
    // A flat list of 200,000 entries: a paint must not walk it.
    TNodeTree big;
    for (int i = 0; i < 200000; ++i) {
        const NodeId n = big.AddTopLevel();
        big.SetExplicitPath(n, "/big/f" + std::to_string(i), 1 + (i > 9) + (i > 99) + (i > 999) + (i > 9999) + (i > 99999));
    }
    grid->ReplaceNodes(std::move(big));
    EXPECT_TRUE(grid->uniformRowHeights());
    Settle();
    textCalls = 0;
    grid->scrollToBottom();
    grid->viewport()->repaint();
    EXPECT_GT(textCalls, 0);
    EXPECT_LT(textCalls, 3 * 100);
}

TEST_F(QtTreeGridTest, SortOrdersEveryLevelThroughTheCompareEventAndKeepsTheSelection)
{
    const NodeId top = ids[0], a = ids[1], a1 = ids[2], a2 = ids[3], b = ids[4], c = ids[5];
    // By name, backwards: an order the tree does not have yet.
    events.compare = [this](NodeId x, NodeId y, int column) {
        EXPECT_EQ(column, 1);
        const std::string p = grid->Nodes().Field(x, FileName), q = grid->Nodes().Field(y, FileName);
        return p < q ? 1 : p > q ? -1 : 0;
    };
    grid->SetEvents(events);
    grid->SelectNode(b);
    grid->Sort(1, SortDirection::Ascending);
    EXPECT_EQ(grid->Nodes().Children(top), (std::vector<NodeId>{c, b, a}));
    EXPECT_EQ(grid->Nodes().Children(a), (std::vector<NodeId>{a2, a1}));
    EXPECT_EQ(QtTreeGrid::NodeOf(model().index(0, 0, grid->IndexOf(top))), c);
    EXPECT_EQ(grid->SelectedNode(), b);
    grid->Sort(1, SortDirection::Descending);
    EXPECT_EQ(grid->Nodes().Children(top), (std::vector<NodeId>{a, b, c}));
    EXPECT_EQ(selections.size(), 1u);
}

TEST(QtIconListTest, OneIconPerTypeWhateverTheLetterCase)
{
    GuiApp();
    QtIconList &icons = QtIconList::Instance();
    const int txt = icons.IndexOfType(false, "txt");
    ASSERT_GE(txt, 0);
    EXPECT_FALSE(icons.Icon(txt).isNull());
    const int count = icons.Count();
    EXPECT_EQ(icons.IndexOfType(false, "TXT"), txt);
    EXPECT_EQ(icons.IndexOfType(false, "Txt"), txt);
    EXPECT_EQ(icons.Count(), count); // cached, not added again
    const int jpg = icons.IndexOfType(false, "jpg");
    EXPECT_NE(jpg, txt);
    EXPECT_FALSE(icons.Icon(jpg).isNull());
    // A file without an extension, or with one no type is known by, still has an icon.
    for (std::string_view extension : {"", "no-such-type-\xe9"}) {
        const int index = icons.IndexOfType(false, extension);
        EXPECT_FALSE(icons.Icon(index).isNull()) << extension;
    }
    const int folder = icons.IndexOfType(true, "txt"); // a folder's name plays no part
    EXPECT_EQ(icons.IndexOfType(true, ""), folder);
    EXPECT_NE(folder, txt);
    EXPECT_FALSE(icons.Icon(folder).isNull());
    EXPECT_TRUE(icons.Icon(-1).isNull());
    EXPECT_TRUE(icons.Icon(icons.Count()).isNull());
}

// Painted through the list, whose pixmaps are kept, an icon looks as QIcon::paint draws it: in
// each mode, centred in a rect larger than it, the second time as the first; a marked icon keeps
// its badge.
TEST(QtIconListTest, PaintedIconsLookAsTheIconPaintsThem)
{
    GuiApp();
    QtIconList &icons = QtIconList::Instance();
    const int folder = icons.IndexOfType(true, "");
    const int marked = icons.WithMark(icons.IndexOfType(false, "txt"), IconMark::NotRead);
    for (int index : {folder, marked}) {
        for (QIcon::Mode mode : {QIcon::Normal, QIcon::Selected, QIcon::Disabled}) {
            for (const QRect &rect : {QRect(2, 3, 16, 16), QRect(1, 1, 22, 19)}) {
                auto draw = [&](bool throughList) {
                    QImage image(26, 24, QImage::Format_ARGB32_Premultiplied);
                    image.fill(Qt::white);
                    QPainter painter(&image);
                    if (throughList)
                        EXPECT_TRUE(icons.Paint(&painter, index, rect, mode));
                    else
                        icons.Icon(index).paint(&painter, rect, Qt::AlignCenter, mode);
                    return image;
                };
                const QImage expected = draw(false);
                EXPECT_TRUE(draw(true) == expected) << index << " mode " << int(mode) << " " << rect.width();
                EXPECT_TRUE(draw(true) == expected) << "kept: " << index << " mode " << int(mode);
            }
        }
    }
    QImage image(4, 4, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    EXPECT_FALSE(icons.Paint(&painter, -1, QRect(0, 0, 4, 4), QIcon::Normal));
}
