#pragma once
// Plain, display-free implementations of the tree-grid, chart and main-view interfaces. They keep
// what was set, raise their events the way the real widgets do where the controller relies on
// it (selecting a node raises the selection change; a header click raises mouse-down, then
// click), and let tests and benchmarks drive the controller without a screen. Test support:
// built into folvane_testsupport, never into the program.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "config/XmlDocument.h"
#include "views/ViewInterfaces.h"

namespace folvane {

class TPlainTreeGrid final : public ITreeGrid {
public:
    explicit TPlainTreeGrid(std::string name) : name_(std::move(name)) {}

    std::string Name() const override { return name_; }
    void SetEvents(TreeGridEvents events) override { events_ = std::move(events); }
    const TreeGridEvents &Events() const { return events_; }

    TNodeTree &Nodes() override { return nodes_; }
    void BeginUpdate() override { ++updateDepth_; }
    void EndUpdate() override { --updateDepth_; }
    int UpdateDepth() const { return updateDepth_; }
    void ReplaceNodes(TNodeTree &&tree) override;
    void SetExpanded(NodeId node, bool expanded) override { nodes_.SetExpanded(node, expanded); }

    int SortColumn() const override { return sortColumn_; }
    SortDirection GetSortDirection() const override { return direction_; }
    void SetSortColumn(int column) override { sortColumn_ = column; }
    void SetSortDirection(SortDirection direction) override { direction_ = direction; }
    void Sort(int column, SortDirection direction) override;
    int SortCount() const { return sorts_; }

    NodeId FocusedNode() const override { return focused_; }
    void SetFocusedNode(NodeId node) override { focused_ = node; }
    NodeId SelectedNode() const override { return selected_; }
    void SelectNode(NodeId node) override;
    std::vector<NodeId> SelectedNodes() const override { return selection_; }
    // Selects several rows, as a list does with Ctrl and Shift (no event: lists raise none).
    void SelectNodes(std::vector<NodeId> nodes);

    void ClearColumns() override;
    void BeginColumnUpdate() override { ++columnUpdateDepth_; }
    void EndColumnUpdate() override { --columnUpdateDepth_; }
    int ColumnUpdateDepth() const { return columnUpdateDepth_; }
    int AddColumn() override;
    int ColumnCount() const override { return int(columns_.size()); }
    void SetColumnText(int column, const std::string &text) override { col(column).text = text; }
    std::string ColumnText(int column) const override { return col(column).text; }
    void SetColumnWidth(int column, int width) override { col(column).width = width; }
    int ColumnWidth(int column) const override { return col(column).width; }
    void SetColumnColor(int column, ColumnColor color) override { col(column).color = color; }
    ColumnColor GetColumnColor(int column) const override { return col(column).color; }
    void SetColumnAlignment(int column, Alignment alignment) override { col(column).alignment = alignment; }
    Alignment GetColumnAlignment(int column) const override { return col(column).alignment; }
    // Moves the column to the display position; the columns between shift by one, as when a
    // column is dragged in a header.
    void SetColumnPosition(int column, int position) override;
    int ColumnPosition(int column) const override;
    void SetColumnVisible(int column, bool visible) override { col(column).visible = visible; }
    bool ColumnVisible(int column) const override { return col(column).visible; }

    // What a user does, as the screen would report it.
    std::string CellText(NodeId node, int column) const;
    std::string CellHint(NodeId node, int column) const;
    int CellImage(NodeId node, int column) const;
    void ClickHeader(int column, MouseButton button);
    void DoubleClick(NodeId node);

private:
    struct Column {
        std::string text;
        int width = 50;
        ColumnColor color;
        Alignment alignment = Alignment::Left;
        bool visible = true;
    };
    Column &col(int column);
    const Column &col(int column) const;

    std::string name_;
    TreeGridEvents events_;
    TNodeTree nodes_;
    int updateDepth_ = 0, columnUpdateDepth_ = 0;
    int sortColumn_ = -1;
    SortDirection direction_ = SortDirection::Ascending;
    int sorts_ = 0;
    NodeId focused_ = kNoNode, selected_ = kNoNode;
    std::vector<NodeId> selection_;
    std::vector<Column> columns_;
    std::vector<int> order_; // column numbers in display order
};

class TPlainChart final : public IChart {
public:
    explicit TPlainChart(std::string name) : name_(std::move(name)) {}

    std::string Name() const override { return name_; }
    void ClearTitle() override { title_.clear(); }
    void AddTitleLine(const std::string &line) override { title_.push_back(line); }
    std::vector<std::string> TitleLines() const override { return title_; }

    void RemoveAllSeries() override;
    void AddSeries(SeriesKind kind) override;
    void AddPoints(std::span<const ChartPoint> points) override;
    SeriesKind Kind() const override { return kind_; }
    std::vector<ChartPoint> Points() const override { return points_; }
    void SetValueUnit(ValueUnit unit) override { unit_ = unit; }
    ValueUnit Unit() const { return unit_; }
    void SetPointClickHandler(std::function<void(int point)> handler) override { click_ = std::move(handler); }
    void SetMergedClickHandler(std::function<void(int first, int count)> handler) override
    {
        mergedClick_ = std::move(handler);
    }

    // Writes a small white bitmap (a valid BMP file); throws std::runtime_error when it cannot.
    void SaveBitmap(const std::string &path) override;

    // A click on a point, or on an item that stands for `count` merged points from `first`, as
    // the screen reports it.
    void ClickPoint(int point);
    void ClickMerged(int first, int count);
    int SeriesCount() const { return seriesCount_; }

private:
    std::string name_;
    std::vector<std::string> title_;
    SeriesKind kind_ = SeriesKind::None;
    int seriesCount_ = 0;
    std::vector<ChartPoint> points_;
    ValueUnit unit_ = ValueUnit::Files;
    std::function<void(int)> click_;
    std::function<void(int, int)> mergedClick_;
};

class TPlainMainView final : public IMainView {
public:
    // In the state the main window starts in: every chart a pie, "File Create Time", "All" and
    // "Files" down, every page control on its first page, the path label "Current Path".
    TPlainMainView();

    ITreeGrid &Grid(GridId id) override { return *grids_[int(id)]; }
    IChart &Chart(ChartId id) override { return *charts_[int(id)]; }
    TPlainTreeGrid &PlainGrid(GridId id) { return *grids_[int(id)]; }
    TPlainChart &PlainChart(ChartId id) { return *charts_[int(id)]; }

    void SetPathLabel(const std::string &text) override { pathLabel_ = text; }
    std::string PathLabel() const override { return pathLabel_; }
    void SetUpEnabled(bool enabled) override { upEnabled_ = enabled; }
    bool UpEnabled() const override { return upEnabled_; }

    bool IsDown(ButtonId button) const override;
    void SetDown(ButtonId button, bool down) override { down_[button] = down; }

    void ShowPage(PageControlId control, int page) override { pages_[control] = page; }
    int Page(PageControlId control) const override;

    // 0 for a folder; for a file, one index per extension (any letter case) from 1, in the order
    // the extensions are first asked for.
    int IconIndexOf(bool isFolder, std::string_view extension) override;

    TXmlDocument &XMLDoc() override { return xmlDoc_; }

private:
    std::unique_ptr<TPlainTreeGrid> grids_[5];
    std::unique_ptr<TPlainChart> charts_[4];
    std::string pathLabel_ = "Current Path";
    bool upEnabled_ = false;
    std::map<ButtonId, bool> down_;
    std::map<PageControlId, int> pages_;
    std::map<std::string, int> fileIcons_; // lower-case extension -> index
    TXmlDocument xmlDoc_;
};

} // namespace folvane
