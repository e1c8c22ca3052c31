// Drawing cost of the bar indicator and the analog gauge, rendered into an off-screen image the
// way the window system would paint them. Prints median and 99th percentile per case.
//
//   QT_QPA_PLATFORM=offscreen bench_widgets [iterations]
#include "widgets/A3nalogGauge.h"
#include "widgets/ALProgressBar.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

struct Figures {
    double median;
    double p99;
};

Figures measure(int iterations, const std::function<void(int)> &step) {
    for (int i = 0; i < 50; ++i)
        step(i); // warm up caches and glyphs
    std::vector<double> ms;
    ms.reserve(size_t(iterations));
    QElapsedTimer t;
    for (int i = 0; i < iterations; ++i) {
        t.start();
        step(i);
        ms.push_back(t.nsecsElapsed() / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    const auto at = [&ms](double q) { return ms[std::min(ms.size() - 1, size_t(q * ms.size()))]; };
    return {at(0.5), at(0.99)};
}

void report(const char *name, const Figures &f, const char *goal = nullptr) {
    std::printf("%-44s median %8.4f ms   p99 %8.4f ms%s%s\n", name, f.median, f.p99,
                goal ? "   goal " : "", goal ? goal : "");
}

} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int n = argc > 1 ? std::max(100, atoi(argv[1])) : 5000;
    std::printf("bench_widgets: %d iterations per case, rendering with QWidget::render into a "
                "QImage\n",
                n);

    for (auto aa : {TA3nalogGauge::aaNone, TA3nalogGauge::aaBiline}) {
        const char *suffix = aa == TA3nalogGauge::aaNone ? "" : ", 2x supersampled";
        TA3nalogGauge gauge;
        gauge.resize(225, 180);
        gauge.setAntiAliased(aa);
        gauge.setScale(70);
        gauge.setAngle(270);
        gauge.setCaption("RPM x 100");
        QImage target(gauge.size(), QImage::Format_RGB32);
        QPainter painter(&target);
        gauge.render(&painter);

        const int facesBefore = gauge.faceRenders();
        const int needlesBefore = gauge.needleRenders();
        const Figures needle = measure(n, [&](int i) {
            gauge.setPosition(float(i % 700) / 10.0f);
            gauge.render(&painter);
        });
        const bool faceReused = gauge.faceRenders() == facesBefore;
        char name[96];
        std::snprintf(name, sizeof name, "gauge 225x180 needle-only redraw%s", suffix);
        report(name, needle, aa == TA3nalogGauge::aaNone ? "<= 0.3 ms median" : nullptr);
        if (!faceReused) std::printf("  WARNING: the face was drawn again on position changes\n");
        if (gauge.needleRenders() - needlesBefore < n)
            std::printf("  WARNING: fewer needle redraws than position changes\n");

        const int facesStart = gauge.faceRenders();
        const Figures face = measure(n / 5, [&](int i) {
            gauge.invalidateFace();
            gauge.setPosition(float(i % 700) / 10.0f);
            gauge.render(&painter);
        });
        std::snprintf(name, sizeof name, "gauge 225x180 full face redraw%s", suffix);
        report(name, face);
        if (gauge.faceRenders() - facesStart < n / 5)
            std::printf("  WARNING: fewer face redraws than requested\n");
    }

    {
        TALProgressBar bar;
        bar.resize(33, 145);
        bar.setDirection(TALProgressBar::pdBottomToTop);
        bar.setShowPosText(false);
        bar.setMax(120);
        QImage target(bar.size(), QImage::Format_RGB32);
        QPainter painter(&target);
        bar.render(&painter);
        const int builds = bar.patternBuilds();
        const Figures pos = measure(n, [&](int i) {
            bar.setPosition(i % 121);
            bar.render(&painter);
        });
        report("bar 33x145 position change", pos);
        if (bar.patternBuilds() != builds)
            std::printf("  WARNING: the pattern was built again on position changes\n");

        const Figures look = measure(n / 5, [&](int i) {
            bar.setBarColor2(i % 2 ? QColor(0, 128, 0) : QColor(0, 127, 0));
            bar.render(&painter);
        });
        report("bar 33x145 gradient rebuild", look);
    }
    {
        TALProgressBar bar; // 200 x 20 with border and text
        QImage target(bar.size(), QImage::Format_RGB32);
        QPainter painter(&target);
        bar.render(&painter);
        const Figures pos = measure(n, [&](int i) {
            bar.setPosition(i % 101);
            bar.render(&painter);
        });
        report("bar 200x20 position change, with text", pos);
    }
    return 0;
}
