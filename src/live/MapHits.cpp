#include "live/MapHits.h"

#include "live/LogFile.h"
#include "model/SetupFields.h"

#include <algorithm>

namespace MapHits {
namespace {
// Series indices of the channels the maps read.
constexpr int RpmSeries = 0, VacuumSeries = 2, LambdaSeries = 3, BatterySeries = 4, WaterSeries = 7,
              ThrottleSeries = 8, AirSeries = 9, InjectorSeries = 5;

const EmuMaps &formulas() {
    // nearest() and pointCount() read only the axes.
    static const EmuMaps maps;
    return maps;
}

// The map's axis value of a sample, in the chart's unit; NaN when the log lacks it.
double axisValue(MapId map, const Sample &s) {
    switch (map) {
    case MapId::Timing:
    case MapId::FuelCruise:
    case MapId::FuelLow:
    case MapId::FuelHigh:
        return s.rpm / 100; // hundreds of RPM
    case MapId::VacuumTiming:
    case MapId::FuelVacuum:
        return s.vacuum;
    case MapId::WaterTemp:
        return s.water;
    case MapId::AirTemp:
        return s.air;
    case MapId::Voltage:
        return s.battery;
    }
    return qQNaN();
}

FuelRegion regionOfMap(MapId map) {
    switch (map) {
    case MapId::FuelLow:
        return FuelRegion::Low;
    case MapId::FuelCruise:
        return FuelRegion::Cruise;
    case MapId::FuelHigh:
        return FuelRegion::High;
    default:
        return FuelRegion::None;
    }
}

double rowSeconds(const LogRecord &log, int row) {
    const int n = log.rows;
    if (row + 1 < n) return log.times[row + 1] - log.times[row];
    return n > 1 ? log.times[row] - log.times[row - 1] : 0.0;
}
} // namespace

Columns::Columns(const LogRecord &l)
    : log(l), rpm(l.column(RpmSeries)), vacuum(l.column(VacuumSeries)),
      lambda(l.column(LambdaSeries)), battery(l.column(BatterySeries)),
      water(l.column(WaterSeries)), throttle(l.column(ThrottleSeries)), air(l.column(AirSeries)),
      injector(l.column(InjectorSeries)) {}

double Columns::get(int column, int row) const {
    return column < 0 ? qQNaN() : log.value(column, row);
}

Sample Columns::sample(int row) const {
    Sample s;
    s.rpm = get(rpm, row);
    s.vacuum = get(vacuum, row);
    s.lambda = get(lambda, row);
    s.water = get(water, row);
    s.air = get(air, row);
    s.battery = get(battery, row);
    return s;
}

Context contextOf(const EmuImage &image, const MapAxes &axes) {
    using namespace emu::model;
    Context c;
    c.axes = axes;
    if (const std::optional<double> v = displayValue(image, *setupFieldAt(OffLowThrottleVacuum)))
        c.lowThrottleVacuum = *v;
    if (const std::optional<double> v = displayValue(image, *setupFieldAt(OffHighThrottleVacuum)))
        c.highThrottleVacuum = *v;
    if (!image.isUnset(OffLambdaTarget)) c.lambdaTarget = image.value(OffLambdaTarget) / 100.0;
    return c;
}

bool isFuelMap(MapId map) {
    return emu::model::mapInfo(map).capability == 2;
}

Hits emptyHits(const MapAxes &axes) {
    Hits h;
    for (MapId m : emu::model::allMaps())
        h.points[int(m)].assign(std::size_t(formulas().pointCount(m, axes)), Point());
    return h;
}

FuelRegion regionOf(double vacuum, FuelRegion previous, const Context &ctx) {
    LiveContext live;
    live.lowThrottleVacuum = ctx.lowThrottleVacuum;
    live.highThrottleVacuum = ctx.highThrottleVacuum;
    const FuelRegion r = std::isnan(vacuum) ? FuelRegion::None : Live::region(vacuum, live);
    return r == FuelRegion::None ? previous : r;
}

int pointOf(MapId map, const Sample &s, FuelRegion region, const Context &ctx) {
    const FuelRegion needs = regionOfMap(map);
    if (needs != FuelRegion::None && needs != region) return 0;
    const double x = axisValue(map, s);
    if (std::isnan(x)) return 0;
    const bool vacuumMap = map == MapId::VacuumTiming || map == MapId::FuelVacuum;
    if (vacuumMap && ctx.axes.mapSensorRange <= 0) return 0; // no vacuum axis
    if ((map == MapId::Timing || regionOfMap(map) != FuelRegion::None) && ctx.axes.rpmRange <= 0)
        return 0;
    const int n = formulas().pointCount(map, ctx.axes);
    const int p = formulas().nearest(map, x, ctx.axes);
    // nearest() gives 0 for what it cannot round: far beyond the last point (every axis ends
    // well below 1000 in its unit), that is the last point.
    if (p == 0 && x > 1e3) return n;
    return std::clamp(p, 1, n);
}

void add(Hits &hits, const Sample &s, FuelRegion region, double seconds, const Context &ctx) {
    for (MapId m : emu::model::allMaps()) {
        std::vector<Point> &points = hits.points[int(m)];
        if (points.empty()) continue;
        const int p = pointOf(m, s, region, ctx);
        if (p < 1 || p > int(points.size())) continue;
        Point &pt = points[std::size_t(p - 1)];
        ++pt.samples;
        pt.seconds += seconds;
        if (isFuelMap(m) && !std::isnan(s.lambda)) {
            ++pt.lambdaSamples;
            pt.lambdaSum += s.lambda;
            if (s.lambda > ctx.lambdaTarget) ++pt.rich;
        }
    }
}

std::vector<bool> keptRows(const LogRecord &log, const Filter &filter, Counts *counts) {
    const Columns cols(log);
    Counts c;
    c.rows = log.rows;
    std::vector<bool> kept(std::size_t(log.rows), false);
    int whole = -1; // last row that was no missed sample
    double lastThrottle = qQNaN(), lastThrottleTime = 0;
    for (int r = 0; r < log.rows; ++r) {
        const double t = log.times[r];
        const bool missed = log.isMissed(r);
        if (!missed) whole = r;
        const int from = missed ? whole : r; // a kept missed sample holds the last whole one
        const double throttle = from < 0 ? qQNaN() : cols.get(cols.throttle, from);
        double rate = 0;
        if (!std::isnan(throttle) && !std::isnan(lastThrottle)) {
            const double dt = t - lastThrottleTime;
            const double change = std::fabs(throttle - lastThrottle);
            rate = dt > 0 ? change / dt : (change > 0 ? INFINITY : 0);
        }
        if (!missed && !std::isnan(throttle)) {
            lastThrottle = throttle;
            lastThrottleTime = t;
        }

        if (t < filter.from || t > filter.to) {
            ++c.outsideTime;
        } else if (missed && (filter.excludeMissed || from < 0)) {
            ++c.missed;
        } else if (!std::isnan(filter.minWater) &&
                   !(cols.get(cols.water, from) >= filter.minWater)) {
            ++c.coldWater;
        } else if (!std::isnan(filter.minRpm) && !(cols.get(cols.rpm, from) >= filter.minRpm)) {
            ++c.lowRpm;
        } else if (!std::isnan(filter.maxThrottleRate) &&
                   (std::isnan(throttle) || !(rate <= filter.maxThrottleRate))) {
            ++c.throttleChange;
        } else {
            kept[std::size_t(r)] = true;
            ++c.kept;
        }
    }
    if (counts) *counts = c;
    return kept;
}

Hits compute(const LogRecord &log, const Context &ctx, const Filter &filter) {
    Hits hits = emptyHits(ctx.axes);
    const std::vector<bool> kept = keptRows(log, filter, &hits.counts);
    const Columns cols(log);
    FuelRegion region = FuelRegion::None;
    int whole = -1;
    for (int r = 0; r < log.rows; ++r) {
        // The region follows every sample of the log, whatever the filters keep.
        if (!log.isMissed(r)) {
            whole = r;
            region = regionOf(cols.get(cols.vacuum, r), region, ctx);
        }
        if (!kept[std::size_t(r)] || whole < 0) continue;
        add(hits, cols.sample(whole), region, rowSeconds(log, r), ctx);
    }
    return hits;
}

} // namespace MapHits
