#pragma once
// A source of decoded live values. The live poll is one; anything that replays recorded values
// derives from this too, so the displays subscribe to either through the same signal.
#include "live/LiveData.h"

#include <QObject>

class LiveFeed : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

signals:
    // One set of live values, for the displays (real-time frames, chart markers, gauges, logger).
    void liveValues(const LiveValues &values);
};
