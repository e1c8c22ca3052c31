// Log playback: an hour at 50 ms (72,000 rows x 11 channels) written with the logger's own
// writer, then opened on the "Data Logger" page (file read, conversion, chart data) and scrubbed
// with the time slider while the four real-time frames and the engine monitor's gauges follow.
// Prints the time to open the log and the time of one slider move until every display has its
// values, and with the repaint of the visible window included. Wall-clock times (the GUI thread
// does all of it).
#include "connection/Session.h"
#include "link/Clock.h"
#include "live/LogChannels.h"
#include "monitor/DataLoggerPage.h"
#include "monitor/EngineMonitorPage.h"
#include "monitor/LiveDisplays.h"
#include "monitor/RTFrame.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QRandomGenerator>
#include <QSlider>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {
double ms(qint64 ns) {
    return ns / 1e6;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}
} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    constexpr int Rows = 72000;
    QTemporaryDir dir;
    const QString path = dir.filePath("hour.csv");
    {
        LogWriter writer;
        QVector<int> columns;
        for (int i = 0; i < LogChannels::Count; ++i)
            columns << i;
        QString error;
        if (!writer.open(path, columns, &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        LiveValues v;
        double values[LogChannels::Count];
        bool present[LogChannels::Count];
        for (int r = 0; r < Rows; ++r) {
            const double phase = r * 0.01;
            v.rpm = std::round(40 + 30 * std::sin(phase));
            v.totalTiming = std::round(20 + 10 * std::sin(phase * 1.3));
            v.vacuum = std::round((0.5 + 0.4 * std::cos(phase)) * 100) / 100;
            v.lambda = std::round(45 + 40 * std::sin(phase * 3));
            v.battery = 130 + (r % 7);
            v.injectorTime = std::round(30 + 20 * std::sin(phase * 2));
            v.injectorDuty = qint32(20 + r % 50);
            v.waterTemp = 80 + (r % 13);
            v.tps = std::round(50 + 45 * std::sin(phase * 0.7));
            v.airTemp = 25 + (r % 5);
            v.pot = std::round(50 + 40 * std::sin(phase * 0.1) * 100) / 100;
            for (int i = 0; i < LogChannels::Count; ++i) {
                values[i] = LogChannels::fileValue(i, v);
                present[i] = r % 997 != 500; // now and then a missed sample
            }
            if (!writer.writeRow(r * 0.05, values, present, &error)) {
                std::fprintf(stderr, "%s\n", qPrintable(error));
                return 1;
            }
        }
        writer.close();
    }

    FakeClock clock;
    Session session(clock);
    QWidget window;
    auto *layout = new QHBoxLayout(&window);
    DataLoggerPage page(session);
    EngineMonitorPage gauges;
    QList<TRT *> frames;
    auto *framesColumn = new QVBoxLayout;
    for (int i = 0; i < 4; ++i) {
        frames << new TRT(&window);
        framesColumn->addWidget(frames.last());
    }
    layout->addWidget(&page, 2);
    layout->addWidget(&gauges, 1);
    layout->addLayout(framesColumn);
    window.resize(1600, 1000);
    window.show();
    app.processEvents();
    subscribeLiveDisplays(page.player(), {frames, {}, &gauges});

    std::vector<double> opens;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer t;
        t.start();
        if (!page.openLog(path)) return 1;
        app.processEvents(); // the chart's first draw
        opens.push_back(ms(t.nsecsElapsed()));
    }

    QSlider *slider = page.PlaySlider;
    QRandomGenerator rng(7);
    std::vector<double> moves, painted;
    for (int i = 0; i < 300; ++i) {
        const int to = int(rng.bounded(slider->maximum() + 1));
        QElapsedTimer t;
        t.start();
        slider->setValue(to);
        moves.push_back(ms(t.nsecsElapsed()));
        app.processEvents(); // repaint of frames, gauges, chart window and cursor
        painted.push_back(ms(t.nsecsElapsed()));
    }

    std::printf("bench_playback: 1 h log, %d rows x 11 channels (%.1f MB)\n", Rows,
                QFileInfo(path).size() / 1048576.0);
    std::printf("  open (read, convert, chart, first draw): first %.0f ms, median of 3 %.0f ms "
                "(goal < 1000 ms)\n",
                opens.front(), median(opens));
    std::printf("  slider move, every display set: median %.2f ms, max %.2f ms (goal < 20 ms)\n",
                median(moves), *std::max_element(moves.begin(), moves.end()));
    std::printf("  slider move incl. repaint of the window: median %.2f ms, max %.2f ms\n",
                median(painted), *std::max_element(painted.begin(), painted.end()));
    return 0;
}
