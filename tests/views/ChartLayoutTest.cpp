#include "views/ChartLayout.h"

#include <cmath>
#include <random>

#include <gtest/gtest.h>

namespace folvane {
namespace {

TEST(ValueAxisTicks, WholeRisingStepsOfOneTwoOrFiveReachingTheTop)
{
    struct Case {
        double top;
        double step;
        int count;
    } cases[] = {
        {0, 1, 2},              // an empty chart reads 0 to 1
        {1, 1, 2},
        {3, 1, 4},              // 0 1 2 3
        {89, 10, 10},           // 0 10 ... 90, not 0 22 44 66 89
        {9355, 1000, 11},       // 0 1000 ... 10000
        {1000000, 100000, 11},  // 0 100000 ... 1000000
        {0.4, 1, 2},
        {10, 1, 11},
        {11, 2, 7},             // 0 2 ... 12
        {22, 5, 6},             // 0 5 ... 25
        {-5, 1, 2},
    };
    for (const Case &c : cases) {
        const AxisTicks ticks = ValueAxisTicks(c.top);
        EXPECT_EQ(ticks.step, c.step) << c.top;
        EXPECT_EQ(ticks.count, c.count) << c.top;
    }
}

TEST(ValueAxisTicks, EveryTopGetsTwoToElevenTicksTheLastAtOrAboveIt)
{
    auto isNiceStep = [](double step) {
        while (step >= 10 && std::fmod(step, 10) == 0)
            step /= 10;
        return step == 1 || step == 2 || step == 5;
    };
    std::vector<double> tops;
    for (int top = 0; top <= 20000; ++top)
        tops.push_back(top);
    for (double top = 1; top < 1e16; top *= 3.7)
        tops.push_back(std::floor(top));
    for (double top : tops) {
        const AxisTicks ticks = ValueAxisTicks(top);
        ASSERT_GE(ticks.count, 2) << top;
        ASSERT_LE(ticks.count, 11) << top;
        ASSERT_TRUE(isNiceStep(ticks.step)) << top << " step " << ticks.step;
        ASSERT_GE(ticks.Last(), top) << top;
        // No tick beyond the first one at or above the top.
        ASSERT_TRUE(ticks.count == 2 || ticks.Last() - ticks.step < top) << top;
    }
}

TEST(PieLabelSlots, ASliceCarriesItsLabelWhenItsStretchOfTheColumnHoldsIt)
{
    // Which slices of a pie get a label, for a few pies and label heights. A column of 270
    // pixels gives 1.5 pixels per degree of a half-turn.
    struct Pie {
        std::vector<double> spans;
        double column, height;
        std::vector<bool> labelled;
    } pies[] = {
        {{180, 90, 60, 20, 6, 4}, 270, 14, {true, true, true, true, false, false}},
        {{180, 90, 60, 20, 6, 4}, 270, 8, {true, true, true, true, true, false}},
        {{180, 90, 60, 20, 6, 4}, 270, 36, {true, true, true, false, false, false}},
        {{200, 100, 40, 15, 5}, 135, 14, {true, true, true, false, false}}, // 15 degrees: 11.25 pixels
        {{200, 100, 40, 15, 5}, 135, 11, {true, true, true, true, false}},
        {{0, 360}, 100, 14, {false, true}},                                  // a slice of zero: never
        {{9.9, 10, 340.1}, 270, 15, {false, true, true}},                    // 14.85 and 15 pixels
        {{}, 270, 14, {}},
    };
    for (const Pie &pie : pies) {
        std::vector<bool> labelled;
        for (const PieSlot &slot : PieLabelSlots(pie.spans, pie.column, pie.height))
            labelled.push_back(slot.fits);
        EXPECT_EQ(labelled, pie.labelled) << "column " << pie.column << ", height " << pie.height << ", "
                                          << pie.spans.size() << " slices";
    }

    // A slice across six o'clock takes the column of its middle, and only its part on that side.
    const std::vector<PieSlot> across = PieLabelSlots(std::vector<double>{100, 120, 140}, 180, 10);
    EXPECT_TRUE(across[1].right);
    EXPECT_EQ(across[1].top, 100);
    EXPECT_EQ(across[1].bottom, 180);
    EXPECT_FALSE(across[2].right);
    EXPECT_EQ(across[2].top, 0);
    EXPECT_EQ(across[2].bottom, 140);
}

TEST(PieLabelSlots, LabelledStretchesOfOneColumnNeverOverlap)
{
    std::mt19937 rng(14);
    for (int round = 0; round < 500; ++round) {
        const int n = std::uniform_int_distribution<int>(1, 60)(rng);
        std::vector<double> values;
        double sum = 0;
        for (int i = 0; i < n; ++i) {
            values.push_back(round % 2 ? std::uniform_real_distribution<double>(0, 1)(rng)
                                       : std::pow(10.0, std::uniform_real_distribution<double>(0, 5)(rng)));
            sum += values.back();
        }
        std::vector<double> spans;
        for (double v : values)
            spans.push_back(v / sum * 360);
        const double column = std::uniform_real_distribution<double>(50, 600)(rng);
        const double height = std::uniform_real_distribution<double>(8, 30)(rng);
        const std::vector<PieSlot> slots = PieLabelSlots(spans, column, height);
        for (std::size_t i = 0; i < slots.size(); ++i) {
            if (!slots[i].fits)
                continue;
            ASSERT_GE(slots[i].bottom - slots[i].top, height - 1e-6);
            ASSERT_GE(slots[i].top, -1e-6);
            ASSERT_LE(slots[i].bottom, column + 1e-6);
            for (std::size_t j = i + 1; j < slots.size(); ++j)
                if (slots[j].fits && slots[j].right == slots[i].right)
                    ASSERT_TRUE(slots[j].top >= slots[i].bottom - 1e-6 || slots[j].bottom <= slots[i].top + 1e-6)
                        << "round " << round << ": slices " << i << " and " << j;
        }
    }
}

TEST(LegendRows, UnlabelledItemsLargestFirstAndTheRestInOneRow)
{
    std::vector<ChartItem> items = {{0, 1, 50, false}, {1, 1, 0, false}, {2, 1, 30, false},
                                    {3, 1, 5, false},  {4, 3, 5, true},  {7, 1, 1, false}};
    const std::vector<bool> labelled = {true, false, false, false, false, false};

    PieLegend all = LegendRows(items, labelled, 20);
    EXPECT_EQ(all.rows, (std::vector<int>{2, 3, 4, 5, 1})); // equals in their order, zero last
    EXPECT_EQ(all.more, 0);

    PieLegend three = LegendRows(items, labelled, 3);
    EXPECT_EQ(three.rows, (std::vector<int>{2, 3})); // two rows and one for the rest
    EXPECT_EQ(three.more, 5);                        // the merged item holds three points
    EXPECT_EQ(three.moreValue, 6);

    EXPECT_TRUE(LegendRows(items, std::vector<bool>(items.size(), true)).rows.empty());
}

TEST(LayoutChartItems, TheLargestPointsStayOnTheirOwnAndTheRunsBetweenThemMerge)
{
    std::vector<ChartPoint> few = {{"a", 3}, {"b", 0}, {"c", 0}};
    const std::vector<ChartItem> items = LayoutChartItems(few);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[1].first, 1);
    EXPECT_EQ(items[1].value, 0u); // a point of nothing is still an item of its own
    EXPECT_FALSE(items[2].merged);

    // 100,000 points of 1 and three of 50,000: the three and the first 394 small ones on their
    // own, in their place, and the three runs after them merged: 400 items.
    std::vector<ChartPoint> many(100000, ChartPoint{"small", 1});
    for (int at : {50000, 70000, 99999})
        many[std::size_t(at)] = {"large", 50000};
    const std::vector<ChartItem> drawn = LayoutChartItems(many);
    ASSERT_EQ(drawn.size(), std::size_t(kMaxDrawnItems));
    int points = 0;
    for (std::size_t k = 0; k < drawn.size(); ++k) {
        EXPECT_EQ(drawn[k].first, points) << k; // every point in exactly one item, in order
        points += drawn[k].count;
        EXPECT_EQ(drawn[k].merged, k == 394 || k == 396 || k == 398) << k;
    }
    EXPECT_EQ(points, 100000);
    EXPECT_EQ(drawn[394].first, 394);
    EXPECT_EQ(drawn[394].count, 50000 - 394);
    EXPECT_EQ(drawn[394].value, 50000 - 394);
    EXPECT_EQ(drawn[395].first, 50000);
    EXPECT_EQ(drawn[395].value, 50000);

    // One point more than fits: the smallest merges, even alone, and the last of the equals
    // join the run at the end until the items fit.
    std::vector<ChartPoint> justOver(kMaxDrawnItems + 1, ChartPoint{"p", 2});
    justOver[7].value = 1;
    const std::vector<ChartItem> over = LayoutChartItems(justOver);
    ASSERT_EQ(over.size(), std::size_t(kMaxDrawnItems));
    EXPECT_TRUE(over[7].merged);
    EXPECT_EQ(over[7].count, 1);
    EXPECT_TRUE(over.back().merged);
    EXPECT_EQ(over.back().first, kMaxDrawnItems - 1);
    EXPECT_EQ(over.back().count, 2);

    // Whatever the values, at most 400 items, and every point on its own is at least as large
    // as any merged one.
    std::mt19937 rng(24);
    for (int round = 0; round < 20; ++round) {
        std::vector<ChartPoint> list(std::size_t(std::uniform_int_distribution<int>(401, 5000)(rng)));
        for (ChartPoint &p : list)
            p.value = std::floor(std::pow(10.0, std::uniform_real_distribution<double>(0, 4)(rng)));
        const std::vector<ChartItem> items = LayoutChartItems(list);
        ASSERT_LE(items.size(), std::size_t(kMaxDrawnItems));
        double smallestSingle = 1e300, largestMerged = 0;
        for (const ChartItem &item : items) {
            for (int i = item.first; i < item.first + item.count; ++i) {
                const double value = list[std::size_t(i)].value;
                if (item.merged)
                    largestMerged = std::max(largestMerged, value);
                else
                    smallestSingle = std::min(smallestSingle, value);
            }
        }
        EXPECT_GE(smallestSingle, largestMerged) << "round " << round;
    }
}

} // namespace
} // namespace folvane
