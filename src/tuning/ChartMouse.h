#pragma once
// Mouse tuning on the map charts: a drag sets the point under the pointer to the value under it
// (while the mouse tuning switch is on; press to release is one history step), a pointer move
// without a drag shows the read-outs and makes the chart the one the keys act on.
#include "tuning/MapChartSet.h"

#include <QObject>
#include <QPoint>

class Session;
class HitShading;
class QWidget;

class ChartMouse : public QObject, public ChartIds {
    Q_OBJECT
public:
    ChartMouse(Session &session, MapChartSet &charts, const HitShading &hits,
               QObject *parent = nullptr);

    // Watch the charts, and the panel around the charts of each tab (0 timing, 1 fuel,
    // 2 correction): a move over a panel hides that tab's read-outs.
    void watch(QWidget *const panels[3]);
    // The mouse tuning switch.
    void setMouseTuning(bool on) { m_mouseTuning = on; }
    bool mouseTuning() const { return m_mouseTuning; }
    // Drag over chart c, pixel position relative to it.
    void dragOver(Chart c, const QPoint &pos);
    // Pointer move without a drag.
    void hover(Chart c, const QPoint &pos);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void endDrag();

    Session &m_s;
    MapChartSet &m_charts;
    const HitShading &m_hits;
    QWidget *m_panels[3] = {};
    bool m_mouseTuning = false;
    int m_dragSource = -1;   // chart a drag started on, -1: no drag
    bool m_dragStep = false; // a drag's history step is open
};
