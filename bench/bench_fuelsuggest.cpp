// Fuel suggestions on the virtual engine: the rounds a known fuel error takes to tune out and the
// error left per region after each, then the time the analysis of a one-hour log takes.
#include "bench/BenchStats.h"
#include "tests/sim/FuelRig.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>

namespace {
// Largest and mean distance from the true need over the points with enough samples.
void printRegions(FuelRig &r, const FuelSuggest::Result &res, int round) {
    for (MapId id : res.maps) {
        double worst = 0, sum = 0;
        int n = 0, changed = 0;
        for (const FuelSuggest::PointResult &p : res.points) {
            if (p.map != id) continue;
            changed += p.change != 0;
            if (p.samples < FuelSuggest::Options().minSamples) continue;
            const double e = r.emu.mapValue(id, p.point) -
                             r.emu.fuel().trueRpmMapValue(r.emu, FuelRig::regionOf(id), p.point);
            worst = std::max(worst, std::fabs(e));
            sum += std::fabs(e);
            ++n;
        }
        std::printf("  round %d %-14s points %2d  error max %4.1f %%  mean %4.2f %%  to change %d\n",
                    round, emu::model::mapInfo(id).key, n, worst, n ? sum / n : 0.0, changed);
    }
}
} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    std::printf("bench_fuelsuggest: fuel errors +8 %% cruise 3000-4000, -6 %% low 1500-2500, "
                "+5 %% high 4500-5500 RPM\n");
    FuelRig r({{8, 3000, 4000, 2}, {-6, 1500, 2500, 1}, {5, 4500, 5500, 3}});
    const double lap = ScriptedDrive::standard(7000, 0.25, 0.85, 1.0).duration();
    r.emu.setDrive(ScriptedDrive::standard(7000, 0.25, 0.85, 1.0, 200));
    FuelSuggest::Result res = r.suggest(r.record(200 + lap));
    r.emu.setDrive(ScriptedDrive::standard(7000, 0.25, 0.85, 1.0));
    int round = 0;
    printRegions(r, res, round);
    while (res.changed() > 0 && round < 8) {
        r.apply(res);
        res = r.suggest(r.record(lap));
        printRegions(r, res, ++round);
    }
    std::printf("  rounds applied: %d (drive of %.0f s each, 20 ms samples)\n", round, lap);

    // One hour of the drive, sampled every 20 ms.
    const LogRecord hour = r.record(3600);
    const emu::model::Tune t = r.tune();
    std::vector<double> ms;
    for (int i = 0; i < 7; ++i) {
        FuelSuggest::Result out;
        QString error;
        QElapsedTimer clock;
        clock.start();
        FuelSuggest::analyse(hour, FuelSuggest::Tune{&t.image, &t.maps, t.axes},
                             FuelSuggest::Options(), &out, &error);
        ms.push_back(clock.nsecsElapsed() / 1e6);
    }
    const Stats s = stats(ms);
    std::printf("  analysis of a 1-hour log (%d rows): median %.1f ms, max %.1f ms (goal < 200 ms)\n",
                hour.rows, s.median, s.max);
    return 0;
}
