#pragma once
// Fuel suggestions from a narrowband lambda sensor. A narrowband sensor says only which side of
// its target the mixture is on, so the evidence at a map point is how many of its samples read
// richer than the target. With a mixture that varies from cycle to cycle by a normal spread s,
// a point whose fuel is off by e reads rich with the probability Phi(e / s); the share of rich
// samples therefore sizes the error, and the number of samples says how far to trust it.
//
// From a log (or a live record of the same columns):
//   - samples are left out while the water is cold, in transients (throttle or vacuum changing
//     faster than a rate, and a window after a tip-in, where the accelerator pump adds fuel), on
//     the overrun (injector time 0, or the throttle closed with the engine speed falling), in and
//     across gaps of the log, far from any map point (a tolerance around each point), and all of
//     them when the setup has the lambda sensor off;
//   - a lambda reading is matched to the operating point one transport delay earlier (from the
//     engine speed by default, or a fixed delay), since the exhaust takes that long to reach it;
//   - each sample counts on the point of the map being corrected that MapHits gives it (the RPM
//     map of its region by default, the fuel vacuum map on request);
//   - per point: samples kept and the share richer than the target; the step is the error that
//     share implies, shrunk while the share is not clearly one-sided, smoothed with the
//     neighbours' steps (weighted by their samples), bounded to a few percent per round and
//     rounded to whole percent. Points with fewer samples than the minimum are left alone.
#include "live/MapHits.h"
#include "model/Maps.h"

#include <QString>
#include <vector>

struct LogRecord;
class EmuImage;

namespace FuelSuggest {

struct Options {
    double minWater = 70;         // °C: colder samples are left out
    double maxThrottleRate = 40;  // %/s: faster changes of the throttle are transients
    double maxVacuumRate = 0.5;   // bar/s: and of the vacuum
    double tipInWindow = 1.5;     // s after the throttle opened faster than maxThrottleRate
    double closedThrottle = 2;    // %: at or below, the throttle counts as closed
    double overrunRpmRate = -300; // RPM/s: closed throttle with the speed falling faster
    double maxGap = 0.5;          // s: a longer step between rows is a gap
    double tolerance = 0.35;      // share of the point spacing a sample may lie from its point
    double delayMs = -1;          // fixed transport delay; below 0: from the engine speed
    int minSamples = 50;          // fewer: the point is left alone
    double maxStep = 3;           // percent per round, at most
    double spread = 2;            // percent: the mixture's assumed cycle-to-cycle spread
    // Weight of each neighbour's step against the point's own (per sample): small enough that
    // two neighbours at the full step do not move a point that reads right by a whole percent.
    double neighbourWeight = 0.1;
    bool vacuumMap = false; // correct the fuel vacuum map instead of the RPM maps
    int onlyMap = -1;       // int(MapId) of the one RPM map to correct; -1: all three
};

// Why samples were left out; each one is charged to the first reason that applies, in order.
struct Counts {
    int rows = 0;
    int kept = 0;
    int gap = 0;       // missed sample, no lambda, or no whole record back to its operating point
    int cold = 0;      // water below the threshold
    int overrun = 0;   // injector 0, or closed throttle with falling speed
    int transient = 0; // throttle or vacuum moving fast, or just after a tip-in
    int noPoint = 0;   // no region (vacuum at a threshold before any other) or no point
    int far = 0;       // farther from its point than the tolerance
    // "N of M samples kept (left out: ...)", for the window and emutool alike.
    QString describe() const;
};

struct PointResult {
    MapId map = MapId::FuelCruise;
    int point = 0;         // from 1
    double axis = 0;       // the point's position: RPM, or bar on the vacuum map
    int samples = 0;       // kept
    double richShare = 0;  // of the kept samples; NaN without samples
    double confidence = 0; // 0..1: how clearly one-sided the share is, for the samples it has
    double current = 0;    // the tune's value
    double change = 0;     // whole percent; 0 for a point left alone
    double suggested() const { return current + change; }
};

struct Result {
    std::vector<MapId> maps;         // the maps corrected, in stream order
    std::vector<PointResult> points; // every point of those maps, map by map, in point order
    Counts counts;
    bool lambdaSensorOff = false; // the setup has no lambda sensor: nothing is suggested
    int controlPercent = 0;       // the EMU's own lambda trim limit while the log ran
    int changed() const;
    // Points of a map first..last (0, 0: all) whose suggestion differs from the tune, in point
    // order, with their suggested values.
    std::vector<std::pair<int, double>> changes(MapId map, int first = 0, int last = 0) const;
    const PointResult *at(MapId map, int p) const;
};

// The tune the log was driven with.
struct Tune {
    const EmuImage *image = nullptr; // setup block: thresholds, lambda target and sensor
    const EmuMaps *maps = nullptr;
    MapAxes axes;
};

// Transport delay the analysis assumes by default, seconds: 300 ms at 1000 RPM and below,
// falling linearly to 100 ms at 6000 RPM and above.
double defaultDelay(double rpm);

// The suggestion from a log. *error (and false) when the log lacks a column it needs (rpm,
// vacuum_bar, lambda_v, water_c) or the tune is unusable.
bool analyse(const LogRecord &log, const Tune &tune, const Options &options, Result *out,
             QString *error);

// "fuelRpmCruise" etc. (the map's key) from a name as the command line takes it: the key, or
// "cruise", "low", "high", "vacuum". false when no fuel map has that name.
bool mapFromName(const QString &name, MapId *out);

} // namespace FuelSuggest
