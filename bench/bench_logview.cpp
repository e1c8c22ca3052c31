// The log viewer with an hour's log (72,000 rows x 11 channels at 50 ms): opening it on the
// "Data Logger" page, a zoom or pan step of the chart with its repaint (six panes, the whole
// hour in view, then a minute), the scatter of every row, and the hit tables of all nine maps.
// Then the memory of opening logs: peak resident memory while reading a 25 MB log and opening
// it on the page, against the file's size, and while refusing a file whose second line is
// 100 MB long. Wall-clock times on the GUI thread.
#include "BenchStats.h"
#include "connection/Session.h"
#include "link/Clock.h"
#include "live/LogChannels.h"
#include "live/LogFile.h"
#include "live/MapHits.h"
#include "monitor/DataLoggerPage.h"
#include "monitor/ScatterWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace {
double ms(qint64 ns) {
    return ns / 1e6;
}

// CPU time of this thread, ms: the figure that does not depend on what else the machine runs.
double cpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// Peak resident memory of the process (kB); resetPeak() starts a new peak from now.
long statusKb(const char *key) {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').first().toLong();
    return -1;
}
void resetPeak() {
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly)) f.write("5");
}

bool writeLog(const QString &path, int rows) {
    LogWriter writer;
    QVector<int> columns;
    for (int i = 0; i < LogChannels::Count; ++i)
        columns << i;
    QString error;
    if (!writer.open(path, columns, &error)) return false;
    LiveValues v;
    double values[LogChannels::Count];
    bool present[LogChannels::Count];
    for (int r = 0; r < rows; ++r) {
        const double phase = r * 0.01;
        v.rpm = std::round(40 + 30 * std::sin(phase));
        v.totalTiming = std::round(20 + 10 * std::sin(phase * 1.3));
        v.vacuum = std::round((0.5 + 0.45 * std::cos(phase)) * 100) / 100;
        v.lambda = std::round(45 + 40 * std::sin(phase * 3));
        v.battery = 130 + (r % 7);
        v.injectorTime = std::round(30 + 20 * std::sin(phase * 2));
        v.injectorDuty = qint32(20 + r % 50);
        v.waterTemp = 60 + (r % 33);
        v.tps = std::round(50 + 45 * std::sin(phase * 0.7));
        v.airTemp = 25 + (r % 5);
        v.pot = std::round(50 + 40 * std::sin(phase * 0.1) * 100) / 100;
        for (int i = 0; i < LogChannels::Count; ++i) {
            values[i] = LogChannels::fileValue(i, v);
            present[i] = r % 997 != 500; // now and then a missed sample
        }
        if (!writer.writeRow(r * 0.05, values, present, &error)) return false;
    }
    return writer.close();
}
} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    constexpr int Rows = 72000;
    QTemporaryDir dir;
    const QString hour = dir.filePath("hour.csv");
    if (!writeLog(hour, Rows)) return 1;

    FakeClock clock;
    Session session(clock);
    DataLoggerPage page(session);
    page.resize(1600, 1000);
    page.show();
    app.processEvents();

    std::vector<double> opens;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer t;
        t.start();
        if (!page.openLog(hour)) return 1;
        app.processEvents(); // the chart's first draw
        opens.push_back(ms(t.nsecsElapsed()));
    }

    LogViewer *chart = page.LogChart;
    const auto steps = [&](double startWidth) {
        chart->setTimeRange(QCPRange(0, startWidth));
        chart->replot(QCustomPlot::rpImmediateRefresh);
        std::vector<double> out, cpu;
        for (int i = 0; i < 60; ++i) {
            QElapsedTimer t;
            t.start();
            const double c0 = cpuMs();
            if (i % 4 == 0)
                chart->zoomTime(0.8, chart->timeRange().center());
            else if (i % 4 == 1)
                chart->zoomTime(1.25, chart->timeRange().center());
            else
                chart->panTime(i % 4 == 2 ? 0.1 : -0.1);
            app.processEvents(); // the chart's one queued replot and its paint
            out.push_back(ms(t.nsecsElapsed()));
            cpu.push_back(cpuMs() - c0);
        }
        return std::make_pair(stats(out), stats(cpu));
    };
    const auto [whole, wholeCpu] = steps(3600);
    const auto [minute, minuteCpu] = steps(60);

    ScatterWindow *scatter = page.scatterWindow();
    scatter->resize(900, 700);
    scatter->show();
    scatter->FollowCheck->setChecked(false);
    app.processEvents();
    std::vector<double> scatters;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer t;
        t.start();
        scatter->refresh();
        scatter->Plot->replot(QCustomPlot::rpImmediateRefresh);
        scatters.push_back(ms(t.nsecsElapsed()));
    }
    const int dots = scatter->dotCount();
    scatter->hide();

    const MapHits::Context ctx = page.hitContext();
    std::vector<double> hits;
    MapHits::Filter filter;
    filter.minWater = 70;
    filter.maxThrottleRate = 200;
    for (int i = 0; i < 10; ++i) {
        QElapsedTimer t;
        t.start();
        const MapHits::Hits h = MapHits::compute(page.player().record(), ctx, filter);
        hits.push_back(ms(t.nsecsElapsed()));
        if (h.counts.rows != Rows) return 1;
    }

    std::printf("bench_logview: 1 h log, %d rows x 11 channels (%.1f MB)\n", Rows,
                QFileInfo(hour).size() / 1048576.0);
    std::printf("  open on the page (read, chart, first draw): first %.0f ms, median of 3 %.0f "
                "ms (goal < 1000 ms)\n",
                opens.front(), stats(opens).median);
    std::printf("  zoom or pan step with repaint, whole hour in view: median %.2f ms (CPU %.2f "
                "ms), max %.2f ms (goal median <= 16 ms)\n",
                whole.median, wholeCpu.median, whole.max);
    std::printf("  zoom or pan step with repaint, a minute in view: median %.2f ms (CPU %.2f ms), "
                "max %.2f ms\n",
                minute.median, minuteCpu.median, minute.max);
    std::printf("  scatter of every row (%d dots) with repaint: median %.1f ms (goal <= 100 ms)\n",
                dots, stats(scatters).median);
    std::printf("  hit tables of all nine maps, with filters: median %.2f ms (goal <= 100 ms)\n",
                stats(hits).median);
    page.closeLog();

    // Memory: a 25 MB log (six hours at 50 ms).
    const QString big = dir.filePath("big.csv");
    if (!writeLog(big, 6 * Rows)) return 1;
    const double size = QFileInfo(big).size() / 1024.0;
    app.processEvents();
    long base = statusKb("VmRSS:");
    resetPeak();
    {
        LogRecord rec;
        QString error;
        QElapsedTimer t;
        t.start();
        if (!LogReader::read(big, &rec, &error)) return 1;
        const double took = ms(t.nsecsElapsed());
        const long peak = statusKb("VmHWM:") - base;
        std::printf("  read a %.1f MB log: %.0f ms, peak memory +%.1f MB = %.2f x the file "
                    "(goal about 3 x)\n",
                    size / 1024, took, peak / 1024.0, peak / size);
    }
    app.processEvents();
    base = statusKb("VmRSS:");
    resetPeak();
    {
        QElapsedTimer t;
        t.start();
        if (!page.openLog(big)) return 1;
        app.processEvents();
        const double took = ms(t.nsecsElapsed());
        const long peak = statusKb("VmHWM:") - base;
        std::printf("  open it on the page (chart drawn): %.0f ms, peak memory +%.1f MB = %.2f x "
                    "the file\n",
                    took, peak / 1024.0, peak / size);
        page.closeLog();
    }
    // A 100 MB line: refused after its first 4096 bytes.
    const QString longLine = dir.filePath("line.csv");
    {
        QFile f(longLine);
        if (!f.open(QIODevice::WriteOnly)) return 1;
        f.write("time_s,rpm\n");
        const QByteArray chunk(1 << 20, '1');
        for (int i = 0; i < 100; ++i)
            f.write(chunk);
        f.write("\n");
    }
    app.processEvents();
    base = statusKb("VmRSS:");
    resetPeak();
    {
        LogRecord rec;
        QString error;
        QElapsedTimer t;
        t.start();
        const bool ok = LogReader::read(longLine, &rec, &error);
        const double took = ms(t.nsecsElapsed());
        const long peak = statusKb("VmHWM:") - base;
        std::printf("  a 100 MB line: %s in %.0f ms, peak memory +%.1f MB\n",
                    ok ? "ACCEPTED (wrong)" : "refused", took, peak / 1024.0);
    }
    return 0;
}
