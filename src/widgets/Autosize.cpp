#include "widgets/Autosize.h"

#include <cmath>

#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>

TAutoSizeLabel::TAutoSizeLabel(QWidget *parent) : QLabel(parent) {
    QLabel::setText(QString());
    setFont(QFont(QStringLiteral("Arial")));
    resize(200, 200);
    setAccessibleName(m_text);
}

void TAutoSizeLabel::setAngle(TextAngle angle) {
    if (angle == m_angle) return;
    m_angle = angle;
    update();
}

void TAutoSizeLabel::setLabelText(const QString &text) {
    if (text == m_text) return;
    m_text = text;
    setAccessibleName(text);
    update();
}

bool TAutoSizeLabel::fitFont(const QFont &base, const QString &text, TextAngle angle, QSize box,
                             QFont *font, double *stretch) {
    const bool upright = angle == ta0 || angle == ta180;
    const int length = upright ? box.width() : box.height();
    const int thickness = upright ? box.height() : box.width();
    if (text.isEmpty() || length <= 0 || thickness <= 0) return false;

    // Cell height (ascent + descent) equal to the box's thickness.
    QFont f(base);
    f.setPixelSize(qMax(1, thickness));
    const double cell = QFontMetricsF(f).height();
    if (cell > 0) f.setPixelSize(qMax(1, int(thickness * thickness / cell)));

    // Character width so that the text, counted in average characters, fills the length.
    const QFontMetricsF fm(f);
    const double w = fm.horizontalAdvance(text);
    const double a = fm.averageCharWidth();
    if (w <= 0 || a <= 0) return false;
    const double charWidth = std::nearbyint(length / (w / a));
    *font = f;
    *stretch = charWidth / a;
    return true;
}

void TAutoSizeLabel::paintEvent(QPaintEvent *event) {
    if (!QLabel::text().isEmpty()) QLabel::setText(QString());
    QLabel::paintEvent(event); // background and frame

    QFont f;
    double stretch = 1;
    if (!fitFont(font(), m_text, m_angle, size(), &f, &stretch))
        return; // nothing to stretch over the box

    QPainter p(this);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setFont(f);
    p.setPen(palette().color(foregroundRole()));
    p.setBackgroundMode(Qt::TransparentMode);
    // The text starts at the corner where its reading direction begins; the top of its cell lies
    // on the box's edge, so the cell covers the box's thickness.
    switch (m_angle) {
    case ta0:
        break;
    case ta90:
        p.translate(0, height());
        break;
    case ta180:
        p.translate(width(), height());
        break;
    case ta270:
        p.translate(width(), 0);
        break;
    }
    p.rotate(-degrees(m_angle));
    p.scale(stretch, 1);
    p.drawText(QPointF(0, QFontMetricsF(f).ascent()), m_text);
}
