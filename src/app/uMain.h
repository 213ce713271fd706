#pragma once
// The main window: the top panel with the Open button and the current path, the six pages with
// their tool bars, tree-grids and charts, the menu and the status bar. It forwards every command
// to the view controller; scans and exports run on a worker thread (TWorkRunner) while the
// progress window shows, and a new catalogue is swapped in on the UI thread ready to be shown.

#include <QMainWindow>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "catalog/uFileReader.h"
#include "config/XmlDocument.h"
#include "views/ViewInterfaces.h"
#include "views/uCtrl.h"

class QLabel;
class QPushButton;
class QStackedWidget;
class QTabWidget;
class QToolBar;
class QToolButton;

namespace folvane {

class QtChart;
class QtTreeGrid;
class TWaitForm;
class TWorkRunner;

// The application's handler for errors that escape an event handler: it drops them. The
// interrupted command simply stops; the program goes on.
void IgnoreException() noexcept;

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
    int IconIndexOf(const std::string &path, bool isFolder) override;
    TXmlDocument &XMLDoc() override { return xmlDoc_; }

    // --- Commands ----------------------------------------------------------------------------
    void InitMainWindow();
    void btnOpenClick();
    void btnUpClick();
    void m1Click();
    void m2Click();
    // The drop flow for the bytes of a text/uri-list; false when it was refused (work running).
    bool DropUriList(const QByteArray &uriList);
    // A request to end the program (SIGTERM, SIGINT). Without work running the windows close at
    // once; while a scan runs it is cancelled, while an export runs it finishes or fails (a dialog
    // it waits on is answered "cancel"), and then the window closes. Either way the layout is saved.
    void RequestEnd();
    bool EndRequested() const { return endRequested_; }

    TFACtrl *Ctrl() const { return ctrl_.get(); }
    // Lets a test or a benchmark adjust the options of the next scans (a walk held on a latch).
    void SetScanHook(std::function<void(ScanOptions &)> hook) { scanHook_ = std::move(hook); }
    bool Busy() const;
    // A tool button or speed button by its component name ("tbPieFile", "ToolButton8", ...).
    QToolButton *Button(const QString &name) const;

    // Components, by their names.
    QtTreeGrid *VT, *VTList, *VTAge, *VTSize, *VTType;
    QtChart *ChartFile, *AgeChart, *SizeChart, *TypeChart;
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

private:
    template <typename F> void guard(F &&f) noexcept;
    // Scans `folder` into a new catalogue, sorted, classified and counted on the worker, swaps it
    // into VT and shows its top folder; false when the scan was cancelled (the catalogue shown
    // before stays).
    bool scanAndShow(const std::string &folder);
    // Sort VT, classify and show its first top-level node (the catalogue VT holds already).
    void showCatalogue();
    void exportCommand(TFACtrl::ExportFormat format, QtTreeGrid *grid);
    // After work: a request to end that came meanwhile closes the window now.
    void endIfRequested();
    void reportConfigProblem();
    int ageTimeKind() const;

    // Building the window, top to bottom.
    void createViews();
    void buildMenu();
    QWidget *buildTopPanel();
    QTabWidget *buildPages();
    void buildStatusBar();
    void groupSpeedButtons();
    void wireChartCommands();
    // Parts of the pages.
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
    TWaitForm *wait_ = nullptr;
    TXmlDocument xmlDoc_;
    bool initialised_ = false;
    bool endRequested_ = false;
    std::atomic<bool> cancel_{false}; // stops the scan running; set by "Cancel" and by a request to end
    std::map<QString, QToolButton *> buttons_;
    std::function<void(ScanOptions &)> scanHook_;
};

} // namespace folvane
