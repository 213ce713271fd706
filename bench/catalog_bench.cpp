// Catalogue files on a large tree: scans a folder, writes its catalogue as XML and as ncdu JSON,
// opens each file again, and compares two open catalogues, printing the time and the memory
// growth of each step and each step's ratio to the scan.
// usage: catalog_bench FOLDER [OUTDIR]
//
// The second catalogue of the comparison is the one opened from JSON with 1% of its files grown
// (every hundredth file by 4 KiB), made before the step is timed. The files are catalog.xml and
// catalog.json in OUTDIR, else in a temporary folder that is removed at the end.

#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "BenchSupport.h"
#include "catalog/CatalogCompare.h"
#include "catalog/CatalogFile.h"
#include "catalog/FieldReaders.h"
#include "catalog/RollUp.h"
#include "catalog/uFileReader.h"
#include "config/XmlDocument.h"
#include "export/FileInfo.h"
#include "export/NcduJsonWriter.h"

using namespace folvane;

namespace {

struct Figures {
    double seconds = 0;
    std::uint64_t growth = 0;
};

template <typename Step> Figures Measure(const char *name, Step step)
{
    malloc_trim(0); // what earlier steps freed goes back, so that the growth is this step's own
    std::uint64_t startRss = bench::StatusBytes("VmRSS");
    bench::ResetPeak();
    bench::Stopwatch watch;
    step();
    Figures f{watch.Seconds(), 0};
    std::uint64_t peak = bench::StatusBytes("VmHWM");
    f.growth = peak > startRss ? peak - startRss : 0;
    std::printf("step=%s seconds=%.3f peak_growth_bytes=%llu\n", name, f.seconds, (unsigned long long)f.growth);
    std::fflush(stdout);
    return f;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s FOLDER [OUTDIR]\n", argv[0]);
        return 2;
    }
    const bool temporary = argc < 3;
    const std::string outDir = bench::OutputFolder(temporary ? nullptr : argv[2], "catalog-bench");
    if (outDir.empty())
        return 1;
    const std::string xml = outDir + "/catalog.xml", json = outDir + "/catalog.json";
    int status = 0;
    try {
        Figures scan, openXml, openJson, compare;
        {
            TNodeTree tree;
            scan = Measure("scan", [&] { ScanFolder(tree, argv[1]); });
            Measure("write-xml", [&] {
                TXmlDocument doc;
                TFileInfo info;
                info.Doc = &doc;
                info.ResetDocument();
                info.BuildFromTree(tree);
                info.SaveDocument(xml);
            });
            Measure("write-json", [&] { WriteNcduJson(tree, json); });
            std::fprintf(stderr, "entries=%u xml_bytes=%llu json_bytes=%llu\n", tree.NodeCount() - 1,
                         (unsigned long long)std::filesystem::file_size(xml),
                         (unsigned long long)std::filesystem::file_size(json));
        }
        TNodeTree then, now;
        openXml = Measure("open-xml", [&] { ReadCatalogFile(then, xml); });
        openJson = Measure("open-json", [&] { ReadCatalogFile(now, json); });
        std::uint64_t grown = 0, files = 0;
        for (NodeId n = 1; n <= now.NodeCount(); ++n)
            if (IsFile(now, n) && files++ % 100 == 0) {
                now.SetSize(n, now.Data(n).size + 4096);
                ++grown;
            }
        const std::uint64_t total = RollUpFolderSize(now, now.First());
        now.SetSize(now.First(), total);
        FillPercentagesAndCounts(now, total);
        TComparison result;
        compare = Measure("compare", [&] { result = CompareCatalogues(then, now); });
        std::fprintf(stderr, "files_grown=%llu changes=%zu\n", (unsigned long long)grown, result.changes.size());
        auto ratio = [&](const Figures &f) { return scan.seconds > 0 ? f.seconds / scan.seconds : 0.0; };
        auto memory = [&](const Figures &f) { return scan.growth > 0 ? double(f.growth) / double(scan.growth) : 0.0; };
        std::printf("ratio open-xml/scan=%.2f open-json/scan=%.2f compare/scan=%.2f\n", ratio(openXml), ratio(openJson),
                    ratio(compare));
        std::printf("memory open-xml/scan=%.3f open-json/scan=%.3f\n", memory(openXml), memory(openJson));
    } catch (const std::exception &e) {
        std::fprintf(stderr, "catalog_bench: %s\n", e.what());
        status = 1;
    }
    if (temporary) {
        std::error_code ec;
        std::filesystem::remove_all(outDir, ec);
    }
    return status;
}
