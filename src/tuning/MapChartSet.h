#pragma once
// The seven map charts of the "Timing Map", "Fuel Maps" and "Correction Maps" tabs: their series
// and axes, which map each one shows, their keyboard selections and the curves drawn from the
// maps in memory.
#include "model/Maps.h"

#include <QObject>
#include <QPoint>
#include <array>
#include <functional>
#include <utility>

class Session;
class MapChart;

// The charts, in the order the tabs show them.
struct ChartIds {
    enum Chart { Timing, Vacuum, FuelVac, FuelRpm, Temp, AirTemp, Voltage, ChartCount };
};

class MapChartSet : public QObject, public ChartIds {
    Q_OBJECT
public:
    struct State {
        MapChart *chart = nullptr;
        int tab = 0; // 0 timing, 1 fuel, 2 correction
        int cursorIndex = 0;
        int markerIndex = 1;
        double cursorHeight = 0;
        double markerHeight = 100;
        double selection = 0; // keyboard selection, x
        double step = 1;      // Left / Right step
    };

    // Builds the charts (disabled, without a parent) with their series, axes and read-outs.
    explicit MapChartSet(Session &session, QObject *parent = nullptr);

    State &operator[](Chart c) { return m_charts[c]; }
    const State &operator[](Chart c) const { return m_charts[c]; }
    MapChart *chart(Chart c) const { return m_charts[c].chart; }
    // The chart with this object name, null when none has it.
    MapChart *chart(const QString &objectName) const;
    // The chart o is, -1 when it is none of them.
    int indexOf(const QObject *o) const;
    // The visible, enabled chart under a global position; -1 when none.
    int chartAt(const QPoint &globalPos) const;

    // The chart keyboard tuning acts on; -1 before the pointer (or the focus) reached any.
    int active() const { return m_active; }
    void setActive(int c) { m_active = c; }

    // The map chart c edits (the fuel RPM chart: the edited variant), its curve series, and the
    // value range of mouse editing.
    MapId mapOf(Chart c) const;
    int curveIndex(Chart c) const;
    int lo(Chart c) const;
    int hi(Chart c) const;
    int pointCount(MapId id) const;
    // The values keyboard tuning keeps a point of the map within: the timing map within 0 to
    // the maximum advance, every other map within what its byte holds.
    std::pair<int, int> keyLimits(MapId id) const;
    // The chart and series index that draw a map's curve.
    static std::pair<Chart, int> curveOf(MapId id);

    // Connect: axes and keyboard steps from R, N and S; the charts of the present capabilities
    // enabled.
    void configureAxes();
    // Redraw a map's curve from the maps in memory.
    void rebuildCurve(MapId id);
    // Another tune drawn behind each chart's own curves; null removes them.
    void setOtherTune(const EmuMaps *maps, const MapAxes &axes, const Capabilities &caps);
    // Hide the read-outs of every chart on a tab.
    void hideReadouts(int tab);
    // The chart's accessible description: point p and its value, and what pointNote adds.
    void describe(Chart c, int p);
    void setPointNote(std::function<QString(MapId, int)> note) { m_pointNote = std::move(note); }

private:
    Session &m_s;
    std::array<State, ChartCount> m_charts;
    int m_active = -1;
    std::function<QString(MapId, int)> m_pointNote;
};
