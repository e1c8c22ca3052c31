#include "live/LivePoll.h"

#include "link/EmuLink.h"
#include "link/QCCom32.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

namespace {
struct TickGuard {
    explicit TickGuard(bool &flag) : m_flag(flag), m_was(flag) { m_flag = true; }
    ~TickGuard() { m_flag = m_was; }
    bool &m_flag;
    bool m_was;
};
} // namespace

LivePoll::LivePoll(LivePollHost &host, QObject *parent) : LiveFeed(parent), m_host(host) {
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

    connect(&m_host.livePort(), &TQCCom32::lostDevice, this, &LivePoll::deviceLost);
}

LivePoll::~LivePoll() = default;

void LivePoll::setAnalogEnabled(bool on) {
    if (m_paused) {
        // Remembered for the end of the pause; tracking follows the box as always.
        m_resume = on;
        emit trackingAvailable(on);
        return;
    }
    if (on) {
        m_lost = false;
        Timer1->start();
    } else {
        Timer1->stop();
    }
    emit trackingAvailable(on);
}

bool LivePoll::analogEnabled() const {
    return m_paused ? m_resume : Timer1->isActive();
}

void LivePoll::setPaused(bool paused) {
    if (paused == m_paused) return;
    m_paused = paused;
    if (paused) {
        m_resume = Timer1->isActive();
        Timer1->stop();
    } else if (m_resume && !m_lost) {
        Timer1->start();
    }
}

void LivePoll::setTrackingQuery(std::function<bool()> query) {
    m_trackQuery = std::move(query);
}

bool LivePoll::tracking() const {
    return m_trackQuery && m_trackQuery();
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
    TQCCom32 &port = m_host.livePort();
    if (!port.deviceLost()) return false;
    // Let the port notice the loss itself: it closes and tells everyone listening, this poll
    // included.
    port.InCount();
    if (!m_lost) deviceLost(port.Port(), port.deviceName());
    return true;
}

void LivePoll::deviceLost(int port, const QString &device) {
    const bool running = m_inTick || m_liveOut || m_calOut || Timer1->isActive() ||
                         Timer2->isActive() || (m_paused && m_resume);
    m_lost = true;
    m_resume = false;
    if (!running) return;
    // Polling a vanished adapter would only try to reopen it every 20 ms: stop quietly.
    Timer1->stop();
    Timer2->stop();
    emit trackingAvailable(false);
    emit linkLost(QStringLiteral("Link lost on Com%1 (%2)").arg(port).arg(device));
    emit stopped();
}

void LivePoll::settleIfSplit() {
    if (m_owed <= 0) return;
    m_host.liveLink().settleInput(m_owed);
    m_owed = 0;
}

bool LivePoll::noteReply(const QByteArray &reply) {
    // A reply cut short has its rest still on the way, and a reply longer than a frame holds the
    // rest of an earlier one and maybe the start of the next: the bytes still owed to complete
    // the last frame are waited for and dropped before the next request.
    const int n = int(reply.size());
    m_owed = n % Live::FrameBytes == 0 ? 0 : Live::FrameBytes - n % Live::FrameBytes;
    return n <= Live::FrameBytes;
}

void LivePoll::nextTickSoon(bool calibration) {
    // A tick of the timer came while this poll's request was still out: its request goes now,
    // before the displays take their time, so the poll keeps its rate. (Only a clock that really
    // waits leaves a request out when a tick comes; a fake one completes it at once, so this
    // never recurses.)
    bool &due = calibration ? m_calDue : m_liveDue;
    if (!due) return;
    due = false;
    if (!(calibration ? Timer2 : Timer1)->isActive()) return;
    if (calibration)
        Timer2Timer();
    else
        Timer1Timer();
}

void LivePoll::Timer1Timer() {
    // 1. Nothing before an EMU has answered Connect.
    if (!m_host.liveReady()) return;
    if (m_liveOut) {
        m_liveDue = true; // the last request is still out: this tick follows it at once
        return;
    }
    if (checkLost()) return;
    m_lost = false;

    // 2..4. Request, 20 ms (a timer), whatever has arrived.
    settleIfSplit();
    m_liveOut = true;
    m_host.liveLink().liveData([self = QPointer<LivePoll>(this)](const EmuLink::Reply &r) {
        if (self) self->liveReply(r);
    });
}

void LivePoll::liveReply(const EmuLink::Reply &r) {
    m_liveOut = false;
    const TickGuard guard(m_inTick);
    if (m_lost) return; // the device went away during the exchange; the displays keep the last
    const QByteArray &reply = r.bytes;
    LiveValues &v = m_host.liveStore();
    v.sentMs = r.sentAt;
    ++m_polls;
    if (!noteReply(reply)) {
        // Bytes of two replies: no frame of the engine. The tick is a missed sample and the
        // displays keep what they show.
        v.complete = false;
        emit liveValues(v);
        emit tickEnded();
        nextTickSoon(false);
        return;
    }

    // 5. Decode into the live values.
    LiveFrameBuffer &frame = m_host.liveFrameBuffer();
    const int taken = frame.take(reply);
    const LiveContext ctx = m_host.liveContext();
    Live::decode(frame, ctx, v);
    v.complete = taken >= Live::FrameBytes;
    nextTickSoon(false);

    // 6. Operating region.
    const bool track = tracking();
    if (track) {
        const FuelRegion region = Live::region(v.vacuum, ctx);
        if (region != FuelRegion::None) emit regionChanged(int(region));
    }

    // 7, 8. Total timing and injector duty.
    Live::derive(m_host.liveMaps(), ctx, v);

    // 9. Displays.
    QElapsedTimer t;
    t.start();
    emit liveValues(v);
    emit liveUpdated();
    m_lastDisplayNs = t.nsecsElapsed();

    // 10. Keyboard selections at the operating point.
    if (track) emit operatingPoint(v.rpm, v.vacuum);
    emit tickEnded();
}

void LivePoll::Timer2Timer() {
    if (m_calOut) {
        m_calDue = true;
        return;
    }
    if (checkLost()) return;
    m_lost = false;
    settleIfSplit();
    m_calOut = true;
    m_host.liveLink().liveData([this, self = QPointer<LivePoll>(this)](const EmuLink::Reply &r) {
        if (!self) return;
        m_calOut = false;
        const TickGuard guard(m_inTick);
        if (m_lost || !noteReply(r.bytes)) return nextTickSoon(true);
        LiveFrameBuffer &frame = m_host.liveFrameBuffer();
        frame.take(r.bytes);
        LiveValues &v = m_host.liveStore();
        Live::decodeTps(frame, v);
        emit tpsReading(v.tps);
        nextTickSoon(true);
    });
}
