#include "views/QtScrollBarStyle.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>
#include <QStyleOption>

namespace folvane {

namespace {
// Fewer lines than the raster engine hands to its pool.
constexpr int kBand = 64;
} // namespace

QtScrollBarStyle *QtScrollBarStyle::Instance()
{
    static QtScrollBarStyle *style = new QtScrollBarStyle;
    return style;
}

QString QtScrollBarStyle::pictureKey(const QStyleOptionSlider &bar, const QWidget *widget, qreal ratio) const
{
    // Everything the bar is drawn from, but the value: where the slider is, in pixels, and
    // whether the value stands at either end (the arrows may show that).
    const QRect slider = subControlRect(CC_ScrollBar, &bar, SC_ScrollBarSlider, widget);
    return QStringLiteral("folvane-scrollbar:%1:%2x%3@%4:%5:%6:%7:%8:%9:%10:%11:%12,%13,%14,%15:%16%17%18")
        .arg(baseStyle()->name())
        .arg(bar.rect.width())
        .arg(bar.rect.height())
        .arg(ratio)
        .arg(uint(bar.state))
        .arg(uint(bar.subControls))
        .arg(uint(bar.activeSubControls))
        .arg(int(bar.orientation))
        .arg(int(bar.direction))
        .arg(bar.upsideDown)
        .arg(bar.palette.cacheKey())
        .arg(slider.x())
        .arg(slider.y())
        .arg(slider.width())
        .arg(slider.height())
        .arg(bar.sliderValue == bar.minimum)
        .arg(bar.sliderValue == bar.maximum)
        .arg(bar.minimum == bar.maximum);
}

void QtScrollBarStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex *option,
                                          QPainter *painter, const QWidget *widget) const
{
    const auto *bar = qstyleoption_cast<const QStyleOptionSlider *>(option);
    if (control != CC_ScrollBar || !bar || option->rect.isEmpty()) {
        QProxyStyle::drawComplexControl(control, option, painter, widget);
        return;
    }
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const QString key = pictureKey(*bar, widget, ratio);
    QPixmap picture;
    if (!QPixmapCache::find(key, &picture)) {
        QImage made((QSizeF(option->rect.size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
        made.setDevicePixelRatio(ratio);
        made.fill(Qt::transparent);
        QStyleOptionSlider atOrigin = *bar;
        atOrigin.rect.moveTopLeft(QPoint(0, 0));
        QPainter onPicture(&made);
        onPicture.setRenderHints(painter->renderHints());
        drawInBands(&atOrigin, &onPicture, widget);
        onPicture.end();
        picture = QPixmap::fromImage(std::move(made));
        QPixmapCache::insert(key, picture);
    }
    painter->drawPixmap(option->rect.topLeft(), picture);
}

void QtScrollBarStyle::drawInBands(const QStyleOptionComplex *option, QPainter *painter, const QWidget *widget) const
{
    // The engine fills line by line, whichever way the bar runs: each band of rows is drawn into
    // a picture of its own height, which holds the fills to it, then laid in place. The groove
    // fills the bar with an opaque colour first, so the bands join without a seam.
    const QRect whole = option->rect;
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    QImage band((QSizeF(whole.width(), kBand) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    band.setDevicePixelRatio(ratio);
    for (int from = 0; from < whole.height(); from += kBand) {
        band.fill(Qt::transparent);
        QPainter onBand(&band);
        onBand.setRenderHints(painter->renderHints());
        onBand.translate(-whole.left(), -(whole.top() + from));
        QProxyStyle::drawComplexControl(CC_ScrollBar, option, &onBand, widget);
        onBand.end();
        painter->drawImage(QPoint(whole.left(), whole.top() + from), band);
    }
}

} // namespace folvane
