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
        setSilent(false);
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
        setSilent(false);
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
    // A port opened again starts with an empty input: nothing of this line is owed any more.
    m_owed = 0;
    m_carried = false;
    setSilent(false); // the link-lost message says more
    if (!running) return;
    // Polling a vanished adapter would only try to reopen it every 20 ms: stop quietly.
    Timer1->stop();
    Timer2->stop();
    emit trackingAvailable(false);
    emit linkLost(QStringLiteral("Link lost on Com%1 (%2)").arg(port).arg(device));
    emit stopped();
}

void LivePoll::setSilent(bool silent) {
    if (!silent) m_misses = 0;
    if (silent == m_silent) return;
    m_silent = silent;
    emit silentChanged(silent);
}

int LivePoll::owed() {
    // Another answered exchange (an identify, an image read) went out in between: it dropped the
    // input and waited at least 100 ms; whatever was owed has come and gone with it.
    if (m_host.liveLink().answeredSent() != m_owedAfter) {
        m_owed = 0;
        m_carried = false;
    }
    return m_owed;
}

LivePoll::Take LivePoll::noteReply(const EmuLink::Reply &r) {
    // The EMU answers each live request with one frame, and nothing marks where a reply ends: a
    // reply is known to hold only its own bytes when nothing of an earlier one could still come
    // as its request went out. A reply cut short or missing leaves its rest owed; the next
    // request waits until exactly that much has come (the next reply then starts on a boundary)
    // or until the line is quiet. Owed bytes that did not come by then may be lost or only very
    // late: the next reply is not trusted, and what it leaves owed is waited for once more
    // before the rest is forgiven. A reply of which nothing at all came is forgiven at once: if
    // it comes after all, it comes whole and cannot complete the bytes of another.
    bool trusted = true;
    switch (r.settle) {
    case EmuLink::Settle::None:
        trusted = m_owed == 0;
        break;
    case EmuLink::Settle::Owed:
        m_owed = 0;
        m_carried = false;
        break;
    case EmuLink::Settle::Quiet:
        if (m_owed > 0 && r.settled < m_owed && !m_carried &&
            (r.settled > 0 || m_owed % Live::FrameBytes != 0)) {
            m_owed -= r.settled;
            m_carried = true;
            trusted = false;
        } else { // the rest is forgiven, or bytes beyond what was owed have ended
            m_owed = 0;
            m_carried = false;
        }
        break;
    case EmuLink::Settle::Streaming:
        m_owed = EmuLink::OwedUnknown;
        trusted = false;
        break;
    }
    // Bytes that came after the settle, right before the request: more may have followed them.
    if (r.stale > 0) {
        trusted = false;
        m_owed = m_owed > 0 && r.stale <= m_owed ? m_owed - r.stale : EmuLink::OwedUnknown;
    }
    const int n = int(r.bytes.size());
    if (m_owed != EmuLink::OwedUnknown) {
        // This reply's frame joins what was owed; what came pays for it.
        m_owed += Live::FrameBytes - n;
        if (m_owed < 0) m_owed = EmuLink::OwedUnknown; // more than any reply explains
        // More than a frame's worth came: the rest carried over did come, late. What is owed
        // now is this reply's own, waited for afresh.
        if (m_owed == 0 || n > Live::FrameBytes) m_carried = false;
    }
    m_owedAfter = m_host.liveLink().answeredSent();
    if (!trusted || n > Live::FrameBytes) return Take::None;
    return n == Live::FrameBytes ? Take::Frame : Take::Short;
}

void LivePoll::sendRequest(EmuLink::Done done) {
    m_host.liveLink().liveData(
        std::move(done), [self = QPointer<LivePoll>(this)] { return self ? self->owed() : 0; });
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
    m_liveOut = true;
    sendRequest([self = QPointer<LivePoll>(this)](const EmuLink::Reply &r) {
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
    // Maybe bytes of two replies, or a reply cut short (or by a NUL byte) whose buffer would
    // complete it with an older frame's bytes: no frame of the engine. The tick is a missed
    // sample and the displays keep what they show.
    LiveFrameBuffer &frame = m_host.liveFrameBuffer();
    if (noteReply(r) != Take::Frame || frame.take(reply) < Live::FrameBytes) {
        v.complete = false;
        if (++m_misses >= SilentAfterMisses) setSilent(true);
        emit liveValues(v);
        emit tickEnded();
        nextTickSoon(false);
        return;
    }

    // 5. Decode into the live values.
    const LiveContext ctx = m_host.liveContext();
    Live::decode(frame, ctx, v);
    v.complete = true;
    setSilent(false);
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
    m_calOut = true;
    sendRequest([this, self = QPointer<LivePoll>(this)](const EmuLink::Reply &r) {
        if (!self) return;
        m_calOut = false;
        const TickGuard guard(m_inTick);
        // The TPS byte is the third: a reply cut short (or by a NUL byte) before it would
        // leave an older frame's there.
        const Take take = m_lost ? Take::None : noteReply(r);
        LiveFrameBuffer &frame = m_host.liveFrameBuffer();
        if (take == Take::None || frame.take(r.bytes) < 3) return nextTickSoon(true);
        LiveValues &v = m_host.liveStore();
        Live::decodeTps(frame, v);
        emit tpsReading(v.tps);
        nextTickSoon(true);
    });
}
