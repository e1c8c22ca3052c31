#include "widgets/ThdTimer.h"

#include <QDeadlineTimer>
#include <QMetaObject>
#include <QPointer>

namespace {
QThread::Priority toQt(TThreadPriority p) {
    switch (p) {
    case tpIdle:
        return QThread::IdlePriority;
    case tpLowest:
        return QThread::LowestPriority;
    case tpLower:
        return QThread::LowPriority;
    case tpNormal:
        return QThread::NormalPriority;
    case tpHigher:
        return QThread::HighPriority;
    case tpHighest:
        return QThread::HighestPriority;
    case tpTimeCritical:
        return QThread::TimeCriticalPriority;
    }
    return QThread::NormalPriority;
}
} // namespace

// ---------------------------------------------------------------------------------------------
// TTimerThread

TTimerThread::TTimerThread(TThreadedTimer *owner) : m_owner(owner) {
    setObjectName(QStringLiteral("TTimerThread"));
}

TTimerThread::~TTimerThread() {
    if (isRunning()) {
        requestStop();
        wait();
    }
}

quint32 TTimerThread::interval() const {
    QMutexLocker lock(&m_mutex);
    return m_interval;
}

void TTimerThread::setInterval(quint32 ms) {
    QMutexLocker lock(&m_mutex);
    m_interval = ms;
}

void TTimerThread::signalWake() {
    QMutexLocker lock(&m_mutex);
    m_wake = true;
    m_cond.wakeAll();
}

void TTimerThread::resume() {
    QMutexLocker lock(&m_mutex);
    m_running = true;
    m_cond.wakeAll();
}

void TTimerThread::suspend() {
    QMutexLocker lock(&m_mutex);
    m_running = false;
    m_cond.wakeAll();
}

void TTimerThread::requestStop() {
    QMutexLocker lock(&m_mutex);
    m_stop = true;
    m_wake = true;
    m_running = true;
    m_cond.wakeAll();
}

void TTimerThread::tickDone() {
    QMutexLocker lock(&m_mutex);
    m_tickPending = false;
    m_cond.wakeAll();
}

void TTimerThread::run() {
    QMutexLocker lock(&m_mutex);
    for (;;) {
        // Parked while the timer is disabled.
        while (!m_running && !m_stop)
            m_cond.wait(&m_mutex);
        if (m_stop) return;

        // Wait on the wake event with a time-out of the interval.
        const QDeadlineTimer deadline(qint64(m_interval), Qt::PreciseTimer);
        bool timedOut = false;
        while (!m_wake && !m_stop && m_running) {
            if (deadline.hasExpired() || !m_cond.wait(&m_mutex, deadline)) {
                timedOut = !m_wake && !m_stop && m_running;
                break;
            }
        }
        if (m_stop) return;
        if (!m_running) continue; // disabled during the wait: park without a tick
        if (!timedOut) {
            m_wake = false; // auto-reset: this signal is used up
            continue;
        }

        // Hand the tick over and wait until the owner's thread has run it. The hand-off is
        // posted, never a blocking call, so a destruction on the owner's thread can always end
        // this wait (and the posted tick dies with the owner).
        m_tickPending = true;
        lock.unlock();
        TThreadedTimer *owner = m_owner;
        QMetaObject::invokeMethod(
            owner, [owner] { owner->deliverTick(); }, Qt::QueuedConnection);
        lock.relock();
        while (m_tickPending && !m_stop)
            m_cond.wait(&m_mutex);
    }
}

// ---------------------------------------------------------------------------------------------
// TThreadedTimer

TThreadedTimer::TThreadedTimer(QObject *parent)
    : QObject(parent), m_thread(std::make_unique<TTimerThread>(this)) {}

TThreadedTimer::~TThreadedTimer() {
    m_destroying = true;
    m_enabled = false;
    m_thread->requestStop();
    m_thread->wait();
    m_thread.reset();
}

void TThreadedTimer::setEnabled(bool on) {
    if (on == m_enabled) return;
    m_enabled = on;
    if (!on) {
        m_thread->suspend();
        return;
    }
    // With interval 0 and AllowZero off the flag is set but the worker stays parked.
    if (m_thread->interval() == 0 && !m_allowZero) return;
    m_thread->signalWake();
    m_thread->resume();
    if (!m_thread->isRunning()) m_thread->start(toQt(m_priority));
}

quint32 TThreadedTimer::Interval() const {
    return m_thread->interval();
}

void TThreadedTimer::setInterval(quint32 ms) {
    if (ms == m_thread->interval()) return;
    const bool wasEnabled = m_enabled;
    setEnabled(false);
    m_thread->setInterval(ms);
    setEnabled(wasEnabled);
}

void TThreadedTimer::setThreadPriority(TThreadPriority priority) {
    m_priority = priority;
    if (m_thread->isRunning()) m_thread->setPriority(toQt(priority));
}

void TThreadedTimer::deliverTick() {
    QPointer<TThreadedTimer> self(this);
    if (m_enabled && OnTimer && !m_destroying) {
        // A copy, so that a handler that replaces OnTimer or destroys the timer does not pull
        // the running function out from under itself.
        const auto handler = OnTimer;
        try {
            handler(this);
        } catch (...) {
            // Discarded: a failing handler does not stop the timer.
        }
    }
    if (self) m_thread->tickDone();
}
