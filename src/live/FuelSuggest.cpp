#include "live/FuelSuggest.h"

#include "live/LogChannels.h"
#include "live/LogFile.h"
#include "model/EmuImage.h"
#include "model/FuelEquation.h"
#include "model/Numbers.h"

#include <algorithm>
#include <cmath>

namespace FuelSuggest {
namespace {

using namespace emu::model;

// Pseudo-samples that pull a share towards one half: a handful of one-sided samples is no
// certain sign of a large error.
constexpr double PriorSamples = 4;
// Rates are taken over this window, so a single jittery row is no transient.
constexpr double RateWindow = 0.2;

double phi(double x) {
    return 0.5 * std::erfc(-x / std::sqrt(2.0));
}

// Inverse of phi for 0 < q < 1.
double probit(double q) {
    double lo = -8, hi = 8;
    for (int i = 0; i < 60; ++i) {
        const double mid = (lo + hi) / 2;
        (phi(mid) < q ? lo : hi) = mid;
    }
    return (lo + hi) / 2;
}

MapId rpmMapOf(FuelRegion r) {
    return r == FuelRegion::Low    ? MapId::FuelLow
           : r == FuelRegion::High ? MapId::FuelHigh
                                   : MapId::FuelCruise;
}

using Columns = MapHits::Columns;

// Rate of a column around a row (per second), over the window centred on it: a sample at the very
// start of a tip-in already counts as moving. 0 when unknown.
double rateAt(const Columns &c, int column, int row) {
    if (column < 0) return 0;
    const double t = c.log.times[size_t(row)];
    int from = std::max(0, c.log.rowAt(t - RateWindow / 2));
    int to = std::max(row, c.log.rowAt(t + RateWindow / 2));
    if (from == to) from = std::max(0, row - 1), to = std::min(c.log.rows - 1, row + 1);
    const double dt = c.log.times[size_t(to)] - c.log.times[size_t(from)];
    const double a = c.get(column, from), b = c.get(column, to);
    if (!(dt > 0) || std::isnan(a) || std::isnan(b)) return 0;
    return (b - a) / dt;
}

double position(const EmuMaps &maps, MapId id, int p, const MapAxes &axes) {
    if (id == MapId::FuelVacuum) return emu::model::vacuumPosition(id, p, axes);
    return maps.position(id, p, axes);
}

double spacing(MapId id, const MapAxes &axes) {
    if (id == MapId::FuelVacuum) return emu::model::vacuumSpacing(id, axes);
    return axes.rpmRange / 100.0 / 32.0;
}

// The log's value on a map's axis, in the unit of its positions.
double axisOf(MapId id, const MapHits::Sample &s) {
    return id == MapId::FuelVacuum ? s.vacuum : s.rpm / 100.0;
}

int setupValue(const EmuImage &image, int offset, int unset) {
    return image.isUnset(offset) ? unset : image.value(offset);
}

struct Tally {
    int samples = 0;
    double rich = 0;
    double totalPercent = 0; // sum of the maps' percentages at the samples
};

} // namespace

double defaultDelay(double rpm) {
    return 0.1 + 0.2 * std::clamp((6000 - rpm) / 5000, 0.0, 1.0);
}

bool mapFromName(const QString &name, MapId *out) {
    const QString n = name.trimmed().toLower();
    const std::pair<const char *, MapId> names[] = {{"cruise", MapId::FuelCruise},
                                                    {"low", MapId::FuelLow},
                                                    {"high", MapId::FuelHigh},
                                                    {"vacuum", MapId::FuelVacuum},
                                                    {"fuelrpmcruise", MapId::FuelCruise},
                                                    {"fuelrpmlow", MapId::FuelLow},
                                                    {"fuelrpmhigh", MapId::FuelHigh},
                                                    {"fuelvacuum", MapId::FuelVacuum}};
    for (const auto &[text, id] : names)
        if (n == QLatin1String(text)) {
            *out = id;
            return true;
        }
    return false;
}

int Result::changed() const {
    return int(std::count_if(points.begin(), points.end(),
                             [](const PointResult &p) { return p.change != 0; }));
}

std::vector<std::pair<int, double>> Result::changes(MapId map, int first, int last) const {
    std::vector<std::pair<int, double>> out;
    for (const PointResult &p : points)
        if (p.map == map && p.change != 0 && (first == 0 || (p.point >= first && p.point <= last)))
            out.emplace_back(p.point, p.suggested());
    return out;
}

const PointResult *Result::at(MapId map, int p) const {
    for (const PointResult &r : points)
        if (r.map == map && r.point == p) return &r;
    return nullptr;
}

bool analyse(const LogRecord &log, const Tune &tune, const Options &o, Result *out,
             QString *error) {
    auto fail = [&](const QString &why) {
        if (error) *error = why;
        return false;
    };
    if (!tune.image || !tune.maps) return fail(QStringLiteral("no tune to correct"));
    const Columns c(log);
    QStringList missing;
    if (c.rpm < 0) missing << QStringLiteral("rpm");
    if (c.vacuum < 0) missing << QStringLiteral("vacuum_bar");
    if (c.lambda < 0) missing << QStringLiteral("lambda_v");
    if (c.water < 0) missing << QStringLiteral("water_c");
    if (!missing.isEmpty())
        return fail(QStringLiteral("the log has no %1 column; fuel suggestions need rpm, "
                                   "vacuum_bar, lambda_v and water_c")
                        .arg(missing.join(QStringLiteral(", "))));
    if (tune.axes.rpmRange <= 0 || tune.axes.mapSensorRange <= 0)
        return fail(QStringLiteral("the tune has no RPM range or map sensor range"));

    const EmuImage &image = *tune.image;
    const EmuMaps &maps = *tune.maps;
    const MapHits::Context ctx = MapHits::contextOf(image, tune.axes);

    Result r;
    r.lambdaSensorOff = setupValue(image, OffLambdaSensor, 1) != 2;
    r.controlPercent = setupValue(image, OffLambdaControlPercent, 0);
    if (o.vacuumMap)
        r.maps = {MapId::FuelVacuum};
    else if (o.onlyMap >= 0)
        r.maps = {MapId(o.onlyMap)};
    else
        r.maps = {MapId::FuelCruise, MapId::FuelLow, MapId::FuelHigh};

    std::array<std::vector<Tally>, MapCount> tally;
    for (MapId id : r.maps)
        tally[int(id)].assign(size_t(maps.pointCount(id, tune.axes)) + 1, Tally());

    const int rows = log.rows;
    r.counts.rows = rows;
    // Per row: the region (a vacuum at a threshold keeps the one before), the last gap at or
    // before it, and the time of the last tip-in at or before it.
    std::vector<FuelRegion> region(size_t(rows), FuelRegion::None);
    std::vector<int> lastGap(size_t(rows), -1);
    std::vector<double> lastTipIn(size_t(rows), -1e300);
    FuelRegion reg = FuelRegion::None;
    for (int i = 0; i < rows; ++i) {
        const bool whole = !std::isnan(c.get(c.rpm, i)) && !std::isnan(c.get(c.vacuum, i)) &&
                           !std::isnan(c.get(c.lambda, i));
        const bool jump = i > 0 && log.times[size_t(i)] - log.times[size_t(i - 1)] > o.maxGap;
        lastGap[size_t(i)] = (!whole || jump) ? i : (i > 0 ? lastGap[size_t(i - 1)] : -1);
        if (whole) reg = MapHits::regionOf(c.get(c.vacuum, i), reg, ctx);
        region[size_t(i)] = reg;
        lastTipIn[size_t(i)] = i > 0 ? lastTipIn[size_t(i - 1)] : -1e300;
        if (rateAt(c, c.throttle, i) > o.maxThrottleRate)
            lastTipIn[size_t(i)] = log.times[size_t(i)];
    }

    for (int i = 0; i < rows && !r.lambdaSensorOff; ++i) {
        const double lambda = c.get(c.lambda, i);
        const double rpmNow = c.get(c.rpm, i);
        if (std::isnan(lambda) || std::isnan(rpmNow)) {
            ++r.counts.gap;
            continue;
        }
        // The operating point whose exhaust the sensor reads now.
        const double delay = o.delayMs >= 0 ? o.delayMs / 1000.0 : defaultDelay(rpmNow);
        const int j = log.rowAt(log.times[size_t(i)] - delay);
        if (j < 0 || lastGap[size_t(i)] >= j) {
            ++r.counts.gap;
            continue;
        }
        const MapHits::Sample s = c.sample(j);
        if (!(s.water >= o.minWater)) {
            ++r.counts.cold;
            continue;
        }
        const double tps = c.get(c.throttle, j);
        const double injector = c.get(c.injector, j);
        const bool closed = !std::isnan(tps) && tps <= o.closedThrottle;
        if (injector == 0 || (closed && rateAt(c, c.rpm, j) < o.overrunRpmRate)) {
            ++r.counts.overrun;
            continue;
        }
        if (std::fabs(rateAt(c, c.throttle, j)) > o.maxThrottleRate ||
            std::fabs(rateAt(c, c.vacuum, j)) > o.maxVacuumRate ||
            log.times[size_t(j)] - lastTipIn[size_t(j)] <= o.tipInWindow) {
            ++r.counts.transient;
            continue;
        }
        const FuelRegion sr = region[size_t(j)];
        const MapId id = o.vacuumMap ? MapId::FuelVacuum : rpmMapOf(sr);
        const int p = sr == FuelRegion::None ? 0 : MapHits::pointOf(id, s, sr, ctx);
        if (p == 0 || tally[int(id)].empty()) {
            ++r.counts.noPoint;
            continue;
        }
        if (std::fabs(axisOf(id, s) - position(maps, id, p, tune.axes)) >
            o.tolerance * spacing(id, tune.axes)) {
            ++r.counts.far;
            continue;
        }
        // What the maps add up to here, for the size of a step (model/FuelEquation.h).
        emu::model::FuelTerms terms;
        auto valueAt = [&](MapId m) {
            const int q = MapHits::pointOf(m, s, sr, ctx);
            return q > 0 ? maps.value(m, q) : 0.0;
        };
        terms.vacuumMap = valueAt(MapId::FuelVacuum);
        terms.rpmMap = valueAt(rpmMapOf(sr));
        terms.water = valueAt(MapId::WaterTemp);
        terms.air = valueAt(MapId::AirTemp);
        terms.battery = valueAt(MapId::Voltage);
        Tally &t = tally[int(id)][size_t(p)];
        ++t.samples;
        t.rich += lambda > ctx.lambdaTarget ? 1.0 : lambda == ctx.lambdaTarget ? 0.5 : 0.0;
        t.totalPercent += terms.total();
        ++r.counts.kept;
    }
    if (r.lambdaSensorOff) r.counts.kept = 0;

    for (MapId id : r.maps) {
        const std::vector<Tally> &ts = tally[int(id)];
        const int n = int(ts.size()) - 1;
        const MapInfo &info = emu::model::mapInfo(id);
        // The raw step of each point with enough samples.
        std::vector<double> raw(size_t(n) + 1, 0.0);
        std::vector<bool> has(size_t(n) + 1, false);
        std::vector<double> confidence(size_t(n) + 1, 0.0);
        for (int p = 1; p <= n; ++p) {
            const Tally &t = ts[size_t(p)];
            if (t.samples == 0) continue;
            const double z = (t.rich - t.samples / 2.0) / (0.5 * std::sqrt(double(t.samples)));
            confidence[size_t(p)] = std::erf(std::fabs(z) / std::sqrt(2.0));
            if (t.samples < o.minSamples) continue;
            has[size_t(p)] = true;
            const double q = std::clamp((t.rich + PriorSamples / 2) / (t.samples + PriorSamples),
                                        1e-4, 1 - 1e-4);
            const double excess = o.spread / 100.0 * probit(q); // given / needed - 1
            const double change =
                emu::model::mapChangeFor(1.0 / (1.0 + excess), t.totalPercent / t.samples);
            // Not clearly one-sided: no step below |z| = 1, the full step from |z| = 3.
            // Bounded before smoothing, so a neighbour's large error cannot carry a point that
            // reads right by itself.
            raw[size_t(p)] = std::clamp(change * std::clamp((std::fabs(z) - 1) / 2, 0.0, 1.0),
                                        -o.maxStep, o.maxStep);
        }
        for (int p = 1; p <= n; ++p) {
            PointResult pr;
            pr.map = id;
            pr.point = p;
            pr.axis = id == MapId::FuelVacuum ? position(maps, id, p, tune.axes)
                                              : position(maps, id, p, tune.axes) * 100;
            pr.samples = ts[size_t(p)].samples;
            pr.richShare = pr.samples ? ts[size_t(p)].rich / pr.samples : qQNaN();
            pr.confidence = confidence[size_t(p)];
            pr.current = maps.value(id, p);
            if (has[size_t(p)]) {
                double sum = pr.samples * raw[size_t(p)];
                double weight = pr.samples;
                for (int q : {p - 1, p + 1})
                    if (q >= 1 && q <= n && has[size_t(q)]) {
                        sum += o.neighbourWeight * ts[size_t(q)].samples * raw[size_t(q)];
                        weight += o.neighbourWeight * ts[size_t(q)].samples;
                    }
                const double step =
                    emu::num::roundHalfEven(std::clamp(sum / weight, -o.maxStep, o.maxStep));
                const double next = std::clamp(pr.current + step, double(info.lo), double(info.hi));
                pr.change = next - pr.current;
            }
            r.points.push_back(pr);
        }
    }
    *out = std::move(r);
    return true;
}

} // namespace FuelSuggest

QString FuelSuggest::Counts::describe() const {
    return QStringLiteral("%1 of %2 samples kept (left out: %3 cold, %4 transient, %5 overrun, "
                          "%6 in gaps, %7 off a point or region)")
        .arg(kept)
        .arg(rows)
        .arg(cold)
        .arg(transient)
        .arg(overrun)
        .arg(gap)
        .arg(far + noPoint);
}
