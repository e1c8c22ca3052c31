#pragma once
// Keyboard tuning on the active map chart: Left and Right move its selection, Up and Down change
// the selected point, Page Up and Page Down shift the whole timing map; a key stores and redraws,
// its release sends the selected point.
#include "tuning/MapChartSet.h"

class Session;

class ChartKeyboard : public ChartIds {
public:
    ChartKeyboard(Session &session, MapChartSet &charts);

    // A key pressed or released anywhere in the window: acts on the active chart, if enabled.
    void keyDown(int key);
    void keyUp();
    // Point p of a map as the selection: its chart becomes the active one and its cursor stands
    // at the point. The caller checks p and chooses the fuel RPM variant first.
    void select(Chart c, MapId id, int p);
    // The selections follow the engine's operating point (RPM in hundreds on the timing and
    // fuel RPM charts, vacuum in bar on both vacuum charts).
    void trackOperatingPoint(double rpmHundreds, double vacuumBar);

private:
    void keyPress(Chart c, int key);
    void keyRelease(Chart c);
    void refreshKeyStep(Chart c);

    Session &m_s;
    MapChartSet &m_charts;
    double m_lastKeyPosition = 0;
};
