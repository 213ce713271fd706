#pragma once
// The style of a grid's scroll bars: the application's own, drawn in bands.
//
// Qt's raster engine hands a fill of a gradient that covers 96 lines or more to its GUI thread
// pool and waits for it. The groove of a vertical scroll bar as tall as the grid is such a fill,
// drawn again at every step through the rows; on a machine with few cores, waking the pool and
// waiting for it costs more than the fill. Drawn in bands of fewer lines, every fill stays on the
// painting thread, and the picture is the same, pixel for pixel.

#include <QProxyStyle>

namespace folvane {

class QtScrollBarStyle final : public QProxyStyle {
public:
    // The one instance, made on first use on the UI thread and kept for the program's life.
    static QtScrollBarStyle *Instance();

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex *option, QPainter *painter,
                            const QWidget *widget = nullptr) const override;

private:
    QtScrollBarStyle() = default;
};

} // namespace folvane
