#include "tuning/MapChart.h"

#include "widgets/Palette.h"

#include <QFocusEvent>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <cmath>

namespace {
constexpr int MarkerSize = 5; // point markers: about two pixels each side of the point
constexpr int BarWidth = 2;   // thin bars, pixels
constexpr int ArrowHead = 7;  // arrow head size, pixels
constexpr int BoxWidth = 56;  // read-out boxes
} // namespace

MapSeries::MapSeries(QCPAxis *keyAxis, QCPAxis *valueAxis, Kind kind)
    : QCPGraph(keyAxis, valueAxis), m_kind(kind) {}

QRect MapSeries::clipRect() const {
    const QRect box = QCPGraph::clipRect();
    if (m_kind != Kind::Curve || box.isEmpty()) return box;
    const int d = MarkerSize / 2 + 1;
    return box.adjusted(-d, -d, d, d);
}

void MapSeries::draw(QCPPainter *painter) {
    if (m_kind == Kind::Curve)
        QCPGraph::draw(painter);
    else if (m_kind == Kind::Arrow || painter->modes().testFlag(QCPPainter::pmNoCaching))
        drawBars(painter); // on screen the bars are drawn by the bar overlay, in exports here
}

void MapSeries::drawBars(QPainter *painter) const {
    QCPAxis *keyAx = keyAxis();
    QCPAxis *valueAx = valueAxis();
    if (!keyAx || !valueAx || data()->isEmpty()) return;
    const double base = valueAx->coordToPixel(valueAx->range().lower);
    QPen p = pen();
    p.setWidth(BarWidth);
    p.setCapStyle(Qt::FlatCap);
    painter->setPen(p);
    painter->setBrush(Qt::NoBrush);
    for (auto it = data()->constBegin(); it != data()->constEnd(); ++it) {
        const double x = keyAx->coordToPixel(it->key);
        const double top = valueAx->coordToPixel(it->value);
        painter->drawLine(QLineF(x, base, x, top));
        if (m_kind == Kind::Arrow) {
            // An open head pointing down at the axis value.
            painter->drawLine(QLineF(x, base, x - ArrowHead / 2.0, base - ArrowHead));
            painter->drawLine(QLineF(x, base, x + ArrowHead / 2.0, base - ArrowHead));
        }
    }
}

// The transparent child over the plot's axis box that the bars are drawn on. A bar that moves
// repaints the strip it left and the strip it entered; under them the plot only copies those
// strips of its buffers, instead of the whole plot, and draws nothing again.
class MapBarOverlay : public QWidget {
public:
    explicit MapBarOverlay(MapChart *chart) : QWidget(chart), m_chart(chart) {
        setObjectName(QStringLiteral("BarOverlay"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
    }

    // The plot was drawn again (axes, layout or size may have changed): follow its axis box and
    // draw every bar again.
    void sync() {
        const QRect box = m_chart->axisRect()->rect();
        if (geometry() != box) setGeometry(box);
        m_shown.clear();
        for (int i = 0; i < m_chart->seriesCount(); ++i)
            if (const MapSeries *s = m_chart->series(i); s->kind() == MapSeries::Kind::Bar)
                m_shown.insert(s, shownOf(s));
        update();
    }

    // A bar's data changed: repaint where it was and where it is now. Nothing is painted while
    // hidden; the whole overlay is painted when shown.
    void barMoved(const MapSeries *s) {
        Shown now = shownOf(s);
        Shown &was = m_shown[s];
        if (now.points == was.points && now.strip == was.strip) return;
        // One rectangle rather than a region of two: under a plain rectangle the plot copies its
        // buffers directly, under a region of several it blends them line by line (several
        // times the cost).
        const QRect dirty = was.strip | now.strip;
        was = std::move(now);
        if (isVisible()) update(dirty);
    }

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter p(this);
        p.translate(-pos()); // the axes give plot coordinates
        for (int i = 0; i < m_chart->seriesCount(); ++i)
            if (const MapSeries *s = m_chart->series(i); s->kind() == MapSeries::Kind::Bar)
                s->drawBars(&p);
    }

private:
    // A series' bars as last asked to be painted: their points, and the overlay's strip they
    // cover (empty without a bar).
    struct Shown {
        QVector<QPointF> points;
        QRect strip;
    };
    Shown shownOf(const MapSeries *s) const {
        Shown shown;
        const QCPAxis *keyAx = s->keyAxis();
        if (!keyAx) return shown;
        for (auto it = s->data()->constBegin(); it != s->data()->constEnd(); ++it) {
            shown.points.append(QPointF(it->key, it->value));
            const double x = keyAx->coordToPixel(it->key);
            if (!std::isfinite(x) || std::abs(x) > 1e6) continue;
            shown.strip |=
                QRect(int(std::floor(x)) - BarWidth - pos().x(), 0, 2 * BarWidth + 2, height());
        }
        shown.strip &= rect();
        return shown;
    }

    MapChart *m_chart;
    QHash<const MapSeries *, Shown> m_shown;
};

MapChart::MapChart(const QString &objectName, const QString &title, QWidget *parent)
    : QCustomPlot(parent), m_title(title) {
    setObjectName(objectName);
    setAccessibleName(title);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setCursor(Qt::CrossCursor);
    setInteractions(QCP::Interactions());
    legend->setVisible(false);
    setMinimumSize(240, 150);

    // The gradient background is an item of the background layer, so it is drawn into that
    // layer's buffer on a full replot only, not on every paint. The plot paints as an opaque
    // widget, so every pixel must be drawn: the gradient's rectangle leaves the last row of the
    // plot (and, smoothed, half of the first), so a plain fill of its end colour goes under it
    // on each paint; otherwise those pixels show whatever was on screen there before.
    QLinearGradient gradient(0, 0, 0, 1);
    gradient.setCoordinateMode(QGradient::ObjectBoundingMode);
    gradient.setColorAt(0, QColor(emu::ui::palette::White));
    gradient.setColorAt(1, QColor(emu::ui::palette::ChartShade));
    setBackground(QBrush(QColor(emu::ui::palette::ChartShade)));
    auto *backdrop = new QCPItemRect(this);
    backdrop->setLayer(QStringLiteral("background"));
    backdrop->setClipToAxisRect(false);
    backdrop->setSelectable(false);
    backdrop->topLeft->setType(QCPItemPosition::ptViewportRatio);
    backdrop->bottomRight->setType(QCPItemPosition::ptViewportRatio);
    backdrop->topLeft->setCoords(0, 0);
    backdrop->bottomRight->setCoords(1, 1);
    backdrop->setPen(Qt::NoPen);
    backdrop->setBrush(QBrush(gradient));

    plotLayout()->insertRow(0);
    QFont font = this->font();
    font.setBold(true);
    auto *titleElement = new QCPTextElement(this, title, font);
    plotLayout()->addElement(0, 0, titleElement);

    // The series draw on a layer of their own, so that a changed curve repaints only that layer.
    // It lies above the axes: everything below it shares one buffer (the unused selection
    // overlay layer too), and each buffer costs a full-size blend on every paint.
    layer(QStringLiteral("overlay"))->setMode(QCPLayer::lmLogical);
    // The live marker and the cursor move on every poll tick and with the mouse. The plot keeps
    // them as series on a layer of their own, sharing the bottom buffer, but draws them only
    // when printed or exported: on screen the bar overlay draws them.
    addLayer(QStringLiteral("bars"), layer(layerCount() - 1), QCustomPlot::limAbove);
    m_barLayer = layer(QStringLiteral("bars"));
    m_barLayer->setMode(QCPLayer::lmLogical);
    addLayer(QStringLiteral("series"), m_barLayer, QCustomPlot::limAbove);
    m_seriesLayer = layer(QStringLiteral("series"));
    m_seriesLayer->setMode(QCPLayer::lmBuffered);

    m_barOverlay = new MapBarOverlay(this);
    connect(this, &QCustomPlot::afterReplot, m_barOverlay, &MapBarOverlay::sync);

    m_frameTimer.setSingleShot(true);
    connect(&m_frameTimer, &QTimer::timeout, this, &MapChart::redrawNow);
}

MapSeries *MapChart::addSeries(const QString &name, MapSeries::Kind kind, const QColor &color) {
    auto *s = new MapSeries(xAxis, yAxis, kind);
    s->setObjectName(name);
    s->setName(name);
    s->setLayer(m_seriesLayer);
    s->setPen(QPen(color, 1));
    s->setAntialiased(false);
    m_series.append(s);
    return s;
}

MapSeries *MapChart::addCurve(const QString &name, const QColor &color,
                              QCPScatterStyle::ScatterShape shape) {
    MapSeries *s = addSeries(name, MapSeries::Kind::Curve, color);
    s->setPen(QPen(color, 1));
    s->setAntialiased(true);
    s->setLineStyle(QCPGraph::lsLine);
    s->setScatterStyle(QCPScatterStyle(shape, color, color, MarkerSize));
    return s;
}

MapSeries *MapChart::addBar(const QString &name, const QColor &color) {
    MapSeries *s = addSeries(name, MapSeries::Kind::Bar, color);
    s->setLayer(m_barLayer);
    s->setLineStyle(QCPGraph::lsNone);
    return s;
}

MapSeries *MapChart::addArrow(const QString &name, const QColor &color) {
    MapSeries *s = addSeries(name, MapSeries::Kind::Arrow, color);
    s->setLineStyle(QCPGraph::lsNone);
    return s;
}

static QSharedPointer<QCPAxisTickerFixed> fixedTicker(double step) {
    QSharedPointer<QCPAxisTickerFixed> t(new QCPAxisTickerFixed);
    t->setTickStep(step);
    // Crowded labels are thinned to multiples of the step.
    t->setScaleStrategy(QCPAxisTickerFixed::ssMultiples);
    t->setTickCount(12);
    return t;
}

void MapChart::setBottomAxis(double lo, double hi, double step, const QString &label) {
    xAxis->setRange(lo, hi);
    xAxis->setLabel(label);
    setBottomStep(step);
}

void MapChart::setLeftAxis(double lo, double hi, double step, const QString &label) {
    yAxis->setRange(lo, hi);
    yAxis->setLabel(label);
    yAxis->setTicker(fixedTicker(step));
    requestRedraw(true);
}

void MapChart::setBottomMaximum(double hi) {
    xAxis->setRangeUpper(hi);
    requestRedraw(true);
}

void MapChart::setBottomStep(double step) {
    m_bottomStep = step;
    xAxis->setTicker(fixedTicker(step));
    requestRedraw(true);
}

void MapChart::setOtherCurve(int index, const QVector<double> &keys,
                             const QVector<double> &values) {
    QCPGraph *g = m_others.value(index);
    if (keys.isEmpty()) {
        if (!g) return;
        removeGraph(g);
        m_others.remove(index);
        requestRedraw(true);
        return;
    }
    if (!g) {
        // A layer of its own under the series: the own curves stay on top.
        if (!layer(QStringLiteral("other"))) {
            addLayer(QStringLiteral("other"), m_seriesLayer, QCustomPlot::limBelow);
            layer(QStringLiteral("other"))->setMode(QCPLayer::lmLogical);
        }
        g = new QCPGraph(xAxis, yAxis);
        g->setObjectName(QStringLiteral("Other%1").arg(index));
        g->setLayer(QStringLiteral("other"));
        g->setPen(QPen(QColor(128, 128, 128), 1, Qt::DashLine));
        g->setLineStyle(QCPGraph::lsLine);
        g->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssNone));
        g->setSelectable(QCP::stNone);
        m_others.insert(index, g);
    }
    g->setData(keys, values, true);
    requestRedraw(true);
}

namespace {
// The cells of a hit strip: drawn in pixels along the bottom of the axis box.
class HitStrip : public QCPAbstractPlottable {
public:
    HitStrip(QCPAxis *x, QCPAxis *y) : QCPAbstractPlottable(x, y) { setSelectable(QCP::stNone); }
    QVector<double> positions, shares;
    double selectTest(const QPointF &, bool, QVariant *) const override { return -1; }
    QCPRange getKeyRange(bool &found, QCP::SignDomain) const override {
        found = false;
        return QCPRange();
    }
    QCPRange getValueRange(bool &found, QCP::SignDomain, const QCPRange &) const override {
        found = false;
        return QCPRange();
    }

protected:
    void draw(QCPPainter *painter) override {
        QCPAxis *x = mKeyAxis.data();
        if (!x) return;
        const QRect box = x->axisRect()->rect();
        const int height = std::max(6, box.height() / 14);
        painter->setPen(Qt::NoPen);
        const int n = int(positions.size());
        for (int i = 0; i < n; ++i) {
            const double share = shares.value(i);
            if (!(share > 0)) continue;
            // From half way to the point before to half way to the point after.
            const double at = x->coordToPixel(positions[i]);
            const double before = i > 0 ? x->coordToPixel(positions[i - 1]) : at - 4;
            const double after = i + 1 < n ? x->coordToPixel(positions[i + 1]) : at + 4;
            const double l = (at + before) / 2, r = (at + after) / 2;
            painter->setBrush(QColor(230, 110, 0, int(40 + 215 * std::min(1.0, share))));
            painter->drawRect(QRectF(l, box.bottom() - height + 1, std::max(1.0, r - l), height));
        }
    }
    void drawLegendIcon(QCPPainter *, const QRectF &) const override {}
};
} // namespace

void MapChart::setHitStrip(const QVector<double> &positions, const QVector<double> &shares) {
    if (positions.isEmpty()) {
        if (!m_hitStrip) return;
        removePlottable(m_hitStrip);
        m_hitStrip = nullptr;
        requestRedraw(true);
        return;
    }
    if (!m_hitStrip) {
        if (!layer(QStringLiteral("hits"))) {
            addLayer(QStringLiteral("hits"), m_seriesLayer, QCustomPlot::limBelow);
            layer(QStringLiteral("hits"))->setMode(QCPLayer::lmLogical);
        }
        m_hitStrip = new HitStrip(xAxis, yAxis);
        m_hitStrip->setObjectName(QStringLiteral("HitStrip"));
        m_hitStrip->setLayer(QStringLiteral("hits"));
    }
    auto *strip = static_cast<HitStrip *>(m_hitStrip);
    strip->positions = positions;
    strip->shares = shares;
    requestRedraw(true);
}

void MapChart::setPoints(int index, const QVector<double> &keys, const QVector<double> &values) {
    if (MapSeries *s = series(index)) {
        s->setData(keys, values, true);
        seriesChanged(s);
    }
}

void MapChart::setBar(int index, double x, double height) {
    if (MapSeries *s = series(index)) {
        s->data()->clear();
        s->addData(x, height);
        seriesChanged(s);
    }
}

void MapChart::clearSeries(int index) {
    if (MapSeries *s = series(index)) {
        if (s->data()->isEmpty()) return;
        s->data()->clear();
        seriesChanged(s);
    }
}

double MapChart::pixelToX(int index, double px) const {
    const MapSeries *s = series(index);
    return (s ? s->keyAxis() : xAxis)->pixelToCoord(px);
}

double MapChart::pixelToY(int index, double py) const {
    const MapSeries *s = series(index);
    return (s ? s->valueAxis() : yAxis)->pixelToCoord(py);
}

void MapChart::setupReadouts(const QString &positionName, const QString &positionCaption,
                             const QString &valueName, const QString &valueCaption) {
    auto makeBox = [this](const QString &name, const QString &caption, QLabel **label) {
        *label = new QLabel(caption, this);
        (*label)->setAttribute(Qt::WA_TransparentForMouseEvents);
        auto *box = new QLineEdit(this);
        box->setObjectName(name);
        box->setReadOnly(true);
        box->setFrame(false);
        box->setFixedWidth(BoxWidth);
        box->setFocusPolicy(Qt::NoFocus);
        box->setAccessibleName(caption);
        box->setAttribute(Qt::WA_TransparentForMouseEvents);
        (*label)->setBuddy(box);
        return box;
    };
    m_positionBox = makeBox(positionName, positionCaption, &m_positionCaption);
    m_valueBox = makeBox(valueName, valueCaption, &m_valueCaption);
    placeOverlays();
}

void MapChart::setReadoutsVisible(bool on) {
    for (QWidget *w :
         {static_cast<QWidget *>(m_positionCaption), static_cast<QWidget *>(m_positionBox),
          static_cast<QWidget *>(m_valueCaption), static_cast<QWidget *>(m_valueBox)})
        if (w) w->setVisible(on);
}

bool MapChart::readoutsVisible() const {
    return m_valueBox && !m_valueBox->isHidden();
}

void MapChart::addTitleWidget(QWidget *w) {
    w->setParent(this);
    m_titleWidgets.append(w);
    placeOverlays();
}

void MapChart::placeOverlays() {
    int x = 4;
    const int y = 2;
    for (auto pair : {std::make_pair(m_positionCaption, m_positionBox),
                      std::make_pair(m_valueCaption, m_valueBox)}) {
        if (!pair.first) continue;
        pair.first->adjustSize();
        pair.first->move(x, y + 2);
        x += pair.first->width() + 2;
        pair.second->move(x, y);
        x += pair.second->width() + 8;
    }
    int right = width() - 4;
    for (int i = m_titleWidgets.size() - 1; i >= 0; --i) {
        QWidget *w = m_titleWidgets[i];
        w->adjustSize();
        right -= w->width();
        w->move(right, y);
        right -= 6;
    }
}

int MapChart::frameIntervalMs() const {
    const QScreen *s = screen();
    const double rate = s ? s->refreshRate() : 60.0;
    return rate > 1 ? int(std::ceil(1000.0 / rate)) : 16;
}

QWidget *MapChart::barOverlay() const {
    return m_barOverlay;
}

void MapChart::seriesChanged(const MapSeries *s) {
    if (s->layer() == m_barLayer)
        m_barOverlay->barMoved(s);
    else
        scheduleRedraw(false);
}

void MapChart::requestRedraw(bool layout) {
    scheduleRedraw(layout);
}

void MapChart::scheduleRedraw(bool layout) {
    m_dirty = true;
    m_layoutDirty = m_layoutDirty || layout;
    if (!isVisible()) return; // drawn when shown
    const int interval = frameIntervalMs();
    const qint64 since = m_sinceRedraw.isValid() ? m_sinceRedraw.elapsed() : interval;
    if (since >= interval)
        redrawNow();
    else if (!m_frameTimer.isActive())
        m_frameTimer.start(int(interval - since));
}

void MapChart::redrawNow() {
    m_frameTimer.stop();
    if (!m_dirty || !isVisible()) return;
    m_dirty = false;
    ++m_redraws;
    m_sinceRedraw.start();
    if (m_layoutDirty) {
        m_layoutDirty = false;
        replot(QCustomPlot::rpRefreshHint);
    } else {
        // Repaints only the series layer's buffer (it falls back to a full replot if the buffers
        // are out of date).
        m_seriesLayer->replot();
    }
}

void MapChart::showEvent(QShowEvent *event) {
    QCustomPlot::showEvent(event);
    if (m_dirty) {
        m_layoutDirty = true;
        redrawNow();
    }
}

void MapChart::resizeEvent(QResizeEvent *event) {
    QCustomPlot::resizeEvent(event);
    placeOverlays();
}

void MapChart::paintEvent(QPaintEvent *event) {
    ++m_paints;
    if (event->rect().contains(rect())) ++m_fullPaints;
    QCustomPlot::paintEvent(event);
    if (hasFocus()) {
        QPainter p(this);
        QStyleOptionFocusRect opt;
        opt.initFrom(this);
        // Some styles draw the frame only after a Tab key; a chart with focus always shows it,
        // since it then takes the tuning keys.
        opt.state |= QStyle::State_KeyboardFocusChange;
        opt.rect = rect().adjusted(1, 1, -1, -1);
        opt.backgroundColor = palette().color(QPalette::Window);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &opt, &p, this);
    }
}

void MapChart::focusInEvent(QFocusEvent *event) {
    QCustomPlot::focusInEvent(event);
    update();
    if (event->reason() != Qt::MouseFocusReason) emit keyboardFocused();
}

void MapChart::focusOutEvent(QFocusEvent *event) {
    QCustomPlot::focusOutEvent(event);
    update();
}
