#pragma once
// The nine map tables: point counts, positions, ranges, biases and places in the image stream,
// and the in-memory values (whole numbers held as doubles, indexed by point from 1).
#include "model/EmuImage.h"

#include <QtGlobal>
#include <array>
#include <vector>

enum class MapId {
    Timing,       // "Timing Map", 100 slots, points 1..N
    VacuumTiming, // "Vacuum Map" (timing tab), 32
    FuelVacuum,   // "Vacuum Map" (fuel tab), 64
    FuelCruise,   // fuel RPM "Cruise", 32
    WaterTemp,    // "Water Temp Correction", 24
    AirTemp,      // "Air Temp Correction", 24
    Voltage,      // "Voltage Correction", 16
    FuelLow,      // fuel RPM "Low", 32
    FuelHigh,     // fuel RPM "High", 32
};
constexpr int MapCount = 9;

struct MapInfo {
    MapId id;
    const char *key;   // stable key: "timing", "vacuumTiming", "fuelVacuum", "fuelRpmCruise",
                       // "waterTempCorrection", "airTempCorrection", "voltageCorrection",
                       // "fuelRpmLow", "fuelRpmHigh"
    const char *title; // as shown to the tuner
    int points;        // 100 for timing (slots), else the point count
    int streamOffset;  // first stream position of point 1 (image stream layout)
    quint8 section;    // point-write section byte
    int sectionOffset; // point-write offset of point 1
    int bias;          // 0, 10 or 100
    int lo, hi;        // value range of mouse editing
    int capability;    // 0 timing, 1 vacuum, 2 fuel
};

// Axes derived at Connect: R in RPM, N timing points, S map sensor range in kPa x 10.
struct MapAxes {
    double rpmRange = 7000;
    int timingPoints = 70;
    int mapSensorRange = 10;
};

namespace emu::model {
const MapInfo &mapInfo(MapId id);
const std::array<MapId, MapCount> &allMaps(); // in stream order
bool hasCapability(const Capabilities &caps, MapId id);
// N from R: Round(R / 100), bounded to 1..100.
int timingPointsFor(double rpmRange);
// R, N and S from the setup block: an unset byte keeps the previous value, R 0 reads as 7000.
MapAxes axesFromSetup(const EmuImage &image, const MapAxes &previous = MapAxes());

// The vacuum axis of the vacuum timing map (32 points) and the fuel vacuum map (64 points).
// Full scale in bar: S / 10.
double vacuumFullScale(const MapAxes &axes);
// Point p of a vacuum map at p / n x S / 10 bar: where decoding puts it.
double vacuumPosition(MapId id, int p, const MapAxes &axes);
// The same rounded to 0.01 bar, halves to even, from the exact value (p x S x 10 / n hundredths):
// where a drag puts the point it sets.
double vacuumPositionRounded(MapId id, int p, const MapAxes &axes);
// The distance between two points, S / 10 / n bar: the keyboard's Left / Right step.
double vacuumSpacing(MapId id, const MapAxes &axes);

// A map value in the image stream (and so in a setup file's table line): value + bias + 1, the
// low byte of its rounding; and the value a stored byte holds, byte - 1 - bias.
quint8 tableByte(MapId id, double value);
int tableValue(MapId id, quint8 stored);
} // namespace emu::model

class EmuMaps {
public:
    EmuMaps();

    // Number of points in use: N (bounded to 1..100) for the timing map, the point count
    // otherwise. value() and setValue() ignore points outside the map's slots.
    int pointCount(MapId id, const MapAxes &axes) const;
    double value(MapId id, int p) const;
    void setValue(MapId id, int p, double v);
    // Stored point positions of the two vacuum maps (bar); other maps compute theirs.
    double storedPosition(MapId id, int p) const;
    void setStoredPosition(MapId id, int p, double x);
    // Position of point p on the chart's horizontal axis (the stored one for the vacuum maps).
    double position(MapId id, int p, const MapAxes &axes) const;
    // Nearest point to x; may be 0 or beyond the last point (callers check 1..n). A map sensor
    // range of 0 gives 0 for the vacuum maps (no point) instead of dividing by zero.
    int nearest(MapId id, double x, const MapAxes &axes) const;
    // Round(value + bias), low byte.
    quint8 encode(MapId id, int p) const;
    static quint8 encodeValue(MapId id, double v);
    // Section byte and offset of point p.
    quint8 section(MapId id) const;
    quint8 pointOffset(MapId id, int p) const;

    // Decode every map the capabilities allow from the file table area of the image
    // (value = stored byte - 1 - bias), setting the vacuum maps' positions. All 100 timing slots
    // are decoded whatever N is, so a Read followed by a Write sends back what the EMU held.
    void decode(const EmuImage &image, const Capabilities &caps, const MapAxes &axes);
    void decodeMap(MapId id, const EmuImage &image, const MapAxes &axes);

    // Jets live in the setup block (offsets 3 and 2); these are convenience views.
    std::vector<double> &values(MapId id) { return m_values[int(id)]; }
    const std::vector<double> &values(MapId id) const { return m_values[int(id)]; }

private:
    std::array<std::vector<double>, MapCount> m_values;    // index 0 unused
    std::array<std::vector<double>, MapCount> m_positions; // only the vacuum maps use theirs
};
