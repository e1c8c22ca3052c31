#include "sim/ScriptedDrive.h"

#include <algorithm>
#include <cmath>

namespace {

// Throttle that holds a manifold pressure (bar, on a 1 bar scale) at part load: the inverse of
// the engine's pressure rise with throttle.
double throttleFor(double pressure) {
    const double f = std::clamp((pressure - 0.2) / 0.78, 0.0, 1.0);
    return std::clamp(100 * std::pow(f, 1 / 0.6), 3.0, 100.0);
}

// The position of the nearest point of a map with `points` points over 0..full.
double snap(double x, int points, double full) {
    const double step = full / points;
    return std::clamp(std::round(x / step), 1.0, double(points)) * step;
}

} // namespace

ScriptedDrive::ScriptedDrive(std::vector<DriveSegment> segments) : m_segments(std::move(segments)) {
    double t = 0;
    for (const DriveSegment &s : m_segments) {
        m_starts.push_back(t);
        t += std::max(0.05, s.seconds);
    }
    m_duration = t;
}

ScriptedDrive ScriptedDrive::standard(double rpmRange, double lowVacuum, double highVacuum,
                                      double fullScale, double warmUp) {
    const double r = rpmRange > 0 ? rpmRange : 7000;
    const double fs = fullScale > 0 ? fullScale : 1.0;
    const double spacing = r / 32; // fuel RPM map
    const double idlePressure = snap(0.3 * fs, 64, fs);
    std::vector<DriveSegment> d;
    auto steady = [&](double rpm, double pressure, double seconds, double tps) {
        d.push_back({DriveSegment::Steady, seconds, tps, rpm, rpm, pressure});
    };
    if (warmUp > 0) d.push_back({DriveSegment::Idle, warmUp, 0, 900, 900, idlePressure});
    d.push_back({DriveSegment::Idle, 10, 0, 900, 900, idlePressure});

    // Steady steps at the RPM map's points, at manifold pressures on the vacuum map's points.
    auto points = [&](double lo, double hi) {
        std::vector<double> rpm;
        for (int p = 1; p <= 32; ++p)
            if (p * spacing >= lo && p * spacing <= hi) rpm.push_back(p * spacing);
        return rpm;
    };
    const double span = highVacuum - lowVacuum;
    const double cruise[] = {snap(lowVacuum + 0.2 * span, 64, fs),
                             snap(lowVacuum + 0.5 * span, 64, fs),
                             snap(lowVacuum + 0.8 * span, 64, fs)};
    for (double rpm : points(1000, 0.86 * r))
        for (double p : cruise)
            steady(rpm, p, 4, throttleFor(p / fs));
    const double low = snap(0.75 * lowVacuum, 64, fs);
    for (double rpm : points(1200, 0.6 * r))
        steady(rpm, low, 8, 10);
    const double high = snap(highVacuum + 0.5 * (fs - highVacuum), 64, fs);
    for (double rpm : points(1500, 0.86 * r))
        steady(rpm, high, 8, throttleFor(high / fs));

    // Tip-ins from a light cruise, each followed by a settled cruise again.
    for (int i = 0; i < 4; ++i) {
        steady(2500, cruise[0], 3, throttleFor(cruise[0] / fs));
        d.push_back({DriveSegment::TipIn, 2, 60, 2500, 3300, high});
    }
    // Overrun: throttle shut from high speed, the engine coasts down with its fuel cut.
    for (int i = 0; i < 2; ++i) {
        steady(0.7 * r, cruise[1], 2, throttleFor(cruise[1] / fs));
        d.push_back({DriveSegment::Overrun, 6, 0, 0.7 * r, 1500, snap(0.7 * lowVacuum, 64, fs)});
    }
    // Full-throttle pulls.
    for (int i = 0; i < 3; ++i) {
        d.push_back({DriveSegment::Pull, 8, 100, 2000, 0.9 * r, std::min(0.97, 0.97 * fs)});
        d.push_back({DriveSegment::Overrun, 4, 0, 0.9 * r, 2000, snap(0.7 * lowVacuum, 64, fs)});
    }
    d.push_back({DriveSegment::Idle, 10, 0, 900, 900, idlePressure});
    return ScriptedDrive(std::move(d));
}

DriveTarget ScriptedDrive::at(double t) const {
    DriveTarget out;
    if (m_segments.empty()) return out;
    const double c = std::fmod(std::max(t, 0.0), m_duration);
    const auto it = std::upper_bound(m_starts.begin(), m_starts.end(), c);
    const size_t i = size_t(std::max<std::ptrdiff_t>(0, (it - m_starts.begin()) - 1));
    const DriveSegment &s = m_segments[i];
    const double f = std::clamp((c - m_starts[i]) / std::max(0.05, s.seconds), 0.0, 1.0);
    out.kind = s.kind;
    out.tps = s.tps;
    out.rpm = s.rpmFrom + (s.rpmTo - s.rpmFrom) * f;
    out.pressure = s.pressure;
    out.overrun = s.kind == DriveSegment::Overrun;
    return out;
}
