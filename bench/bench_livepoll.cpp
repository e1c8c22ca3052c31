// The live poll against the virtual EMU on the real clock, with a real-time frame and the engine
// monitor page on screen (offscreen platform). Prints the polls per second and the time each tick
// spends outside the protocol's 20 ms wait: decoding, display updates and the event loop until
// the next request goes out (painting happens during the wait, from the event loop).
//
//   QT_QPA_PLATFORM=offscreen bench_livepoll [seconds] [sweep|engine]
//
// sweep (default): every value moves on every tick, so every needle, bar and label is redrawn.
// engine: the virtual EMU's engine model, which idles for the first seconds of its drive cycle.
//
// Wall times depend on how busy the machine is; the CPU time of the poll thread outside the wait
// is what the poll itself costs.
#include "bench/BenchStats.h"
#include "bench/TimingClock.h"
#include "connection/Session.h"
#include "link/Clock.h"
#include "live/LivePoll.h"
#include "monitor/EngineMonitorPage.h"
#include "monitor/LiveDisplays.h"
#include "monitor/RTFrame.h"
#include "sim/VirtualEmu.h"
#include "widgets/A3nalogGauge.h"
#include "widgets/ALProgressBar.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QTimer>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
    const bool sweep = !(argc > 2 && QByteArray(argv[2]) == "engine");

    TimingClock clock;
    VirtualEmu emu(clock);
    emu.setRecordWritten(false);
    Session session(clock);
    session.port().setShowErrors(false);
    session.port().setDeviceFactory([&emu](int) { return emu.makeDevice(); });
    session.port().setBaud(emu::link::Baud);
    session.port().setPort(1);
    if (!session.port().Open()) {
        std::fprintf(stderr, "cannot open the virtual EMU\n");
        return 1;
    }
    session.markConnected();
    EmuMaps maps = session.maps();
    for (int p = 1; p <= 70; ++p)
        maps.setValue(MapId::Timing, p, 10 + p / 4);
    for (int p = 1; p <= 32; ++p)
        maps.setValue(MapId::VacuumTiming, p, p / 4);
    session.adoptMaps(maps);

    // RT1 and the gauges on screen together (the worst case); RT2..RT4 on hidden tabs.
    QWidget window;
    auto *row = new QHBoxLayout(&window);
    auto *rt1 = new TRT(&window);
    auto *page = new EngineMonitorPage(&window);
    row->addWidget(rt1);
    row->addWidget(page, 1);
    TRT rt2, rt3, rt4;
    window.resize(1180, 660);
    window.show();

    LivePoll poll(session);
    subscribeLiveDisplays(poll, {{rt1, &rt2, &rt3, &rt4}, {}, page});

    std::vector<double> updateMs;
    // Warm-up: fonts, glyphs, faces.
    for (int i = 0; i < 20; ++i) {
        poll.tick();
        session.link().waitIdle(); // the wait is a timer: the window paints meanwhile
    }
    const size_t warm = clock.ends().size();
    const quint64 polls0 = poll.polls();

    // From here every value moves on every tick, so every needle, bar and label is redrawn (the
    // engine model alone idles for the first seconds of its drive cycle).
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
    if (sweep) pinNext();
    QObject::connect(&poll, &LivePoll::liveUpdated, [&] {
        updateMs.push_back(poll.lastDisplayNs() / 1e6);
        if (sweep) pinNext();
    });
    QElapsedTimer wall;
    wall.start();
    poll.setAnalogEnabled(true);
    QTimer::singleShot(seconds * 1000, &app, [&] {
        poll.setAnalogEnabled(false);
        app.quit();
    });
    app.exec();
    const double elapsed = wall.nsecsElapsed() / 1e9;
    const quint64 polls = poll.polls() - polls0;

    // Outside the wait: from the end of one wait to the start of the next.
    std::vector<double> outside;
    std::vector<double> overshoot;
    const auto &b = clock.begins();
    const auto &e = clock.ends();
    for (size_t i = warm; i + 1 < b.size() && i < e.size(); ++i)
        outside.push_back((b[i + 1] - e[i]) / 1e6);
    for (size_t i = warm; i < e.size(); ++i)
        overshoot.push_back((e[i] - b[i]) / 1e6 - 20.0);
    std::vector<double> cpu;
    const auto &cb = clock.cpuBegins();
    const auto &ce = clock.cpuEnds();
    for (size_t i = warm; i + 1 < cb.size() && i < ce.size(); ++i)
        cpu.push_back((cb[i + 1] - ce[i]) / 1e6);

    const Stats u = stats(updateMs);
    const Stats o = stats(outside);
    const Stats w = stats(overshoot);
    const Stats c = stats(cpu);
    std::printf("live poll, virtual EMU, system clock, %.1f s, %s\n", elapsed,
                sweep ? "all values moving" : "engine model");
    std::printf("  polls per second                 %8.2f   (goal >= 49)\n", polls / elapsed);
    std::printf("  display updates per tick    ms   median %6.3f  p99 %6.3f  max %6.3f\n", u.median,
                u.p99, u.max);
    std::printf("  work outside the 20 ms wait ms   median %6.3f  p99 %6.3f  max %6.3f"
                "   (goal median <= 1, p99 <= 3)\n",
                o.median, o.p99, o.max);
    std::printf("  same, CPU time of the thread ms   median %6.3f  p99 %6.3f  max %6.3f\n",
                c.median, c.p99, c.max);
    std::printf("  wait timer overshoot        ms   median %6.3f  p99 %6.3f  max %6.3f\n", w.median,
                w.p99, w.max);
    std::printf("  RPM gauge: %d needle and %d face renders; RT1 water bar %d paints\n",
                page->RPMGauge->needleRenders(), page->RPMGauge->faceRenders(),
                rt1->WaterBar->paints());
    return 0;
}
