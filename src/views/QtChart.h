#pragma once
// The chart on screen: a Qt Charts view that draws one pie or bar series with a colour per point,
// and makes every drawn point identifiable.
//
// - At most a few hundred points are drawn on their own; the others merge into grey items that
//   say how many points they hold (LayoutChartItems). A click on a point reports its index, a
//   click on a merged item the run of points it holds.
// - Every bar carries its mark (label and share) above it, level where it fits and turned where it
//   does not; when the bars would be too narrow for a turned mark, the chart grows wider than
//   the view and scrolls sideways.
// - Pie labels stand level in a column on each side of the pie, each in its slice's own stretch
//   of the column and joined to the slice by a line, so no two overlap (PieLabelSlots); the
//   slices too thin for their label are listed in a legend of at most 20 rows. A slice of zero
//   draws nothing.
// - Value axes read 0, step, 2 step, ... in steps of 1, 2 or 5 × 10^n (ValueAxisTicks).
// - Hovering any drawn item shows its label, value and share.
//
// The marks, labels and legend are painted over the chart, from a layout worked out when the
// series or the view's size changes; painting only draws it.
//
// The points, title and drawn items are held at once; the Qt Charts scene (series, slices, axes,
// title) is built from them only where it can be seen. A chart on a page of a shown window that
// is not the page shown (another tab) keeps its new content pending and builds it when its page
// is shown, so moving through the catalogue does not lay out charts nobody sees.

#include <QChartView>

#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "views/ChartLayout.h"
#include "views/ViewInterfaces.h"

class QBarCategoryAxis;
class QPieSeries;
class QValueAxis;
class QPieSlice;
class QBarSet;

namespace folvane {

class QtChart final : public QChartView, public IChart {
    Q_OBJECT
public:
    // `plain` charts (the current-folder chart) have no axes, no frame and no back wall.
    QtChart(const std::string &name, bool plain, QWidget *parent = nullptr);
    ~QtChart() override;

    std::string Name() const override { return name_; }
    void ClearTitle() override;
    void AddTitleLine(const std::string &line) override;
    std::vector<std::string> TitleLines() const override { return title_; }

    void RemoveAllSeries() override;
    void AddSeries(SeriesKind kind) override;
    void AddPoints(std::span<const ChartPoint> points) override;
    SeriesKind Kind() const override { return kind_; }
    std::vector<ChartPoint> Points() const override { return points_; }
    void SetValueUnit(ValueUnit unit) override { unit_ = unit; }
    void SetPointClickHandler(std::function<void(int point)> handler) override { click_ = std::move(handler); }
    void SetMergedClickHandler(std::function<void(int first, int count)> handler) override
    {
        mergedClick_ = std::move(handler);
    }

    // The chart as it stands on screen, at the view's size, on white.
    void SaveBitmap(const std::string &path) override;

    // The colour point `index` is drawn in.
    static QColor PointColor(int index);
    // The share of the series total a value is, as every text of the chart writes it.
    QString ShareText(std::uint64_t value) const;
    // The mark of a point: its label and its share.
    QString MarkText(int point) const;
    // What hovering a point shows: its label, value and share.
    QString HoverText(int point) const;

    // What is drawn: points on their own and merged items, in order.
    const std::vector<ChartItem> &Items() const { return items_; }
    int DrawnItems() const { return int(items_.size()); }
    QString ItemMark(int item) const;
    QString ItemHover(int item) const;
    // Raises the click of a drawn item as a mouse click on it does (queued, like the click itself).
    void ClickItem(int item);
    // Raises the click of a point (queued).
    void ClickPoint(int index);
    // Where a bar is drawn, in scene coordinates (empty for a pie or an item out of range).
    QRectF BarRect(int item) const;

    // What the last paint drew over the chart: each mark or pie label with the item it names and
    // the area it covers (scene coordinates), and the legend's rows.
    struct DrawnMark {
        int item;
        QString text;
        QPolygonF area;
    };
    const std::vector<DrawnMark> &Marks() const { return marks_; }
    const QStringList &LegendTexts() const { return legendTexts_; }

    // Whether new content waits for the chart's page to be shown.
    bool Pending() const { return pending_; }

protected:
    void drawForeground(QPainter *painter, const QRectF &rect) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    // The content changed: the scene is built now, or when the chart is shown if it is out of sight.
    void changed();
    void titleChanged();
    bool outOfSight() const;
    void setSceneTitle();
    void rebuild();
    void buildPie();
    void buildBars();
    void clearQtSeries();
    qreal barWidth() const;
    void layout();
    void layoutPie();
    void layoutBars();
    void drawTitle(QPainter *painter);
    void drawBarMarks(QPainter *painter, const QRectF &exposed);
    void drawPieLabels(QPainter *painter);
    void drawLegend(QPainter *painter);
    // The mark of an item cut to `width` pixels: the label shortened, the share kept; empty when
    // not even the share fits.
    QString fittedMark(int item, qreal width) const;
    QString valueText(std::uint64_t value) const;
    QString itemLabel(int item) const; // a point's label, or what a merged item holds
    // "12 small entries" (what a merged item holds), "30 more extensions" (the legend's last row).
    QString pointsText(int count, const QString &which) const;
    QString mergedText(int count) const;
    QColor itemColor(int item) const;

    std::string name_;
    bool plain_;
    QChart *chart_;
    std::vector<std::string> title_;
    SeriesKind kind_ = SeriesKind::None;
    ValueUnit unit_ = ValueUnit::Files;
    std::vector<ChartPoint> points_;
    std::uint64_t total_ = 0; // the sum of the points' values
    std::function<void(int)> click_;
    std::function<void(int, int)> mergedClick_;
    QAbstractSeries *series_ = nullptr;
    QBarCategoryAxis *x_; // the axes of bars, shown only with them
    QValueAxis *y_;
    std::vector<ChartItem> items_;
    bool pending_ = false; // the scene lags behind the content until the chart is shown
    std::unordered_map<const void *, int> itemOf_; // pie slice -> item

    // Bars: with labels under them on the category axis (few) or without; the values drawn are
    // the items' values divided by `scale_`.
    bool categorised_ = false;
    double scale_ = 1;
    int markLines_ = 1; // bar marks stand level on one or two lines, or (0) all turned
    int relayouts_ = 0; // layouts the chart's own layout has called for since the last change
    // Pie: the labelled items with their text, their slice's angles (degrees clockwise from
    // twelve o'clock), their column and their height in it (chart coordinates); the legend.
    struct PieLabel {
        int item;
        QString text;
        qreal from, to;
        bool right;
        qreal y;
    };
    std::vector<PieLabel> pieLabels_;
    PieLegend legend_;
    QRectF legendRect_;

    mutable std::vector<DrawnMark> marks_;
    QStringList legendTexts_;
};

} // namespace folvane
