#include "views/QtChart.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QFile>
#include <QFontMetricsF>
#include <QGraphicsLayout>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPieSeries>
#include <QPieSlice>
#include <QScrollBar>
#include <QTimer>
#include <QToolTip>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

#include "common/uFunction.h"
#include "common/TextForms.h"
#include "views/uCtrl.h"

namespace folvane {

namespace {

// Up to this many bars, each has its label under it on the category axis.
constexpr int kMaxCategories = 64;
// The share of its slot a bar takes: a few with room between them, many nearly touching.
constexpr qreal kCategoryBarWidth = 0.6;
constexpr qreal kCrowdedBarWidth = 0.85;
// At most this share of a bar chart's height is kept above the tallest bar for its turned mark.
constexpr qreal kMarkRoomShare = 0.45;
// Pie labels stand this far beside the pie.
constexpr qreal kLabelGap = 14;
constexpr int kMaxLegendRows = 20;
const QColor kMergedColor(200, 200, 200);

// A whole number with the user's grouping ("1,234").
QString groupedWhole(double value)
{
    std::string text = FormatHundredths(std::int64_t(std::llround(value)) * 100, true);
    text.resize(text.size() - 2 - Forms().decimal.size());
    return QString::fromStdString(text);
}

// The four corners of a rectangle drawn under `transform`, in scene coordinates.
QPolygonF mapped(const QTransform &transform, const QRectF &box)
{
    return transform.map(QPolygonF(box));
}

} // namespace

QtChart::QtChart(const std::string &name, bool plain, QWidget *parent)
    : QChartView(parent), name_(name), plain_(plain), chart_(new QChart)
{
    setObjectName(QString::fromStdString(name));
    // The view owns the chart; the one it made for itself is given back on the swap, not freed.
    QChart *initial = chart();
    setChart(chart_);
    delete initial;
    setRenderHint(QPainter::Antialiasing);
    setFrameShape(QFrame::NoFrame);
    setRubberBand(QChartView::NoRubberBand);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

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
    // The chart keeps room for its title, but the title is painted over it, centred on what the
    // view shows: a chart wider than the view keeps its title in sight as it scrolls.
    chart_->setTitleBrush(Qt::transparent);
    setViewportUpdateMode(QGraphicsView::FullViewportUpdate);
    x_ = new QBarCategoryAxis;
    y_ = new QValueAxis;
    chart_->addAxis(x_, Qt::AlignBottom); // the chart owns them
    chart_->addAxis(y_, Qt::AlignLeft);
    x_->setVisible(false);
    y_->setVisible(false);
    // The chart lays itself out when it gets round to it; the marks, the value axis and the pie's
    // labels follow each time it has. Queued, so nothing is changed in the middle of its layout.
    // A few rounds settle it (the value axis's labels take their width from the ticks set here);
    // a bound keeps two layouts that would each call for the other from going round for ever.
    connect(chart_, &QChart::plotAreaChanged, this, [this] {
        if (++relayouts_ > 8)
            return;
        try {
            layout();
        } catch (...) {
            // A layout that cannot be worked out leaves the chart as the chart laid it out.
        }
    }, Qt::QueuedConnection);
}

QtChart::~QtChart() = default;

QColor QtChart::PointColor(int index)
{
    // Hues a golden angle apart: neighbours always differ, however many points there are.
    const int hue = int(std::fmod(index * 137.508, 360.0));
    const int value = (index / 7) % 2 ? 205 : 240;
    return QColor::fromHsv(hue, 175, value);
}

QColor QtChart::itemColor(int item) const
{
    const ChartItem &it = items_[std::size_t(item)];
    return it.merged ? kMergedColor : PointColor(it.first);
}

void QtChart::ClearTitle()
{
    title_.clear();
    titleChanged();
}

void QtChart::AddTitleLine(const std::string &line)
{
    title_.push_back(line);
    titleChanged();
}

void QtChart::titleChanged()
{
    if (outOfSight())
        pending_ = true;
    else if (!pending_)
        setSceneTitle();
}

void QtChart::setSceneTitle()
{
    QStringList lines;
    for (const std::string &l : title_)
        lines << QString::fromStdString(l);
    chart_->setTitle(lines.join(QLatin1Char('\n')));
}

// --- Texts ---------------------------------------------------------------------------------------

QString QtChart::ShareText(std::uint64_t value) const
{
    // The one place a chart works out a share: marks, hover texts and the legend all come here.
    return QString::fromStdString(PercentText(value, total_)) + QLatin1Char('%');
}

QString QtChart::valueText(std::uint64_t value) const
{
    if (unit_ == ValueUnit::Bytes)
        return QString::fromStdString(FormatBytes(value));
    return groupedWhole(value) + (value == 1 ? QStringLiteral(" file") : QStringLiteral(" files"));
}

QString QtChart::pointsText(int count, const QString &which) const
{
    // The type chart's points are extensions; every other chart's are entries.
    const bool types = name_ == "TypeChart";
    const QString noun = count == 1 ? (types ? QStringLiteral("extension") : QStringLiteral("entry"))
                                    : (types ? QStringLiteral("extensions") : QStringLiteral("entries"));
    return groupedWhole(count) + QLatin1Char(' ') + which + QLatin1Char(' ') + noun;
}

QString QtChart::mergedText(int count) const
{
    return pointsText(count, QStringLiteral("small"));
}

QString QtChart::MarkText(int point) const
{
    if (point < 0 || point >= int(points_.size()))
        return {};
    const ChartPoint &p = points_[std::size_t(point)];
    return QString::fromStdString(p.label) + QLatin1Char(' ') + ShareText(p.value);
}

QString QtChart::HoverText(int point) const
{
    if (point < 0 || point >= int(points_.size()))
        return {};
    const ChartPoint &p = points_[std::size_t(point)];
    return QString::fromStdString(p.label) + QLatin1Char('\n') + valueText(p.value) + QStringLiteral(", ") +
           ShareText(p.value);
}

QString QtChart::itemLabel(int item) const
{
    const ChartItem &it = items_[std::size_t(item)];
    return it.merged ? mergedText(it.count) : QString::fromStdString(points_[std::size_t(it.first)].label);
}

QString QtChart::ItemMark(int item) const
{
    if (item < 0 || item >= int(items_.size()))
        return {};
    const ChartItem &it = items_[std::size_t(item)];
    return it.merged ? mergedText(it.count) + QLatin1Char(' ') + ShareText(it.value) : MarkText(it.first);
}

QString QtChart::ItemHover(int item) const
{
    if (item < 0 || item >= int(items_.size()))
        return {};
    const ChartItem &it = items_[std::size_t(item)];
    if (!it.merged)
        return HoverText(it.first);
    return mergedText(it.count) + QLatin1Char('\n') + valueText(it.value) + QStringLiteral(", ") + ShareText(it.value);
}

QString QtChart::fittedMark(int item, qreal width) const
{
    const QFontMetricsF metrics(font());
    const QString full = ItemMark(item);
    if (metrics.horizontalAdvance(full) <= width)
        return full;
    const QString share = ShareText(items_[std::size_t(item)].value);
    const QString label = itemLabel(item);
    const qreal room = width - metrics.horizontalAdvance(QLatin1Char(' ') + share);
    const QString cut = metrics.elidedText(label, Qt::ElideRight, room);
    // Something of the label must stay, or the mark names nothing.
    if (cut.isEmpty() || cut == QStringLiteral("\u2026"))
        return {};
    return cut + QLatin1Char(' ') + share;
}

// --- Series --------------------------------------------------------------------------------------

void QtChart::clearQtSeries()
{
    // Removing a series from the chart deletes it: nothing piles up. The two axes stay for the
    // next bars, hidden meanwhile (an axis taken out of a chart that is not on screen can leave
    // its labels painted behind).
    chart_->removeAllSeries();
    x_->setVisible(false);
    y_->setVisible(false);
    series_ = nullptr;
    itemOf_.clear();
    pieLabels_.clear();
    legend_ = {};
    legendRect_ = {};
    legendTexts_.clear();
    marks_.clear();
}

void QtChart::RemoveAllSeries()
{
    kind_ = SeriesKind::None;
    points_.clear();
    items_.clear();
    total_ = 0;
    changed();
}

void QtChart::AddSeries(SeriesKind kind)
{
    kind_ = kind;
    points_.clear();
    items_.clear();
    total_ = 0;
    changed();
}

void QtChart::AddPoints(std::span<const ChartPoint> points)
{
    if (kind_ == SeriesKind::None)
        return;
    points_.insert(points_.end(), points.begin(), points.end());
    total_ = 0;
    for (const ChartPoint &p : points_)
        total_ = AddBytes(total_, p.value);
    items_ = LayoutChartItems(points_);
    changed();
}

void QtChart::changed()
{
    // What was drawn no longer holds; the clicks and hovers of the old scene must not reach the new content.
    clearQtSeries();
    if (outOfSight())
        pending_ = true;
    else
        rebuild();
}

bool QtChart::outOfSight() const
{
    // On a page of a shown window that is not the page shown. A chart whose window is not shown
    // builds at once, so that it can be read and saved as it stands.
    return window()->isVisible() && !isVisible();
}

void QtChart::showEvent(QShowEvent *event)
{
    if (pending_)
        rebuild();
    QChartView::showEvent(event);
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

void QtChart::ClickItem(int item)
{
    if (item < 0 || item >= int(items_.size()))
        return;
    const ChartItem it = items_[std::size_t(item)];
    if (!it.merged) {
        ClickPoint(it.first);
        return;
    }
    QTimer::singleShot(0, this, [this, it] {
        if (!mergedClick_ || it.first + it.count > int(points_.size()))
            return;
        try {
            mergedClick_(it.first, it.count);
        } catch (...) {
            // As for a point: the click ends there.
        }
    });
}

void QtChart::rebuild()
{
    clearQtSeries();
    pending_ = false;
    setSceneTitle();
    relayouts_ = 0;
    if (kind_ == SeriesKind::Pie)
        buildPie();
    else if (kind_ == SeriesKind::Bar)
        buildBars();
    layout();
    viewport()->update();
}

void QtChart::buildPie()
{
    auto *pie = new QPieSeries;
    QList<QPieSlice *> slices;
    for (int k = 0; k < int(items_.size()); ++k) {
        const ChartItem &item = items_[std::size_t(k)];
        if (!(item.value > 0))
            continue; // a slice of zero draws nothing
        auto *slice = new QPieSlice(QString(), item.value); // no text: labels are drawn over the chart
        const QColor color = itemColor(k);
        slice->setColor(color);
        // A slice of a degree or two would be all border, and the whole pie would show a seam:
        // those are drawn in their own colour.
        const double span = item.value / total_ * 360;
        slice->setBorderColor(span < 2 || span > 358 ? color : color.darker(130));
        slice->setLabelVisible(false); // labels are drawn over the chart, where they fit
        itemOf_.emplace(slice, k);
        slices.push_back(slice);
    }
    pie->append(slices); // one batch
    connect(pie, &QPieSeries::clicked, this, [this](QPieSlice *slice) {
        if (auto found = itemOf_.find(slice); found != itemOf_.end())
            ClickItem(found->second);
    });
    connect(pie, &QPieSeries::hovered, this, [this](QPieSlice *slice, bool state) {
        auto found = itemOf_.find(slice);
        if (state && found != itemOf_.end())
            QToolTip::showText(QCursor::pos(), ItemHover(found->second), this);
        else
            QToolTip::hideText();
    });
    chart_->addSeries(pie);
    series_ = pie;
}

void QtChart::buildBars()
{
    const int n = int(items_.size());
    categorised_ = n <= kMaxCategories;
    // Bytes on a class chart's axis read in the unit of the largest value: 0, 1, 2 GB, not 0,
    // 1073741824, 2147483648.
    double top = 0;
    for (const ChartItem &item : items_)
        top = std::max(top, double(item.value));
    static const char *const kUnits[] = {" B", " KB", " MB", " GB", " TB"};
    int unit = 0;
    scale_ = 1;
    if (unit_ == ValueUnit::Bytes)
        while (unit < 4 && top >= scale_ * 1024) {
            scale_ *= 1024;
            ++unit;
        }

    // One set holds every bar, drawn clear: the chart lays the bars out, reports clicks and
    // hovers by their index and draws the axes, and the bars are painted over it each in its own
    // colour (a set has one colour; a set per bar would cost the chart time that grows with the
    // square of the bars).
    auto *bars = new QBarSeries;
    bars->setBarWidth(barWidth());
    auto *set = new QBarSet(QString());
    QList<qreal> values;
    values.reserve(n);
    for (const ChartItem &item : items_)
        values.push_back(item.value / scale_);
    set->append(values);
    set->setColor(Qt::transparent);
    set->setBorderColor(Qt::transparent);
    bars->append(set);
    connect(bars, &QAbstractBarSeries::clicked, this, [this](int index, QBarSet *) { ClickItem(index); });
    connect(bars, &QAbstractBarSeries::hovered, this, [this](bool state, int index, QBarSet *) {
        if (state && index >= 0 && index < int(items_.size()))
            QToolTip::showText(QCursor::pos(), ItemHover(index), this);
        else
            QToolTip::hideText();
    });
    chart_->addSeries(bars);
    series_ = bars;

    // Few bars have their labels on the category axis; many have only their marks (the axis
    // would make a label for each), and the series spans them by itself.
    x_->clear();
    if (categorised_) {
        QStringList categories;
        for (int k = 0; k < n; ++k) {
            // The axis drops a category it already has, so a repeated label gets an invisible twin.
            QString category = itemLabel(k);
            while (categories.contains(category))
                category += QChar(0x200B);
            categories << category;
        }
        x_->append(categories);
        bars->attachAxis(x_);
    }
    y_->setLabelFormat(QStringLiteral("%.0f") + QString::fromLatin1(unit_ == ValueUnit::Bytes ? kUnits[unit] : ""));
    bars->attachAxis(y_);
    x_->setVisible(!plain_ && categorised_);
    y_->setVisible(!plain_);
}

qreal QtChart::barWidth() const
{
    return categorised_ ? kCategoryBarWidth : kCrowdedBarWidth;
}

// --- Layout --------------------------------------------------------------------------------------

void QtChart::resizeEvent(QResizeEvent *event)
{
    QChartView::resizeEvent(event);
    relayouts_ = 0;
    layout();
}

void QtChart::layout()
{
    if (kind_ == SeriesKind::Bar && series_) {
        layoutBars();
        return;
    }
    // Anything but bars fits the view.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    if (chart_->size() != QSizeF(viewport()->size()))
        chart_->resize(viewport()->size());
    setSceneRect(QRectF(QPointF(0, 0), chart_->size()));
    if (kind_ == SeriesKind::Pie && series_)
        layoutPie();
}

void QtChart::layoutBars()
{
    const int n = int(items_.size());
    const QFontMetricsF metrics(font());
    const qreal lineHeight = metrics.height();
    QValueAxis *y = y_;
    QBarCategoryAxis *x = x_;
    // The plot area as the chart last laid it out; what is set here lays it out again, and
    // the chart's signal brings this back until nothing changes.
    const QRectF plot = chart_->plotArea();
    const qreal overhead = std::max(chart_->size().width() - plot.width(), 0.0);

    // As wide as the view, or wider and scrolling sideways when the bars would be too narrow to
    // carry a turned mark.
    const qreal needed = overhead + n * (lineHeight + 6);
    const bool scrolls = n > 0 && needed > viewport()->width() + 0.5;
    setHorizontalScrollBarPolicy(scrolls ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    const QSizeF size(scrolls ? std::ceil(needed) : viewport()->width(), viewport()->height());
    if (chart_->size() != size)
        chart_->resize(size);
    setSceneRect(QRectF(QPointF(0, 0), size));

    // Marks stand level on one line when every one fits its bar's slot, else on two (label, then
    // share), else they all turn.
    const qreal slot = n > 0 ? (size.width() - overhead) / n : 0;
    qreal widest = 0, widestPart = 0;
    for (int k = 0; k < n; ++k) {
        widest = std::max(widest, metrics.horizontalAdvance(ItemMark(k)) + 8);
        widestPart = std::max({widestPart, metrics.horizontalAdvance(itemLabel(k)) + 8,
                               metrics.horizontalAdvance(ShareText(items_[std::size_t(k)].value)) + 8});
    }
    markLines_ = widest <= slot ? 1 : widestPart <= slot ? 2 : 0;
    // Room above the tallest bar for its mark: the value axis reaches that far above it.
    const qreal room = markLines_ > 0 ? markLines_ * lineHeight + 10 : std::min(widest, plot.height() * kMarkRoomShare);
    double top = 0;
    for (const ChartItem &item : items_)
        top = std::max(top, item.value / scale_);
    const qreal usable = plot.height() - room;
    const double reach = top > 0 && usable > 10 ? top * plot.height() / usable : top;
    if (plain_) {
        y->setRange(0, reach > 0 ? reach : 1);
        return;
    }
    const AxisTicks ticks = ValueAxisTicks(reach);
    y->setRange(0, ticks.Last());
    y->setTickCount(ticks.count);
    // Labels under the bars only where each bar has its category and the marks stand level:
    // turned marks name their bars, and the labels would only crowd.
    x->setLabelsVisible(categorised_ && markLines_ > 0);
}

void QtChart::layoutPie()
{
    auto *pie = static_cast<QPieSeries *>(series_);
    const QRectF plot = chart_->plotArea();
    if (plot.width() < 10 || plot.height() < 10)
        return;
    const QFontMetricsF metrics(font());
    const qreal labelHeight = metrics.height();
    const int n = int(items_.size());
    std::vector<qreal> spans(std::size_t(n), 0), middles(std::size_t(n), 0);
    qreal angle = 0;
    for (int k = 0; k < n; ++k) {
        const qreal span = total_ > 0 ? items_[std::size_t(k)].value / total_ * 360.0 : 0;
        spans[std::size_t(k)] = span;
        middles[std::size_t(k)] = angle + span / 2;
        angle += span;
    }

    // The labels a pie in `area` carries: in the columns beside it, where their slice's stretch
    // of the column holds them (by angle against height), cut to the room beside the column; a
    // label with no room left goes to the legend too. Answers the pie's radius.
    std::vector<bool> labelled;
    auto place = [&](const QRectF &area) {
        const qreal radius = std::max(std::min(area.height() / 2 * 0.86, area.width() / 2 * 0.42), 4.0);
        const QPointF centre = area.center();
        const qreal columnTop = area.top() + 2, columnHeight = area.height() - 4;
        const qreal rightX = centre.x() + radius + kLabelGap, leftX = centre.x() - radius - kLabelGap;
        const std::vector<PieSlot> stretches = PieLabelSlots(spans, columnHeight, labelHeight + 2);
        pieLabels_.clear();
        labelled.assign(std::size_t(n), false);
        for (int k = 0; k < n; ++k) {
            const PieSlot &slot = stretches[std::size_t(k)];
            if (!slot.fits)
                continue;
            const QString text =
                fittedMark(k, slot.right ? area.right() - 4 - rightX : leftX - (area.left() + 4));
            if (text.isEmpty())
                continue;
            // As near the slice's middle as its stretch allows; a slice of more than half the pie
            // has its middle at its stretch's.
            const qreal a = middles[std::size_t(k)] * std::numbers::pi / 180;
            const qreal ideal = spans[std::size_t(k)] > 180 ? columnTop + (slot.top + slot.bottom) / 2
                                                            : centre.y() - (radius + kLabelGap) * std::cos(a);
            const qreal y = std::clamp(ideal, columnTop + slot.top + labelHeight / 2 + 1,
                                       columnTop + slot.bottom - labelHeight / 2 - 1);
            labelled[std::size_t(k)] = true;
            const qreal half = spans[std::size_t(k)] / 2;
            pieLabels_.push_back({k, text, middles[std::size_t(k)] - half, middles[std::size_t(k)] + half, slot.right, y});
        }
        return radius;
    };

    const qreal rowHeight = labelHeight + 3;
    const int fitRows = std::max(1, int((plot.height() - 8) / rowHeight));
    const int maxRows = std::min(kMaxLegendRows, fitRows);
    // The legend's lines: a row per item it lists, then one for the rest.
    auto fillLegend = [&] {
        legend_ = LegendRows(items_, labelled, maxRows);
        legendTexts_.clear();
        for (int k : legend_.rows)
            legendTexts_ << ItemMark(k);
        if (legend_.more > 0)
            legendTexts_ << pointsText(legend_.more, QStringLiteral("more")) + QLatin1Char(' ') +
                                ShareText(legend_.moreValue);
    };
    QRectF area = plot;
    qreal radius = place(area);
    fillLegend();
    if (!legendTexts_.isEmpty()) {
        // The legend takes the right of the plot; the pie and its labels the rest (where fewer
        // labels may fit, so the legend is made again).
        qreal widest = 0;
        for (const QString &text : legendTexts_)
            widest = std::max(widest, metrics.horizontalAdvance(text));
        const qreal width = std::min(widest + 26, plot.width() * 0.4);
        area = plot.adjusted(0, 0, -(width + 10), 0);
        radius = place(area);
        fillLegend();
        const qreal height = legendTexts_.size() * rowHeight + 8;
        legendRect_ = QRectF(plot.right() - width - 4, plot.center().y() - height / 2, width, height);
    }
    pie->setHorizontalPosition((area.center().x() - plot.left()) / plot.width());
    pie->setVerticalPosition(0.5);
    pie->setPieSize(radius / (std::min(plot.width(), plot.height()) / 2));
}

// --- Painting ------------------------------------------------------------------------------------

QRectF QtChart::BarRect(int item) const
{
    if (kind_ != SeriesKind::Bar || !series_ || item < 0 || item >= int(items_.size()))
        return {};
    // Bar k stands in the middle of its slot, k, as the chart lays it out.
    const qreal half = barWidth() / 2;
    const qreal value = items_[std::size_t(item)].value / scale_;
    const QPointF topLeft = chart_->mapToScene(chart_->mapToPosition(QPointF(item - half, value), series_));
    const QPointF bottomRight = chart_->mapToScene(chart_->mapToPosition(QPointF(item + half, 0), series_));
    return QRectF(topLeft, bottomRight).normalized();
}

void QtChart::drawForeground(QPainter *painter, const QRectF &rect)
{
    QChartView::drawForeground(painter, rect);
    marks_.clear();
    try {
        painter->save();
        drawTitle(painter);
        painter->setFont(font());
        if (kind_ == SeriesKind::Bar && series_)
            drawBarMarks(painter, rect);
        else if (kind_ == SeriesKind::Pie && series_) {
            drawPieLabels(painter);
            drawLegend(painter);
        }
        painter->restore();
    } catch (...) {
        // A mark that cannot be drawn is left out; the chart itself stands.
    }
}

void QtChart::drawTitle(QPainter *painter)
{
    const QString title = chart_->title();
    if (title.isEmpty())
        return;
    const QRectF shown = mapToScene(viewport()->rect()).boundingRect();
    const QRectF plot = chart_->mapToScene(chart_->plotArea()).boundingRect();
    painter->setFont(chart_->titleFont());
    painter->setPen(Qt::white);
    const QRectF box(shown.left() + 4, 0, shown.width() - 8, std::max(plot.top(), 0.0));
    QString shownTitle;
    for (const QString &line : title.split(QLatin1Char('\n')))
        shownTitle += (shownTitle.isEmpty() ? QString() : QStringLiteral("\n")) +
                      painter->fontMetrics().elidedText(line, Qt::ElideMiddle, int(box.width()));
    painter->drawText(box, Qt::AlignCenter, shownTitle);
}

void QtChart::drawBarMarks(QPainter *painter, const QRectF &exposed)
{
    const QTransform base = painter->transform(); // scene to device
    const QFontMetricsF metrics(font());
    const qreal height = metrics.height() + 2;
    const QRectF plot = chart_->mapToScene(chart_->plotArea()).boundingRect();
    const int n = int(items_.size());
    const qreal slot = n > 0 ? plot.width() / n : 0;
    for (int k = 0; k < n; ++k) {
        const QRectF bar = BarRect(k);
        if (bar.right() + slot < exposed.left() || bar.left() - slot > exposed.right())
            continue; // scrolled out of sight
        if (items_[std::size_t(k)].value > 0) { // a bar of zero draws nothing; its mark stands on the axis
            const QColor color = itemColor(k);
            painter->setPen(QPen(color.darker(130), 1));
            painter->setBrush(color);
            painter->drawRect(bar);
        }
        const QPointF top(bar.center().x(), bar.top());
        if (markLines_ > 0) {
            const QString share = ShareText(items_[std::size_t(k)].value);
            const QString text = markLines_ == 1 ? ItemMark(k) : itemLabel(k) + QLatin1Char('\n') + share;
            qreal width = 0;
            for (const QString &line : text.split(QLatin1Char('\n')))
                width = std::max(width, metrics.horizontalAdvance(line) + 6);
            const qreal boxHeight = markLines_ * metrics.height() + 2;
            const QRectF box(top.x() - width / 2, top.y() - boxHeight - 3, width, boxHeight);
            painter->setPen(QColor(120, 120, 120));
            painter->setBrush(QColor(255, 255, 225));
            painter->drawRect(box);
            painter->setPen(Qt::black);
            painter->drawText(box, Qt::AlignCenter, text);
            marks_.push_back({k, text, QPolygonF(box)});
            continue;
        }
        // Turned, reading upwards from just above the bar, cut to the room up to the plot's top.
        const qreal room = top.y() - 3 - plot.top();
        QString text = fittedMark(k, room);
        if (text.isEmpty())
            text = ShareText(items_[std::size_t(k)].value); // too little room: the share at least
        const qreal width = std::min(metrics.horizontalAdvance(text) + 2, std::max(room, 0.0));
        painter->save();
        painter->translate(top.x(), top.y() - 3);
        painter->rotate(-90);
        const QRectF box(0, -height / 2, width, height);
        painter->setPen(Qt::black);
        painter->drawText(box, Qt::AlignLeft | Qt::AlignVCenter, text);
        marks_.push_back({k, text, mapped(painter->transform() * base.inverted(), box)});
        painter->restore();
    }
}

void QtChart::drawPieLabels(QPainter *painter)
{
    auto *pie = static_cast<QPieSeries *>(series_);
    const QRectF plot = chart_->mapToScene(chart_->plotArea()).boundingRect();
    const QPointF centre(plot.left() + plot.width() * pie->horizontalPosition(),
                         plot.top() + plot.height() * pie->verticalPosition());
    const qreal radius = pie->pieSize() * std::min(plot.width(), plot.height()) / 2;
    const QFontMetricsF metrics(font());
    const qreal height = metrics.height();
    if (!(total_ > 0) && !items_.empty()) {
        // Nothing to share out: the outline of an empty pie.
        painter->setPen(QPen(QColor(150, 150, 150), 1, Qt::DashLine));
        painter->setBrush(Qt::NoBrush);
        painter->drawEllipse(centre, radius, radius);
        return;
    }
    const QPointF chartOrigin = chart_->mapToScene(QPointF(0, 0));
    for (const PieLabel &label : pieLabels_) {
        const qreal columnX = centre.x() + (label.right ? 1 : -1) * (radius + kLabelGap);
        const qreal y = label.y + chartOrigin.y();
        // A line to the label from the edge of its slice, where the slice faces the label.
        const QPointF anchor(columnX + (label.right ? -2 : 2), y);
        qreal facing = std::atan2(anchor.x() - centre.x(), centre.y() - anchor.y()) * 180 / std::numbers::pi;
        if (facing < 0)
            facing += 360;
        const qreal a = std::clamp(facing, label.from, label.to) * std::numbers::pi / 180;
        painter->setPen(QPen(itemColor(label.item).darker(150), 1));
        painter->drawLine(centre + QPointF(std::sin(a), -std::cos(a)) * (radius + 1), anchor);
        const qreal width = metrics.horizontalAdvance(label.text) + 2;
        const QRectF box = label.right ? QRectF(columnX, y - height / 2, width, height)
                                       : QRectF(columnX - width, y - height / 2, width, height);
        painter->setPen(Qt::black);
        painter->drawText(box, (label.right ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter, label.text);
        marks_.push_back({label.item, label.text, QPolygonF(box)});
    }
}

void QtChart::drawLegend(QPainter *painter)
{
    if (legendTexts_.isEmpty())
        return;
    const QFontMetricsF metrics(font());
    const qreal rowHeight = metrics.height() + 3;
    const QRectF box = legendRect_.translated(chart_->mapToScene(QPointF(0, 0)));
    painter->setPen(QColor(160, 160, 160));
    painter->setBrush(QColor(255, 255, 255, 230));
    painter->drawRect(box);
    for (int row = 0; row < int(legendTexts_.size()); ++row) {
        const bool more = row >= int(legend_.rows.size());
        const QRectF line(box.left() + 4, box.top() + 4 + row * rowHeight, box.width() - 8, rowHeight);
        const QRectF swatch(line.left(), line.center().y() - 5, 10, 10);
        painter->setPen(Qt::NoPen);
        painter->setBrush(more ? kMergedColor : itemColor(legend_.rows[std::size_t(row)]));
        painter->drawRect(swatch);
        painter->setPen(Qt::black);
        const QRectF textBox = line.adjusted(16, 0, 0, 0);
        painter->drawText(textBox, Qt::AlignLeft | Qt::AlignVCenter,
                          metrics.elidedText(legendTexts_[row], Qt::ElideRight, textBox.width()));
    }
}

void QtChart::SaveBitmap(const std::string &path)
{
    // The chart as it stands on screen, at the view's size, on white: what the view shows of a
    // chart that scrolls sideways, without its scroll bar.
    const QPixmap shot = viewport()->grab();
    QImage image(size(), QImage::Format_RGB32);
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
