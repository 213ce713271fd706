#pragma once
// The tree-grid on screen: a QTreeView over an item model that adapts the grid's own node tree.
//
// The model is thin: an index carries its NodeId, child-by-row and row-of-node come straight from
// the tree, and every cell's text, hint and icon are asked of the events the controller wires.
// Sorting is the controller's: Qt's own sorting stays off and the header's arrow only shows the
// grid's sort state. Expansion lives in the node records, so a model reset (a sort, a refill, a
// new scan) brings it back without walking more than the expanded part of the tree.

#include <QPixmap>
#include <QTreeView>

#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "views/ViewInterfaces.h"

namespace folvane {

class QtCellText;
class QtNodeModel;

class QtTreeGrid final : public QTreeView, public ITreeGrid {
    Q_OBJECT
public:
    explicit QtTreeGrid(const std::string &name, QWidget *parent = nullptr);
    ~QtTreeGrid() override;

    std::string Name() const override { return name_; }
    void SetEvents(TreeGridEvents events) override;

    TNodeTree &Nodes() override { return tree_; }
    void BeginUpdate() override;
    void EndUpdate() override;
    void BeginChangeInPlace() override;
    void ReplaceNodes(TNodeTree &&tree) override;
    void SetExpanded(NodeId node, bool expanded) override;

    int SortColumn() const override { return sortColumn_; }
    SortDirection GetSortDirection() const override { return sortDirection_; }
    void SetSortColumn(int column) override;
    void SetSortDirection(SortDirection direction) override;
    void Sort(int column, SortDirection direction) override;

    NodeId FocusedNode() const override;
    void SetFocusedNode(NodeId node) override;
    NodeId SelectedNode() const override;
    void SelectNode(NodeId node) override;
    std::vector<NodeId> SelectedNodes() const override;

    void ClearColumns() override;
    void BeginColumnUpdate() override;
    void EndColumnUpdate() override;
    int AddColumn() override;
    int ColumnCount() const override { return int(columns_.size()); }
    void SetColumnText(int column, const std::string &text) override;
    std::string ColumnText(int column) const override;
    void SetColumnWidth(int column, int width) override;
    int ColumnWidth(int column) const override;
    void SetColumnColor(int column, ColumnColor color) override;
    ColumnColor GetColumnColor(int column) const override;
    void SetColumnAlignment(int column, Alignment alignment) override;
    Alignment GetColumnAlignment(int column) const override;
    void SetColumnPosition(int column, int position) override;
    int ColumnPosition(int column) const override;
    void SetColumnVisible(int column, bool visible) override;
    bool ColumnVisible(int column) const override;

    // The model index of a node (column 0), and the node of an index.
    QModelIndex IndexOf(NodeId node, int column = 0) const;
    static NodeId NodeOf(const QModelIndex &index);

    // The colours of a column's background as drawn.
    static QColor ReadOnlyColor();
    static QColor TooltipColor();

    // The rows a context menu or a key acts on: the row it was asked on (or the current row)
    // first, then the other selected rows in the order shown; a row outside the selection alone.
    std::vector<NodeId> RowsToActOn(NodeId first) const;

signals:
    // A context menu was asked for on a row (a right click, the menu key, Shift+F10), at a
    // global position; the rows to act on come first the row it was asked on.
    void ContextMenuRequested(std::vector<NodeId> rows, QPoint globalPos);

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void drawRow(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void drawBranches(QPainter *painter, const QRect &rect, const QModelIndex &index) const override;
    bool viewportEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;
    QRegion visualRegionForSelection(const QItemSelection &selection) const override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;

private:
    friend class QtNodeModel;
    struct Column {
        std::string text;
        int width = 50;
        ColumnColor color;
        Alignment alignment = Alignment::Left;
    };
    bool validColumn(int column) const { return column >= 0 && column < int(columns_.size()); }
    void restoreExpansion(NodeId parent);
    void syncSortIndicator();
    void onSelectionChanged();
    template <typename F> void guarded(F &&f) noexcept;
    // What the rows of one paint share: colours, the columns on screen, the font's pieces.
    struct RowLook;
    struct ShownColumn;
    struct Cell;
    struct TextBatch;
    RowLook rowLook(const QStyleOptionViewItem &option) const;
    void drawCell(QPainter *painter, const RowLook &look, const Cell &cell, NodeId node, bool selected,
                  bool ownLine) const;
    void drawColumnLines(QPainter *painter, const RowLook &look) const;
    // The width the tree's branches take before a row's first cell: its level's indentation.
    int indentOf(NodeId node) const;
    const QPixmap &branchPicture(QPainter *painter, const QModelIndex &index, QSize size, bool highlighted,
                                 const RowLook &look) const;
    // Adds a text to the row's glyphs of its colour; false when it is to be drawn on its own.
    bool gather(const QColor &pen, const QRect &room, Qt::Alignment alignment, const QString &text) const;
    void drawTexts(QPainter *painter) const;

    std::string name_;
    TNodeTree tree_;
    TreeGridEvents events_;
    std::vector<Column> columns_;
    std::unique_ptr<QtNodeModel> model_;
    int sortColumn_ = -1;
    SortDirection sortDirection_ = SortDirection::Ascending;
    int updateDepth_ = 0;
    int columnUpdateDepth_ = 0;
    bool quiet_ = false; // while the grid restores its own state: no events, no record writes
    // What a reset must bring back, remembered by node and checked by path.
    struct Remembered {
        NodeId node = kNoNode;
        std::string path;
    } selected_, focused_, topRow_;
    int horizontalScroll_ = 0;
    bool keepView_ = false; // the update is a change in place: the view stays where it was
    NodeId hovered_ = kNoNode; // the row under the mouse, tinted
    // While a paint runs: what its rows share, and the top and bottom of the rows drawn.
    mutable const RowLook *look_ = nullptr;
    mutable int rowsTop_ = 0, rowsBottom_ = -1;
    mutable std::vector<std::pair<int, int>> ownLineRows_; // rows that drew their own column lines
    mutable std::vector<Cell> cells_;                      // of the row being drawn
    // The glyphs of a row's texts drawn from pieces, by colour, drawn when the row's cells are.
    mutable std::vector<TextBatch> texts_;
    mutable QtCellText *cellText_ = nullptr;
    // The pictures of rows' branches, by what they are drawn from (see branchPicture).
    struct BranchKey {
        std::uint64_t ancestors, rest;
        bool operator==(const BranchKey &) const = default;
    };
    struct BranchHash {
        std::size_t operator()(const BranchKey &k) const { return std::hash<std::uint64_t>()(k.ancestors * 31 + k.rest); }
    };
    mutable std::unordered_map<BranchKey, QPixmap, BranchHash> branchPictures_;
    mutable QPixmap unkeptBranches_; // of a row deeper than the keys tell apart
};

} // namespace folvane
