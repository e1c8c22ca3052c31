#pragma once
// The map charts of the "Timing Map", "Fuel Maps" and "Correction Maps" tabs with mouse and
// keyboard tuning, and the jet controls of the "Fuel Maps" tab.
#include <QObject>

class Session;
class QWidget;
class QFrame;

class MapPages : public QObject {
    Q_OBJECT
public:
    // Builds the content of the three (empty) tab widgets.
    MapPages(Session &session, QWidget *timingTab, QWidget *fuelTab, QWidget *correctionTab,
             QObject *parent = nullptr);

    // Connect: axes and keyboard steps from R, N and S, charts (and the jet track bars) enabled
    // by capability.
    void configureAtConnect();
    // Table read, after the file table area holds the image stream: reset the timing selection,
    // decode the maps of the present capabilities, set the jet track bars, rebuild the curves,
    // make "Cruise" the edited variant.
    void readTables();
    // Table write: clear the selection cursors and rebuild every curve from memory; set the jet
    // track bars from the setup block.
    void afterWrite();
    // Close all: clear the timing charts, zero the maps that it zeroes, clear Edit28, disable
    // the four charts of the timing and fuel tabs.
    void closeAll();
    // Live markers from the session's live values (visible charts only; hidden ones on show).
    void updateLiveMarkers();
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
    QWidget *chart(const QString &objectName) const;
};
