#include "sim/EngineFuel.h"

#include "model/FuelEquation.h"
#include "sim/VirtualEmu.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr double SensorWarmFrom = 20; // s: the sensor reads nothing useful before
constexpr double SensorWarmAt = 30;   // s: and is warm from here on
constexpr double ClosedLoopWater = 60;

int clampPoint(double x, int n) {
    if (!std::isfinite(x)) return 1;
    return int(std::clamp(std::nearbyint(x), 1.0, double(n)));
}

// Setup offsets the fuel model reads (the EMU's own copy of the layout).
enum : int {
    IdleJet = 2,
    MainJet = 3,
    LambdaSensor = 8,
    LambdaTarget = 10,
    ControlPercent = 11,
    ControlDelay = 12,
    ControlVariable = 13,
    FuelCutRpm = 15,
    FuelCutVacuum = 16,
    FuelCutTps = 17,
    TpsPumpSensitivity = 26,
    TpsPumpEnrichment = 27,
    TpsPumpMaxRpm = 28,
    IdleRpm = 35,
    AccelPumpMode = 37,
    LowThrottleVacuum = 40,
    HighThrottleVacuum = 41,
};

// The points of every fuel map at one operating point.
struct Points {
    int region = 2; // 1 Low, 2 Cruise, 3 High
    int rpm = 1, vacuum = 1, water = 1, air = 1, voltage = 1;
    bool idle = false; // the idle jet meters
};

MapId rpmMapOf(int region) {
    return region == 1 ? MapId::FuelLow : region == 3 ? MapId::FuelHigh : MapId::FuelCruise;
}

// A value of a setup byte in an image stream, or `unset` for 255 (or a missing byte).
int valueIn(const QByteArray &image, int offset, int unset) {
    if (offset >= image.size()) return unset;
    const int b = quint8(image.at(offset));
    return b == 255 ? unset : b - 1;
}

int mapIn(const QByteArray &image, MapId id, int p) {
    const int pos = VirtualEmu::streamOffset(id) + p - 1;
    if (pos >= image.size()) return 0;
    return quint8(image.at(pos)) - 1 - VirtualEmu::bias(id);
}

Points pointsAt(const QByteArray &image, double rpmRange, double fullScale, const EngineState &s) {
    Points p;
    const int lowRaw = valueIn(image, LowThrottleVacuum, 0);
    const int highRaw = valueIn(image, HighThrottleVacuum, 0);
    const double lo = lowRaw == 0 ? 0.1 : lowRaw / 100.0;
    const double hi = highRaw == 0 ? 0.9 : highRaw / 100.0;
    p.region = s.vacuum < lo ? 1 : s.vacuum > hi ? 3 : 2;
    p.rpm = clampPoint(s.rpm / (rpmRange / 32), 32);
    p.vacuum = clampPoint(s.vacuum * 64 / fullScale, 64);
    p.water = clampPoint(s.waterTemp * 24 / 120, 24);
    p.air = clampPoint((s.airTemp + 20) / (120.0 / 23) + 1, 24);
    p.voltage = clampPoint(s.battery * 15 / 8 - 14, 16);
    p.idle = s.tps < 2 && s.rpm < valueIn(image, IdleRpm, 9) * 100 + 400;
    return p;
}

// The fuel a tune gives at the points, on the base of the middle jets.
double fuelOf(const QByteArray &image, const Points &p, double extraPercent) {
    emu::model::FuelTerms t;
    t.vacuumMap = mapIn(image, MapId::FuelVacuum, p.vacuum);
    t.rpmMap = mapIn(image, rpmMapOf(p.region), p.rpm) + extraPercent;
    t.water = mapIn(image, MapId::WaterTemp, p.water);
    t.air = mapIn(image, MapId::AirTemp, p.air);
    t.battery = mapIn(image, MapId::Voltage, p.voltage);
    const double jet = p.idle ? emu::model::idleJetFactor(valueIn(image, IdleJet, 100))
                              : emu::model::mainJetFactor(valueIn(image, MainJet, 128));
    return jet * emu::model::fuelFactor(t);
}

} // namespace

namespace EngineFuelText {
bool parse(const QString &text, FuelError *out, QString *error) {
    QString t = text.trimmed().toLower();
    FuelError e;
    auto bad = [&](const QString &why) {
        if (error) *error = QStringLiteral("'%1' is not a fuel error (%2)").arg(text, why);
        return false;
    };
    const int colon = t.indexOf(QLatin1Char(':'));
    if (colon >= 0) {
        const QString r = t.mid(colon + 1).trimmed();
        if (r == QLatin1String("low"))
            e.region = 1;
        else if (r == QLatin1String("cruise"))
            e.region = 2;
        else if (r == QLatin1String("high"))
            e.region = 3;
        else if (r != QLatin1String("all"))
            return bad(QStringLiteral("the region is low, cruise, high or all"));
        t = t.left(colon);
    }
    const int at = t.indexOf(QLatin1Char('@'));
    if (at >= 0) {
        const QStringList range = t.mid(at + 1).trimmed().split(QLatin1Char('-'));
        bool ok1 = false, ok2 = false;
        if (range.size() == 2) {
            e.rpmFrom = range[0].trimmed().toDouble(&ok1);
            e.rpmTo = range[1].trimmed().toDouble(&ok2);
        }
        if (!ok1 || !ok2 || e.rpmFrom < 0 || e.rpmTo < e.rpmFrom)
            return bad(QStringLiteral("the RPM range is FROM-TO"));
        t = t.left(at);
    }
    t = t.trimmed();
    if (t.endsWith(QLatin1Char('%'))) t.chop(1);
    bool ok = false;
    e.percent = t.toDouble(&ok);
    if (!ok || !std::isfinite(e.percent) || std::fabs(e.percent) > 50)
        return bad(QStringLiteral("the percentage lies within -50 to +50"));
    *out = e;
    return true;
}
} // namespace EngineFuelText

EngineFuel::EngineFuel() = default;

double EngineFuel::transportDelay(double rpm) {
    return 0.1 + 0.2 * std::clamp((6000 - rpm) / 5000, 0.0, 1.0);
}

double EngineFuel::errorAt(double rpm, int region) const {
    double sum = 0;
    for (const FuelError &e : m_errors)
        if ((e.region == 0 || e.region == region) && rpm >= e.rpmFrom && rpm <= e.rpmTo)
            sum += e.percent;
    return sum;
}

double EngineFuel::trueRpmMapValue(const VirtualEmu &emu, int region, int p) const {
    const QByteArray &ref = m_reference.isEmpty() ? emu.imageStream() : m_reference;
    return mapIn(ref, rpmMapOf(region), p) + errorAt(p * emu.rpmRange() / 32, region);
}

void EngineFuel::step(const VirtualEmu &emu, double t, double dt, EngineState &s, bool overrun,
                      double tpsRate) {
    Q_UNUSED(overrun);
    const QByteArray tune = emu.imageStream();
    const QByteArray &ref = m_reference.isEmpty() ? tune : m_reference;
    const double fs = std::max(emu.mapSensorRange() / 10.0, 0.1);
    const Points at = pointsAt(tune, emu.rpmRange(), fs, s);

    // The EMU's fuel cut.
    const int cutRpm = valueIn(tune, FuelCutRpm, 0) * 100;
    const bool cut = (s.tps < valueIn(tune, FuelCutTps, 0) &&
                      s.vacuum < valueIn(tune, FuelCutVacuum, 0) / 100.0) ||
                     (cutRpm > 0 && s.rpm > cutRpm);

    // The accelerator pump fires when the throttle opens faster than its sensitivity allows.
    m_pump *= std::exp(-dt / 0.25);
    const int mode = valueIn(tune, AccelPumpMode, 0);
    const int sensitivity = std::max(1, valueIn(tune, TpsPumpSensitivity, 5));
    if (mode != 0 && tpsRate > 200.0 / sensitivity &&
        s.rpm < valueIn(tune, TpsPumpMaxRpm, 35) * 100)
        m_pump = std::max(m_pump, valueIn(tune, TpsPumpEnrichment, 0) * 10.0);

    const double given = cut ? 0.0 : fuelOf(tune, at, 0) * (1 + m_trim / 100) * (1 + m_pump / 100);
    const double needed = fuelOf(ref, at, errorAt(s.rpm, at.region));
    // Box-Muller: one normal number per step for the mixture, one for the sensor.
    auto normal = [this] {
        const double u1 = std::max(1e-12, m_rng.generateDouble());
        const double u2 = m_rng.generateDouble();
        return std::sqrt(-2 * std::log(u1)) * std::cos(2 * Pi * u2);
    };
    double mixture = needed > 0 ? given / needed : 0;
    mixture *= 1 + m_spread * normal();
    if (cut) mixture = 0.5; // air alone

    // Exhaust on its way to the sensor.
    m_exhaust.push_back({t, mixture});
    const double seen = t - transportDelay(s.rpm);
    while (m_exhaust.size() > 1 && m_exhaust[1].t <= seen)
        m_exhaust.pop_front();
    if (m_exhaust.front().t <= seen) m_sensed = m_exhaust.front().mixture;

    const double warm =
        std::clamp((t - SensorWarmFrom) / (SensorWarmAt - SensorWarmFrom), 0.0, 1.0);
    const double curve = 0.1 + 0.75 / (1 + std::exp(-(m_sensed - 1) / 0.003));
    s.lambda = std::clamp(warm * curve + (1 - warm) * 0.05 + 0.015 * normal(), 0.0, 1.1);

    // The EMU's closed loop.
    const int percent = valueIn(tune, ControlPercent, 0);
    const bool closed = valueIn(tune, LambdaSensor, 1) == 2 && percent > 0 &&
                        s.waterTemp > ClosedLoopWater && warm >= 1 && !cut && at.region != 3;
    if (closed) {
        m_trimClock += dt;
        const double every = std::max(1, valueIn(tune, ControlDelay, 10)) * 0.01;
        const double stepPct = std::max(1, valueIn(tune, ControlVariable, 10)) / 10.0;
        const double target = valueIn(tune, LambdaTarget, 45) / 100.0;
        while (m_trimClock >= every) {
            m_trimClock -= every;
            m_trim += s.lambda < target ? stepPct : -stepPct;
        }
        m_trim = std::clamp(m_trim, -double(percent), double(percent));
    } else {
        m_trim = 0;
        m_trimClock = 0;
    }

    const double load = s.vacuum / fs;
    s.injectorMs =
        cut ? 0.0
            : (0.8 + 9.0 * load) * fuelOf(tune, at, 0) * (1 + m_trim / 100) * (1 + m_pump / 100);
}
