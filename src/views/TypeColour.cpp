#include "views/TypeColour.h"

#include <cmath>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>

#include "common/uFunction.h"

namespace folvane {

namespace {

// Mid tones, each far from the others and from the grey of entries without an extension, that
// read on a light and on a dark background alike.
constexpr Rgb kDistinct[] = {
    {66, 133, 244},  {244, 140, 36},  {52, 168, 83},   {219, 68, 55},   {155, 89, 182},  {23, 190, 207},
    {240, 200, 50},  {227, 119, 194}, {140, 86, 75},   {188, 189, 34},  {100, 70, 180},  {255, 152, 150},
    {44, 160, 140},  {255, 187, 120}, {152, 223, 138}, {174, 199, 232}, {197, 176, 213}, {40, 70, 150},
};
constexpr std::size_t kDistinctCount = sizeof kDistinct / sizeof kDistinct[0];

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

// The n-th colour handed out: the distinct ones first, then hues a golden angle apart in three tones.
Rgb colourNumber(std::size_t n)
{
    if (n < kDistinctCount)
        return kDistinct[n];
    n -= kDistinctCount;
    static constexpr double kValues[] = {0.90, 0.74, 0.82};
    static constexpr double kSaturations[] = {0.60, 0.70, 0.45};
    return fromHsv(double(n) * 137.508 + 20, kSaturations[n % 3], kValues[n % 3]);
}

struct Registry {
    std::mutex mutex;
    std::unordered_map<std::string, Rgb> colours; // folded extension -> colour
};

Registry &registry()
{
    static Registry instance;
    return instance;
}

} // namespace

Rgb TypeColour(std::string_view ext)
{
    std::string folded = FoldCase(ext);
    if (folded.empty())
        return kNoTypeColour;
    Registry &r = registry();
    std::lock_guard lock(r.mutex);
    auto found = r.colours.find(folded);
    if (found != r.colours.end())
        return found->second;
    const Rgb colour = colourNumber(r.colours.size());
    r.colours.emplace(std::move(folded), colour);
    return colour;
}

void ResetTypeColours()
{
    Registry &r = registry();
    std::lock_guard lock(r.mutex);
    r.colours.clear();
}

} // namespace folvane
