// Scans a folder into a catalogue and exports the whole catalogue in every format with the
// default configuration's visible columns, printing the time and the memory growth of each step.
// usage: export_bench FOLDER [OUTDIR]
//
// The files are catalog.htm, catalog.txt, catalog.csv, catalog.xml and catalog.xlsx in OUTDIR,
// else in a temporary folder that is removed at the end. The workbook takes the first 65,534
// entries (its row limit); the copy of those entries is made before its step is timed.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "catalog/uFileReader.h"
#include "common/UiServices.h"
#include "config/FolvaneConfig.h"
#include "export/FileInfo.h"

using namespace folvane;

namespace {

// Answers the save dialog with the file the current step writes, and "Yes" to overwriting.
class BenchUi final : public IUiServices {
public:
    std::string next;
    void ShowWaitForm(bool, bool) override {}
    void SetWaitText(const std::string &) override {}
    std::string SaveFileDialog(const std::string &, const std::string &, const std::string &) override { return next; }
    MsgResult MessageBox(const std::string &text, const std::string &, MsgButtons buttons, MsgIcon) override
    {
        if (buttons == MsgButtons::YesNo)
            return MsgResult::Yes; // files of an earlier run are replaced
        std::fprintf(stderr, "message: %s\n", text.c_str());
        return MsgResult::Ok;
    }
    bool ChooseFolder(const std::string &, const std::string &, std::string &) override { return false; }
    bool ShowColumnDialog() override { return false; }
    void ShowAbout() override {}
    void OpenUrl(const std::string &) override {}
    void CopyPaths(const std::vector<std::string> &) override {}
};

// The export columns of the default configuration: the names of its visible column entries.
std::vector<std::string> DefaultVisibleColumns()
{
    std::vector<std::string> columns;
    auto config = ConfigFromText(std::string(kDefaultConfigText));
    TXMLNodesType nodes = config->Nodes();
    for (int i = 0; i < nodes.Count(); ++i)
        if (nodes.Node(i).Visible())
            columns.push_back(nodes.Node(i).Name());
    return columns;
}

// A tree of the first `limit` entries of `source` in depth-first order (their parents come first).
void CopyFirstEntries(const TNodeTree &source, TNodeTree &target, std::size_t limit)
{
    target.Clear();
    std::vector<NodeId> copyOf(std::size_t(source.NodeCount()) + 1, kNoNode);
    std::size_t copied = 0;
    for (NodeId n = source.First(); n != kNoNode && copied < limit; n = source.Next(n), ++copied) {
        NodeId parent = source.Parent(n);
        NodeId m = target.AddChild(parent == TNodeTree::Root() ? TNodeTree::Root() : copyOf[parent]);
        CopyNodeData(source, n, target, m);
        copyOf[n] = m;
    }
}

template <typename Step> void Measure(const char *name, Step step)
{
    std::uint64_t startRss = bench::StatusBytes("VmRSS");
    bench::ResetPeak();
    bench::Stopwatch watch;
    bool done = step();
    double seconds = watch.Seconds();
    std::uint64_t peak = bench::StatusBytes("VmHWM");
    std::printf("step=%s seconds=%.3f peak_growth_bytes=%llu\n", name, seconds,
                (unsigned long long)(peak > startRss ? peak - startRss : 0));
    std::fflush(stdout);
    if (!done)
        std::fprintf(stderr, "step %s did not complete\n", name);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s FOLDER [OUTDIR]\n", argv[0]);
        return 2;
    }
    const bool temporary = argc < 3;
    const std::string outDir = bench::OutputFolder(temporary ? nullptr : argv[2], "export-bench");
    if (outDir.empty())
        return 1;
    BenchUi ui;
    SetUi(&ui);
    int status = 0;
    try {
        TNodeTree tree;
        ScanOutcome outcome;
        Measure("scan", [&] {
            outcome = ScanFolder(tree, argv[1]);
            return !outcome.cancelled;
        });
        std::fprintf(stderr, "entries=%llu nodes=%u\n", (unsigned long long)outcome.entries, tree.NodeCount());

        TXmlDocument doc;
        TFileInfo info;
        info.Doc = &doc;
        info.Columns = DefaultVisibleColumns();
        auto out = [&](const char *name) { return ui.next = outDir + "/" + name; };

        Measure("html", [&] {
            out("catalog.htm");
            return info.ExportHtml("", tree);
        });
        Measure("text", [&] {
            out("catalog.txt");
            return info.ExportText("", "          ", tree);
        });
        Measure("csv", [&] {
            out("catalog.csv");
            return info.ExportCsv("", ",", tree);
        });
        Measure("xml", [&] {
            out("catalog.xml");
            info.ResetDocument();
            info.BuildFromTree(tree);
            return info.ExportXml("");
        });
        TNodeTree limited;
        CopyFirstEntries(tree, limited, kExcelMaxEntries);
        Measure("xlsx", [&] {
            out("catalog.xlsx");
            info.ResetDocument();
            info.BuildFromTree(limited);
            return info.ExportExcel("");
        });
    } catch (const std::exception &e) {
        std::fprintf(stderr, "export_bench: %s\n", e.what());
        status = 1;
    }
    SetUi(nullptr);
    if (temporary) {
        std::error_code ec;
        std::filesystem::remove_all(outDir, ec);
    }
    return status;
}
