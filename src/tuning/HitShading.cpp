#include "tuning/HitShading.h"

#include "connection/Session.h"
#include "model/Numbers.h"
#include "tuning/MapChart.h"

#include <QLocale>
#include <QStringList>
#include <algorithm>
#include <vector>

namespace {
QString number(double v) {
    return emu::num::formatGeneral(v);
}
} // namespace

HitShading::HitShading(Session &session, MapChartSet &charts) : m_s(session), m_charts(charts) {}

void HitShading::setHits(const MapHits::Hits &hits) {
    m_hits = hits;
    for (int c = 0; c < ChartCount; ++c)
        show(Chart(c));
}

void HitShading::show(Chart c) {
    const MapId id = m_charts.mapOf(c);
    const int n = m_hits.pointCount(id);
    double most = 0;
    for (int p = 1; p <= n; ++p)
        most = std::max(most, m_hits.at(id, p).seconds);
    QVector<double> positions, shares;
    if (most > 0) {
        const MapAxes axes = m_s.axes();
        // The vacuum maps' points where the hits put them (their stored positions are only
        // known once the maps are decoded).
        const bool vacuum = id == MapId::VacuumTiming || id == MapId::FuelVacuum;
        for (int p = 1; p <= n; ++p) {
            positions << (vacuum ? emu::model::vacuumPosition(id, p, axes)
                                 : m_s.maps().position(id, p, axes));
            shares << m_hits.at(id, p).seconds / most;
        }
    }
    m_charts.chart(c)->setHitStrip(positions, shares);
}

QString HitShading::text(MapId id, int p) const {
    if (p < 1 || p > m_hits.pointCount(id) || m_hits.counts.kept == 0) return QString();
    const MapHits::Point &pt = m_hits.at(id, p);
    const QLocale l;
    QString text = tr("%1 samples, %2 s")
                       .arg(l.toString(pt.samples), number(emu::num::roundTo(pt.seconds, 1)));
    if (MapHits::isFuelMap(id) && pt.lambdaSamples > 0)
        text += tr(", lambda %1 V, %2 % richer than the target")
                    .arg(number(emu::num::roundTo(pt.meanLambda(), 3)),
                         number(emu::num::roundTo(pt.richShare() * 100, 0)));
    return text;
}

QString HitShading::tip(Chart c, double x) const {
    if (!any()) return QString();
    const MapAxes axes = m_s.axes();
    QStringList tip;
    const std::vector<MapId> maps =
        c == FuelRpm ? std::vector<MapId>{MapId::FuelLow, MapId::FuelCruise, MapId::FuelHigh}
                     : std::vector<MapId>{m_charts.mapOf(c)};
    for (MapId m : maps) {
        const int p = std::clamp(m_s.maps().nearest(m, x, axes), 1, m_charts.pointCount(m));
        const QString h = text(m, p);
        tip << (c == FuelRpm ? QString::fromLatin1(emu::model::mapInfo(m).title) + ": "
                             : QString()) +
                   tr("point %1: %2").arg(p).arg(h.isEmpty() ? tr("no samples") : h);
    }
    return tip.join(QLatin1Char('\n'));
}
