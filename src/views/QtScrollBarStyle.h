#pragma once
// The style of a grid's scroll bars: the application's own, its pictures kept and drawn in bands.
//
// Stepping through a large tree page by page moves the scroll bar's value at every step, but on a
// bar for a million rows its slider moves by a fraction of a pixel: the picture stays the same.
// So a bar's picture is kept (in the pixmap cache) by all that it is drawn from, with the
// slider's place in pixels instead of its value, and drawn again only when one of those changes.
//
// When it is drawn: Qt's raster engine hands a fill of a gradient that covers 96 lines or more to
// its GUI thread pool and waits for it, and the groove of a vertical bar as tall as the grid is
// such a fill; on a machine with few cores, waking the pool and waiting for it costs more than
// the fill. Drawn in bands of fewer lines, every fill stays on the painting thread, and the
// picture is the same, pixel for pixel.

#include <QProxyStyle>

class QStyleOptionSlider;

namespace folvane {

class QtScrollBarStyle final : public QProxyStyle {
public:
    // The one instance, made on first use on the UI thread and kept for the program's life.
    static QtScrollBarStyle *Instance();

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex *option, QPainter *painter,
                            const QWidget *widget = nullptr) const override;

private:
    QtScrollBarStyle() = default;
    QString pictureKey(const QStyleOptionSlider &bar, const QWidget *widget, qreal ratio) const;
    void drawInBands(const QStyleOptionComplex *option, QPainter *painter, const QWidget *widget) const;
};

} // namespace folvane
