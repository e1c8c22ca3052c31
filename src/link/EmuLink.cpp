#include "link/EmuLink.h"

#include "link/Clock.h"
#include "link/QCCom32.h"

#include <cstring>

EmuLink::EmuLink(TQCCom32 &port, Clock &clock) : m_port(port), m_clock(clock) {}

int EmuLink::lineMs(int bytes) {
    return int((qint64(bytes) * 10 * 1000 + emu::link::Baud - 1) / emu::link::Baud);
}

bool EmuLink::send(const QByteArray &bytes) {
    qint64 now = m_clock.tickMs();
    // A real UART tells what it still holds; that is never less than the estimate.
    const int pending = m_port.Opened() ? m_port.OutputPending() : -1;
    if (pending > 0) m_lineFreeAt = qMax(m_lineFreeAt, now + lineMs(pending));
    if (m_lineFreeAt > now) m_clock.sleepMs(int(m_lineFreeAt - now));
    m_lastSentAt = m_clock.tickMs();
    const bool ok = m_port.Send(bytes);
    if (m_port.Opened()) m_lineFreeAt = m_clock.tickMs() + lineMs(int(bytes.size()));
    return ok;
}

QByteArray EmuLink::exchange(const QByteArray &command, int waitMs,
                             const std::function<void()> &duringWait) {
    // An answer that arrived after its read would otherwise become the start of this reply.
    if (m_port.Opened()) {
        const qint64 now = m_clock.tickMs();
        if (m_lineFreeAt > now) m_clock.sleepMs(int(m_lineFreeAt - now));
        m_port.ClearInput();
    }
    send(command);
    if (duringWait)
        m_clock.sleepMsWith(waitMs, duringWait);
    else
        m_clock.sleepMs(waitMs);
    return m_port.Receive();
}

void EmuLink::settleInput(int quietMs, int maxMs) {
    if (!m_port.Opened()) return;
    const qint64 start = m_clock.tickMs();
    qint64 lastByte = start;
    for (;;) {
        const qint64 now = m_clock.tickMs();
        if (m_port.InCount() > 0) {
            m_port.ClearInput();
            lastByte = now;
        }
        if (!m_port.Opened() || now - lastByte >= quietMs || now - start >= maxMs) return;
        m_clock.sleepMs(1);
    }
}

int EmuLink::identify(int waitMs, quint8 *identity7) {
    const QByteArray reply = exchange(QByteArray(1, char(emu::link::CmdIdentify)), waitMs);
    emu::link::fillAndCopy(reply, identity7, emu::link::IdentitySize, emu::link::IdentitySize,
                           false);
    return int(reply.size());
}

QByteArray EmuLink::readImage() {
    return exchange(QByteArray(1, char(emu::link::CmdReadImage)), emu::link::WaitReadImage);
}

bool EmuLink::writeTables(const QByteArray &stream) {
    const bool command = send(QByteArray(1, char(emu::link::CmdWriteTables)));
    m_clock.sleepMs(emu::link::WaitWriteTables);
    // The stream goes out even when the command byte did not: the protocol has no retry, and
    // an EMU that missed 0xF3 ignores it.
    const bool tables = send(stream);
    return command && tables;
}

QByteArray EmuLink::liveData(const std::function<void()> &duringWait) {
    return exchange(QByteArray(1, char(emu::link::CmdLiveData)), emu::link::WaitLiveData,
                    duringWait);
}

void EmuLink::parameterWrite(quint8 code, quint8 value) {
    const char bytes[3] = {char(emu::link::CmdParameter), char(code), char(value)};
    send(QByteArray(bytes, 3));
}

void EmuLink::pointWrite(quint8 section, quint8 offset, quint8 value) {
    const char bytes[3] = {char(section), char(offset), char(value)};
    send(QByteArray(bytes, 3));
}
