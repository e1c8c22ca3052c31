#include "tuning/MapChart.h"

#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QShowEvent>
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
    if (m_kind == Kind::Curve) {
        QCPGraph::draw(painter);
        return;
    }
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
    // layer's buffer on a full replot only, not on every paint.
    QLinearGradient gradient(0, 0, 0, 1);
    gradient.setCoordinateMode(QGradient::ObjectBoundingMode);
    gradient.setColorAt(0, QColor(255, 255, 255));
    gradient.setColorAt(1, QColor(214, 222, 236));
    setBackground(Qt::NoBrush);
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
    // It lies above the axes: everything below it shares one buffer, and each buffer costs a
    // full-size blend on every paint.
    addLayer(QStringLiteral("series"), layer(layerCount() - 1), QCustomPlot::limAbove);
    m_seriesLayer = layer(QStringLiteral("series"));
    m_seriesLayer->setMode(QCPLayer::lmBuffered);
    // The live marker and the cursor move on every poll tick and with the mouse: on a layer of
    // their own above the curves, so that moving them does not draw the curves again.
    addLayer(QStringLiteral("markers"), m_seriesLayer, QCustomPlot::limAbove);
    m_markerLayer = layer(QStringLiteral("markers"));
    m_markerLayer->setMode(QCPLayer::lmBuffered);

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
    s->setLayer(m_markerLayer);
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

void MapChart::seriesChanged(const MapSeries *s) {
    const bool marker = s->layer() == m_markerLayer;
    scheduleRedraw(!marker, marker, false);
}

void MapChart::requestRedraw(bool layout) {
    scheduleRedraw(true, true, layout);
}

void MapChart::scheduleRedraw(bool series, bool markers, bool layout) {
    m_dirty = true;
    m_seriesDirty = m_seriesDirty || series;
    m_markersDirty = m_markersDirty || markers;
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
    const bool series = m_seriesDirty;
    const bool markers = m_markersDirty;
    m_seriesDirty = m_markersDirty = false;
    if (m_layoutDirty) {
        m_layoutDirty = false;
        replot(QCustomPlot::rpRefreshHint);
    } else {
        // Repaints only the changed layers' buffers (a layer falls back to a full replot if the
        // buffers are out of date).
        if (series) m_seriesLayer->replot();
        if (markers) m_markerLayer->replot();
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
