#include "app/PaintedIcons.h"

#include <QApplication>
#include <QColor>
#include <QPainter>
#include <QPixmap>
#include <QPolygonF>
#include <QRect>
#include <QString>

#include <utility>

namespace folvane {

QIcon ThemedIcon(const char *name, QStyle::StandardPixmap fallback)
{
    return QIcon::fromTheme(QString::fromLatin1(name), QApplication::style()->standardIcon(fallback));
}

QIcon DocumentIcon(const QString &tag, const QColor &band)
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QPolygonF page({QPointF(6, 2), QPointF(21, 2), QPointF(27, 8), QPointF(27, 30), QPointF(6, 30)});
    p.setPen(QColor(110, 110, 110));
    p.setBrush(Qt::white);
    p.drawPolygon(page);
    p.drawLine(QPointF(21, 2), QPointF(21, 8));
    p.drawLine(QPointF(21, 8), QPointF(27, 8));
    p.setPen(QColor(190, 190, 190));
    for (int y = 11; y <= 15; y += 4)
        p.drawLine(QPointF(9, y), QPointF(24, y));
    p.setPen(Qt::NoPen);
    p.setBrush(band);
    p.drawRoundedRect(QRectF(1, 18, 30, 11), 2, 2);
    QFont font = p.font();
    font.setPixelSize(8);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(1, 18, 30, 11), Qt::AlignCenter, tag);
    return QIcon(pixmap);
}

QIcon PieIcon(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box(size * 0.08, size * 0.08, size * 0.84, size * 0.84);
    const QColor colors[] = {QColor(0, 128, 255), QColor(255, 170, 0), QColor(60, 180, 75), QColor(230, 60, 60)};
    const int spans[] = {150, 90, 70, 50};
    int start = 90 * 16;
    p.setPen(QPen(Qt::white, 1));
    for (int i = 0; i < 4; ++i) {
        p.setBrush(colors[i]);
        p.drawPie(box, start, spans[i] * 16);
        start += spans[i] * 16;
    }
    return QIcon(pixmap);
}

QIcon BarIcon(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    const QColor colors[] = {QColor(0, 128, 255), QColor(255, 170, 0), QColor(60, 180, 75)};
    const double heights[] = {0.55, 0.85, 0.35};
    const double w = size / 4.5;
    p.setPen(QColor(80, 80, 80));
    p.drawLine(QPointF(1, size - 1.5), QPointF(size - 1, size - 1.5));
    for (int i = 0; i < 3; ++i) {
        const double h = (size - 3) * heights[i];
        p.fillRect(QRectF(size * 0.1 + i * (w + size * 0.08), size - 2 - h, w, h), colors[i]);
    }
    return QIcon(pixmap);
}

QIcon ClassesIcon()
{
    return BarIcon(16);
}

QIcon TreemapIcon()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setPen(QColor(60, 60, 60));
    const std::pair<QRect, QColor> tiles[] = {{QRect(1, 1, 8, 13), QColor(0, 128, 255)},
                                              {QRect(9, 1, 5, 7), QColor(255, 170, 0)},
                                              {QRect(9, 8, 5, 3), QColor(60, 180, 75)},
                                              {QRect(9, 11, 5, 3), QColor(230, 60, 60)}};
    for (const auto &[rect, colour] : tiles) {
        p.setBrush(colour);
        p.drawRect(rect);
    }
    return QIcon(pixmap);
}

// A green bar up and a red one down: the icon of the Changes tab.
QIcon ChangesIcon()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 150, 70));
    p.drawPolygon(QPolygonF({QPointF(1, 7), QPointF(4.5, 1), QPointF(8, 7)}));
    p.drawRect(QRectF(3, 7, 3, 7));
    p.setBrush(QColor(200, 50, 50));
    p.drawPolygon(QPolygonF({QPointF(8, 9), QPointF(11.5, 15), QPointF(15, 9)}));
    p.drawRect(QRectF(10, 2, 3, 7));
    return QIcon(pixmap);
}

} // namespace folvane
