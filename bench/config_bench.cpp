// The cost of what every painted cell does with the configuration: GetConfig, XMLConfig and the
// Name of the cell's column. Printed next to a baseline measured in the same run (copying a
// column name out of a vector), so that the figure reads as a ratio.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "config/ConfigStore.h"

using namespace folvane;
namespace fs = std::filesystem;

namespace {

template <class F>
double nsPerCall(long calls, F &&f)
{
    auto start = std::chrono::steady_clock::now();
    std::size_t sink = 0;
    for (long i = 0; i < calls; ++i)
        sink += f(int(i % 15));
    auto stop = std::chrono::steady_clock::now();
    static volatile std::size_t keep;
    keep = sink;
    (void)keep;
    return std::chrono::duration<double, std::nano>(stop - start).count() / double(calls);
}

} // namespace

int main()
{
    std::string pattern = (fs::temp_directory_path() / "folvane-config-bench-XXXXXX").string();
    const fs::path folder = ::mkdtemp(pattern.data());
    TConfigPlaces places;
    places.programFolder = folder;
    places.userFolder = folder / "user";
    ResetConfig(places);

    std::vector<std::string> names;
    for (int i = 0; i < GetConfig().XMLConfig()->Nodes().Count(); ++i)
        names.push_back(GetConfig().XMLConfig()->Nodes().Node(i).Name());

    constexpr long kCalls = 2'000'000;
    auto baseline = [&](int column) { std::string name = names[std::size_t(column)]; return name.size(); };
    auto cell = [](int column) {
        std::string name = GetConfig().XMLConfig()->Nodes().Node(column).Name();
        return name.size();
    };
    nsPerCall(kCalls / 10, baseline); // warm up
    nsPerCall(kCalls / 10, cell);
    const double base = nsPerCall(kCalls, baseline);
    const double ns = nsPerCall(kCalls, cell);

    std::printf("step=baseline-copy-name-from-vector ns_per_call=%.1f\n", base);
    std::printf("step=getconfig-xmlconfig-name ns_per_call=%.1f ratio=%.1f columns=15\n", ns, ns / base);

    ResetConfig();
    fs::remove_all(folder);
    return 0;
}
