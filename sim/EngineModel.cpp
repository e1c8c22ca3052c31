#include "sim/EngineModel.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double Pi = 3.14159265358979323846;
constexpr double StepS = 0.05;

double lerp(double a, double b, double f) {
    return a + (b - a) * f;
}

// One byte of the frame: the value clamped to 0..254, then + 1 so no byte is 0.
char liveByte(double v) {
    const long r = std::lround(std::clamp(v, 0.0, 254.0));
    return char(r + 1);
}
} // namespace

EngineModel::EngineModel(double rpmRange, double mapFullScaleBar)
    : m_rpmRange(rpmRange > 0 ? rpmRange : 7000),
      m_fullScale(mapFullScaleBar > 0 ? mapFullScaleBar : 1.0) {
    advanceTo(0);
}

double EngineModel::throttleDemand(double t) {
    const double c = std::fmod(std::max(t, 0.0), 40.0);
    double tps;
    if (c < 6)
        tps = 0; // idle
    else if (c < 12)
        tps = lerp(0, 60, (c - 6) / 6); // pull away
    else if (c < 18)
        tps = 25; // cruise
    else if (c < 22)
        tps = 95; // full throttle
    else if (c < 26)
        tps = 0; // overrun
    else if (c < 34)
        tps = 30 + 5 * std::sin(2 * Pi * (c - 26) / 8); // cruise
    else
        tps = 0; // idle
    return tps;
}

void EngineModel::advanceTo(double t) {
    if (t < m_t) return;
    // A long jump (hours on a fake clock) only needs the last few minutes simulated to be
    // settled.
    if (t - m_t > 600) m_t = t - 600;
    while (m_t + StepS <= t)
        step(StepS);
    if (t > m_t) step(t - m_t);
    if (m_t == 0 && t == 0) step(0);
}

void EngineModel::setDrive(const ScriptedDrive &drive) {
    if (drive.empty()) {
        m_drive.reset();
        return;
    }
    m_drive = drive;
    m_driveStart = m_t;
}

void EngineModel::step(double dt) {
    m_t += dt;
    const double t = m_t;
    EngineState &s = m_state;
    const double tpsBefore = s.tps;

    // The water warms from 20 to 88 °C over the first minutes; a cold engine idles faster.
    s.waterTemp = 88 - 68 * std::exp(-t / 180);
    const double idle = 900 + 300 * std::clamp((60 - s.waterTemp) / 40, 0.0, 1.0);
    double overrun = 0;

    if (m_drive) {
        // The script sets throttle, speed and pressure; the engine follows within its lags.
        const DriveTarget d = m_drive->at(t - m_driveStart);
        s.tps += (d.tps - s.tps) * std::min(1.0, dt / 0.15);
        const double target = d.kind == DriveSegment::Idle ? idle : d.rpm;
        m_rpm += (target - m_rpm) * std::min(1.0, dt / 0.4);
        s.rpm = m_rpm + 15 * std::sin(2 * Pi * t * 0.7);
        const double fs = std::max(m_fullScale, 0.1);
        m_pressure += (std::min(d.pressure, fs) - m_pressure) * std::min(1.0, dt / 0.1);
        s.vacuum = std::clamp(m_pressure + 0.002 * std::sin(2 * Pi * t * 1.3), 0.02, fs);
        overrun = d.overrun ? 1.0 : 0.0;
    } else {
        // Throttle follows the driver's foot within a fraction of a second.
        const double demand = throttleDemand(t);
        s.tps += (demand - s.tps) * std::min(1.0, dt / 0.15);
        const double top = 0.9 * m_rpmRange;
        const double target = idle + (top - idle) * std::pow(s.tps / 100, 0.8);
        // Speed rises slower than it falls away on the overrun.
        const double tau = target > m_rpm ? 0.9 : 0.6;
        m_rpm += (target - m_rpm) * std::min(1.0, dt / tau);
        s.rpm = m_rpm + 15 * std::sin(2 * Pi * t * 0.7); // a little unevenness

        // Manifold pressure: low at idle and on the overrun, near full scale at full throttle.
        overrun = demand == 0 && m_rpm > idle + 300 ? 1.0 : 0.0;
        double map = 0.32 + 0.66 * std::pow(s.tps / 100, 0.6) - 0.12 * overrun;
        map += 0.01 * std::sin(2 * Pi * t * 1.3);
        s.vacuum = std::clamp(map, 0.05, 1.0) * std::min(1.0, m_fullScale);
    }

    // Lambda switches around 0.45 V in closed loop, rich at full throttle, lean on the overrun
    // (the fuel hook replaces this with what the tune gives).
    if (s.tps > 80)
        s.lambda = 0.85 + 0.02 * std::sin(2 * Pi * t * 3);
    else if (overrun > 0)
        s.lambda = 0.08;
    else
        s.lambda = 0.45 + 0.3 * std::sin(2 * Pi * t * 1.1);

    s.airTemp = 25 + 3 * std::sin(2 * Pi * t / 300);
    s.pot = 50 + 30 * std::sin(2 * Pi * t / 90);
    s.battery = 13.8 + 0.1 * std::sin(2 * Pi * t / 7) - 0.2 * (s.tps > 80 ? 1 : 0);
    const double load = s.vacuum / std::max(m_fullScale, 0.1);
    s.injectorMs = overrun > 0 ? 0.0 : 1.2 + 10.5 * load * load;
    if (s.waterTemp < 50) s.injectorMs *= 1 + (50 - s.waterTemp) / 100; // warm-up enrichment
    if (m_fuelHook) m_fuelHook(t, dt, s, overrun > 0, dt > 0 ? (s.tps - tpsBefore) / dt : 0.0);
}

QByteArray EngineModel::frame(const EngineState &s, double mapFullScaleBar) {
    const double fs = mapFullScaleBar > 0 ? mapFullScaleBar : 1.0;
    QByteArray f;
    f.append(liveByte(s.rpm / 100));
    f.append(liveByte(s.vacuum / fs * 255));
    f.append(liveByte(s.tps));
    f.append(liveByte(s.lambda * 100));
    f.append(liveByte(s.waterTemp));
    f.append(liveByte(s.airTemp + 20)); // the EMU sends °C + 21 (this + 1)
    f.append(liveByte(s.pot / 100 * 255));
    f.append(liveByte(s.battery * 10));
    f.append(liveByte(s.injectorMs * 10));
    return f;
}
