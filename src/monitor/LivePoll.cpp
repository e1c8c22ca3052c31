#include "monitor/LivePoll.h"

#include "connection/Session.h"
#include "live/LiveData.h"
#include "monitor/EngineMonitorPage.h"
#include "monitor/RTFrame.h"
#include "monitor/TPSCalForm.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QTimer>

namespace {
struct TickGuard {
    explicit TickGuard(bool &flag) : m_flag(flag), m_was(flag) { m_flag = true; }
    ~TickGuard() { m_flag = m_was; }
    bool &m_flag;
    bool m_was;
};
} // namespace

LivePoll::LivePoll(Session &session, QObject *parent) : QObject(parent), m_session(session) {
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(IntervalMs);
    // Each tick blocks for the protocol's 20 ms wait; a precise timer lets the next tick follow
    // at once instead of drifting by the coarse timer's slack.
    Timer1->setTimerType(Qt::PreciseTimer);
    connect(Timer1, &QTimer::timeout, this, &LivePoll::Timer1Timer);

    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(IntervalMs);
    Timer2->setTimerType(Qt::PreciseTimer);
    connect(Timer2, &QTimer::timeout, this, &LivePoll::Timer2Timer);

    connect(&m_session.EFI, &TQCCom32::lostDevice, this, &LivePoll::deviceLost);
}

LivePoll::~LivePoll() = default;

void LivePoll::setAnalogEnabled(bool on) {
    if (on) {
        m_lost = false;
        Timer1->start();
    } else {
        Timer1->stop();
    }
    if (m_track) m_track->setEnabled(on);
}

bool LivePoll::analogEnabled() const {
    return Timer1->isActive();
}

void LivePoll::setTrackingButton(QAbstractButton *rtTrack) {
    m_track = rtTrack;
}

void LivePoll::setTrackingQuery(std::function<bool()> query) {
    m_trackQuery = std::move(query);
}

bool LivePoll::tracking() const {
    if (m_trackQuery) return m_trackQuery();
    return m_track && m_track->isChecked();
}

void LivePoll::setFrames(const QList<TRT *> &frames) {
    m_frames.clear();
    for (TRT *f : frames)
        m_frames.append(f);
}

void LivePoll::setMarkerUpdate(std::function<void()> update) {
    m_markers = std::move(update);
}

void LivePoll::setMonitorPage(EngineMonitorPage *page) {
    m_page = page;
}

void LivePoll::setCalibrationForm(TTPSCalForm *form) {
    if (m_calForm) disconnect(m_calForm, nullptr, this, nullptr);
    m_calForm = form;
    if (form) connect(form, &TTPSCalForm::finished, this, &LivePoll::stopCalibration);
}

void LivePoll::startCalibration() {
    m_lost = false;
    Timer2->start();
}

void LivePoll::stopCalibration() {
    Timer2->stop();
}

bool LivePoll::calibrating() const {
    return Timer2->isActive();
}

bool LivePoll::checkLost() {
    if (!m_session.EFI.deviceLost()) return false;
    // Let the port notice the loss itself: it closes and tells everyone listening, this poll
    // included.
    m_session.EFI.InCount();
    if (!m_lost) deviceLost(m_session.EFI.Port(), m_session.EFI.deviceName());
    return true;
}

void LivePoll::deviceLost(int port, const QString &device) {
    const bool running = m_inTick || Timer1->isActive() || Timer2->isActive();
    m_lost = true;
    if (!running) return;
    // Polling a vanished adapter would only try to reopen it every 20 ms: stop quietly.
    Timer1->stop();
    Timer2->stop();
    if (m_track) m_track->setEnabled(false);
    emit linkLost(QStringLiteral("Link lost on Com%1 (%2)").arg(port).arg(device));
    emit stopped();
}

void LivePoll::Timer1Timer() {
    // 1. Nothing before an EMU has answered Connect.
    if (!m_session.connected) return;
    const TickGuard guard(m_inTick);
    if (checkLost()) return;
    m_lost = false;

    // 2..4. Request, 20 ms, whatever has arrived.
    const QByteArray reply = m_session.link.liveData();
    if (m_lost)
        return; // the device went away during the exchange; the displays keep the last frame

    // 5. Decode into the live values.
    m_session.liveFrame.take(reply);
    const LiveContext ctx = m_session.liveContext();
    LiveValues &v = m_session.live;
    Live::decode(m_session.liveFrame, ctx, v);
    ++m_polls;

    // 6. Operating region.
    const bool track = tracking();
    if (track) {
        const FuelRegion region = Live::region(v.vacuum, ctx);
        if (region != FuelRegion::None) emit regionChanged(int(region));
    }

    // 7, 8. Total timing and injector duty.
    Live::derive(m_session.maps, ctx, v);

    // 9. Displays.
    QElapsedTimer t;
    t.start();
    updateDisplays();
    emit liveUpdated();
    m_lastDisplayNs = t.nsecsElapsed();

    // 10. Keyboard selections at the operating point.
    if (track) emit operatingPoint(v.rpm, v.vacuum);
}

void LivePoll::updateDisplays() {
    const LiveValues &v = m_session.live;
    for (const QPointer<TRT> &f : qAsConst(m_frames))
        if (f) f->update(v);
    if (m_markers) m_markers();
    if (m_page) m_page->update(v);
}

void LivePoll::Timer2Timer() {
    const TickGuard guard(m_inTick);
    if (checkLost()) return;
    m_lost = false;
    const QByteArray reply = m_session.link.liveData();
    if (m_lost) return;
    m_session.liveFrame.take(reply);
    Live::decodeTps(m_session.liveFrame, m_session.live);
    if (m_calForm) m_calForm->showReading(m_session.live.tps);
}
