#include "connection/Session.h"

#include "connection/SetupFile.h"
#include "link/Clock.h"
#include "model/Numbers.h"
#include "model/SetupFields.h"

#include <QUndoCommand>
#include <algorithm>
#include <map>

// One step of the edit history: the setup bytes and map points it changed, with the values
// before and after. Recorded while the edit runs (old values at first touch, new values read
// from memory when the step closes); pushed already done.
class EditStep : public QUndoCommand {
public:
    struct Point {
        double before = 0, after = 0;
        double posBefore = 0, posAfter = 0; // stored positions (vacuum maps)
    };
    struct MapEdit {
        MapId id;
        std::map<int, Point> points; // by point number: sent in point order
    };
    struct SetupEdit {
        int code;
        quint8 before, after;
    };

    EditStep(Session &s, const QString &text) : m_s(s), m_givenText(text) {}

    void noteSetup(int code) {
        for (const SetupEdit &e : m_setup)
            if (e.code == code) return;
        m_setup.push_back({code, m_s.m_image.bytes[code], 0});
    }
    void noteMap(MapId id, int p) {
        MapEdit *m = nullptr;
        for (MapEdit &e : m_maps)
            if (e.id == id) m = &e;
        if (!m) m = &m_maps.emplace_back(MapEdit{id, {}});
        if (m->points.count(p)) return;
        Point pt;
        pt.before = m_s.m_maps.value(id, p);
        if (hasPositions(id)) pt.posBefore = m_s.m_maps.storedPosition(id, p);
        m->points.emplace(p, pt);
    }
    // Reads the new values and drops what did not change; false: nothing changed.
    bool close() {
        for (SetupEdit &e : m_setup)
            e.after = m_s.m_image.bytes[e.code];
        m_setup.erase(std::remove_if(m_setup.begin(), m_setup.end(),
                                     [](const SetupEdit &e) { return e.before == e.after; }),
                      m_setup.end());
        for (MapEdit &m : m_maps) {
            for (auto it = m.points.begin(); it != m.points.end();) {
                Point &pt = it->second;
                pt.after = m_s.m_maps.value(m.id, it->first);
                if (hasPositions(m.id)) pt.posAfter = m_s.m_maps.storedPosition(m.id, it->first);
                if (pt.before == pt.after && pt.posBefore == pt.posAfter)
                    it = m.points.erase(it);
                else
                    ++it;
            }
        }
        m_maps.erase(std::remove_if(m_maps.begin(), m_maps.end(),
                                    [](const MapEdit &m) { return m.points.empty(); }),
                     m_maps.end());
        if (m_setup.empty() && m_maps.empty()) return false;
        setText(m_givenText.isEmpty() ? describe() : m_givenText);
        return true;
    }

    void undo() override { apply(false); }
    void redo() override {
        if (m_done) { // pushed after the edit itself ran
            m_done = false;
            return;
        }
        apply(true);
    }

private:
    static bool hasPositions(MapId id) {
        return id == MapId::VacuumTiming || id == MapId::FuelVacuum;
    }
    static QString number(double v) { return emu::num::formatGeneral(v); }

    QString describe() const {
        if (m_maps.empty() && m_setup.size() == 1) {
            const SetupEdit &e = m_setup.front();
            const SetupField *f = emu::model::setupFieldAt(e.code);
            const QString caption = f && *f->caption ? QString::fromUtf8(f->caption)
                                                     : QStringLiteral("Setup byte %1").arg(e.code);
            auto shown = [&](quint8 b) {
                const int v = e.code == emu::model::OffCoilCombination ? b : int(b) - 1;
                return number(f ? emu::model::displayFromRaw(*f, v) : v);
            };
            return QStringLiteral("%1 from %2 to %3").arg(caption, shown(e.before), shown(e.after));
        }
        if (m_setup.empty() && m_maps.size() == 1) {
            const MapEdit &m = m_maps.front();
            const QString name = Session::mapName(m.id);
            if (m.points.size() == 1) {
                const auto &[p, pt] = *m.points.begin();
                return QStringLiteral("%1 point %2 from %3 to %4")
                    .arg(name)
                    .arg(p)
                    .arg(number(pt.before), number(pt.after));
            }
            return QStringLiteral("%1 points %2 to %3 (%4 changed)")
                .arg(name)
                .arg(m.points.begin()->first)
                .arg(m.points.rbegin()->first)
                .arg(m.points.size());
        }
        return QStringLiteral("%1 setup values, %2 maps").arg(m_setup.size()).arg(m_maps.size());
    }

    void apply(bool after) {
        const bool send = m_s.historySends();
        m_s.m_replaying = true;
        bool sentOne = false;
        for (const SetupEdit &e : m_setup) {
            const quint8 b = after ? e.after : e.before;
            const int value = e.code == emu::model::OffCoilCombination ? b : int(b) - 1;
            if (send) {
                // Parameter writes of one step keep the pause the edit itself made between them
                // (the throttle calibration's two values).
                if (sentOne) m_s.m_link.pause(emu::link::WaitBetweenParameters);
                m_s.sendParameter(e.code, value);
                sentOne = true;
            } else {
                m_s.storeParameter(e.code, value);
            }
            m_s.followSetup(e.code, value);
            emit m_s.setupRestored(e.code);
        }
        for (const MapEdit &m : m_maps) {
            for (const auto &[p, pt] : m.points) {
                if (hasPositions(m.id))
                    m_s.m_maps.setStoredPosition(m.id, p, after ? pt.posAfter : pt.posBefore);
                m_s.m_maps.setValue(m.id, p, after ? pt.after : pt.before);
                if (send) m_s.sendPoint(m.id, p);
            }
            emit m_s.mapChanged(m.id);
        }
        m_s.m_replaying = false;
        QString message = (after ? QStringLiteral("Redo: ") : QStringLiteral("Undo: ")) + text();
        if (!send)
            message += m_s.m_fileMode ? QStringLiteral(" (memory only: a file is open)")
                                      : QStringLiteral(" (memory only: the EMU is not connected)");
        emit m_s.status(0, message);
    }

    friend class Session;
    Session &m_s;
    QString m_givenText;
    std::vector<SetupEdit> m_setup;
    std::vector<MapEdit> m_maps;
    bool m_done = true;
};

Session::Session(Clock &c, QObject *parent)
    : QObject(parent), m_clock(c), m_port(this, &c), m_link(m_port, c) {}

Session::~Session() = default;

QString Session::mapName(MapId id) {
    switch (id) {
    case MapId::Timing:
        return QStringLiteral("Timing");
    case MapId::VacuumTiming:
        return QStringLiteral("Vacuum timing");
    case MapId::FuelVacuum:
        return QStringLiteral("Fuel vacuum");
    case MapId::FuelCruise:
        return QStringLiteral("Fuel RPM Cruise");
    case MapId::FuelLow:
        return QStringLiteral("Fuel RPM Low");
    case MapId::FuelHigh:
        return QStringLiteral("Fuel RPM High");
    case MapId::WaterTemp:
        return QStringLiteral("Water temp correction");
    case MapId::AirTemp:
        return QStringLiteral("Air temp correction");
    case MapId::Voltage:
        break;
    }
    return QStringLiteral("Voltage correction");
}

bool Session::historySends() const {
    return m_connected && !m_fileMode && !(m_linkDown && m_linkDown());
}

void Session::beginEdit(const QString &text) {
    if (m_openDepth++ == 0) m_open = std::make_unique<EditStep>(*this, text);
}

void Session::endEdit() {
    if (m_openDepth == 0 || --m_openDepth > 0) return;
    std::unique_ptr<EditStep> step = std::move(m_open);
    if (!step->close()) return;
    // The edit is what the status bar says now, not an undo or redo before it; a lost link's
    // message stays.
    if (!(m_linkDown && m_linkDown())) emit status(0, step->text());
    m_history.push(step.release());
}

void Session::clearHistory() {
    m_history.clear();
    if (m_open) m_open = std::make_unique<EditStep>(*this, m_open->m_givenText);
}

void Session::noteSetup(int code) {
    if (m_open) m_open->noteSetup(code);
}

void Session::noteMap(MapId id, int p) {
    if (m_open) m_open->noteMap(id, p);
}

MapAxes Session::axes() const {
    MapAxes a;
    a.rpmRange = m_rpmRange;
    a.timingPoints = m_timingPoints;
    a.mapSensorRange = m_mapSensorRange;
    return a;
}

LiveContext Session::liveContext() const {
    LiveContext c;
    c.mapSensorRange = m_mapSensorRange;
    c.rpmRange = m_rpmRange;
    c.timingPoints = m_timingPoints;
    c.lowThrottleVacuum = m_lowThrottleVacuum;
    c.highThrottleVacuum = m_highThrottleVacuum;
    c.strokeFactor = m_twoStroke ? 2 : 1;
    return c;
}

MapId Session::fuelVariantMap() const {
    switch (m_fuelVariant) {
    case FuelVariant::Low:
        return MapId::FuelLow;
    case FuelVariant::High:
        return MapId::FuelHigh;
    case FuelVariant::Cruise:
        break;
    }
    return MapId::FuelCruise;
}

void Session::storeParameter(int code, int value) {
    if (code == emu::model::OffCoilCombination)
        m_image.bytes[code] = quint8(value & 0xFF);
    else
        m_image.storeValue(code, value);
}

void Session::sendParameter(int code, int value) {
    m_link.parameterWrite(quint8(code), quint8(value & 0xFF));
    storeParameter(code, value);
}

void Session::setSetupValue(int code, int value) {
    if (m_replaying) return; // an editor showing a restored value
    EditScope step(*this);
    noteSetup(code);
    sendParameter(code, value);
    emit setupChanged(code);
    followSetup(code, value);
}

void Session::followSetup(int code, int value) {
    switch (code) {
    case emu::model::OffLowThrottleVacuum:
    case emu::model::OffHighThrottleVacuum:
        (code == emu::model::OffLowThrottleVacuum ? m_lowThrottleVacuum : m_highThrottleVacuum) =
            value / 100.0;
        emit thresholdsChanged();
        break;
    case emu::model::OffLambdaTarget:
        m_lambdaTarget = value / 100.0;
        emit lambdaTargetChanged();
        break;
    case emu::model::OffTwoStroke:
        m_twoStroke = value == 2;
        break;
    case emu::model::OffTpsMinimum:
    case emu::model::OffTpsSpan:
        // The calibration sets the working values itself; undo and redo follow the block.
        if (m_replaying) deriveWorkingValues();
        break;
    default:
        break;
    }
}

void Session::deriveWorkingValues() {
    using namespace emu::model;
    m_twoStroke = m_image.value(OffTwoStroke) == 2;
    if (m_image.value(OffTpsSensor) == 2) {
        m_tpsMinimum = m_image.value(OffTpsMinimum);
        m_tpsSpan = m_image.value(OffTpsSpan);
        if (m_tpsSpan == 0) {
            m_tpsSpan = 100;
            m_tpsMinimum = 0;
        }
    }
    for (double *working : {&m_lowThrottleVacuum, &m_highThrottleVacuum}) {
        const int off =
            working == &m_lowThrottleVacuum ? OffLowThrottleVacuum : OffHighThrottleVacuum;
        if (const std::optional<double> v = displayValue(m_image, *setupFieldAt(off)))
            *working = *v;
    }
    emit thresholdsChanged();
    if (!m_image.isUnset(OffLambdaTarget)) {
        m_lambdaTarget = m_image.value(OffLambdaTarget) / 100.0;
        emit lambdaTargetChanged();
    }
}

void Session::setMapPoint(MapId id, int p, double v) {
    EditScope step(*this);
    noteMap(id, p);
    m_maps.setValue(id, p, v);
    sendPoint(id, p);
    emit mapChanged(id);
}

void Session::setMapPoints(MapId id, int first, const std::vector<double> &values) {
    EditScope step(*this);
    for (std::size_t i = 0; i < values.size(); ++i) {
        const int p = first + int(i);
        noteMap(id, p);
        m_maps.setValue(id, p, values[i]);
        sendPoint(id, p);
    }
    emit mapChanged(id);
}

void Session::sendPoint(MapId id, int p) {
    m_link.pointWrite(m_maps.section(id), m_maps.pointOffset(id, p), m_maps.encode(id, p));
}

void Session::editMapPoints(MapId id, const std::vector<std::pair<int, double>> &points,
                            const QString &text) {
    EditScope step(*this, text);
    for (const auto &[p, v] : points) {
        noteMap(id, p);
        m_maps.setValue(id, p, v);
        sendPoint(id, p);
    }
    emit mapChanged(id);
}

void Session::setMapPointAt(MapId id, int p, double v, double position) {
    EditScope step(*this);
    noteMap(id, p);
    m_maps.setStoredPosition(id, p, position);
    setMapPoint(id, p, v);
}

void Session::storeMapPoints(MapId id, int first, const std::vector<double> &values) {
    EditScope step(*this);
    for (std::size_t i = 0; i < values.size(); ++i) {
        noteMap(id, first + int(i));
        m_maps.setValue(id, first + int(i), values[i]);
    }
    emit mapChanged(id);
}

void Session::decodeMap(MapId id) {
    clearHistory();
    m_maps.decodeMap(id, m_image, axes());
    emit mapChanged(id);
}

void Session::clearMap(MapId id) {
    clearHistory();
    const int n = m_maps.pointCount(id, axes());
    for (int p = 1; p <= n; ++p) {
        m_maps.setValue(id, p, 0);
        if (id == MapId::FuelVacuum) m_maps.setStoredPosition(id, p, 0);
    }
    emit mapCleared(id);
}

void Session::deriveFromSetup() {
    const MapAxes a = emu::model::axesFromSetup(m_image, axes());
    m_rpmRange = a.rpmRange;
    m_timingPoints = a.timingPoints;
    m_mapSensorRange = a.mapSensorRange;
}

// ---- Flags, identity, whole images ------------------------------------------------------------

namespace {
template <class T> bool change(T &field, const T &value) {
    if (field == value) return false;
    field = value;
    return true;
}
} // namespace

void Session::markConnected() {
    if (change(m_connected, true)) emit flagsChanged();
}

void Session::setFileMode(bool on) {
    if (change(m_fileMode, on)) emit flagsChanged();
}

void Session::setFileConnectPending(bool on) {
    if (change(m_fileConnectPending, on)) emit flagsChanged();
}

void Session::enableEditing() {
    if (change(m_editingEnabled, true)) emit flagsChanged();
}

void Session::setModified(bool on) {
    if (change(m_modified, on)) emit flagsChanged();
}

void Session::setIdentity(const std::array<quint8, EmuImage::IdentitySize> &identity) {
    m_image.identity = identity;
    emit identityChanged();
}

void Session::setIdentityTexts(const QString &model, const QString &version) {
    m_modelText = model;
    m_versionText = version;
    emit identityChanged();
}

void Session::setModuleTypeName(const QString &name) {
    m_moduleTypeName = name;
    emit identityChanged();
}

void Session::addCapabilities(const Capabilities &caps) {
    m_caps.timing = m_caps.timing || caps.timing;
    m_caps.vacuum = m_caps.vacuum || caps.vacuum;
    m_caps.fuel = m_caps.fuel || caps.fuel;
    emit identityChanged();
}

void Session::loadImage(const EmuImage &image) {
    const QString before[3] = {m_image.vehicleMake, m_image.vehicleModel, m_image.engineType};
    m_image = image;
    for (QString *t : {&m_image.vehicleMake, &m_image.vehicleModel, &m_image.engineType})
        t->truncate(SetupFile::VehicleTextMax);
    emit imageLoaded();
    if (before[0] != m_image.vehicleMake || before[1] != m_image.vehicleModel ||
        before[2] != m_image.engineType)
        emit vehicleTextChanged();
}

void Session::adoptMaps(const EmuMaps &maps) {
    clearHistory();
    m_maps = maps;
    for (MapId id : emu::model::allMaps())
        emit mapChanged(id);
}

void Session::setVehicleText(QString EmuImage::*field, const QString &text) {
    if (m_image.*field == text) return;
    m_image.*field = text;
    emit vehicleTextChanged();
}

void Session::setFuelVariant(FuelVariant v) {
    if (change(m_fuelVariant, v)) emit fuelVariantChanged();
}

void Session::setTpsWorkingValues(int minimum, int span) {
    m_tpsMinimum = minimum;
    m_tpsSpan = span;
    emit tpsCalibrationChanged();
}

void Session::setTpsCalibration(int minimum, int span, const QString &text) {
    setTpsWorkingValues(minimum, span);
    EditScope step(*this, text);
    setSetupValue(emu::model::OffTpsMinimum, minimum);
    m_link.pause(emu::link::WaitBetweenParameters);
    setSetupValue(emu::model::OffTpsSpan, span);
}

void Session::setSerialNumber(int letter1, int letter2, const std::array<int, 4> &numbers) {
    using namespace emu::model;
    sendParameter(OffSerialLetter1, letter1);
    sendParameter(OffSerialLetter2, letter2);
    const int codes[4] = {OffSerialNumber1, OffSerialNumber2, OffSerialNumber3, OffSerialHardware};
    for (int i = 0; i < 4; ++i)
        sendParameter(codes[i], numbers[std::size_t(i)]);
    const auto &id = m_image.identity;
    emit status(1, QStringLiteral("EMU %1 v%2.%3 :: %4")
                       .arg(id[0])
                       .arg(id[1])
                       .arg(id[2])
                       .arg(m_image.serialText()));
    emit serialNumberChanged();
}

TableStream Session::buildTableStream() {
    return emu::model::buildTableStream(m_image, m_maps, m_caps);
}

void Session::setAxes(const MapAxes &axes) {
    m_rpmRange = axes.rpmRange;
    m_timingPoints = axes.timingPoints;
    m_mapSensorRange = axes.mapSensorRange;
}
