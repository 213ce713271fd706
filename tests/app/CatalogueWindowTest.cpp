// Catalogue files in the window: Open Catalogue, dropped catalogues, the start argument, the
// ncdu JSON export, Compare with Catalogue and its Changes tab; what a bad file does.

#include <gtest/gtest.h>

#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <set>
#include <thread>

#include "GuiTestSupport.h"
#include "app/CurrentPathLabel.h"
#include "app/uMain.h"
#include "app/uWaitForm.h"
#include "catalog/CatalogFile.h"
#include "catalog/CatalogNotes.h"
#include "catalog/ScanFixtures.h"
#include "config/ConfigStore.h"
#include "export/NcduJsonWriter.h"
#include "support/Files.h"
#include "support/Gate.h"
#include "support/ScriptedUi.h"
#include "support/TempDir.h"
#include "views/QtChanges.h"
#include "views/QtChart.h"
#include "views/QtTreeGrid.h"
#include "views/TreemapLink.h"
#include "views/uCtrl.h"

using namespace folvane;
using folvane::test::GuiApp;
using folvane::test::Settle;

namespace {

class CatalogueWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        GuiApp();
        SetForms(TextForms::EnUs());
        ResetConfig(TConfigPlaces{program.Path(), user.Path(), TConfigPlaces::CanCreateFileIn});
        root = data.Folder("Photos");
        data.File("Photos/sub/a.txt", 100);
        data.File("Photos/sub/b.jpg", 2000);
        data.File("Photos/c.log", 300);
        data.File("Photos/gone.tmp", 40);
        window = std::make_unique<TFMMain>();
        window->SetWaitForm(new TWaitForm(window.get()));
        window->show();
        Settle();
    }
    void TearDown() override
    {
        window.reset();
        ResetConfig();
    }

    void scan(const std::string &folder)
    {
        ui.folderAnswers.push_back(folder);
        window->btnOpen->click();
        Settle();
    }
    QAction *menuItem(const char *name) { return window->findChild<QAction *>(QString::fromLatin1(name)); }
    const TNodeTree &shown() { return window->VT->Nodes(); }
    std::string topName() { return shown().First() == kNoNode ? "" : shown().Field(shown().First(), FileName); }
    QString summary() { return window->findChild<QLabel *>(QStringLiteral("SBPanel0"))->toolTip(); }
    // The catalogue of `folder` as ncdu JSON, written by a scan of it.
    std::string catalogueOf(const std::string &folder, const std::string &name)
    {
        TNodeTree tree;
        ScanFolder(tree, folder);
        const std::string file = data / name;
        WriteNcduJson(tree, file);
        return file;
    }

    test::TempDir program, user, data;
    std::string root;
    test::ScriptedUi ui;
    std::unique_ptr<TFMMain> window;
};

} // namespace

TEST_F(CatalogueWindowTest, TheMenuHoldsTheCatalogueCommandsAfterScanOptions)
{
    const QList<QAction *> menu = window->menuBar()->actions();
    ASSERT_EQ(menu.size(), 5);
    EXPECT_EQ(menu[2]->text(), QStringLiteral("Scan Options\u2026"));
    EXPECT_EQ(menu[3]->text(), QStringLiteral("Open Catalogue\u2026"));
    EXPECT_EQ(menu[3]->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+O")));
    EXPECT_EQ(menu[4]->text(), QStringLiteral("Compare with Catalogue\u2026"));
    EXPECT_EQ(menu[4]->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+D")));
    // Nothing shown yet: nothing to compare with, and a cancelled dialog changes nothing.
    menu[4]->trigger();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find("open a folder or a catalogue first"), std::string::npos);
    menu[3]->trigger();
    EXPECT_EQ(ui.openRequests, std::vector<std::string>{"Open Catalogue"});
    EXPECT_EQ(shown().NodeCount(), 0u);
}

TEST_F(CatalogueWindowTest, AnOpenedCatalogueIsShownAsAScanIs)
{
    const std::string file = catalogueOf(root, "photos.json");
    ui.openAnswers.push_back(file);
    menuItem("mOpenCatalogue")->trigger();
    Settle();
    EXPECT_EQ(topName(), root);
    EXPECT_EQ(window->lbPath->text().toStdString(), root) << "the path label shows the current folder";
    EXPECT_TRUE(OpenedFromFile(shown())) << "what the row actions test";
    EXPECT_EQ(window->Ctrl()->RootPath, root);
    // The lists, statistics and charts work on it.
    EXPECT_EQ(window->VTList->Nodes().NodeCount(), 3u);
    EXPECT_FALSE(window->ChartFile->Points().empty());
    EXPECT_EQ(shown().Field(shown().First(), FileSize), "2440");
    // The summary names the file and when it was made.
    EXPECT_TRUE(summary().startsWith(QString::fromStdString("Catalogue " + file + ", made "))) << summary().toStdString();
    EXPECT_TRUE(summary().contains(QStringLiteral("Apparent size")));
    EXPECT_TRUE(ui.messages.empty());

    // A start argument opens what it names: a catalogue file, or a folder to scan.
    window->OpenAtStart(data.Folder("Other"));
    Settle();
    EXPECT_EQ(topName(), data / "Other");
    EXPECT_FALSE(OpenedFromFile(shown()));
    window->OpenAtStart(file);
    Settle();
    EXPECT_EQ(topName(), root);
}

// Each kind of bad file: a message names the file, the place and what is wrong, and the
// catalogue shown before stays.
TEST_F(CatalogueWindowTest, ABadFileSaysWhyAndTheCatalogueShownStays)
{
    scan(root);
    const QString before = summary();
    const std::string xmlHead = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<fileinfo generated=\"x\">\n";
    const std::string jsonHead = "[1,2,{\"progname\":\"t\"},\n[{\"name\":\"/x\"},\n";
    const struct {
        const char *name;
        std::string text;
        const char *place; // "" when the fault has no line
        const char *reason;
    } cases[] = {
        {"notes.txt", "just some words\n", "", "not a catalogue"},
        {"empty.json", "", "", "the file is empty"},
        {"page.xml", "<html><body/></html>", "line 1, column 1", "its root element is <html>, not <fileinfo>"},
        {"cut.xml", xmlHead + "<file FileName=\"/x\" FileType=\"folder\">\n<file FileName=\"a\" Fil", "line 4",
         "(is the file cut short?)"},
        {"cut.json", jsonHead + "{\"name\":\"a\",\"asi", "line 3", "(is it cut short?)"},
        {"major.json", "[2,0,{},[{\"name\":\"/x\"}]]", "line 1, column 2", "major version 2 of the ncdu JSON format is not supported"},
        {"negative.json", jsonHead + "{\"name\":\"a\",\"asize\":-5}]]", "line 3, column 21", "\"asize\" is negative"},
        {"huge.json", jsonHead + "{\"name\":\"a\",\"dsize\":18446744073709551616}]]", "line 3, column 21", "\"dsize\" is out of range"},
        {"fraction.json", jsonHead + "{\"name\":\"a\",\"asize\":1.5}]]", "line 3, column 21", "\"asize\" must be a whole number"},
        {"negative.xml", xmlHead + "<file FileName=\"/x\" FileType=\"folder\"><file FileName=\"a\" FileType=\"file\" FileSize=\"-5\"/></file></fileinfo>",
         "line 3, column 39", "FileSize \"-5\" is negative"},
        {"count.xml", xmlHead + "<file FileName=\"/x\" FileType=\"folder\" FileCount=\"99999999999\"/></fileinfo>", "line 3, column 1",
         "FileCount \"99999999999\" is out of range"},
        {"slash.json", jsonHead + "{\"name\":\"a/b\"}]]", "line 3, column 1", "the name \"a/b\" holds \"/\""},
        {"dots.json", jsonHead + "[{\"name\":\"..\"}]]]", "line 3, column 2", "the name \"..\" is not allowed below the top folder"},
        {"slash.xml", xmlHead + "<file FileName=\"/x\" FileType=\"folder\"><file FileName=\"a/b\" FileType=\"file\"/></file></fileinfo>",
         "line 3, column 39", "FileName \"a/b\" holds \"/\""},
        {"dot.xml", xmlHead + "<file FileName=\"/x\" FileType=\"folder\"><file FileName=\".\" FileType=\"folder\"/></file></fileinfo>",
         "line 3, column 39", "FileName \".\" is not allowed below the top folder"},
        {"element.xml", xmlHead + "<folder FileName=\"/x\"/></fileinfo>", "line 3, column 1", "an element the catalogue does not know: <folder>"},
        {"attribute.xml", xmlHead + "<file FileName=\"/x\" FileType=\"folder\" Owner=\"me\"/></fileinfo>", "line 3, column 1",
         "an attribute the catalogue does not know: \"Owner\""},
        {"kind.xml", xmlHead + "<file FileName=\"/x\" FileType=\"dir\"/></fileinfo>", "line 3, column 1",
         "FileType \"dir\" is neither \"folder\" nor \"file\""},
        {"text.xml", xmlHead + "<file FileName=\"/x\" FileType=\"folder\">words</file></fileinfo>", "line 3, column 39",
         "text where only elements belong"},
        {"doctype.xml", "<!DOCTYPE fileinfo>\n<fileinfo/>", "line 1, column 1", "a document type declaration"},
        {"flag.json", jsonHead + "{\"name\":\"a\",\"hlnkc\":1}]]", "line 3, column 21", "\"hlnkc\" must be true or false"},
        {"after.json", "[1,0,{},[{\"name\":\"/x\"}]] [", "line 1, column 26", "more content after the end"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = data / c.name;
        test::WriteFile(file, c.text);
        ui.messages.clear();
        ui.openAnswers.push_back(file);
        menuItem("mOpenCatalogue")->trigger();
        Settle();
        ASSERT_EQ(ui.messages.size(), 1u);
        const std::string &text = ui.messages[0].text;
        EXPECT_NE(text.find("\"" + file + "\""), std::string::npos) << text;
        EXPECT_NE(text.find(c.place), std::string::npos) << text;
        EXPECT_NE(text.find(c.reason), std::string::npos) << text;
        EXPECT_EQ(ui.messages[0].icon, MsgIcon::Exclamation);
        EXPECT_EQ(topName(), root);
        EXPECT_EQ(summary(), before);
        EXPECT_FALSE(window->WaitForm()->isVisible());
    }

    // A key the format does not know is ignored, as the format says.
    const std::string unknown = data / "unknown.json";
    test::WriteFile(unknown, jsonHead + "{\"name\":\"a\",\"colour\":{\"r\":[1,2]},\"asize\":3}]]");
    ui.messages.clear();
    ui.openAnswers.push_back(unknown);
    menuItem("mOpenCatalogue")->trigger();
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(topName(), "/x");

    // A file of several GiB that is wrong from its first byte is refused at once (a sparse file:
    // reading it through would take a long while).
    for (const char *start : {"x", "[", "<"}) {
        const std::string big = data / "big.json";
        {
            std::ofstream out(big, std::ios::binary | std::ios::trunc);
            out << start << "\x01";
        }
        ASSERT_EQ(::truncate(big.c_str(), off_t(6) << 30), 0);
        ui.messages.clear();
        ui.openAnswers.push_back(big);
        menuItem("mOpenCatalogue")->trigger();
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_NE(ui.messages[0].text.find("\"" + big + "\""), std::string::npos) << ui.messages[0].text;
        EXPECT_EQ(topName(), "/x");
    }
}

TEST_F(CatalogueWindowTest, ADroppedCatalogueOpensAndOtherFilesAreIgnored)
{
    const std::string file = catalogueOf(root, "photos.json");
    auto uri = [](const std::string &path) { return "file://" + QByteArray::fromStdString(path).toPercentEncoding("/") + "\r\n"; };
    const std::string words = data / "words.txt";
    test::WriteFile(words, "[not a catalogue");
    EXPECT_TRUE(window->DropUriList(uri(words)));
    EXPECT_EQ(shown().NodeCount(), 0u);
    EXPECT_TRUE(ui.messages.empty()) << "ignored silently";
    EXPECT_TRUE(window->DropUriList(uri(words) + uri(file)));
    EXPECT_EQ(topName(), root);
    EXPECT_TRUE(OpenedFromFile(shown()));
    // A drop that holds a folder scans it, as specified; the catalogue beside it is passed over.
    const std::string other = data.Folder("Other");
    EXPECT_TRUE(window->DropUriList(uri(file) + uri(other)));
    EXPECT_EQ(topName(), other);
    EXPECT_FALSE(OpenedFromFile(shown()));
}

TEST_F(CatalogueWindowTest, EveryExportToolBarWritesNcduJson)
{
    scan(root);
    const struct {
        const char *page, *explorer;
        QtTreeGrid *grid;
    } pages[] = {{"TabSheet1", "ToolButton4", window->VT},   {"TabSheet6", "ToolButton5", window->VTList},
                 {"TabSheet8", "ToolButton6", window->VTAge}, {"TabSheet10", "ToolButton7", window->VTSize},
                 {"TabSheet12", "ToolButton10", window->VTType}};
    for (const auto &p : pages) {
        QToolButton *button = window->Button(QString::fromLatin1(p.page) + QStringLiteral("Ncdu"));
        ASSERT_NE(button, nullptr) << p.page;
        EXPECT_EQ(button->toolTip(), QStringLiteral("Export to ncdu JSON"));
        // After the specified buttons, the last on its bar.
        QToolBar *bar = qobject_cast<QToolBar *>(button->parentWidget());
        ASSERT_NE(bar, nullptr);
        const QList<QAction *> actions = bar->actions();
        EXPECT_EQ(bar->widgetForAction(actions.back()), button) << p.page;
        EXPECT_LT(actions.indexOf(bar->actions()[actions.indexOf(actions.back())]), actions.size());
        int explorerAt = -1;
        for (int i = 0; i < actions.size(); ++i)
            if (bar->widgetForAction(actions[i]) == window->Button(QString::fromLatin1(p.explorer)))
                explorerAt = i;
        EXPECT_GE(explorerAt, 0) << p.page;
        EXPECT_LT(explorerAt, actions.size() - 1) << p.page;
    }

    // Total Tree: the whole catalogue.
    const std::string whole = data / "whole.json";
    ui.saveAnswers.push_back(whole);
    window->Button(QStringLiteral("TabSheet1Ncdu"))->click();
    test::WaitUntil([&] { return !window->Busy(); });
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_EQ(ui.messages.back().text, "Export Finished");
    TNodeTree back;
    ReadCatalogFile(back, whole);
    EXPECT_EQ(back.NodeCount(), shown().NodeCount());

    // A list: its entries inside their ancestor folders, a listed folder with all below it.
    SelectInTree(*window->VT, test::NodeAt(shown(), "sub"));
    Settle();
    ASSERT_EQ(window->VTList->Nodes().NodeCount(), 2u);
    const std::string list = data / "list.json";
    ui.saveAnswers.push_back(list);
    window->Button(QStringLiteral("TabSheet6Ncdu"))->click();
    test::WaitUntil([&] { return !window->Busy(); });
    ReadCatalogFile(back, list);
    EXPECT_EQ(back.Field(back.First(), FileName), root);
    EXPECT_EQ(back.ChildCount(back.First()), 1u);
    EXPECT_NE(test::NodeAt(back, "sub/a.txt"), kNoNode);
    EXPECT_NE(test::NodeAt(back, "sub/b.jpg"), kNoNode);
    EXPECT_EQ(test::NodeAt(back, "c.log"), kNoNode);
}

TEST_F(CatalogueWindowTest, AComparisonShowsWhatChangedInItsOwnTab)
{
    const std::string week1 = catalogueOf(root, "week1.json");
    data.File("Photos/sub/b.jpg", 9000); // grown
    data.File("Photos/new.bin", 55);     // new
    ::unlink((data / "Photos/gone.tmp").c_str());
    scan(root);
    const int tabs = window->pcTotal->count();
    ui.openAnswers.push_back(week1);
    menuItem("mCompare")->trigger();
    Settle();
    ASSERT_EQ(window->pcTotal->count(), tabs + 1);
    EXPECT_EQ(window->pcTotal->tabText(tabs), QStringLiteral("Changes"));
    EXPECT_EQ(window->pcTotal->tabText(tabs - 1), QStringLiteral("Treemap"));
    EXPECT_EQ(window->pcTotal->currentWidget(), window->Changes);

    QTreeView *view = window->Changes->View();
    QAbstractItemModel *model = view->model();
    std::map<std::string, std::string> rows;
    for (int r = 0; r < model->rowCount(); ++r)
        rows[model->index(r, 0).data().toString().toStdString()] = model->index(r, 1).data().toString().toStdString();
    EXPECT_EQ(rows, (std::map<std::string, std::string>{
                        {".", "grown"}, {"sub", "grown"}, {"sub/b.jpg", "grown"}, {"new.bin", "new"}, {"gone.tmp", "gone"}}));
    // Largest growth first: the top folder, which holds every change, then what grew most.
    EXPECT_EQ(model->index(0, 0).data().toString(), QStringLiteral("."));
    EXPECT_EQ(model->index(model->rowCount() - 1, 0).data().toString(), QStringLiteral("gone.tmp"));
    EXPECT_EQ(model->headerData(4, Qt::Horizontal).toString(), QStringLiteral("Change"));
    EXPECT_TRUE(window->Changes->Heading()->text().contains(QString::fromStdString(week1)));
    EXPECT_FALSE(window->Changes->Heading()->text().contains(QStringLiteral("top folders differ")));

    // Sortable by each column.
    view->sortByColumn(0, Qt::AscendingOrder);
    EXPECT_EQ(model->index(0, 0).data().toString(), QStringLiteral("."));

    // A double click shows the entry in Total Tree; for a gone entry, the folder that held it.
    for (const char *path : {"sub/b.jpg", "gone.tmp"}) {
        int row = 0;
        while (model->index(row, 0).data().toString() != QString::fromLatin1(path))
            ++row;
        window->pcTotal->setCurrentWidget(window->Changes);
        Settle();
        const QRect cell = view->visualRect(model->index(row, 0));
        // A double click as the mouse makes it: the first click, then the second one.
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cell.center());
        Settle();
        EXPECT_EQ(window->pcTotal->currentIndex(), 0);
        const std::string expected = std::string(path) == "gone.tmp" ? "." : path;
        EXPECT_EQ(window->VT->SelectedNode(), expected == "." ? shown().First() : test::NodeAt(shown(), expected)) << path;
    }

    // The list exports to CSV with its own columns.
    const std::string csv = data / "changes.csv";
    ui.saveAnswers.push_back(csv);
    window->Button(QStringLiteral("tbChangesCsv"))->click();
    test::WaitUntil([&] { return !window->Busy(); });
    const std::string written = test::ReadFile(csv);
    EXPECT_EQ(written.substr(0, written.find('\r')), "Path,Status,Size then,Size now,Change");
    EXPECT_NE(written.find("sub/b.jpg,grown,2000,9000,7000\r\n"), std::string::npos) << written;
    EXPECT_NE(written.find("gone.tmp,gone,40,0,-40\r\n"), std::string::npos) << written;
    const std::string html = data / "changes.htm";
    ui.saveAnswers.push_back(html);
    window->Button(QStringLiteral("tbChangesHtml"))->click();
    test::WaitUntil([&] { return !window->Busy(); });
    EXPECT_NE(test::ReadFile(html).find("<td>new.bin</td><td>new</td>"), std::string::npos);

    // A new scan compares again.
    data.File("Photos/later.dat", 1);
    scan(root);
    test::WaitUntil([&] { return model->rowCount() > 0; });
    rows.clear();
    for (int r = 0; r < model->rowCount(); ++r)
        rows[model->index(r, 0).data().toString().toStdString()] = model->index(r, 1).data().toString().toStdString();
    EXPECT_EQ(rows.count("later.dat"), 1u);

    // Closing the comparison removes the tab.
    window->Button(QStringLiteral("tbCloseComparison"))->click();
    EXPECT_EQ(window->pcTotal->count(), tabs);
    EXPECT_FALSE(window->Changes->Loaded());
}

TEST_F(CatalogueWindowTest, CataloguesOfTwoFoldersAreComparedByRelativePath)
{
    const std::string other = data.Folder("Copy");
    data.File("Copy/sub/a.txt", 100);
    const std::string copy = catalogueOf(other, "copy.json");
    scan(root);
    ASSERT_TRUE(window->CompareWith(copy));
    const QString heading = window->Changes->Heading()->text();
    EXPECT_TRUE(heading.contains(QStringLiteral("The top folders differ"))) << heading.toStdString();
    EXPECT_TRUE(heading.contains(QString::fromStdString(other)));
    QAbstractItemModel *model = window->Changes->View()->model();
    std::set<std::string> paths;
    for (int r = 0; r < model->rowCount(); ++r)
        paths.insert(model->index(r, 0).data().toString().toStdString());
    EXPECT_EQ(paths.count("sub/a.txt"), 0u) << "the same path below both tops";
    EXPECT_EQ(paths.count("sub/b.jpg"), 1u);
}

// Reading a catalogue file, and comparing, run on the worker with the progress window and its
// Cancel, as a scan does; cancelled, nothing changes. The file is a named pipe whose writer waits,
// half-way, until the test has pressed Cancel.
TEST_F(CatalogueWindowTest, ReadingShowsItsProgressAndItsCancelChangesNothing)
{
    scan(root);
    const QString before = summary();
    const std::string whole = test::ReadFile(catalogueOf(root, "photos.json"));
    const std::string pipe = data / "pipe.json";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    TWaitForm *wait = window->WaitForm();
    for (bool compare : {false, true}) {
        SCOPED_TRACE(compare ? "Compare with Catalogue" : "Open Catalogue");
        test::Gate gate;
        std::thread writer([&] {
            const int fd = ::open(pipe.c_str(), O_WRONLY | O_CLOEXEC); // once the worker has opened it
            const std::size_t half = whole.size() / 2;
            [[maybe_unused]] auto put = ::write(fd, whole.data(), half);
            gate.Arrive();
            put = ::write(fd, whole.data() + half, whole.size() - half);
            ::close(fd);
        });
        bool sawProgress = false;
        QTimer::singleShot(0, [&] {
            sawProgress = test::WaitUntil([&] { return gate.Arrived(); }) && window->Busy() && wait->isVisible() &&
                          wait->SpeedButton1()->isVisible();
            QTest::mouseClick(wait->SpeedButton1(), Qt::LeftButton);
            gate.Open();
        });
        const bool done = compare ? window->CompareWith(pipe) : window->OpenCatalogue(pipe);
        // Whatever happened, the writer ends: a reader of our own lets it open the pipe.
        gate.Open();
        const int unblock = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        writer.join();
        ::close(unblock);
        EXPECT_FALSE(done);
        EXPECT_TRUE(sawProgress);
        EXPECT_FALSE(window->Busy());
        EXPECT_FALSE(wait->isVisible());
        EXPECT_TRUE(ui.messages.empty());
        EXPECT_EQ(summary(), before);
        EXPECT_FALSE(OpenedFromFile(shown()));
        EXPECT_EQ(window->pcTotal->indexOf(window->Changes), -1);
    }
}
