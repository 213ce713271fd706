#pragma once
// Small helpers the benchmarks share: wall time and the process's memory figures.

#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace folvane::bench {

// A value from /proc/self/status in bytes ("VmRSS", "VmHWM"), 0 when unknown.
inline std::uint64_t StatusBytes(const std::string &key)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key + ":", 0) == 0)
            return std::stoull(line.substr(key.size() + 1)) * 1024;
    return 0;
}

// Starts a new peak: the kernel's high-water mark is reset to the current resident size.
inline void ResetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

// The processor time the process has used so far, user and system, in seconds: on a shared machine
// it varies far less than wall time with what else runs.
inline double CpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

class Stopwatch {
public:
    Stopwatch() : start_(std::chrono::steady_clock::now()) {}
    double Seconds() const
    {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }

private:
    std::chrono::steady_clock::time_point start_;
};

// The folder a bench writes its files to: `given` (made where missing), or a new temporary folder
// named after `prefix` when none is given. Empty, with the reason printed, when it cannot be made.
inline std::string OutputFolder(const char *given, const char *prefix)
{
    if (given) {
        std::filesystem::create_directories(given);
        return given;
    }
    std::string pattern = (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return {};
    }
    return pattern;
}

} // namespace folvane::bench
