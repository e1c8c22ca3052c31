// The live poll of the real main window against the virtual EMU on Com1 (as with --demo), on the
// system clock and the offscreen platform: start-up search, Connect, then Timer1 runs for a while
// on each tab in turn, then Write and a verified Write with the poll on. Prints per tab the polls
// per second, the display work of each tick, the time each tick spends outside the protocol's
// 20 ms wait (display work and the event loop until the next request) and how far each wait's
// timer overran; how long the window takes to answer an event while the poll runs; the longest
// time the event loop was blocked during Connect, Write and a verified Write; and Connect's total
// time against the protocol's fixed waits plus the line time of what it sent.
//
//   QT_QPA_PLATFORM=offscreen bench_livepoll_app [seconds per tab] [sweep|engine] [tab index]
//
// sweep (default): every live value moves on every tick, so every needle, bar, label and marker
// is redrawn. engine: the virtual EMU's own engine model (it idles for the first seconds).
// Without a tab index every tab is measured, one after the other.
#include "app/MainWindow.h"
#include "bench/BenchStats.h"
#include "bench/TimingClock.h"
#include "connection/ConnectionController.h"
#include "connection/Session.h"
#include "link/Clock.h"
#include "link/EmuLink.h"
#include "link/PortMap.h"
#include "live/LivePoll.h"
#include "monitor/EngineMonitorPage.h"
#include "monitor/RTFrame.h"
#include "sim/VirtualEmu.h"
#include "widgets/A3nalogGauge.h"
#include "widgets/ALProgressBar.h"
#include "widgets/Messages.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

#include <time.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

// Runs an event loop for ms milliseconds (QApplication::quit would close the main window).
void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// How long the GUI thread takes to answer an event: a helper thread posts one every `everyMs`
// with the time it was posted; the GUI thread notes how long it waited. The longest wait while
// something runs is the longest time the event loop was blocked.
class LatencyProbe : public QObject {
public:
    static constexpr QEvent::Type ProbeType = QEvent::Type(QEvent::User + 7);
    struct Stamp : QEvent {
        explicit Stamp(qint64 ns) : QEvent(ProbeType), at(ns) {}
        qint64 at;
    };
    LatencyProbe() { m_clock.start(); }
    ~LatencyProbe() override { stop(); }
    void start(int everyMs) {
        stop();
        m_ms.clear();
        m_run = true;
        m_thread = std::thread([this, everyMs] {
            while (m_run) {
                QCoreApplication::postEvent(this, new Stamp(m_clock.nsecsElapsed()));
                std::this_thread::sleep_for(std::chrono::milliseconds(everyMs));
            }
        });
    }
    std::vector<double> stop() {
        m_run = false;
        if (m_thread.joinable()) m_thread.join();
        QCoreApplication::removePostedEvents(this, ProbeType);
        return m_ms;
    }
    bool event(QEvent *e) override {
        if (e->type() != ProbeType) return QObject::event(e);
        m_ms.push_back((m_clock.nsecsElapsed() - static_cast<Stamp *>(e)->at) / 1e6);
        return true;
    }

private:
    QElapsedTimer m_clock;
    std::atomic<bool> m_run{false};
    std::thread m_thread;
    std::vector<double> m_ms;
};

// Runs the event loop until the connection's sequences have ended.
void runUntilIdle(ConnectionController &c) {
    while (c.busy())
        runFor(5);
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
    ConnectionController &conn = form.connection();
    LatencyProbe probe;
    QElapsedTimer t;
    t.start();
    runFor(50);
    runUntilIdle(conn);
    emu.setRecordWritten(true);
    emu.clearWritten();
    probe.start(1);
    QElapsedTimer connectTime;
    connectTime.start();
    if (!form.session().isConnected()) {
        form.spConnect->click();
        runUntilIdle(conn);
    }
    const double connectMs = connectTime.nsecsElapsed() / 1e6;
    const Stats connectBlock = stats(probe.stop());
    const int connectBytes = int(emu.written().size());
    emu.setRecordWritten(false);
    LivePoll *poll = form.livePoll();
    if (!form.session().isConnected() || !poll->analogEnabled()) {
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

    std::printf("%-16s %7s  %-18s  %-26s  %-16s  %-18s\n", "tab", "polls/s", "display ms med/p99",
                "outside wait ms med/mean/p99", "overshoot med/mean", "answer ms med/p99/max");
    bool allMet = true;
    for (int tab = 0; tab < form.PageControl1->count(); ++tab) {
        if (onlyTab >= 0 && tab != onlyTab) continue;
        form.PageControl1->setCurrentIndex(tab);
        runFor(300); // the tab's first paints and the faces of its widgets
        updateMs.clear();
        const quint64 polls0 = poll->polls();
        clock.start();
        probe.start(7);
        QElapsedTimer wall;
        wall.start();
        runFor(seconds * 1000);
        clock.stop();
        const Stats a = stats(probe.stop());
        const double elapsed = wall.nsecsElapsed() / 1e9;
        const double rate = (poll->polls() - polls0) / elapsed;
        const Stats u = stats(updateMs);
        const Stats o = stats(clock.outside(false));
        const Stats w = stats(clock.overshoot());
        std::printf("%-16s %7.2f  %6.3f / %6.3f     %6.3f / %6.3f / %6.3f      %6.3f / %6.3f     "
                    "%6.3f / %6.3f / %6.3f\n",
                    qPrintable(form.PageControl1->tabText(tab)), rate, u.median, u.p99, o.median,
                    o.mean, o.p99, w.median, w.mean, a.median, a.p99, a.max);
        // What was drawn again: the proof that the shown tab was painted on every tick.
        std::printf("    painted: RPM gauge needle %d times, water bar of RT1 %d, of RT2 %d\n",
                    form.monitorPage()->RPMGauge->needleRenders(), form.RT1->WaterBar->paints(),
                    form.RT2->WaterBar->paints());
        allMet = allMet && rate >= 49 && a.p99 < 5;
    }

    // Write and a verified Write while the poll runs.
    double blocked[2] = {0, 0};
    double took[2] = {0, 0};
    for (int verify = 0; verify < 2; ++verify) {
        form.VerifyAfterWrite->setChecked(verify == 1);
        runFor(200);
        probe.start(1);
        QElapsedTimer w;
        w.start();
        form.spWrite->click();
        runUntilIdle(conn);
        took[verify] = w.nsecsElapsed() / 1e6;
        blocked[verify] = stats(probe.stop()).max;
        std::printf("%s: %.0f ms, status \"%s\"\n", verify ? "verified Write" : "Write",
                    took[verify], qPrintable(form.statusText(0)));
    }
    const int fixed = emu::link::WaitIdentifyConnect + 2 * emu::link::WaitReadImage;
    std::printf("Connect: %.0f ms in all; the protocol's fixed waits %d ms + line time of the %d "
                "bytes sent %d ms = %d ms\n",
                connectMs, fixed, connectBytes, EmuLink::lineMs(connectBytes),
                fixed + EmuLink::lineMs(connectBytes));
    std::printf("longest event loop block, ms: Connect %.2f, Write %.2f, verified Write %.2f "
                "(goal < 50)\n",
                connectBlock.max, blocked[0], blocked[1]);
    allMet = allMet && connectBlock.max < 50 && blocked[0] < 50 && blocked[1] < 50;
    std::printf("goals: >= 49 polls/s on every tab, input answered within 5 ms (p99), no block of "
                "50 ms or more: %s\n",
                allMet ? "met" : "NOT met");
    poll->setAnalogEnabled(false);
    Messages::setHandler(nullptr);
    return 0;
}
