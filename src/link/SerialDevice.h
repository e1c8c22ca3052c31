#pragma once
// The real serial line: a system serial device ("/dev/ttyUSB0", "COM3") through QSerialPort.
#include "link/ByteDevice.h"

#include <QSerialPort>

class SerialDevice : public ByteDevice {
public:
    explicit SerialDevice(const QString &deviceName);
    ~SerialDevice() override;

    QString name() const override { return m_name; }
    bool open(int baud, bool hardwareHandshake) override;
    void close() override;
    bool isOpen() const override;
    qint64 write(const QByteArray &bytes) override;
    int queued() override;
    QByteArray read(int maxBytes) override;
    void clearInput() override;
    int outputPending() override;
    OpenError lastError() const override { return m_error; }
    QString errorString() const override { return m_errorString; }
    bool lost() const override { return m_lost; }

    // Longest time a write may take to reach the driver before it counts as failed.
    void setWriteTimeout(int ms) { m_writeTimeoutMs = ms; }

private:
    void pullFromDriver();
    void onError(QSerialPort::SerialPortError error);
    static OpenError mapOpenError(QSerialPort::SerialPortError error, const QString &device);

    QString m_name;
    QSerialPort m_port;
    OpenError m_error = OpenError::None;
    QString m_errorString;
    bool m_lost = false;
    bool m_opening = false;
    int m_writeTimeoutMs = 2000;
};
