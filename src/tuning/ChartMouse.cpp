#include "tuning/ChartMouse.h"

#include "connection/Session.h"
#include "model/Numbers.h"
#include "tuning/HitShading.h"
#include "tuning/MapChart.h"

#include <QLineEdit>
#include <QMouseEvent>

ChartMouse::ChartMouse(Session &session, MapChartSet &charts, const HitShading &hits,
                       QObject *parent)
    : QObject(parent), m_s(session), m_charts(charts), m_hits(hits) {}

void ChartMouse::watch(QWidget *const panels[3]) {
    for (int t = 0; t < 3; ++t) {
        m_panels[t] = panels[t];
        panels[t]->installEventFilter(this);
    }
    for (int c = 0; c < ChartCount; ++c)
        m_charts.chart(Chart(c))->installEventFilter(this);
}

bool ChartMouse::eventFilter(QObject *watched, QEvent *event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseMove && type != QEvent::MouseButtonPress &&
        type != QEvent::MouseButtonRelease)
        return QObject::eventFilter(watched, event);
    auto *me = static_cast<QMouseEvent *>(event);
    const int c = m_charts.indexOf(watched);
    if (c < 0) {
        if (type == QEvent::MouseMove)
            for (int t = 0; t < 3; ++t)
                if (watched == m_panels[t]) m_charts.hideReadouts(t);
        return false;
    }
    MapChart *ch = m_charts.chart(Chart(c));
    switch (type) {
    case QEvent::MouseButtonPress:
        // With the switch on, pressing starts a drag; the chart holds the pointer until release.
        if (me->button() == Qt::LeftButton && m_mouseTuning) {
            endDrag();
            m_dragSource = c;
            ch->setCursor(Qt::SizeVerCursor);
            // Everything the drag writes, press to release, is one history step.
            m_s.beginEdit();
            m_dragStep = true;
        }
        break;
    case QEvent::MouseButtonRelease:
        if (me->button() == Qt::LeftButton && m_dragSource >= 0) {
            m_charts.chart(Chart(m_dragSource))->setCursor(Qt::CrossCursor);
            endDrag();
        }
        break;
    default: // move
        if (m_dragSource >= 0 && (me->buttons() & Qt::LeftButton)) {
            const QPoint global = me->globalPosition().toPoint();
            const int target = m_charts.chartAt(global);
            if (target >= 0)
                dragOver(Chart(target), m_charts.chart(Chart(target))->mapFromGlobal(global));
        } else {
            endDrag();
            hover(Chart(c), me->position().toPoint());
        }
        break;
    }
    return false;
}

void ChartMouse::endDrag() {
    m_dragSource = -1;
    if (!m_dragStep) return;
    m_dragStep = false;
    m_s.endEdit();
}

void ChartMouse::dragOver(Chart c, const QPoint &pos) {
    if (!m_mouseTuning) return;
    MapChartSet::State &st = m_charts[c];
    if (!st.chart->isEnabled()) return;
    const MapId id = m_charts.mapOf(c);
    const int ci = m_charts.curveIndex(c);
    const double x = st.chart->pixelToX(ci, pos.x());
    const double y = st.chart->pixelToY(ci, pos.y());
    if (y < m_charts.lo(c) || y > m_charts.hi(c)) return;
    const MapAxes axes = m_s.axes();
    const bool vacuum = c == Vacuum || c == FuelVac;
    if (vacuum && (x < 0 || x > emu::model::vacuumFullScale(axes))) return;
    if (c == AirTemp && x < -20) return;
    const int p = m_s.maps().nearest(id, x, axes);
    if (p < 1 || p > m_charts.pointCount(id)) return;
    const double v = emu::num::roundHalfEven(y);
    // The EMU gets the point first; the curve follows on the session's change signal.
    if (vacuum)
        m_s.setMapPointAt(id, p, v, emu::model::vacuumPositionRounded(id, p, axes));
    else
        m_s.setMapPoint(id, p, v);
    if (c == Timing || vacuum) st.selection = m_s.maps().position(id, p, axes);
    m_charts.describe(c, p);
}

void ChartMouse::hover(Chart c, const QPoint &pos) {
    MapChartSet::State &st = m_charts[c];
    MapChart *ch = st.chart;
    if (!ch->isEnabled()) return;
    ch->setReadoutsVisible(true);
    const int ci = m_charts.curveIndex(c);
    const double x = ch->pixelToX(ci, pos.x());
    const QString tip = m_hits.tip(c, x);
    if (!tip.isEmpty() || !ch->toolTip().isEmpty()) ch->setToolTip(tip);
    const double y = ch->pixelToY(ci, pos.y());
    const int ry = emu::num::roundInt(y);
    if (ry >= m_charts.lo(c) && ry <= m_charts.hi(c)) ch->valueBox()->setText(QString::number(ry));
    const int rx = emu::num::roundInt(x);
    const double s10 = emu::model::vacuumFullScale(m_s.axes());
    const double x1 = emu::num::roundTo(x, 1);
    const double x2 = emu::num::roundTo(x, 2);
    QLineEdit *pb = ch->positionBox();
    switch (c) {
    case Timing:
        if (rx >= 1 && rx <= m_s.timingPoints()) pb->setText(QString::number(rx * 100));
        st.selection = rx;
        break;
    case Vacuum:
        if (x1 >= -1.0 && x1 <= s10) pb->setText(emu::num::formatGeneral(x2));
        st.selection = x2;
        break;
    case FuelVac:
        if (x1 >= 0 && x1 <= s10) pb->setText(emu::num::formatGeneral(x2));
        st.selection = x2;
        break;
    case FuelRpm:
        if (rx >= 0 && rx <= m_s.rpmRange() / 100.0) pb->setText(QString::number(rx * 100));
        st.selection = rx;
        break;
    case Temp:
        if (rx >= 0 && rx <= 120) pb->setText(QString::number(rx));
        st.selection = rx;
        break;
    case AirTemp:
        if (rx >= -20 && rx <= 100) pb->setText(QString::number(rx));
        st.selection = rx;
        break;
    case Voltage:
    case ChartCount:
        if (x >= 8 && x <= 16) pb->setText(emu::num::formatGeneral(x1));
        st.selection = x1;
        break;
    }
    ch->setFocus(Qt::MouseFocusReason);
    ch->clearSeries(st.cursorIndex);
    ch->setCursor(Qt::CrossCursor); // back after a key hid it
    m_charts.setActive(c);
}
