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
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/NodeTree.h"
#include "common/Clock.h"
#include "views/Statistics.h"
#include "views/TreeSort.h"
#include "views/ViewInterfaces.h"

namespace folvane {

// A size as the lists show it: in B, KB, MB or GB (divisor 1024), two decimals, grouped.
std::string FormatBytes(std::uint64_t bytes);

// The display text of one field of a record: sizes in B, KB, MB or GB (divisor 1024, two
// decimals, grouped), percentages followed by "%", any other field as it is. Empty without a
// record, for an empty field, or for a size that is not a number.
std::string FormatSize(std::uint8_t field, const TNodeTree *tree, NodeId node);

// The icon of a record, from what the scan recorded of it: the folder icon for a folder, else the
// icon of its name's extension; -1 for a record without a path. It never looks at the disk and
// writes nothing into the record (see the definition).
int GetIconIndexes(IMainView &main, const TNodeTree &tree, NodeId node);

// What painting a cell needs of its column, resolved from the column's configuration entry when
// the columns are set up and again after the column dialog, so that a cell reads this and its
// record and never the configuration document.
struct ColumnSpec {
    std::uint8_t field = FileName; // FieldIndexOf the entry's Name: the record field the column shows
    Alignment alignment = Alignment::Left;
    bool readOnly = false;
};

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
    // Sorts the whole grid, every level, by its header's sort column and direction.
    void SortGrid(ITreeGrid &grid);
    // How a grid sorts: the field of its header's sort column (field 0 while it has none) and
    // its direction. Read on the UI thread, it lets a worker sort a tree the way the grid would.
    struct TSortKey {
        int field = 0;
        SortDirection direction = SortDirection::Ascending;
    };
    TSortKey SortKeyOf(ITreeGrid &grid) const;
    // The comparison of CompareNodes for a sort key, over any tree: it reads the two records and
    // nothing else, so a worker may sort a tree that no grid shows yet.
    static int CompareNodes(const TNodeTree &tree, NodeId a, NodeId b, const TSortKey &key);

    // --- Navigation ---------------------------------------------------------------------------
    void TreeChange(ITreeGrid &grid, NodeId node);
    void ShowFolder(NodeId node);
    // The class counts of a folder and everything below it, as CountClasses fills the fields.
    struct TClassCounts {
        std::vector<std::uint64_t> SizeCounts, CreateCounts, AccessCounts, WriteCounts;
        TTypeCounts TypeCounts; // sorted once the count is complete
    };
    // ShowFolder with the counts of `node` made beforehand by CountClassesOf (on a worker).
    void ShowFolder(NodeId node, TClassCounts counted);
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
    // Counts `node` and everything below it in `tree` as CountClasses does for the current node,
    // the subtrees of its children shared among `threads` threads and joined in their order, so
    // the counts and the order in which types are met are the same. Reads the records and the
    // class bounds only, so a worker may count a tree that no grid shows yet.
    TClassCounts CountClassesOf(const TNodeTree &tree, NodeId node, unsigned threads) const;

    // Makes a new catalogue ready to be shown, off the UI thread: sorts every level of `tree` by
    // `key` and classifies its files against `now`, as SortGrid and ClassifyFiles would once it is
    // in VT, the folders shared among `threads` threads, and answers the class counts of its first
    // top-level node, as CountClassesOf gives them. Each file is counted as it is classified; the
    // tree is walked once more only as far as it takes to meet every type in depth-first order.
    // Of the controller it reads only the class bounds, which change only when it is created.
    TClassCounts PrepareCatalogue(TNodeTree &tree, const TSortKey &key, LocalMillis now, unsigned threads) const;

    // --- Charts and drill-down lists ----------------------------------------------------------
    void ShowFileChart(IChart &chart, bool asBar);
    // timeKind: 0 creation, 1 last access, any other last write.
    void ShowAgeChart(IChart &chart, bool asBar, int timeKind);
    void ShowSizeChart(IChart &chart, bool asBar);
    // bySize: each extension's bytes instead of its files, ordered by bytes with the same rule.
    void ShowTypeChart(IChart &chart, bool asBar, bool showAll, bool bySize = false);
    void SeriesClick(IChart &chart, int point);
    // A click on an item that stands for `count` merged points from `first`: on the current-folder
    // chart the current-folder list is shown with the first of those entries (in list order)
    // selected; on a class chart the drill-down list holds the files of every merged point.
    void MergedPointsClick(IChart &chart, int first, int count);
    // keyKind: 0 to 2 the age class by creation, access or write time, 3 the size class (key is
    // the class index), 4 the extension (key is the type point's label, any letter case).
    void FillClassList(ITreeGrid &list, int keyKind, std::string_view key);
    // The same with the files of any of several keys.
    void FillClassList(ITreeGrid &list, int keyKind, std::span<const std::string> keys);
    void SaveChart(IChart &chart);

    // --- Exports and the file manager ---------------------------------------------------------
    void GetVisibleColumns(std::vector<std::string> &list);
    // Ncdu: the terminal analysers' interchange format (ncdu JSON), beyond the specified exports:
    // the whole catalogue from VT; from a list, its entries inside their ancestor folders, a
    // listed folder with everything below it.
    enum class ExportFormat { Html, Xml, Text, Csv, Excel, Ncdu };
    // An export command in two steps. This first one, on the UI thread, gathers everything the
    // export reads but the node trees: the visible columns' names (from the configuration) and
    // the main window's document. It returns the second step, the writing, which reads only what
    // it was handed and the node trees of the grid and (for ncdu JSON) VT, so it may run on a
    // worker while the UI thread paints; the trees must stay unchanged until it has run. The
    // writing step asks for the file and reports its end: "Export Finished", or why the file
    // could not be written (its old content is kept).
    std::function<void()> PrepareExport(ExportFormat format, ITreeGrid &grid);
    // PrepareExport and its writing step, one after the other.
    void ExportHtml(ITreeGrid &grid);
    void ExportXml(ITreeGrid &grid);
    void ExportText(ITreeGrid &grid);
    void ExportCsv(ITreeGrid &grid);
    void ExportExcel(ITreeGrid &grid);
    void ExportNcdu(ITreeGrid &grid);
    void OpenExplorer(ITreeGrid &grid);

private:
    // Updates the views in place after the catalogue changed (CatalogUpdate.h): it counts,
    // classifies, sorts, refills and redraws as the operations here do.
    friend class TCatalogUpdate;

    void wire();
    std::function<void()> prepareNcduExport(ITreeGrid &grid);
    void drawCharts();
    int fieldOfColumn(int column) const;
    std::vector<ColumnSpec> &columnsOf(const ITreeGrid &grid);
    const ColumnSpec *columnSpec(const ITreeGrid &grid, int column) const;
    int ageTimeKind() const;
    void drawSeries(IChart &chart, const std::string &title, bool asBar, ValueUnit unit,
                    const std::vector<ChartPoint> &points);
    void drill(GridId grid, PageControlId pages, int keyKind, std::span<const std::string> keys);
    // Runs `sort` with the comparison SortGrid sorts the grid by (its header's field and
    // direction), each sibling list's keys read once.
    void sortWith(ITreeGrid &grid, const std::function<void(const NodeCompare &, SortDirection)> &sort);
    // The classes a file was put in, by class field from CreateAgeRange to SizeRange (-1 for
    // none), and its bytes.
    struct Classified {
        int index[4] = {-1, -1, -1, -1}; // by class field, CreateAgeRange first
        std::uint64_t bytes = 0;
    };
    // Sets a file's class fields; false, leaving the record as it is, for an entry that is not a
    // file or whose size or times do not read as such.
    bool classifyFile(TNodeTree &tree, NodeId node, LocalMillis now, Classified *classified = nullptr) const;
    // Classifies a file and counts it as countFile would count it then, without reading back what
    // was just set; any other entry is counted as countFile counts it.
    void classifyAndCount(TNodeTree &tree, NodeId node, LocalMillis now, TClassCounts &counts) const;
    // Counts one entry (a file; other entries count nowhere), noting the node that starts a type.
    void countFile(const TNodeTree &tree, NodeId node, TClassCounts &counts) const;
    // Counts a file of `bytes` under its type, noting the node when it starts the type.
    static void addType(const TNodeTree &tree, NodeId node, TTypeCounts &types, std::uint64_t bytes);
    // Walks `node` and everything below it in depth-first order, shared among up to `threads`
    // threads in parts that follow one another (the node with the first), each part's nodes handed
    // in order to `visit(part, node)` until it answers false; answers the parts in order.
    template <typename Part, typename Visit>
    static std::vector<Part> inParts(const TNodeTree &tree, NodeId node, unsigned threads, Visit visit);
    // The counts of `top`, the only top-level node, from the counts each thread of
    // PrepareCatalogue made of the files it classified.
    TClassCounts joinCounts(const TNodeTree &tree, NodeId top, std::vector<TClassCounts> parts, unsigned threads) const;
    TClassCounts emptyCounts() const;
    void showFolder(NodeId node, TClassCounts *counted);
    void takeCounts(TClassCounts &&counted);
    void fillClassList(ITreeGrid &list, NodeId folder, int keyKind, std::span<const std::string> keys);

    // Each grid's column table, column i from configuration entry i; a grid not set up has none.
    struct GridColumns {
        const ITreeGrid *grid = nullptr;
        std::vector<ColumnSpec> columns;
    };
    std::vector<GridColumns> columns_;
    struct SortContext;
    std::unique_ptr<SortContext> sorting_; // while SortGrid runs
    // What each drill-down list was last filled with, to fill it again when the catalogue changes.
    struct DrillDown {
        ITreeGrid *list = nullptr;
        int keyKind = 0;
        std::vector<std::string> keys;
        std::string folderPath; // of the entry shown then, as the file system knows it
    };
    std::vector<DrillDown> drillDowns_;
    bool wired_ = false;
};

} // namespace folvane
