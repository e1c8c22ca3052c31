#include "monitor/LiveDisplays.h"

#include "live/LivePoll.h"
#include "monitor/EngineMonitorPage.h"
#include "monitor/RTFrame.h"
#include "monitor/TPSCalForm.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

void subscribeLiveDisplays(LiveFeed &feed, const LiveDisplays &displays) {
    for (TRT *f : displays.frames)
        QObject::connect(&feed, &LiveFeed::liveValues, f,
                         [f](const LiveValues &v) { f->update(v); });
    if (displays.markers) QObject::connect(&feed, &LiveFeed::liveValues, displays.markers);
    if (EngineMonitorPage *page = displays.gauges)
        QObject::connect(&feed, &LiveFeed::liveValues, page,
                         [page](const LiveValues &v) { page->update(v); });
}

namespace {

class WaitPainter : public QObject {
public:
    WaitPainter(LivePoll &poll, QWidget *window) : QObject(&poll), m_window(window) {
        m_fallback.setSingleShot(true);
        m_fallback.setInterval(2 * LivePoll::IntervalMs);
        connect(&m_fallback, &QTimer::timeout, this, &WaitPainter::paint);
        connect(&poll, &LivePoll::tickEnded, this, &WaitPainter::hold);
        poll.setWaitWork([this] { paint(); });
    }

private:
    // The window's paint request queued by the tick's display changes is taken back; the next
    // wait (or the fallback) paints them.
    void hold() {
        if (!m_window) return;
        QCoreApplication::removePostedEvents(m_window, QEvent::UpdateRequest);
        m_fallback.start();
    }
    // What the request does in the event loop: the window paints its widgets' pending regions
    // and shows them.
    void paint() {
        m_fallback.stop();
        if (!m_window || !m_window->isVisible()) return;
        QEvent request(QEvent::UpdateRequest);
        QCoreApplication::sendEvent(m_window, &request);
    }

    QPointer<QWidget> m_window;
    QTimer m_fallback;
};

} // namespace

void paintDuringPollWaits(LivePoll &poll, QWidget *window) {
    new WaitPainter(poll, window->window());
}

void subscribeCalibration(LivePoll &poll, TTPSCalForm &form) {
    QObject::connect(&poll, &LivePoll::tpsReading, &form, &TTPSCalForm::showReading);
    QObject::connect(&form, &TTPSCalForm::finished, &poll, &LivePoll::stopCalibration);
}
