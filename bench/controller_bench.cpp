// Times the controller's passes over a scanned catalogue, through the plain views.
// usage: controller_bench FOLDER
// Prints one line "step=NAME seconds=S" per step: scan, sort-size, sort-write-time, sort-name,
// classify, show-top, sort-type-counts.

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <random>

#include "BenchSupport.h"
#include "catalog/uFileReader.h"
#include "config/ConfigStore.h"
#include "support/PlainViews.h"
#include "views/uCtrl.h"

using namespace folvane;

namespace {

void report(const char *step, double seconds)
{
    std::printf("step=%s seconds=%.3f\n", step, seconds);
    std::fflush(stdout);
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

    ctrl.Destroy();
    ResetConfig();
    std::error_code ec;
    std::filesystem::remove_all(temp, ec);
    return 0;
}
