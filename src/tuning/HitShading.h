#pragma once
// The hit tables of a log drawn on the map charts: each chart shades its points along the bottom
// by the time spent there, and names the numbers in its tooltip and its points' descriptions.
#include "live/MapHits.h"
#include "tuning/MapChartSet.h"

#include <QCoreApplication>
#include <QString>

class Session;

class HitShading : public ChartIds {
    Q_DECLARE_TR_FUNCTIONS(HitShading)
public:
    HitShading(Session &session, MapChartSet &charts);

    void setHits(const MapHits::Hits &hits);
    // Whether a log's samples were kept (anything to show).
    bool any() const { return m_hits.counts.kept > 0; }
    // Shade chart c's points by the seconds spent at each.
    void show(Chart c);
    // "34 samples, 1.7 s, lambda 0.46 V, 41 % richer than the target" (empty: no samples).
    QString text(MapId id, int p) const;
    // The tooltip of chart c with the pointer at x: the numbers of the point under it (all three
    // maps on the fuel RPM chart). Empty without hits.
    QString tip(Chart c, double x) const;

private:
    Session &m_s;
    MapChartSet &m_charts;
    MapHits::Hits m_hits;
};
