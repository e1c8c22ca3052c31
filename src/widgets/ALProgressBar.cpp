#include "widgets/ALProgressBar.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QEvent>
#include <QPainter>
#include <QPalette>
#include <QResizeEvent>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// num / den rounded to the nearest integer, halves to the even neighbour (den > 0).
qint64 divRoundEven(qint64 num, qint64 den) {
    qint64 q = num / den;
    qint64 r = num % den;
    if (r < 0) { // floor division
        r += den;
        --q;
    }
    if (2 * r > den || (2 * r == den && (q & 1) != 0)) ++q;
    return q;
}

// The bar as seen by assistive technology: a progress indicator whose value is the position.
class BarAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit BarAccessible(QWidget *w) : QAccessibleWidget(w, QAccessible::ProgressBar) {}

    void *interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface *>(this);
        return QAccessibleWidget::interface_cast(t);
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return QString::number(bar()->position());
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = true;
        return s;
    }
    QVariant currentValue() const override { return bar()->position(); }
    void setCurrentValue(const QVariant &) override {} // an indicator, not an input
    QVariant maximumValue() const override { return bar()->max(); }
    QVariant minimumValue() const override { return bar()->min(); }
    QVariant minimumStepSize() const override { return 1; }

private:
    TALProgressBar *bar() const { return static_cast<TALProgressBar *>(widget()); }
};

QAccessibleInterface *barAccessibleFactory(const QString &key, QObject *object) {
    if (key == QLatin1String("TALProgressBar")) {
        if (auto *bar = qobject_cast<TALProgressBar *>(object)) return new BarAccessible(bar);
    }
    return nullptr;
}

} // namespace

TALProgressBar::TALProgressBar(QWidget *parent) : QWidget(parent) {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(barAccessibleFactory);
        return true;
    }();
    Q_UNUSED(factoryInstalled);

    const QPalette pal = palette();
    m_backgroundColor = pal.color(QPalette::Button);
    m_barColor1 = green();
    m_barColor2 = yellow();
    m_barColor3 = red();
    m_borderColor1 = pal.color(QPalette::Dark);
    m_borderColor2 = pal.color(QPalette::Light);
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(200, 20);
}

TALProgressBar::~TALProgressBar() = default;

void TALProgressBar::lookChanged() {
    m_patternDirty = true;
    update();
}

#define EMU_BAR_SETTER(name, member, type)                                                         \
    void TALProgressBar::name(type v) {                                                            \
        if (member == v) return;                                                                   \
        member = v;                                                                                \
        lookChanged();                                                                             \
    }

EMU_BAR_SETTER(setBackgroundColor, m_backgroundColor, const QColor &)
EMU_BAR_SETTER(setBarColor1, m_barColor1, const QColor &)
EMU_BAR_SETTER(setBarColor2, m_barColor2, const QColor &)
EMU_BAR_SETTER(setBarColor3, m_barColor3, const QColor &)
EMU_BAR_SETTER(setBarColorStyle, m_style, BarColorStyle)
EMU_BAR_SETTER(setBorderColor1, m_borderColor1, const QColor &)
EMU_BAR_SETTER(setBorderColor2, m_borderColor2, const QColor &)
EMU_BAR_SETTER(setDirection, m_direction, Direction)
EMU_BAR_SETTER(setMax, m_max, int)
EMU_BAR_SETTER(setMin, m_min, int)
EMU_BAR_SETTER(setPercentage, m_percentage, bool)
EMU_BAR_SETTER(setPosTextPrefix, m_prefix, const QString &)
EMU_BAR_SETTER(setPosTextSuffix, m_suffix, const QString &)
EMU_BAR_SETTER(setShowBorder, m_showBorder, bool)
EMU_BAR_SETTER(setShowPosText, m_showPosText, bool)
#undef EMU_BAR_SETTER

void TALProgressBar::setBarBitmap(const QImage &image) {
    m_barBitmap = image.copy(); // an owned copy, independent of the caller's image
    lookChanged();
}

void TALProgressBar::setPosition(int v) {
    if (v == m_position || v < m_min || v > m_max) return;
    m_position = v;
    // The pattern is reused; a hidden bar only stores the value and is painted when shown.
    update();
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent event(this, v);
        QAccessible::updateAccessibility(&event);
    }
    emit positionChanged(v);
}

int TALProgressBar::trackLength() const {
    const int length =
        (m_direction == pdLeftToRight || m_direction == pdRightToLeft) ? width() : height();
    return std::max(0, length - (m_showBorder ? 2 : 0));
}

int TALProgressBar::filledLength() const {
    const qint64 range = std::llabs(qint64(m_max) - qint64(m_min));
    if (m_position <= m_min || range == 0) return 0;
    const int l = trackLength();
    const qint64 c = divRoundEven((qint64(m_position) - qint64(m_min)) * l, range);
    // After Min or Max changed the position may lie outside the range: the fill never leaves
    // its track.
    return int(std::clamp<qint64>(c, 0, l));
}

QRect TALProgressBar::innerRect() const {
    if (!m_showBorder) return rect();
    return QRect(1, 1, std::max(0, width() - 2), std::max(0, height() - 2));
}

QRect TALProgressBar::fillRect() const {
    const QRect in = innerRect();
    const int c = filledLength();
    switch (m_direction) {
    case pdLeftToRight:
        return QRect(in.left(), in.top(), c, in.height());
    case pdRightToLeft:
        return QRect(in.left() + in.width() - c, in.top(), c, in.height());
    case pdBottomToTop:
        return QRect(in.left(), in.top() + in.height() - c, in.width(), c);
    case pdTopToBottom:
        return QRect(in.left(), in.top(), in.width(), c);
    }
    return QRect();
}

QString TALProgressBar::positionText() const {
    qint64 number = m_position;
    if (m_percentage) {
        // A maximum of 0 would divide by zero: the text then reads 0.
        number = m_max == 0 ? 0 : qint64(std::nearbyint(double(m_position) / m_max * 100.0));
    }
    return m_prefix + QString::number(number) + m_suffix;
}

QColor TALProgressBar::interpolate(const QColor &a, const QColor &b, int k, int n) {
    if (n <= 1) return a.toRgb();
    k = std::clamp(k, 1, n);
    const QColor ra = a.toRgb();
    const QColor rb = b.toRgb();
    auto channel = [&](int ca, int cb) {
        return ca + int(divRoundEven(qint64(k - 1) * (cb - ca), n - 1));
    };
    return QColor(channel(ra.red(), rb.red()), channel(ra.green(), rb.green()),
                  channel(ra.blue(), rb.blue()));
}

void TALProgressBar::buildPattern() {
    ++m_patternBuilds;
    m_patternDirty = false;
    const QSize sz = size();
    if (sz.isEmpty()) {
        m_pattern = QImage();
        return;
    }
    if (m_pattern.size() != sz) m_pattern = QImage(sz, QImage::Format_RGB32);

    if (!m_barBitmap.isNull()) {
        QPainter p(&m_pattern);
        p.fillRect(m_pattern.rect(), m_backgroundColor);
        p.drawTiledPixmap(m_pattern.rect(), QPixmap::fromImage(m_barBitmap));
        return;
    }
    if (m_style == cs1Color) {
        m_pattern.fill(m_barColor1);
        return;
    }

    // Lines are drawn in screen order (left to right, top to bottom); the colours are swapped
    // for bars that grow right to left or bottom to top so that the fill's start gets BarColor1.
    const bool horizontal = m_direction == pdLeftToRight || m_direction == pdRightToLeft;
    const bool forward = m_direction == pdLeftToRight || m_direction == pdTopToBottom;
    const int n = horizontal ? sz.width() : sz.height();

    QPainter p(&m_pattern);
    int pos = 0;
    auto run = [&](const QColor &from, const QColor &to, int count) {
        for (int k = 1; k <= count; ++k, ++pos) {
            const QColor c = interpolate(from, to, k, count);
            if (horizontal)
                p.fillRect(pos, 0, 1, sz.height(), c);
            else
                p.fillRect(0, pos, sz.width(), 1, c);
        }
    };
    if (m_style == cs2Colors) {
        if (forward)
            run(m_barColor1, m_barColor2, n);
        else
            run(m_barColor2, m_barColor1, n);
    } else {
        const int half = n / 2;
        if (forward) {
            run(m_barColor1, m_barColor2, half);
            run(m_barColor2, m_barColor3, n - half);
        } else {
            run(m_barColor3, m_barColor2, half);
            run(m_barColor2, m_barColor1, n - half);
        }
    }
}

void TALProgressBar::paintEvent(QPaintEvent *) {
    ++m_paints;
    // Qt paints into the window's off-screen backing store, which reaches the screen once.
    QPainter p(this);
    if (m_patternDirty || m_pattern.size() != size()) buildPattern();
    if (!m_pattern.isNull()) p.drawImage(0, 0, m_pattern);

    // Cover the unfilled part of the track with the background colour.
    const QRect in = innerRect();
    const QRect fill = fillRect();
    const int rest = trackLength() - filledLength();
    if (rest > 0) {
        QRect open;
        switch (m_direction) {
        case pdLeftToRight:
            open = QRect(fill.left() + fill.width(), in.top(), rest, in.height());
            break;
        case pdRightToLeft:
            open = QRect(in.left(), in.top(), rest, in.height());
            break;
        case pdBottomToTop:
            open = QRect(in.left(), in.top(), in.width(), rest);
            break;
        case pdTopToBottom:
            open = QRect(in.left(), fill.top() + fill.height(), in.width(), rest);
            break;
        }
        p.fillRect(open, m_backgroundColor);
    }

    if (m_showBorder) {
        const int w = width();
        const int h = height();
        // Top and left in the first colour, bottom and right in the second; the bottom-left
        // corner pixel is left as it is.
        p.fillRect(0, 0, w, 1, m_borderColor1);
        p.fillRect(0, 0, 1, h - 1, m_borderColor1);
        p.fillRect(1, h - 1, w - 1, 1, m_borderColor2);
        p.fillRect(w - 1, 1, 1, h - 1, m_borderColor2);
    }

    if (m_showPosText) {
        const QString text = positionText();
        const QFontMetrics fm(font());
        const int left = width() / 2 - fm.horizontalAdvance(text) / 2;
        const int top = height() / 2 - fm.height() / 2;
        p.setFont(font());
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(QPoint(left, top + fm.ascent()), text);
    }
}

void TALProgressBar::resizeEvent(QResizeEvent *event) {
    // The pattern follows the size at the next paint; a resize to the same size costs nothing.
    if (event->size() != m_pattern.size()) m_patternDirty = true;
    QWidget::resizeEvent(event);
}

void TALProgressBar::changeEvent(QEvent *event) {
    if (event->type() == QEvent::FontChange) update();
    QWidget::changeEvent(event);
}
