#pragma once
// A byte device for tests: replies are queued at fake-clock times, every write is recorded with
// the time it was made, and opening, losing and purging can be scripted.
#include "link/ByteDevice.h"
#include "link/Clock.h"

#include <QList>
#include <QPair>
#include <memory>

struct ScriptedLine {
    explicit ScriptedLine(FakeClock *c) : clock(c) {}

    FakeClock *clock;
    // Opening succeeds while present; otherwise it fails with openError.
    bool present = true;
    ByteDevice::OpenError openError = ByteDevice::OpenError::NotFound;
    bool lost = false;

    bool open = false;
    int openAttempts = 0;
    int opens = 0;
    int closes = 0;
    int purges = 0;
    int lastBaud = 0;
    bool lastHardware = false;
    QList<int> portsAsked; // every port number the factory was asked for

    QByteArray written;                       // every byte written, in order
    QList<QPair<qint64, QByteArray>> writes;  // (time, bytes) of each write
    QList<QPair<qint64, QByteArray>> pending; // replies not yet arrived (time, bytes)
    QByteArray input;                         // arrived and not yet read

    // Called for every write; may queue replies (an EMU that answers commands).
    std::function<void(ScriptedLine &, const QByteArray &)> respond;

    void replyAt(qint64 timeMs, const QByteArray &bytes) { pending.append({timeMs, bytes}); }
    void replyAfter(qint64 delayMs, const QByteArray &bytes) {
        replyAt(clock->tickMs() + delayMs, bytes);
    }
    void release() {
        for (int i = 0; i < pending.size();) {
            if (pending[i].first <= clock->tickMs()) {
                input.append(pending[i].second);
                pending.removeAt(i);
            } else {
                ++i;
            }
        }
    }
};

class ScriptedDevice : public ByteDevice {
public:
    explicit ScriptedDevice(std::shared_ptr<ScriptedLine> line) : m_line(std::move(line)) {}
    ~ScriptedDevice() override { close(); }

    QString name() const override { return QStringLiteral("scripted"); }
    bool open(int baud, bool hardwareHandshake) override {
        ++m_line->openAttempts;
        if (!m_line->present) return false;
        m_line->open = true;
        m_line->lost = false;
        m_isOpen = true;
        ++m_line->opens;
        m_line->lastBaud = baud;
        m_line->lastHardware = hardwareHandshake;
        return true;
    }
    void close() override {
        if (!m_isOpen) return;
        m_isOpen = false;
        m_line->open = false;
        ++m_line->closes;
    }
    bool isOpen() const override { return m_isOpen; }
    qint64 write(const QByteArray &bytes) override {
        if (!m_isOpen || m_line->lost) return -1;
        m_line->written.append(bytes);
        m_line->writes.append({m_line->clock->tickMs(), bytes});
        if (m_line->respond) m_line->respond(*m_line, bytes);
        return bytes.size();
    }
    int queued() override {
        if (!m_isOpen || m_line->lost) return 0;
        m_line->release();
        return int(m_line->input.size());
    }
    QByteArray read(int maxBytes) override {
        if (!m_isOpen || m_line->lost) return {};
        m_line->release();
        const QByteArray out = m_line->input.left(maxBytes);
        m_line->input.remove(0, out.size());
        return out;
    }
    void clearInput() override {
        ++m_line->purges;
        m_line->release();
        m_line->input.clear();
    }
    OpenError lastError() const override {
        return m_line->lost || !m_line->present ? m_line->openError : OpenError::None;
    }
    QString errorString() const override { return QStringLiteral("scripted failure"); }
    bool lost() const override { return m_isOpen && m_line->lost; }

private:
    std::shared_ptr<ScriptedLine> m_line;
    bool m_isOpen = false;
};

inline DeviceFactory scriptedFactory(std::shared_ptr<ScriptedLine> line) {
    return [line](int port) -> std::unique_ptr<ByteDevice> {
        line->portsAsked.append(port);
        return std::make_unique<ScriptedDevice>(line);
    };
}
