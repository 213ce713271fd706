#include <gtest/gtest.h>

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QImage>
#include <QPieSeries>
#include <QPieSlice>
#include <QScrollBar>
#include <QToolTip>
#include <QValueAxis>

#include <cmath>
#include <map>
#include <random>
#include <set>

#include "GuiTestSupport.h"
#include "support/TempDir.h"
#include "catalog/RollUp.h"
#include "common/TextForms.h"
#include "views/QtChart.h"

using namespace folvane;
using folvane::test::GuiApp;
using folvane::test::Settle;
using folvane::test::WaitUntil;

namespace {

std::vector<ChartPoint> points(int n)
{
    std::vector<ChartPoint> list;
    for (int i = 0; i < n; ++i)
        list.push_back({"p" + std::to_string(i), std::uint64_t(i + 1)});
    return list;
}

void draw(QtChart &chart, SeriesKind kind, const std::vector<ChartPoint> &list)
{
    chart.ClearTitle();
    chart.AddTitleLine("Title");
    chart.RemoveAllSeries();
    chart.AddSeries(kind);
    chart.AddPoints(list);
}

class QtChartTest : public ::testing::Test {
protected:
    void SetUp() override { GuiApp(); }
};

} // namespace

TEST_F(QtChartTest, PieHasASliceAndAColourPerPointWithLabelAndShare)
{
    QtChart chart("AgeChart", false);
    draw(chart, SeriesKind::Pie, {{"one day", 1}, {"three days", 3}, {"above one year", 0}});
    EXPECT_EQ(chart.Kind(), SeriesKind::Pie);
    EXPECT_EQ(chart.TitleLines(), std::vector<std::string>{"Title"});
    EXPECT_EQ(chart.chart()->title(), QStringLiteral("Title"));
    ASSERT_EQ(chart.chart()->series().size(), 1);
    auto *pie = qobject_cast<QPieSeries *>(chart.chart()->series().first());
    ASSERT_NE(pie, nullptr);
    ASSERT_EQ(pie->count(), 2); // a slice of zero draws nothing
    EXPECT_EQ(chart.MarkText(0), QStringLiteral("one day 25.00%"));
    EXPECT_EQ(chart.MarkText(1), QStringLiteral("three days 75.00%"));
    EXPECT_EQ(chart.MarkText(2), QStringLiteral("above one year 0.00%"));
    EXPECT_NE(pie->slices()[0]->color(), pie->slices()[1]->color());
    ASSERT_EQ(chart.Points().size(), 3u);
    EXPECT_EQ(chart.Points()[1].label, "three days");
    EXPECT_EQ(chart.Points()[1].value, 3);
}

TEST_F(QtChartTest, MarksShowTheSharesTheRollUpAndTheListsShow)
{
    // 96, 23 and 41 of 160 bytes: 60, 14.375 and 25.625 %, in the catalogue as in the marks.
    TNodeTree tree;
    const NodeId top = tree.AddTopLevel();
    tree.SetField(top, FileType, "folder");
    std::vector<ChartPoint> list;
    std::vector<NodeId> files;
    for (auto [name, size] : {std::pair<const char *, const char *>{"sub", "96"}, {"a.txt", "23"}, {"b.txt", "41"}}) {
        const NodeId n = tree.AddChild(top);
        tree.SetField(n, FileType, "file");
        tree.SetField(n, FileSize, size);
        files.push_back(n);
        list.push_back({name, std::stoull(size)});
    }
    const std::uint64_t total = RollUpFolderSize(tree, top);
    tree.SetSize(top, total);
    FillPercentagesAndCounts(tree, total);
    QtChart chart("ChartFile", true);
    for (const TextForms &forms : {TextForms::EnUs(), TextForms::DeDe()}) {
        SetForms(forms);
        draw(chart, SeriesKind::Pie, list);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(chart.MarkText(i).toStdString(), list[std::size_t(i)].label + " " +
                                                            tree.Field(files[std::size_t(i)], SizePercentage) + "%");
        EXPECT_EQ(chart.MarkText(1), QStringLiteral("a.txt 14") + QString::fromStdString(forms.decimal) +
                                         QStringLiteral("38%"));
    }
    SetForms(TextForms::EnUs());
    draw(chart, SeriesKind::Bar, {{"none", 0}, {"also none", 0}});
    EXPECT_EQ(chart.MarkText(0), QStringLiteral("none 0%"));
}

TEST_F(QtChartTest, RedrawsDoNotPileUpSeriesOrAxes)
{
    QtChart chart("SizeChart", false);
    for (int i = 0; i < 30; ++i)
        draw(chart, i % 2 ? SeriesKind::Pie : SeriesKind::Bar, points(7));
    EXPECT_EQ(chart.chart()->series().size(), 1);
    // The two axes of bars stay, hidden under a pie.
    ASSERT_EQ(chart.chart()->axes().size(), 2);
    for (QAbstractAxis *axis : chart.chart()->axes())
        EXPECT_FALSE(axis->isVisible());
    draw(chart, SeriesKind::Bar, points(7));
    EXPECT_EQ(chart.chart()->series().size(), 1);
    ASSERT_EQ(chart.chart()->axes().size(), 2);
    for (QAbstractAxis *axis : chart.chart()->axes())
        EXPECT_TRUE(axis->isVisible());
    chart.RemoveAllSeries();
    EXPECT_EQ(chart.Kind(), SeriesKind::None);
    EXPECT_TRUE(chart.chart()->series().isEmpty());
    EXPECT_TRUE(chart.Points().empty());
}

TEST_F(QtChartTest, BarsGetACategoryAndAColourEachAndPlainChartsNoAxes)
{
    QtChart chart("TypeChart", false);
    chart.resize(600, 400);
    chart.show();
    draw(chart, SeriesKind::Bar, points(5));
    Settle();
    auto *bars = qobject_cast<QBarSeries *>(chart.chart()->series().first());
    ASSERT_NE(bars, nullptr);
    ASSERT_EQ(bars->count(), 1); // one set holds the bars; each is painted in its own colour
    EXPECT_EQ(bars->barSets()[0]->at(3), 4);
    auto *x = qobject_cast<QBarCategoryAxis *>(chart.chart()->axes(Qt::Horizontal).first());
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(x->categories(), (QStringList{"p0", "p1", "p2", "p3", "p4"}));
    EXPECT_TRUE(x->isVisible());
    const QImage shot = chart.viewport()->grab().toImage();
    std::set<QRgb> colours;
    for (int k = 0; k < 5; ++k) {
        const QPoint middle = chart.mapFromScene(chart.BarRect(k).center());
        EXPECT_EQ(shot.pixelColor(middle).rgb(), QtChart::PointColor(k).rgb()) << k;
        colours.insert(shot.pixel(middle));
    }
    EXPECT_EQ(colours.size(), 5u);

    QtChart plain("ChartFile", true);
    draw(plain, SeriesKind::Bar, points(5));
    for (QAbstractAxis *axis : plain.chart()->axes())
        EXPECT_FALSE(axis->isVisible());
    EXPECT_FALSE(plain.chart()->isPlotAreaBackgroundVisible());
    EXPECT_TRUE(chart.chart()->isPlotAreaBackgroundVisible());
}

TEST_F(QtChartTest, ClicksAreReportedByPointIndex)
{
    QtChart chart("SizeChart", false);
    std::vector<int> clicked;
    chart.SetPointClickHandler([&](int point) { clicked.push_back(point); });
    draw(chart, SeriesKind::Pie, points(4));
    auto *pie = qobject_cast<QPieSeries *>(chart.chart()->series().first());
    emit pie->clicked(pie->slices()[2]);
    draw(chart, SeriesKind::Bar, points(4));
    auto *bars = qobject_cast<QAbstractBarSeries *>(chart.chart()->series().first());
    emit bars->clicked(3, bars->barSets()[0]);
    draw(chart, SeriesKind::Bar, points(100));
    bars = qobject_cast<QAbstractBarSeries *>(chart.chart()->series().first());
    emit bars->clicked(77, bars->barSets()[0]);
    ASSERT_TRUE(WaitUntil([&] { return clicked.size() == 3; }));
    EXPECT_EQ(clicked, (std::vector<int>{2, 3, 77}));

    // A merged item reports the run of points it holds.
    std::vector<std::pair<int, int>> merged;
    chart.SetMergedClickHandler([&](int first, int count) { merged.emplace_back(first, count); });
    std::vector<ChartPoint> many = points(kMaxDrawnItems + 30);
    for (int i = 10; i < 40; ++i)
        many[std::size_t(i)].value = 0.5; // the 30 smallest, in one run
    draw(chart, SeriesKind::Bar, many);
    // The two next smallest, points 0 and 1, merge too, so that the items fit.
    ASSERT_EQ(chart.DrawnItems(), kMaxDrawnItems);
    ASSERT_TRUE(chart.Items()[9].merged);
    bars = qobject_cast<QAbstractBarSeries *>(chart.chart()->series().first());
    emit bars->clicked(9, bars->barSets()[0]);
    ASSERT_TRUE(WaitUntil([&] { return !merged.empty(); }));
    EXPECT_EQ(merged, (std::vector<std::pair<int, int>>{{10, 30}}));
    EXPECT_EQ(clicked.size(), 3u);
}

TEST_F(QtChartTest, AClickHandlerMayRedrawTheChartItCameFrom)
{
    QtChart chart("ChartFile", true);
    chart.resize(400, 300);
    chart.show();
    int clicks = 0;
    chart.SetPointClickHandler([&](int) {
        ++clicks;
        draw(chart, SeriesKind::Pie, points(3));
    });
    draw(chart, SeriesKind::Pie, points(3));
    auto *pie = qobject_cast<QPieSeries *>(chart.chart()->series().first());
    emit pie->clicked(pie->slices()[0]);
    ASSERT_TRUE(WaitUntil([&] { return clicks == 1; }));
    Settle();
    EXPECT_EQ(chart.chart()->series().size(), 1);
}

TEST_F(QtChartTest, ABigFolderDrawsItsLargestPointsAndMergesTheRest)
{
    QtChart chart("ChartFile", true);
    chart.resize(900, 400);
    chart.show();
    std::vector<int> clicked;
    std::vector<std::pair<int, int>> merged;
    chart.SetPointClickHandler([&](int point) { clicked.push_back(point); });
    chart.SetMergedClickHandler([&](int first, int count) { merged.emplace_back(first, count); });
    // 100,000 entries of one byte and three of 50,000 bytes each.
    std::vector<ChartPoint> many(100000, ChartPoint{"small", 1});
    for (int at : {50000, 70000, 99999})
        many[std::size_t(at)] = {"large" + std::to_string(at), 50000};
    draw(chart, SeriesKind::Pie, many);
    EXPECT_EQ(chart.Points().size(), 100000u);
    EXPECT_EQ(chart.Points()[50000].label, "large50000");
    // The largest on their own (the three large ones and the first 394 small ones), in their
    // place; the runs of small ones after them merged: 400 items.
    EXPECT_EQ(chart.DrawnItems(), kMaxDrawnItems);
    auto *pie = qobject_cast<QPieSeries *>(chart.chart()->series().first());
    ASSERT_EQ(pie->count(), kMaxDrawnItems);
    // Slices in item order: item 394 is the first run, item 395 the point 50000.
    QPieSlice *run = pie->slices()[394], *large = pie->slices()[395];
    EXPECT_EQ(run->color(), QColor(200, 200, 200));
    EXPECT_EQ(chart.ItemMark(394), QStringLiteral("49,606 small entries 19.84%"));
    EXPECT_EQ(chart.ItemMark(395), QStringLiteral("large50000 20.00%"));
    emit pie->clicked(large);
    emit pie->clicked(run);
    ASSERT_TRUE(WaitUntil([&] { return !clicked.empty() && !merged.empty(); }));
    EXPECT_EQ(clicked, std::vector<int>{50000});
    EXPECT_EQ(merged, (std::vector<std::pair<int, int>>{{394, 49606}}));

    // The same as bars: each drawn item carries a mark, the chart scrolls sideways.
    draw(chart, SeriesKind::Bar, many);
    Settle();
    EXPECT_GT(chart.chart()->size().width(), chart.viewport()->width());
    EXPECT_EQ(chart.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
}

TEST_F(QtChartTest, SavesWhatIsOnScreenAsABitmapOnWhite)
{
    folvane::test::TempDir dir;
    QtChart chart("AgeChart", false);
    chart.resize(420, 310);
    chart.show();
    draw(chart, SeriesKind::Pie, points(4));
    Settle();
    const std::string file = dir / "chart.bmp";
    chart.SaveBitmap(file);
    QImage image(QString::fromStdString(file), "BMP");
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(420, 310));
    // The background runs from blue at the top to white at the bottom.
    const QColor top = image.pixelColor(3, 3), bottom = image.pixelColor(3, 306);
    EXPECT_GT(top.blue(), 200);
    EXPECT_LT(top.red(), 60);
    EXPECT_GT(bottom.red(), 230);
    EXPECT_THROW(chart.SaveBitmap(dir / "missing/folder/chart.bmp"), std::exception);

    // A chart wider than the view is saved at the view's size, as it shows, without its scroll bar.
    draw(chart, SeriesKind::Bar, points(300));
    Settle();
    ASSERT_GT(chart.chart()->size().width(), 420);
    chart.SaveBitmap(file);
    ASSERT_TRUE(image.load(QString::fromStdString(file), "BMP"));
    EXPECT_EQ(image.size(), QSize(420, 310));
    EXPECT_GT(image.pixelColor(210, 306).red(), 230); // white where the scroll bar stands
}

TEST_F(QtChartTest, ValueAxesReadWholeStepsFromZero)
{
    QtChart chart("AgeChart", false);
    chart.resize(700, 400);
    chart.show();
    auto axis = [&] { return qobject_cast<QValueAxis *>(chart.chart()->axes(Qt::Vertical).first()); };
    // The top of the axis is the last tick of the rule for a top a little above the tallest bar,
    // which leaves room for its mark.
    for (double top : {0.0, 3.0, 89.0, 9355.0}) {
        draw(chart, SeriesKind::Bar, {{"a", top}, {"b", top / 3}, {"c", 0}});
        Settle();
        const QValueAxis *y = axis();
        ASSERT_TRUE(y->isVisible());
        EXPECT_EQ(y->min(), 0) << top;
        const double step = (y->max() - y->min()) / (y->tickCount() - 1);
        const AxisTicks ticks = ValueAxisTicks(y->max() - 1e-9);
        EXPECT_EQ(y->max(), ticks.Last()) << top;
        EXPECT_EQ(y->tickCount(), ticks.count) << top;
        EXPECT_EQ(step, ticks.step) << top;
        EXPECT_GE(y->max(), top);
        EXPECT_EQ(y->labelFormat(), QStringLiteral("%.0f"));
    }
    draw(chart, SeriesKind::Bar, {{"a", 0}, {"b", 0}});
    Settle();
    EXPECT_EQ(axis()->max(), 1); // an empty chart reads 0 to 1
    EXPECT_EQ(axis()->tickCount(), 2);

    // Bytes read in the unit of the largest value.
    chart.SetValueUnit(ValueUnit::Bytes);
    draw(chart, SeriesKind::Bar, {{"iso", 3435973837}, {"txt", 1000}});
    Settle();
    EXPECT_EQ(axis()->labelFormat(), QStringLiteral("%.0f GB"));
    EXPECT_GE(axis()->max(), 3.2);
    EXPECT_LE(axis()->max(), 10);
}

TEST_F(QtChartTest, HoverTextsGiveLabelValueAndShare)
{
    SetForms(TextForms::EnUs());
    QtChart chart("ChartFile", true);
    chart.resize(600, 400);
    chart.show();
    chart.SetValueUnit(ValueUnit::Bytes);
    std::vector<ChartPoint> list = {{"e.log", 300000}, {"d.txt", 10}, {"empty", 0}};
    for (SeriesKind kind : {SeriesKind::Pie, SeriesKind::Bar}) {
        draw(chart, kind, list);
        EXPECT_EQ(chart.HoverText(0), QStringLiteral("e.log\n292.97 KB, 100.00%"));
        EXPECT_EQ(chart.HoverText(1), QStringLiteral("d.txt\n10.00 B, 0.00%"));
        // What a mouse over each drawn item shows.
        for (int k = 0; k < chart.DrawnItems(); ++k) {
            QToolTip::hideText();
            if (kind == SeriesKind::Pie) {
                auto *pie = qobject_cast<QPieSeries *>(chart.chart()->series().first());
                if (k >= pie->count())
                    continue; // the slice of zero is not drawn
                emit pie->hovered(pie->slices()[k], true);
            } else {
                auto *bars = qobject_cast<QAbstractBarSeries *>(chart.chart()->series().first());
                emit bars->hovered(true, k, bars->barSets()[0]);
            }
            EXPECT_EQ(QToolTip::text(), chart.ItemHover(k)) << k;
        }
    }
    QToolTip::hideText();
    QtChart ages("AgeChart", false);
    draw(ages, SeriesKind::Bar, {{"one day", 1}, {"three days", 2234}});
    EXPECT_EQ(ages.HoverText(0), QStringLiteral("one day\n1 file, 0.04%"));
    EXPECT_EQ(ages.HoverText(1), QStringLiteral("three days\n2,234 files, 99.96%"));
    // A merged item says how many points it holds.
    QtChart types("TypeChart", false);
    std::vector<ChartPoint> extensions(kMaxDrawnItems + 2, ChartPoint{"x", 10});
    extensions[kMaxDrawnItems].value = extensions[kMaxDrawnItems + 1].value = 1;
    draw(types, SeriesKind::Pie, extensions);
    ASSERT_TRUE(types.Items().back().merged);
    EXPECT_EQ(types.ItemHover(types.DrawnItems() - 1), QStringLiteral("3 small extensions\n12 files, 0.30%"));
}

TEST_F(QtChartTest, PieLabelsNeverOverlapAndThinSlicesGoToALegend)
{
    std::mt19937 rng(14);
    for (int round = 0; round < 12; ++round) {
        QtChart chart("ChartFile", true);
        chart.resize(round % 2 ? 930 : 520, round % 3 ? 340 : 240);
        chart.show();
        std::vector<ChartPoint> list;
        const int n = std::uniform_int_distribution<int>(2, 150)(rng);
        for (int i = 0; i < n; ++i)
            list.push_back({"entry-" + std::to_string(i) + (i % 4 ? "" : ".a-rather-long-extension"),
                            i % 9 == 0 ? 0 : std::pow(10.0, std::uniform_real_distribution<double>(0, 4)(rng))});
        draw(chart, SeriesKind::Pie, list);
        Settle();
        chart.viewport()->repaint();
        const auto &marks = chart.Marks();
        std::set<int> labelled;
        const QRectF view = chart.mapToScene(chart.viewport()->rect()).boundingRect();
        for (std::size_t a = 0; a < marks.size(); ++a) {
            labelled.insert(marks[a].item);
            EXPECT_TRUE(view.contains(marks[a].area.boundingRect())) << "round " << round;
            EXPECT_GT(chart.Items()[std::size_t(marks[a].item)].value, 0);
            for (std::size_t b = a + 1; b < marks.size(); ++b)
                EXPECT_FALSE(marks[a].area.boundingRect().intersects(marks[b].area.boundingRect()))
                    << "round " << round << ": " << marks[a].text.toStdString() << " / " << marks[b].text.toStdString();
        }
        // The legend: what carries no label, largest first, at most 20 rows, the last for the rest.
        const QStringList &legend = chart.LegendTexts();
        EXPECT_LE(legend.size(), 20);
        const int unlabelled = chart.DrawnItems() - int(labelled.size());
        if (unlabelled == 0) {
            EXPECT_TRUE(legend.isEmpty());
            continue;
        }
        ASSERT_FALSE(legend.isEmpty()) << "round " << round;
        if (unlabelled > legend.size())
            EXPECT_TRUE(legend.back().contains(QStringLiteral(" more entries "))) << legend.back().toStdString();
        else
            for (int k = 0; k < chart.DrawnItems(); ++k)
                EXPECT_EQ(labelled.count(k) == 0, legend.contains(chart.ItemMark(k))) << k;
    }
}

TEST_F(QtChartTest, EveryBarCarriesItsMarkAndManyBarsScrollSideways)
{
    for (int n : {6, 70, 500}) {
        QtChart chart("ChartFile", true);
        chart.resize(900, 360);
        chart.show();
        std::vector<ChartPoint> list;
        for (int i = 0; i < n; ++i)
            list.push_back({"file-" + std::to_string(i) + ".txt", double(1000 + (i * 7919) % 5000)});
        draw(chart, SeriesKind::Bar, list);
        Settle();
        // Page by page through the chart, every bar's mark stands above it.
        std::map<int, QPolygonF> marks;
        QScrollBar *bar = chart.horizontalScrollBar();
        for (int at = 0;; at += bar->pageStep()) {
            bar->setValue(std::min(at, bar->maximum()));
            chart.viewport()->repaint();
            for (const QtChart::DrawnMark &m : chart.Marks())
                marks[m.item] = m.area;
            if (at >= bar->maximum())
                break;
        }
        ASSERT_EQ(int(marks.size()), chart.DrawnItems()) << n;
        for (auto &[k, area] : marks) {
            const QRectF box = area.boundingRect(), barRect = chart.BarRect(k);
            EXPECT_LE(box.bottom(), barRect.top() + 1) << n << " bar " << k;
            EXPECT_NEAR(box.center().x(), barRect.center().x(), 1) << n << " bar " << k;
            if (auto next = marks.find(k + 1); next != marks.end())
                EXPECT_FALSE(box.intersects(next->second.boundingRect())) << n << " bar " << k;
        }
        // Bars too narrow for a turned mark make the chart scroll: 70 of them do in 900 pixels.
        EXPECT_EQ(bar->maximum() > 0, n >= 70) << n;
    }
}
