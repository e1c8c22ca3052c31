#include "link/Clock.h"

#include <QElapsedTimer>
#include <QThread>

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

qint64 SystemClock::tickMs() { return monotonicMs() - m_start; }

void SystemClock::sleepMs(int ms) {
    if (ms > 0)
        QThread::msleep(static_cast<unsigned long>(ms));
}

void FakeClock::sleepMs(int ms) {
    if (ms <= 0)
        return;
    m_slept += ms;
    advance(ms);
}

void FakeClock::advance(qint64 ms) {
    m_now += ms;
    if (onAdvance)
        onAdvance(m_now);
}
