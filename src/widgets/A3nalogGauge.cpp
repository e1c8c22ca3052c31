#include "widgets/A3nalogGauge.h"

#include "widgets/Palette.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QElapsedTimer>
#include <QEvent>
#include <QFontInfo>
#include <QPainter>
#include <QPalette>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

namespace {

constexpr double kDegToRad = 3.14159265358979323846 / 180.0;

// A point at angle theta (degrees; 0 left, 90 up, 180 right) and radius r from the centre.
QPointF polar(const QPointF &c, double theta, double r) {
    const double a = theta * kDegToRad;
    return QPointF(c.x() - r * std::cos(a), c.y() - r * std::sin(a));
}

// The gauge as seen by assistive technology: a read-only dial whose value is the position and
// whose name is the caption (unless the owner gave it a name of its own).
class GaugeAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit GaugeAccessible(QWidget *w) : QAccessibleWidget(w, QAccessible::Dial) {}

    void *interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface *>(this);
        return QAccessibleWidget::interface_cast(t);
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name) {
            const QString own = QAccessibleWidget::text(t);
            return own.isEmpty() ? gauge()->caption() : own;
        }
        if (t == QAccessible::Value) return QString::number(double(gauge()->position()));
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = true;
        return s;
    }
    QVariant currentValue() const override { return double(gauge()->position()); }
    void setCurrentValue(const QVariant &) override {} // an instrument, not an input
    QVariant maximumValue() const override { return gauge()->scale(); }
    QVariant minimumValue() const override { return 0; }
    QVariant minimumStepSize() const override { return 0; }

private:
    TA3nalogGauge *gauge() const { return static_cast<TA3nalogGauge *>(widget()); }
};

QAccessibleInterface *gaugeAccessibleFactory(const QString &key, QObject *object) {
    if (key == QLatin1String("TA3nalogGauge")) {
        if (auto *gauge = qobject_cast<TA3nalogGauge *>(object)) return new GaugeAccessible(gauge);
    }
    return nullptr;
}

// Box filter: every output pixel is the channel-wise mean (rounded down) of the K x K block of
// source pixels it covers, the blocks starting at source pixel (sx, sy). Red and blue are summed
// side by side in one word (at most 16 x 255 per lane, so the lanes never overflow into each
// other).
template <int K> void downsample(const QImage &src, int sx, int sy, QImage &dst) {
    constexpr quint32 area = K * K;
    const int ow = dst.width();
    const int oh = dst.height();
    for (int y = 0; y < oh; ++y) {
        const QRgb *rows[K];
        for (int dy = 0; dy < K; ++dy)
            rows[dy] = reinterpret_cast<const QRgb *>(src.constScanLine(sy + y * K + dy)) + sx;
        auto *out = reinterpret_cast<QRgb *>(dst.scanLine(y));
        for (int x = 0; x < ow; ++x) {
            quint32 rb = 0;
            quint32 g = 0;
            for (int dy = 0; dy < K; ++dy) {
                const QRgb *p = rows[dy] + x * K;
                for (int dx = 0; dx < K; ++dx) {
                    rb += p[dx] & 0x00ff00ffu;
                    g += (p[dx] >> 8) & 0xffu;
                }
            }
            out[x] = qRgb(int((rb >> 16) / area), int(g / area), int((rb & 0xffffu) / area));
        }
    }
}

void downsample(int k, const QImage &src, int sx, int sy, QImage &dst) {
    switch (k) {
    case 2:
        downsample<2>(src, sx, sy, dst);
        break;
    case 3:
        downsample<3>(src, sx, sy, dst);
        break;
    default:
        downsample<4>(src, sx, sy, dst);
        break;
    }
}

} // namespace

TA3nalogGauge::TA3nalogGauge(QWidget *parent) : QWidget(parent) {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(gaugeAccessibleFactory);
        return true;
    }();
    Q_UNUSED(factoryInstalled);

    namespace pal = emu::ui::palette;
    m_minColor = QColor(pal::Green);
    m_midColor = QColor(pal::Yellow);
    m_maxColor = QColor(pal::Red);
    m_faceColor = palette().color(QPalette::Button);
    m_ticksColor = m_valueColor = m_captionColor = m_arrowColor = m_marginColor =
        QColor(pal::Black);
    m_centerColor = QColor(pal::Gray);
    m_circleColor = QColor(pal::Blue);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(60, 50);
    resize(225, 180);
}

TA3nalogGauge::~TA3nalogGauge() = default;

void TA3nalogGauge::faceChanged() {
    m_faceDirty = true;
    update();
}

void TA3nalogGauge::needleChanged() {
    m_needleDirty = true;
    update();
}

void TA3nalogGauge::invalidateFace() {
    faceChanged();
}

#define EMU_GAUGE_SETTER(name, member, type, changed)                                              \
    void TA3nalogGauge::name(type v) {                                                             \
        if (member == v) return;                                                                   \
        member = v;                                                                                \
        changed();                                                                                 \
    }

EMU_GAUGE_SETTER(setMinColor, m_minColor, const QColor &, faceChanged)
EMU_GAUGE_SETTER(setMidColor, m_midColor, const QColor &, faceChanged)
EMU_GAUGE_SETTER(setMaxColor, m_maxColor, const QColor &, faceChanged)
EMU_GAUGE_SETTER(setFaceColor, m_faceColor, const QColor &, faceChanged)
EMU_GAUGE_SETTER(setTicksColor, m_ticksColor, const QColor &, faceChanged)
EMU_GAUGE_SETTER(setValueColor, m_valueColor, const QColor &, faceChanged)
EMU_GAUGE_SETTER(setCaptionColor, m_captionColor, const QColor &, faceChanged)
EMU_GAUGE_SETTER(setMarginColor, m_marginColor, const QColor &, faceChanged)
EMU_GAUGE_SETTER(setCircleColor, m_circleColor, const QColor &, faceChanged)
EMU_GAUGE_SETTER(setCircleRadius, m_circleRadius, int, faceChanged)
EMU_GAUGE_SETTER(setMargin, m_margin, int, faceChanged)
EMU_GAUGE_SETTER(setLengthMainTicks, m_lengthMainTicks, int, faceChanged)
EMU_GAUGE_SETTER(setLengthSubTicks, m_lengthSubTicks, int, faceChanged)
EMU_GAUGE_SETTER(setFaceOptions, m_faceOptions, FaceOptions, faceChanged)
EMU_GAUGE_SETTER(setCaption, m_caption, const QString &, faceChanged)
// The needle and its hub are drawn over the face, so these need only the needle drawn again.
EMU_GAUGE_SETTER(setArrowColor, m_arrowColor, const QColor &, needleChanged)
EMU_GAUGE_SETTER(setCenterColor, m_centerColor, const QColor &, needleChanged)
EMU_GAUGE_SETTER(setCenterRadius, m_centerRadius, int, needleChanged)
#undef EMU_GAUGE_SETTER

void TA3nalogGauge::setAngle(int degrees) {
    if (degrees <= 10 || degrees > 360) return;
    if (m_style != CenterStyle) degrees = std::min(degrees, 90);
    if (degrees == m_angle) return;
    m_angle = degrees;
    faceChanged();
}

void TA3nalogGauge::setStyle(Style s) {
    if (s == m_style) return;
    m_style = s;
    if (m_style != CenterStyle) m_angle = std::min(m_angle, 90);
    faceChanged();
}

void TA3nalogGauge::setArrowWidth(int width) {
    width = std::clamp(width, 1, 5);
    if (width == m_arrowWidth) return;
    m_arrowWidth = width;
    needleChanged();
}

void TA3nalogGauge::setNumberMainTicks(int n) {
    // No main division at all would divide the scale by zero.
    if (n < 1 || n == m_numberMainTicks) return;
    m_numberMainTicks = n;
    faceChanged();
}

void TA3nalogGauge::setPosition(float value) {
    if (value == m_position) return;
    m_position = value;
    if (value > m_indMaximum) emit overMax();
    if (value < m_indMinimum) emit overMin();
    needleChanged();
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent event(this, double(value));
        QAccessible::updateAccessibility(&event);
    }
    emit positionChanged(value);
}

void TA3nalogGauge::setScale(int scale) {
    if (scale == m_scale) return;
    if (scale > 1) {
        m_scale = scale;
        if (m_indMaximum >= scale) m_indMaximum = scale - 1;
        if (scale - m_indMaximum < m_indMinimum) m_indMinimum = scale - m_indMaximum;
    }
    faceChanged();
}

void TA3nalogGauge::setIndMinimum(int v) {
    if (v <= 0 || v >= m_scale || v == m_indMinimum) return;
    m_indMinimum = v;
    faceChanged();
}

void TA3nalogGauge::setIndMaximum(int v) {
    if (v <= 0 || v >= m_scale || v == m_indMaximum) return;
    m_indMaximum = v;
    faceChanged();
}

void TA3nalogGauge::setAntiAliased(AntiAliased aa) {
    if (aa == m_antiAliased) return;
    m_antiAliased = aa;
    sizeImages();
    faceChanged();
}

TA3nalogGauge::Geometry TA3nalogGauge::geometryFor(int w, int h, int k) const {
    Geometry g;
    const int m = m_margin * k;
    g.sweep = m_angle;
    switch (m_style) {
    case LeftStyle:
        g.centre = QPointF(m, h - m);
        g.startAngle = 90;
        g.radius = w - 2 * m;
        break;
    case RightStyle:
        g.centre = QPointF(w - m, h - m);
        g.startAngle = 0;
        g.radius = w - 2 * m;
        break;
    case CenterStyle:
        g.startAngle = (180.0 - m_angle) / 2.0;
        if (m_angle < 180) {
            double r = std::nearbyint((w - 2 * m) / 2.0 / std::cos(g.startAngle * kDegToRad));
            r = std::min(r, double(h - 2 * m));
            g.radius = r;
            g.centre = QPointF(w / 2.0, r + (h - int(r)) / 2);
        } else {
            g.radius = (w - 2 * m) / 2;
            g.centre = QPointF(w / 2.0, h / 2);
        }
        break;
    }
    return g;
}

double TA3nalogGauge::angleOf(double value) const {
    return startAngle() + m_angle * value / m_scale;
}

QPointF TA3nalogGauge::needleEnd(double value) const {
    const Geometry g = geometry();
    return polar(g.centre, g.startAngle + g.sweep * value / m_scale, g.radius);
}

QStringList TA3nalogGauge::tickLabels() const {
    QStringList labels;
    for (int j = 0; j <= m_numberMainTicks; ++j)
        labels << QString::number(qint64(j) * m_scale / m_numberMainTicks);
    return labels;
}

void TA3nalogGauge::sizeImages() {
    const int k = supersampling();
    const QSize big = size() * k;
    if (m_face.size() != big) {
        m_face = QImage(big, QImage::Format_RGB32);
        m_faceDirty = true;
    }
    if (k > 1) {
        if (m_faceSmall.size() != size()) {
            m_faceSmall = QImage(size(), QImage::Format_RGB32);
            m_faceDirty = true;
        }
    } else {
        m_faceSmall = QImage();
        m_patchBig = QImage();
        m_patch = QImage();
    }
}

void TA3nalogGauge::renderFace() {
    ++m_faceRenders;
    m_faceDirty = false;
    m_needleDirty = true;
    if (m_face.isNull()) return;

    const int k = supersampling();
    const int w = m_face.width();
    const int h = m_face.height();
    const int m = m_margin * k;
    const Geometry g = geometryFor(w, h, k);
    const double r = g.radius;
    const double h0 = g.startAngle;
    const int a = g.sweep;
    const FaceOptions o = m_faceOptions;

    QPainter p(&m_face);
    QFont f = font();
    f.setPixelSize(std::max(1, QFontInfo(font()).pixelSize() * k));
    p.setFont(f);
    const QFontMetrics fm(f);
    p.fillRect(m_face.rect(), m_faceColor);

    if (o & ShowFrame) {
        const QPalette pal = palette();
        if (o & Show3D) {
            p.setPen(QPen(pal.color(QPalette::Dark), 2 * k));
            const QPoint shade[] = {{w - 1, 0}, {0, 0}, {0, h - 1}};
            p.drawPolyline(shade, 3);
            p.setPen(QPen(pal.color(QPalette::Light), 2 * k));
            const QPoint light[] = {{0, h - 1}, {w - 1, h - 1}, {w - 1, 0}};
            p.drawPolyline(light, 3);
        } else {
            p.setPen(QPen(pal.color(QPalette::ButtonText), k));
            p.setBrush(Qt::NoBrush);
            p.drawRect(0, 0, w - 1, h - 1);
        }
    }

    if (o & ShowMargin) {
        p.setPen(QPen(m_marginColor, k));
        p.setBrush(Qt::NoBrush);
        p.drawRect(m, m, w - 2 * m - 1, h - 2 * m - 1);
    }

    if (o & ShowCaption) {
        const QPointF at = polar(g.centre, h0 + a / 2.0, r / 2);
        const int left = int(std::nearbyint(at.x())) - fm.horizontalAdvance(m_caption) / 2;
        const int top = int(std::nearbyint(at.y()));
        p.setPen(m_captionColor);
        p.drawText(QPoint(left, top + fm.ascent()), m_caption);
    }

    // Zone arcs. Qt counts arc angles counter-clockwise from three o'clock, the dial clockwise
    // from nine o'clock.
    auto theta = [&](qint64 v) { return h0 + double(v * a) / m_scale; };
    auto arc = [&](qint64 from, qint64 to, const QColor &c) {
        const double t1 = theta(from);
        const double t2 = theta(to);
        QPen pen(c, 4 * k);
        pen.setCapStyle(Qt::FlatCap);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        const QRectF box(g.centre.x() - r, g.centre.y() - r, 2 * r, 2 * r);
        p.drawArc(box, int(std::lround((180.0 - t1) * 16)), int(std::lround(-(t2 - t1) * 16)));
    };
    if (o & ShowIndicatorMax) arc(m_indMaximum, m_scale, m_maxColor);
    if ((o & ShowIndicatorMid) && m_indMinimum < m_indMaximum)
        arc(m_indMinimum, m_indMaximum, m_midColor);
    if (o & ShowIndicatorMin) arc(0, m_indMinimum, m_minColor);

    const QPen tickPen(m_ticksColor, k);
    p.setPen(tickPen);
    if (o & ShowSubTicks) {
        const int n = 5 * m_numberMainTicks;
        for (int i = 0; i <= n; ++i) {
            const double t = h0 + double(a) * i / n;
            p.drawLine(polar(g.centre, t, r - m_lengthSubTicks * k), polar(g.centre, t, r));
        }
    }
    const int n = m_numberMainTicks;
    for (int j = 0; j <= n; ++j) {
        const double t = h0 + double(a) * j / n;
        if (o & ShowMainTicks) {
            p.setPen(tickPen);
            p.drawLine(polar(g.centre, t, r - m_lengthMainTicks * k), polar(g.centre, t, r));
        }
        if (o & ShowCircles) {
            p.setPen(Qt::NoPen);
            p.setBrush(m_circleColor);
            const double cr = m_circleRadius * k;
            p.drawEllipse(polar(g.centre, t, r), cr, cr);
            p.setBrush(Qt::NoBrush);
        }
        if (o & ShowValues) {
            const QString text = QString::number(qint64(j) * m_scale / n);
            const double c = std::cos(t * kDegToRad);
            const double s = std::sin(t * kDegToRad);
            const double inner = r - m_lengthMainTicks * k - 5;
            // The tick index moves the number sideways only.
            const int left = int(std::nearbyint(g.centre.x() - c * (inner - j))) -
                             fm.horizontalAdvance(text) / 2;
            const int top = int(std::nearbyint(g.centre.y() - s * inner));
            p.fillRect(QRect(left, top, fm.horizontalAdvance(text), fm.height()), m_faceColor);
            p.setPen(m_valueColor);
            p.drawText(QPoint(left, top + fm.ascent()), text);
        }
    }
}

void TA3nalogGauge::drawNeedle(QPainter &p, int k) const {
    const Geometry g = geometryFor(width() * k, height() * k, k);
    p.setPen(QPen(m_arrowColor, m_arrowWidth * k));
    p.setBrush(Qt::NoBrush);
    p.drawLine(g.centre,
               polar(g.centre, g.startAngle + g.sweep * double(m_position) / m_scale, g.radius));
    if (m_faceOptions & ShowCenter) {
        p.setPen(Qt::NoPen);
        p.setBrush(m_centerColor);
        const double cr = m_centerRadius * k;
        p.drawEllipse(g.centre, cr, cr);
    }
}

void TA3nalogGauge::renderNeedle() {
    ++m_needleRenders;
    m_needleDirty = false;
    const int k = supersampling();
    if (k == 1 || m_face.isNull()) return; // drawn straight onto the screen at each paint

    // Only the k x k blocks the needle or its hub can touch differ from the filtered face: the
    // box around both, widened by the pen, rounded out to whole blocks.
    const Geometry g = geometryFor(m_face.width(), m_face.height(), k);
    const QPointF tip =
        polar(g.centre, g.startAngle + g.sweep * double(m_position) / m_scale, g.radius);
    double pad = m_arrowWidth * k / 2.0 + 2 * k;
    if (m_faceOptions & ShowCenter) pad = std::max(pad, double(m_centerRadius * k) + 2 * k);
    const double x0 = std::min(g.centre.x(), tip.x()) - pad;
    const double y0 = std::min(g.centre.y(), tip.y()) - pad;
    const double x1 = std::max(g.centre.x(), tip.x()) + pad;
    const double y1 = std::max(g.centre.y(), tip.y()) + pad;
    // In control pixels, clipped to the control.
    const int left = std::max(0, int(std::floor(x0 / k)));
    const int top = std::max(0, int(std::floor(y0 / k)));
    const int right = std::min(width(), int(std::ceil(x1 / k)) + 1);
    const int bottom = std::min(height(), int(std::ceil(y1 / k)) + 1);
    if (right <= left || bottom <= top) {
        m_patch = QImage();
        return;
    }
    const QRect small(left, top, right - left, bottom - top);
    const QRect big(small.topLeft() * k, small.size() * k);
    if (m_patchBig.size() != big.size()) m_patchBig = QImage(big.size(), QImage::Format_RGB32);
    if (m_patch.size() != small.size()) m_patch = QImage(small.size(), QImage::Format_RGB32);
    // The face's pixels under the patch, row by row.
    const size_t rowBytes = size_t(big.width()) * sizeof(QRgb);
    for (int y = 0; y < big.height(); ++y)
        std::memcpy(m_patchBig.scanLine(y),
                    reinterpret_cast<const QRgb *>(m_face.constScanLine(big.top() + y)) +
                        big.left(),
                    rowBytes);
    {
        QPainter p(&m_patchBig);
        p.translate(-big.left(), -big.top());
        drawNeedle(p, k);
    }
    downsample(k, m_patchBig, 0, 0, m_patch);
    m_patchAt = small.topLeft();
}

void TA3nalogGauge::bringUpToDate() {
    sizeImages();
    if (m_faceDirty) {
        renderFace();
        if (supersampling() > 1 && !m_face.isNull())
            downsample(supersampling(), m_face, 0, 0, m_faceSmall);
    }
    if (m_needleDirty) renderNeedle();
}

void TA3nalogGauge::paintGauge(QPainter &p) const {
    if (supersampling() == 1) {
        p.drawImage(0, 0, m_face);
        drawNeedle(p, 1);
    } else {
        p.drawImage(0, 0, m_faceSmall);
        if (!m_patch.isNull()) p.drawImage(m_patchAt, m_patch);
    }
}

QImage TA3nalogGauge::shownImage() {
    bringUpToDate();
    QImage shown(size(), QImage::Format_RGB32);
    if (shown.isNull()) return shown;
    QPainter p(&shown);
    paintGauge(p);
    return shown;
}

void TA3nalogGauge::paintEvent(QPaintEvent *) {
    QElapsedTimer timer;
    timer.start();
    const bool redraw = m_faceDirty || m_needleDirty || m_face.size() != size() * supersampling();
    bringUpToDate();
    {
        QPainter p(this);
        paintGauge(p);
    }
    if (!redraw) return; // an expose only, nothing was drawn again

    // The redraw rate: the monotonic clock's frequency (nanoseconds) over the redraw's duration.
    // A duration too short to measure counts as one tick.
    const qint64 elapsed = std::max<qint64>(1, timer.nsecsElapsed());
    const int frames = int(std::min<qint64>(INT_MAX, 1000000000LL / elapsed));
    if (frames != m_frames) {
        m_frames = frames;
        emit framesChanged(frames);
    }
}

void TA3nalogGauge::resizeEvent(QResizeEvent *event) {
    sizeImages(); // a new size marks the face for drawing again
    QWidget::resizeEvent(event);
}

void TA3nalogGauge::changeEvent(QEvent *event) {
    if (event->type() == QEvent::FontChange) faceChanged();
    QWidget::changeEvent(event);
}
