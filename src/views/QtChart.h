#pragma once
// The chart on screen: a Qt Charts view that draws one pie or bar series with a colour per point,
// marks with each point's label and share, and a click on a point reported by its index.

#include <QChartView>

#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "views/ViewInterfaces.h"

class QAbstractSeries;
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

    void SaveBitmap(const std::string &path) override;

    // The colour point `index` is drawn in.
    static QColor PointColor(int index);
    // The mark text of a point: its label and its share of the series total.
    QString MarkText(int index) const;
    // Raises the click of a point as a mouse click on it does (queued, like the click itself).
    void ClickPoint(int index);
    // How many marks are drawn (labels are left out where they do not fit).
    int VisibleMarks() const;
    // How many slices or bars are drawn.
    int DrawnItems() const { return int(items_.size()); }

protected:
    void drawForeground(QPainter *painter, const QRectF &rect) override;

private:
    void rebuild();
    void buildPie();
    void buildBars();
    void clearQtSeries();

    std::string name_;
    bool plain_;
    QChart *chart_;
    std::vector<std::string> title_;
    SeriesKind kind_ = SeriesKind::None;
    std::vector<ChartPoint> points_;
    double total_ = 0;
    ValueUnit unit_ = ValueUnit::Files;
    std::function<void(int)> click_;
    std::function<void(int, int)> mergedClick_;
    QAbstractSeries *series_ = nullptr;
    bool stacked_ = false; // bars as one category per point (few points) or side by side in one
    // What is drawn: each point on its own, or, in a chart of very many points, runs of points
    // too small to see merged into one grey item that carries no mark and takes no click.
    struct Item {
        int first = 0, count = 1;
        double value = 0;
    };
    std::vector<Item> items_;
    void layoutItems();
    QString itemText(const Item &item) const;
    std::unordered_map<const void *, int> itemOf_; // slice or bar set -> item
    std::vector<QPieSlice *> slices_;
};

} // namespace folvane
