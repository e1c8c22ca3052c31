#pragma once
// The "Timing Map", "Fuel Maps" and "Correction Maps" tabs: builds them from their parts (the
// charts, mouse and keyboard tuning, the jets, the fuel RPM variant buttons, the live markers,
// the context menus and the hit shading), wires the parts together and runs them through
// Connect, Read, Write and Close all.
#include "live/MapHits.h"
#include "model/Maps.h"
#include "tuning/MapChartSet.h"

#include <QObject>
#include <QPoint>
#include <array>
#include <memory>
#include <utility>

class Session;
struct LiveValues;
class QWidget;
class QFrame;
class QSlider;
class MapChart;
class QMenu;
class RangeEditDialog;
class ChartMouse;
class ChartKeyboard;
class JetControls;
class FuelVariantButtons;
class LiveMarkers;
class ChartMenus;
class HitShading;

class MapPages : public QObject, public ChartIds {
    Q_OBJECT
public:
    // Builds the content of the three (empty) tab widgets.
    MapPages(Session &session, QWidget *timingTab, QWidget *fuelTab, QWidget *correctionTab,
             QObject *parent = nullptr);
    ~MapPages() override;

    // Connect: axes and keyboard steps from R, N and S, charts (and the jet track bars) enabled
    // by capability.
    void configureAtConnect();
    // Table read, once the maps are decoded (the curves follow the session's mapChanged): reset
    // the timing selection, enable the timing chart, set the jet track bars.
    void readTables();
    // Table write: clear the selection cursors and rebuild every curve from memory; set the jet
    // track bars from the setup block.
    void afterWrite();
    // Close all: clear the timing charts, zero the maps that it zeroes, clear Edit28, disable
    // the four charts of the timing and fuel tabs.
    void closeAll();
    // Live markers from one set of live values (visible charts only; hidden ones on show).
    void updateLiveMarkers(const LiveValues &v);
    // Mouse tuning switch (SpeedButton3).
    void setMouseTuning(bool on);
    // Keys seen by the main window before the focused control. fuelTabActive: the "Fuel Maps"
    // page is the active one (jet keys).
    void formKeyDown(int key, bool fuelTabActive);
    void formKeyUp(int key);
    // Fuel vacuum chart threshold arrows from the session's working values.
    void updateThresholdArrows();
    // Operating region chosen by the live poll: check the radio button, colour and bold it.
    void showRegion(int region);

    QFrame *rtHost(int tab) const; // 0 timing, 1 fuel, 2 correction
    // The charts and jets of a tab (0 timing, 1 fuel, 2 correction), without its real-time frame.
    QFrame *editorPanel(int tab) const { return m_panels[std::size_t(tab)]; }
    QWidget *chart(const QString &objectName) const;

    MapChart *mapChart(Chart c) const;
    // The chart and curve series index that draw a map.
    static std::pair<Chart, int> curveOf(MapId id) { return MapChartSet::curveOf(id); }
    // Realtime tracking: the keyboard selections follow the engine's operating point (RPM in
    // hundreds on the timing and fuel RPM charts, vacuum in bar on both vacuum charts).
    void trackOperatingPoint(double rpmHundreds, double vacuumBar);
    // Keyboard tuning state, for the main window and tests.
    int activeChart() const; // -1: none
    double selection(Chart c) const;
    double keyStep(Chart c) const;
    bool mouseTuning() const;
    QSlider *mainJetAdjust() const;
    QSlider *idleJetAdjust() const;
    // Redraw a map's curve from the maps in memory.
    void rebuildCurve(MapId id);
    // The values keyboard tuning keeps a point of the map within: the timing map within 0 to
    // the maximum advance, every other map within what its byte holds. Range edits clamp to them.
    std::pair<int, int> keyLimits(MapId id) const;
    // A chart's context menu for a right click at pos (chart pixels): "Undo: ...", "Redo: ...",
    // "Edit points...", "Compare with File...". The caller owns it.
    QMenu *chartMenu(Chart c, const QPoint &pos);
    // "Edit points..." on chart c: the dialog preset to points first..last of its map; OK
    // applies the edit as one step. Shown window-modal; also kept for tests.
    RangeEditDialog *editPoints(Chart c, int first, int last);
    RangeEditDialog *rangeEditDialog() const;

    // Another tune drawn behind each chart's own curves (the maps its capabilities hold, on its
    // own axes); null removes them.
    void setOtherTune(const EmuMaps *maps, const MapAxes &axes = MapAxes(),
                      const Capabilities &caps = Capabilities());
    // Point p of a map as the keyboard's selection: the map's chart becomes the active one (a fuel
    // RPM map also the edited variant) and its cursor stands at the point. Returns the tab of the
    // chart (0 timing, 1 fuel, 2 correction), -1 when the map has no such point.
    int selectPoint(MapId id, int p);

    // Hit tables of a log: each chart shades its points along the bottom by the time spent
    // there, and names the numbers in the point's tooltip and in its accessible description.
    void setHits(const MapHits::Hits &hits);
    // "34 samples, 1.7 s, lambda 0.46 V, 41 % richer than the target" (empty: no samples).
    QString hitText(MapId id, int p) const;

signals:
    // "Compare with File..." was chosen in a chart's context menu.
    void compareRequested();
    // "Fuel Suggestions..." was chosen in a fuel chart's context menu.
    void fuelSuggestionsRequested();

public slots:
    // Drag over a chart, pixel position relative to that chart.
    void TimingChartDragOver(const QPoint &pos) { dragOver(Timing, pos); }
    void VacuumChartDragOver(const QPoint &pos) { dragOver(Vacuum, pos); }
    void FuelVacChartDragOver(const QPoint &pos) { dragOver(FuelVac, pos); }
    void FuelRPMChartDragOver(const QPoint &pos) { dragOver(FuelRpm, pos); }
    void TempChartDragOver(const QPoint &pos) { dragOver(Temp, pos); }
    void AirTmpChartDragOver(const QPoint &pos) { dragOver(AirTemp, pos); }
    void VoltageChartDragOver(const QPoint &pos) { dragOver(Voltage, pos); }
    // Pointer move without a drag.
    void TimingChartMouseMove(const QPoint &pos) { hover(Timing, pos); }
    void VacuumChartMouseMove(const QPoint &pos) { hover(Vacuum, pos); }
    void FuelVacChartMouseMove(const QPoint &pos) { hover(FuelVac, pos); }
    void FuelRPMChartMouseMove(const QPoint &pos) { hover(FuelRpm, pos); }
    void TempChartMouseMove(const QPoint &pos) { hover(Temp, pos); }
    void AirTmpChartMouseMove(const QPoint &pos) { hover(AirTemp, pos); }
    void VoltageChartMouseMove(const QPoint &pos) { hover(Voltage, pos); }
    // Pointer over the panel around a tab's charts: hide that tab's read-outs.
    void Panel3MouseMove() { hideReadouts(0); }
    void Panel4MouseMove() { hideReadouts(1); }
    void Panel26MouseMove() { hideReadouts(2); }
    // Jets.
    void MainJetAdjustChange(int position);
    void IdleJetAdjustChange(int position);
    void Edit28Change();
    void Edit32Change();
    // Fuel RPM variant buttons.
    void RadioLowClick();
    void RadioCruiseClick();
    void RadioHighClick();

private:
    void dragOver(Chart c, const QPoint &pos);
    void hover(Chart c, const QPoint &pos);
    void hideReadouts(int tab);

    Session &m_s;
    std::array<QFrame *, 3> m_panels{};
    std::array<QFrame *, 3> m_rtHosts{};
    QFrame *m_panel18 = nullptr;
    // The parts, each with one job.
    MapChartSet *m_charts = nullptr;
    std::unique_ptr<HitShading> m_hits;
    ChartMouse *m_mouse = nullptr;
    std::unique_ptr<ChartKeyboard> m_keyboard;
    JetControls *m_jets = nullptr;
    FuelVariantButtons *m_variants = nullptr;
    std::unique_ptr<LiveMarkers> m_markers;
    ChartMenus *m_menus = nullptr;
};
