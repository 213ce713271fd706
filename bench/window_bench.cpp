// Times the program as a person meets it: the main window, offscreen, over a scanned folder.
// usage: window_bench FOLDER
// Prints one line "step=NAME seconds=S" per step:
//   scan        the scan alone, as scan_bench does it;
//   shown       from the folder chooser giving the folder back to the tree showing the expanded
//               top node, with the list and the four charts filled, painted;
//   select-top  selecting another node, then the top node again, each shown and painted;
//   scroll-end  scrolling the tree to its last row and painting it;
//   page-through with every folder of the tree expanded (not timed), 100 page-downs from the
//               top, each sent to the tree as a key press and painted at once.
//   chart-large the current-folder chart of a folder of 100,000 files (a catalogue made here,
//               shown with its list filled), drawn and painted once as a pie and once as bars.
//   treemap-first   from the shown catalogue to the treemap of the whole tree, 1280 x 800,
//               laid out and painted (followed by a line "treemap-memory ..." with the peak
//               memory the treemap took, per entry of the map and per tile drawn);
//   treemap-zoom    a double click on the folder whose sub-tree holds nearest to 10,000 entries,
//               to its treemap painted.

#include <QApplication>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTabWidget>

#include <cstdio>

#include "BenchSupport.h"
#include "app/uMain.h"
#include "app/uWaitForm.h"
#include "catalog/uFileReader.h"
#include "common/UiServices.h"
#include "views/QtChart.h"
#include "views/QtTreeGrid.h"
#include "views/QtTreemap.h"
#include "views/uCtrl.h"

using namespace folvane;

namespace {

void report(const char *step, double seconds)
{
    std::printf("step=%s seconds=%.3f\n", step, seconds);
    std::fflush(stdout);
}

// Every dialog answers "cancel" but the folder chooser, which gives the folder and starts the clock.
class BenchUi final : public IUiServices {
public:
    std::string folder;
    std::optional<bench::Stopwatch> watch;

    bool ChooseFolder(const std::string &, const std::string &, std::string &chosen) override
    {
        chosen = folder;
        watch.emplace();
        return true;
    }
    void ShowWaitForm(bool, bool) override {}
    void SetWaitText(const std::string &) override {}
    std::string SaveFileDialog(const std::string &, const std::string &, const std::string &) override { return {}; }
    MsgResult MessageBox(const std::string &, const std::string &, MsgButtons, MsgIcon) override { return MsgResult::Ok; }
    bool ShowColumnDialog() override { return false; }
    void ShowAbout() override {}
    void OpenUrl(const std::string &) override {}
    void CopyPaths(const std::vector<std::string> &) override {}
};

void paint(TFMMain &window)
{
    window.VT->viewport()->repaint();
    QApplication::processEvents();
}

// A folder of `count` files of assorted sizes, with the fields a scan writes.
TNodeTree wideFolder(int count)
{
    TNodeTree tree;
    const NodeId top = tree.AddTopLevel();
    const std::string path = "/bench/wide";
    tree.SetExplicitPath(top, path, path.size());
    tree.Data(top).flags |= TFileNodeData::Folder;
    tree.Data(top).present |= (1u << FileName) | (1u << FullPath) | (1u << FileType) | (1u << FileSize);
    std::uint64_t total = 0;
    for (int i = 0; i < count; ++i) {
        const NodeId n = tree.AddChild(top);
        char name[32];
        std::snprintf(name, sizeof name, "entry-%06d.dat", i);
        tree.SetName(n, name);
        TFileNodeData &d = tree.Data(n);
        d.size = 1000 + std::uint64_t(i) * 7919 % 1000000;
        d.flags |= TFileNodeData::File;
        d.present |= (1u << FileName) | (1u << FullPath) | (1u << FileSize) | (1u << FileType) | (1u << FileExt);
        total += d.size;
    }
    tree.SetSize(top, total);
    return tree;
}

// Runs the event loop until the treemap shows the picture wanted now, then paints it.
bool paintTreemap(TFMMain &window)
{
    for (bench::Stopwatch limit; !window.Treemap->Current(); QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5))
        if (limit.Seconds() > 120)
            return false;
    window.Treemap->repaint();
    QApplication::processEvents();
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    SetForms(TextForms::EnUs());

    {
        TNodeTree tree;
        bench::Stopwatch watch;
        ScanFolder(tree, argv[1]);
        report("scan", watch.Seconds());
    }

    BenchUi ui;
    ui.folder = argv[1];
    SetUi(&ui);
    TFMMain window;
    auto *wait = new TWaitForm(&window);
    window.SetWaitForm(wait);
    window.show();
    QApplication::processEvents();

    window.btnOpenClick();
    paint(window);
    const double shown = ui.watch ? ui.watch->Seconds() : -1;
    const TNodeTree &tree = window.VT->Nodes();
    const NodeId top = tree.First();
    const bool complete = tree.IsValid(top) && window.VT->isExpanded(window.VT->IndexOf(top)) &&
                          window.VTList->Nodes().NodeCount() == tree.ChildCount(top) &&
                          !window.ChartFile->Points().empty() && !window.AgeChart->Points().empty() &&
                          !window.SizeChart->Points().empty() && !window.TypeChart->Points().empty();
    if (!complete) {
        std::fprintf(stderr, "the window did not show the catalogue\n");
        return 1;
    }
    report("shown", shown);

    // The largest child folder, then the top again.
    NodeId other = tree.FirstChild(top);
    for (NodeId n = other; n != kNoNode; n = tree.NextSibling(n))
        if (tree.TotalCount(n) > tree.TotalCount(other))
            other = n;
    bench::Stopwatch select;
    window.VT->SelectNode(other);
    paint(window);
    window.VT->SelectNode(top);
    paint(window);
    if (window.Ctrl()->CurrentNode != top) {
        std::fprintf(stderr, "the top node was not shown again\n");
        return 1;
    }
    report("select-top", select.Seconds());

    bench::Stopwatch scroll;
    window.VT->scrollToBottom();
    paint(window);
    report("scroll-end", scroll.Seconds());

    // Every folder expanded the way the grid restores expansion after a reset; not timed.
    QtTreeGrid &vt = *window.VT;
    vt.BeginUpdate();
    TNodeTree &nodes = vt.Nodes();
    for (NodeId n = nodes.First(); n != kNoNode; n = nodes.Next(n))
        if (nodes.ChildCount(n) > 0)
            nodes.SetExpanded(n, true);
    vt.EndUpdate();
    vt.SelectNode(top);
    vt.scrollToTop();
    paint(window);
    bench::Stopwatch pages;
    for (int i = 0; i < 100; ++i) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
        QApplication::sendEvent(&vt, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_PageDown, Qt::NoModifier);
        QApplication::sendEvent(&vt, &release);
        paint(window);
    }
    const double paged = pages.Seconds();
    // The pages went down through expanded folders: the row now focused lies deep in the tree.
    const NodeId reached = vt.FocusedNode();
    if (!nodes.IsValid(reached) || nodes.Level(reached) == 0 || window.Ctrl()->CurrentNode != reached) {
        std::fprintf(stderr, "the page-downs did not move through the tree\n");
        return 1;
    }
    report("page-through", paged);
    // Back to the top folder of Total Tree for the treemap of the whole catalogue.
    vt.SelectNode(top);
    QApplication::processEvents();
    // The treemap's page has the same room as Total Tree's: size that to 1280 x 800 first.
    window.resize(window.size() + QSize(1280, 800) - window.VT->size());
    QApplication::processEvents();
    const std::uint64_t before = bench::StatusBytes("VmRSS");
    bench::ResetPeak();
    bench::Stopwatch first;
    window.pcTotal->setCurrentWidget(window.Treemap->parentWidget());
    if (!paintTreemap(window) || window.Treemap->size() != QSize(1280, 800)) {
        std::fprintf(stderr, "the treemap was not drawn at 1280 x 800\n");
        return 1;
    }
    report("treemap-first", first.Seconds());
    const TTreemap *map = window.Treemap->Map();
    const std::uint64_t peak = bench::StatusBytes("VmHWM") - before;
    std::printf("treemap-memory peak-bytes=%llu entries=%u tiles=%zu peak-per-entry=%.2f peak-per-tile=%.2f "
                "map-bytes=%zu map-per-tile=%.2f picture-bytes=%zu\n",
                (unsigned long long)peak, map->entries, map->PlacedCount(), double(peak) / map->entries,
                double(peak) / double(map->PlacedCount()), map->Bytes(), double(map->Bytes()) / double(map->PlacedCount()),
                window.Treemap->PictureBytes());

    NodeId folder = top;
    auto distance = [&](NodeId n) { return std::abs(std::int64_t(tree.TotalCount(n)) - 10000); };
    for (NodeId n = tree.First(); n != kNoNode; n = tree.Next(n))
        if (tree.Data(n).Kind() == NodeKind::Folder && distance(n) < distance(folder))
            folder = n;
    bench::Stopwatch zoom;
    emit window.Treemap->TileDoubleClicked(folder);
    if (!paintTreemap(window) || window.Treemap->Root() != folder) {
        std::fprintf(stderr, "the treemap did not zoom\n");
        return 1;
    }
    report("treemap-zoom", zoom.Seconds());
    std::printf("treemap-zoom entries=%u tiles=%zu\n", window.Treemap->Map()->entries, window.Treemap->Map()->PlacedCount());
    {
        window.VT->ReplaceNodes(wideFolder(100000));
        window.Ctrl()->CurrentNode = kNoNode;
        window.Ctrl()->ShowFolder(window.VT->Nodes().First());
        window.pcTotal->setCurrentIndex(2);
        QApplication::processEvents();
        if (window.VTList->Nodes().NodeCount() != 100000) {
            std::fprintf(stderr, "the wide folder was not listed\n");
            return 1;
        }
        bench::Stopwatch chart;
        for (bool asBar : {false, true}) {
            window.Ctrl()->ShowFileChart(*window.ChartFile, asBar);
            QApplication::processEvents(); // the chart lays itself out
            window.ChartFile->viewport()->repaint();
        }
        report("chart-large", chart.Seconds());
        if (window.ChartFile->Points().size() != 100000 || window.ChartFile->Marks().empty()) {
            std::fprintf(stderr, "the wide folder's chart was not drawn\n");
            return 1;
        }
    }

    window.close();
    SetUi(nullptr);
    return 0;
}
