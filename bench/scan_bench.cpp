// Scans a folder into a catalogue and prints what it found, how long it took and what it cost in memory.
// usage: scan_bench FOLDER

#include <cstdio>

#include "BenchSupport.h"
#include "catalog/uFileReader.h"

using namespace folvane;

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    std::uint64_t startRss = bench::StatusBytes("VmRSS");
    bench::ResetPeak();
    TNodeTree tree;
    bench::Stopwatch watch;
    ScanOutcome outcome = ScanFolder(tree, argv[1]);
    double seconds = watch.Seconds();
    std::uint64_t peak = bench::StatusBytes("VmHWM");
    std::uint64_t growth = peak > startRss ? peak - startRss : 0;
    std::printf("entries=%llu total_bytes=%s seconds=%.3f peak_rss_bytes=%llu bytes_per_entry=%.1f\n",
                (unsigned long long)outcome.entries, tree.Field(tree.First(), FileSize).c_str(), seconds,
                (unsigned long long)peak, outcome.entries ? double(growth) / double(outcome.entries) : 0.0);
    return 0;
}
