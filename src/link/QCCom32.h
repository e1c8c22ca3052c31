#pragma once
// TQCCom32: owns one serial port, opened by number ("Com" n), writes byte strings and reads
// replies, either taking what has arrived or waiting for an end marker with a time-out.
#include "link/ByteDevice.h"

#include <QObject>
#include <functional>
#include <memory>

class Clock;

enum THandshake { hsNone, hsHardware };

class TQCCom32 : public QObject {
    Q_OBJECT
public:
    // Answer of the Abort/Retry warning box.
    enum class PromptAnswer { Abort, Retry };
    // Shows a warning box with Abort and Retry; the GUI installs a real one, the default
    // answers Abort without showing anything (so a test can never block on a box).
    using Prompt = std::function<PromptAnswer(const QString &text, bool abortRetry)>;

    explicit TQCCom32(QObject *parent = nullptr, Clock *clock = nullptr);
    ~TQCCom32() override;

    bool AllowEvents() const { return m_allowEvents; }
    void setAllowEvents(bool on) { m_allowEvents = on; }
    int Baud() const { return m_baud; }
    void setBaud(int baud);
    QString EndOfResponse() const { return m_endOfResponse; }
    void setEndOfResponse(const QString &text);
    QByteArray endMarker() const { return m_endMarker; }
    THandshake Handshaking() const { return m_handshaking; }
    void setHandshaking(THandshake h);
    int InCount();
    bool InUse() const { return m_inUse; }
    int ResponseTime() const { return m_responseTime; }
    void setResponseTime(int ms) { m_responseTime = ms; }
    bool Opened() const;
    int Port() const { return m_port; }
    void setPort(int port);
    bool ShowErrors() const { return m_showErrors; }
    void setShowErrors(bool on) { m_showErrors = on; }
    bool TimedOut() const { return m_timedOut; }
    QString Version() const { return QStringLiteral("1.4.0"); }
    void setVersion(const QString &) {} // fixed text; assignments are ignored

    std::function<void(QObject *sender)> OnTimeout;

    bool Open();
    void Close();
    // Drops the bytes in the input queue; what is on its way out is never touched.
    void ClearInput();
    // Reads and drops the bytes in the input queue and returns how many there were: a byte that
    // arrives meanwhile is counted here or left for the next call, never dropped unseen.
    int DropInput();
    // Bytes written but not yet sent by the driver; -1 when the device cannot tell.
    int OutputPending();
    bool Send(const QByteArray &bytes);
    QByteArray Receive();

    // Platform side.
    void setDeviceFactory(DeviceFactory factory); // default: the program's port map
    void setPrompt(Prompt prompt) { m_prompt = std::move(prompt); }
    void setClock(Clock *clock);
    // The device behind the current port number ("" when none is mapped).
    QString deviceName() const;
    // Why the last Open failed (None after a successful one).
    ByteDevice::OpenError lastOpenError() const { return m_lastOpenError; }
    QString lastOpenErrorString() const { return m_lastOpenErrorString; }
    // True when the open device has vanished; the port is closed on the next operation.
    bool deviceLost() const;

signals:
    // The open device went away (unplugged adapter); emitted once per loss.
    void lostDevice(int port, const QString &deviceName);

private:
    bool reopenIfOpen();
    bool checkLost();
    PromptAnswer ask(const QString &text, bool abortRetry);

    bool m_allowEvents = false;
    int m_baud = 9600;
    QString m_endOfResponse;
    QByteArray m_endMarker;
    THandshake m_handshaking = hsNone;
    bool m_inUse = false;
    int m_responseTime = 1000;
    int m_port = 1;
    bool m_showErrors = true;
    bool m_timedOut = false;

    Clock *m_clock;
    DeviceFactory m_factory;
    bool m_defaultFactory = true;
    Prompt m_prompt;
    std::unique_ptr<ByteDevice> m_device;
    ByteDevice::OpenError m_lastOpenError = ByteDevice::OpenError::None;
    QString m_lastOpenErrorString;
};
