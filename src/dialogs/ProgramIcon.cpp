#include "dialogs/ProgramIcon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace emu::ui {

QPixmap programPixmap(int size, qreal dpr) {
    QPixmap pm(QSize(size, size) * dpr);
    pm.setDevicePixelRatio(dpr);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    // Everything below is drawn on a 64 x 64 grid.
    p.scale(size / 64.0, size / 64.0);

    // Dial: dark blue disc with a light rim.
    QRadialGradient face(QPointF(26, 22), 40);
    face.setColorAt(0, QColor(46, 86, 150));
    face.setColorAt(1, QColor(14, 30, 64));
    p.setPen(QPen(QColor(200, 214, 235), 2.5));
    p.setBrush(face);
    p.drawEllipse(QPointF(32, 32), 29, 29);

    // Scale ticks along the lower arc.
    p.setPen(QPen(QColor(170, 190, 220), 1.6, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i <= 8; ++i) {
        p.save();
        p.translate(32, 32);
        p.rotate(-120 + i * 30);
        p.drawLine(QPointF(0, -24), QPointF(0, i % 2 ? -21.5 : -20));
        p.restore();
    }

    // Timing curve: rises with engine speed and levels off.
    QPainterPath curve;
    curve.moveTo(12, 46);
    curve.cubicTo(20, 44, 24, 26, 34, 22);
    curve.cubicTo(42, 19, 47, 19, 53, 18);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 170, 40), 3.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(curve);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 226, 150));
    for (const QPointF pt : {QPointF(12, 46), QPointF(26, 31), QPointF(40, 20.2), QPointF(53, 18)})
        p.drawEllipse(pt, 2.6, 2.6);

    // Spark: a small lightning bolt at the bottom.
    QPainterPath bolt;
    bolt.moveTo(34, 38);
    bolt.lineTo(27, 49);
    bolt.lineTo(32, 49);
    bolt.lineTo(29, 58);
    bolt.lineTo(39, 45);
    bolt.lineTo(34, 45);
    bolt.lineTo(37, 38);
    bolt.closeSubpath();
    QLinearGradient boltFill(QPointF(30, 38), QPointF(34, 58));
    boltFill.setColorAt(0, QColor(255, 255, 210));
    boltFill.setColorAt(1, QColor(120, 220, 255));
    p.setBrush(boltFill);
    p.setPen(QPen(QColor(20, 40, 80), 0.8));
    p.drawPath(bolt);
    return pm;
}

QIcon programIcon() {
    QIcon icon;
    for (int s : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(programPixmap(s));
    return icon;
}

} // namespace emu::ui
