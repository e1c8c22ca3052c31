#pragma once
// A device that forwards to a real one and records each write with the fake-clock time at which
// it was made and the port number it was opened on.
#include "link/ByteDevice.h"
#include "link/Clock.h"

#include <QByteArray>
#include <QList>
#include <memory>

struct Wire {
    int port;
    qint64 at;
    QByteArray bytes;
};

class RecordingDevice : public ByteDevice {
public:
    RecordingDevice(std::unique_ptr<ByteDevice> inner, Clock &clock, QList<Wire> *log, int port = 0)
        : m_inner(std::move(inner)), m_clock(clock), m_log(log), m_port(port) {}
    QString name() const override { return m_inner->name(); }
    bool open(int baud, bool hw) override { return m_inner->open(baud, hw); }
    void close() override { m_inner->close(); }
    bool isOpen() const override { return m_inner->isOpen(); }
    qint64 write(const QByteArray &bytes) override {
        m_log->append({m_port, m_clock.tickMs(), bytes});
        return m_inner->write(bytes);
    }
    int queued() override { return m_inner->queued(); }
    QByteArray read(int maxBytes) override { return m_inner->read(maxBytes); }
    void clearInput() override { m_inner->clearInput(); }
    int outputPending() override { return m_inner->outputPending(); }
    OpenError lastError() const override { return m_inner->lastError(); }
    QString errorString() const override { return m_inner->errorString(); }
    bool lost() const override { return m_inner->lost(); }

private:
    std::unique_ptr<ByteDevice> m_inner;
    Clock &m_clock;
    QList<Wire> *m_log;
    int m_port;
};
