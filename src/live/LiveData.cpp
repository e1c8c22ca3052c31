#include "live/LiveData.h"

#include "model/Maps.h"
#include "model/Numbers.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr int FrameLength = 10; // characters the reply buffer takes
constexpr int VacuumTimingPoints = 32;

int clampIndex(int index, int last) {
    return std::clamp(index, 1, std::max(1, last));
}
} // namespace

int LiveFrameBuffer::take(const QByteArray &reply) {
    // Copied like a zero-terminated string: up to the first NUL or ten characters, then the NUL.
    // Positions after that NUL keep what an earlier reply left there.
    int n = 0;
    while (n < FrameLength && n < reply.size() && reply.at(n) != '\0') {
        m_bytes[n] = static_cast<quint8>(reply.at(n));
        ++n;
    }
    m_bytes[n] = 0;
    return n;
}

namespace Live {

void decode(const LiveFrameBuffer &frame, const LiveContext &ctx, LiveValues &v) {
    // Every value arrives as value + 1 (the air temperature with a further offset of 20); the
    // subtraction is done on the whole byte before any scaling.
    const auto b = [&frame](int i) { return int(frame.byte(i)); };
    const double s = ctx.mapSensorRange;
    v.rpm = b(0) - 1;
    v.vacuum = emu::num::roundTo(double(b(1) - 1) / 255.0 * (s / 10.0), 2);
    v.tps = b(2) - 1;
    v.lambda = b(3) - 1;
    v.waterTemp = b(4) - 1;
    v.airTemp = b(5) - 21;
    v.pot = emu::num::roundTo(double(b(6) - 1) / 255.0 * 100.0, 2);
    v.battery = b(7) - 1;
    v.injectorTime = b(8) - 1;
    ++v.frames;
}

void decodeTps(const LiveFrameBuffer &frame, LiveValues &v) {
    v.tps = int(frame.byte(2)) - 1;
}

int rpmIndex(double rpm, const LiveContext &ctx) {
    // Round(RPM x N / (R / 100)): the RPM in hundreds, rounded, on a map of N points. An engine
    // speed below half a step (or the -1 of an empty reply) reads point 1, one above the RPM
    // range reads point N, so the lookup never leaves the map.
    const int n = std::clamp(ctx.timingPoints, 1, 100);
    const double steps = ctx.rpmRange / 100.0;
    const double raw = steps > 0 ? rpm * n / steps : rpm;
    if (std::isnan(raw)) return 1;
    return clampIndex(emu::num::roundInt(std::clamp(raw, -1e6, 1e6)), n);
}

int vacuumIndex(double vacuum, const LiveContext &ctx) {
    // Round(v x 32 / (S / 10)). A vacuum below half a step reads point 1; a map sensor range of
    // 0 (which also makes every vacuum 0) reads point 1 instead of dividing 0 by 0.
    if (ctx.mapSensorRange <= 0) return 1;
    const double raw = vacuum * VacuumTimingPoints / (ctx.mapSensorRange / 10.0);
    if (std::isnan(raw)) return 1;
    return clampIndex(emu::num::roundInt(std::clamp(raw, -1e6, 1e6)), VacuumTimingPoints);
}

void derive(const EmuMaps &maps, const LiveContext &ctx, LiveValues &v) {
    v.totalTiming = maps.value(MapId::Timing, rpmIndex(v.rpm, ctx)) +
                    maps.value(MapId::VacuumTiming, vacuumIndex(v.vacuum, ctx));

    // Half the injector time in seconds over the time of one crank revolution, in percent,
    // rounded, then times the stroke factor. Without engine speed (0, or the -1 an empty reply
    // decodes to) there is no revolution to compare with: the duty keeps its last value.
    if (v.rpm > 0) {
        const double seconds = v.injectorTime / 100.0 / 100.0 / 2.0;
        const double revolution = 60.0 / (v.rpm * 100.0);
        v.injectorDuty = emu::num::roundInt(seconds / revolution * 100.0) * ctx.strokeFactor;
    }
}

FuelRegion region(double vacuum, const LiveContext &ctx) {
    const double lo = ctx.lowThrottleVacuum;
    const double hi = ctx.highThrottleVacuum;
    FuelRegion r = FuelRegion::None;
    if (vacuum < lo) r = FuelRegion::Low;
    if (vacuum > hi) r = FuelRegion::High;
    if (lo < vacuum && vacuum < hi) r = FuelRegion::Cruise;
    return r;
}

} // namespace Live
