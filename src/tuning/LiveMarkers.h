#pragma once
// What the map charts show of the running engine and the setup beside the maps: each chart's
// live marker at the engine's operating point, and the low and high throttle vacuum arrows on
// the fuel vacuum axis.
#include "tuning/MapChartSet.h"

class Session;
struct LiveValues;

class LiveMarkers : public ChartIds {
public:
    LiveMarkers(Session &session, MapChartSet &charts);

    // Every chart's marker from one set of live values.
    void update(const LiveValues &v);
    // The threshold arrows from the session's working values.
    void updateThresholdArrows();

private:
    Session &m_s;
    MapChartSet &m_charts;
};
