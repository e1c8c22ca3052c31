#pragma once
// The program-wide state shared by the main window and its pages: the link to the EMU, the EMU
// image, the maps, the live values, the flags and the values derived at Connect.
#include "link/EmuLink.h"
#include "link/QCCom32.h"
#include "live/LiveData.h"
#include "live/LivePoll.h"
#include "model/EmuImage.h"
#include "model/Maps.h"

#include <QObject>
#include <QString>
#include <QUndoStack>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

class Clock;
class EditStep;

enum class FuelVariant { Cruise, Low, High };

class Session : public QObject, public LivePollHost {
    Q_OBJECT
public:
    explicit Session(Clock &clock, QObject *parent = nullptr);
    ~Session() override;

    Clock &clock;
    TQCCom32 EFI; // the one serial port
    EmuLink link;
    EmuImage image;
    EmuMaps maps;
    LiveValues live; // the latest live values

    // Flags (all start false).
    bool connected = false;          // an EMU answered Connect; never cleared
    bool fileMode = false;           // image came from a setup file
    bool fileConnectPending = false; // a file was read; Connect ends with the reconnect probe
    bool editingEnabled = false;     // setup editors act on changes
    bool modified = false;           // setup differs from the EMU
    Capabilities caps;               // set from the model code, never cleared

    QString moduleTypeName; // "Fuel and Timing", ...
    QString modelText;      // identity byte 0
    QString versionText;    // identity byte 1 "." byte 2

    // Derived at Connect.
    double rpmRange = 7000;  // R, RPM
    int timingPoints = 70;   // N
    int mapSensorRange = 10; // S, kPa x 10
    int maxTimingAdvance = 45;

    // Working values the poll and the displays read (refreshed by decode and by the editors).
    double lowThrottleVacuum = 0.1;  // bar
    double highThrottleVacuum = 0.9; // bar
    bool twoStroke = false;
    int tpsMinimum = 0;
    int tpsSpan = 100;
    double lambdaTarget = 0.45; // volts

    FuelVariant fuelVariant = FuelVariant::Cruise; // the fuel RPM map that is edited

    MapAxes axes() const;
    LiveContext liveContext() const override;
    // The map that the fuel RPM chart edits.
    MapId fuelVariantMap() const;

    // Edits. Every change of the setup block or of a map goes through these: each stores the
    // value, sends the EMU's write for it and emits one change signal.
    //
    // Setup value: parameter write 0xF2, code, value; stores value + 1 at the code's offset (the
    // coil combination stores the value itself). The image changes whether or not the port is
    // open. Emits setupChanged(code). The working values that follow a field (vacuum thresholds,
    // lambda target, two-stroke) take the new value and emit their own signal.
    void setSetupValue(int code, int value);
    // Working values from the block as decoded (a stored 0 threshold reads 0.1 / 0.9 bar; TPS
    // minimum and span only while the sensor is active, a span of 0 reads 0..100). Emits
    // thresholdsChanged, and lambdaTargetChanged when the target is set.
    void deriveWorkingValues();
    // The setup differs from the EMU's (set by the editors, cleared by "Discard").
    void setModified(bool on) { modified = on; }
    // A vehicle string beside the image (make, model or engine type).
    void setVehicleText(QString EmuImage::*field, const QString &text) { image.*field = text; }
    // One map point: stores v, sends its point write, emits mapChanged(id).
    void setMapPoint(MapId id, int p, double v);
    // Points first, first + 1, ...: stores each, sends one point write per point in point order,
    // then emits mapChanged(id) once.
    void setMapPoints(MapId id, int first, const std::vector<double> &values);

    // A point of a vacuum map placed where it was dragged to: stores the position and v, sends
    // the point write, emits mapChanged(id).
    void setMapPointAt(MapId id, int p, double v, double position);
    // Points first, first + 1, ... stored and mapChanged(id) emitted once, nothing sent: the
    // keyboard sends the selected point when its key is released (sendPoint).
    void storeMapPoints(MapId id, int first, const std::vector<double> &values);
    // Points of one map (in point order, each p once): stores each, sends one point write per
    // point, emits mapChanged(id) once. One history step with the given text.
    void editMapPoints(MapId id, const std::vector<std::pair<int, double>> &points,
                       const QString &text);
    // A map decoded from the image (after Read or Open) with the current axes; emits mapChanged.
    // Clears the edit history.
    void decodeMap(MapId id);
    // Every point of the map to 0 (Close all); emits mapCleared(id): the charts keep what Close
    // all leaves on them. Clears the edit history.
    void clearMap(MapId id);

    // Edit history. Every call of the edit API above is one step, unless it falls between
    // beginEdit and endEdit (a mouse drag, a calibration): then everything changed in between is
    // one step, named by `text` (or after what changed when empty). A step that changed nothing
    // is dropped. Undo and redo put the values back in memory, emit setupRestored / mapChanged
    // for the editors and charts, and send the parameter and point writes that set them, in
    // point order; nothing is sent in file mode or while the link is lost.
    QUndoStack &history() { return m_history; }
    void beginEdit(const QString &text = QString());
    void endEdit();
    void clearHistory();
    // Whether the link to the EMU went away (set by the connection controller).
    void setLinkDownQuery(std::function<bool()> query) { m_linkDown = std::move(query); }
    // Undo and redo send to the EMU (an EMU is connected, not a file, the link is up).
    bool historySends() const;
    // Short map name for history texts and dialogs: "Timing", "Fuel RPM Low", ...
    static QString mapName(MapId id);

    // The parameter write alone (no signal), for callers that already hold the change.
    void sendParameter(int code, int value);
    // Point write of point p's current value.
    void sendPoint(MapId id, int p);

    // Derive R, N and S from the setup block (255 keeps the previous value; R 0 -> 7000).
    void deriveFromSetup();

    // The latest live values, from whichever feed sent them (the poll decodes in place).
    void takeLive(const LiveValues &values) {
        if (&values != &live) live = values;
    }

    // What the live poll works on.
    TQCCom32 &livePort() override { return EFI; }
    EmuLink &liveLink() override { return link; }
    bool liveReady() const override { return connected; }
    const EmuMaps &liveMaps() const override { return maps; }
    LiveFrameBuffer &liveFrameBuffer() override { return m_liveFrame; }
    LiveValues &liveStore() override { return live; }

signals:
    // Status bar panel text (0, 1, 2).
    void status(int panel, const QString &text);
    // A setup value was changed through setSetupValue (code = offset).
    void setupChanged(int code);
    // A map's values changed (drag, key, decode); pages redraw its curve.
    void mapChanged(MapId id);
    // A map was cleared by clearMap.
    void mapCleared(MapId id);
    // The link lost its device (unplugged adapter).
    void linkLost(const QString &message);
    // The low / high throttle vacuum working values changed (fuel vacuum chart arrows follow).
    void thresholdsChanged();
    // The lambda target working value changed (the real-time frames' markers follow).
    void lambdaTargetChanged();
    // Undo or redo put a setup value back (code = offset): its editor shows the stored value
    // again. Edits that arrive while this signal runs are not sent or recorded.
    void setupRestored(int code);

private:
    friend class EditStep;
    // Stores a parameter value in the setup block (the coil combination stores it as is).
    void storeParameter(int code, int value);
    // The working values that follow a setup field.
    void followSetup(int code, int value);
    // Old values of what an edit is about to change, kept by the open step.
    void noteSetup(int code);
    void noteMap(MapId id, int p);

    LiveFrameBuffer m_liveFrame; // the poll's reply buffer
    QUndoStack m_history;
    std::unique_ptr<EditStep> m_open; // the step being recorded
    int m_openDepth = 0;
    bool m_replaying = false;
    std::function<bool()> m_linkDown;
};

// Opens one history step for its lifetime.
class EditScope {
public:
    explicit EditScope(Session &s, const QString &text = QString()) : m_s(s) { s.beginEdit(text); }
    ~EditScope() { m_s.endEdit(); }
    EditScope(const EditScope &) = delete;
    EditScope &operator=(const EditScope &) = delete;

private:
    Session &m_s;
};
