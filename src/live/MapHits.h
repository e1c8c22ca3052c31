#pragma once
// Hit tables: where on the nine maps a log spent its time. Each sample of a log belongs to the
// nearest point of each map's axis (the same nearest point the charts' mouse and keyboard use):
//
//   timing map                  engine speed
//   fuel RPM map of the region  engine speed, only the "Low", "Cruise" or "High" map of the
//                               operating region the vacuum puts the sample in (Live::region);
//                               a vacuum exactly at a threshold belongs to no region there, so
//                               such a sample keeps the region of the sample before it, as the
//                               region the program shows does; before any region is known it
//                               counts on no fuel RPM map
//   vacuum timing, fuel vacuum  manifold vacuum
//   corrections                 water temperature, air temperature, battery voltage
//
// Values beyond a map's ends belong to its first or last point. A sample without the channel a
// map needs (not logged) counts on no point of that map.
//
// Per point: samples, seconds (each sample lasts until the next row; the last row as long as
// the step before it) and, on the fuel maps, the mean lambda volts and the share of samples
// richer than the target (lambda volts above it; a narrowband sensor reads high when rich).
#include "live/LiveData.h"
#include "model/Maps.h"

#include <QtNumeric>
#include <array>
#include <cmath>
#include <limits>
#include <vector>

struct LogRecord;

namespace MapHits {

// A sample in the log's units; NaN where the log has no value.
struct Sample {
    double rpm = qQNaN();     // RPM
    double vacuum = qQNaN();  // bar
    double lambda = qQNaN();  // volts
    double water = qQNaN();   // °C
    double air = qQNaN();     // °C
    double battery = qQNaN(); // volts
};

// What places a sample on the maps: the tune's axes and thresholds.
struct Context {
    MapAxes axes;                    // R, N, S
    double lowThrottleVacuum = 0.1;  // L, bar
    double highThrottleVacuum = 0.9; // H, bar
    double lambdaTarget = 0.45;      // volts
};

// The context of a tune's setup block: thresholds (a stored 0 reads 0.1 and 0.9 bar) and the
// lambda target as the setup editors show them.
Context contextOf(const EmuImage &image, const MapAxes &axes);

// Which samples count. A condition on a channel drops every sample without a value for it.
struct Filter {
    double from = -std::numeric_limits<double>::infinity(); // time range, s, both ends included
    double to = std::numeric_limits<double>::infinity();
    double minWater = qQNaN();        // °C at least; NaN: no condition
    double minRpm = qQNaN();          // RPM at least
    double maxThrottleRate = qQNaN(); // throttle change from the previous sample at most, %/s
    // A missed sample (no whole live frame) is left out; when kept, it counts with the values of
    // the last whole sample before it (what the displays showed).
    bool excludeMissed = true;
};

// How many samples the filters kept; each dropped sample is charged to the first condition it
// failed, in this order.
struct Counts {
    int rows = 0; // samples in the log
    int kept = 0;
    int outsideTime = 0;
    int missed = 0;
    int coldWater = 0;
    int lowRpm = 0;
    int throttleChange = 0;
};

struct Point {
    int samples = 0;
    double seconds = 0;
    int lambdaSamples = 0; // fuel maps: samples with a lambda value
    double lambdaSum = 0;  // volts
    int rich = 0;          // of those, above the target
    double meanLambda() const { return lambdaSamples ? lambdaSum / lambdaSamples : qQNaN(); }
    double richShare() const { return lambdaSamples ? double(rich) / lambdaSamples : qQNaN(); }
};

struct Hits {
    std::array<std::vector<Point>, MapCount> points; // by int(MapId), point p at [p - 1]
    Counts counts;
    const Point &at(MapId map, int p) const { return points[int(map)][p - 1]; }
    int pointCount(MapId map) const { return int(points[int(map)].size()); }
};

// The maps that record lambda: the fuel vacuum map, the three fuel RPM maps, the corrections.
bool isFuelMap(MapId map);
// Empty tables for the maps of a tune's axes (the timing map has N points).
Hits emptyHits(const MapAxes &axes);
// The operating region of a sample: Live::region, or the previous region when the vacuum is
// exactly at a threshold (or unknown).
FuelRegion regionOf(double vacuum, FuelRegion previous, const Context &ctx);
// The point of the map a sample belongs to, 0 when none (no value, or another region's map).
int pointOf(MapId map, const Sample &s, FuelRegion region, const Context &ctx);
// Adds one sample of this duration to every map.
void add(Hits &hits, const Sample &s, FuelRegion region, double seconds, const Context &ctx);
// The hit tables of a whole log.
// The columns of a log that the maps and the filters read, found once; -1 for a column the log
// lacks.
struct Columns {
    explicit Columns(const LogRecord &log);
    const LogRecord &log;
    int rpm, vacuum, lambda, battery, water, throttle, air, injector;
    // NaN for a column the log lacks and at a gap.
    double get(int column, int row) const;
    Sample sample(int row) const;
};

Hits compute(const LogRecord &log, const Context &ctx, const Filter &filter = Filter());
// The rows of a log the filter keeps (the same decision compute makes), as a mask by row.
std::vector<bool> keptRows(const LogRecord &log, const Filter &filter, Counts *counts = nullptr);

} // namespace MapHits
