#include "app/uMain.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <thread>

#include "app/CurrentPathLabel.h"
#include "app/PaintedIcons.h"
#include "app/UAbout.h"
#include "app/UriList.h"
#include "app/WorkRunner.h"
#include "app/uWaitForm.h"
#include "catalog/CatalogCompare.h"
#include "catalog/CatalogEdit.h"
#include "catalog/CatalogFile.h"
#include "catalog/CatalogNotes.h"
#include "common/Utf8.h"
#include "common/UiServices.h"
#include "config/ConfigStore.h"
#include "export/ChangesExport.h"
#include "views/QtChanges.h"
#include "views/QtChart.h"
#include "views/QtEntryMenu.h"
#include "views/QtIconList.h"
#include "views/QtTreeGrid.h"
#include "views/QtTreemap.h"
#include "views/TreemapLink.h"

namespace folvane {

void IgnoreException() noexcept
{
    // Deliberately nothing: an error that escapes a command ends that command and no more.
}

namespace {

bool isFolder(const std::string &path)
{
    std::error_code error;
    return std::filesystem::is_directory(std::filesystem::path(path), error);
}

// Threads that sort and classify a new catalogue: the walk is over, so every processor is free.
unsigned preparingThreads()
{
    return std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
}

// The files "Open Catalogue…" and "Compare with Catalogue…" offer.
constexpr const char *kCatalogueFilter = "Catalogue files|*.xml;*.XML;*.json;*.JSON|Folvane XML catalogue|*.xml;*.XML|"
                                         "ncdu JSON export|*.json;*.JSON|All files|*";

} // namespace

template <typename F> void TFMMain::guard(F &&f) noexcept
{
    try {
        f();
    } catch (...) {
        IgnoreException();
    }
}

TFMMain::TFMMain(QWidget *parent) : QMainWindow(parent), runner_(std::make_unique<TWorkRunner>(this))
{
    setObjectName(QStringLiteral("FMMain"));
    setWindowTitle(QStringLiteral("Folvane "));
    // Where the platform names no icon theme (a bare X server, the offscreen platform), the
    // freedesktop icons still come from the common theme; each icon has a built-in fallback too.
    QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));

    createViews();
    buildMenu();
    auto *central = new QWidget;
    auto *column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(buildTopPanel());
    column->addWidget(buildPages(), 1);
    setCentralWidget(central);
    buildStatusBar();

    groupSpeedButtons();
    wireChartCommands();
    resize(934, 490);
    setAcceptDrops(true);
}

TFMMain::~TFMMain()
{
    // The controller unwires the grids, so it goes before them; the actions go before it.
    actions_.reset();
    ctrl_.reset();
}

// --- Building the window ---------------------------------------------------------------------

void TFMMain::createViews()
{
    VT = new QtTreeGrid("VT");
    VTList = new QtTreeGrid("VTList");
    VTAge = new QtTreeGrid("VTAge");
    VTSize = new QtTreeGrid("VTSize");
    VTType = new QtTreeGrid("VTType");
    // The lists select several rows, to act on them at once; Total Tree one node at a time.
    for (QtTreeGrid *list : {VTList, VTAge, VTSize, VTType})
        list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ChartFile = new QtChart("ChartFile", true);
    AgeChart = new QtChart("AgeChart", false);
    SizeChart = new QtChart("SizeChart", false);
    TypeChart = new QtChart("TypeChart", false);
}

void TFMMain::buildMenu()
{
    // Two items that act directly.
    QAction *about = menuBar()->addAction(QStringLiteral("About"));
    about->setObjectName(QStringLiteral("m1"));
    connect(about, &QAction::triggered, this, [this] { guard([&] { m1Click(); }); });
    QAction *help = menuBar()->addAction(QStringLiteral("Help"));
    help->setObjectName(QStringLiteral("m2"));
    connect(help, &QAction::triggered, this, [this] { guard([&] { m2Click(); }); });
    // Beyond the two specified items, and acting directly like them: the scan's choices.
    QAction *scanOptions = menuBar()->addAction(QStringLiteral("Scan Options\u2026"));
    scanOptions->setObjectName(QStringLiteral("mScanOptions"));
    scanOptions->setShortcut(QKeySequence(QStringLiteral("Ctrl+,")));
    connect(scanOptions, &QAction::triggered, this, [this] { guard([&] { ScanOptionsClick(); }); });
    // Catalogue files, beyond the specified items too.
    QAction *openCatalogue = menuBar()->addAction(QStringLiteral("Open Catalogue\u2026"));
    openCatalogue->setObjectName(QStringLiteral("mOpenCatalogue"));
    openCatalogue->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+O")));
    connect(openCatalogue, &QAction::triggered, this, [this] { guard([&] { OpenCatalogueClick(); }); });
    QAction *compare = menuBar()->addAction(QStringLiteral("Compare with Catalogue\u2026"));
    compare->setObjectName(QStringLiteral("mCompare"));
    compare->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+D")));
    connect(compare, &QAction::triggered, this, [this] { guard([&] { CompareClick(); }); });
}

QTabWidget *TFMMain::buildPages()
{
    pcTotal = new QTabWidget;
    pcTotal->setObjectName(QStringLiteral("pcTotal"));
    pcTotal->setUsesScrollButtons(true); // one row of tabs; arrows when the window is narrow
    pcTotal->setElideMode(Qt::ElideNone);
    pcTotal->setDocumentMode(false);

    pcTotal->addTab(buildGridPage(VT, QStringLiteral("TabSheet1"), false, nullptr,
                                  {"ToolButton8", "ToolButton11", "ToolButton12", "ToolButton9", "ToolButton13",
                                   "ToolButton64", "ToolButton4"}),
                    ThemedIcon("view-list-tree", QStyle::SP_DirIcon), QStringLiteral("Total Tree"));
    pcTotal->addTab(buildGridPage(VTList, QStringLiteral("TabSheet6"), false, nullptr,
                                  {"ToolButton16", "ToolButton17", "ToolButton18", "ToolButton19", "ToolButton20",
                                   "ToolButton23", "ToolButton5"}),
                    ThemedIcon("view-list-details", QStyle::SP_FileDialogDetailedView),
                    QStringLiteral("Current Path File List"));
    pcTotal->addTab(buildChartPage(QStringLiteral("TabSheet2"), ChartFile,
                                   buildChartBar("tbPieFile", "tbBarFile", "ToolButton36")),
                    PieIcon(16), QStringLiteral("Current Path File Chart"));

    QToolBar *age = buildChartBar("tbPie", "tbBar", "ToolButton51");
    age->addSeparator();
    speedButton(age, "sbCreate", "File Create Time");
    speedButton(age, "sbAccess", "File AccessTime");
    speedButton(age, "sbWrite", "File Write Time");
    pcAge = addClassTab("pcAge", buildChartPage(QStringLiteral("TabSheet7"), AgeChart, age), VTAge, "TabSheet8",
                        {"ToolButton56", "ToolButton61", "ToolButton62", "ToolButton63", "ToolButton66",
                         "ToolButton67", "ToolButton73", "ToolButton6"},
                        "Age of Files");

    QToolBar *size = buildChartBar("tbPieSize", "tbBarSize", "ToolButton86");
    pcSize = addClassTab("pcSize", buildChartPage(QStringLiteral("TabSheet9"), SizeChart, size), VTSize, "TabSheet10",
                         {"ToolButton91", "ToolButton96", "ToolButton97", "ToolButton98", "ToolButton99",
                          "ToolButton100", "ToolButton103", "ToolButton7"},
                         "Size of Files");

    QToolBar *type = buildChartBar("tbPieType", "tbBarType", "ToolButton116");
    type->addSeparator();
    speedButton(type, "sbTop", "Top 10");
    speedButton(type, "sbAll", "All");
    // Beyond the specified ones: what the type chart measures, files or the bytes they take.
    type->addSeparator();
    speedButton(type, "sbFiles", "Files")->setToolTip(QStringLiteral("Chart how many files each extension has"));
    speedButton(type, "sbSize", "Size")->setToolTip(QStringLiteral("Chart the bytes each extension takes"));
    pcType = addClassTab("pcType", buildChartPage(QStringLiteral("TabSheet11"), TypeChart, type), VTType,
                         "TabSheet12",
                         {"ToolButton121", "ToolButton126", "ToolButton127", "ToolButton128", "ToolButton129",
                          "ToolButton130", "ToolButton133", "ToolButton10"},
                         "Type of Files");

    pcTotal->addTab(buildTreemapPage(), TreemapIcon(), QStringLiteral("Treemap"));
    buildChangesPage(); // a tab only while a comparison is loaded
    return pcTotal;
}

void TFMMain::buildStatusBar()
{
    // One panel: the shown catalogue's summary (showSummary).
    QStatusBar *bar = statusBar();
    bar->setObjectName(QStringLiteral("SB"));
    auto *panel = new QLabel;
    panel->setObjectName(QStringLiteral("SBPanel0"));
    panel->setFixedWidth(700);
    bar->addWidget(panel);
}

void TFMMain::groupSpeedButtons()
{
    // Exactly one of each group is down.
    for (const auto &group : {std::vector<const char *>{"sbCreate", "sbAccess", "sbWrite"},
                              std::vector<const char *>{"sbTop", "sbAll"}, std::vector<const char *>{"sbFiles", "sbSize"}}) {
        auto *buttons = new QButtonGroup(this);
        buttons->setExclusive(true);
        for (const char *name : group)
            buttons->addButton(Button(QString::fromLatin1(name)));
    }
    Button(QStringLiteral("sbCreate"))->setChecked(true);
    Button(QStringLiteral("sbAll"))->setChecked(true);
    Button(QStringLiteral("sbFiles"))->setChecked(true);
}

int TFMMain::ageTimeKind() const
{
    return IsDown(ButtonId::sbCreate) ? 0 : IsDown(ButtonId::sbAccess) ? 1 : 2;
}

void TFMMain::wireChartCommands()
{
    // Pie and bar buttons show the down state their handler gives them.
    auto pair = [this](const char *pieName, const char *barName, std::function<void(bool asBar)> draw) {
        QToolButton *pie = Button(QString::fromLatin1(pieName));
        QToolButton *bar = Button(QString::fromLatin1(barName));
        connect(pie, &QToolButton::clicked, this, [=, this] {
            pie->setChecked(true);
            bar->setChecked(false);
            guard([&] { draw(false); });
        });
        connect(bar, &QToolButton::clicked, this, [=, this] {
            pie->setChecked(false);
            bar->setChecked(true);
            guard([&] { draw(true); });
        });
    };
    pair("tbPieFile", "tbBarFile", [this](bool asBar) {
        if (ctrl_)
            ctrl_->ShowFileChart(*ChartFile, asBar);
    });
    pair("tbPie", "tbBar", [this](bool asBar) {
        if (ctrl_)
            ctrl_->ShowAgeChart(*AgeChart, asBar, ageTimeKind());
    });
    pair("tbPieSize", "tbBarSize", [this](bool asBar) {
        if (ctrl_)
            ctrl_->ShowSizeChart(*SizeChart, asBar);
    });
    pair("tbPieType", "tbBarType", [this](bool asBar) {
        if (ctrl_)
            ctrl_->ShowTypeChart(*TypeChart, asBar, !IsDown(ButtonId::sbTop), IsDown(ButtonId::sbSize));
    });

    // The time kind and the type scope redraw their chart in the form it has.
    const std::pair<const char *, int> kinds[] = {{"sbCreate", 0}, {"sbAccess", 1}, {"sbWrite", 2}};
    for (auto [name, kind] : kinds)
        connect(Button(QString::fromLatin1(name)), &QToolButton::clicked, this, [this, kind = kind] {
            guard([&] {
                if (ctrl_)
                    ctrl_->ShowAgeChart(*AgeChart, !IsDown(ButtonId::tbPie), kind);
            });
        });
    const std::pair<const char *, bool> scopes[] = {{"sbTop", false}, {"sbAll", true}};
    for (auto [name, all] : scopes)
        connect(Button(QString::fromLatin1(name)), &QToolButton::clicked, this, [this, all = all] {
            guard([&] {
                if (ctrl_)
                    ctrl_->ShowTypeChart(*TypeChart, !IsDown(ButtonId::tbPieType), all, IsDown(ButtonId::sbSize));
            });
        });
    const std::pair<const char *, bool> measures[] = {{"sbFiles", false}, {"sbSize", true}};
    for (auto [name, bySize] : measures)
        connect(Button(QString::fromLatin1(name)), &QToolButton::clicked, this, [this, bySize = bySize] {
            guard([&] {
                if (ctrl_)
                    ctrl_->ShowTypeChart(*TypeChart, !IsDown(ButtonId::tbPieType), !IsDown(ButtonId::sbTop), bySize);
            });
        });

    const std::pair<const char *, QtChart *> saves[] = {
        {"ToolButton36", ChartFile}, {"ToolButton51", AgeChart}, {"ToolButton86", SizeChart}, {"ToolButton116", TypeChart}};
    for (auto [name, chart] : saves)
        connect(Button(QString::fromLatin1(name)), &QToolButton::clicked, this, [this, chart = chart] {
            guard([&] {
                if (ctrl_)
                    ctrl_->SaveChart(*chart);
            });
        });
}

QWidget *TFMMain::buildTopPanel()
{
    auto *panel = new QWidget;
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFixedHeight(41);
    auto *row = new QHBoxLayout(panel);
    row->setContentsMargins(6, 3, 6, 3);
    row->setSpacing(8);

    btnOpen = new QPushButton(ThemedIcon("document-open", QStyle::SP_DirOpenIcon), QStringLiteral("&Open Folder to Analyze"));
    btnOpen->setObjectName(QStringLiteral("btnOpen"));
    QFont bold = btnOpen->font();
    bold.setBold(true);
    btnOpen->setFont(bold);
    btnOpen->setIconSize(QSize(24, 24));
    btnOpen->setMinimumHeight(33);
    // Its hint, "Create a new catalog", is not displayed: hints are off for this button.
    btnOpen->setWhatsThis(QStringLiteral("Create a new catalog"));
    connect(btnOpen, &QPushButton::clicked, this, [this] { guard([&] { btnOpenClick(); }); });

    Label1 = new QLabel(QStringLiteral("Current Path:"));
    Label1->setObjectName(QStringLiteral("Label1"));

    btnUp = new QToolButton;
    btnUp->setObjectName(QStringLiteral("btnUp"));
    btnUp->setIcon(ThemedIcon("go-up", QStyle::SP_FileDialogToParent));
    btnUp->setIconSize(QSize(20, 20));
    btnUp->setAutoRaise(true);
    btnUp->setToolTip(QStringLiteral("back to top"));
    btnUp->setEnabled(false);
    connect(btnUp, &QToolButton::clicked, this, [this] { guard([&] { btnUpClick(); }); });

    lbPath = new CurrentPathLabel(QStringLiteral("Current Path"));
    lbPath->setObjectName(QStringLiteral("lbPath"));
    QPalette blue = lbPath->palette();
    blue.setColor(QPalette::WindowText, TextBlue(blue));
    lbPath->setPalette(blue);
    lbPath->setMinimumWidth(40);
    lbPath->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    row->addWidget(btnOpen);
    row->addSpacing(6);
    row->addWidget(Label1);
    row->addWidget(btnUp);
    row->addWidget(lbPath, 1);
    return panel;
}

QWidget *TFMMain::buildChartPage(const QString &name, QtChart *chart, QToolBar *bar)
{
    // A tool bar above the chart.
    auto *page = new QWidget;
    page->setObjectName(name);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(bar);
    layout->addWidget(chart, 1);
    return page;
}

QToolBar *TFMMain::buildChartBar(const char *pieName, const char *barName, const char *saveName)
{
    // Each chart's tool bar starts with its pie, bar and save buttons.
    QToolBar *bar = newToolBar();
    toolButton(bar, pieName, QStringLiteral("Pie Chart"), PieIcon(32));
    toolButton(bar, barName, QStringLiteral("Bar Chart"), BarIcon(32));
    toolButton(bar, saveName, QStringLiteral("Save to file"), ThemedIcon("document-save", QStyle::SP_DialogSaveButton));
    return bar;
}

QStackedWidget *TFMMain::addClassTab(const char *name, QWidget *chartPage, QtTreeGrid *list, const char *listSheet,
                                     const std::vector<QString> &listButtons, const char *text)
{
    // A class tab: its chart page and its drill-down list page, without a tab strip.
    auto *pages = new QStackedWidget;
    pages->setObjectName(QString::fromLatin1(name));
    pages->addWidget(chartPage);
    pages->addWidget(buildGridPage(list, QString::fromLatin1(listSheet), true, pages, listButtons));
    pcTotal->addTab(pages, ClassesIcon(), QString::fromLatin1(text));
    return pages;
}

QWidget *TFMMain::buildTreemapPage()
{
    Treemap = new QtTreemap;
    Treemap->setObjectName(QStringLiteral("Treemap"));
    Treemap->SetSource(VT);
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("TabTreemap"));
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    QToolBar *bar = newToolBar();
    QToolButton *save =
        toolButton(bar, QStringLiteral("tbSaveTreemap"), QStringLiteral("Save to file"), ThemedIcon("document-save", QStyle::SP_DialogSaveButton));
    connect(save, &QToolButton::clicked, this, [this] {
        guard([&] { SaveTreemapImage([this](const std::string &format) { return Treemap->Encode(format); }); });
    });
    layout->addWidget(bar);
    layout->addWidget(Treemap, 1);

    // The map follows VT's catalogue: every change of its tree (a scan, a sort) draws it anew.
    connect(VT->model(), &QAbstractItemModel::modelAboutToBeReset, Treemap, &QtTreemap::TreeChanging);
    connect(VT->model(), &QAbstractItemModel::modelReset, Treemap, &QtTreemap::TreeChanged);
    // A tile does what its row in VT does; a double click zooms into a folder.
    connect(Treemap, &QtTreemap::TileClicked, this, [this](NodeId node) { guard([&] { SelectInTree(*VT, node); }); });
    connect(Treemap, &QtTreemap::TileDoubleClicked, this, [this](NodeId folder) {
        guard([&] {
            Treemap->SetRoot(folder);
            SelectInTree(*VT, folder);
        });
    });
    connect(Treemap, &QtTreemap::ContextMenuRequested, this,
            [this](NodeId node, QPoint at) { guard([&] { treemapMenu(node, at); }); });
    // A row chosen in a list lights up its entry's tile (VT's rows do so through ShowFolder).
    for (QtTreeGrid *list : {VTList, VTAge, VTSize, VTType})
        connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this, list] {
            guard([&] {
                const NodeId row = list->SelectedNode();
                if (row == kNoNode)
                    return;
                const NodeId node = NodeOfPath(VT->Nodes(), list->Nodes().PathBytes(row));
                if (node == kNoNode)
                    return;
                Treemap->SetRoot(TreemapRootFor(VT->Nodes(), Treemap->Root(), node));
                Treemap->SetHighlight(node);
            });
        });
    return page;
}

void TFMMain::treemapMenu(NodeId node, const QPoint &at)
{
    if (Busy() || !actions_ || !VT->Nodes().IsValid(node))
        return;
    SelectInTree(*VT, node); // as a right click selects a row
    // A tile offers what the row of its entry in Total Tree offers.
    QMenu *menu = NewEntryMenu(*actions_, *VT, {node}, this);
    menu->setObjectName(QStringLiteral("TreemapMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(at);
}

QToolBar *TFMMain::newToolBar()
{
    auto *bar = new QToolBar;
    bar->setFixedHeight(40);
    bar->setIconSize(QSize(32, 32));
    bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    bar->setMovable(false);
    bar->setFloatable(false);
    return bar;
}

QToolButton *TFMMain::toolButton(QToolBar *bar, const QString &name, const QString &hint, const QIcon &icon)
{
    auto *button = new QToolButton;
    button->setObjectName(name);
    button->setIcon(icon);
    button->setIconSize(QSize(32, 32));
    button->setToolTip(hint);
    button->setText(hint);
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    if (name.startsWith(QStringLiteral("tbPie")) || name.startsWith(QStringLiteral("tbBar")))
        button->setCheckable(true);
    bar->addWidget(button);
    buttons_[name] = button;
    return button;
}

QToolButton *TFMMain::speedButton(QToolBar *bar, const QString &name, const QString &caption)
{
    auto *button = new QToolButton;
    button->setObjectName(name);
    button->setText(caption);
    button->setCheckable(true);
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setMinimumHeight(30);
    bar->addWidget(button);
    buttons_[name] = button;
    return button;
}

QWidget *TFMMain::buildGridPage(QtTreeGrid *grid, const QString &name, bool withReturn, QStackedWidget *pages,
                                const std::vector<QString> &names)
{
    auto *page = new QWidget;
    page->setObjectName(name);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    QToolBar *bar = newToolBar();
    std::size_t at = 0;
    if (withReturn) {
        QToolButton *back = toolButton(bar, names[at++], QStringLiteral("return"), ThemedIcon("go-previous", QStyle::SP_ArrowBack));
        connect(back, &QToolButton::clicked, this, [pages] { pages->setCurrentIndex(0); });
    }
    auto *label = new QLabel(QStringLiteral("  Export:     "));
    label->setObjectName(name + QStringLiteral("ExportLabel"));
    bar->addWidget(label);
    struct Export {
        const char *hint, *tag;
        QColor band;
        TFACtrl::ExportFormat format;
    };
    const Export exports[] = {
        {"Export to HTML", "HTML", QColor(228, 77, 38), TFACtrl::ExportFormat::Html},
        {"Export to XML", "XML", QColor(0, 120, 200), TFACtrl::ExportFormat::Xml},
        {"Export to Text", "TXT", QColor(110, 110, 110), TFACtrl::ExportFormat::Text},
        {"Export to CSV", "CSV", QColor(40, 150, 70), TFACtrl::ExportFormat::Csv},
        {"Export to Excel", "XLSX", QColor(16, 124, 65), TFACtrl::ExportFormat::Excel},
    };
    for (const Export &e : exports) {
        QToolButton *button = toolButton(bar, names[at++], QString::fromLatin1(e.hint), DocumentIcon(QString::fromLatin1(e.tag), e.band));
        connect(button, &QToolButton::clicked, this, [this, grid, format = e.format] { exportCommand(format, grid); });
    }
    bar->addSeparator();
    QToolButton *columns =
        toolButton(bar, names[at++], QStringLiteral("Show columns config"), ThemedIcon("preferences-system", QStyle::SP_FileDialogDetailedView));
    connect(columns, &QToolButton::clicked, this, [this] {
        guard([&] {
            if (ctrl_)
                ctrl_->ShowColumnDialog();
        });
    });
    QToolButton *explorer =
        toolButton(bar, names[at++], QStringLiteral("Open Explorer"), ThemedIcon("system-file-manager", QStyle::SP_DirOpenIcon));
    connect(explorer, &QToolButton::clicked, this, [this, grid] {
        guard([&] {
            if (ctrl_)
                ctrl_->OpenExplorer(*grid);
        });
    });
    // Beyond the specified buttons, after them: the terminal analysers' interchange format.
    bar->addSeparator();
    QToolButton *ncdu = toolButton(bar, name + QStringLiteral("Ncdu"), QStringLiteral("Export to ncdu JSON"),
                                   DocumentIcon(QStringLiteral("JSON"), QColor(120, 70, 160)));
    connect(ncdu, &QToolButton::clicked, this, [this, grid] { exportCommand(TFACtrl::ExportFormat::Ncdu, grid); });
    layout->addWidget(bar);
    layout->addWidget(grid, 1);
    return page;
}

QToolButton *TFMMain::Button(const QString &name) const
{
    auto found = buttons_.find(name);
    return found == buttons_.end() ? nullptr : found->second;
}

// --- IMainView -------------------------------------------------------------------------------

ITreeGrid &TFMMain::Grid(GridId id)
{
    switch (id) {
    case GridId::VT: return *VT;
    case GridId::VTList: return *VTList;
    case GridId::VTAge: return *VTAge;
    case GridId::VTSize: return *VTSize;
    case GridId::VTType: return *VTType;
    }
    return *VT;
}

IChart &TFMMain::Chart(ChartId id)
{
    switch (id) {
    case ChartId::ChartFile: return *ChartFile;
    case ChartId::AgeChart: return *AgeChart;
    case ChartId::SizeChart: return *SizeChart;
    case ChartId::TypeChart: return *TypeChart;
    }
    return *ChartFile;
}

void TFMMain::SetPathLabel(const std::string &text) { lbPath->setText(QString::fromStdString(text)); }

std::string TFMMain::PathLabel() const { return lbPath->text().toStdString(); }

void TFMMain::SetUpEnabled(bool enabled) { btnUp->setEnabled(enabled); }

bool TFMMain::UpEnabled() const { return btnUp->isEnabled(); }

namespace {
const char *buttonName(ButtonId id)
{
    switch (id) {
    case ButtonId::tbPieFile: return "tbPieFile";
    case ButtonId::tbBarFile: return "tbBarFile";
    case ButtonId::tbPie: return "tbPie";
    case ButtonId::tbBar: return "tbBar";
    case ButtonId::sbCreate: return "sbCreate";
    case ButtonId::sbAccess: return "sbAccess";
    case ButtonId::sbWrite: return "sbWrite";
    case ButtonId::tbPieSize: return "tbPieSize";
    case ButtonId::tbBarSize: return "tbBarSize";
    case ButtonId::tbPieType: return "tbPieType";
    case ButtonId::tbBarType: return "tbBarType";
    case ButtonId::sbTop: return "sbTop";
    case ButtonId::sbAll: return "sbAll";
    case ButtonId::sbFiles: return "sbFiles";
    case ButtonId::sbSize: return "sbSize";
    }
    return "";
}
} // namespace

bool TFMMain::IsDown(ButtonId id) const
{
    QToolButton *button = Button(QString::fromLatin1(buttonName(id)));
    return button && button->isChecked();
}

void TFMMain::SetDown(ButtonId id, bool down)
{
    if (QToolButton *button = Button(QString::fromLatin1(buttonName(id))))
        button->setChecked(down);
}

void TFMMain::ShowPage(PageControlId control, int page)
{
    switch (control) {
    case PageControlId::pcTotal: pcTotal->setCurrentIndex(page); break;
    case PageControlId::pcAge: pcAge->setCurrentIndex(page); break;
    case PageControlId::pcSize: pcSize->setCurrentIndex(page); break;
    case PageControlId::pcType: pcType->setCurrentIndex(page); break;
    }
}

int TFMMain::Page(PageControlId control) const
{
    switch (control) {
    case PageControlId::pcTotal: return pcTotal->currentIndex();
    case PageControlId::pcAge: return pcAge->currentIndex();
    case PageControlId::pcSize: return pcSize->currentIndex();
    case PageControlId::pcType: return pcType->currentIndex();
    }
    return 0;
}

int TFMMain::IconIndexOf(bool isFolder, std::string_view extension)
{
    return QtIconList::Instance().IndexOfType(isFolder, extension);
}

// --- Start and close -------------------------------------------------------------------------

void TFMMain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!initialised_) {
        initialised_ = true;
        guard([&] { InitMainWindow(); });
    }
}

void TFMMain::InitMainWindow()
{
    // The shared icon list needs nothing up front: icons are looked up and cached as cells ask.
    ctrl_ = std::make_unique<TFACtrl>(*this);
    actions_ = std::make_unique<TEntryActions>(*ctrl_, *this);
    // The map's root follows the entry shown when it leaves the map (Up, another folder chosen).
    ctrl_->FolderShown = [this](NodeId node) {
        Treemap->SetRoot(TreemapRootFor(VT->Nodes(), Treemap->Root(), node));
        Treemap->SetHighlight(node);
    };
    for (QtTreeGrid *grid : {VT, VTList, VTAge, VTSize, VTType}) {
        try {
            ctrl_->SetupColumns(*grid);
        } catch (...) {
            IgnoreException();
        }
        connect(grid, &QtTreeGrid::ContextMenuRequested, this,
                [this, grid](std::vector<NodeId> rows, QPoint at) { guard([&] { entryMenu(grid, rows, at); }); });
        AddEntryKeys(*actions_, *grid);
    }
    pcTotal->setCurrentIndex(0);
    pcAge->setCurrentIndex(0);
    pcSize->setCurrentIndex(0);
    pcType->setCurrentIndex(0);
    for (const char *pie : {"tbPieFile", "tbPie", "tbPieSize", "tbPieType"})
        Button(QString::fromLatin1(pie))->setChecked(true);
    for (const char *bar : {"tbBarFile", "tbBar", "tbBarSize", "tbBarType"})
        Button(QString::fromLatin1(bar))->setChecked(false);
    setAcceptDrops(true);
    // Said once, after the window is on screen.
    QTimer::singleShot(0, this, [this] { guard([&] { reportConfigProblem(); }); });
}

void TFMMain::reportConfigProblem()
{
    const TConfig &config = GetConfig();
    if (!config.OnDefaults() || !config.Problem())
        return;
    Ui().MessageBox("The configuration could not be used, so the built-in settings are in force and the file is left "
                    "as it is.\n\n" +
                        config.Problem()->Text(),
                    "Warning", MsgButtons::Ok, MsgIcon::Exclamation);
}

void TFMMain::closeEvent(QCloseEvent *event)
{
    if (Busy()) {
        event->ignore(); // refused while work runs; a request to end closes the window once it is over
        return;
    }
    try {
        if (ctrl_)
            ctrl_->SaveLayout();
    } catch (...) {
        // A layout that cannot be saved does not keep the program open.
    }
    actions_.reset();
    ctrl_.reset();
    event->accept();
}

void TFMMain::RequestEnd()
{
    Ui().EndRequested();
    if (!Busy()) {
        QApplication::closeAllWindows();
        return;
    }
    endRequested_ = true;
    cancel_.store(true); // a scan stops; an export is not stopped, only its dialogs are answered
}

void TFMMain::runWork(const std::function<void()> &work)
{
    struct After {
        TFMMain *window;
        ~After() { window->afterWork(); } // however the work ended
    } after{this};
    runner_->Run(work);
}

void TFMMain::afterWork()
{
    // From the event loop, once the command that ran the work has returned.
    if (endRequested_)
        QTimer::singleShot(0, this, [this] { close(); });
    else if (comparePending_)
        QTimer::singleShot(0, this, [this] { guard([&] { compareAgain(); }); });
}

bool TFMMain::Busy() const
{
    return runner_->Busy();
}

// --- Walks -----------------------------------------------------------------------------------

bool TFMMain::runWithProgress(TProgressCounts &counts, const std::function<bool()> &work)
{
    cancel_.store(endRequested_);
    bool finished = false;
    {
        QTimer timer;
        if (wait_) {
            wait_->SetCancelHandler([this] { cancel_.store(true); });
            wait_->ShowWaitForm(true, true);
            wait_->SetWaitText(QStringLiteral("Loading info.."));
            wait_->SetCounts(0, 0);
            connect(&timer, &QTimer::timeout, wait_, [&] {
                using Stage = TWaitForm::ScanStage;
                wait_->SetCounts(counts.entries.load(), counts.bytes.load(), counts.notRead.load(),
                                 counts.walked.load() ? Stage::Sorting : Stage::Walking);
            });
            timer.start(100);
        }
        struct Hide {
            TWaitForm *wait;
            ~Hide()
            {
                if (wait) {
                    wait->ShowWaitForm(false, false);
                    wait->SetCancelHandler(nullptr);
                }
            }
        } hide{wait_};
        runWork([&] { finished = work(); });
    }
    // "Cancel" pressed, or an end requested, after the work itself cancels all the same.
    return finished && !cancel_.load();
}

bool TFMMain::walkWithProgress(const WalkWork &walk)
{
    TProgressCounts counts;
    ScanOptions options;
    options.progress = [&counts](std::uint64_t e, std::uint64_t b, std::uint64_t n) {
        counts.entries.store(e, std::memory_order_relaxed);
        counts.bytes.store(b, std::memory_order_relaxed);
        counts.notRead.store(n, std::memory_order_relaxed);
    };
    options.cancel = &cancel_;
    options.choices = scanChoices();
    if (scanHook_)
        scanHook_(options);
    return runWithProgress(counts, [&] { return walk(options, counts.walked); });
}

std::function<TFACtrl::TClassCounts(TNodeTree &)> TFMMain::preparing() const
{
    // What the worker needs of the controller and of VT, taken here on the UI thread.
    const TFACtrl *ctrl = ctrl_.get();
    const TFACtrl::TSortKey sortKey = ctrl_->SortKeyOf(*VT);
    const Clock clock = ctrl_->Now ? ctrl_->Now : Clock(LocalNow);
    return [ctrl, sortKey, clock](TNodeTree &tree) {
        return ctrl->PrepareCatalogue(tree, sortKey, clock(), preparingThreads());
    };
}

void TFMMain::showNew(TNodeTree &tree, TFACtrl::TClassCounts counted)
{
    // The new catalogue replaced every node: the controller's current node goes with the old one.
    ctrl_->CurrentNode = kNoNode;
    VT->ReplaceNodes(std::move(tree));
    VT->scrollToTop(); // a new catalogue is seen from its first row, wherever the old one was scrolled
    ctrl_->ShowFolder(VT->Nodes().First(), std::move(counted));
    showSummary();
}

bool TFMMain::scanAndShow(const std::string &folder)
{
    auto tree = std::make_unique<TNodeTree>();
    TFACtrl::TClassCounts counted;
    const auto prepare = preparing();
    const bool scanned = walkWithProgress([&](const ScanOptions &options, std::atomic<bool> &walked) {
        if (ScanFolder(*tree, folder, options).cancelled)
            return false;
        // The walk has rolled the sizes up; the new catalogue is sorted, classified and counted
        // here too, so that the UI thread only swaps it in.
        walked.store(true);
        counted = prepare(*tree);
        return true;
    });
    if (!scanned)
        return false;
    showNew(*tree, std::move(counted));
    return true;
}

std::optional<std::vector<TNodeTree>> TFMMain::WalkFolders(const std::vector<TEntryPath> &folders)
{
    std::vector<TNodeTree> trees(folders.size());
    const ScanChoices choices = CatalogueChoices(VT->Nodes()); // read here: the worker reads no grid
    const bool finished = walkWithProgress([&](const ScanOptions &given, std::atomic<bool> &) {
        for (std::size_t i = 0; i < folders.size(); ++i) {
            ScanOptions options = given;
            options.choices = choices;
            options.below = folders[i].RelativeFromStep(folders[i].TopSteps() - 1);
            if (ScanFolder(trees[i], folders[i].top, options).cancelled)
                return false;
        }
        return true;
    });
    if (!finished)
        return std::nullopt;
    return trees;
}

void TFMMain::ScanAgain()
{
    if (Busy() || !ctrl_ || ctrl_->RootPath.empty())
        return;
    scanAndShow(ctrl_->RootPath); // cancelled: the catalogue stays as it was
}

void TFMMain::entryMenu(QtTreeGrid *grid, const std::vector<NodeId> &rows, const QPoint &at)
{
    if (Busy() || !actions_)
        return;
    QMenu *menu = NewEntryMenu(*actions_, *grid, rows, this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(at);
}

ScanChoices TFMMain::scanChoices() const
{
    try {
        return GetConfig().XMLConfig()->ScanOptions().Choices();
    } catch (const std::exception &) {
        return {}; // the configuration was checked at start; should it fail now, the defaults scan
    }
}

void TFMMain::showSummary()
{
    auto *panel = findChild<QLabel *>(QStringLiteral("SBPanel0"));
    const TCatalogNotes *notes = VT->Nodes().FindNotes();
    if (!panel || !notes || VT->Nodes().First() == kNoNode) {
        if (panel)
            panel->clear();
        return;
    }
    // When the whole does not fit, the folder gives way in its middle down to a third of the
    // panel, then the end of the line goes; the hint has it all.
    const QString whole = QString::fromStdString(SummaryText(notes->summary));
    const QString folder = QString::fromStdString(SummaryLead(notes->summary));
    const QString rest = whole.mid(folder.size());
    const QFontMetrics metrics = panel->fontMetrics();
    const int width = panel->contentsRect().width();
    const int folderRoom = std::max(width - metrics.horizontalAdvance(rest), width / 3);
    panel->setText(metrics.elidedText(metrics.elidedText(folder, Qt::ElideMiddle, folderRoom) + rest, Qt::ElideRight,
                                      width));
    panel->setToolTip(whole);
}

void TFMMain::applyCountingChoices(const ScanChoices &choices)
{
    TNodeTree &tree = VT->Nodes();
    const TCatalogNotes *notes = tree.FindNotes();
    if (!ctrl_ || !notes || tree.First() == kNoNode ||
        (notes->summary.sizeKind == choices.sizeKind && notes->summary.hardLinksOnce == choices.hardLinksOnce))
        return;
    VT->BeginUpdate();
    try {
        ApplyCountingChoices(tree, choices.sizeKind, choices.hardLinksOnce);
    } catch (...) {
        VT->EndUpdate();
        throw;
    }
    VT->EndUpdate();
    // Sizes changed under every view: sort and classify again, and show the same entry anew.
    const NodeId shown = ctrl_->CurrentNode;
    ctrl_->SortGrid(*VT);
    ctrl_->ClassifyFiles();
    ctrl_->CurrentNode = kNoNode;
    ctrl_->ShowFolder(tree.IsValid(shown) ? shown : tree.First());
    showSummary();
}

void TFMMain::showCatalogue()
{
    if (!ctrl_)
        return;
    ctrl_->SortGrid(*VT);
    ctrl_->ClassifyFiles();
    ctrl_->ShowFolder(VT->Nodes().First());
}

// --- Commands --------------------------------------------------------------------------------

void TFMMain::btnOpenClick()
{
    if (Busy() || !ctrl_)
        return;
    std::string folder;
    if (Ui().ChooseFolder("", "", folder)) {
        const std::string previous = ctrl_->RootPath;
        ctrl_->RootPath = folder;
        repaint(); // nothing of the closed chooser stays on screen
        if (scanAndShow(folder))
            return;
        ctrl_->RootPath = previous; // cancelled: the catalogue shown before stays, and its root
        if (endRequested_)
            return;
    }
    showCatalogue();
}

void TFMMain::btnUpClick()
{
    if (!ctrl_ || ctrl_->CurrentNode == kNoNode || !VT->Nodes().IsValid(ctrl_->CurrentNode))
        return;
    ctrl_->ShowFolder(VT->Nodes().Parent(ctrl_->CurrentNode));
}

void TFMMain::m1Click() { Ui().ShowAbout(); }

void TFMMain::m2Click() { OpenProductWebSite(); }

void TFMMain::ScanOptionsClick()
{
    if (Busy() || !ctrl_ || !Ui().ShowScanOptions())
        return;
    applyCountingChoices(scanChoices());
}

void TFMMain::exportCommand(TFACtrl::ExportFormat format, QtTreeGrid *grid)
{
    if (Busy() || !ctrl_)
        return;
    guard([&] {
        const std::function<void()> write = ctrl_->PrepareExport(format, *grid);
        runWork(write);
    });
}

bool TFMMain::DropUriList(const QByteArray &uriList)
{
    if (Busy() || !ctrl_)
        return false;
    // Every folder would replace the one before, so only the last one is scanned. Without a
    // folder, the last file that holds a catalogue is opened; other files are passed over.
    std::string last, lastCatalogue;
    for (const std::string &path : LocalPathsOfUriList(uriList)) {
        if (isFolder(path))
            last = path;
        else if (RecognizeCatalogueFile(path) != CatalogFormat::None)
            lastCatalogue = path;
    }
    if (!last.empty())
        openFolder(last);
    else if (!lastCatalogue.empty())
        OpenCatalogue(lastCatalogue);
    return true;
}

void TFMMain::openFolder(const std::string &folder)
{
    const std::string previous = ctrl_->RootPath;
    ctrl_->RootPath = folder;
    if (!scanAndShow(folder))
        ctrl_->RootPath = previous;
}

void TFMMain::dragEnterEvent(QDragEnterEvent *event)
{
    if (!Busy() && event->mimeData()->hasFormat(QStringLiteral("text/uri-list")))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TFMMain::dragMoveEvent(QDragMoveEvent *event)
{
    if (!Busy())
        event->acceptProposedAction();
    else
        event->ignore();
}

void TFMMain::dropEvent(QDropEvent *event)
{
    if (Busy()) {
        event->ignore(); // refused, not queued
        return;
    }
    const QByteArray raw = event->mimeData()->data(QStringLiteral("text/uri-list"));
    event->acceptProposedAction();
    // The drag source is answered first; the scan then runs from the event loop.
    QTimer::singleShot(0, this, [this, raw] { guard([&] { DropUriList(raw); }); });
}

// --- Catalogue files ------------------------------------------------------------------------

bool TFMMain::readCatalogue(const std::string &path, TNodeTree &into, const std::function<bool(TProgressCounts &)> &then,
                            const std::string &failure)
{
    TProgressCounts counts;
    CatalogReadOptions options;
    options.choices = scanChoices(); // the configuration is read here, never from the worker
    options.progress = [&counts](std::uint64_t e, std::uint64_t b) {
        counts.entries.store(e, std::memory_order_relaxed);
        counts.bytes.store(b, std::memory_order_relaxed);
    };
    options.cancel = &cancel_;
    std::string error;
    const bool read = runWithProgress(counts, [&] {
        try {
            if (ReadCatalogFile(into, path, options).cancelled)
                return false;
        } catch (const TCatalogFileError &e) {
            error = e.what();
            return false;
        }
        return then(counts);
    });
    if (!error.empty())
        Ui().MessageBox(failure + "\n\n" + error, "Warning", MsgButtons::Ok, MsgIcon::Exclamation);
    return read;
}

void TFMMain::OpenCatalogueClick()
{
    if (Busy() || !ctrl_)
        return;
    const std::string path = Ui().OpenFileDialog("Open Catalogue", kCatalogueFilter);
    if (!path.empty())
        OpenCatalogue(path);
}

bool TFMMain::OpenCatalogue(const std::string &path)
{
    if (Busy() || !ctrl_)
        return false;
    repaint(); // nothing of a closed dialog stays on screen
    auto tree = std::make_unique<TNodeTree>();
    TFACtrl::TClassCounts counted;
    const auto prepare = preparing();
    const bool read = readCatalogue(
        path, *tree,
        [&](TProgressCounts &counts) {
            // Made ready here as a scan's catalogue is, so that the UI thread only swaps it in.
            counts.walked.store(true);
            counted = prepare(*tree);
            return true;
        },
        "The catalogue could not be opened; the one shown stays.");
    if (!read)
        return false;
    ctrl_->RootPath = tree->Field(tree->First(), FullPath);
    showNew(*tree, std::move(counted));
    return true;
}

void TFMMain::CompareClick()
{
    if (Busy() || !ctrl_)
        return;
    if (VT->Nodes().First() == kNoNode) {
        Ui().MessageBox("There is no catalogue to compare with yet: open a folder or a catalogue first.",
                        "Compare with Catalogue", MsgButtons::Ok, MsgIcon::Information);
        return;
    }
    const std::string path = Ui().OpenFileDialog("Compare with Catalogue", kCatalogueFilter);
    if (!path.empty())
        CompareWith(path);
}

bool TFMMain::CompareWith(const std::string &path)
{
    if (Busy() || !ctrl_ || VT->Nodes().First() == kNoNode)
        return false;
    repaint();
    auto then = std::make_unique<TNodeTree>();
    TComparison comparison;
    const TNodeTree &now = VT->Nodes(); // the window takes no input while the worker reads it
    const bool compared = readCatalogue(
        path, *then,
        [&](TProgressCounts &) {
            comparison = CompareCatalogues(*then, now, &cancel_);
            return !comparison.cancelled;
        },
        "The catalogue could not be compared with the one shown.");
    if (!compared)
        return false;
    comparePending_ = false; // compared with the catalogue as it is now
    Changes->Load(std::move(then), path, now, std::move(comparison));
    if (pcTotal->indexOf(Changes) < 0)
        pcTotal->addTab(Changes, ChangesIcon(), QStringLiteral("Changes"));
    pcTotal->setCurrentWidget(Changes);
    return true;
}

void TFMMain::CloseComparison()
{
    comparePending_ = false;
    if (const int at = pcTotal->indexOf(Changes); at >= 0)
        pcTotal->removeTab(at);
    Changes->hide();
    Changes->Unload();
}

void TFMMain::compareLater()
{
    if (!Changes->Loaded())
        return;
    Changes->Outdated();
    if (comparePending_)
        return;
    comparePending_ = true;
    QTimer::singleShot(0, this, [this] { guard([&] { compareAgain(); }); });
}

void TFMMain::compareAgain()
{
    // While other work runs, afterWork calls again once it has ended.
    if (!comparePending_ || Busy())
        return;
    comparePending_ = false;
    if (!Changes->Loaded() || !Changes->Then())
        return;
    const TNodeTree &then = *Changes->Then();
    const TNodeTree &now = VT->Nodes();
    TProgressCounts counts; // nothing to count: the progress window shows its message and Cancel
    TComparison comparison;
    const bool compared = runWithProgress(counts, [&] {
        comparison = CompareCatalogues(then, now, &cancel_);
        return !comparison.cancelled;
    });
    if (compared)
        Changes->SetComparison(now, std::move(comparison));
    else
        CloseComparison(); // cancelled: no rows fit the catalogue shown any more
}

void TFMMain::buildChangesPage()
{
    Changes = new QtChanges(this);
    Changes->hide();
    QToolBar *bar = Changes->Tools();
    auto *label = new QLabel(QStringLiteral("  Export:     "));
    label->setObjectName(QStringLiteral("ChangesExportLabel"));
    bar->addWidget(label);
    QToolButton *html = toolButton(bar, QStringLiteral("tbChangesHtml"), QStringLiteral("Export to HTML"),
                                   DocumentIcon(QStringLiteral("HTML"), QColor(228, 77, 38)));
    connect(html, &QToolButton::clicked, this, [this] { guard([&] { exportChanges(true); }); });
    QToolButton *csv = toolButton(bar, QStringLiteral("tbChangesCsv"), QStringLiteral("Export to CSV"),
                                  DocumentIcon(QStringLiteral("CSV"), QColor(40, 150, 70)));
    connect(csv, &QToolButton::clicked, this, [this] { guard([&] { exportChanges(false); }); });
    bar->addSeparator();
    QToolButton *close = toolButton(bar, QStringLiteral("tbCloseComparison"), QStringLiteral("Close Comparison"),
                                    ThemedIcon("window-close", QStyle::SP_DialogCloseButton));
    connect(close, &QToolButton::clicked, this, [this] { guard([&] { CloseComparison(); }); });
    // A double click shows the entry in Total Tree.
    connect(Changes, &QtChanges::EntryChosen, this, [this](NodeId node) {
        guard([&] {
            pcTotal->setCurrentIndex(0);
            SelectInTree(*VT, node);
        });
    });
    // The rows name nodes of VT's catalogue: whenever it changes they go, and come again compared anew.
    connect(VT->model(), &QAbstractItemModel::modelAboutToBeReset, this, [this] { compareLater(); });
    connect(VT->model(), &QAbstractItemModel::rowsAboutToBeRemoved, this, [this] { compareLater(); });
    connect(VT->model(), &QAbstractItemModel::rowsInserted, this, [this] { compareLater(); });
}

void TFMMain::exportChanges(bool html)
{
    if (Busy() || !Changes->Loaded() || !Changes->Then())
        return;
    // Gathered here: the rows as shown and the title. The writing step reads those and the two
    // catalogues, which stay as they are while it runs.
    runWork(PrepareChangesExport(html ? ChangesFormat::Html : ChangesFormat::Csv, Changes->Shown(), *Changes->Then(),
                                 VT->Nodes(), Changes->Title()));
}

void TFMMain::OpenAtStart(const std::string &path)
{
    if (Busy() || !ctrl_)
        return;
    if (isFolder(path))
        openFolder(path);
    else
        OpenCatalogue(path);
}

} // namespace folvane
