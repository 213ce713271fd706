#pragma once
// The main window: the top panel with the Open button and the current path, the six pages with
// their tool bars, tree-grids and charts, the treemap's page, the Changes page while a comparison
// is loaded, the menu and the status bar. It forwards every command to the view controller and
// the row actions; scans, refreshes' walks, catalogue files being read, comparisons and exports
// run on a worker thread (TWorkRunner) while the progress window shows, and a new catalogue is
// swapped in on the UI thread ready to be shown.

#include <QMainWindow>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "catalog/uFileReader.h"
#include "config/XmlDocument.h"
#include "views/EntryActions.h"
#include "views/ViewInterfaces.h"
#include "views/uCtrl.h"

class QLabel;
class QPushButton;
class QStackedWidget;
class QTabWidget;
class QToolBar;
class QToolButton;

namespace folvane {

class CurrentPathLabel;
class QtChanges;
class QtChart;
class QtTreeGrid;
class QtTreemap;
class TWaitForm;
class TWorkRunner;

// The application's handler for errors that escape an event handler: it drops them. The
// interrupted command simply stops; the program goes on.
void IgnoreException() noexcept;

class TFMMain final : public QMainWindow, public IMainView, public IEntryActionHost {
    Q_OBJECT
public:
    explicit TFMMain(QWidget *parent = nullptr);
    ~TFMMain() override;

    // The progress window, created after the main window.
    void SetWaitForm(TWaitForm *wait) { wait_ = wait; }
    TWaitForm *WaitForm() const { return wait_; }

    // --- IMainView ---------------------------------------------------------------------------
    ITreeGrid &Grid(GridId id) override;
    IChart &Chart(ChartId id) override;
    void SetPathLabel(const std::string &text) override;
    std::string PathLabel() const override;
    void SetUpEnabled(bool enabled) override;
    bool UpEnabled() const override;
    bool IsDown(ButtonId button) const override;
    void SetDown(ButtonId button, bool down) override;
    void ShowPage(PageControlId control, int page) override;
    int Page(PageControlId control) const override;
    int IconIndexOf(bool isFolder, std::string_view extension) override;
    TXmlDocument &XMLDoc() override { return xmlDoc_; }

    // --- Commands ----------------------------------------------------------------------------
    void InitMainWindow();
    void btnOpenClick();
    void btnUpClick();
    void m1Click();
    void m2Click();
    // "Scan Options…": the dialog; the size counted and hard links apply at once to the catalogue
    // shown, the other choices from the next scan.
    void ScanOptionsClick();
    // The drop flow for the bytes of a text/uri-list; false when it was refused (work running).
    // Without a folder among them, the last file whose content is a catalogue is opened.
    bool DropUriList(const QByteArray &uriList);
    // A request to end the program (SIGTERM, SIGINT). Without work running the windows close at
    // once; a scan, a refresh's walk, a catalogue being read or a comparison running is cancelled,
    // an export running finishes or fails (a dialog it waits on is answered "cancel"), and then the
    // window closes. Either way the layout is saved.
    void RequestEnd();
    bool EndRequested() const { return endRequested_; }

    // --- IEntryActionHost: what the context menu's actions need ------------------------------
    std::optional<std::vector<TNodeTree>> WalkFolders(const std::vector<TEntryPath> &folders) override;
    void ScanAgain() override;
    void CatalogueChanged() override { showSummary(); }

    // "Open Catalogue…": a catalogue file (Folvane's XML or ncdu JSON) opened like a scan.
    void OpenCatalogueClick();
    // Opens a catalogue file into VT on the worker, with the progress window and its Cancel.
    // False when it could not be opened (a message says which file, where and why) or was
    // cancelled: the catalogue shown before stays.
    bool OpenCatalogue(const std::string &path);
    // "Compare with Catalogue…": an earlier catalogue compared with the one shown, in the
    // "Changes" tab after the others.
    void CompareClick();
    bool CompareWith(const std::string &path);
    // Closes the comparison: the "Changes" tab goes.
    void CloseComparison();
    // What the command line names: a folder is scanned, a file opened as a catalogue.
    void OpenAtStart(const std::string &path);

    TFACtrl *Ctrl() const { return ctrl_.get(); }
    TEntryActions *Actions() const { return actions_.get(); }
    // Lets a test or a benchmark adjust the options of the next scans (a walk held on a latch).
    void SetScanHook(std::function<void(ScanOptions &)> hook) { scanHook_ = std::move(hook); }
    // Whether work runs (a scan, a refresh's walk, an export): the window then takes no input.
    bool Busy() const override;
    // A tool button or speed button by its component name ("tbPieFile", "ToolButton8", ...).
    QToolButton *Button(const QString &name) const;

    // Components, by their names.
    QtTreeGrid *VT, *VTList, *VTAge, *VTSize, *VTType;
    QtChart *ChartFile, *AgeChart, *SizeChart, *TypeChart;
    QtTreemap *Treemap;
    QtChanges *Changes; // a tab of pcTotal only while a comparison is loaded
    QTabWidget *pcTotal;
    QStackedWidget *pcAge, *pcSize, *pcType;
    QPushButton *btnOpen;
    QToolButton *btnUp;
    QLabel *Label1;
    CurrentPathLabel *lbPath;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    template <typename F> void guard(F &&f) noexcept;
    // The work of a walk, on the worker: given the scan options with progress, cancel and the
    // scan's choices set, it answers false when it was cancelled; it sets `walked` once the walk
    // is over and it goes on to sort what it found.
    using WalkWork = std::function<bool(const ScanOptions &options, std::atomic<bool> &walked)>;
    // Runs a walk through the work runner while the progress window shows what was found, with
    // its Cancel; a request to end cancels it too. False when it was cancelled.
    bool walkWithProgress(const WalkWork &walk);
    // Scans `folder` into a new catalogue, sorted, classified and counted on the worker, swaps it
    // into VT and shows its top folder; false when the scan was cancelled (the catalogue shown
    // before stays).
    bool scanAndShow(const std::string &folder);
    // The context menu of a grid's rows.
    void entryMenu(QtTreeGrid *grid, const std::vector<NodeId> &rows, const QPoint &at);
    // Sort VT, classify and show its first top-level node (the catalogue VT holds already).
    void showCatalogue();
    void exportCommand(TFACtrl::ExportFormat format, QtTreeGrid *grid);
    // Runs work through the work runner. Once the command that ran the work has returned, a
    // request to end that came meanwhile closes the window, and a comparison that waited for the
    // work is made again.
    void runWork(const std::function<void()> &work);
    void afterWork();
    // The scan's choices in the configuration.
    ScanChoices scanChoices() const;
    // Counts the shown catalogue with another size kind or hard-link choice: rolled up, sorted,
    // classified and shown again, without a new scan.
    void applyCountingChoices(const ScanChoices &choices);
    // Writes the shown catalogue's summary into the status bar's panel.
    void showSummary();
    void reportConfigProblem();
    int ageTimeKind() const;
    // A folder named by a drop or the command line, scanned and shown; cancelled, the catalogue
    // and the root shown before stay.
    void openFolder(const std::string &folder);

    // The counts the progress window shows while work runs: written by the worker, read on a timer.
    struct TProgressCounts {
        std::atomic<std::uint64_t> entries{0}, bytes{0}, notRead{0};
        std::atomic<bool> walked{false}; // the walk or the reading is over: what was found is being sorted
    };
    // Runs `work` through the work runner while the progress window shows `counts`, with its
    // Cancel, which sets cancel_ (so does a request to end). `work` answers false when it was
    // cancelled; so does this, also when it was cancelled after the work had finished.
    bool runWithProgress(TProgressCounts &counts, const std::function<bool()> &work);
    // Reads the catalogue file at `path` into `into` on the worker, with the progress window and
    // its Cancel as a scan has them, then runs `then` there too (false: cancelled). A file that
    // cannot be read is said after `failure`, once the progress window has gone. False when the
    // file could not be read or the work was cancelled.
    bool readCatalogue(const std::string &path, TNodeTree &into, const std::function<bool(TProgressCounts &)> &then,
                       const std::string &failure);
    // Taken on the UI thread: the step that makes a new catalogue ready to be shown (sorted as VT
    // sorts, classified, its top folder counted), for the worker to run. It reads the controller's
    // class bounds and nothing else of the window.
    std::function<TFACtrl::TClassCounts(TNodeTree &)> preparing() const;
    // On the UI thread: swaps a prepared catalogue into VT and shows its top folder.
    void showNew(TNodeTree &tree, TFACtrl::TClassCounts counted);
    // The catalogue shown has changed under a comparison: the rows go at once, and it is
    // compared again (compareAgain) once the event loop is free and no work runs.
    void compareLater();
    void compareAgain();
    void buildChangesPage();
    void exportChanges(bool html);

    // Building the window, top to bottom.
    void createViews();
    void buildMenu();
    QWidget *buildTopPanel();
    QTabWidget *buildPages();
    void buildStatusBar();
    void groupSpeedButtons();
    void wireChartCommands();
    // Parts of the pages.
    // The treemap's page, wired both ways to VT, and its tile menu.
    QWidget *buildTreemapPage();
    void treemapMenu(NodeId node, const QPoint &at);
    QWidget *buildGridPage(QtTreeGrid *grid, const QString &prefix, bool withReturn, QStackedWidget *pages,
                           const std::vector<QString> &names);
    QWidget *buildChartPage(const QString &name, QtChart *chart, QToolBar *bar);
    QToolBar *buildChartBar(const char *pieName, const char *barName, const char *saveName);
    QStackedWidget *addClassTab(const char *name, QWidget *chartPage, QtTreeGrid *list, const char *listSheet,
                                const std::vector<QString> &listButtons, const char *text);
    QToolBar *newToolBar();
    QToolButton *toolButton(QToolBar *bar, const QString &name, const QString &hint, const QIcon &icon);
    QToolButton *speedButton(QToolBar *bar, const QString &name, const QString &caption);

    std::unique_ptr<TWorkRunner> runner_;
    std::unique_ptr<TFACtrl> ctrl_;
    std::unique_ptr<TEntryActions> actions_; // acts through ctrl_: goes before it
    TWaitForm *wait_ = nullptr;
    TXmlDocument xmlDoc_;
    bool initialised_ = false;
    bool endRequested_ = false;
    std::atomic<bool> cancel_{false}; // stops the work running; set by "Cancel" and by a request to end
    bool comparePending_ = false;      // the comparison is to be made again (compareLater)
    std::map<QString, QToolButton *> buttons_;
    std::function<void(ScanOptions &)> scanHook_;
};

} // namespace folvane
