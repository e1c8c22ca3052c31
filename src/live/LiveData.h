#pragma once
// The live data frame (reply to 0xFC) and its decoding into the live values.
#include <QByteArray>
#include <QtGlobal>
#include <array>

struct LiveValues {
    double rpm = 0;          // hundreds of RPM
    double vacuum = 0;       // bar
    double tps = 0;          // percent
    double lambda = 0;       // hundredths of a volt
    double waterTemp = 0;    // °C
    double airTemp = 0;      // °C
    double pot = 0;          // percent
    double battery = 0;      // tenths of a volt
    double injectorTime = 0; // tenths of a millisecond
    double totalTiming = 0;  // degrees
    qint32 injectorDuty = 0; // percent
    quint64 frames = 0;      // polls decoded so far
    // The last reply held a whole frame (bytes 0..8). A short or empty reply still decodes as
    // always, but it is no sample of the engine: the logger leaves it out.
    bool complete = true;
    // When the request of this reply went out (the link's monotonic clock, ms); -1 for values
    // that came from no request.
    qint64 sentMs = -1;
};

// What the poll reads from the setup and the maps.
struct LiveContext {
    int mapSensorRange = 10;         // S, kPa x 10
    double rpmRange = 7000;          // R, RPM
    int timingPoints = 70;           // N
    double lowThrottleVacuum = 0.1;  // L, bar
    double highThrottleVacuum = 0.9; // H, bar
    int strokeFactor = 1;            // 2 for a two-stroke
};

class EmuMaps;

// The reply buffer of the poll: ten characters plus a terminating NUL; positions beyond a short
// reply keep what an earlier poll left.
class LiveFrameBuffer {
public:
    LiveFrameBuffer() { m_bytes.fill(0); }
    // Returns the number of reply bytes copied (0..10).
    int take(const QByteArray &reply);
    quint8 byte(int i) const { return m_bytes[i]; }
    const std::array<quint8, 11> &bytes() const { return m_bytes; }

private:
    std::array<quint8, 11> m_bytes;
};

enum class FuelRegion { None, Low, Cruise, High };

namespace Live {
// Bytes of a whole live data frame.
constexpr int FrameBytes = 9;
// Decode bytes 0..8 into v (table order).
void decode(const LiveFrameBuffer &frame, const LiveContext &ctx, LiveValues &v);
// The calibration poll's decoding: byte 2 only, into TPS.
void decodeTps(const LiveFrameBuffer &frame, LiveValues &v);
// Total timing (timing map at the RPM index plus vacuum timing map at the vacuum index) and the
// injector duty, which is recomputed only while the RPM is above 0 and otherwise keeps its value.
void derive(const EmuMaps &maps, const LiveContext &ctx, LiveValues &v);
// Map indices, kept inside the maps: anything below point 1 (a low engine speed or vacuum, the
// RPM of -1 after an empty reply) reads point 1, anything beyond the last point reads the last.
int rpmIndex(double rpm, const LiveContext &ctx);       // 1..N
int vacuumIndex(double vacuum, const LiveContext &ctx); // 1..32; 1 when S is 0
// The operating-region tests in order; the last one that matches wins, None when none does.
FuelRegion region(double vacuum, const LiveContext &ctx);
} // namespace Live
