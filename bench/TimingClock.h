#pragma once
// The real clock for the live-poll benchmarks, noting when each live wait is scheduled and when
// its timer fires (wall and thread CPU time) while recording; recording is on from the start.
#include "link/Clock.h"

#include <QElapsedTimer>

#include <time.h>

#include <vector>

inline qint64 threadCpuNs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

class TimingClock : public Clock {
public:
    TimingClock() { m_timer.start(); }
    qint64 tickMs() override { return m_inner.tickMs(); }
    void sleepMs(int ms) override { m_inner.sleepMs(ms); }
    // The live poll's 20 ms waits are noted: when each was scheduled and when its timer fired.
    void schedule(int ms, QObject *context, std::function<void()> fn) override {
        if (ms != 20) {
            m_inner.schedule(ms, context, std::move(fn));
            return;
        }
        const qint64 wall = m_timer.nsecsElapsed(), cpu = threadCpuNs();
        m_inner.schedule(ms, context, [this, wall, cpu, fn = std::move(fn)] {
            if (m_recording) { // noted in pairs, when the wait ends
                m_begins.push_back(wall);
                m_cpuBegins.push_back(cpu);
            }
            note(m_ends, m_cpuEnds);
            fn();
        });
    }
    void start() {
        m_begins.clear();
        m_ends.clear();
        m_cpuBegins.clear();
        m_cpuEnds.clear();
        m_recording = true;
    }
    void stop() { m_recording = false; }
    const std::vector<qint64> &begins() const { return m_begins; }
    const std::vector<qint64> &ends() const { return m_ends; }
    const std::vector<qint64> &cpuBegins() const { return m_cpuBegins; }
    const std::vector<qint64> &cpuEnds() const { return m_cpuEnds; }
    // How much longer than asked each wait took, milliseconds.
    std::vector<double> overshoot() const {
        std::vector<double> ms;
        for (size_t i = 0; i < m_begins.size() && i < m_ends.size(); ++i)
            ms.push_back((m_ends[i] - m_begins[i]) / 1e6 - 20.0);
        return ms;
    }
    // Wall (or CPU) milliseconds from the end of each wait to the start of the next.
    std::vector<double> outside(bool cpu) const {
        const auto &b = cpu ? m_cpuBegins : m_begins;
        const auto &e = cpu ? m_cpuEnds : m_ends;
        std::vector<double> ms;
        for (size_t i = 0; i + 1 < b.size() && i < e.size(); ++i)
            ms.push_back((b[i + 1] - e[i]) / 1e6);
        return ms;
    }

private:
    void note(std::vector<qint64> &wall, std::vector<qint64> &cpu) {
        if (!m_recording) return;
        wall.push_back(m_timer.nsecsElapsed());
        cpu.push_back(threadCpuNs());
    }

    SystemClock m_inner;
    QElapsedTimer m_timer;
    bool m_recording = true;
    std::vector<qint64> m_begins;
    std::vector<qint64> m_ends;
    std::vector<qint64> m_cpuBegins;
    std::vector<qint64> m_cpuEnds;
};
