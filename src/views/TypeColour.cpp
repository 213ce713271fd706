#include "views/TypeColour.h"

#include <algorithm>
#include <iterator>
#include <cmath>
#include <cstdint>
#include <string>

#include "common/uFunction.h"

namespace folvane {

namespace {

// Common extensions, the ones most often seen filling a disk first: they get the colours farthest apart.
constexpr std::string_view kCommon[] = {
    "jpg",  "mp4",  "png",  "zip",  "pdf",  "iso",  "gz",   "mkv",  "so",   "txt",  "mp3",  "log",
    "deb",  "xz",   "json", "h",    "py",   "mov",  "db",   "tar",  "xml",  "html", "cpp",  "c",
    "js",   "gif",  "svg",  "docx", "xlsx", "img",  "bin",  "flac", "jpeg", "avi",  "7z",   "rar",
    "pyc",  "o",    "a",    "mo",   "zst",  "bz2",  "dat",  "wav",  "webm", "webp", "raw",  "cr2",
    "heic", "tif",  "ogg",  "m4a",  "pptx", "doc",  "xls",  "odt",  "csv",  "md",   "sqlite",
    "jar",  "class", "go",  "rs",   "java", "ts",   "css",  "sh",   "ttf",  "otf",  "woff2", "vmdk",
    "qcow2",
};

Rgb fromHsv(double hue, double saturation, double value)
{
    const double c = value * saturation;
    const double h = std::fmod(hue, 360.0) / 60.0;
    const double x = c * (1 - std::fabs(std::fmod(h, 2.0) - 1));
    double r = 0, g = 0, b = 0;
    switch (int(h)) {
    case 0: r = c, g = x; break;
    case 1: r = x, g = c; break;
    case 2: g = c, b = x; break;
    case 3: g = x, b = c; break;
    case 4: r = x, b = c; break;
    default: r = c, b = x; break;
    }
    const double m = value - c;
    auto byte = [m](double v) { return std::uint8_t(std::lround((v + m) * 255)); };
    return {byte(r), byte(g), byte(b)};
}

// Mid tones that read on a light and on a dark background alike; a third of a turn of tones
// separates neighbours on the wheel that would otherwise look alike.
Rgb tone(double hue, unsigned step)
{
    static constexpr double kValues[] = {0.92, 0.76, 0.84};
    static constexpr double kSaturations[] = {0.62, 0.70, 0.48};
    return fromHsv(hue, kSaturations[step % 3], kValues[step % 3]);
}

std::uint32_t fnv1a(std::string_view s)
{
    std::uint32_t h = 2166136261u;
    for (unsigned char c : s) {
        h ^= c;
        h *= 16777619u;
    }
    return h;
}

} // namespace

Rgb TypeColour(std::string_view ext)
{
    const std::string folded = FoldCase(ext);
    if (folded.empty())
        return kNoTypeColour;
    const auto known = std::find(std::begin(kCommon), std::end(kCommon), std::string_view(folded));
    if (known != std::end(kCommon)) {
        const auto index = unsigned(known - std::begin(kCommon));
        return tone(index * 137.508, index / 5);
    }
    const std::uint32_t h = fnv1a(folded);
    return tone(double(h % 3600) / 10.0, h >> 24);
}

} // namespace folvane
