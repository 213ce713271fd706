#include "views/ChartLayout.h"

#include "common/uFunction.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace folvane {

std::vector<ChartItem> LayoutChartItems(std::span<const ChartPoint> points, int maxItems)
{
    std::vector<ChartItem> items;
    const int n = int(points.size());
    auto value = [&](int i) { return points[std::size_t(i)].value; };
    if (n <= maxItems) {
        items.reserve(std::size_t(n));
        for (int i = 0; i < n; ++i)
            items.push_back({i, 1, value(i), false});
        return items;
    }
    // The largest points first (the first of equals); at most maxItems of them stay on their own.
    std::vector<int> order(static_cast<std::size_t>(n));
    std::iota(order.begin(), order.end(), 0);
    std::partial_sort(order.begin(), order.begin() + maxItems, order.end(), [&](int a, int b) {
        return value(a) > value(b) || (value(a) == value(b) && a < b);
    });
    // How many items the `singles` largest on their own make: themselves and the runs between.
    std::vector<int> places;
    auto itemCount = [&](int singles) {
        places.assign(order.begin(), order.begin() + singles);
        std::sort(places.begin(), places.end());
        int runs = 0, next = 0; // next: the first point after the last one on its own
        for (int at : places) {
            runs += at > next;
            next = at + 1;
        }
        return singles + runs + (next < n);
    };
    // Each point more on its own adds an item or two, or takes a run of one away: the count
    // never falls as `singles` grows, so the most that fit are found by halving.
    int low = 0, high = maxItems;
    while (low < high) {
        const int mid = (low + high + 1) / 2;
        if (itemCount(mid) <= maxItems)
            low = mid;
        else
            high = mid - 1;
    }
    std::vector<bool> single(static_cast<std::size_t>(n), false);
    for (int k = 0; k < low; ++k)
        single[std::size_t(order[std::size_t(k)])] = true;
    ChartItem run{0, 0, 0, true};
    for (int i = 0; i < n; ++i) {
        if (single[std::size_t(i)]) {
            if (run.count > 0)
                items.push_back(run);
            run = {i + 1, 0, 0, true};
            items.push_back({i, 1, value(i), false});
        } else {
            if (run.count == 0)
                run.first = i;
            ++run.count;
            run.value = AddBytes(run.value, value(i));
        }
    }
    if (run.count > 0)
        items.push_back(run);
    return items;
}

AxisTicks ValueAxisTicks(double top)
{
    if (!(top > 0))
        return {1, 2};
    const double wanted = std::ceil(top);
    // The smallest step of 1, 2 or 5 × 10^n that reaches the top in at most ten steps.
    for (double power = 1;; power *= 10) {
        for (double m : {1.0, 2.0, 5.0}) {
            const double step = m * power;
            const double steps = std::ceil(wanted / step);
            if (steps <= 10)
                return {step, int(std::max(steps, 1.0)) + 1};
        }
    }
}

std::vector<PieSlot> PieLabelSlots(std::span<const double> spansDegrees, double columnHeight, double labelHeight)
{
    std::vector<PieSlot> slots;
    slots.reserve(spansDegrees.size());
    const double perDegree = columnHeight / 180;
    double start = 0;
    for (double span : spansDegrees) {
        span = std::max(span, 0.0);
        const double end = start + span;
        PieSlot slot;
        slot.right = start + span / 2 <= 180;
        // The part of the slice on its label's half: the right column runs down from twelve
        // o'clock to six, the left one up from six to twelve.
        if (slot.right) {
            slot.top = start * perDegree;
            slot.bottom = std::min(end, 180.0) * perDegree;
        } else {
            slot.top = (360 - std::min(end, 360.0)) * perDegree;
            slot.bottom = (360 - std::max(start, 180.0)) * perDegree;
        }
        slot.fits = span > 0 && slot.bottom - slot.top >= labelHeight - 1e-9;
        slots.push_back(slot);
        start = end;
    }
    return slots;
}

PieLegend LegendRows(std::span<const ChartItem> items, const std::vector<bool> &labelled, int maxRows)
{
    PieLegend legend;
    std::vector<int> left;
    for (int i = 0; i < int(items.size()); ++i)
        if (std::size_t(i) >= labelled.size() || !labelled[std::size_t(i)])
            left.push_back(i);
    std::stable_sort(left.begin(), left.end(),
                     [&](int a, int b) { return items[std::size_t(a)].value > items[std::size_t(b)].value; });
    const int shown = int(left.size()) <= maxRows ? int(left.size()) : std::max(maxRows - 1, 0);
    legend.rows.assign(left.begin(), left.begin() + shown);
    for (std::size_t k = std::size_t(shown); k < left.size(); ++k) {
        legend.more += items[std::size_t(left[k])].count;
        legend.moreValue = AddBytes(legend.moreValue, items[std::size_t(left[k])].value);
    }
    return legend;
}

} // namespace folvane
