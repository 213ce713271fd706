#include "views/QtScrollBarStyle.h"

#include <QPainter>
#include <QImage>
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

void QtScrollBarStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex *option,
                                          QPainter *painter, const QWidget *widget) const
{
    const QRect whole = option->rect;
    if (control != CC_ScrollBar || whole.height() <= kBand) {
        QProxyStyle::drawComplexControl(control, option, painter, widget);
        return;
    }
    // The engine fills line by line, whichever way the bar runs: each band of rows is drawn into
    // a picture of its own height, which holds the fills to it, then laid in place. The groove
    // fills the bar with an opaque colour first, so the bands join without a seam.
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    QImage band((QSizeF(whole.width(), kBand) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    band.setDevicePixelRatio(ratio);
    for (int from = 0; from < whole.height(); from += kBand) {
        band.fill(Qt::transparent);
        QPainter onBand(&band);
        onBand.setRenderHints(painter->renderHints());
        onBand.translate(-whole.left(), -(whole.top() + from));
        QProxyStyle::drawComplexControl(control, option, &onBand, widget);
        onBand.end();
        painter->drawImage(QPoint(whole.left(), whole.top() + from), band);
    }
}

} // namespace folvane
