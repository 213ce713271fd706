#include <gtest/gtest.h>

#include <QHeaderView>
#include <QImage>
#include <QInputMethodEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPieSeries>
#include <QPieSlice>
#include <QDropEvent>
#include <QFileDialog>
#include <QMessageBox>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStatusBar>
#include <QSysInfo>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <sys/stat.h>

#include "GuiTestSupport.h"
#include "app/CurrentPathLabel.h"
#include "app/EndRequests.h"
#include "app/QtUiServices.h"
#include "app/UriList.h"
#include "app/uMain.h"
#include "app/uWaitForm.h"
#include "config/ConfigStore.h"
#include "config/FolvaneConfig.h"
#include "config/uConfigEx.h"
#include "support/Gate.h"
#include "support/ScriptedUi.h"
#include "support/Files.h"
#include "support/TempDir.h"
#include "views/QtChanges.h"
#include "views/QtChart.h"
#include "views/QtTreeGrid.h"
#include "common/Utf8.h"
#include "views/uCtrl.h"

using namespace folvane;
using folvane::test::ClippedLabels;
using folvane::test::GuiApp;
using folvane::test::Settle;
using folvane::test::WaitUntil;

namespace {

// The scripted services, with a column dialog that is the real one when `columnDialog` works it.
class WindowUi final : public IUiServices {
public:
    explicit WindowUi(test::ScriptedUi &scripted) : s(scripted) { SetUi(this); }
    ~WindowUi() override { SetUi(&s); }

    std::function<void(TFMConfig &)> columnDialog;
    bool ShowColumnDialog() override
    {
        if (!columnDialog)
            return s.ShowColumnDialog();
        ++s.columnDialogs;
        TFMConfig dialog(nullptr);
        QTimer::singleShot(30, [&] { columnDialog(dialog); });
        return dialog.Execute();
    }
    void ShowWaitForm(bool show, bool cancel) override { s.ShowWaitForm(show, cancel); }
    void SetWaitText(const std::string &text) override { s.SetWaitText(text); }
    std::string SaveFileDialog(const std::string &e, const std::string &f, const std::string &i) override
    {
        return s.SaveFileDialog(e, f, i);
    }
    MsgResult MessageBox(const std::string &t, const std::string &c, MsgButtons b, MsgIcon i) override
    {
        return s.MessageBox(t, c, b, i);
    }
    bool ChooseFolder(const std::string &c, const std::string &r, std::string &f) override
    {
        return s.ChooseFolder(c, r, f);
    }
    void ShowAbout() override { s.ShowAbout(); }
    void OpenUrl(const std::string &url) override { s.OpenUrl(url); }
    void CopyPaths(const std::vector<std::string> &paths) override { s.CopyPaths(paths); }
    bool ShowScanOptions() override { return s.ShowScanOptions(); }

private:
    test::ScriptedUi &s;
};

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        GuiApp();
        SetForms(TextForms::EnUs());
        ResetConfig(TConfigPlaces{program.Path(), user.Path(), TConfigPlaces::CanCreateFileIn});
        // The catalogue to open: two folders and three files at the top, five files in all.
        root = data.Folder("Photos 2024");
        data.File("Photos 2024/sub1/a.txt", 100);
        data.File("Photos 2024/sub1/b.TXT", 2000);
        data.File("Photos 2024/sub2/c.jpg", 50000);
        data.File("Photos 2024/d.txt", 10);
        data.File("Photos 2024/e.log", 300000);
        other = data.Folder("Other");
        data.File("Other/only.bin", 7);
    }
    void TearDown() override
    {
        window.reset();
        ResetConfig();
    }

    void start()
    {
        window = std::make_unique<TFMMain>();
        wait = new TWaitForm(window.get()); // the window's child: it goes with the window
        window->SetWaitForm(wait);
        window->show();
        Settle();
    }
    void open(const std::string &folder)
    {
        ui.folderAnswers.push_back(folder);
        window->btnOpen->click();
        Settle();
    }
    NodeId topNode() { return window->VT->Nodes().First(); }
    NodeId child(NodeId parent, const std::string &name)
    {
        const TNodeTree &tree = window->VT->Nodes();
        for (NodeId n = tree.FirstChild(parent); n != kNoNode; n = tree.NextSibling(n))
            if (tree.Field(n, FileName) == name)
                return n;
        return kNoNode;
    }
    std::vector<std::string> listNames(QtTreeGrid *grid)
    {
        std::vector<std::string> names;
        const TNodeTree &tree = grid->Nodes();
        for (NodeId n = tree.First(); n != kNoNode; n = tree.NextSibling(n))
            names.push_back(tree.Field(n, FileName));
        return names;
    }
    std::vector<std::string> labels(QtChart *chart)
    {
        std::vector<std::string> list;
        for (const ChartPoint &p : chart->Points())
            list.push_back(p.label);
        return list;
    }
    QPoint rowPoint(QtTreeGrid *grid, NodeId node)
    {
        return grid->visualRect(grid->IndexOf(node, 1)).center();
    }
    // The width of a column of the tree in the configuration file as saved.
    int savedWidth(int column) { return LoadConfig(program / "FolvaneConfig.xml")->Nodes().Node(column).Width(); }
    QPoint headerPoint(QtTreeGrid *grid, int column)
    {
        QHeaderView *h = grid->header();
        return QPoint(h->sectionViewportPosition(column) + h->sectionSize(column) / 2, h->height() / 2);
    }

    test::TempDir program, user, data;
    std::string root, other;
    test::ScriptedUi ui;
    WindowUi dialogs{ui};
    std::unique_ptr<TFMMain> window;
    TWaitForm *wait = nullptr;
};

// The threads of this process.
std::size_t threadCount()
{
    return std::size_t(std::distance(std::filesystem::directory_iterator("/proc/self/task"), {}));
}

} // namespace

TEST_F(MainWindowTest, StartsWithEveryPartInPlace)
{
    start();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Folvane "));
    EXPECT_EQ(window->size(), QSize(934, 490));
    EXPECT_EQ(window->lbPath->text(), QStringLiteral("Current Path"));
    EXPECT_EQ(window->Label1->text(), QStringLiteral("Current Path:"));
    EXPECT_EQ(window->btnOpen->text(), QStringLiteral("&Open Folder to Analyze"));
    EXPECT_TRUE(window->btnOpen->font().bold());
    EXPECT_EQ(window->btnUp->toolTip(), QStringLiteral("back to top"));
    EXPECT_EQ(window->lbPath->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    // The six specified tabs, then the treemap.
    const QStringList tabs = {"Total Tree", "Current Path File List", "Current Path File Chart",
                              "Age of Files", "Size of Files", "Type of Files", "Treemap"};
    ASSERT_EQ(window->pcTotal->count(), 7);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(window->pcTotal->tabText(i), tabs[i]);
        EXPECT_FALSE(window->pcTotal->tabIcon(i).isNull());
    }
    EXPECT_EQ(window->pcTotal->currentIndex(), 0);
    for (QStackedWidget *pages : {window->pcAge, window->pcSize, window->pcType}) {
        EXPECT_EQ(pages->count(), 2);
        EXPECT_EQ(pages->currentIndex(), 0);
    }
    // Pie buttons down, the first time kind and "All" down.
    for (ButtonId down : {ButtonId::tbPieFile, ButtonId::tbPie, ButtonId::tbPieSize, ButtonId::tbPieType,
                          ButtonId::sbCreate, ButtonId::sbAll, ButtonId::sbFiles})
        EXPECT_TRUE(window->IsDown(down));
    for (ButtonId up : {ButtonId::tbBarFile, ButtonId::tbBar, ButtonId::tbBarSize, ButtonId::tbBarType,
                        ButtonId::sbAccess, ButtonId::sbWrite, ButtonId::sbTop, ButtonId::sbSize})
        EXPECT_FALSE(window->IsDown(up));
    const std::pair<const char *, const char *> captions[] = {
        {"sbCreate", "File Create Time"}, {"sbAccess", "File AccessTime"}, {"sbWrite", "File Write Time"},
        {"sbTop", "Top 10"}, {"sbAll", "All"}, {"sbFiles", "Files"}, {"sbSize", "Size"}, {"ToolButton8", "Export to HTML"}, {"ToolButton11", "Export to XML"},
        {"ToolButton12", "Export to Text"}, {"ToolButton9", "Export to CSV"}, {"ToolButton13", "Export to Excel"},
        {"ToolButton64", "Show columns config"}, {"ToolButton4", "Open Explorer"}, {"ToolButton36", "Save to file"},
        {"tbPieFile", "Pie Chart"}, {"tbBarFile", "Bar Chart"}, {"ToolButton56", "return"},
        {"ToolButton133", "Show columns config"}, {"ToolButton10", "Open Explorer"}, {"ToolButton100", "Export to Excel"}};
    for (const auto &[name, text] : captions) {
        QToolButton *button = window->Button(QString::fromLatin1(name));
        ASSERT_NE(button, nullptr) << name;
        EXPECT_EQ(button->text(), QString::fromLatin1(text)) << name;
        if (!QString::fromLatin1(name).startsWith(QStringLiteral("sb"))) {
            EXPECT_EQ(button->toolTip(), QString::fromLatin1(text)) << name;
            EXPECT_EQ(button->iconSize(), QSize(32, 32)) << name;
            EXPECT_FALSE(button->icon().isNull()) << name;
        }
    }
    for (QToolBar *bar : window->findChildren<QToolBar *>())
        EXPECT_EQ(bar->height(), 40);
    int exportLabels = 0;
    for (QLabel *label : window->findChildren<QLabel *>()) // the Changes page's tool bar is not a grid's
        exportLabels += label->text() == QStringLiteral("  Export:     ") && !window->Changes->isAncestorOf(label);
    EXPECT_EQ(exportLabels, 5);
    EXPECT_EQ(window->findChild<QLabel *>(QStringLiteral("SBPanel0"))->width(), 700);
    // Every grid has the configured columns; the header is 17 pixels, no sort column yet.
    for (QtTreeGrid *grid : {window->VT, window->VTList, window->VTAge, window->VTSize, window->VTType}) {
        EXPECT_EQ(grid->ColumnCount(), 15);
        EXPECT_EQ(grid->header()->height(), 17);
        EXPECT_EQ(grid->SortColumn(), -1);
        EXPECT_FALSE(grid->ColumnVisible(6)); // "File Type"
    }
    EXPECT_TRUE(ClippedLabels(*window).empty()) << ClippedLabels(*window).front();
    EXPECT_TRUE(ui.messages.empty());

    // The menu: "About" shows the About window, "Help" opens the web site, and after them
    // "Scan Options…" (Ctrl+,) the scan's choices; all act directly. (The catalogue commands that
    // follow are CatalogueWindowTest's.)
    QList<QAction *> menu = window->menuBar()->actions();
    ASSERT_EQ(menu.size(), 5);
    EXPECT_EQ(menu[0]->text(), QStringLiteral("About"));
    EXPECT_EQ(menu[1]->text(), QStringLiteral("Help"));
    EXPECT_EQ(menu[2]->text(), QStringLiteral("Scan Options\u2026"));
    EXPECT_EQ(menu[2]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Comma));
    for (QAction *action : menu)
        EXPECT_EQ(action->menu(), nullptr);
    menu = menu.mid(0, 3);
    menu[0]->trigger();
    menu[1]->trigger();
    menu[2]->trigger();
    EXPECT_EQ(ui.abouts, 1);
    ASSERT_EQ(ui.opened.size(), 1u);
    EXPECT_EQ(ui.opened[0].rfind("https://", 0), 0u);
    EXPECT_EQ(ui.scanOptionsDialogs, 1);
    // The status bar's panel stays empty until there is a catalogue.
    EXPECT_TRUE(window->findChild<QLabel *>(QStringLiteral("SBPanel0"))->text().isEmpty());
}

TEST_F(MainWindowTest, OpenShowsTheCatalogueEverywhere)
{
    start();
    open(root);
    EXPECT_FALSE(window->Busy());
    EXPECT_FALSE(wait->isVisible());
    const NodeId top = topNode();
    ASSERT_NE(top, kNoNode);
    EXPECT_EQ(window->VT->Nodes().Field(top, FileName), root); // the top node is named by its path
    EXPECT_TRUE(window->VT->isExpanded(window->VT->IndexOf(top)));
    EXPECT_EQ(window->Ctrl()->RootPath, root);
    EXPECT_EQ(window->lbPath->text().toStdString(), root);
    EXPECT_FALSE(window->btnUp->isEnabled());
    // Sorted by name, folders first; the list holds the top folder's entries in that order.
    EXPECT_EQ(listNames(window->VTList), (std::vector<std::string>{"sub1", "sub2", "d.txt", "e.log"}));
    EXPECT_EQ(labels(window->ChartFile), (std::vector<std::string>{"sub1", "sub2", "d.txt", "e.log"}));
    EXPECT_EQ(window->ChartFile->Points()[3].value, 300000);
    EXPECT_EQ(window->ChartFile->TitleLines(), std::vector<std::string>{root});
    EXPECT_EQ(window->AgeChart->Points().size(), 6u);
    EXPECT_EQ(window->SizeChart->Points().size(), 7u);
    double files = 0;
    for (const ChartPoint &p : window->TypeChart->Points())
        files += p.value;
    EXPECT_EQ(files, 5);
    for (QtChart *chart : {window->ChartFile, window->AgeChart, window->SizeChart, window->TypeChart})
        EXPECT_EQ(chart->Kind(), SeriesKind::Pie) << chart->Name();
    // The cells show the controller's text.
    const QModelIndex size = window->VT->IndexOf(child(top, "e.log"), 2);
    EXPECT_EQ(size.data().toString(), QStringLiteral("292.97 KB"));
    EXPECT_FALSE(window->VT->IndexOf(child(top, "e.log"), 0).data(Qt::DecorationRole).value<QIcon>().isNull());
    // The icon is what the scan recorded: an entry gone from disk since keeps it until the next scan.
    std::filesystem::remove(root + "/e.log");
    EXPECT_FALSE(window->VT->IndexOf(child(top, "e.log"), 0).data(Qt::DecorationRole).value<QIcon>().isNull());
}

TEST_F(MainWindowTest, ScanOptionsApplyToTheShownCatalogueOrFromTheNextScan)
{
    // One file with real content: the others are sparse and occupy no blocks.
    std::ofstream(root + "/sub2/real.bin", std::ios::binary) << std::string(5000, 'r');
    start();
    open(root);
    const QLabel *panel = window->findChild<QLabel *>(QStringLiteral("SBPanel0"));
    const std::string dot = " \xC2\xB7 ";
    EXPECT_EQ(panel->text().toStdString(), root + dot + "Apparent size");
    const std::uint32_t count = window->VT->Nodes().NodeCount();
    EXPECT_EQ(window->VT->Nodes().Field(topNode(), FileSize), "357110");
    window->VT->SelectNode(child(topNode(), "sub2"));

    // The dialog stores disk usage and a pattern: the size counts at once, the pattern next time.
    ui.scanOptionsDialog = [] {
        ScanChoices choices;
        choices.sizeKind = SizeKind::DiskUsage;
        choices.exclude = {"*.log"};
        GetConfig().XMLConfig()->ScanOptions().SetChoices(choices);
        GetConfig().Save();
        return true;
    };
    window->menuBar()->actions()[2]->trigger();
    struct stat st {};
    ASSERT_EQ(::stat((root + "/sub2/real.bin").c_str(), &st), 0);
    const std::uint64_t blocks = std::uint64_t(st.st_blocks) * 512;
    ASSERT_GT(blocks, 0u);
    const TNodeTree &tree = window->VT->Nodes();
    EXPECT_EQ(tree.NodeCount(), count); // no new scan
    EXPECT_EQ(tree.Field(topNode(), FileSize), std::to_string(blocks));
    EXPECT_EQ(tree.Field(child(topNode(), "sub2"), SizePercentage), "100.00");
    EXPECT_EQ(panel->text().toStdString(), root + dot + "Disk usage"); // made without the pattern
    // The entry shown stays shown, with the new sizes in its list and chart.
    EXPECT_EQ(window->lbPath->text().toStdString(), root + "/sub2");
    EXPECT_EQ(listNames(window->VTList), (std::vector<std::string>{"c.jpg", "real.bin"}));
    EXPECT_EQ(window->VTList->Nodes().Field(window->VTList->Nodes().First(), FileSize), "0");
    EXPECT_EQ(window->ChartFile->Points()[1].value, double(blocks));

    open(root);
    EXPECT_EQ(child(topNode(), "e.log"), kNoNode);
    EXPECT_EQ(panel->text().toStdString(), root + dot + "Disk usage" + dot + "1 entry left out by 1 pattern");

    // Ctrl+, shows the dialog too; cancelled, it changes nothing.
    ui.scanOptionsDialog = nullptr;
    window->activateWindow();
    QTest::keyClick(window.get(), Qt::Key_Comma, Qt::ControlModifier);
    EXPECT_EQ(ui.scanOptionsDialogs, 2);
    EXPECT_EQ(panel->text().toStdString(), root + dot + "Disk usage" + dot + "1 entry left out by 1 pattern");
}

TEST_F(MainWindowTest, WhatWasNotReadOrNotScannedIsMarkedInTheTreeAndTheStatusBar)
{
    start();
    const std::string denied = root + "/sub1/";
    window->SetScanHook([&](ScanOptions &options) { options.denyFolder = [&](std::string_view p) { return p == denied; }; });
    open(root);
    const NodeId sub1 = child(topNode(), "sub1"), sub2 = child(topNode(), "sub2");
    auto image = [&](NodeId node) {
        return window->VT->IndexOf(node, 0).data(Qt::DecorationRole).value<QIcon>().pixmap(16, 16).toImage();
    };
    EXPECT_EQ(window->VT->IndexOf(sub1, 0).data(Qt::ToolTipRole).toString(), QStringLiteral("sub1\nPermission denied"));
    EXPECT_EQ(window->VT->IndexOf(sub2, 0).data(Qt::ToolTipRole).toString(), QStringLiteral("sub2"));
    const QImage notRead = image(sub1), plain = image(sub2);
    EXPECT_NE(notRead, plain); // a folder not read carries a badge
    const QLabel *panel = window->findChild<QLabel *>(QStringLiteral("SBPanel0"));
    EXPECT_TRUE(panel->text().endsWith(QStringLiteral("1 folder not read"))) << panel->text().toStdString();

    // A kernel file system chosen as the folder: a top node with no children, marked otherwise.
    window->SetScanHook(nullptr);
    if (!std::filesystem::exists("/proc/self"))
        return;
    open("/proc");
    const NodeId top = topNode();
    EXPECT_EQ(window->VT->Nodes().ChildCount(top), 0u);
    EXPECT_TRUE(window->VT->IndexOf(top, 0).data(Qt::ToolTipRole).toString().endsWith(
        QStringLiteral("\nNot scanned: kernel file system (proc)")));
    const QImage proc = image(top);
    EXPECT_NE(proc, plain);
    EXPECT_NE(proc, notRead);
    EXPECT_EQ(panel->text().toStdString(), "/proc \xC2\xB7 Apparent size \xC2\xB7 1 folder not scanned");
}

TEST_F(MainWindowTest, CancellingTheChooserKeepsTheCatalogueAndShowsTheTopAgain)
{
    start();
    ui.folderAnswers.push_back("");
    window->btnOpen->click();
    EXPECT_EQ(window->lbPath->text(), QStringLiteral("Current Path"));
    EXPECT_EQ(window->VT->Nodes().NodeCount(), 0u);

    open(root);
    const std::uint32_t count = window->VT->Nodes().NodeCount();
    window->VT->SelectNode(child(topNode(), "sub1"));
    EXPECT_EQ(window->lbPath->text().toStdString(), root + "/sub1");
    ui.folderAnswers.push_back(""); // cancel
    window->btnOpen->click();
    EXPECT_EQ(window->VT->Nodes().NodeCount(), count);
    EXPECT_EQ(window->lbPath->text().toStdString(), root);
    EXPECT_EQ(window->Ctrl()->RootPath, root);
}

TEST_F(MainWindowTest, DroppedFoldersTheLastOneWinsFilesAndMissingPathsAreSkipped)
{
    start();
    // A folder whose name is not UTF-8 and holds a blank, given as a percent-escaped file URL.
    const std::string odd = data.Folder("caf\xe9 bar");
    data.File("caf\xe9 bar/x.txt", 3);
    const std::string file = root + "/d.txt";
    const QByteArray uris = "file://" + QByteArray::fromStdString(root).toPercentEncoding("/") + "\r\n" +
                            "# a comment\r\n" + "file://localhost" + QByteArray::fromStdString(file).toPercentEncoding("/") +
                            "\r\n" + "file:///no/such/folder\r\n" + "file://" +
                            QByteArray::fromStdString(odd).toPercentEncoding("/") + "\r\n";
    EXPECT_EQ(LocalPathsOfUriList(uris), (std::vector<std::string>{root, file, "/no/such/folder", odd}));
    // This machine named by its own name is local too; another machine is not.
    const QByteArray here = QSysInfo::machineHostName().toUtf8();
    EXPECT_EQ(LocalPathsOfUriList("file://" + here + QByteArray::fromStdString(root).toPercentEncoding("/") +
                                  "\r\nfile://elsewhere.example/tmp\r\n"),
              std::vector<std::string>{root});
    EXPECT_TRUE(window->DropUriList(uris));
    Settle();
    EXPECT_EQ(window->Ctrl()->RootPath, odd);
    EXPECT_EQ(window->VT->Nodes().PathBytes(topNode()), odd);
    EXPECT_EQ(listNames(window->VTList), std::vector<std::string>{"x.txt"});
    EXPECT_EQ(labels(window->ChartFile), std::vector<std::string>{"x.txt"});
    EXPECT_EQ(window->lbPath->text(), QString::fromStdString(ValidUtf8(odd)));

    // A name is taken whole, however long its path.
    std::string deep = "Photos 2024";
    for (int i = 0; i < 12; ++i)
        deep += "/a folder with a long name, number " + std::to_string(i);
    const std::string longPath = data.Folder(deep);
    ASSERT_GT(longPath.size(), 400u);
    EXPECT_TRUE(window->DropUriList("file://" + QByteArray::fromStdString(longPath).toPercentEncoding("/") + "\n"));
    EXPECT_EQ(window->Ctrl()->RootPath, longPath);
    EXPECT_EQ(window->lbPath->text().toStdString(), longPath);

    // A real drop event takes the same way, once the drag source has its answer.
    auto *mime = new QMimeData;
    mime->setData(QStringLiteral("text/uri-list"), "file://" + QByteArray::fromStdString(other) + "\r\n");
    QDragEnterEvent enter(QPoint(200, 200), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(200, 200), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &drop);
    EXPECT_TRUE(drop.isAccepted());
    ASSERT_TRUE(WaitUntil([&] { return window->Ctrl()->RootPath == other; }));
    EXPECT_EQ(listNames(window->VTList), std::vector<std::string>{"only.bin"});
    delete mime;

    // Only files: nothing changes.
    const std::string odd2 = odd;
    EXPECT_TRUE(window->DropUriList(uris)); // back to the odd folder
    EXPECT_EQ(window->Ctrl()->RootPath, odd2);
    EXPECT_TRUE(window->DropUriList("file://" + QByteArray::fromStdString(file).toPercentEncoding("/") + "\r\n"));
    EXPECT_EQ(window->Ctrl()->RootPath, odd);
    EXPECT_EQ(window->VT->Nodes().PathBytes(topNode()), odd);
}

TEST_F(MainWindowTest, SelectDoubleClickAndUp)
{
    start();
    open(root);
    const NodeId top = topNode();
    // A click on a subfolder in the tree shows it.
    QTest::mouseClick(window->VT->viewport(), Qt::LeftButton, {}, rowPoint(window->VT, child(top, "sub1")));
    EXPECT_EQ(window->lbPath->text().toStdString(), root + "/sub1");
    EXPECT_TRUE(window->btnUp->isEnabled());
    EXPECT_EQ(listNames(window->VTList), (std::vector<std::string>{"a.txt", "b.TXT"}));
    window->btnUp->click();
    EXPECT_EQ(window->lbPath->text().toStdString(), root);
    EXPECT_FALSE(window->btnUp->isEnabled());

    // A double click in the list goes into that entry.
    window->pcTotal->setCurrentIndex(1);
    Settle();
    const NodeId row = window->VTList->Nodes().Child(TNodeTree::Root(), 1); // sub2
    QTest::mouseClick(window->VTList->viewport(), Qt::LeftButton, {}, rowPoint(window->VTList, row));
    QTest::mouseDClick(window->VTList->viewport(), Qt::LeftButton, {}, rowPoint(window->VTList, row));
    Settle();
    EXPECT_EQ(window->lbPath->text().toStdString(), root + "/sub2");
    EXPECT_EQ(listNames(window->VTList), std::vector<std::string>{"c.jpg"});
    EXPECT_EQ(window->VT->SelectedNode(), child(top, "sub2"));
    window->btnUp->click();
    EXPECT_EQ(window->lbPath->text().toStdString(), root);
}

TEST_F(MainWindowTest, TwoHeaderClicksSortUpAndDown)
{
    start();
    open(root);
    QHeaderView *header = window->VT->header();
    auto order = [&] {
        std::vector<std::string> names;
        const TNodeTree &tree = window->VT->Nodes();
        for (NodeId n = tree.FirstChild(topNode()); n != kNoNode; n = tree.NextSibling(n))
            names.push_back(tree.Field(n, FileName));
        return names;
    };
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, headerPoint(window->VT, 2)); // "File Size"
    EXPECT_EQ(header->sortIndicatorSection(), 2);
    EXPECT_EQ(window->VT->GetSortDirection(), SortDirection::Ascending);
    EXPECT_EQ(order(), (std::vector<std::string>{"sub1", "sub2", "d.txt", "e.log"}));
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, headerPoint(window->VT, 2));
    EXPECT_EQ(window->VT->GetSortDirection(), SortDirection::Descending);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
    EXPECT_EQ(order(), (std::vector<std::string>{"sub2", "sub1", "e.log", "d.txt"}));
}

TEST_F(MainWindowTest, ClassPointsDrillDownAndReturn)
{
    start();
    open(root);
    // Size classes: 10, 100 and 2000 bytes are below 10KB (point 0).
    window->SizeChart->ClickPoint(0);
    ASSERT_TRUE(WaitUntil([&] { return window->pcSize->currentIndex() == 1; }));
    EXPECT_EQ(listNames(window->VTSize), (std::vector<std::string>{"a.txt", "b.TXT", "d.txt"}));
    window->Button(QStringLiteral("ToolButton91"))->click();
    EXPECT_EQ(window->pcSize->currentIndex(), 0);

    // Type: the point of "txt" lists the files it counted, whatever the letter case.
    const std::vector<std::string> types = labels(window->TypeChart);
    const auto txt = std::find_if(types.begin(), types.end(), [](const std::string &l) { return l == "txt" || l == "TXT"; });
    ASSERT_NE(txt, types.end());
    window->TypeChart->ClickPoint(int(txt - types.begin()));
    ASSERT_TRUE(WaitUntil([&] { return window->pcType->currentIndex() == 1; }));
    EXPECT_EQ(listNames(window->VTType), (std::vector<std::string>{"a.txt", "b.TXT", "d.txt"}));
    window->Button(QStringLiteral("ToolButton121"))->click();
    EXPECT_EQ(window->pcType->currentIndex(), 0);

    // Age: every file was written just now, so the first class holds all five.
    window->AgeChart->ClickPoint(0);
    ASSERT_TRUE(WaitUntil([&] { return window->pcAge->currentIndex() == 1; }));
    EXPECT_EQ(listNames(window->VTAge).size(), 5u);
    window->Button(QStringLiteral("ToolButton56"))->click();
    EXPECT_EQ(window->pcAge->currentIndex(), 0);

    // A slice of the current-folder chart goes into that entry.
    window->ChartFile->ClickPoint(1);
    ASSERT_TRUE(WaitUntil([&] { return window->lbPath->text().toStdString() == root + "/sub2"; }));
}

TEST_F(MainWindowTest, EveryBarOfTheFolderChartHasItsMarkAndLeadsToItsEntry)
{
    start();
    for (int n : {70, 500}) {
        // n files named in list order; with 500, blocks of ten small ones among them merge, and
        // so do the smallest of the others next to them, as far as it takes to draw 400 items.
        const std::string folder = data.Folder("bars" + std::to_string(n));
        auto small = [&](int i) { return n > 400 && (i / 10) % 5 == 0; };
        for (int i = 0; i < n; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "f%03d.bin", i);
            data.File("bars" + std::to_string(n) + "/" + name, small(i) ? 200 + i : 10000 + 7 * i);
        }
        open(folder);
        window->pcTotal->setCurrentIndex(2);
        window->Button(QStringLiteral("tbBarFile"))->click();
        Settle();
        QtChart *chart = window->ChartFile;
        const NodeId top = topNode();
        const int items = chart->DrawnItems();
        ASSERT_EQ(items, n > 400 ? 400 : n);
        for (int k = 0; k < items; ++k) {
            const ChartItem item = chart->Items()[std::size_t(k)];
            const QRectF bar = chart->BarRect(k);
            chart->ensureVisible(bar, 0, 0);
            chart->viewport()->repaint();
            const auto &marks = chart->Marks();
            const auto mark = std::find_if(marks.begin(), marks.end(), [&](const auto &m) { return m.item == k; });
            ASSERT_NE(mark, marks.end()) << n << ": bar " << k << " has no mark";
            EXPECT_LE(mark->area.boundingRect().bottom(), bar.top() + 1) << n << ": bar " << k;
            EXPECT_TRUE(mark->text.endsWith(QLatin1Char('%'))) << mark->text.toStdString();

            QTest::mouseClick(chart->viewport(), Qt::LeftButton, {}, chart->mapFromScene(bar.center()));
            const std::string first = chart->Points()[std::size_t(item.first)].label;
            if (!item.merged) {
                ASSERT_TRUE(WaitUntil([&] { return window->lbPath->text().toStdString() == folder + "/" + first; }))
                    << n << ": bar " << k;
                window->Ctrl()->ShowFolder(top);
            } else {
                // The current-folder list, with the first merged entry selected.
                ASSERT_TRUE(WaitUntil([&] { return window->pcTotal->currentIndex() == 1; })) << n << ": bar " << k;
                const NodeId selected = window->VTList->SelectedNode();
                ASSERT_TRUE(window->VTList->Nodes().IsValid(selected));
                EXPECT_EQ(window->VTList->Nodes().Field(selected, FileName), first);
                EXPECT_GE(item.count, 10);
                EXPECT_EQ(window->lbPath->text().toStdString(), folder); // the folder shown stays
                window->pcTotal->setCurrentIndex(2);
            }
            Settle();
        }
    }
}

// The charts on the other tabs are not drawn while the tree is moved through; each shows the
// folder shown then, title and slices, once its tab (or its page of a class tab) is shown.
TEST_F(MainWindowTest, AChartOnAHiddenTabShowsTheFolderShownOnceItsTabIsShown)
{
    start();
    open(root);
    auto slices = [](QtChart *chart) {
        std::vector<std::string> drawn;
        for (QAbstractSeries *series : chart->chart()->series())
            if (auto *pie = qobject_cast<QPieSeries *>(series))
                for (QPieSlice *slice : pie->slices())
                    drawn.push_back(std::to_string(std::int64_t(slice->value())));
        return drawn;
    };
    struct Case {
        int tab;
        QtChart *chart;
        QString title;
        std::vector<std::string> slices; // the values of sub1's slices, in order
    };
    const Case cases[] = {
        {2, window->ChartFile, QString::fromStdString(root + "/sub1"), {"100", "2000"}}, // a.txt, b.TXT
        {3, window->AgeChart, QStringLiteral("File Age Chart"), {"2"}}, // both written just now
        {4, window->SizeChart, QStringLiteral("File Size Chart"), {"2"}}, // both below 10KB
        {5, window->TypeChart, QStringLiteral("File Type Chart"), {"2"}}, // "txt" in any case
    };
    for (const Case &c : cases) {
        window->pcTotal->setCurrentIndex(0);
        window->VT->SelectNode(topNode());
        QTest::mouseClick(window->VT->viewport(), Qt::LeftButton, {}, rowPoint(window->VT, child(topNode(), "sub1")));
        ASSERT_EQ(window->lbPath->text().toStdString(), root + "/sub1");
        EXPECT_TRUE(c.chart->Pending()) << c.chart->Name();
        EXPECT_TRUE(c.chart->chart()->series().isEmpty()) << c.chart->Name();
        window->pcTotal->setCurrentIndex(c.tab);
        Settle();
        EXPECT_FALSE(c.chart->Pending()) << c.chart->Name();
        EXPECT_EQ(c.chart->chart()->title(), c.title);
        EXPECT_EQ(slices(c.chart), c.slices) << c.chart->Name();
    }
    // A class tab showing its drill-down list keeps its chart out of sight until it returns to it.
    window->pcTotal->setCurrentIndex(4);
    window->SizeChart->ClickPoint(0);
    ASSERT_TRUE(WaitUntil([&] { return window->pcSize->currentIndex() == 1; }));
    window->pcTotal->setCurrentIndex(0);
    window->VT->SelectNode(topNode());
    window->pcTotal->setCurrentIndex(4);
    Settle();
    EXPECT_TRUE(window->SizeChart->Pending());
    window->Button(QStringLiteral("ToolButton91"))->click();
    Settle();
    EXPECT_FALSE(window->SizeChart->Pending());
    EXPECT_EQ(slices(window->SizeChart), (std::vector<std::string>{"3", "1", "1"})); // 10, 100, 2000; 50000; 300000
}

TEST_F(MainWindowTest, ANewScanShowsTheTopOfTheTree)
{
    start();
    const std::string many = data.Folder("many");
    for (int i = 0; i < 300; ++i)
        data.File("many/f" + std::to_string(1000 + i) + ".txt", 10);
    open(many);
    window->VT->scrollToBottom();
    Settle();
    ASSERT_GT(window->VT->verticalScrollBar()->value(), 0);
    for (const std::string &folder : {many, root}) { // the same folder again, and another
        open(folder);
        const QRect first = window->VT->visualRect(window->VT->IndexOf(topNode()));
        EXPECT_TRUE(window->VT->viewport()->rect().contains(first)) << folder;
        EXPECT_EQ(window->VT->verticalScrollBar()->value(), 0) << folder;
        window->VT->scrollToBottom();
        Settle();
    }
}

TEST_F(MainWindowTest, PieBarAndTimeKindButtons)
{
    start();
    open(root);
    window->Button(QStringLiteral("tbBarFile"))->click();
    EXPECT_EQ(window->ChartFile->Kind(), SeriesKind::Bar);
    EXPECT_TRUE(window->IsDown(ButtonId::tbBarFile));
    EXPECT_FALSE(window->IsDown(ButtonId::tbPieFile));
    window->Button(QStringLiteral("tbBarFile"))->click(); // stays down when pressed again
    EXPECT_TRUE(window->IsDown(ButtonId::tbBarFile));
    window->Button(QStringLiteral("tbPieFile"))->click();
    EXPECT_EQ(window->ChartFile->Kind(), SeriesKind::Pie);
    EXPECT_FALSE(window->IsDown(ButtonId::tbBarFile));

    window->Button(QStringLiteral("tbBar"))->click();
    EXPECT_EQ(window->AgeChart->Kind(), SeriesKind::Bar);
    window->Button(QStringLiteral("sbWrite"))->click();
    EXPECT_TRUE(window->IsDown(ButtonId::sbWrite));
    EXPECT_FALSE(window->IsDown(ButtonId::sbCreate));
    EXPECT_EQ(window->AgeChart->Kind(), SeriesKind::Bar); // the same form, the other counts
    window->Button(QStringLiteral("tbBarType"))->click();
    window->Button(QStringLiteral("sbTop"))->click();
    EXPECT_TRUE(window->IsDown(ButtonId::sbTop));
    EXPECT_FALSE(window->IsDown(ButtonId::sbAll));
    EXPECT_EQ(window->TypeChart->Kind(), SeriesKind::Bar);
    window->Button(QStringLiteral("tbPieSize"))->click();
    EXPECT_EQ(window->SizeChart->Kind(), SeriesKind::Pie);

    // The type chart by size: the bytes of each extension, largest first; by files again.
    auto types = [&] {
        std::vector<std::string> list;
        for (const ChartPoint &p : window->TypeChart->Points())
            list.push_back(p.label + "=" + std::to_string(std::int64_t(p.value)));
        return list;
    };
    window->Button(QStringLiteral("sbAll"))->click();
    window->Button(QStringLiteral("sbSize"))->click();
    EXPECT_TRUE(window->IsDown(ButtonId::sbSize));
    EXPECT_FALSE(window->IsDown(ButtonId::sbFiles));
    EXPECT_EQ(window->TypeChart->Kind(), SeriesKind::Bar);
    const std::vector<std::string> bySize = {"log=300000", "jpg=50000", "txt=2110"};
    EXPECT_EQ(types(), bySize);
    window->Button(QStringLiteral("sbFiles"))->click();
    EXPECT_EQ(types(), (std::vector<std::string>{"txt=3", "jpg=1", "log=1"}));
    window->Button(QStringLiteral("sbSize"))->click();

    // A new scan keeps the choices.
    open(root);
    EXPECT_EQ(window->AgeChart->Kind(), SeriesKind::Bar);
    EXPECT_EQ(window->TypeChart->Kind(), SeriesKind::Bar);
    EXPECT_TRUE(window->IsDown(ButtonId::sbWrite));
    EXPECT_TRUE(window->IsDown(ButtonId::sbSize));
    EXPECT_EQ(types(), bySize);
}

TEST_F(MainWindowTest, ExportFromTheListPageThroughTheSaveDialog)
{
    start();
    open(root);
    const std::string out = data / "list.csv";
    ui.saveAnswers.push_back(out);
    window->Button(QStringLiteral("ToolButton19"))->click(); // CSV of the list
    Settle();
    EXPECT_FALSE(window->Busy());
    const std::string csv = test::ReadFile(out);
    EXPECT_NE(csv.find("e.log"), std::string::npos) << csv;
    EXPECT_NE(csv.find("sub2"), std::string::npos);
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_EQ(ui.messages.back().text, "Export Finished");
    EXPECT_EQ(ui.messages.back().caption, "Done");
    EXPECT_FALSE(ui.waitVisible);

    // A failed export says which file and why, and leaves no progress window.
    const std::size_t said = ui.messages.size();
    const std::string nowhere = data / "no/such/folder/list.html";
    ui.saveAnswers.push_back(nowhere);
    window->Button(QStringLiteral("ToolButton16"))->click(); // HTML of the list
    EXPECT_FALSE(window->Busy());
    ASSERT_EQ(ui.messages.size(), said + 1);
    EXPECT_NE(ui.messages.back().text.find(nowhere), std::string::npos) << ui.messages.back().text;
    EXPECT_NE(ui.messages.back().text.find("No such file or directory"), std::string::npos) << ui.messages.back().text;
    EXPECT_EQ(ui.messages.back().caption, "Warning");
    EXPECT_FALSE(ui.waitVisible);

    // A chart is saved as it stands on screen.
    window->pcTotal->setCurrentIndex(2);
    Settle();
    const std::string bmp = data / "chart.bmp";
    ui.saveAnswers.push_back(bmp);
    window->Button(QStringLiteral("ToolButton36"))->click();
    const QImage image(QString::fromStdString(bmp), "BMP");
    EXPECT_EQ(image.size(), window->ChartFile->size());
    EXPECT_EQ(ui.saveRequests.back().filter, "BMP File|*.bmp");
    EXPECT_EQ(ui.messages.back().text, "Export Finished");

    // The file manager opens on the folder shown.
    window->Button(QStringLiteral("ToolButton5"))->click();
    ASSERT_FALSE(ui.opened.empty());
    EXPECT_EQ(ui.opened.back().rfind("file://", 0), 0u);
    EXPECT_NE(ui.opened.back().find("Photos%202024"), std::string::npos) << ui.opened.back();
}

TEST_F(MainWindowTest, ColumnDialogChangesTheTreeOnOk)
{
    start();
    open(root);
    ASSERT_TRUE(window->VT->ColumnVisible(1));
    dialogs.columnDialog = [](TFMConfig &dialog) {
        dialog.clbList()->item(1)->setCheckState(Qt::Unchecked); // "Full Path"
        dialog.BitBtn1()->click();
    };
    window->Button(QStringLiteral("ToolButton23"))->click();
    EXPECT_FALSE(window->VT->ColumnVisible(1));
    EXPECT_TRUE(window->VTList->ColumnVisible(1)); // the other grids follow at the next start
    // A right click on any header opens it too.
    dialogs.columnDialog = [](TFMConfig &dialog) {
        dialog.clbList()->item(1)->setCheckState(Qt::Checked);
        dialog.BitBtn1()->click();
    };
    QTest::mouseClick(window->VTAge->header()->viewport(), Qt::RightButton, {}, headerPoint(window->VTAge, 0));
    EXPECT_EQ(ui.columnDialogs, 2);
    EXPECT_TRUE(window->VT->ColumnVisible(1));
}

TEST_F(MainWindowTest, CancellingAScanMidwayKeepsTheCatalogueShownBefore)
{
    start();
    open(root);
    const std::uint32_t before = window->VT->Nodes().NodeCount();
    // A tree of 300 folders, its walk held once 20 folders are read.
    for (int i = 0; i < 300; ++i)
        data.File("big/d" + std::to_string(i) + "/f.txt", 1);
    test::Gate gate;
    std::atomic<int> folders{0};
    window->SetScanHook([&](ScanOptions &options) {
        options.threads = 2;
        options.beforeFolder = [&](std::string_view) {
            if (++folders > 20)
                gate.Arrive();
        };
    });
    const std::size_t threads = threadCount();
    bool held = false, closed = true, dropped = true, sawCounts = false, stillUp = false;
    QTimer::singleShot(0, [&] {
        held = WaitUntil([&] { return gate.Arrived(); });
        EXPECT_TRUE(window->Busy());
        EXPECT_TRUE(wait->isVisible());
        EXPECT_TRUE(wait->SpeedButton1()->isVisible());
        EXPECT_EQ(wait->WaitText(), QStringLiteral("Loading info.."));
        sawCounts = WaitUntil([&] { return wait->CountsLabel()->isVisible() && !wait->CountsLabel()->text().isEmpty(); });
        closed = window->close(); // refused while the scan runs
        QApplication::closeAllWindows(); // as the end of a session asks
        stillUp = window->isVisible() && wait->isVisible();
        dropped = window->DropUriList("file://" + QByteArray::fromStdString(other) + "\r\n");
        QTest::mouseClick(wait->SpeedButton1(), Qt::LeftButton);
        gate.Open();
    });
    open(data / "big");
    EXPECT_TRUE(held);
    EXPECT_LT(folders.load(), 300); // stopped midway
    EXPECT_LE(threadCount(), threads); // no walking thread left (a thread of Qt may have ended meanwhile)
    EXPECT_FALSE(closed);
    EXPECT_TRUE(stillUp);
    EXPECT_FALSE(dropped);
    EXPECT_TRUE(sawCounts);
    EXPECT_FALSE(wait->isVisible());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->VT->Nodes().NodeCount(), before);
    EXPECT_EQ(window->Ctrl()->RootPath, root);
    EXPECT_EQ(window->lbPath->text().toStdString(), root);
    EXPECT_EQ(listNames(window->VTList), (std::vector<std::string>{"sub1", "sub2", "d.txt", "e.log"}));
}

TEST_F(MainWindowTest, TypingInTheTreeWhileWorkRunsChangesNothing)
{
    start();
    open(root);
    const NodeId top = topNode();
    window->VT->SetFocusedNode(top);
    for (int i = 0; i < 10; ++i)
        data.File("slow/d" + std::to_string(i) + "/f.txt", 1);
    // Typed text reaches a view as key presses, or, from an input method, as committed text;
    // either would search the tree and show the entry it finds.
    for (const bool fromInputMethod : {false, true}) {
        SCOPED_TRACE(fromInputMethod ? "input method" : "key press");
        test::Gate gate;
        window->SetScanHook([&](ScanOptions &options) {
            options.beforeFolder = [&](std::string_view) { gate.Arrive(); };
        });
        bool wasBusy = false;
        QTimer::singleShot(0, [&] {
            WaitUntil([&] { return gate.Arrived(); });
            wasBusy = window->Busy();
            if (fromInputMethod) {
                QInputMethodEvent commit;
                commit.setCommitString(QStringLiteral("s"));
                QApplication::sendEvent(window->VT, &commit);
            } else {
                QTest::keyClick(window->VT, Qt::Key_S);
            }
            Settle();
            EXPECT_EQ(window->lbPath->text().toStdString(), root);
            EXPECT_EQ(window->VT->FocusedNode(), top);
            QTest::mouseClick(wait->SpeedButton1(), Qt::LeftButton); // keep the catalogue
            gate.Open();
        });
        open(data / "slow");
        EXPECT_TRUE(wasBusy);
        EXPECT_EQ(window->Ctrl()->RootPath, root);
        EXPECT_EQ(window->lbPath->text().toStdString(), root);
        window->SetScanHook(nullptr);
    }
}

// SIGTERM or SIGINT while a scan or a refresh's walk runs: the walk is cancelled, the catalogue
// shown before stays as it was, and then the window closes as on any close, saving its layout.
TEST_F(MainWindowTest, AnEndRequestDuringAScanOrARefreshCancelsItAndThenClosesTheWindow)
{
    for (int i = 0; i < 30; ++i) {
        data.File("big/d" + std::to_string(i) + "/f.txt", 1);
        data.File("Photos 2024/sub1/new" + std::to_string(i) + "/f.txt", 1);
    }
    struct Case {
        int signal;
        bool refresh; // else a scan of another folder
    };
    for (const Case c : {Case{SIGTERM, false}, Case{SIGINT, false}, Case{SIGTERM, true}, Case{SIGINT, true}}) {
        SCOPED_TRACE(std::string(c.signal == SIGTERM ? "SIGTERM" : "SIGINT") + (c.refresh ? " refresh" : " scan"));
        start();
        TEndRequests ends;
        QObject::connect(&ends, &TEndRequests::Requested, window.get(), &TFMMain::RequestEnd);
        open(root);
        const std::uint32_t before = window->VT->Nodes().NodeCount();
        const int width = 100 + c.signal; // a layout the close must save
        window->VT->header()->resizeSection(3, width);
        test::Gate gate;
        window->SetScanHook([&](ScanOptions &options) {
            options.beforeFolder = [&](std::string_view) { gate.Arrive(); };
        });
        bool requested = false, upMeanwhile = false;
        QTimer::singleShot(0, [&] {
            if (WaitUntil([&] { return gate.Arrived(); })) {
                ::raise(c.signal);
                requested = WaitUntil([&] { return window->EndRequested(); });
            }
            upMeanwhile = window->isVisible(); // it closes once the walk has ended
            gate.Open();
        });
        if (c.refresh)
            window->Actions()->Run(EntryAction::Refresh, *window->VT, std::vector<NodeId>{child(topNode(), "sub1")});
        else
            open(data / "big");
        EXPECT_TRUE(requested);
        EXPECT_TRUE(upMeanwhile);
        ASSERT_TRUE(WaitUntil([&] { return !window->isVisible(); }));
        EXPECT_EQ(window->VT->Nodes().NodeCount(), before);
        EXPECT_EQ(window->lbPath->text().toStdString(), root);
        EXPECT_EQ(savedWidth(3), width);
        window.reset();
    }
}

// SIGTERM or SIGINT while an export runs: the dialog it waits on (the save dialog, the overwrite
// question, the closing message) is answered "cancel", the export ends as that answer has it, and
// then the window closes, saving its layout. Nothing is left beside the target.
TEST_F(MainWindowTest, AnEndRequestDuringAnExportLetsItEndAndThenClosesTheWindow)
{
    struct Case {
        const char *during; // the dialog on screen when the request comes
        int signal;
        bool targetExists;
        const char *left; // what the target holds afterwards; nullptr: no file
    };
    const Case cases[] = {
        {"save", SIGTERM, false, nullptr},
        {"overwrite", SIGINT, true, "old content"},
        {"finished", SIGTERM, false, "File Name,Full Path,"},
        {"finished", SIGINT, true, "File Name,Full Path,"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.during) + (c.signal == SIGTERM ? " SIGTERM" : " SIGINT"));
        start();
        TEndRequests ends;
        QObject::connect(&ends, &TEndRequests::Requested, window.get(), &TFMMain::RequestEnd);
        open(root);
        const int width = 90 + c.signal;
        window->VT->header()->resizeSection(3, width);
        test::TempDir out;
        const std::string target = out / "list.csv";
        if (c.targetExists)
            test::WriteFile(target, "old content");

        // The real dialogs from here on, asked by the worker and shown on the UI thread.
        QtUiServices services(window.get(), wait);
        SetUi(&services);
        auto endNowOr = [&](const char *dialog, const std::function<void()> &answer) {
            if (std::string(c.during) == dialog)
                ::raise(c.signal);
            else
                answer();
        };
        test::OnDialogShown<QFileDialog> save([&](QFileDialog &dialog) {
            endNowOr("save", [&] {
                dialog.selectFile(QString::fromStdString(target));
                static_cast<QDialog &>(dialog).accept(); // QFileDialog::accept, as its Save button does
            });
        });
        test::OnDialogShown<QMessageBox> message([&](QMessageBox &box) {
            const bool overwrite = box.text().contains(QStringLiteral("overwrite"));
            endNowOr(overwrite ? "overwrite" : "finished", [&] {
                box.button(overwrite ? QMessageBox::Yes : QMessageBox::Ok)->click();
            });
        });
        window->Button(QStringLiteral("ToolButton19"))->click(); // CSV of the list
        EXPECT_TRUE(window->EndRequested());
        ASSERT_TRUE(WaitUntil([&] { return !window->isVisible(); }));
        SetUi(&dialogs);
        if (c.left)
            EXPECT_EQ(test::ReadFile(target).rfind(c.left, 0), 0u) << test::ReadFile(target);
        else
            EXPECT_FALSE(std::filesystem::exists(target));
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out.Path()), {}), c.left ? 1 : 0);
        EXPECT_EQ(savedWidth(3), width);
        window.reset();
    }
}

TEST_F(MainWindowTest, TheLayoutOfTheTreeComesBackAtTheNextStart)
{
    start();
    QtTreeGrid *vt = window->VT;
    vt->header()->moveSection(vt->header()->visualIndex(2), 0); // "File Size" first
    vt->header()->resizeSection(3, 141);
    vt->header()->resizeSection(5, 77);
    vt->SetColumnVisible(5, false); // hidden, keeping its width
    vt->SetColumnVisible(6, true);
    std::vector<int> positions;
    for (int i = 0; i < vt->ColumnCount(); ++i)
        positions.push_back(vt->ColumnPosition(i));
    EXPECT_TRUE(window->close());
    window.reset();

    ResetConfig(TConfigPlaces{program.Path(), user.Path(), TConfigPlaces::CanCreateFileIn}); // a new run
    start();
    for (QtTreeGrid *grid : {window->VT, window->VTList, window->VTType}) {
        for (int i = 0; i < grid->ColumnCount(); ++i)
            EXPECT_EQ(grid->ColumnPosition(i), positions[std::size_t(i)]) << grid->Name() << " column " << i;
        EXPECT_EQ(grid->ColumnWidth(3), 141);
        EXPECT_EQ(grid->ColumnWidth(5), 77);
        EXPECT_FALSE(grid->ColumnVisible(5));
        EXPECT_TRUE(grid->ColumnVisible(6));
    }
}

TEST_F(MainWindowTest, AConfigurationThatCannotBeLoadedIsReportedOnceAndLeftAlone)
{
    ResetConfig();
    const std::string file = program / "FolvaneConfig.xml";
    std::ofstream(file) << "<config versionNo=\"1\">\n<nodes>\n<node Name=\"File Name\" Width=\"wide\"/>\n</nodes>\n";
    const std::string before = test::ReadFile(file);
    ResetConfig(TConfigPlaces{program.Path(), user.Path(), TConfigPlaces::CanCreateFileIn});
    start();
    ASSERT_TRUE(WaitUntil([&] { return !ui.messages.empty(); }));
    Settle();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find(file), std::string::npos) << ui.messages[0].text;
    EXPECT_NE(ui.messages[0].text.find("line"), std::string::npos) << ui.messages[0].text;
    EXPECT_EQ(ui.messages[0].caption, "Warning");
    // The window is complete on the built-in settings, and closing does not save over the file.
    EXPECT_EQ(window->VT->ColumnCount(), 15);
    open(root);
    EXPECT_EQ(listNames(window->VTList).size(), 4u);
    EXPECT_TRUE(window->close());
    EXPECT_EQ(test::ReadFile(file), before);
}
