// The live poll of the real main window against the virtual EMU on Com1 (as with --demo), on the
// system clock and the offscreen platform: start-up search, Connect, then Timer1 runs for a while
// on each tab in turn. Prints per tab the polls per second, the display work of each tick (the
// frames, markers and gauges being given their values), the time each tick spends outside the
// protocol's 20 ms wait (display work and the event loop until the next request), the painting
// done inside the wait and how far each wait overran its 20 ms. The period of the poll is the
// wait plus its overrun plus the time outside it, so 48 polls/s leave 0.83 ms for the last two.
//
//   QT_QPA_PLATFORM=offscreen bench_livepoll_app [seconds per tab] [sweep|engine] [tab index]
//
// sweep (default): every live value moves on every tick, so every needle, bar, label and marker
// is redrawn. engine: the virtual EMU's own engine model (it idles for the first seconds).
// Without a tab index every tab is measured, one after the other.
#include "app/MainWindow.h"
#include "bench/BenchStats.h"
#include "bench/TimingClock.h"
#include "connection/Session.h"
#include "link/Clock.h"
#include "link/PortMap.h"
#include "live/LivePoll.h"
#include "monitor/EngineMonitorPage.h"
#include "monitor/RTFrame.h"
#include "sim/VirtualEmu.h"
#include "widgets/A3nalogGauge.h"
#include "widgets/ALProgressBar.h"
#include "widgets/Messages.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Runs an event loop for ms milliseconds (QApplication::quit would close the main window).
void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
    const bool sweep = !(argc > 2 && QByteArray(argv[2]) == "engine");
    const int onlyTab = argc > 3 ? atoi(argv[3]) : -1;
    Messages::setHandler([](const QString &text, Messages::Kind) {
        std::fprintf(stderr, "message box: %s\n", qPrintable(text));
    });

    // As with --demo: the virtual EMU on Com1 and no system serial devices.
    TimingClock clock;
    VirtualEmu emu(clock, 3);
    emu.setRecordWritten(false);
    PortMap &ports = PortMap::instance();
    ports.setSystemDevices({});
    ports.setVirtual(1, [&emu] { return emu.makeDevice(); });

    TForm1 form(clock);
    form.resize(1400, 860);
    form.show();
    app.processEvents();

    // The start-up search finds the EMU on Com1; Connect reads it and switches the poll on.
    QElapsedTimer t;
    t.start();
    runFor(100);
    if (!form.session().connected) {
        form.spConnect->click();
        app.processEvents();
    }
    LivePoll *poll = form.livePoll();
    if (!form.session().connected || !poll->analogEnabled()) {
        std::fprintf(stderr, "Connect did not start the live poll (status: %s)\n",
                     qPrintable(form.statusText(0)));
        return 1;
    }
    std::printf("main window live poll, virtual EMU on Com1, system clock, %s; connected after "
                "%.2f s (%s)\n",
                sweep ? "all values moving" : "engine model", t.nsecsElapsed() / 1e9,
                qPrintable(form.statusText(1)));

    int step = 0;
    const auto pinNext = [&] {
        const int k = step++;
        const int raw[9] = {1 + (10 + k % 60), 1 + (k * 7) % 255,  1 + k % 101,
                            1 + (20 + k % 70), 1 + (60 + k % 40),  21 + (10 + k % 30),
                            1 + (k * 3) % 255, 1 + (110 + k % 40), 1 + (20 + k % 80)};
        QByteArray frame;
        for (int b : raw)
            frame.append(char(quint8(b)));
        emu.pinLiveFrame(frame);
    };
    std::vector<double> updateMs;
    if (sweep) pinNext();
    QObject::connect(poll, &LivePoll::liveUpdated, [&] {
        updateMs.push_back(poll->lastDisplayNs() / 1e6);
        if (sweep) pinNext();
    });

    std::printf("%-16s %7s  %-18s  %-26s  %-18s  %-16s\n", "tab", "polls/s", "display ms med/p99",
                "outside wait ms med/mean/p99", "same, CPU med/mean", "overshoot med/mean");
    bool allMet = true;
    for (int tab = 0; tab < form.PageControl1->count(); ++tab) {
        if (onlyTab >= 0 && tab != onlyTab) continue;
        form.PageControl1->setCurrentIndex(tab);
        runFor(300); // the tab's first paints and the faces of its widgets
        updateMs.clear();
        const quint64 polls0 = poll->polls();
        clock.start();
        QElapsedTimer wall;
        wall.start();
        runFor(seconds * 1000);
        clock.stop();
        const double elapsed = wall.nsecsElapsed() / 1e9;
        const double rate = (poll->polls() - polls0) / elapsed;
        const Stats u = stats(updateMs);
        const Stats o = stats(clock.outside(false));
        const Stats c = stats(clock.outside(true));
        const Stats w = stats(clock.overshoot());
        const Stats p = stats(clock.work());
        std::printf("%-16s %7.2f  %6.3f / %6.3f     %6.3f / %6.3f / %6.3f      %6.3f / %6.3f     "
                    "%6.3f / %6.3f      %6.3f / %6.3f\n",
                    qPrintable(form.PageControl1->tabText(tab)), rate, u.median, u.p99, o.median,
                    o.mean, o.p99, c.median, c.mean, p.median, p.p99, w.median, w.mean);
        // What was drawn again: the proof that the shown tab was painted on every tick.
        std::printf("    painted: RPM gauge needle %d times, water bar of RT1 %d, of RT2 %d\n",
                    form.monitorPage()->RPMGauge->needleRenders(), form.RT1->WaterBar->paints(),
                    form.RT2->WaterBar->paints());
        allMet = allMet && rate >= 48 && u.median <= 1 && u.p99 <= 3;
    }
    std::printf("goals: >= 48 polls/s, display work per tick median <= 1 ms, p99 <= 3 ms: %s\n",
                allMet ? "met" : "NOT met");
    poll->setAnalogEnabled(false);
    Messages::setHandler(nullptr);
    return 0;
}
