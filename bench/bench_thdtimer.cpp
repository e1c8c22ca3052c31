// Tick spacing of the threaded timer: mean, smallest and worst spacing between ticks, and how
// late each tick comes after its interval, at the data logger's 35 ms and at 985 ms.
#include "widgets/ThdTimer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
void measure(quint32 intervalMs, int ticks, TThreadPriority priority) {
    TThreadedTimer timer;
    timer.setThreadPriority(priority);
    timer.setAllowZero(true);
    timer.setInterval(intervalMs);

    QElapsedTimer clock;
    std::vector<qint64> at; // ns since enabling
    QEventLoop loop;
    timer.OnTimer = [&](QObject *) {
        at.push_back(clock.nsecsElapsed());
        if (int(at.size()) >= ticks) loop.quit();
    };
    clock.start();
    timer.setEnabled(true);
    QTimer::singleShot(int(intervalMs) * (ticks + 5) + 5000, &loop, &QEventLoop::quit);
    loop.exec();
    timer.setEnabled(false);

    if (at.size() < 2) {
        std::printf("interval %4u ms: only %zu ticks\n", intervalMs, at.size());
        return;
    }
    double sum = 0, worst = 0, best = 1e18;
    for (size_t i = 1; i < at.size(); ++i) {
        const double d = (at[i] - at[i - 1]) / 1e6;
        sum += d;
        worst = std::max(worst, d);
        best = std::min(best, d);
    }
    const double mean = sum / double(at.size() - 1);
    std::printf("interval %4u ms, priority %d, %zu ticks: first tick after %.3f ms; spacing mean "
                "%.3f ms, min %.3f ms, worst %.3f ms (worst late by %.3f ms)\n",
                intervalMs, int(priority), at.size(), at[0] / 1e6, mean, best, worst,
                worst - intervalMs);
}
} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    measure(35, 100, tpTimeCritical);
    measure(35, 100, tpNormal);
    measure(985, 10, tpTimeCritical);
    return 0;
}
