#include "tuning/MapChartSet.h"

#include "connection/Session.h"
#include "model/Numbers.h"
#include "tuning/MapChart.h"
#include "widgets/Palette.h"

#include <algorithm>

namespace {
namespace pal = emu::ui::palette;
const QColor CursorColor(pal::CursorGreen);
} // namespace

MapChartSet::MapChartSet(Session &session, QObject *parent) : QObject(parent), m_s(session) {
    struct Def {
        Chart c;
        const char *name, *title;
        int tab;
        const char *posBox, *posCaption, *valBox, *valCaption;
        double cursorHeight, markerHeight;
    };
    const Def defs[ChartCount] = {
        {Timing, "TimingChart", "Timing Map", 0, "Edit3", "RPM:", "Edit2", "Degrees:", 45, 45},
        {Vacuum, "VacuumChart", "Vacuum Map", 0, "Edit5", "Vacuum:", "Edit4", "Degrees:", 10, 10},
        {FuelVac, "FuelVacChart", "Vacuum Map", 1, "Edit23", "Vacuum:", "Edit22", "%", 50, 100},
        {FuelRpm, "FuelRPMChart", "RPM Map", 1, "Edit21", "RPM:", "Edit19", "%", 50, 100},
        {Temp, "TempChart", "Water Temp Correction", 2, "Edit26", "Temp:", "Edit25", "%", 60, 100},
        {AirTemp, "AirTmpChart", "Air Temp Correction", 2, "Edit29", "Temp:", "Edit27", "%", 50,
         100},
        {Voltage, "VoltageChart", "Voltage Correction", 2, "Edit31", "V:", "Edit30", "%", 50, 100},
    };
    for (const Def &d : defs) {
        State &st = m_charts[d.c];
        st.chart = new MapChart(QString::fromLatin1(d.name), QString::fromLatin1(d.title));
        st.tab = d.tab;
        st.cursorHeight = d.cursorHeight;
        st.markerHeight = d.markerHeight;
        st.chart->setupReadouts(QString::fromLatin1(d.posBox), QString::fromLatin1(d.posCaption),
                                QString::fromLatin1(d.valBox), QString::fromLatin1(d.valCaption));
        st.chart->setReadoutsVisible(d.c == Vacuum);
        st.chart->setEnabled(false);
        // A chart reached with the keyboard takes the tuning keys as under the pointer.
        connect(st.chart, &MapChart::keyboardFocused, this, [this, c = d.c] { m_active = c; });
    }

    // Series in index order.
    MapChart *c = m_charts[Timing].chart;
    c->addBar(QStringLiteral("Series5"), CursorColor);
    c->addBar(QStringLiteral("Series3"), QColor(pal::Periwinkle));
    c->addCurve(QStringLiteral("Series1"), QColor(pal::Red));
    c->setBottomAxis(1, 50, 1, QStringLiteral("RPM x 100"));
    c->setLeftAxis(0, 45, 5, QStringLiteral("Degrees"));

    c = m_charts[Vacuum].chart;
    c->addBar(QStringLiteral("Series7"), CursorColor);
    c->addBar(QStringLiteral("Series6"), QColor(pal::Salmon));
    c->addCurve(QStringLiteral("Series4"), QColor(pal::SeaGreen));
    c->setBottomAxis(0, 1.2, 0.2, QStringLiteral("Bar"));
    c->setLeftAxis(-10, 10, 2, QStringLiteral("Degrees"));

    c = m_charts[FuelVac].chart;
    c->addArrow(QStringLiteral("Series2"), QColor(pal::Navy));
    c->addArrow(QStringLiteral("Series10"), QColor(pal::Green));
    c->addBar(QStringLiteral("Series11"), CursorColor);
    c->addBar(QStringLiteral("Series12"), QColor(pal::Salmon));
    c->addCurve(QStringLiteral("Series9"), QColor(pal::Red));
    c->setBottomAxis(0, 1.2, 0.1, QStringLiteral("Bar"));
    c->setLeftAxis(-50, 50, 10, QStringLiteral("%"));
    m_charts[FuelVac].cursorIndex = 2;
    m_charts[FuelVac].markerIndex = 3;

    c = m_charts[FuelRpm].chart;
    c->addBar(QStringLiteral("Series13"), CursorColor);
    c->addBar(QStringLiteral("Series14"), QColor(pal::Periwinkle));
    c->addCurve(QStringLiteral("Series8"), QColor(pal::Red), QCPScatterStyle::ssCircle);
    c->addCurve(QStringLiteral("Series31"), QColor(pal::Green),
                QCPScatterStyle::ssTriangleInverted);
    c->addCurve(QStringLiteral("Series32"), QColor(pal::SteelBlue), QCPScatterStyle::ssTriangle);
    c->setBottomAxis(0, 50, 5, QStringLiteral("RPM"));
    c->setLeftAxis(-50, 50, 10, QStringLiteral("%"));

    c = m_charts[Temp].chart;
    c->addBar(QStringLiteral("Series28"), CursorColor);
    c->addBar(QStringLiteral("Series23"), QColor(pal::LemonYellow));
    c->addCurve(QStringLiteral("Series15"), QColor(pal::Blue));
    c->setBottomAxis(0, 120, 10, QStringLiteral("°C"));
    c->setLeftAxis(-60, 60, 10, QStringLiteral("%"));

    c = m_charts[AirTemp].chart;
    c->addBar(QStringLiteral("Series29"), CursorColor);
    c->addBar(QStringLiteral("Series25"), QColor(pal::Peach));
    c->addCurve(QStringLiteral("Series24"), QColor(pal::Red));
    c->setBottomAxis(-20, 100, 10, QStringLiteral("°C"));
    c->setLeftAxis(-50, 50, 10, QStringLiteral("%"));

    c = m_charts[Voltage].chart;
    c->addBar(QStringLiteral("Series30"), CursorColor);
    c->addBar(QStringLiteral("Series27"), QColor(pal::Pink));
    c->addCurve(QStringLiteral("Series26"), QColor(pal::Red));
    c->setBottomAxis(8, 16, 1, QStringLiteral("V"));
    c->setLeftAxis(-50, 50, 10, QStringLiteral("%"));

    // Keyboard steps before Connect, from the form's axes.
    m_charts[Timing].step = 50.0 / m_s.timingPoints();
    m_charts[Vacuum].step = emu::model::vacuumSpacing(MapId::VacuumTiming, m_s.axes());
    m_charts[FuelVac].step = emu::model::vacuumSpacing(MapId::FuelVacuum, m_s.axes());
    m_charts[FuelRpm].step = 50.0 / 32;
    m_charts[Temp].step = 5;
    m_charts[AirTemp].step = 5;
    m_charts[Voltage].step = 0.5;
}

MapChart *MapChartSet::chart(const QString &objectName) const {
    for (const State &st : m_charts)
        if (st.chart->objectName() == objectName) return st.chart;
    return nullptr;
}

int MapChartSet::indexOf(const QObject *o) const {
    for (int c = 0; c < ChartCount; ++c)
        if (m_charts[c].chart == o) return c;
    return -1;
}

int MapChartSet::chartAt(const QPoint &globalPos) const {
    for (int c = 0; c < ChartCount; ++c) {
        const MapChart *ch = m_charts[c].chart;
        if (ch->isVisible() && ch->isEnabled() && ch->rect().contains(ch->mapFromGlobal(globalPos)))
            return c;
    }
    return -1;
}

MapId MapChartSet::mapOf(Chart c) const {
    switch (c) {
    case Timing:
        return MapId::Timing;
    case Vacuum:
        return MapId::VacuumTiming;
    case FuelVac:
        return MapId::FuelVacuum;
    case FuelRpm:
        return m_s.fuelVariantMap();
    case Temp:
        return MapId::WaterTemp;
    case AirTemp:
        return MapId::AirTemp;
    case Voltage:
    case ChartCount:
        break;
    }
    return MapId::Voltage;
}

int MapChartSet::curveIndex(Chart c) const {
    if (c == FuelVac) return 4;
    if (c == FuelRpm) {
        switch (m_s.fuelVariant()) {
        case FuelVariant::Low:
            return 3;
        case FuelVariant::High:
            return 4;
        case FuelVariant::Cruise:
            break;
        }
    }
    return 2;
}

int MapChartSet::lo(Chart c) const {
    return emu::model::mapInfo(mapOf(c)).lo;
}

int MapChartSet::hi(Chart c) const {
    if (c == Timing) return m_s.maxTimingAdvance();
    return emu::model::mapInfo(mapOf(c)).hi;
}

std::pair<int, int> MapChartSet::keyLimits(MapId id) const {
    if (id == MapId::Timing) return {0, m_s.maxTimingAdvance()};
    const int bias = emu::model::mapInfo(id).bias;
    return {-bias, 255 - bias};
}

int MapChartSet::pointCount(MapId id) const {
    return m_s.maps().pointCount(id, m_s.axes());
}

std::pair<MapChartSet::Chart, int> MapChartSet::curveOf(MapId id) {
    switch (id) {
    case MapId::Timing:
        return {Timing, 2};
    case MapId::VacuumTiming:
        return {Vacuum, 2};
    case MapId::FuelVacuum:
        return {FuelVac, 4};
    case MapId::FuelCruise:
        return {FuelRpm, 2};
    case MapId::FuelLow:
        return {FuelRpm, 3};
    case MapId::FuelHigh:
        return {FuelRpm, 4};
    case MapId::WaterTemp:
        return {Temp, 2};
    case MapId::AirTemp:
        return {AirTemp, 2};
    case MapId::Voltage:
        break;
    }
    return {Voltage, 2};
}

void MapChartSet::configureAxes() {
    const Capabilities caps = m_s.caps();
    const double r100 = m_s.rpmRange() / 100.0;
    const MapAxes axes = m_s.axes();
    const double s10 = emu::model::vacuumFullScale(axes);
    const int n = std::max(1, m_s.timingPoints());
    if (caps.timing) {
        const double max = std::max(2.0, emu::num::roundHalfEven(r100));
        m_charts[Timing].chart->setBottomMaximum(max);
        m_charts[Timing].step = max / n;
        m_charts[Timing].chart->setEnabled(true);
    }
    if (caps.vacuum) {
        m_charts[Vacuum].chart->setEnabled(true);
        m_charts[Vacuum].chart->setBottomMaximum(s10 + 0.2);
        if (s10 < 2) m_charts[Vacuum].chart->setBottomStep(0.1);
        m_charts[Vacuum].step = emu::model::vacuumSpacing(MapId::VacuumTiming, axes);
    }
    if (caps.fuel) {
        for (Chart c : {FuelVac, FuelRpm, Temp, AirTemp, Voltage})
            m_charts[c].chart->setEnabled(true);
        m_charts[FuelVac].chart->setBottomMaximum(emu::num::roundTo(s10 + 0.2, 2));
        m_charts[FuelVac].step = emu::model::vacuumSpacing(MapId::FuelVacuum, axes);
        m_charts[FuelRpm].chart->setBottomMaximum(r100);
        m_charts[FuelRpm].step = r100 / 32;
    }
}

void MapChartSet::rebuildCurve(MapId id) {
    const auto [c, index] = curveOf(id);
    const MapAxes axes = m_s.axes();
    const int n = pointCount(id);
    QVector<double> keys(n), values(n);
    for (int p = 1; p <= n; ++p) {
        keys[p - 1] = m_s.maps().position(id, p, axes);
        values[p - 1] = m_s.maps().value(id, p);
    }
    m_charts[c].chart->setPoints(index, keys, values);
}

void MapChartSet::setOtherTune(const EmuMaps *maps, const MapAxes &axes, const Capabilities &caps) {
    for (MapId id : emu::model::allMaps()) {
        const auto [c, index] = curveOf(id);
        QVector<double> keys, values;
        if (maps && emu::model::hasCapability(caps, id)) {
            const int n = maps->pointCount(id, axes);
            for (int p = 1; p <= n; ++p) {
                keys << maps->position(id, p, axes);
                values << maps->value(id, p);
            }
        }
        m_charts[c].chart->setOtherCurve(index, keys, values);
    }
}

void MapChartSet::hideReadouts(int tab) {
    for (const State &st : m_charts)
        if (st.tab == tab) st.chart->setReadoutsVisible(false);
}

void MapChartSet::describe(Chart c, int p) {
    const MapId id = mapOf(c);
    const QString note = m_pointNote ? m_pointNote(id, p) : QString();
    m_charts[c].chart->setAccessibleDescription(
        tr("Point %1: %2").arg(p).arg(emu::num::formatGeneral(m_s.maps().value(id, p))) +
        (note.isEmpty() ? QString() : QStringLiteral("; ") + note));
}
