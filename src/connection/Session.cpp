#include "connection/Session.h"

#include "link/Clock.h"
#include "model/Numbers.h"
#include "model/SetupFields.h"

Session::Session(Clock &c, QObject *parent)
    : QObject(parent), clock(c), EFI(this, &c), link(EFI, c) {}

MapAxes Session::axes() const {
    MapAxes a;
    a.rpmRange = rpmRange;
    a.timingPoints = timingPoints;
    a.mapSensorRange = mapSensorRange;
    return a;
}

LiveContext Session::liveContext() const {
    LiveContext c;
    c.mapSensorRange = mapSensorRange;
    c.rpmRange = rpmRange;
    c.timingPoints = timingPoints;
    c.lowThrottleVacuum = lowThrottleVacuum;
    c.highThrottleVacuum = highThrottleVacuum;
    c.strokeFactor = twoStroke ? 2 : 1;
    return c;
}

MapId Session::fuelVariantMap() const {
    switch (fuelVariant) {
    case FuelVariant::Low:
        return MapId::FuelLow;
    case FuelVariant::High:
        return MapId::FuelHigh;
    case FuelVariant::Cruise:
        break;
    }
    return MapId::FuelCruise;
}

void Session::sendParameter(int code, int value) {
    link.parameterWrite(quint8(code), quint8(value & 0xFF));
    if (code == emu::model::OffCoilCombination)
        image.bytes[code] = quint8(value & 0xFF);
    else
        image.storeValue(code, value);
}

void Session::setSetupValue(int code, int value) {
    sendParameter(code, value);
    emit setupChanged(code);
    switch (code) {
    case emu::model::OffLowThrottleVacuum:
    case emu::model::OffHighThrottleVacuum:
        (code == emu::model::OffLowThrottleVacuum ? lowThrottleVacuum : highThrottleVacuum) =
            value / 100.0;
        emit thresholdsChanged();
        break;
    case emu::model::OffLambdaTarget:
        lambdaTarget = value / 100.0;
        emit lambdaTargetChanged();
        break;
    case emu::model::OffTwoStroke:
        twoStroke = value == 2;
        break;
    default:
        break;
    }
}

void Session::deriveWorkingValues() {
    using namespace emu::model;
    twoStroke = image.value(OffTwoStroke) == 2;
    if (image.value(OffTpsSensor) == 2) {
        tpsMinimum = image.value(OffTpsMinimum);
        tpsSpan = image.value(OffTpsSpan);
        if (tpsSpan == 0) {
            tpsSpan = 100;
            tpsMinimum = 0;
        }
    }
    for (double *working : {&lowThrottleVacuum, &highThrottleVacuum}) {
        const int off =
            working == &lowThrottleVacuum ? OffLowThrottleVacuum : OffHighThrottleVacuum;
        if (const std::optional<double> v = displayValue(image, *setupFieldAt(off))) *working = *v;
    }
    emit thresholdsChanged();
    if (!image.isUnset(OffLambdaTarget)) {
        lambdaTarget = image.value(OffLambdaTarget) / 100.0;
        emit lambdaTargetChanged();
    }
}

void Session::setMapPoint(MapId id, int p, double v) {
    maps.setValue(id, p, v);
    sendPoint(id, p);
    emit mapChanged(id);
}

void Session::setMapPoints(MapId id, int first, const std::vector<double> &values) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        const int p = first + int(i);
        maps.setValue(id, p, values[i]);
        sendPoint(id, p);
    }
    emit mapChanged(id);
}

void Session::sendPoint(MapId id, int p) {
    link.pointWrite(maps.section(id), maps.pointOffset(id, p), maps.encode(id, p));
}

void Session::setMapPointAt(MapId id, int p, double v, double position) {
    maps.setStoredPosition(id, p, position);
    setMapPoint(id, p, v);
}

void Session::storeMapPoints(MapId id, int first, const std::vector<double> &values) {
    for (std::size_t i = 0; i < values.size(); ++i)
        maps.setValue(id, first + int(i), values[i]);
    emit mapChanged(id);
}

void Session::decodeMap(MapId id) {
    maps.decodeMap(id, image, axes());
    emit mapChanged(id);
}

void Session::clearMap(MapId id) {
    const int n = maps.pointCount(id, axes());
    for (int p = 1; p <= n; ++p) {
        maps.setValue(id, p, 0);
        if (id == MapId::FuelVacuum) maps.setStoredPosition(id, p, 0);
    }
    emit mapCleared(id);
}

void Session::deriveFromSetup() {
    const MapAxes a = emu::model::axesFromSetup(image, axes());
    rpmRange = a.rpmRange;
    timingPoints = a.timingPoints;
    mapSensorRange = a.mapSensorRange;
}
