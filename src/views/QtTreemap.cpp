#include "views/QtTreemap.h"

#include <QApplication>
#include <QBuffer>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <QTimer>
#include <QToolTip>

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "views/TreemapLink.h"

namespace folvane {
namespace {

// How long one turn of gathering may hold the UI thread.
constexpr int kGatherSliceMs = 6;
constexpr std::uint32_t kGatherRecords = 2048; // records read between two looks at the clock
// How often the UI thread looks for the worker's picture while one is being made.
constexpr int kPollMs = 8;

// Cushions (van Wijk and van de Wetering): every rectangle adds a parabolic ridge to the surface
// of all it holds, half as high again one level down, so shading shows the nesting.
constexpr double kRidge = 0.5;
constexpr double kRidgeFactor = 0.75;
constexpr double kAmbient = 0.38;
constexpr double kDiffuse = 0.68;

struct Surface {
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0; // z = x2·x² + x1·x + y2·y² + y1·y
};

void addRidge(Surface &s, const TTileRect &r, double height)
{
    const double x0 = r.x, x1 = r.x + r.w, y0 = r.y, y1 = r.y + r.h;
    s.x1 += 4 * height * (x1 + x0) / (x1 - x0);
    s.x2 -= 4 * height / (x1 - x0);
    s.y1 += 4 * height * (y1 + y0) / (y1 - y0);
    s.y2 -= 4 * height / (y1 - y0);
}

struct Light {
    double x, y, z;
};
// From the upper left, as the eye expects.
const Light kLight = [] {
    const double x = -1, y = -1.6, z = 6, n = std::sqrt(x * x + y * y + z * z);
    return Light{x / n, y / n, z / n};
}();

// Fills `r` with `colour` shaded by the surface: one light value per pixel.
void shade(QImage &image, const TTileRect &r, QRgb colour, const Surface &s)
{
    const int x0 = std::max<int>(r.x, 0), x1 = std::min<int>(r.x + r.w, image.width());
    const int y0 = std::max<int>(r.y, 0), y1 = std::min<int>(r.y + r.h, image.height());
    const float red = float(qRed(colour)), green = float(qGreen(colour)), blue = float(qBlue(colour));
    const auto lx = float(kLight.x), ly = float(kLight.y), lz = float(kLight.z);
    const auto step = float(-2 * s.x2); // the normal's x changes by this much from pixel to pixel
    for (int y = y0; y < y1; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        const auto ny = float(-(2 * s.y2 * (y + 0.5) + s.y1));
        const float rowLight = ny * ly + lz, rowNorm = ny * ny + 1;
        auto nx = float(-(2 * s.x2 * (x0 + 0.5) + s.x1));
        for (int x = x0; x < x1; ++x, nx += step) {
            const float cosine = (nx * lx + rowLight) / std::sqrt(nx * nx + rowNorm);
            const float light = float(kAmbient) + float(kDiffuse) * std::max(0.0f, cosine);
            line[x] = qRgb(std::min(255, int(red * light + 0.5f)), std::min(255, int(green * light + 0.5f)),
                           std::min(255, int(blue * light + 0.5f)));
        }
    }
}

void fill(QImage &image, const TTileRect &r, QRgb colour)
{
    const int x0 = std::max<int>(r.x, 0), x1 = std::min<int>(r.x + r.w, image.width());
    const int y0 = std::max<int>(r.y, 0), y1 = std::min<int>(r.y + r.h, image.height());
    for (int y = y0; y < y1; ++y)
        std::fill_n(reinterpret_cast<QRgb *>(image.scanLine(y)) + x0, std::max(0, x1 - x0), colour);
}

// Fills `r` with `colour` crossed by diagonal lines in `lines`, `spacing` pixels apart.
void hatch(QImage &image, const TTileRect &r, QRgb colour, QRgb lines, int spacing)
{
    const int x0 = std::max<int>(r.x, 0), x1 = std::min<int>(r.x + r.w, image.width());
    const int y0 = std::max<int>(r.y, 0), y1 = std::min<int>(r.y + r.h, image.height());
    for (int y = y0; y < y1; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        std::fill(line + x0, line + std::max(x0, x1), colour);
        for (int x = x0 + ((spacing - (x0 + y) % spacing) % spacing); x < x1; x += spacing)
            line[x] = lines;
    }
}

TTileRect shrunk(TTileRect r, int by)
{
    return {std::int16_t(r.x + by), std::int16_t(r.y + by), std::int16_t(r.w - 2 * by), std::int16_t(r.h - 2 * by)};
}

QRgb toQRgb(Rgb c) { return qRgb(c.r, c.g, c.b); }

// Black or white, whichever reads better on the colour.
QColor textOn(QRgb colour)
{
    return qGray(colour) < 140 ? QColor(Qt::white) : QColor(Qt::black);
}

int legendHeightFor(const QFont &font) { return QFontMetrics(font).height() + 8; }

} // namespace

// --- Painting ----------------------------------------------------------------------------------

QImage PaintTreemapTiles(const TTreemap &map, const TTreemapOptions &options, const QtTreemap::Look &look, QSize size,
                         const std::function<bool()> &stop)
{
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull())
        return image;
    // By hand, as every pixel here: Qt's own fills may hand work to its thread pool.
    fill(image, {0, 0, std::int16_t(std::min(size.width(), int(INT16_MAX))), std::int16_t(std::min(size.height(), int(INT16_MAX)))},
         look.background);
    if (map.items.empty() || !map.items[0].Is(TTreemapItem::Placed))
        return image;

    // Tiles, parents before their children, each shaded with the ridges of all that hold it.
    struct Open {
        std::uint32_t end;
        Surface surface;
    };
    std::vector<Open> open;
    std::uint32_t steps = 0;
    for (std::uint32_t i = 0; i < map.items.size();) {
        const TTreemapItem &item = map.items[i];
        if (!item.Is(TTreemapItem::Placed)) {
            i = item.end;
            continue;
        }
        if (stop && (++steps & 511) == 0 && stop())
            return {};
        while (!open.empty() && open.back().end <= i)
            open.pop_back();
        Surface surface = open.empty() ? Surface{} : open.back().surface;
        const TTileRect r = item.Rect();
        addRidge(surface, r, kRidge * std::pow(kRidgeFactor, double(open.size())));
        if (!item.Is(TTreemapItem::Folder)) {
            shade(image, r, toQRgb(map.types[item.type].colour), surface);
            ++i;
            continue;
        }
        // A folder: its frame, its name strip, and its own area (hatched: the entries too small
        // to draw) under whatever of its contents is drawn.
        TTileRect inner = r;
        if (i > 0 && options.frame > 0) {
            fill(image, r, look.frame);
            inner = shrunk(r, options.frame);
        }
        if (item.Is(TTreemapItem::Labelled)) {
            fill(image, {inner.x, inner.y, inner.w, std::int16_t(options.labelHeight)}, look.strip);
            inner.y = std::int16_t(inner.y + options.labelHeight);
            inner.h = std::int16_t(inner.h - options.labelHeight);
        }
        // Flat: only what no child covers shows, and shading every pixel of every folder under
        // its children would cost one pass over the picture per level.
        if (!inner.Empty())
            hatch(image, inner, look.folder, look.hatch, 5);
        if (item.end > i + 1)
            open.push_back({item.end, surface});
        ++i;
    }
    return image;
}

void PaintTreemapText(QImage &image, const TTreemap &map, const TTreemapOptions &options, const QtTreemap::Look &look,
                      const QFont &font)
{
    if (map.items.empty() || !map.items[0].Is(TTreemapItem::Placed))
        return;
    const QSize size = image.size();
    // Names: in folders' strips, and on files whose tiles have room for them.
    QPainter painter(&image);
    painter.setFont(font);
    const QFontMetrics metrics(font);
    for (const TTreemapLabel &label : map.labels) {
        const TTreemapItem &item = map.items[label.item];
        if (!item.Is(TTreemapItem::Placed))
            continue;
        const TTileRect r = item.Rect();
        const QString name = QString::fromStdString(label.text);
        if (item.Is(TTreemapItem::Folder) && item.Is(TTreemapItem::Labelled)) {
            const QRect strip(r.x + options.frame + 3, r.y + options.frame, r.w - 2 * options.frame - 6,
                              options.labelHeight);
            painter.setPen(QColor(look.stripText));
            painter.drawText(strip, Qt::AlignLeft | Qt::AlignVCenter, metrics.elidedText(name, Qt::ElideRight, strip.width()));
        } else if (item.Is(TTreemapItem::Labelled)) {
            // Only where enough of the name shows to be recognised.
            const QRect box(r.x + 3, r.y + 2, r.w - 6, r.h - 4);
            const QString text = metrics.elidedText(name, Qt::ElideMiddle, box.width());
            if (text == name || text.size() >= 8) {
                painter.setPen(textOn(toQRgb(map.types[item.type].colour)));
                painter.drawText(box, Qt::AlignCenter, text);
            }
        }
    }

    // The legend: the types that take the most room, with their shares of the whole map.
    const int top = map.height, height = size.height() - map.height;
    if (height > 0 && !map.legend.empty()) {
        const int box = std::max(8, metrics.ascent() - 2);
        int x = 6;
        painter.setPen(QColor(look.text));
        for (std::uint16_t t : map.legend) {
            const TTreemapType &type = map.types[t];
            const QString text = QString::fromStdString((type.ext.empty() ? std::string("(no extension)") : "." + type.ext) +
                                                         " " + TreemapShareText(type.bytes, map.total));
            const int width = box + 4 + metrics.horizontalAdvance(text) + 14;
            if (x + width - 14 > size.width() - 6)
                break;
            const QRect swatch(x, top + (height - box) / 2, box, box);
            painter.fillRect(swatch, QColor(toQRgb(type.colour)));
            painter.setPen(QColor(look.frame));
            painter.drawRect(swatch.adjusted(0, 0, -1, -1));
            painter.setPen(QColor(look.text));
            painter.drawText(QRect(x + box + 4, top, width, height), Qt::AlignLeft | Qt::AlignVCenter, text);
            x += width;
        }
    }
}

// --- The worker --------------------------------------------------------------------------------

struct QtTreemap::Job {
    std::uint64_t serial = 0;
    Key key;
    TTreemap map;
    TTreemapOptions options;
    Look look{};
    QSize size;
};

struct QtTreemap::Picture {
    std::uint64_t serial = 0;
    Key key;
    TTreemap map;
    TTreemapOptions options;
    Look look{};
    QImage image;
};

// One thread that lays out and shades the latest job, touching nothing of Qt's but the pixels of
// its own image. Jobs and pictures pass between it and the UI thread under its mutex only, and
// the UI thread looks for a finished picture on a timer: a queued call from this thread would go
// through Qt's own event queue, whose lock no thread checker can see. A job that is no longer
// the latest stops at its next look at `latest_`.
class QtTreemap::Worker {
public:
    Worker() = default;
    ~Worker()
    {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        latest_.store(0);
        wake_.notify_all();
        if (thread_.joinable())
            thread_.join();
    }

    // Jobs before `serial` are of no use any more.
    void Want(std::uint64_t serial) { latest_.store(serial); }

    // Starts the thread if it is not running; false when the system cannot start one.
    bool Start()
    {
        if (!thread_.joinable()) {
            try {
                thread_ = std::thread([this] { run(); });
            } catch (const std::system_error &) {
                return false;
            }
        }
        return true;
    }

    void Post(std::unique_ptr<Job> job)
    {
        Want(job->serial);
        {
            std::lock_guard lock(mutex_);
            job_ = std::move(job);
        }
        wake_.notify_one();
    }

    // Lays out and paints a job; nothing when it was stopped or failed (the last picture stays).
    static std::unique_ptr<Picture> Draw(Job &job, const std::function<bool()> &stop)
    {
        try {
            auto picture = std::make_unique<Picture>();
            if (!LayOutTreemap(job.map, job.options, stop))
                return nullptr;
            picture->image = PaintTreemapTiles(job.map, job.options, job.look, job.size, stop);
            if (picture->image.isNull())
                return nullptr;
            picture->serial = job.serial;
            picture->key = job.key;
            picture->options = job.options;
            picture->look = job.look;
            picture->map = std::move(job.map);
            return picture;
        } catch (...) {
            return nullptr;
        }
    }

    std::unique_ptr<Picture> Take()
    {
        std::lock_guard lock(mutex_);
        return std::move(picture_);
    }

private:
    void run()
    {
        for (;;) {
            std::unique_ptr<Job> job;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return stopping_ || job_; });
                if (stopping_)
                    return;
                job = std::move(job_);
            }
            const std::uint64_t serial = job->serial;
            auto stop = [this, serial] { return latest_.load() != serial; };
            std::unique_ptr<Picture> picture = Draw(*job, stop);
            if (!picture)
                continue;
            std::lock_guard lock(mutex_);
            if (stopping_)
                return;
            picture_ = std::move(picture);
        }
    }

    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::unique_ptr<Job> job_;         // under mutex_
    std::unique_ptr<Picture> picture_; // under mutex_
    bool stopping_ = false;            // under mutex_
    std::atomic<std::uint64_t> latest_{0};
};

// --- The widget --------------------------------------------------------------------------------

QtTreemap::QtTreemap(QWidget *parent) : QWidget(parent), timer_(new QTimer(this)), poll_(new QTimer(this))
{
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(60, 60);
    setFocusPolicy(Qt::ClickFocus);
    timer_->setSingleShot(true);
    timer_->setInterval(0);
    connect(timer_, &QTimer::timeout, this, [this] { work(); });
    poll_->setInterval(kPollMs);
    connect(poll_, &QTimer::timeout, this, [this] { takeResult(); });
}

QtTreemap::~QtTreemap()
{
    worker_.reset(); // joins the thread before anything it could tell goes away
}

template <typename F> void QtTreemap::guarded(F &&f) noexcept
{
    // A handler's failure ends that handler only; it never crosses the event loop.
    try {
        f();
    } catch (...) {
    }
}

void QtTreemap::SetSource(ITreeGrid *grid)
{
    source_ = grid;
    TreeChanged();
}

void QtTreemap::SetRoot(NodeId root)
{
    if (root == root_)
        return;
    root_ = root;
    hoverTile_ = kNoTile;
    schedule();
}

void QtTreemap::SetHighlight(NodeId node)
{
    highlight_ = node;
    updateHighlight();
}

void QtTreemap::TreeChanging()
{
    frozen_ = true;
    ++generation_;
    gather_.reset(); // its node numbers are about to lose their meaning
    inFlight_ = false;
    if (worker_)
        worker_->Want(++serial_);
    hoverTile_ = highlightTile_ = kNoTile;
    QToolTip::hideText();
    update();
}

void QtTreemap::TreeChanged()
{
    if (!frozen_)
        TreeChanging();
    frozen_ = false;
    ++generation_;
    schedule();
}

QtTreemap::Key QtTreemap::wantedKey() const
{
    return {root_, width(), height(), generation_, look_};
}

TTreemapOptions QtTreemap::optionsFor(const Key &key) const
{
    TTreemapOptions options;
    options.width = key.width;
    options.height = std::max(0, key.height - legendHeightFor(font()));
    options.labelHeight = QFontMetrics(font()).height() + 2;
    return options;
}

QtTreemap::Look QtTreemap::look() const
{
    const QPalette &p = palette();
    const QColor window = p.color(QPalette::Window);
    const bool dark = window.lightness() < 128;
    Look l;
    l.background = window.rgb();
    l.folder = dark ? qRgb(74, 78, 88) : qRgb(214, 218, 227);
    l.hatch = dark ? qRgb(60, 63, 72) : qRgb(196, 201, 211);
    l.frame = dark ? qRgb(18, 19, 22) : qRgb(98, 104, 118);
    l.strip = dark ? qRgb(44, 47, 54) : qRgb(238, 240, 244);
    l.stripText = p.color(QPalette::WindowText).rgb();
    l.text = p.color(QPalette::WindowText).rgb();
    return l;
}

bool QtTreemap::Current() const
{
    return shown_ && shown_->key == wantedKey();
}

const TTreemap *QtTreemap::Map() const
{
    return shown_ && shown_->key.generation == generation_ && !frozen_ ? &shown_->map : nullptr;
}

std::size_t QtTreemap::PictureBytes() const
{
    return shown_ ? shown_->map.Bytes() + std::size_t(shown_->image.sizeInBytes()) : 0;
}

void QtTreemap::schedule()
{
    if (!timer_->isActive())
        timer_->start();
}

// One turn of making the wanted picture: a slice of gathering, and the hand-over to the worker
// once everything is gathered.
void QtTreemap::work()
{
    try {
        makePicture();
    } catch (...) {
        // Out of memory, most likely: the last picture stays, and the next change tries again.
        gather_.reset();
        inFlight_ = false;
    }
}

void QtTreemap::makePicture()
{
    if (frozen_ || !isVisible() || !source_)
        return; // shown again, or the change completed, schedules anew
    const Key key = wantedKey();
    if (shown_ && shown_->key == key)
        return;
    if (!gather_ || !(gatherKey_ == key)) {
        if (inFlight_ && gatherKey_ == key)
            return; // the worker is on it
        gatherKey_ = key;
        gatherSerial_ = ++serial_;
        inFlight_ = false;
        if (worker_)
            worker_->Want(gatherSerial_); // what it works on now is of no use
        gather_ = std::make_unique<TTreemapGather>(source_->Nodes(), key.root, optionsFor(key));
    }
    QElapsedTimer clock;
    clock.start();
    while (!gather_->Step(kGatherRecords))
        if (clock.elapsed() >= kGatherSliceMs) {
            schedule();
            return;
        }
    auto job = std::make_unique<Job>();
    job->serial = gatherSerial_;
    job->key = key;
    job->map = gather_->Take();
    job->options = optionsFor(key);
    job->look = look();
    job->size = QSize(key.width, key.height);
    gather_.reset();
    inFlight_ = true;
    if (!worker_)
        worker_ = std::make_unique<Worker>();
    if (worker_->Start()) {
        worker_->Post(std::move(job));
        poll_->start();
        return;
    }
    // No thread to be had: the picture is made here, late but whole.
    install(Worker::Draw(*job, {}));
}

void QtTreemap::takeResult()
{
    if (!inFlight_ || !worker_) {
        poll_->stop();
        return;
    }
    guarded([&] { install(worker_->Take()); });
}

void QtTreemap::install(std::unique_ptr<Picture> picture)
{
    if (!picture || picture->serial != gatherSerial_ || !inFlight_)
        return; // none yet, or made for a tree, root or size that is gone
    inFlight_ = false;
    poll_->stop();
    // Text is laid out here: Qt's fonts and their caches are shared by the whole program.
    PaintTreemapText(picture->image, picture->map, picture->options, picture->look, font());
    shown_ = std::move(picture);
    hoverTile_ = kNoTile;
    updateHighlight();
    update();
    emit PictureReady();
    schedule(); // in case something changed while the worker drew
}

void QtTreemap::updateHighlight()
{
    highlightTile_ = kNoTile;
    if (const TTreemap *map = Map(); map && source_)
        highlightTile_ = TreemapTileOf(*map, source_->Nodes(), highlight_);
    update();
}

// --- Coordinates and tiles ---------------------------------------------------------------------

bool QtTreemap::toPicture(QPoint point, int &x, int &y) const
{
    // A picture of another size is drawn as it is, from the top left, until the new one is ready.
    if (!Map())
        return false;
    x = point.x();
    y = point.y();
    return true;
}

QRect QtTreemap::toWidget(const TTileRect &r) const
{
    return r.Empty() ? QRect() : QRect(r.x, r.y, r.w, r.h);
}

std::uint32_t QtTreemap::tileAt(QPoint point) const
{
    int x = 0, y = 0;
    if (!toPicture(point, x, y))
        return kNoTile;
    return TreemapTileAt(shown_->map, x, y);
}

NodeId QtTreemap::NodeAt(QPoint point) const
{
    const std::uint32_t tile = tileAt(point);
    return tile == kNoTile ? kNoNode : shown_->map.items[tile].node;
}

QRect QtTreemap::TileRect(NodeId node) const
{
    const TTreemap *map = Map();
    if (!map || !source_)
        return {};
    const std::uint32_t tile = TreemapTileOf(*map, source_->Nodes(), node);
    return tile == kNoTile ? QRect() : toWidget(map->items[tile].Rect());
}

std::string QtTreemap::Encode(const std::string &format)
{
    const QImage image = grab().toImage().convertToFormat(QImage::Format_RGB32);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (image.isNull() || !image.save(&buffer, format.c_str()))
        return {};
    return std::string(bytes.constData(), std::size_t(bytes.size()));
}

// --- Events ------------------------------------------------------------------------------------

void QtTreemap::paintEvent(QPaintEvent *)
{
    guarded([&] { paint(); });
}

void QtTreemap::paint()
{
    QPainter painter(this);
    if (!shown_ || shown_->image.isNull()) {
        painter.fillRect(rect(), palette().color(QPalette::Window));
        painter.setPen(palette().color(QPalette::PlaceholderText));
        painter.drawText(rect(), Qt::AlignCenter,
                         source_ && source_->Nodes().First() != kNoNode ? QStringLiteral("Drawing the treemap…")
                                                                         : QStringLiteral("No catalogue"));
        return;
    }
    // Unscaled: a stretched image would cost a scaling pass on every paint while the window is
    // resized, and the next picture, of the new size, is on its way.
    painter.drawImage(0, 0, shown_->image);
    const QRegion uncovered = QRegion(rect()).subtracted(QRect(QPoint(0, 0), shown_->image.size()));
    for (const QRect &r : uncovered)
        painter.fillRect(r, palette().color(QPalette::Window));

    const TTreemap *map = Map();
    if (!map)
        return;
    // The entry shown elsewhere: a ring in the highlight colour with a dark and a light edge, so
    // it reads on any tile.
    if (highlightTile_ != kNoTile && highlightTile_ != 0) {
        const QRect r = toWidget(map->items[highlightTile_].Rect());
        QColor tint = palette().color(QPalette::Highlight);
        tint.setAlpha(60);
        painter.fillRect(r, tint);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(QColor(0, 0, 0, 190), 6));
        painter.drawRect(r.adjusted(2, 2, -3, -3));
        painter.setPen(QPen(palette().color(QPalette::Highlight), 4));
        painter.drawRect(r.adjusted(2, 2, -3, -3));
        painter.setPen(QPen(QColor(255, 255, 255, 220), 1));
        painter.drawRect(r.adjusted(5, 5, -6, -6));
    }
    if (hoverTile_ != kNoTile && hoverTile_ != highlightTile_ && hoverTile_ < map->items.size()) {
        const QRect r = toWidget(map->items[hoverTile_].Rect());
        painter.setBrush(QColor(255, 255, 255, 40));
        painter.setPen(QPen(QColor(255, 255, 255, 220), 1));
        painter.drawRect(r.adjusted(0, 0, -1, -1));
    }
}

void QtTreemap::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    schedule();
}

void QtTreemap::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    schedule();
}

void QtTreemap::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange ||
        event->type() == QEvent::StyleChange) {
        ++look_;
        schedule();
    }
}

void QtTreemap::mouseMoveEvent(QMouseEvent *event)
{
    guarded([&] { hover(event); });
}

void QtTreemap::hover(QMouseEvent *event)
{
    const std::uint32_t tile = tileAt(event->position().toPoint());
    if (tile == hoverTile_)
        return;
    hoverTile_ = tile;
    update();
    const TTreemap *map = Map();
    if (tile == kNoTile || !map || !source_) {
        QToolTip::hideText();
        return;
    }
    const std::string text = TreemapHoverText(source_->Nodes(), *map, tile);
    QToolTip::showText(event->globalPosition().toPoint(), QString::fromStdString(text), this,
                       toWidget(map->items[tile].Rect()));
}

void QtTreemap::mousePressEvent(QMouseEvent *event)
{
    pressedAt_ = event->position().toPoint();
    QWidget::mousePressEvent(event);
}

void QtTreemap::mouseReleaseEvent(QMouseEvent *event)
{
    if (std::exchange(ignoreRelease_, false) || event->button() != Qt::LeftButton)
        return;
    if ((event->position().toPoint() - pressedAt_).manhattanLength() > QApplication::startDragDistance())
        return;
    const NodeId node = NodeAt(event->position().toPoint());
    if (node != kNoNode)
        guarded([&] { emit TileClicked(node); });
}

void QtTreemap::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    ignoreRelease_ = true; // the release that ends a double click is no click of its own
    int x = 0, y = 0;
    if (!toPicture(event->position().toPoint(), x, y))
        return;
    guarded([&] {
        const std::uint32_t target = TreemapZoomTarget(shown_->map, TreemapPathAt(shown_->map, x, y));
        if (target != kNoTile)
            emit TileDoubleClicked(shown_->map.items[target].node);
    });
}

void QtTreemap::contextMenuEvent(QContextMenuEvent *event)
{
    QPoint at = event->pos();
    NodeId node = NodeAt(at);
    if (event->reason() == QContextMenuEvent::Keyboard && highlight_ != kNoNode) {
        node = highlight_; // the menu key acts on the entry shown
        const QRect r = TileRect(node);
        if (!r.isEmpty())
            at = r.center();
    }
    guarded([&] { emit ContextMenuRequested(node, mapToGlobal(at)); });
}

void QtTreemap::leaveEvent(QEvent *event)
{
    QWidget::leaveEvent(event);
    hoverTile_ = kNoTile;
    update();
}

} // namespace folvane
