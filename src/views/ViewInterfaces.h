#pragma once
// The three small interfaces through which the view controller reaches the widgets: a tree-grid,
// a chart and the main view. The Qt classes implement them for the screen; plain implementations
// that record what was done let the controller's logic run and be tested without a display.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/NodeTree.h"

namespace folvane {

class TXmlDocument;

enum class SortDirection { Ascending, Descending };
enum class Alignment { Left, Right, Center };
enum class MouseButton { Left, Right, Middle };

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb &) const = default;
};

// A column background: a fixed colour, or the system's tooltip background.
struct ColumnColor {
    bool systemTooltip = false;
    Rgb rgb;
    bool operator==(const ColumnColor &) const = default;
};

// The events a tree-grid raises; the controller wires them at its creation. Unset events are not raised.
struct TreeGridEvents {
    // Negative when `a` belongs before `b` in ascending order (the grid reverses it for descending).
    std::function<int(NodeId a, NodeId b, int column)> compare;
    std::function<std::string(NodeId node, int column)> getText;
    std::function<std::string(NodeId node, int column)> getHint;
    // The image index of a cell; -1 for none.
    std::function<int(NodeId node, int column)> getImageIndex;
    std::function<void(int column, MouseButton button)> headerClick;
    std::function<void(int column, MouseButton button)> headerMouseDown;
    std::function<void(NodeId node)> selectionChange; // kNoNode when the selection becomes empty
    std::function<void()> doubleClick;
};

class ITreeGrid {
public:
    virtual ~ITreeGrid() = default;

    virtual std::string Name() const = 0; // "VT", "VTList", "VTAge", "VTSize", "VTType"
    virtual void SetEvents(TreeGridEvents events) = 0;

    // The node tree behind the grid. Changes to it are bracketed by BeginUpdate/EndUpdate, after
    // which the grid shows the tree as it then is.
    virtual TNodeTree &Nodes() = 0;
    virtual void BeginUpdate() = 0;
    virtual void EndUpdate() = 0;
    // BeginUpdate for a change of the tree in place (a folder refreshed, entries removed): at its
    // end the grid goes on showing the rows it showed, where they still are, instead of starting
    // again from the top.
    virtual void BeginChangeInPlace() { BeginUpdate(); }
    // Swaps in a whole new tree (a finished scan) and shows it.
    virtual void ReplaceNodes(TNodeTree &&tree) = 0;
    virtual void SetExpanded(NodeId node, bool expanded) = 0;

    // Header sort state: column -1 is "none" (the start state).
    virtual int SortColumn() const = 0;
    virtual SortDirection GetSortDirection() const = 0;
    virtual void SetSortColumn(int column) = 0;
    virtual void SetSortDirection(SortDirection direction) = 0;
    // Sorts every level of the tree by the given column and direction through the compare event.
    virtual void Sort(int column, SortDirection direction) = 0;

    // Focus and selection. Selecting a node replaces the selection, focuses it and raises selectionChange.
    virtual NodeId FocusedNode() const = 0;
    virtual void SetFocusedNode(NodeId node) = 0;
    virtual NodeId SelectedNode() const = 0;
    virtual void SelectNode(NodeId node) = 0;
    // Every selected row, in the order shown (the lists select several; VT one at a time).
    virtual std::vector<NodeId> SelectedNodes() const = 0;

    // Columns: paired with configuration entries by number, never by display position.
    virtual void ClearColumns() = 0;
    virtual void BeginColumnUpdate() = 0;
    virtual void EndColumnUpdate() = 0;
    virtual int AddColumn() = 0; // at the end; returns its number
    virtual int ColumnCount() const = 0;
    virtual void SetColumnText(int column, const std::string &text) = 0;
    virtual std::string ColumnText(int column) const = 0;
    virtual void SetColumnWidth(int column, int width) = 0;
    virtual int ColumnWidth(int column) const = 0;
    virtual void SetColumnColor(int column, ColumnColor color) = 0;
    virtual ColumnColor GetColumnColor(int column) const = 0;
    virtual void SetColumnAlignment(int column, Alignment alignment) = 0;
    virtual Alignment GetColumnAlignment(int column) const = 0;
    virtual void SetColumnPosition(int column, int position) = 0;
    virtual int ColumnPosition(int column) const = 0;
    virtual void SetColumnVisible(int column, bool visible) = 0;
    virtual bool ColumnVisible(int column) const = 0;
};

enum class SeriesKind { None, Pie, Bar };
// What a chart's values measure: files counted, or bytes.
enum class ValueUnit { Files, Bytes };

struct ChartPoint {
    std::string label;
    std::uint64_t value = 0; // bytes or files: whole numbers, so that shares round exactly
};

class IChart {
public:
    virtual ~IChart() = default;

    virtual std::string Name() const = 0; // "ChartFile", "AgeChart", "SizeChart", "TypeChart"
    virtual void ClearTitle() = 0;
    virtual void AddTitleLine(const std::string &line) = 0;
    virtual std::vector<std::string> TitleLines() const = 0;

    // A chart holds at most one series: RemoveAllSeries, then AddSeries, then the points in one batch.
    virtual void RemoveAllSeries() = 0;
    virtual void AddSeries(SeriesKind kind) = 0;
    virtual void AddPoints(std::span<const ChartPoint> points) = 0;
    virtual SeriesKind Kind() const = 0; // None when the chart has no series
    virtual std::vector<ChartPoint> Points() const = 0;
    // What the values measure, for the texts the chart shows (hover texts, axis); set before the points.
    virtual void SetValueUnit(ValueUnit unit) = 0;
    // Raised with the index of the point clicked.
    virtual void SetPointClickHandler(std::function<void(int point)> handler) = 0;
    // Raised when an item that stands for several merged points is clicked (a chart draws at
    // most a few hundred points on their own): the first of them and how many, all in order.
    virtual void SetMergedClickHandler(std::function<void(int first, int count)> handler) = 0;

    // Renders the chart at its current size on white into a BMP file; throws on failure.
    virtual void SaveBitmap(const std::string &path) = 0;
};

enum class GridId { VT, VTList, VTAge, VTSize, VTType };
enum class ChartId { ChartFile, AgeChart, SizeChart, TypeChart };
enum class PageControlId { pcTotal, pcAge, pcSize, pcType };
enum class ButtonId {
    tbPieFile, tbBarFile,
    tbPie, tbBar, sbCreate, sbAccess, sbWrite,
    tbPieSize, tbBarSize,
    tbPieType, tbBarType, sbTop, sbAll,
    sbFiles, sbSize, // the type chart counts files or sums their bytes
};

class IMainView {
public:
    virtual ~IMainView() = default;

    virtual ITreeGrid &Grid(GridId id) = 0;
    virtual IChart &Chart(ChartId id) = 0;

    virtual void SetPathLabel(const std::string &text) = 0;
    virtual std::string PathLabel() const = 0;
    virtual void SetUpEnabled(bool enabled) = 0;
    virtual bool UpEnabled() const = 0;

    virtual bool IsDown(ButtonId button) const = 0;
    virtual void SetDown(ButtonId button, bool down) = 0;

    virtual void ShowPage(PageControlId control, int page) = 0;
    virtual int Page(PageControlId control) const = 0;

    // The index in the shared icon list of the icon for a folder, or for a file with this extension
    // (any letter case; empty for none). Asked while painting, so it never looks at the disk: an
    // entry's icon follows what the scan recorded of it.
    virtual int IconIndexOf(bool isFolder, std::string_view extension) = 0;

    // The main window's catalogue XML document, which the XML and workbook exports build and reset.
    virtual TXmlDocument &XMLDoc() = 0;
};

} // namespace folvane
