// GUI cost of a 100-point range edit on the timing map: the new values, one point write per
// point (line time not counted: the link runs on the fake clock), the history step and one
// redraw of the chart; and the same for its undo.
#include "BenchStats.h"
#include "bench/MapPagesRig.h"
#include "connection/ConnectionController.h"
#include "connection/Session.h"
#include "link/Clock.h"
#include "sim/VirtualEmu.h"
#include "tuning/MapChart.h"
#include "tuning/MapPages.h"
#include "tuning/RangeEditDialog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTabWidget>
#include <QTest>
#include <cstdio>

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    MapPagesRig rig;
    Session &s = rig.s;
    VirtualEmu &emu = rig.emu;
    QTabWidget &tabs = rig.tabs;
    MapPages &pages = rig.pages;
    s.markConnected();
    s.setAxes(MapAxes{10000, emu::model::timingPointsFor(10000), s.mapSensorRange()});
    tabs.resize(1280, 900);
    tabs.show();
    if (!QTest::qWaitForWindowExposed(&tabs)) return 1;
    const QByteArray stream = emu.imageStream();
    EmuImage image = s.image();
    std::copy(stream.begin(), stream.end(), image.fileTable());
    s.loadImage(image);
    pages.configureAtConnect();
    ConnectionController::decodeTables(s);
    pages.readTables();
    s.enableEditing();
    s.port().Open();

    MapChart *chart = pages.mapChart(MapPages::Timing);
    chart->replot();
    const int n = s.maps().pointCount(MapId::Timing, s.axes());
    const auto limits = pages.keyLimits(MapId::Timing);
    std::printf("%d timing points, chart %dx%d px\n", n, chart->width(), chart->height());

    std::vector<double> edit, undo;
    QElapsedTimer t;
    for (int i = 0; i < 60; ++i) {
        std::vector<double> values(static_cast<std::size_t>(n));
        for (int p = 1; p <= n; ++p)
            values[std::size_t(p - 1)] = s.maps().value(MapId::Timing, p);
        t.start();
        const RangeResult r =
            rangeEdit(values, 1, n, RangeOp::Set, 10 + i % 2 * 20, limits.first, limits.second);
        s.editMapPoints(MapId::Timing, r.changes, QStringLiteral("bench"));
        chart->replot();
        edit.push_back(t.nsecsElapsed() / 1e6);
        t.start();
        s.history().undo();
        chart->replot();
        undo.push_back(t.nsecsElapsed() / 1e6);
        s.history().redo();
    }
    const Stats e = stats(edit), u = stats(undo);
    std::printf("range edit of %d points (values, %d writes, step, one redraw): median %.3f ms  "
                "p99 %.3f ms  max %.3f ms  (target < 5 ms)\n",
                n, n, e.median, e.p99, e.max);
    std::printf("its undo (memory, %d writes, one redraw):                 median %.3f ms  p99 "
                "%.3f ms  max %.3f ms\n",
                n, u.median, u.p99, u.max);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "bench_rangeedit: cannot write output\n");
        return 2;
    }
    return 0;
}
