#include "monitor/LiveDisplays.h"

#include "live/LivePoll.h"
#include "monitor/EngineMonitorPage.h"
#include "monitor/RTFrame.h"
#include "monitor/TPSCalForm.h"

void subscribeLiveDisplays(LiveFeed &feed, const LiveDisplays &displays) {
    for (TRT *f : displays.frames)
        QObject::connect(&feed, &LiveFeed::liveValues, f,
                         [f](const LiveValues &v) { f->update(v); });
    if (displays.markers) QObject::connect(&feed, &LiveFeed::liveValues, displays.markers);
    if (EngineMonitorPage *page = displays.gauges)
        QObject::connect(&feed, &LiveFeed::liveValues, page,
                         [page](const LiveValues &v) { page->update(v); });
}

void subscribeCalibration(LivePoll &poll, TTPSCalForm &form) {
    QObject::connect(&poll, &LivePoll::tpsReading, &form, &TTPSCalForm::showReading);
    QObject::connect(&form, &TTPSCalForm::finished, &poll, &LivePoll::stopCalibration);
}
