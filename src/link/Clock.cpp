#include "link/Clock.h"

#include <QElapsedTimer>

#include <chrono>
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

namespace {
// Sleeps until the deadline. On Linux the thread's timer slack (50 us by default) is cut to the
// least, so that a protocol wait, and the live poll with it, ends as soon after its time as the
// system allows.
void sleepUntil(std::chrono::steady_clock::time_point end) {
#ifdef Q_OS_LINUX
    thread_local const bool tight = prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL) == 0;
    Q_UNUSED(tight);
#endif
    std::this_thread::sleep_until(end);
}
} // namespace

void SystemClock::sleepMs(int ms) {
    if (ms > 0) sleepUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(ms));
}

void SystemClock::sleepMsWith(int ms, const std::function<void()> &work) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    if (work) work();
    sleepUntil(end);
}

void Clock::sleepMsWith(int ms, const std::function<void()> &work) {
    if (work) work();
    sleepMs(ms);
}

void FakeClock::sleepMs(int ms) {
    if (ms <= 0) return;
    m_slept += ms;
    advance(ms);
}

void FakeClock::advance(qint64 ms) {
    m_now += ms;
    if (onAdvance) onAdvance(m_now);
}
