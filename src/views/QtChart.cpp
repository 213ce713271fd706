#include "views/QtChart.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QFile>
#include <QGraphicsLayout>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPieSeries>
#include <QPieSlice>
#include <QStackedBarSeries>
#include <QTimer>
#include <QToolTip>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "common/uFunction.h"

namespace folvane {

namespace {

// Up to this many points a bar chart gives each point a category of its own, with its label on
// the axis; beyond it the bars stand side by side in one category.
constexpr int kMaxCategories = 64;
// A pie slice carries its mark when it is at least this share of the whole, in hundredths of a
// per cent (1.5 %).
constexpr Hundredths kMinMarkShare = 150;
// Up to this many points each is drawn on its own; beyond it, only the largest this many are,
// and the others (far below a pixel each) are drawn merged with their neighbours, so that a
// folder of a hundred thousand entries draws as fast as one of a few hundred.
constexpr int kMaxSingleItems = 400;
const QColor kMergedColor(200, 200, 200);

} // namespace

QtChart::QtChart(const std::string &name, bool plain, QWidget *parent)
    : QChartView(parent), name_(name), plain_(plain), chart_(new QChart)
{
    setObjectName(QString::fromStdString(name));
    setChart(chart_); // the view owns the chart
    setRenderHint(QPainter::Antialiasing);
    setFrameShape(QFrame::NoFrame);
    setRubberBand(QChartView::NoRubberBand);

    QLinearGradient gradient(0, 0, 0, 1);
    gradient.setCoordinateMode(QGradient::ObjectBoundingMode);
    gradient.setColorAt(0, QColor(0, 128, 255));
    gradient.setColorAt(1, Qt::white);
    chart_->setBackgroundBrush(gradient);
    chart_->setBackgroundRoundness(0);
    chart_->layout()->setContentsMargins(0, 0, 0, 0); // the gradient reaches every edge of the view
    setBackgroundBrush(Qt::white);
    chart_->setBackgroundPen(Qt::NoPen);
    chart_->setPlotAreaBackgroundBrush(Qt::white);
    chart_->setPlotAreaBackgroundPen(plain ? QPen(Qt::NoPen) : QPen(QColor(128, 128, 128)));
    chart_->setPlotAreaBackgroundVisible(!plain);
    chart_->legend()->hide();
    chart_->setAnimationOptions(QChart::NoAnimation);
    QFont titleFont = chart_->titleFont();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.15);
    chart_->setTitleFont(titleFont);
    chart_->setTitleBrush(Qt::white);
}

QtChart::~QtChart() = default;

QColor QtChart::PointColor(int index)
{
    // Hues a golden angle apart: neighbours always differ, however many points there are.
    const int hue = int(std::fmod(index * 137.508, 360.0));
    const int value = (index / 7) % 2 ? 205 : 240;
    return QColor::fromHsv(hue, 175, value);
}

void QtChart::ClearTitle()
{
    title_.clear();
    chart_->setTitle(QString());
}

void QtChart::AddTitleLine(const std::string &line)
{
    title_.push_back(line);
    QStringList lines;
    for (const std::string &l : title_)
        lines << QString::fromStdString(l);
    chart_->setTitle(lines.join(QLatin1Char('\n')));
}

void QtChart::clearQtSeries()
{
    // Removing a series from the chart deletes it, and axes go with their series: nothing piles up.
    chart_->removeAllSeries();
    for (QAbstractAxis *axis : chart_->axes()) {
        chart_->removeAxis(axis);
        delete axis;
    }
    series_ = nullptr;
    itemOf_.clear();
    slices_.clear();
}

void QtChart::RemoveAllSeries()
{
    clearQtSeries();
    kind_ = SeriesKind::None;
    points_.clear();
    total_ = 0;
    viewport()->update();
}

void QtChart::AddSeries(SeriesKind kind)
{
    clearQtSeries();
    kind_ = kind;
    points_.clear();
    total_ = 0;
    rebuild();
}

void QtChart::AddPoints(std::span<const ChartPoint> points)
{
    if (kind_ == SeriesKind::None)
        return;
    points_.insert(points_.end(), points.begin(), points.end());
    total_ = 0;
    for (const ChartPoint &p : points_)
        total_ = AddBytes(total_, p.value);
    rebuild();
}

QString QtChart::MarkText(int index) const
{
    if (index < 0 || index >= int(points_.size()))
        return {};
    const ChartPoint &p = points_[std::size_t(index)];
    // The share as the lists show it: the same exact rounding and the same decimal separator.
    return QString::fromStdString(p.label) + QLatin1Char(' ') + QString::fromStdString(PercentText(p.value, total_)) +
           QLatin1Char('%');
}

void QtChart::ClickPoint(int index)
{
    // Queued: the handler may redraw this very chart, which deletes the item that was clicked.
    QTimer::singleShot(0, this, [this, index] {
        if (!click_ || index < 0 || index >= int(points_.size()))
            return;
        try {
            click_(index);
        } catch (...) {
            // A failing click ends that click only; nothing crosses the event loop.
        }
    });
}

void QtChart::layoutItems()
{
    items_.clear();
    const int n = int(points_.size());
    auto value = [this](int i) { return points_[std::size_t(i)].value; };
    if (n <= kMaxSingleItems) {
        for (int i = 0; i < n; ++i)
            items_.push_back({i, 1, value(i)});
        return;
    }
    // The largest points (the first of equals) are drawn on their own, in their place; each run
    // of the others between them is one merged item.
    std::vector<int> order(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        order[std::size_t(i)] = i;
    std::partial_sort(order.begin(), order.begin() + kMaxSingleItems, order.end(), [&](int a, int b) {
        return value(a) > value(b) || (value(a) == value(b) && a < b);
    });
    std::vector<bool> single(static_cast<std::size_t>(n), false);
    for (int k = 0; k < kMaxSingleItems; ++k)
        single[std::size_t(order[std::size_t(k)])] = true;
    Item run{0, 0, 0};
    for (int i = 0; i < n; ++i) {
        if (single[std::size_t(i)]) {
            if (run.count > 0)
                items_.push_back(run);
            run = {i + 1, 0, 0};
            items_.push_back({i, 1, value(i)});
        } else {
            if (run.count == 0)
                run.first = i;
            ++run.count;
            run.value = AddBytes(run.value, value(i));
        }
    }
    if (run.count > 0)
        items_.push_back(run);
}

QString QtChart::itemText(const Item &item) const
{
    if (item.count == 1)
        return MarkText(item.first);
    return QStringLiteral("%1 small entries %2%")
        .arg(item.count)
        .arg(QString::fromStdString(PercentText(item.value, total_)));
}

void QtChart::rebuild()
{
    clearQtSeries();
    layoutItems();
    if (kind_ == SeriesKind::Pie)
        buildPie();
    else if (kind_ == SeriesKind::Bar)
        buildBars();
    viewport()->update();
}

void QtChart::buildPie()
{
    auto *pie = new QPieSeries;
    pie->setPieSize(0.7);
    QList<QPieSlice *> slices;
    slices.reserve(qsizetype(items_.size()));
    int marks = 0;
    for (std::size_t k = 0; k < items_.size(); ++k) {
        const Item &item = items_[k];
        auto *slice = new QPieSlice(itemText(item), qreal(item.value));
        const QColor color = item.count == 1 ? PointColor(item.first) : kMergedColor;
        slice->setColor(color);
        slice->setBorderColor(color.darker(130));
        // Marks only where they fit: a thin slice would put its label over its neighbours'.
        const bool mark =
            item.count == 1 && total_ > 0 && PercentHundredths(item.value, total_) >= kMinMarkShare && marks < 40;
        marks += mark;
        slice->setLabelVisible(mark);
        slice->setLabelArmLengthFactor(0.12);
        itemOf_.emplace(slice, int(k));
        slices.push_back(slice);
    }
    pie->append(slices); // one batch
    slices_.assign(slices.begin(), slices.end());
    connect(pie, &QPieSeries::clicked, this, [this](QPieSlice *slice) {
        if (auto found = itemOf_.find(slice); found != itemOf_.end() && items_[std::size_t(found->second)].count == 1)
            ClickPoint(items_[std::size_t(found->second)].first);
    });
    connect(pie, &QPieSeries::hovered, this, [this](QPieSlice *slice, bool state) {
        auto found = itemOf_.find(slice);
        if (state && found != itemOf_.end())
            QToolTip::showText(QCursor::pos(), itemText(items_[std::size_t(found->second)]), this);
        else
            QToolTip::hideText();
    });
    chart_->addSeries(pie);
    series_ = pie;
}

void QtChart::buildBars()
{
    const int n = int(items_.size());
    stacked_ = n <= kMaxCategories;
    QAbstractBarSeries *bars = stacked_ ? static_cast<QAbstractBarSeries *>(new QStackedBarSeries)
                                        : static_cast<QAbstractBarSeries *>(new QBarSeries);
    bars->setBarWidth(stacked_ ? 0.6 : 0.9);
    QList<QBarSet *> sets;
    sets.reserve(n);
    QStringList categories;
    qreal top = 0;
    for (int k = 0; k < n; ++k) {
        const Item &item = items_[std::size_t(k)];
        const QString label =
            item.count == 1 ? QString::fromStdString(points_[std::size_t(item.first)].label) : itemText(item);
        auto *set = new QBarSet(label);
        top = std::max(top, qreal(item.value));
        if (stacked_) {
            // Each point is one set with its value in its own category and nothing elsewhere,
            // so every bar gets a colour of its own and a category label under it.
            QList<qreal> values(n, 0.0);
            values[k] = qreal(item.value);
            set->append(values);
            // The axis drops a category it already has, so a repeated label gets an invisible twin.
            QString category = label;
            while (categories.contains(category))
                category += QChar(0x200B);
            categories << category;
        } else {
            set->append(qreal(item.value));
        }
        const QColor color = item.count == 1 ? PointColor(item.first) : kMergedColor;
        set->setColor(color);
        set->setBorderColor(color.darker(130));
        itemOf_.emplace(set, k);
        sets.push_back(set);
    }
    bars->append(sets); // one batch
    auto itemAt = [this](int index, QBarSet *set) {
        if (stacked_)
            return index;
        auto found = itemOf_.find(set);
        return found == itemOf_.end() ? -1 : found->second;
    };
    connect(bars, &QAbstractBarSeries::clicked, this, [this, itemAt](int index, QBarSet *set) {
        const int k = itemAt(index, set);
        if (k >= 0 && k < int(items_.size()) && items_[std::size_t(k)].count == 1)
            ClickPoint(items_[std::size_t(k)].first);
    });
    connect(bars, &QAbstractBarSeries::hovered, this, [this, itemAt](bool state, int index, QBarSet *set) {
        const int k = itemAt(index, set);
        if (state && k >= 0 && k < int(items_.size()))
            QToolTip::showText(QCursor::pos(), itemText(items_[std::size_t(k)]), this);
        else
            QToolTip::hideText();
    });
    chart_->addSeries(bars);
    series_ = bars;

    auto *x = new QBarCategoryAxis;
    x->append(stacked_ ? categories : QStringList{QString()});
    auto *y = new QValueAxis;
    y->setRange(0, top > 0 ? top * 1.15 : 1);
    y->setLabelFormat(QStringLiteral("%.0f"));
    chart_->addAxis(x, Qt::AlignBottom);
    chart_->addAxis(y, Qt::AlignLeft);
    bars->attachAxis(x);
    bars->attachAxis(y);
    if (plain_) {
        x->setVisible(false);
        y->setVisible(false);
    }
}

int QtChart::VisibleMarks() const
{
    int count = 0;
    if (kind_ == SeriesKind::Pie) {
        for (const QPieSlice *slice : slices_)
            count += slice->isLabelVisible();
        return count;
    }
    return stacked_ && kind_ == SeriesKind::Bar ? int(items_.size()) : 0;
}

void QtChart::drawForeground(QPainter *painter, const QRectF &rect)
{
    QChartView::drawForeground(painter, rect);
    // Bar marks: label and share above each bar, where a bar is wide enough to carry one.
    if (kind_ != SeriesKind::Bar || !series_ || items_.empty() || !stacked_)
        return;
    try {
        const QFontMetrics metrics(font());
        painter->save();
        const QPointF origin = chart_->mapToPosition(QPointF(0, 0), series_);
        const QPointF next = chart_->mapToPosition(QPointF(1, 0), series_);
        const qreal slot = std::abs(next.x() - origin.x());
        const QRectF plot = chart_->mapToScene(chart_->plotArea()).boundingRect();
        for (int k = 0; k < int(items_.size()); ++k) {
            const QPointF top =
                chart_->mapToScene(chart_->mapToPosition(QPointF(k, qreal(items_[std::size_t(k)].value)), series_));
            const QPointF base = chart_->mapToScene(chart_->mapToPosition(QPointF(k, 0), series_));
            const QString text = itemText(items_[std::size_t(k)]);
            const int width = metrics.horizontalAdvance(text) + 6;
            const int height = metrics.height() + 2;
            if (width <= slot * 1.05) {
                // Above the bar, as wide as the text.
                const QRectF box(top.x() - width / 2.0, top.y() - height - 4, width, height);
                painter->setPen(QColor(120, 120, 120));
                painter->setBrush(QColor(255, 255, 225));
                painter->drawRect(box);
                painter->setPen(Qt::black);
                painter->drawText(box, Qt::AlignCenter, text);
            } else if (height <= slot * 0.9) {
                // Turned upright: above the bar where there is room, else inside it, else left out.
                const qreal room = top.y() - plot.top() - 4;
                const qreal inside = base.y() - top.y() - 4;
                const bool above = room >= width;
                if (!above && inside < width)
                    continue;
                painter->save();
                painter->translate(top.x(), above ? top.y() - 4 : top.y() + 4 + width);
                painter->rotate(-90);
                painter->setPen(above ? QColor(Qt::black) : QColor(Qt::white));
                painter->drawText(QRectF(0, -height / 2.0, width, height), Qt::AlignCenter, text);
                painter->restore();
            }
        }
        painter->restore();
    } catch (...) {
        // A mark that cannot be drawn is left out.
    }
}

void QtChart::SaveBitmap(const std::string &path)
{
    // The chart as it stands on screen, at its size, on white.
    const QPixmap shot = grab();
    QImage image(shot.size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.drawPixmap(0, 0, shot);
    }
    const QString file = QFile::decodeName(QByteArray::fromStdString(path));
    if (!image.save(file, "BMP"))
        throw std::runtime_error("Cannot write the bitmap file " + path);
}

} // namespace folvane
