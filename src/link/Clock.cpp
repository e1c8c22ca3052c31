#include "link/Clock.h"

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <limits>
#include <thread>

#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif

namespace {
qint64 monotonicMs() {
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return timer.elapsed();
}
} // namespace

Clock &Clock::system() {
    static SystemClock clock;
    return clock;
}

SystemClock::SystemClock() : m_start(monotonicMs()) {}

qint64 SystemClock::tickMs() {
    return monotonicMs() - m_start;
}

void SystemClock::schedule(int ms, QObject *context, std::function<void()> fn) {
    // A precise timer: the protocol's waits are minimums, and the live poll's rate depends on
    // how soon after its 20 ms the reply is taken. On Linux the thread's timer slack (50 us by
    // default) is cut to the least, so the event loop wakes as soon after the time as it can.
#ifdef Q_OS_LINUX
    thread_local const bool tight = prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL) == 0;
    Q_UNUSED(tight);
#endif
    if (context)
        QTimer::singleShot(qMax(0, ms), Qt::PreciseTimer, context, std::move(fn));
    else
        QTimer::singleShot(qMax(0, ms), Qt::PreciseTimer, std::move(fn));
}

void SystemClock::sleepMs(int ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void FakeClock::schedule(int ms, QObject *context, std::function<void()> fn) {
    m_queue.push_back(
        Due{m_now + qMax(0, ms), m_order++, context, context != nullptr, std::move(fn)});
    drain();
}

void FakeClock::drain() {
    // A wait scheduled from inside another runs after it, from this loop: no recursion.
    if (m_manual || m_running) return;
    m_running = true;
    while (runNext(std::numeric_limits<qint64>::max(), true)) {
    }
    m_running = false;
}

bool FakeClock::runNext(qint64 until, bool waited) {
    if (m_queue.empty()) return false;
    const auto next =
        std::min_element(m_queue.begin(), m_queue.end(), [](const Due &a, const Due &b) {
            return a.at != b.at ? a.at < b.at : a.order < b.order;
        });
    if (next->at > until) return false;
    Due due = std::move(*next);
    m_queue.erase(next);
    if (due.at > m_now) {
        if (waited) m_slept += due.at - m_now;
        moveTo(due.at);
    }
    if (!due.hadContext || due.context) due.fn();
    return true;
}

void FakeClock::moveTo(qint64 t) {
    m_now = t;
    if (onAdvance) onAdvance(m_now);
}

void FakeClock::sleepMs(int ms) {
    if (ms <= 0) return;
    m_slept += ms;
    advance(ms);
}

void FakeClock::advance(qint64 ms) {
    const qint64 target = m_now + qMax<qint64>(0, ms);
    const bool was = m_running;
    m_running = true;
    while (runNext(target, false)) {
    }
    m_running = was;
    moveTo(target);
    drain();
}
