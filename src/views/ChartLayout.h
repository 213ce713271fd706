#pragma once
// How a chart lays out what it draws, as plain rules the chart widget applies: which points are
// drawn on their own and which merge into grey items, the ticks of a value axis, which pie slices
// carry their label on the pie, and what the pie's legend lists.
//
// Nothing here knows Qt, so every rule is tested without a display.

#include <cstdint>
#include <span>
#include <vector>

#include "views/ViewInterfaces.h"

namespace folvane {

// At most this many items are drawn in a chart, points on their own and merged ones together,
// so at most this many points on their own: a folder of a hundred thousand entries then draws as
// fast as one of a few hundred.
inline constexpr int kMaxDrawnItems = 400;

// One drawn item: a point on its own, or a run of neighbouring points merged into one grey item.
struct ChartItem {
    int first = 0;     // the first point it stands for
    int count = 1;     // how many points, in order from `first`
    std::uint64_t value = 0; // their values summed (at most the largest 64-bit number)
    bool merged = false;
};

// The items of a chart of these points. Up to `maxItems` points each is an item of its own.
// Beyond that the largest points (the first of equals) stay on their own, in their place, and
// each run of the others between them is one merged item; as many of the largest stay on their
// own as keep the items within `maxItems`.
std::vector<ChartItem> LayoutChartItems(std::span<const ChartPoint> points, int maxItems = kMaxDrawnItems);

// The ticks of a value axis that starts at 0: `count` ticks at 0, step, 2 step, ..., 2 to 11 of
// them, the step 1, 2 or 5 × 10^n and the last at or above `top`. With nothing to show (a top of
// 0 or less) the axis reads 0 to 1.
struct AxisTicks {
    double step = 1;
    int count = 2;
    double Last() const { return step * (count - 1); }
};
AxisTicks ValueAxisTicks(double top);

// Where a pie's labels go. They stand level in two columns beside the pie, one for the slices
// whose middle is on the right half (angles from twelve o'clock clockwise to six), one for the
// left half; each column is `columnHeight` tall and gives each slice the stretch of it that its
// angle on that half takes, top to bottom in the order the slices sit, so no two stretches
// overlap. A slice carries its label there when its stretch is at least the label's height: a
// slice too thin for its label does not carry one, and neither does a slice of zero.
struct PieSlot {
    bool right = true;   // which column
    double top = 0;      // the slice's stretch of the column, from the column's top
    double bottom = 0;
    bool fits = false;   // the label fits in it
};
std::vector<PieSlot> PieLabelSlots(std::span<const double> spansDegrees, double columnHeight, double labelHeight);

// The rows of a pie's legend: the items that carry no label on the pie (`labelled` is per item),
// largest first and equals in their order, at most `maxRows` rows. When more are left out than
// there is room for, the last row stands for them: the `more` points they hold, `moreValue` together.
struct PieLegend {
    std::vector<int> rows; // item indexes
    int more = 0;         // points, not items: a merged item counts every point it holds
    std::uint64_t moreValue = 0;
};
PieLegend LegendRows(std::span<const ChartItem> items, const std::vector<bool> &labelled, int maxRows = 20);

} // namespace folvane
