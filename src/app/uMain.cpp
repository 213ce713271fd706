#include "app/uMain.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QSysInfo>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <filesystem>
#include <system_error>
#include <thread>

#include "app/UAbout.h"
#include "app/uWaitForm.h"
#include "catalog/CatalogCompare.h"
#include "catalog/CatalogFile.h"
#include "catalog/CatalogNotes.h"
#include "catalog/uFileReader.h"
#include "common/TextForms.h"
#include "common/Utf8.h"
#include "common/UiServices.h"
#include "config/ConfigStore.h"
#include "export/ChangesExport.h"
#include "views/QtChanges.h"
#include "views/QtChart.h"
#include "views/QtIconList.h"
#include "views/QtTreeGrid.h"
#include "views/QtTreemap.h"
#include "views/TreemapLink.h"
#include "views/uCtrl.h"

namespace folvane {

void IgnoreException() noexcept
{
    // Deliberately nothing: an error that escapes a command ends that command and no more.
}

void InstallSystemForms()
{
    const QLocale locale = QLocale::system();
    TextForms forms;
    forms.shortDate = NormalizeShortDate(locale.dateFormat(QLocale::ShortFormat).toStdString());
    forms.longTime = NormalizeLongTime(locale.timeFormat(QLocale::LongFormat).toStdString());
    forms.decimal = locale.decimalPoint().toStdString();
    forms.group = locale.groupSeparator().toStdString();
    if (!locale.amText().isEmpty())
        forms.amText = locale.amText().toStdString();
    if (!locale.pmText().isEmpty())
        forms.pmText = locale.pmText().toStdString();
    SetForms(forms);
}

std::vector<std::string> LocalPathsOfUriList(const QByteArray &uriList)
{
    std::vector<std::string> paths;
    for (QByteArray line : uriList.split('\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (!line.toLower().startsWith("file://"))
            continue;
        QByteArray rest = line.mid(7);
        // "file:///path", "file://localhost/path" or the file URL naming this machine by its
        // own name, as some file managers write it; another host is not a local file.
        const qsizetype slash = rest.indexOf('/');
        if (slash < 0)
            continue;
        const QByteArray host = rest.left(slash).toLower();
        if (!host.isEmpty() && host != "localhost" && host != QSysInfo::machineHostName().toLower().toUtf8())
            continue;
        const QByteArray path = QByteArray::fromPercentEncoding(rest.mid(slash));
        paths.emplace_back(path.constData(), std::size_t(path.size()));
    }
    return paths;
}

namespace {

bool isFolder(const std::string &path)
{
    std::error_code error;
    return std::filesystem::is_directory(std::filesystem::path(path), error);
}

QIcon themed(const char *name, QStyle::StandardPixmap fallback)
{
    return QIcon::fromTheme(QString::fromLatin1(name), QApplication::style()->standardIcon(fallback));
}

// A page with a coloured band carrying a short type name: the icon of one export kind.
QIcon documentIcon(const QString &tag, const QColor &band)
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QPolygonF page({QPointF(6, 2), QPointF(21, 2), QPointF(27, 8), QPointF(27, 30), QPointF(6, 30)});
    p.setPen(QColor(110, 110, 110));
    p.setBrush(Qt::white);
    p.drawPolygon(page);
    p.drawLine(QPointF(21, 2), QPointF(21, 8));
    p.drawLine(QPointF(21, 8), QPointF(27, 8));
    p.setPen(QColor(190, 190, 190));
    for (int y = 11; y <= 15; y += 4)
        p.drawLine(QPointF(9, y), QPointF(24, y));
    p.setPen(Qt::NoPen);
    p.setBrush(band);
    p.drawRoundedRect(QRectF(1, 18, 30, 11), 2, 2);
    QFont font = p.font();
    font.setPixelSize(8);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(1, 18, 30, 11), Qt::AlignCenter, tag);
    return QIcon(pixmap);
}

QIcon pieIcon(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box(size * 0.08, size * 0.08, size * 0.84, size * 0.84);
    const QColor colors[] = {QColor(0, 128, 255), QColor(255, 170, 0), QColor(60, 180, 75), QColor(230, 60, 60)};
    const int spans[] = {150, 90, 70, 50};
    int start = 90 * 16;
    p.setPen(QPen(Qt::white, 1));
    for (int i = 0; i < 4; ++i) {
        p.setBrush(colors[i]);
        p.drawPie(box, start, spans[i] * 16);
        start += spans[i] * 16;
    }
    return QIcon(pixmap);
}

QIcon barIcon(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    const QColor colors[] = {QColor(0, 128, 255), QColor(255, 170, 0), QColor(60, 180, 75)};
    const double heights[] = {0.55, 0.85, 0.35};
    const double w = size / 4.5;
    p.setPen(QColor(80, 80, 80));
    p.drawLine(QPointF(1, size - 1.5), QPointF(size - 1, size - 1.5));
    for (int i = 0; i < 3; ++i) {
        const double h = (size - 3) * heights[i];
        p.fillRect(QRectF(size * 0.1 + i * (w + size * 0.08), size - 2 - h, w, h), colors[i]);
    }
    return QIcon(pixmap);
}

// The small icon of the three class pages' tabs.
QIcon classesIcon()
{
    return barIcon(16);
}

// Nested tiles: the icon of the treemap's tab.
QIcon treemapIcon()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setPen(QColor(60, 60, 60));
    const std::pair<QRect, QColor> tiles[] = {{QRect(1, 1, 8, 13), QColor(0, 128, 255)},
                                              {QRect(9, 1, 5, 7), QColor(255, 170, 0)},
                                              {QRect(9, 8, 5, 3), QColor(60, 180, 75)},
                                              {QRect(9, 11, 5, 3), QColor(230, 60, 60)}};
    for (const auto &[rect, colour] : tiles) {
        p.setBrush(colour);
        p.drawRect(rect);
    }
    return QIcon(pixmap);
}

// A green bar up and a red one down: the icon of the Changes tab.
QIcon changesIcon()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 150, 70));
    p.drawPolygon(QPolygonF({QPointF(1, 7), QPointF(4.5, 1), QPointF(8, 7)}));
    p.drawRect(QRectF(3, 7, 3, 7));
    p.setBrush(QColor(200, 50, 50));
    p.drawPolygon(QPolygonF({QPointF(8, 9), QPointF(11.5, 15), QPointF(15, 9)}));
    p.drawRect(QRectF(10, 2, 3, 7));
    return QIcon(pixmap);
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

TFMMain::TFMMain(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("FMMain"));
    setWindowTitle(QStringLiteral("Folvane "));
    // Where the platform names no icon theme (a bare X server, the offscreen platform), the
    // freedesktop icons still come from the common theme; each icon has a built-in fallback too.
    QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));

    // Menu: two items that act directly.
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

    VT = new QtTreeGrid("VT");
    VTList = new QtTreeGrid("VTList");
    VTAge = new QtTreeGrid("VTAge");
    VTSize = new QtTreeGrid("VTSize");
    VTType = new QtTreeGrid("VTType");
    ChartFile = new QtChart("ChartFile", true);
    AgeChart = new QtChart("AgeChart", false);
    SizeChart = new QtChart("SizeChart", false);
    TypeChart = new QtChart("TypeChart", false);

    auto *central = new QWidget;
    auto *column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(buildTopPanel());

    pcTotal = new QTabWidget;
    pcTotal->setObjectName(QStringLiteral("pcTotal"));
    pcTotal->setUsesScrollButtons(true); // one row of tabs; arrows when the window is narrow
    pcTotal->setElideMode(Qt::ElideNone);
    pcTotal->setDocumentMode(false);
    column->addWidget(pcTotal, 1);

    // Total Tree and Current Path File List.
    pcTotal->addTab(buildGridPage(VT, QStringLiteral("TabSheet1"), false, nullptr,
                                  {"ToolButton8", "ToolButton11", "ToolButton12", "ToolButton9", "ToolButton13",
                                   "ToolButton64", "ToolButton4"}),
                    themed("view-list-tree", QStyle::SP_DirIcon), QStringLiteral("Total Tree"));
    pcTotal->addTab(buildGridPage(VTList, QStringLiteral("TabSheet6"), false, nullptr,
                                  {"ToolButton16", "ToolButton17", "ToolButton18", "ToolButton19", "ToolButton20",
                                   "ToolButton23", "ToolButton5"}),
                    themed("view-list-details", QStyle::SP_FileDialogDetailedView),
                    QStringLiteral("Current Path File List"));

    // Chart pages: a tool bar above the chart.
    auto chartPage = [this](const QString &name, QtChart *chart, QToolBar *bar) {
        auto *page = new QWidget;
        page->setObjectName(name);
        auto *layout = new QVBoxLayout(page);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        layout->addWidget(bar);
        layout->addWidget(chart, 1);
        return page;
    };
    // Each chart's tool bar starts with its pie, bar and save buttons.
    struct ChartBar {
        QToolBar *bar;
        QToolButton *pie, *asBar, *save;
    };
    const QIcon save = themed("document-save", QStyle::SP_DialogSaveButton);
    auto chartBar = [&](const char *pieName, const char *barName, const char *saveName) {
        QToolBar *bar = newToolBar();
        return ChartBar{bar, toolButton(bar, pieName, "Pie Chart", pieIcon(32)),
                        toolButton(bar, barName, "Bar Chart", barIcon(32)),
                        toolButton(bar, saveName, "Save to file", save)};
    };
    // A class tab: its chart page and its drill-down list page, without a tab strip.
    auto classTab = [&](const char *name, const char *chartSheet, QtChart *chart, QToolBar *bar,
                        const char *listSheet, QtTreeGrid *list, const std::vector<QString> &listButtons,
                        const char *text) {
        auto *pages = new QStackedWidget;
        pages->setObjectName(QString::fromLatin1(name));
        pages->addWidget(chartPage(QString::fromLatin1(chartSheet), chart, bar));
        pages->addWidget(buildGridPage(list, QString::fromLatin1(listSheet), true, pages, listButtons));
        pcTotal->addTab(pages, classesIcon(), QString::fromLatin1(text));
        return pages;
    };

    const ChartBar file = chartBar("tbPieFile", "tbBarFile", "ToolButton36");
    pcTotal->addTab(chartPage(QStringLiteral("TabSheet2"), ChartFile, file.bar), pieIcon(16),
                    QStringLiteral("Current Path File Chart"));

    const ChartBar age = chartBar("tbPie", "tbBar", "ToolButton51");
    age.bar->addSeparator();
    QToolButton *sbCreate = speedButton(age.bar, "sbCreate", "File Create Time");
    QToolButton *sbAccess = speedButton(age.bar, "sbAccess", "File AccessTime");
    QToolButton *sbWrite = speedButton(age.bar, "sbWrite", "File Write Time");
    pcAge = classTab("pcAge", "TabSheet7", AgeChart, age.bar, "TabSheet8", VTAge,
                     {"ToolButton56", "ToolButton61", "ToolButton62", "ToolButton63", "ToolButton66", "ToolButton67",
                      "ToolButton73", "ToolButton6"},
                     "Age of Files");

    const ChartBar size = chartBar("tbPieSize", "tbBarSize", "ToolButton86");
    pcSize = classTab("pcSize", "TabSheet9", SizeChart, size.bar, "TabSheet10", VTSize,
                      {"ToolButton91", "ToolButton96", "ToolButton97", "ToolButton98", "ToolButton99",
                       "ToolButton100", "ToolButton103", "ToolButton7"},
                      "Size of Files");

    const ChartBar type = chartBar("tbPieType", "tbBarType", "ToolButton116");
    type.bar->addSeparator();
    QToolButton *sbTop = speedButton(type.bar, "sbTop", "Top 10");
    QToolButton *sbAll = speedButton(type.bar, "sbAll", "All");
    // Beyond the specified ones: what the type chart measures, files or the bytes they take.
    type.bar->addSeparator();
    QToolButton *sbFiles = speedButton(type.bar, "sbFiles", "Files");
    QToolButton *sbSize = speedButton(type.bar, "sbSize", "Size");
    sbFiles->setToolTip(QStringLiteral("Chart how many files each extension has"));
    sbSize->setToolTip(QStringLiteral("Chart the bytes each extension takes"));
    pcType = classTab("pcType", "TabSheet11", TypeChart, type.bar, "TabSheet12", VTType,
                      {"ToolButton121", "ToolButton126", "ToolButton127", "ToolButton128", "ToolButton129",
                       "ToolButton130", "ToolButton133", "ToolButton10"},
                      "Type of Files");

    pcTotal->addTab(buildTreemapPage(), treemapIcon(), QStringLiteral("Treemap"));
    buildChangesPage();

    setCentralWidget(central);

    // Status bar with its one panel: the shown catalogue's summary (showSummary).
    QStatusBar *bar = statusBar();
    bar->setObjectName(QStringLiteral("SB"));
    auto *panel = new QLabel;
    panel->setObjectName(QStringLiteral("SBPanel0"));
    panel->setFixedWidth(700);
    bar->addWidget(panel);

    // Grouped speed buttons: exactly one of each group is down.
    for (const auto &group : {std::vector<QToolButton *>{sbCreate, sbAccess, sbWrite}, std::vector<QToolButton *>{sbTop, sbAll},
                              std::vector<QToolButton *>{sbFiles, sbSize}}) {
        auto *buttons = new QButtonGroup(this);
        buttons->setExclusive(true);
        for (QToolButton *b : group)
            buttons->addButton(b);
    }
    sbCreate->setChecked(true);
    sbAll->setChecked(true);
    sbFiles->setChecked(true);

    // Chart commands. Pie and bar buttons show the down state their handler gives them.
    auto pair = [this](QToolButton *pie, QToolButton *bar, std::function<void(bool asBar)> draw) {
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
    auto timeKind = [=] { return sbCreate->isChecked() ? 0 : sbAccess->isChecked() ? 1 : 2; };
    pair(file.pie, file.asBar, [this](bool asBar) {
        if (ctrl_)
            ctrl_->ShowFileChart(*ChartFile, asBar);
    });
    pair(age.pie, age.asBar, [this, timeKind](bool asBar) {
        if (ctrl_)
            ctrl_->ShowAgeChart(*AgeChart, asBar, timeKind());
    });
    pair(size.pie, size.asBar, [this](bool asBar) {
        if (ctrl_)
            ctrl_->ShowSizeChart(*SizeChart, asBar);
    });
    pair(type.pie, type.asBar, [this, sbTop, sbSize](bool asBar) {
        if (ctrl_)
            ctrl_->ShowTypeChart(*TypeChart, asBar, !sbTop->isChecked(), sbSize->isChecked());
    });
    const std::pair<QToolButton *, int> kinds[] = {{sbCreate, 0}, {sbAccess, 1}, {sbWrite, 2}};
    for (auto [button, kind] : kinds)
        connect(button, &QToolButton::clicked, this, [this, tbPie = age.pie, kind = kind] {
            guard([&] {
                if (ctrl_)
                    ctrl_->ShowAgeChart(*AgeChart, !tbPie->isChecked(), kind);
            });
        });
    const std::pair<QToolButton *, bool> scopes[] = {{sbTop, false}, {sbAll, true}};
    for (auto [button, all] : scopes)
        connect(button, &QToolButton::clicked, this, [this, tbPieType = type.pie, sbSize, all = all] {
            guard([&] {
                if (ctrl_)
                    ctrl_->ShowTypeChart(*TypeChart, !tbPieType->isChecked(), all, sbSize->isChecked());
            });
        });
    const std::pair<QToolButton *, bool> measures[] = {{sbFiles, false}, {sbSize, true}};
    for (auto [button, bySize] : measures)
        connect(button, &QToolButton::clicked, this, [this, tbPieType = type.pie, sbTop, bySize = bySize] {
            guard([&] {
                if (ctrl_)
                    ctrl_->ShowTypeChart(*TypeChart, !tbPieType->isChecked(), !sbTop->isChecked(), bySize);
            });
        });
    const std::pair<QToolButton *, QtChart *> saves[] = {
        {file.save, ChartFile}, {age.save, AgeChart}, {size.save, SizeChart}, {type.save, TypeChart}};
    for (auto [button, chart] : saves)
        connect(button, &QToolButton::clicked, this, [this, chart = chart] {
            guard([&] {
                if (ctrl_)
                    ctrl_->SaveChart(*chart);
            });
        });

    resize(934, 490);
    setAcceptDrops(true);
    qApp->installEventFilter(this);
}

TFMMain::~TFMMain()
{
    qApp->removeEventFilter(this);
    // The controller unwires the grids, so it goes before them.
    ctrl_.reset();
}

// --- Building the window ---------------------------------------------------------------------

QWidget *TFMMain::buildTopPanel()
{
    auto *panel = new QWidget;
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFixedHeight(41);
    auto *row = new QHBoxLayout(panel);
    row->setContentsMargins(6, 3, 6, 3);
    row->setSpacing(8);

    btnOpen = new QPushButton(themed("document-open", QStyle::SP_DirOpenIcon), QStringLiteral("&Open Folder to Analyze"));
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
    btnUp->setIcon(themed("go-up", QStyle::SP_FileDialogToParent));
    btnUp->setIconSize(QSize(20, 20));
    btnUp->setAutoRaise(true);
    btnUp->setToolTip(QStringLiteral("back to top"));
    btnUp->setEnabled(false);
    connect(btnUp, &QToolButton::clicked, this, [this] { guard([&] { btnUpClick(); }); });

    lbPath = new QLabel(QStringLiteral("Current Path"));
    lbPath->setObjectName(QStringLiteral("lbPath"));
    QPalette blue = lbPath->palette();
    blue.setColor(QPalette::WindowText, TextBlue(blue));
    lbPath->setPalette(blue);
    lbPath->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lbPath->setMinimumWidth(40);
    lbPath->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    row->addWidget(btnOpen);
    row->addSpacing(6);
    row->addWidget(Label1);
    row->addWidget(btnUp);
    row->addWidget(lbPath, 1);
    return panel;
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
        toolButton(bar, QStringLiteral("tbSaveTreemap"), QStringLiteral("Save to file"), themed("document-save", QStyle::SP_DialogSaveButton));
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
    if (busy_ || !ctrl_)
        return;
    if (node != kNoNode)
        SelectInTree(*VT, node); // as a right click selects a row
    auto *menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("TreemapMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction *explorer = menu->addAction(themed("system-file-manager", QStyle::SP_DirOpenIcon), QStringLiteral("Open Explorer"));
    connect(explorer, &QAction::triggered, this, [this] {
        guard([&] {
            if (ctrl_)
                ctrl_->OpenExplorer(*VT);
        });
    });
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
        QToolButton *back = toolButton(bar, names[at++], QStringLiteral("return"), themed("go-previous", QStyle::SP_ArrowBack));
        connect(back, &QToolButton::clicked, this, [pages] { pages->setCurrentIndex(0); });
    }
    auto *label = new QLabel(QStringLiteral("  Export:     "));
    label->setObjectName(name + QStringLiteral("ExportLabel"));
    bar->addWidget(label);
    struct Export {
        const char *hint, *tag;
        QColor band;
        void (TFACtrl::*command)(ITreeGrid &);
    };
    const Export exports[] = {
        {"Export to HTML", "HTML", QColor(228, 77, 38), &TFACtrl::ExportHtml},
        {"Export to XML", "XML", QColor(0, 120, 200), &TFACtrl::ExportXml},
        {"Export to Text", "TXT", QColor(110, 110, 110), &TFACtrl::ExportText},
        {"Export to CSV", "CSV", QColor(40, 150, 70), &TFACtrl::ExportCsv},
        {"Export to Excel", "XLSX", QColor(16, 124, 65), &TFACtrl::ExportExcel},
    };
    for (const Export &e : exports) {
        QToolButton *button = toolButton(bar, names[at++], QString::fromLatin1(e.hint), documentIcon(QString::fromLatin1(e.tag), e.band));
        connect(button, &QToolButton::clicked, this, [this, grid, command = e.command] { exportCommand(command, grid); });
    }
    bar->addSeparator();
    QToolButton *columns =
        toolButton(bar, names[at++], QStringLiteral("Show columns config"), themed("preferences-system", QStyle::SP_FileDialogDetailedView));
    connect(columns, &QToolButton::clicked, this, [this] {
        guard([&] {
            if (ctrl_)
                ctrl_->ShowColumnDialog();
        });
    });
    QToolButton *explorer =
        toolButton(bar, names[at++], QStringLiteral("Open Explorer"), themed("system-file-manager", QStyle::SP_DirOpenIcon));
    connect(explorer, &QToolButton::clicked, this, [this, grid] {
        guard([&] {
            if (ctrl_)
                ctrl_->OpenExplorer(*grid);
        });
    });
    // Beyond the specified buttons, after them: the terminal analysers' interchange format.
    bar->addSeparator();
    QToolButton *ncdu = toolButton(bar, name + QStringLiteral("Ncdu"), QStringLiteral("Export to ncdu JSON"),
                                   documentIcon(QStringLiteral("JSON"), QColor(120, 70, 160)));
    connect(ncdu, &QToolButton::clicked, this, [this, grid] { exportCommand(&TFACtrl::ExportNcdu, grid); });
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
    if (busy_) {
        event->ignore(); // refused while work runs
        return;
    }
    try {
        if (ctrl_)
            ctrl_->SaveLayout();
    } catch (...) {
        // A layout that cannot be saved does not keep the program open.
    }
    ctrl_.reset();
    event->accept();
}

// --- Work off the UI thread ------------------------------------------------------------------

void TFMMain::runOffUiThread(const std::function<void()> &work)
{
    busy_ = true;
    QEventLoop loop;
    std::exception_ptr failure;
    std::thread worker;
    try {
        worker = std::thread([&] {
            try {
                work();
            } catch (...) {
                failure = std::current_exception();
            }
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
    } catch (...) {
        busy_ = false; // no worker: the window must not stay refusing input
        throw;
    }
    loop.exec();
    worker.join();
    busy_ = false;
    if (failure)
        std::rethrow_exception(failure);
}

bool TFMMain::eventFilter(QObject *watched, QEvent *event)
{
    if (busy_ && watched->isWidgetType()) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::InputMethod: // text committed by an input method is typing too
        case QEvent::Wheel:
        case QEvent::ContextMenu:
            // The main window takes no input while work runs; the progress window and the
            // dialogs that work asks for do.
            if (static_cast<QWidget *>(watched)->window() == this)
                return true;
            break;
        case QEvent::ShortcutOverride:
            // Accepted here, a key that would be a shortcut of the main window (Alt+O) is none.
            if (static_cast<QWidget *>(watched)->window() == this) {
                event->accept();
                return true;
            }
            break;
        default:
            break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

bool TFMMain::scanFolder(const std::string &folder)
{
    auto tree = std::make_unique<TNodeTree>();
    std::atomic<std::uint64_t> entries{0}, bytes{0}, notRead{0};
    std::atomic<bool> cancel{false};
    ScanOptions options;
    options.progress = [&](std::uint64_t e, std::uint64_t b, std::uint64_t n) {
        entries.store(e, std::memory_order_relaxed);
        bytes.store(b, std::memory_order_relaxed);
        notRead.store(n, std::memory_order_relaxed);
    };
    options.cancel = &cancel;
    options.choices = scanChoices();
    if (scanHook_)
        scanHook_(options);

    QTimer counts;
    if (wait_) {
        wait_->SetCancelHandler([&] { cancel.store(true); });
        wait_->ShowWaitForm(true, true);
        wait_->SetWaitText(QStringLiteral("Loading info.."));
        wait_->SetCounts(0, 0);
        connect(&counts, &QTimer::timeout, wait_,
                [&] { wait_->SetCounts(entries.load(), bytes.load(), notRead.load()); });
        counts.start(100);
    }
    ScanOutcome outcome;
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
    runOffUiThread([&] { outcome = ScanFolder(*tree, folder, options); });
    counts.stop();
    if (outcome.cancelled)
        return false;
    // The scan replaced every node: the controller's current node goes with the old catalogue.
    if (ctrl_)
        ctrl_->CurrentNode = kNoNode;
    VT->ReplaceNodes(std::move(*tree));
    VT->scrollToTop(); // a new catalogue is seen from its first row, wherever the old one was scrolled
    showSummary();
    return true;
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
    if (busy_ || !ctrl_)
        return;
    std::string folder;
    if (Ui().ChooseFolder("", "", folder)) {
        const std::string previous = ctrl_->RootPath;
        ctrl_->RootPath = folder;
        repaint(); // nothing of the closed chooser stays on screen
        if (!scanFolder(folder))
            ctrl_->RootPath = previous; // cancelled: the catalogue shown before stays, and its root
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
    if (busy_ || !ctrl_ || !Ui().ShowScanOptions())
        return;
    applyCountingChoices(scanChoices());
}

void TFMMain::exportCommand(void (TFACtrl::*command)(ITreeGrid &), QtTreeGrid *grid)
{
    if (busy_ || !ctrl_)
        return;
    guard([&] {
        TFACtrl *ctrl = ctrl_.get();
        runOffUiThread([&] { (ctrl->*command)(*grid); });
    });
}

bool TFMMain::DropUriList(const QByteArray &uriList)
{
    if (busy_ || !ctrl_)
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
    if (last.empty()) {
        if (!lastCatalogue.empty())
            OpenCatalogue(lastCatalogue);
        return true;
    }
    const std::string previous = ctrl_->RootPath;
    ctrl_->RootPath = last;
    if (scanFolder(last)) {
        showCatalogue();
    } else {
        ctrl_->RootPath = previous;
    }
    return true;
}

void TFMMain::dragEnterEvent(QDragEnterEvent *event)
{
    if (!busy_ && event->mimeData()->hasFormat(QStringLiteral("text/uri-list")))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TFMMain::dragMoveEvent(QDragMoveEvent *event)
{
    if (!busy_)
        event->acceptProposedAction();
    else
        event->ignore();
}

void TFMMain::dropEvent(QDropEvent *event)
{
    if (busy_) {
        event->ignore(); // refused, not queued
        return;
    }
    const QByteArray raw = event->mimeData()->data(QStringLiteral("text/uri-list"));
    event->acceptProposedAction();
    // The drag source is answered first; the scan then runs from the event loop.
    QTimer::singleShot(0, this, [this, raw] { guard([&] { DropUriList(raw); }); });
}

// --- Catalogue files ------------------------------------------------------------------------

bool TFMMain::readCatalogue(const std::string &path, TNodeTree &into, const std::function<void()> &after,
                            const std::string &failure)
{
    std::atomic<std::uint64_t> entries{0}, bytes{0};
    std::atomic<bool> cancel{false};
    CatalogReadOptions options;
    options.choices = scanChoices(); // the configuration is read here, never from the worker
    options.progress = [&](std::uint64_t e, std::uint64_t b) {
        entries.store(e, std::memory_order_relaxed);
        bytes.store(b, std::memory_order_relaxed);
    };
    options.cancel = &cancel;

    // The progress window as a scan shows it: the counts of what was read, and Cancel.
    QTimer counts;
    struct Shown {
        TWaitForm *wait;
        ~Shown()
        {
            if (wait) {
                wait->ShowWaitForm(false, false);
                wait->SetCancelHandler(nullptr);
            }
        }
    } shown{wait_};
    if (wait_) {
        wait_->SetCancelHandler([&] { cancel.store(true); });
        wait_->ShowWaitForm(true, true);
        wait_->SetWaitText(QStringLiteral("Loading info.."));
        wait_->SetCounts(0, 0);
        connect(&counts, &QTimer::timeout, wait_, [&] { wait_->SetCounts(entries.load(), bytes.load()); });
        counts.start(100);
    }
    std::string error;
    CatalogReadOutcome outcome;
    runOffUiThread([&] {
        try {
            outcome = ReadCatalogFile(into, path, options);
            if (!outcome.cancelled && after)
                after();
        } catch (const TCatalogFileError &e) {
            error = e.what();
        }
    });
    counts.stop();
    if (!error.empty()) {
        if (wait_)
            wait_->ShowWaitForm(false, false);
        Ui().MessageBox(failure + "\n\n" + error, "Warning", MsgButtons::Ok, MsgIcon::Exclamation);
        return false;
    }
    return !outcome.cancelled;
}

void TFMMain::OpenCatalogueClick()
{
    if (busy_ || !ctrl_)
        return;
    const std::string path = Ui().OpenFileDialog("Open Catalogue", kCatalogueFilter);
    if (!path.empty())
        OpenCatalogue(path);
}

bool TFMMain::OpenCatalogue(const std::string &path)
{
    if (busy_ || !ctrl_)
        return false;
    repaint(); // nothing of a closed dialog stays on screen
    auto tree = std::make_unique<TNodeTree>();
    if (!readCatalogue(path, *tree, {}, "The catalogue could not be opened; the one shown stays."))
        return false;
    ctrl_->CurrentNode = kNoNode;
    ctrl_->RootPath = tree->Field(tree->First(), FullPath);
    VT->ReplaceNodes(std::move(*tree));
    VT->scrollToTop();
    showSummary();
    showCatalogue();
    return true;
}

void TFMMain::CompareClick()
{
    if (busy_ || !ctrl_)
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
    if (busy_ || !ctrl_ || VT->Nodes().First() == kNoNode)
        return false;
    repaint();
    auto then = std::make_unique<TNodeTree>();
    TComparison comparison;
    const TNodeTree &now = VT->Nodes(); // nothing changes it while the worker reads it
    if (!readCatalogue(
            path, *then, [&] { comparison = CompareCatalogues(*then, now); },
            "The catalogue could not be compared with the one shown."))
        return false;
    Changes->Load(std::move(then), path, now, std::move(comparison));
    if (pcTotal->indexOf(Changes) < 0)
        pcTotal->addTab(Changes, changesIcon(), QStringLiteral("Changes"));
    pcTotal->setCurrentWidget(Changes);
    return true;
}

void TFMMain::CloseComparison()
{
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
    QTimer::singleShot(0, this, [this] {
        comparePending_ = false;
        guard([&] {
            if (Changes->Loaded() && Changes->Then())
                Changes->SetComparison(VT->Nodes(), CompareCatalogues(*Changes->Then(), VT->Nodes()));
        });
    });
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
                                   documentIcon(QStringLiteral("HTML"), QColor(228, 77, 38)));
    connect(html, &QToolButton::clicked, this, [this] { guard([&] { exportChanges(true); }); });
    QToolButton *csv = toolButton(bar, QStringLiteral("tbChangesCsv"), QStringLiteral("Export to CSV"),
                                  documentIcon(QStringLiteral("CSV"), QColor(40, 150, 70)));
    connect(csv, &QToolButton::clicked, this, [this] { guard([&] { exportChanges(false); }); });
    bar->addSeparator();
    QToolButton *close = toolButton(bar, QStringLiteral("tbCloseComparison"), QStringLiteral("Close Comparison"),
                                    themed("window-close", QStyle::SP_DialogCloseButton));
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
    if (busy_ || !Changes->Loaded() || !Changes->Then())
        return;
    const TNodeTree &then = *Changes->Then();
    const std::string title = Changes->Title();
    std::string failure;
    runOffUiThread([&] {
        try {
            const bool done = html ? ExportChangesHtml(Changes->Shown(), then, VT->Nodes(), title)
                                   : ExportChangesCsv(Changes->Shown(), then, VT->Nodes());
            if (done)
                Ui().MessageBox("Export Finished", "Done", MsgButtons::Ok, MsgIcon::None);
        } catch (const std::exception &e) {
            failure = e.what();
        }
    });
    if (!failure.empty())
        Ui().MessageBox("The export failed: " + failure, "Warning", MsgButtons::Ok, MsgIcon::Exclamation);
}

void TFMMain::OpenAtStart(const std::string &path)
{
    if (busy_ || !ctrl_)
        return;
    if (!isFolder(path)) {
        OpenCatalogue(path);
        return;
    }
    const std::string previous = ctrl_->RootPath;
    ctrl_->RootPath = path;
    if (!scanFolder(path))
        ctrl_->RootPath = previous;
    showCatalogue();
}

} // namespace folvane
