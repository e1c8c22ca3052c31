#pragma once
// A scripted drive for the virtual engine: what a tuner does on a dyno or a quiet road to cover
// the fuel maps. It holds the engine at idle, in steady steps across engine speed and manifold
// pressure in each of the three fuel regions, gives tip-ins, lets it coast on the overrun and
// makes full-throttle pulls. Each step is one segment: the throttle, the engine speed and the
// manifold pressure the engine is brought to (the engine follows with its own lags).
#include <QString>
#include <vector>

struct DriveSegment {
    enum Kind { Idle, Steady, TipIn, Overrun, Pull };
    Kind kind = Steady;
    double seconds = 5;
    double tps = 0;      // throttle, percent (the target at the end of a tip-in's snap)
    double rpmFrom = 0;  // engine speed at the start of the segment
    double rpmTo = 0;    // and at its end (equal for a steady step)
    double pressure = 0; // manifold pressure reading, bar
};

// What the drive asks of the engine at one moment.
struct DriveTarget {
    double tps = 0;
    double rpm = 900;
    double pressure = 0.3;
    bool overrun = false;
    DriveSegment::Kind kind = DriveSegment::Idle;
};

class ScriptedDrive {
public:
    ScriptedDrive() = default;
    explicit ScriptedDrive(std::vector<DriveSegment> segments);

    // The standard drive for an RPM range (RPM), the low and high throttle vacuum thresholds
    // (bar) and the map sensor's full scale (bar): steady steps at the fuel RPM map's points,
    // in every region, and the transients around them. `warmUp` seconds of idle come first.
    static ScriptedDrive standard(double rpmRange, double lowVacuum, double highVacuum,
                                  double fullScale, double warmUp = 0);

    // The target at time t (seconds from the start); the drive repeats.
    DriveTarget at(double t) const;
    double duration() const { return m_duration; }
    const std::vector<DriveSegment> &segments() const { return m_segments; }
    bool empty() const { return m_segments.empty(); }

private:
    std::vector<DriveSegment> m_segments;
    std::vector<double> m_starts;
    double m_duration = 0;
};
