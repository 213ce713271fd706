// Scans a folder into a catalogue and prints what it found, how long it took and what it cost in memory.
// usage: scan_bench [--disk-usage] [--hardlinks-once] [--one-file-system] [--exclude PATTERN]... FOLDER
//
// total_bytes is of the size kind chosen; cpu_seconds is the processor time of the scan (all threads); unreadable, kernfs and otherfs count the folders not
// read or not walked, excluded the entries left out, hardlinks the names of a file that were
// not counted again.

#include <cstdio>
#include <string_view>
#include <vector>

#include "BenchSupport.h"
#include "catalog/CatalogNotes.h"
#include "catalog/uFileReader.h"

using namespace folvane;

int main(int argc, char **argv)
{
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    ScanArguments parsed = ParseScanArguments(args);
    if (!parsed.error.empty() || parsed.rest.size() != 1) {
        if (!parsed.error.empty())
            std::fprintf(stderr, "%s: %s\n", argv[0], parsed.error.c_str());
        std::fprintf(stderr,
                     "usage: %s [--disk-usage] [--hardlinks-once] [--one-file-system] [--exclude PATTERN]... FOLDER\n",
                     argv[0]);
        return 2;
    }
    std::uint64_t startRss = bench::StatusBytes("VmRSS");
    bench::ResetPeak();
    TNodeTree tree;
    ScanOptions options;
    options.choices = parsed.choices;
    const double cpuBefore = bench::CpuSeconds();
    bench::Stopwatch watch;
    ScanOutcome outcome = ScanFolder(tree, parsed.rest.front(), options);
    double seconds = watch.Seconds();
    const double cpu = bench::CpuSeconds() - cpuBefore;
    std::uint64_t peak = bench::StatusBytes("VmHWM");
    std::uint64_t growth = peak > startRss ? peak - startRss : 0;
    const TScanSummary &s = tree.Notes().summary;
    std::printf("entries=%llu total_bytes=%s seconds=%.3f cpu_seconds=%.3f peak_rss_bytes=%llu bytes_per_entry=%.1f "
                "unreadable=%llu kernfs=%llu otherfs=%llu excluded=%llu hardlinks=%llu\n",
                (unsigned long long)outcome.entries, tree.Field(tree.First(), FileSize).c_str(), seconds, cpu,
                (unsigned long long)peak, outcome.entries ? double(growth) / double(outcome.entries) : 0.0,
                (unsigned long long)s.foldersNotRead, (unsigned long long)s.kernelFolders,
                (unsigned long long)s.otherFsFolders, (unsigned long long)s.excluded,
                (unsigned long long)s.namesCountedElsewhere);
    return 0;
}
