#include "model/Maps.h"

#include "model/Numbers.h"

#include <algorithm>
#include <cmath>

namespace {
const std::array<MapInfo, MapCount> kMaps = {{
    {MapId::Timing, "timing", "Timing Map", 100, 101, 0xE8, 0, 0, 0, 45, 0},
    {MapId::VacuumTiming, "vacuumTiming", "Vacuum Map", 32, 201, 0xE8, 100, 10, -10, 10, 1},
    {MapId::FuelVacuum, "fuelVacuum", "Vacuum Map", 64, 233, 0xDE, 0, 100, -50, 50, 2},
    {MapId::FuelCruise, "fuelRpmCruise", "Cruise", 32, 297, 0xDE, 64, 100, -50, 50, 2},
    {MapId::WaterTemp, "waterTempCorrection", "Water Temp Correction", 24, 329, 0xD4, 0, 100, -60,
     60, 2},
    {MapId::AirTemp, "airTempCorrection", "Air Temp Correction", 24, 353, 0xD4, 24, 100, -50, 50,
     2},
    {MapId::Voltage, "voltageCorrection", "Voltage Correction", 16, 377, 0xD4, 48, 100, -50, 50, 2},
    {MapId::FuelLow, "fuelRpmLow", "Low", 32, 393, 0xCA, 0, 100, -50, 50, 2},
    {MapId::FuelHigh, "fuelRpmHigh", "High", 32, 425, 0xCA, 32, 100, -50, 50, 2},
}};

const std::array<MapId, MapCount> kOrder = {
    MapId::Timing,  MapId::VacuumTiming, MapId::FuelVacuum, MapId::FuelCruise, MapId::WaterTemp,
    MapId::AirTemp, MapId::Voltage,      MapId::FuelLow,    MapId::FuelHigh};

bool isVacuumMap(MapId id) {
    return id == MapId::VacuumTiming || id == MapId::FuelVacuum;
}

// Round(v) as a point number; values far outside any map (or not a number) give 0.
int roundPoint(double v) {
    if (!std::isfinite(v) || std::fabs(v) > 1e6) return 0;
    return emu::num::roundInt(v);
}
} // namespace

namespace emu::model {
const MapInfo &mapInfo(MapId id) {
    return kMaps[std::size_t(id)];
}

const std::array<MapId, MapCount> &allMaps() {
    return kOrder;
}

bool hasCapability(const Capabilities &caps, MapId id) {
    switch (mapInfo(id).capability) {
    case 0:
        return caps.timing;
    case 1:
        return caps.vacuum;
    default:
        return caps.fuel;
    }
}

int timingPointsFor(double rpmRange) {
    // An RPM range above 10000 (setup byte above 101) would ask for more than the 100 slots.
    if (!(rpmRange > 0)) return 1;
    const double n = std::clamp(num::roundHalfEven(rpmRange / 100), 1.0, 100.0);
    return int(n);
}

MapAxes axesFromSetup(const EmuImage &image, const MapAxes &previous) {
    MapAxes axes = previous;
    if (!image.isUnset(OffRpmRange)) axes.rpmRange = image.value(OffRpmRange) * 100.0;
    if (axes.rpmRange == 0) axes.rpmRange = 7000;
    axes.timingPoints = timingPointsFor(axes.rpmRange);
    if (!image.isUnset(OffMapSensorRange)) axes.mapSensorRange = image.value(OffMapSensorRange);
    return axes;
}

double vacuumFullScale(const MapAxes &axes) {
    return axes.mapSensorRange / 10.0;
}

double vacuumPosition(MapId id, int p, const MapAxes &axes) {
    return double(p) / mapInfo(id).points * axes.mapSensorRange / 10.0;
}

double vacuumPositionRounded(MapId id, int p, const MapAxes &axes) {
    // p x S x 10 / n is exact in a double (n is 32 or 64), so a half is seen as a half.
    return num::roundHalfEven(double(p) * axes.mapSensorRange * 10.0 / mapInfo(id).points) / 100;
}

double vacuumSpacing(MapId id, const MapAxes &axes) {
    return vacuumFullScale(axes) / mapInfo(id).points;
}

quint8 tableByte(MapId id, double value) {
    return quint8(EmuMaps::encodeValue(id, value) + 1);
}

int tableValue(MapId id, quint8 stored) {
    return int(stored) - 1 - mapInfo(id).bias;
}
} // namespace emu::model

EmuMaps::EmuMaps() {
    for (MapId id : kOrder) {
        const int n = emu::model::mapInfo(id).points;
        m_values[int(id)].assign(n + 1, 0.0);
        m_positions[int(id)].assign(isVacuumMap(id) ? n + 1 : 0, 0.0);
    }
}

int EmuMaps::pointCount(MapId id, const MapAxes &axes) const {
    if (id == MapId::Timing)
        return std::clamp(axes.timingPoints, 1, emu::model::mapInfo(id).points);
    return emu::model::mapInfo(id).points;
}

double EmuMaps::value(MapId id, int p) const {
    const auto &v = m_values[int(id)];
    return p >= 1 && p < int(v.size()) ? v[p] : 0.0;
}

void EmuMaps::setValue(MapId id, int p, double v) {
    auto &values = m_values[int(id)];
    if (p >= 1 && p < int(values.size())) values[p] = v;
}

double EmuMaps::storedPosition(MapId id, int p) const {
    const auto &x = m_positions[int(id)];
    return p >= 1 && p < int(x.size()) ? x[p] : 0.0;
}

void EmuMaps::setStoredPosition(MapId id, int p, double x) {
    auto &positions = m_positions[int(id)];
    if (p >= 1 && p < int(positions.size())) positions[p] = x;
}

double EmuMaps::position(MapId id, int p, const MapAxes &axes) const {
    const double r = axes.rpmRange / 100;
    switch (id) {
    case MapId::Timing:
        return axes.timingPoints > 0 ? p * r / axes.timingPoints : p;
    case MapId::VacuumTiming:
    case MapId::FuelVacuum:
        return storedPosition(id, p);
    case MapId::FuelCruise:
    case MapId::FuelLow:
    case MapId::FuelHigh:
        return p * r / 32;
    case MapId::WaterTemp:
        return 120.0 * p / 24;
    case MapId::AirTemp:
        return (p - 1) * 120.0 / 23 - 20;
    case MapId::Voltage:
        return (p + 14) / 15.0 * 8;
    }
    return 0;
}

int EmuMaps::nearest(MapId id, double x, const MapAxes &axes) const {
    const double r = axes.rpmRange / 100;
    const double s = emu::model::vacuumFullScale(axes);
    switch (id) {
    case MapId::Timing:
        return r > 0 ? roundPoint(x / r * axes.timingPoints) : 0;
    case MapId::VacuumTiming:
        return s > 0 ? roundPoint(x * 32 / s) : 0; // a sensor range of 0 has no points
    case MapId::FuelVacuum:
        return s > 0 ? roundPoint(x * 64 / s) : 0;
    case MapId::FuelCruise:
    case MapId::FuelLow:
    case MapId::FuelHigh:
        return r > 0 ? roundPoint(x * 32 / r) : 0;
    case MapId::WaterTemp:
        return roundPoint(x * 24 / 120);
    case MapId::AirTemp:
        return roundPoint((x + 20) / (120.0 / 23) + 1);
    case MapId::Voltage:
        return roundPoint(x * 15 / 8 - 14);
    }
    return 0;
}

quint8 EmuMaps::encode(MapId id, int p) const {
    return encodeValue(id, value(id, p));
}

quint8 EmuMaps::encodeValue(MapId id, double v) {
    return emu::num::lowByte(v + emu::model::mapInfo(id).bias);
}

quint8 EmuMaps::section(MapId id) const {
    return emu::model::mapInfo(id).section;
}

quint8 EmuMaps::pointOffset(MapId id, int p) const {
    return quint8((emu::model::mapInfo(id).sectionOffset + p - 1) & 0xFF);
}

void EmuMaps::decode(const EmuImage &image, const Capabilities &caps, const MapAxes &axes) {
    for (MapId id : kOrder)
        if (emu::model::hasCapability(caps, id)) decodeMap(id, image, axes);
}

void EmuMaps::decodeMap(MapId id, const EmuImage &image, const MapAxes &axes) {
    const MapInfo &info = emu::model::mapInfo(id);
    const quint8 *table = image.fileTable();
    // Every slot, the timing slots beyond N included: they go back to the EMU unchanged with the
    // next table write and come back into use when the RPM range is raised.
    for (int p = 1; p <= info.points; ++p) {
        setValue(id, p, emu::model::tableValue(id, table[info.streamOffset + p - 1]));
        if (isVacuumMap(id)) setStoredPosition(id, p, emu::model::vacuumPosition(id, p, axes));
    }
}
