#include <gtest/gtest.h>

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QImage>
#include <QPieSeries>
#include <QPieSlice>
#include <QStackedBarSeries>

#include <set>

#include "GuiTestSupport.h"
#include "support/TempDir.h"
#include "catalog/RollUp.h"
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
    ASSERT_EQ(pie->count(), 3);
    EXPECT_EQ(pie->slices()[1]->label(), chart.MarkText(1));
    EXPECT_TRUE(chart.MarkText(0).startsWith(QStringLiteral("one day 25")));
    EXPECT_TRUE(chart.MarkText(1).endsWith(QStringLiteral("%")));
    EXPECT_TRUE(chart.MarkText(1).contains(QStringLiteral("75")));
    std::set<QRgb> colours;
    for (QPieSlice *slice : pie->slices())
        colours.insert(slice->color().rgb());
    EXPECT_EQ(colours.size(), 3u);
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
    EXPECT_EQ(chart.chart()->axes().size(), 0); // the last drawing was a pie
    draw(chart, SeriesKind::Bar, points(7));
    EXPECT_EQ(chart.chart()->series().size(), 1);
    EXPECT_EQ(chart.chart()->axes().size(), 2);
    chart.RemoveAllSeries();
    EXPECT_EQ(chart.Kind(), SeriesKind::None);
    EXPECT_TRUE(chart.chart()->series().isEmpty());
    EXPECT_TRUE(chart.Points().empty());
}

TEST_F(QtChartTest, BarsGetACategoryAndAColourEachAndPlainChartsNoAxes)
{
    QtChart chart("TypeChart", false);
    draw(chart, SeriesKind::Bar, points(5));
    auto *bars = qobject_cast<QStackedBarSeries *>(chart.chart()->series().first());
    ASSERT_NE(bars, nullptr);
    ASSERT_EQ(bars->count(), 5);
    auto *x = qobject_cast<QBarCategoryAxis *>(chart.chart()->axes(Qt::Horizontal).first());
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(x->categories(), (QStringList{"p0", "p1", "p2", "p3", "p4"}));
    EXPECT_TRUE(x->isVisible());
    // Each set stands for one point: its own value in its own category, nothing elsewhere.
    EXPECT_EQ(bars->barSets()[3]->at(3), 4);
    EXPECT_EQ(bars->barSets()[3]->at(2), 0);
    EXPECT_NE(bars->barSets()[3]->color(), bars->barSets()[2]->color());

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
    emit bars->clicked(3, bars->barSets()[3]);
    // Many points stand side by side in one category; the set tells the point.
    draw(chart, SeriesKind::Bar, points(100));
    bars = qobject_cast<QAbstractBarSeries *>(chart.chart()->series().first());
    emit bars->clicked(0, bars->barSets()[77]);
    ASSERT_TRUE(WaitUntil([&] { return clicked.size() == 3; }));
    EXPECT_EQ(clicked, (std::vector<int>{2, 3, 77}));
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
    std::vector<int> clicked;
    chart.SetPointClickHandler([&](int point) { clicked.push_back(point); });
    // 100,000 entries of one byte and three of 50,000 bytes each.
    std::vector<ChartPoint> many(100000, ChartPoint{"small", 1});
    for (int at : {50000, 70000, 99999})
        many[std::size_t(at)] = {"large" + std::to_string(at), 50000};
    draw(chart, SeriesKind::Pie, many);
    EXPECT_EQ(chart.Points().size(), 100000u);
    EXPECT_EQ(chart.Points()[50000].label, "large50000");
    // The 400 largest on their own (the three large ones and the first 397 small ones), in
    // their place; the runs of small ones after them merged: 400 + 3 items.
    EXPECT_EQ(chart.DrawnItems(), 403);
    EXPECT_EQ(chart.VisibleMarks(), 3); // only the large slices are wide enough for a mark
    auto *pie = qobject_cast<QPieSeries *>(chart.chart()->series().first());
    ASSERT_EQ(pie->count(), 403);
    QPieSlice *large = nullptr, *merged = nullptr;
    for (QPieSlice *slice : pie->slices()) {
        if (slice->label().startsWith(QStringLiteral("large50000 ")))
            large = slice;
        if (!merged && slice->color() == QColor(200, 200, 200))
            merged = slice;
    }
    ASSERT_TRUE(large && merged);
    EXPECT_TRUE(merged->label().startsWith(QStringLiteral("49603 small entries")));
    emit pie->clicked(large);
    emit pie->clicked(merged); // no one point to go to
    ASSERT_TRUE(WaitUntil([&] { return !clicked.empty(); }));
    Settle();
    EXPECT_EQ(clicked, std::vector<int>{50000});

    // A few hundred points are drawn one by one, marks only on the slices wide enough.
    draw(chart, SeriesKind::Pie, points(300));
    EXPECT_EQ(chart.DrawnItems(), 300);
    EXPECT_LE(chart.VisibleMarks(), 40);
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
}
