// Map chart figures: time from a pointer move (drag) to the point write and the redraw of the
// chart, the cost of a live marker move, and of rebuilding every curve after a table read.
#include "bench/MapPagesRig.h"
#include "connection/ConnectionController.h"
#include "connection/Session.h"
#include "link/Clock.h"
#include "sim/VirtualEmu.h"
#include "tuning/MapChart.h"
#include "tuning/MapPages.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTabWidget>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
struct Stats {
    double median, p95, max;
};
Stats stats(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v[v.size() * 95 / 100], v.back()};
}
void print(const char *what, const Stats &s) {
    std::printf("%-58s median %7.3f ms  p95 %7.3f ms  max %7.3f ms\n", what, s.median, s.p95,
                s.max);
}
} // namespace

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    MapPagesRig rig;
    Session &s = rig.s;
    VirtualEmu &emu = rig.emu;
    QTabWidget &tabs = rig.tabs;
    MapPages &pages = rig.pages;
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
    pages.setMouseTuning(true);

    MapChart *chart = pages.mapChart(MapPages::Timing);
    chart->replot();
    QTest::qWait(50);
    const int frame = chart->frameIntervalMs();
    std::printf("chart %dx%d px, %d timing points, frame interval %d ms\n", chart->width(),
                chart->height(), s.timingPoints(), frame);

    auto pixel = [&](double x, double y) {
        return QPoint(qRound(chart->xAxis->coordToPixel(x)), qRound(chart->yAxis->coordToPixel(y)));
    };
    {
        // The parts of a drag: the point write, the series-layer redraw, a full replot.
        std::vector<double> send, layer, replot;
        QElapsedTimer t;
        for (int i = 0; i < 50; ++i) {
            t.start();
            s.sendPoint(MapId::Timing, 5);
            send.push_back(t.nsecsElapsed() / 1e6);
            t.start();
            chart->layer(QStringLiteral("series"))->replot();
            layer.push_back(t.nsecsElapsed() / 1e6);
            t.start();
            chart->replot();
            replot.push_back(t.nsecsElapsed() / 1e6);
        }
        std::vector<double> drag, req;
        for (int i = 0; i < 30; ++i) {
            QTest::qWait(frame + 1);
            t.start();
            pages.TimingChartDragOver(pixel(5 + i, 20));
            drag.push_back(t.nsecsElapsed() / 1e6);
            QTest::qWait(frame + 1);
            t.start();
            chart->setPoints(2, {1, 2}, {3, 4});
            req.push_back(t.nsecsElapsed() / 1e6);
        }
        std::vector<double> hov, offdrag;
        for (int i = 0; i < 30; ++i) {
            QTest::qWait(frame + 1);
            t.start();
            QTest::mouseMove(chart, pixel(5 + i, 20));
            hov.push_back(t.nsecsElapsed() / 1e6);
        }
        print("hover move (read-outs, selection)", stats(hov));
        pages.setMouseTuning(false);
        QTest::mousePress(chart, Qt::LeftButton, Qt::NoModifier, pixel(10, 10));
        for (int i = 0; i < 30; ++i) {
            QTest::qWait(frame + 1);
            t.start();
            QTest::mouseMove(chart, pixel(5 + i, 25));
            offdrag.push_back(t.nsecsElapsed() / 1e6);
        }
        QTest::mouseRelease(chart, Qt::LeftButton, Qt::NoModifier, pixel(10, 10));
        pages.setMouseTuning(true);
        print("pressed move, switch off", stats(offdrag));
        print("TimingChartDragOver (store, write, rebuild, redraw)", stats(drag));
        print("timing curve set + redraw", stats(req));
        print("point write alone", stats(send));
        print("series layer redraw alone", stats(layer));
        print("full replot of the chart", stats(replot));
    }
    QTest::mousePress(chart, Qt::LeftButton, Qt::NoModifier, pixel(10, 10));
    const int samples = 200;
    std::vector<double> handler, withPaint, burst;
    QElapsedTimer t;
    for (int i = 0; i < samples; ++i) {
        // Let one screen refresh pass, so the redraw is due at once.
        QTest::qWait(frame + 1);
        const QPoint at = pixel(5 + i % 60, 5 + (i * 7) % 35);
        const int redraws = chart->redrawCount();
        t.start();
        QTest::mouseMove(chart, at);
        handler.push_back(t.nsecsElapsed() / 1e6);
        QCoreApplication::processEvents(); // the queued paint of the redrawn buffer
        withPaint.push_back(t.nsecsElapsed() / 1e6);
        if (chart->redrawCount() != redraws + 1) {
            std::printf("move %d did not redraw\n", i);
            return 1;
        }
    }
    // Moves faster than the screen refreshes: writes at once, redraws coalesced.
    for (int i = 0; i < samples; ++i) {
        const QPoint at = pixel(5 + i % 60, 20 + i % 10);
        t.start();
        QTest::mouseMove(chart, at);
        burst.push_back(t.nsecsElapsed() / 1e6);
    }
    QTest::mouseRelease(chart, Qt::LeftButton, Qt::NoModifier, pixel(10, 10));
    print("pointer move -> point write + chart redraw (handler)", stats(handler));
    print("pointer move -> point write + redraw + paint", stats(withPaint));
    print("pointer move within a frame (write, redraw deferred)", stats(burst));

    // The live marker of each poll tick: both charts of the timing tab move their marker and
    // paint the strips it left and entered (the plots are not drawn again nor copied whole).
    {
        MapChart *vacuum = pages.mapChart(MapPages::Vacuum);
        std::vector<double> marker, markerPaint;
        const int fullBefore = chart->fullPaintCount() + vacuum->fullPaintCount();
        const int paintsBefore = chart->paintCount() + vacuum->paintCount();
        for (int i = 0; i < samples; ++i) {
            LiveValues v;
            v.rpm = 5 + (i * 3) % 60;
            v.vacuum = 0.1 + (i % 20) * 0.04;
            t.start();
            pages.updateLiveMarkers(v);
            marker.push_back(t.nsecsElapsed() / 1e6);
            QCoreApplication::processEvents();
            markerPaint.push_back(t.nsecsElapsed() / 1e6);
        }
        print("live markers of all charts (data, strip requests)", stats(marker));
        print("live markers + paint of the timing tab's two charts", stats(markerPaint));
        std::printf("%d marker ticks: %d paints of the two plots, %d of them whole\n", samples,
                    chart->paintCount() + vacuum->paintCount() - paintsBefore,
                    chart->fullPaintCount() + vacuum->fullPaintCount() - fullBefore);
    }

    // Rebuilding every curve after a table read.
    std::vector<double> read, rebuild, full;
    for (int i = 0; i < 50; ++i) {
        QTest::qWait(frame + 1);
        t.start();
        ConnectionController::decodeTables(s);
        pages.readTables();
        read.push_back(t.nsecsElapsed() / 1e6);
        t.start();
        for (MapId id : emu::model::allMaps())
            pages.rebuildCurve(id);
        rebuild.push_back(t.nsecsElapsed() / 1e6);
        // Worst case: all seven charts redrawn in full (as if all were on screen).
        t.start();
        for (int c = 0; c < MapPages::ChartCount; ++c)
            pages.mapChart(MapPages::Chart(c))->replot(QCustomPlot::rpImmediateRefresh);
        full.push_back(t.nsecsElapsed() / 1e6);
    }
    print("table read: decode + rebuild all curves (visible tab drawn)", stats(read));
    print("rebuild all nine curves (data only, redraws deferred)", stats(rebuild));
    print("full replot of all seven charts", stats(full));
    return 0;
}
