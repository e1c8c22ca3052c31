#pragma once
// The one thing the link needs from a serial line: open it, write whole byte strings, and take
// whatever the driver has queued right now. Two implementations: the real serial port and the
// in-process virtual EMU.
#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

class ByteDevice {
public:
    enum class OpenError { None, NotFound, PermissionDenied, Busy, Other };

    virtual ~ByteDevice() = default;
    // What a person would call the device: "/dev/ttyUSB0", "virtual EMU", ...
    virtual QString name() const = 0;
    // Open exclusively for reading and writing with 8 data bits, no parity, one stop bit,
    // binary mode; hardwareHandshake selects CTS/RTS flow control, otherwise none.
    virtual bool open(int baud, bool hardwareHandshake) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Write every byte (zero bytes included) and hand them to the driver before returning.
    // Returns the number of bytes written, -1 on failure.
    virtual qint64 write(const QByteArray &bytes) = 0;
    // Bytes in the input queue at this moment, including those the driver holds but the
    // process has not read yet. Never blocks.
    virtual int queued() = 0;
    // Up to maxBytes of the queued bytes. Never blocks.
    virtual QByteArray read(int maxBytes) = 0;
    // Drop what the input queue holds (bytes that came outside an exchange). Bytes on their way
    // out are never touched: they are commands the EMU must receive whole.
    virtual void clearInput() = 0;
    // Bytes handed over but not yet sent by the driver, -1 when the device cannot tell.
    virtual int outputPending() { return -1; }
    // Why the last open failed; also set when an open device has vanished.
    virtual OpenError lastError() const = 0;
    virtual QString errorString() const = 0;
    // True once an open device has gone away (adapter unplugged, pseudo-terminal closed).
    virtual bool lost() const { return false; }
};

// Makes the device behind port number n ("Com" n); nullptr when nothing is mapped there.
using DeviceFactory = std::function<std::unique_ptr<ByteDevice>(int port)>;
