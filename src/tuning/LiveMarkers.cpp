#include "tuning/LiveMarkers.h"

#include "connection/Session.h"
#include "model/Numbers.h"
#include "tuning/MapChart.h"

LiveMarkers::LiveMarkers(Session &session, MapChartSet &charts) : m_s(session), m_charts(charts) {}

void LiveMarkers::update(const LiveValues &v) {
    const double x[ChartCount] = {v.rpm,
                                  v.vacuum,
                                  v.vacuum,
                                  v.rpm,
                                  v.waterTemp,
                                  v.airTemp,
                                  emu::num::roundTo(v.battery / 10, 1)};
    for (int c = 0; c < ChartCount; ++c) {
        const MapChartSet::State &st = m_charts[Chart(c)];
        st.chart->setBar(st.markerIndex, x[c], st.markerHeight);
    }
}

void LiveMarkers::updateThresholdArrows() {
    MapChart *c = m_charts.chart(FuelVac);
    const double top = c->yAxis->range().upper;
    c->setBar(0, m_s.lowThrottleVacuum(), top);
    c->setBar(1, m_s.highThrottleVacuum(), top);
}
