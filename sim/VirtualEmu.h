#pragma once
// The virtual EMU: answers the EMU command protocol in-process, so the program and its tests can
// run without an engine. Every device made by makeDevice() talks to the same EMU, over one
// simulated 19200 baud line: a reply becomes readable byte by byte as it would arrive.
#include "link/ByteDevice.h"
#include "link/Clock.h"
#include "model/Maps.h"
#include "sim/EngineFuel.h"
#include "sim/EngineModel.h"
#include "sim/ScriptedDrive.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QRandomGenerator>
#include <QStringList>
#include <array>
#include <deque>
#include <memory>
#include <optional>

class VirtualEmu : public QObject {
    Q_OBJECT
public:
    static constexpr int IdentitySize = emu::link::IdentitySize;
    static constexpr int SetupSize = emu::link::SetupSize;
    static constexpr int ImageSize = emu::link::ImageStreamMax; // setup block + nine map sections
    static constexpr int TableStreamSize = emu::link::TableStreamSize; // what follows 0xF3
    static constexpr int LiveFrameSize = 9;
    static constexpr int Baud = emu::link::Baud;

    // A fault in the EMU's answers.
    enum class ReplyFault {
        None,
        NoAnswer,   // nothing comes back
        ShortReply, // only the first `param` bytes
        LateReply,  // the whole reply, `param` ms later than it would be
        Garbage,    // random bytes of the reply's length instead of the reply
        ZeroByte,   // the reply with a 0 at position `param`
    };
    static constexpr int AnyCommand = -1;

    explicit VirtualEmu(Clock &clock, int modelCode = 3, QObject *parent = nullptr);
    ~VirtualEmu() override;

    std::unique_ptr<ByteDevice> makeDevice();
    // Every byte the program wrote, in order.
    QByteArray written() const { return m_written; }
    void clearWritten() { m_written.clear(); }
    // A long-running EMU (emu-sim) keeps no record.
    void setRecordWritten(bool on) { m_recordWritten = on; }

    // One line per command received: hex bytes, then what the EMU did ("FF identify",
    // "F2 50 04 parameter 80 = 4").
    QStringList commandLog() const { return m_log; }
    void clearCommandLog() { m_log.clear(); }

    Clock &clock() { return m_clock; }

    // Identity block as sent: version, model code, firmware release, two further bytes, 5, 6.
    QByteArray identity() const { return m_identity; }
    void setIdentity(const QByteArray &seven);
    int modelCode() const { return m_model; }
    bool hasTiming() const;
    bool hasVacuum() const;
    bool hasFuel() const;
    // Resets identity, setup, maps and engine to the defaults of a model.
    void reset(int modelCode);

    // Setup block bytes as the EMU holds them (value + 1, 255 = the EMU lacks the field).
    quint8 setupByte(int offset) const;
    void setSetupByte(int offset, quint8 stored);
    // value = stored - 1 (the coil combination at 86 is its stored byte).
    int setupValue(int offset) const;
    QByteArray setupBlock() const { return m_image.left(SetupSize); }

    // The image stream the EMU sends for 0xFD (457 bytes, every value + 1).
    QByteArray imageStream() const { return m_image; }
    void setImageStream(const QByteArray &stream457);
    // One map point (p from 1) as a whole value: stored byte - 1 - bias.
    int mapValue(MapId id, int p) const;
    void setMapValue(MapId id, int p, int value);
    static int streamOffset(MapId id); // image stream position of point 1
    static int pointCount(MapId id);   // 100 for timing
    static int bias(MapId id);

    // Working values the EMU reads from its setup: RPM range (0 -> 7000) and map sensor range.
    double rpmRange() const;
    int mapSensorRange() const;

    // Live data: the engine model at the clock's time, unless a state or raw frame is pinned.
    EngineState engineState();
    QByteArray liveFrame(); // nine bytes, as the EMU would answer now
    void pinEngineState(const EngineState &s) { m_pinnedState = s; }
    void pinLiveFrame(const QByteArray &raw) { m_pinnedFrame = raw; }
    void unpinLive();
    EngineModel &engine() { return m_engine; }
    // The fuel model: the lambda sensor and injector time follow the tune (sim/EngineFuel.h).
    EngineFuel &fuel() { return m_fuel; }
    const EngineFuel &fuel() const { return m_fuel; }
    // Drive the engine by a script from now on (kept through reset); an empty one ends it.
    void setDrive(const ScriptedDrive &drive);

    // Faults. A reply fault applies to one answered command (0xFF, 0xFD, 0xFC) or to all of
    // them (AnyCommand), for `times` replies or for good (-1).
    void setReplyFault(ReplyFault fault, int param = 0, int command = AnyCommand, int times = -1);
    void clearReplyFaults() { m_faults.clear(); }
    void setGarbageSeed(quint32 seed) { m_rng.seed(seed); }
    // The next open fails with this error (Busy, PermissionDenied, NotFound) until cleared.
    void setOpenFault(ByteDevice::OpenError error) { m_openFault = error; }
    // The adapter is unplugged: open devices report lost(), writes fail, opens fail (NotFound).
    void setVanished(bool gone);
    bool vanished() const { return m_vanished; }
    // An unfinished command is dropped when its next byte is this late (0: never).
    void setCommandTimeoutMs(int ms) { m_commandTimeoutMs = ms; }

    // Transmission time of n bytes at 19200 baud, 10 bits each, in ms.
    static double transmitMs(int bytes) { return bytes * 10000.0 / Baud; }

    // What the devices use.
    ByteDevice::OpenError tryOpen(int baud);
    void receive(const QByteArray &bytes, int baud);
    int available();
    QByteArray take(int maxBytes);
    void purgeInput();
    // Milliseconds until the next reply byte arrives; -1 when nothing is on its way.
    int msUntilNextByte();

signals:
    void commandReceived(const QString &line);
    void parameterWritten(int code, int value);
    void pointWritten(int section, int offset, int value);
    void tablesWritten();

private:
    struct Fault {
        ReplyFault kind = ReplyFault::None;
        int param = 0;
        int times = -1;
    };
    struct LineByte {
        double at; // ms on the clock when the byte has arrived
        char byte;
    };

    void loadDefaults();
    void handleByte(quint8 b, double arrivedAt);
    void execute(double arrivedAt);
    void reply(quint8 command, QByteArray bytes, double arrivedAt);
    void applyTableStream(const QByteArray &raw);
    void log(const QString &line);
    QString hex(const QByteArray &bytes) const;
    void dropArrived();

    Clock &m_clock;
    int m_model;
    QByteArray m_identity;
    QByteArray m_image; // the image stream layout, stored bytes
    QByteArray m_written;
    bool m_recordWritten = true;
    QStringList m_log;

    // Command parser.
    QByteArray m_command;
    int m_expect = 0; // bytes the command still needs
    double m_lastByteAt = 0;
    int m_commandTimeoutMs = 1000;

    // The line: bytes arriving at the EMU and bytes on their way back.
    double m_inFreeAt = 0;
    double m_outFreeAt = 0;
    std::deque<LineByte> m_out;

    EngineModel m_engine;
    EngineFuel m_fuel;
    ScriptedDrive m_drive;
    std::optional<EngineState> m_pinnedState;
    std::optional<QByteArray> m_pinnedFrame;
    double m_engineStartMs = 0;

    QHash<int, Fault> m_faults;
    QRandomGenerator m_rng{20240601};
    ByteDevice::OpenError m_openFault = ByteDevice::OpenError::None;
    bool m_vanished = false;
};
