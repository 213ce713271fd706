#pragma once
// TFACtrl: the view controller between the main window and its five tree-grids and four charts.
//
// It builds the grids' columns from the configuration, answers their requests for cell text,
// hints and icons, sorts them, shows the entry chosen in the catalogue tree (path label, up
// button, class counts, current-folder list, charts), fills the drill-down lists, saves charts,
// and runs the export and file-manager commands. It reaches the widgets only through the
// interfaces of ViewInterfaces.h, so everything here runs without a display.
//
// The main view must outlive the controller. The controller wires the grids' events and the
// charts' click handlers to itself at construction and unwires them when it is destroyed.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/NodeTree.h"
#include "common/Clock.h"
#include "views/Statistics.h"
#include "views/ViewInterfaces.h"

namespace folvane {

// The display text of one field of a record: sizes in B, KB, MB or GB (divisor 1024, two
// decimals, grouped), percentages followed by "%", any other field as it is. Empty without a
// record, for an empty field, or for a size that is not a number.
std::string FormatSize(std::uint8_t field, const TNodeTree *tree, NodeId node);
// A number of bytes in the form FormatSize gives a size.
std::string FormatBytes(double bytes);

// Asks the main view for the icon of the record's path and writes it into both icon words.
void GetIconIndexes(IMainView &main, TNodeTree &tree, NodeId node);

class TFACtrl {
public:
    // Create: wires the events of the five grids and loads the class boundaries. `clock` gives
    // "now" for the age classes; it is read once per classification or counting pass.
    explicit TFACtrl(IMainView &main, Clock clock = LocalNow);
    // Destroy: unwires the events and drops the grid references and the lists.
    ~TFACtrl();
    void Destroy();
    TFACtrl(const TFACtrl &) = delete;
    TFACtrl &operator=(const TFACtrl &) = delete;

    // --- Fields -------------------------------------------------------------------------------
    IMainView *Main;
    std::uint8_t SortField = 0;  // field of the header last clicked in any grid
    std::string CurrentPath;     // FullPath of the entry shown
    std::string RootPath;        // the folder last opened; set by the main window
    NodeId CurrentNode = kNoNode; // the VT node shown; the main window sets kNoNode before a scan
    ITreeGrid *Tree = nullptr;   // VT
    ITreeGrid *List = nullptr;   // VTList
    std::vector<std::int64_t> AgeBounds;  // days
    std::vector<std::int64_t> SizeBounds; // bytes
    std::vector<std::uint64_t> SizeCounts, CreateCounts, AccessCounts, WriteCounts;
    TTypeCounts TypeCounts;
    Clock Now;
    // Called at the end of ShowFolder with the entry it made current (the treemap follows it).
    std::function<void(NodeId)> FolderShown;

    // --- Columns, cells, layout ---------------------------------------------------------------
    void SetupColumns(ITreeGrid &grid);
    std::string GetText(ITreeGrid &grid, NodeId node, int column);
    std::string GetHint(ITreeGrid &grid, NodeId node, int column);
    // The image of a cell: only in a column that shows field 0; -1 when there is none.
    int GetImageIndex(ITreeGrid &grid, NodeId node, int column);
    void HeaderMouseDown(ITreeGrid &grid, int column, MouseButton button);
    void ShowColumnDialog();
    void SaveLayout();

    // --- Sorting ------------------------------------------------------------------------------
    void HeaderClick(ITreeGrid &grid, int column, MouseButton button);
    // Compares two sibling nodes of the grid by the field of `column` (field 0 for column -1):
    // folders before files in both directions, then numbers, date-times or text by field.
    int CompareNodes(ITreeGrid &grid, NodeId a, NodeId b, int column);
    // Sorts the whole grid, every level, by its header's sort column and direction (the main
    // window calls this for VT after every scan).
    void SortGrid(ITreeGrid &grid);

    // --- Navigation ---------------------------------------------------------------------------
    void TreeChange(ITreeGrid &grid, NodeId node);
    void ShowFolder(NodeId node);
    void FillFileList(ITreeGrid &list);
    void UpdateListPercentages(ITreeGrid &list);
    void ListDblClick(ITreeGrid &sender);
    void SelectChild(std::string_view name);

    // --- Statistics ---------------------------------------------------------------------------
    void LoadRanges();
    void ResetCounters();
    void ClassifyFiles();
    void CountClasses();
    static void SortTypeCounts(TTypeCounts &typeCounts);

    // --- Charts and drill-down lists ----------------------------------------------------------
    void ShowFileChart(IChart &chart, bool asBar);
    // timeKind: 0 creation, 1 last access, any other last write.
    void ShowAgeChart(IChart &chart, bool asBar, int timeKind);
    void ShowSizeChart(IChart &chart, bool asBar);
    void ShowTypeChart(IChart &chart, bool asBar, bool showAll);
    void SeriesClick(IChart &chart, int point);
    // keyKind: 0 to 2 the age class by creation, access or write time, 3 the size class (key is
    // the class index), 4 the extension (key is the type point's label, any letter case).
    void FillClassList(ITreeGrid &list, int keyKind, std::string_view key);
    void SaveChart(IChart &chart);

    // --- Exports and the file manager ---------------------------------------------------------
    void GetVisibleColumns(std::vector<std::string> &list);
    void ExportHtml(ITreeGrid &grid);
    void ExportXml(ITreeGrid &grid);
    void ExportText(ITreeGrid &grid);
    void ExportCsv(ITreeGrid &grid);
    void ExportExcel(ITreeGrid &grid);
    void OpenExplorer(ITreeGrid &grid);

private:
    void wire();
    void drawCharts();
    int fieldOfColumn(int column) const;
    int ageTimeKind() const;
    bool matchesKey(const TNodeTree &tree, NodeId node, int keyKind, std::string_view key) const;
    template <typename Run> void runExport(Run run);

    int sortingField_ = -1; // the field of the sort in progress, resolved once for all its comparisons
    bool wired_ = false;
};

} // namespace folvane
