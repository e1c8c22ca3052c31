#include "tuning/ChartKeyboard.h"

#include "connection/Session.h"
#include "model/Numbers.h"
#include "tuning/MapChart.h"

#include <QLineEdit>
#include <algorithm>
#include <vector>

namespace {
QString number(double v) {
    return emu::num::formatGeneral(v);
}
} // namespace

ChartKeyboard::ChartKeyboard(Session &session, MapChartSet &charts)
    : m_s(session), m_charts(charts) {}

void ChartKeyboard::keyDown(int key) {
    const int active = m_charts.active();
    if (active >= 0 && m_charts.chart(Chart(active))->isEnabled()) keyPress(Chart(active), key);
}

void ChartKeyboard::keyUp() {
    const int active = m_charts.active();
    if (active >= 0 && m_charts.chart(Chart(active))->isEnabled()) keyRelease(Chart(active));
}

void ChartKeyboard::refreshKeyStep(Chart c) {
    // The correction charts take their step from the axis at each key.
    const QCPRange r = m_charts.chart(c)->xAxis->range();
    if (c == Temp)
        m_charts[c].step = r.upper / 24;
    else if (c == AirTemp)
        m_charts[c].step = (r.upper - r.lower) / 24;
    else if (c == Voltage)
        m_charts[c].step = (r.upper - r.lower) / 16;
}

void ChartKeyboard::keyPress(Chart c, int key) {
    MapChartSet::State &st = m_charts[c];
    const MapId id = m_charts.mapOf(c);
    const MapAxes axes = m_s.axes();
    const int n = m_charts.pointCount(id);
    if (n < 1) return;
    if ((c == Vacuum || c == FuelVac) && !(emu::model::vacuumFullScale(axes) > 0))
        return; // no vacuum axis: no point can be found
    refreshKeyStep(c);

    // 1-2: the selection and its point, kept on the map: a step that would leave the first or
    // last point is not taken, and a selection off the map is drawn onto its nearest end point.
    double x = st.selection;
    if (key == Qt::Key_Left)
        x -= st.step;
    else if (key == Qt::Key_Right)
        x += st.step;
    int p = m_s.maps().nearest(id, x, axes);
    if (p < 1 || p > n) {
        x = st.selection;
        p = m_s.maps().nearest(id, x, axes);
        if (p < 1 || p > n) {
            p = std::clamp(p, 1, n);
            x = m_s.maps().position(id, p, axes);
        }
    }
    const auto [keyLo, keyHi] = m_charts.keyLimits(id);
    const double value = m_s.maps().value(id, p);
    double v = emu::num::roundHalfEven(value);

    // 3: Up / Down; the timing map stays within 0..45, every map within its byte range.
    if (key == Qt::Key_Up) {
        const double up = emu::num::roundHalfEven(value + 1);
        if (c == Timing ? v < keyHi : up <= keyHi) v = up;
    } else if (key == Qt::Key_Down) {
        const double down = emu::num::roundHalfEven(value - 1);
        if (c == Timing ? v > keyLo : down >= keyLo) v = down;
    }

    // 4: selection cursor.
    st.chart->setBar(st.cursorIndex, x, st.cursorHeight);

    // 5, 6: store and redraw (the point is sent when the key is released).
    if (c == Timing && (key == Qt::Key_PageUp || key == Qt::Key_PageDown)) {
        const int delta = key == Qt::Key_PageUp ? 1 : -1;
        const int top = m_charts.hi(c);
        std::vector<double> all(n);
        for (int q = 1; q <= n; ++q) {
            const double w = m_s.maps().value(id, q);
            all[q - 1] = (delta > 0 && w < top) || (delta < 0 && w > 0) ? w + delta : w;
        }
        m_s.storeMapPoints(id, 1, all);
        v = emu::num::roundHalfEven(m_s.maps().value(id, p));
    } else {
        m_s.storeMapPoints(id, p, {v});
    }

    // 7: selection and last key position.
    st.selection = c == FuelVac ? emu::model::vacuumPosition(id, p, axes) : x;
    m_lastKeyPosition = st.selection;

    // 8: read-outs.
    st.chart->valueBox()->setText(number(v));
    QString pos;
    switch (c) {
    case Timing:
    case FuelRpm:
        pos = number(x * 100);
        break;
    case Vacuum:
        pos = number(emu::num::roundTo(x, 1));
        break;
    case FuelVac:
        pos = number(emu::num::roundTo(st.selection, 1));
        break;
    default:
        pos = number(x);
        break;
    }
    st.chart->positionBox()->setText(pos);
    m_charts.describe(c, p);

    // 9: the pointer is hidden over the chart until it moves over a chart again.
    st.chart->setCursor(Qt::BlankCursor);
}

void ChartKeyboard::keyRelease(Chart c) {
    const MapId id = m_charts.mapOf(c);
    double x = m_lastKeyPosition;
    if (c == Vacuum) x = emu::num::roundTo(x, 2);
    const int p = m_s.maps().nearest(id, x, m_s.axes());
    if (p < 1 || p > m_charts.pointCount(id)) return; // no key has selected a point on this map
    m_s.sendPoint(id, p);
}

void ChartKeyboard::select(Chart c, MapId id, int p) {
    MapChartSet::State &st = m_charts[c];
    const double x = m_s.maps().position(id, p, m_s.axes());
    m_charts.setActive(c);
    st.selection = x;
    m_lastKeyPosition = x;
    st.chart->setBar(st.cursorIndex, x, st.cursorHeight);
    m_charts.describe(c, p);
}

void ChartKeyboard::trackOperatingPoint(double rpmHundreds, double vacuumBar) {
    m_charts[Timing].selection = rpmHundreds;
    m_charts[FuelRpm].selection = rpmHundreds;
    m_charts[Vacuum].selection = vacuumBar;
    m_charts[FuelVac].selection = vacuumBar;
}
