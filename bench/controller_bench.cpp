// Times the controller's passes over a scanned catalogue, through the plain views.
// usage: controller_bench FOLDER
// Prints one line "step=NAME seconds=S" per step: scan, sort-size, sort-write-time, sort-name,
// classify, show-top, sort-type-counts, refresh-subtree.
//
// refresh-subtree: a folder of about 1,000 entries deep in the catalogue is walked again and put
// in place while the top folder is shown (the statistics of the entry shown then change in
// place): the walk, the folders above, every percentage, the touched levels sorted again, the
// new files classified and the statistics. The median of several rounds; its parts follow on
// a line of their own, with the tree's storage after the first round and after the last.

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <algorithm>
#include <random>

#include "BenchSupport.h"
#include "catalog/CatalogEdit.h"
#include "catalog/uFileReader.h"
#include "config/ConfigStore.h"
#include "support/PlainViews.h"
#include "views/CatalogUpdate.h"
#include "views/uCtrl.h"

using namespace folvane;

namespace {

void report(const char *step, double seconds)
{
    std::printf("step=%s seconds=%.3f\n", step, seconds);
    std::fflush(stdout);
}

// The folder at least three levels down whose entries are the closest to 1,000 in number, the
// deepest among equals.
NodeId thousandEntryFolder(const TNodeTree &tree)
{
    NodeId best = kNoNode;
    std::uint32_t bestLevel = 0, bestOff = UINT32_MAX;
    for (NodeId n = 1; n < tree.IdLimit(); ++n) {
        if (!tree.IsValid(n) || tree.Data(n).Kind() != NodeKind::Folder || tree.Level(n) < 3)
            continue;
        const std::uint32_t below = tree.TotalCount(n) - 1;
        const std::uint32_t level = tree.Level(n), off = below > 1000 ? below - 1000 : 1000 - below;
        if (best == kNoNode || off < bestOff || (off == bestOff && level > bestLevel)) {
            best = n;
            bestLevel = level;
            bestOff = off;
        }
    }
    return best;
}

int columnNamed(ITreeGrid &grid, const std::string &name)
{
    for (int i = 0; i < grid.ColumnCount(); ++i)
        if (grid.ColumnText(i) == name)
            return i;
    return -1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];

    // The built-in configuration, in a folder of its own, so the benchmark leaves nothing behind.
    std::string temp = (std::filesystem::temp_directory_path() / "folvane-bench-XXXXXX").string();
    if (!::mkdtemp(temp.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    TConfigPlaces places;
    places.programFolder = temp;
    places.userFolder = std::filesystem::path(temp) / "user";
    ResetConfig(places);

    TPlainMainView view;
    TFACtrl ctrl(view);
    ITreeGrid &vt = view.Grid(GridId::VT);
    for (GridId id : {GridId::VT, GridId::VTList, GridId::VTAge, GridId::VTSize, GridId::VTType})
        ctrl.SetupColumns(view.Grid(id));

    {
        TNodeTree tree;
        bench::Stopwatch watch;
        ScanFolder(tree, folder);
        report("scan", watch.Seconds());
        vt.ReplaceNodes(std::move(tree));
    }
    std::fflush(stdout);
    std::fprintf(stderr, "entries=%u\n", vt.Nodes().NodeCount());

    const std::pair<const char *, const char *> sorts[] = {
        {"sort-size", "File Size"}, {"sort-write-time", "Write Time"}, {"sort-name", "File Name"}};
    for (auto [step, column] : sorts) {
        vt.SetSortColumn(columnNamed(vt, column));
        vt.SetSortDirection(SortDirection::Ascending);
        bench::Stopwatch watch;
        ctrl.SortGrid(vt);
        report(step, watch.Seconds());
    }
    {
        bench::Stopwatch watch;
        ctrl.ClassifyFiles();
        report("classify", watch.Seconds());
    }
    {
        ctrl.RootPath = folder;
        bench::Stopwatch watch;
        ctrl.ShowFolder(vt.Nodes().First());
        report("show-top", watch.Seconds());
    }
    {
        std::mt19937 rng(20241210);
        std::uniform_int_distribution<int> count(1, 1000);
        std::vector<TTypeCounts::Entry> entries;
        for (int i = 0; i < 20000; ++i)
            entries.push_back({"ext" + std::to_string(i), std::uint64_t(count(rng))});
        TTypeCounts table;
        table.Assign(std::move(entries));
        bench::Stopwatch watch;
        TFACtrl::SortTypeCounts(table);
        report("sort-type-counts", watch.Seconds());
    }

    {
        const NodeId folder = thousandEntryFolder(vt.Nodes());
        if (folder == kNoNode) {
            std::fprintf(stderr, "no folder of about 1,000 entries\n");
        } else {
            const TEntryPath path = EntryPathOf(vt.Nodes(), folder);
            const std::uint32_t below = vt.Nodes().TotalCount(folder) - 1, level = vt.Nodes().Level(folder);
            TCatalogUpdate update(ctrl);
            std::vector<double> totals, walks, updates;
            std::uint64_t storageFirst = 0;
            bool inPlace = true;
            for (int round = 0; round < 21; ++round) {
                bench::Stopwatch watch;
                TNodeTree walked;
                ScanOptions options;
                options.choices = CatalogueChoices(vt.Nodes());
                options.below = path.RelativeFromStep(path.TopSteps() - 1);
                ScanFolder(walked, path.top, options);
                walks.push_back(watch.Seconds());
                bench::Stopwatch put;
                update.RefreshFolder(folder, walked);
                updates.push_back(put.Seconds());
                totals.push_back(watch.Seconds());
                inPlace = inPlace && update.CountedInPlace();
                if (round == 0)
                    storageFirst = vt.Nodes().StorageBytes();
            }
            auto median = [](std::vector<double> v) {
                std::sort(v.begin(), v.end());
                return v[v.size() / 2];
            };
            report("refresh-subtree", median(totals));
            std::printf("refresh-subtree-parts walk=%.4f update=%.4f entries=%u level=%u counted_in_place=%d "
                        "storage_after_first=%llu storage_after_last=%llu rounds=%zu\n",
                        median(walks), median(updates), below, level, int(inPlace),
                        (unsigned long long)storageFirst, (unsigned long long)vt.Nodes().StorageBytes(), totals.size());
        }
    }

    ctrl.Destroy();
    ResetConfig();
    std::error_code ec;
    std::filesystem::remove_all(temp, ec);
    return 0;
}
