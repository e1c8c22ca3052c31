#pragma once
// The program-wide state shared by the main window and its pages: the link to the EMU, the EMU
// image, the maps, the live values, the flags and the values derived at Connect.
#include "link/EmuLink.h"
#include "link/QCCom32.h"
#include "live/LiveData.h"
#include "live/LivePoll.h"
#include "model/EmuImage.h"
#include "model/Maps.h"
#include "model/TableStream.h"

#include <QObject>
#include <QString>
#include <QUndoStack>
#include <array>
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

    // ---- What the session holds (read only; every change goes through the methods below)
    Clock &clock() const { return m_clock; }
    // The one serial port and the request queue on it: the connection controller and the live
    // poll drive them.
    TQCCom32 &port() { return m_port; }
    const TQCCom32 &port() const { return m_port; }
    EmuLink &link() { return m_link; }
    const EmuImage &image() const { return m_image; }
    const EmuMaps &maps() const { return m_maps; }
    const LiveValues &live() const { return m_live; } // the latest live values

    // Flags (all start false).
    bool isConnected() const { return m_connected; } // an EMU answered Connect; never cleared
    bool inFileMode() const { return m_fileMode; }   // the image came from a setup file
    // A file was read: Connect ends with the reconnect probe.
    bool fileConnectPending() const { return m_fileConnectPending; }
    bool editingEnabled() const { return m_editingEnabled; } // setup editors act on changes
    bool isModified() const { return m_modified; }           // setup differs from the EMU
    const Capabilities &caps() const { return m_caps; }      // from the model code, never cleared

    QString moduleTypeName() const { return m_moduleTypeName; } // "Fuel and Timing", ...
    QString modelText() const { return m_modelText; }           // identity byte 0
    QString versionText() const { return m_versionText; }       // identity byte 1 "." byte 2

    // Derived at Connect.
    double rpmRange() const { return m_rpmRange; }          // R, RPM
    int timingPoints() const { return m_timingPoints; }     // N
    int mapSensorRange() const { return m_mapSensorRange; } // S, kPa x 10
    int maxTimingAdvance() const { return m_maxTimingAdvance; }

    // Working values the poll and the displays read (refreshed by decode and by the editors).
    double lowThrottleVacuum() const { return m_lowThrottleVacuum; }   // bar
    double highThrottleVacuum() const { return m_highThrottleVacuum; } // bar
    bool twoStroke() const { return m_twoStroke; }
    int tpsMinimum() const { return m_tpsMinimum; }
    int tpsSpan() const { return m_tpsSpan; }
    double lambdaTarget() const { return m_lambdaTarget; } // volts

    FuelVariant fuelVariant() const { return m_fuelVariant; } // the fuel RPM map that is edited

    // ---- Flags, identity and whole images (the connection controller, emutool)
    // An EMU answered with the signature of an EMU on the line (never cleared). Tests that drive
    // the session without a line call it too. Emits flagsChanged.
    void markConnected();
    // The image came from a setup file (set by Open, cleared at the start of Open and by Close
    // all). Emits flagsChanged.
    void setFileMode(bool on);
    void setFileConnectPending(bool on);
    // The setup editors act on changes from now on (never cleared). Emits flagsChanged.
    void enableEditing();
    // The setup differs from the EMU's (set by the editors, cleared by "Discard"). Emits
    // flagsChanged.
    void setModified(bool on);
    // The identity block (7 bytes). Emits identityChanged.
    void setIdentity(const std::array<quint8, EmuImage::IdentitySize> &identity);
    // Model and version texts (about box). Emits identityChanged.
    void setIdentityTexts(const QString &model, const QString &version);
    // Module type name; capabilities are only ever added. Emits identityChanged.
    void setModuleTypeName(const QString &name);
    void addCapabilities(const Capabilities &caps);
    // A whole image (identity, setup block, file table area, vehicle strings) as the controller
    // or emutool put it together from the EMU's replies or a setup file; nothing is sent. The
    // vehicle strings keep at most the 18 characters the boxes hold. Emits imageLoaded, and
    // vehicleTextChanged when a vehicle string changed.
    void loadImage(const EmuImage &image);
    // Every map at once (emutool's write, a test's tune); nothing is sent. Clears the edit
    // history and emits mapChanged for every map.
    void adoptMaps(const EmuMaps &maps);

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
    // A vehicle string beside the image (make, model or engine type). Emits vehicleTextChanged
    // when it changed.
    void setVehicleText(QString EmuImage::*field, const QString &text);
    // The edited fuel RPM map (Low, Cruise, High). Emits fuelVariantChanged when it changed.
    void setFuelVariant(FuelVariant v);
    // The throttle calibration's working values (the live throttle reading follows them), nothing
    // sent: the closed-throttle capture. Emits tpsCalibrationChanged.
    void setTpsWorkingValues(int minimum, int span);
    // The throttle calibration: the working values, then the parameter writes of the minimum and,
    // after the pause between parameters, of the span; one history step named `text`. Emits
    // tpsCalibrationChanged and setupChanged for each value.
    void setTpsCalibration(int minimum, int span, const QString &text);
    // The serial number: letters (character codes) and four numbers (0 to 99), six parameter
    // writes in the order letter 1, letter 2, number 1 to 3, hardware; stored without a history
    // step. Status panel 1 shows the identity with the new number; emits serialNumberChanged.
    void setSerialNumber(int letter1, int letter2, const std::array<int, 4> &numbers);
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

    // The table write stream from the setup block, the maps and the capabilities (Write, Save
    // From Memory); the image keeps its copy in its stream buffers.
    TableStream buildTableStream();

    // R, N and S as given, for a caller without a setup block to derive them from (tests,
    // benchmarks).
    void setAxes(const MapAxes &axes);
    // Derive R, N and S from the setup block (255 keeps the previous value; R 0 -> 7000).
    void deriveFromSetup();

    // The latest live values, from whichever feed sent them (the poll decodes in place).
    void takeLive(const LiveValues &values) {
        if (&values != &m_live) m_live = values;
    }

    // What the live poll works on.
    TQCCom32 &livePort() override { return m_port; }
    EmuLink &liveLink() override { return m_link; }
    bool liveReady() const override { return m_connected; }
    const EmuMaps &liveMaps() const override { return m_maps; }
    LiveFrameBuffer &liveFrameBuffer() override { return m_liveFrame; }
    LiveValues &liveStore() override { return m_live; }

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
    // A flag changed (connected, file mode, file connect pending, editing, modified).
    void flagsChanged();
    // The identity block, its texts, the module type name or the capabilities changed.
    void identityChanged();
    // A whole image was loaded (loadImage).
    void imageLoaded();
    // A vehicle string changed (the vehicle boxes follow).
    void vehicleTextChanged();
    // The edited fuel RPM map changed (the variant buttons follow).
    void fuelVariantChanged();
    // The throttle calibration's working values changed.
    void tpsCalibrationChanged();
    // The serial number was written (setSerialNumber).
    void serialNumberChanged();

private:
    friend class EditStep;
    // Stores a parameter value in the setup block (the coil combination stores it as is).
    void storeParameter(int code, int value);
    // The working values that follow a setup field.
    void followSetup(int code, int value);
    // Old values of what an edit is about to change, kept by the open step.
    void noteSetup(int code);
    void noteMap(MapId id, int p);

    Clock &m_clock;
    TQCCom32 m_port; // the one serial port
    EmuLink m_link;
    EmuImage m_image;
    EmuMaps m_maps;
    LiveValues m_live;

    bool m_connected = false;
    bool m_fileMode = false;
    bool m_fileConnectPending = false;
    bool m_editingEnabled = false;
    bool m_modified = false;
    Capabilities m_caps;

    QString m_moduleTypeName;
    QString m_modelText;
    QString m_versionText;

    double m_rpmRange = 7000;
    int m_timingPoints = 70;
    int m_mapSensorRange = 10;
    int m_maxTimingAdvance = 45;

    double m_lowThrottleVacuum = 0.1;
    double m_highThrottleVacuum = 0.9;
    bool m_twoStroke = false;
    int m_tpsMinimum = 0;
    int m_tpsSpan = 100;
    double m_lambdaTarget = 0.45;

    FuelVariant m_fuelVariant = FuelVariant::Cruise;

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
