#pragma once
// The main window: the top panel with the Open button and the current path, the six pages with
// their tool bars, tree-grids and charts, the menu and the status bar. It forwards every command
// to the view controller; scans and exports run on a worker thread while the progress window
// shows, and the finished catalogue is swapped in on the UI thread.

#include <QMainWindow>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "catalog/uFileReader.h"
#include "config/XmlDocument.h"
#include "views/ViewInterfaces.h"

class QLabel;
class QPushButton;
class QStackedWidget;
class QTabWidget;
class QToolBar;
class QToolButton;

namespace folvane {

class QtChanges;
class QtChart;
class QtTreeGrid;
class QtTreemap;
class TFACtrl;
class TWaitForm;

// The application's handler for errors that escape an event handler: it drops them. The
// interrupted command simply stops; the program goes on.
void IgnoreException() noexcept;

// Reads the system locale's date, time and number forms and installs them for the whole program.
void InstallSystemForms();

// The local folders named by a text/uri-list, as raw path bytes, in order. Lines that are not
// local file URLs are skipped; percent-escapes are decoded to bytes, so names that are not UTF-8
// keep their bytes and long names are taken whole.
std::vector<std::string> LocalPathsOfUriList(const QByteArray &uriList);

class TFMMain final : public QMainWindow, public IMainView {
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
    // Lets a test or a benchmark adjust the options of the next scans (a slower walk, a probe).
    void SetScanHook(std::function<void(ScanOptions &)> hook) { scanHook_ = std::move(hook); }
    bool Busy() const { return busy_; }
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
    QLabel *Label1, *lbPath;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    template <typename F> void guard(F &&f) noexcept;
    // Runs `work` on a worker thread while the UI thread goes on painting; input to the main
    // window is refused meanwhile. Rethrows what the work threw.
    void runOffUiThread(const std::function<void()> &work);
    // Scans `folder` into a new catalogue and swaps it into VT; false when the scan was cancelled
    // (the catalogue shown before stays).
    bool scanFolder(const std::string &folder);
    // Sort VT, classify and show its first top-level node.
    void showCatalogue();
    void exportCommand(void (TFACtrl::*command)(ITreeGrid &), QtTreeGrid *grid);
    // The scan's choices in the configuration.
    ScanChoices scanChoices() const;
    // Counts the shown catalogue with another size kind or hard-link choice: rolled up, sorted,
    // classified and shown again, without a new scan.
    void applyCountingChoices(const ScanChoices &choices);
    // Writes the shown catalogue's summary into the status bar's panel.
    void showSummary();
    void reportConfigProblem();
    // Reads a catalogue file into `into` on the worker, then runs `after` there too; with the
    // progress window and its Cancel. A file that cannot be read is said with `failure` first.
    bool readCatalogue(const std::string &path, TNodeTree &into, const std::function<void()> &after,
                       const std::string &failure);
    // The catalogue shown has changed under a comparison: it is compared again once the event
    // loop is free.
    void compareLater();
    void buildChangesPage();
    void exportChanges(bool html);

    QWidget *buildTopPanel();
    // The treemap's page, wired both ways to VT, and its tile menu.
    QWidget *buildTreemapPage();
    void treemapMenu(NodeId node, const QPoint &at);
    QWidget *buildGridPage(QtTreeGrid *grid, const QString &prefix, bool withReturn, QStackedWidget *pages,
                           const std::vector<QString> &names);
    QToolBar *newToolBar();
    QToolButton *toolButton(QToolBar *bar, const QString &name, const QString &hint, const QIcon &icon);
    QToolButton *speedButton(QToolBar *bar, const QString &name, const QString &caption);

    std::unique_ptr<TFACtrl> ctrl_;
    TWaitForm *wait_ = nullptr;
    TXmlDocument xmlDoc_;
    bool initialised_ = false;
    bool busy_ = false;
    bool comparePending_ = false;
    std::map<QString, QToolButton *> buttons_;
    std::function<void(ScanOptions &)> scanHook_;
};

} // namespace folvane
