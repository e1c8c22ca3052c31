// Data logger: an hour at 50 ms (72,000 samples of all eleven channels) charted and recorded to a
// file. Prints the cost of one sample (handler with chart append and CSV row) and of one redraw
// of the chart early in the log and after the hour, and the memory the log takes.
//
// The chart is redrawn on every 20th sample during the run (the program redraws on every sample;
// every 20th keeps the run to seconds). The redraw cost is measured separately at each checkpoint
// (median of 40 immediate redraws of the visible 30 s window), and the cost of a sample at the
// program's rate is given as handler + one redraw. Costs are CPU time of the GUI thread.
#include "connection/Session.h"
#include "link/Clock.h"
#include "monitor/DataLoggerPage.h"
#include "widgets/ThdTimer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRadioButton>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {
// kB value of a line of /proc/self/status ("VmRSS", "VmHWM").
long statusKb(const char *key) {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key)) + 1).trimmed().split(' ').first().toLong();
    return -1;
}

// CPU time of this thread in microseconds: the machine may be busy with other work, and the
// figures should show what the logger itself costs.
double cpuUs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e6 + ts.tv_nsec / 1e3;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

void setLive(LiveValues &v, int i) {
    const double phase = i * 0.01;
    v.rpm = 40 + 30 * std::sin(phase);
    v.totalTiming = 20 + 10 * std::sin(phase * 1.3);
    v.vacuum = 0.5 + 0.4 * std::cos(phase);
    v.lambda = 45 + 40 * std::sin(phase * 3);
    v.battery = 130 + (i % 7);
    v.injectorTime = 30 + 20 * std::sin(phase * 2);
    v.injectorDuty = qint32(20 + i % 50);
    v.waterTemp = 80 + (i % 13);
    v.tps = 50 + 45 * std::sin(phase * 0.7);
    v.airTemp = 25 + (i % 5);
    v.pot = 50;
}

// One logger page with its own session, logging at 50 ms.
struct Logger {
    FakeClock clock;
    Session session{clock};
    DataLoggerPage page{session};
    int done = 0;

    explicit Logger(const QString &recordPath = QString()) {
        session.markConnected();
        page.resize(1200, 700);
        page.show();
        QApplication::processEvents();
        page.findChild<QRadioButton *>(QStringLiteral("DataInterval50"))->setChecked(true);
        if (!recordPath.isEmpty()) {
            page.CheckBox19->setChecked(true);
            page.setSaveFileDialog([recordPath](QWidget *, const QString &) { return recordPath; });
        }
        page.SpeedButton1Click();
        // The samples are driven here, not by the clock: push its next tick far away.
        page.DataLogTimer->setInterval(1000u * 3600 * 24);
    }
    // One sample; returns its CPU cost. Every 20th sample the queued redraw runs.
    double sample() {
        LiveValues v = session.live();
        setLive(v, done);
        session.takeLive(v);
        const double t0 = cpuUs();
        page.ThreadedTimer1Timer();
        const double cost = cpuUs() - t0;
        if (done % 20 == 0) QApplication::processEvents();
        ++done;
        return cost;
    }
    double redraw() {
        const double t0 = cpuUs();
        page.LogChart->replot(QCustomPlot::rpImmediateRefresh);
        return cpuUs() - t0;
    }
};

// Median redraw costs of several charts, measured interleaved so that a busy machine affects all
// of them alike.
std::vector<double> interleavedRedraws(const std::vector<Logger *> &loggers) {
    std::vector<std::vector<double>> costs(loggers.size());
    for (int k = 0; k < 60; ++k)
        for (size_t j = 0; j < loggers.size(); ++j)
            costs[j].push_back(loggers[j]->redraw());
    std::vector<double> out;
    for (auto &c : costs)
        out.push_back(median(c));
    return out;
}
} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int total = 72000;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("hour.csv"));

    std::vector<double> handler(total);
    QElapsedTimer run;
    run.start();
    Logger hour(path);
    const long rssStart = statusKb("VmRSS"); // the page is built and shown, the log started
    if (!hour.page.recording()) {
        std::fprintf(stderr, "cannot record to %s\n", qPrintable(path));
        return 1;
    }
    for (int i = 0; i < total; ++i)
        handler[i] = hour.sample();
    const double runSeconds = run.elapsed() / 1000.0;
    const long rssEnd = statusKb("VmRSS");
    const long hwmEnd = statusKb("VmHWM");
    auto handlerAt = [&](int n) {
        return median(std::vector<double>(handler.begin() + (n - 100), handler.begin() + n));
    };

    // The same log after 100 samples and after a minute, for the redraw comparison.
    Logger early, minute;
    for (int i = 0; i < 100; ++i)
        early.sample();
    for (int i = 0; i < 1200; ++i)
        minute.sample();
    const std::vector<double> redraw = interleavedRedraws({&early, &minute, &hour});
    // The hour's chart panned to the minute's window: only the amount of data differs.
    hour.page.LogChart->xAxis->setRange(minute.page.LogChart->xAxis->range());
    const std::vector<double> sameView = interleavedRedraws({&minute, &hour});

    hour.page.SpeedButton2Click();
    const qint64 fileBytes = QFile(path).size();

    std::printf("bench_logger: %d samples x 11 channels (1 h at 50 ms), recorded to a file; "
                "chart %dx%d offscreen, redrawn on every 20th sample during the run\n",
                total, hour.page.LogChart->width(), hour.page.LogChart->height());
    std::printf("  CPU time of the GUI thread; sample = handler (chart append + CSV row), "
                "redraw = median of 60 immediate redraws\n");
    const int at[3] = {100, 1200, total};
    double perSample[3];
    for (int j = 0; j < 3; ++j) {
        const double h = handlerAt(at[j]);
        perSample[j] = h + redraw[j];
        std::printf(
            "  at %6d samples: sample %6.1f us, redraw %7.1f us, sample + redraw %7.1f us\n", at[j],
            h, redraw[j], perSample[j]);
    }
    std::printf("  ratio 72000/100:  sample %.2f, sample + redraw %.2f (goal <= 1.5)\n",
                handlerAt(total) / handlerAt(100), perSample[2] / perSample[0]);
    std::printf("  ratio 72000/1200: sample %.2f, sample + redraw %.2f (one hour / one minute)\n",
                handlerAt(total) / handlerAt(1200), perSample[2] / perSample[1]);
    std::printf("  same window 30..60, 1200 vs 72000 points per line: redraw %.1f vs %.1f us "
                "(ratio %.2f)\n",
                sameView[0], sameView[1], sameView[1] / sameView[0]);
    std::printf("  whole run %.1f s; CSV file %.1f MB\n", runSeconds, fileBytes / 1048576.0);
    std::printf("  memory over the hour: VmRSS %.1f -> %.1f MB, VmHWM %.1f MB; "
                "peak growth %.1f MB (goal <= 40 MB)\n",
                rssStart / 1024.0, rssEnd / 1024.0, hwmEnd / 1024.0, (hwmEnd - rssStart) / 1024.0);
    return 0;
}
