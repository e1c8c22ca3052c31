#pragma once
// The displays of the live values and how they subscribe to a feed (the live poll, or a feed that
// replays recorded values): after each set of values, in this order, the real-time frames, the
// chart markers, the gauges. Hidden displays take their values and paint when shown.
#include <QList>
#include <functional>

class LiveFeed;
class LivePoll;
class TRT;
class EngineMonitorPage;
class TTPSCalForm;
struct LiveValues;

struct LiveDisplays {
    QList<TRT *> frames;
    std::function<void(const LiveValues &)> markers;
    EngineMonitorPage *gauges = nullptr;
};

void subscribeLiveDisplays(LiveFeed &feed, const LiveDisplays &displays);

// The throttle calibration dialog shows the calibration poll's readings; leaving the dialog stops
// that poll.
void subscribeCalibration(LivePoll &poll, TTPSCalForm &form);
