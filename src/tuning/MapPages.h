#pragma once
// The map charts of the "Timing Map", "Fuel Maps" and "Correction Maps" tabs with mouse and
// keyboard tuning, and the jet controls of the "Fuel Maps" tab.
#include "live/MapHits.h"
#include "model/Maps.h"

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <array>
#include <utility>

class Session;
struct LiveValues;
class QWidget;
class QFrame;
class QLineEdit;
class QRadioButton;
class QSlider;
class MapChart;
class QMenu;
class RangeEditDialog;

class MapPages : public QObject {
    Q_OBJECT
public:
    // Builds the content of the three (empty) tab widgets.
    MapPages(Session &session, QWidget *timingTab, QWidget *fuelTab, QWidget *correctionTab,
             QObject *parent = nullptr);

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

    // --- additions ---
    enum Chart { Timing, Vacuum, FuelVac, FuelRpm, Temp, AirTemp, Voltage, ChartCount };
    MapChart *mapChart(Chart c) const { return m_charts[c].chart; }
    // Realtime tracking: the keyboard selections follow the engine's operating point (RPM in
    // hundreds on the timing and fuel RPM charts, vacuum in bar on both vacuum charts).
    void trackOperatingPoint(double rpmHundreds, double vacuumBar);
    // Keyboard tuning state, for the main window and tests.
    int activeChart() const { return m_active; } // -1: none
    double selection(Chart c) const { return m_charts[c].selection; }
    double keyStep(Chart c) const { return m_charts[c].step; }
    bool mouseTuning() const { return m_mouseTuning; }
    QSlider *mainJetAdjust() const { return m_mainJet; }
    QSlider *idleJetAdjust() const { return m_idleJet; }
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

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct ChartState {
        MapChart *chart = nullptr;
        int tab = 0;
        int cursorIndex = 0;
        int markerIndex = 1;
        double cursorHeight = 0;
        double markerHeight = 100;
        double selection = 0; // keyboard selection, x
        double step = 1;      // Left / Right step
    };

    MapId mapOf(Chart c) const;
    // Shades points first..last of a map on its chart; 0, 0 clears the shade.
    void showEditedRange(MapId id, int first, int last);
    int curveIndex(Chart c) const;
    int lo(Chart c) const;
    int hi(Chart c) const;
    int pointCount(MapId id) const;
    void dragOver(Chart c, const QPoint &pos);
    void hover(Chart c, const QPoint &pos);
    void hideReadouts(int tab);
    void keyPress(Chart c, int key);
    void keyRelease(Chart c);
    int chartAt(const QPoint &globalPos) const;
    int chartIndex(QObject *o) const;
    void jetTextChanged(QLineEdit *box, int code, QSlider *bar);
    void setJetBars();
    // The variant buttons show the session's edited fuel RPM map.
    void showVariant();
    void refreshKeyStep(Chart c);
    void describe(Chart c, int p);
    void endDrag();
    void showSetupRestored(int code);
    void showHits(Chart c);

    Session &m_s;
    std::array<ChartState, ChartCount> m_charts;
    std::array<QFrame *, 3> m_panels{};
    std::array<QFrame *, 3> m_rtHosts{};
    QFrame *m_panel18 = nullptr;
    QSlider *m_mainJet = nullptr;
    QSlider *m_idleJet = nullptr;
    QLineEdit *m_edit28 = nullptr;
    QLineEdit *m_edit32 = nullptr;
    QRadioButton *m_radioLow = nullptr;
    QRadioButton *m_radioCruise = nullptr;
    QRadioButton *m_radioHigh = nullptr;

    bool m_mouseTuning = false;
    int m_active = -1;
    double m_lastKeyPosition = 0;
    int m_dragSource = -1;   // chart a drag started on, -1: no drag
    bool m_dragStep = false; // a drag's history step is open
    QPointer<RangeEditDialog> m_rangeDialog;
    MapHits::Hits m_hits;
};
